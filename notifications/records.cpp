#include "notifications/records.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>

#include "sqlite_binding/column_values.h"
#include "sqlite_binding/sqlite_wrapper.h"
#include "sqlite_format/record.h"
#include "time/calendar.h"
#include "time/qm_time.h"
#include "time/time_parse.h"

const char* const kNotificationColumnNames[kNotificationColumns] = {
    "Order", "Id",         "HandlerId",   "ActivityId",  "Type",        "Payload", "Tag",
    "Group", "ExpiryTime", "ArrivalTime", "DataVersion", "PayloadType", "BootId",  "ExpiresOnReboot"};
const char* const kHandlerColumnNames[kHandlerColumns] = {
    "RecordId",     "PrimaryId",    "SecondaryHandlerId",    "WNSId",
    "HandlerType",  "WNFEventName", "SystemDataPropertySet", "CreatedTime",
    "ModifiedTime", "ParentId",     "ContainerSid"};
const char* const kPushChannelColumnNames[kPushChannelColumns] = {
    "ChannelId", "HandlerId", "Uri", "ExpiryTime", "CreatedTime", "DeviceVersion"};
const char* const kHandlerSettingsColumnNames[kHandlerSettingsColumns] = {"HandlerId", "SettingKey", "Value"};

const table_facts kTables[4] = {
    {kTableNotification, "notification", kNotificationColumnNames, kNotificationColumns},
    {kTableHandler, "notificationhandler", kHandlerColumnNames, kHandlerColumns},
    {kTablePushChannel, "wnspushchannel", kPushChannelColumnNames, kPushChannelColumns},
    {kTableHandlerSettings, "handlersettings", kHandlerSettingsColumnNames, kHandlerSettingsColumns},
};

int table_slot(std::uint32_t kind) {
    for (int slot = 0; slot < 4; ++slot) {
        if (kTables[slot].kind == kind) return slot;
    }
    return -1;
}

const char* const kTagOverflowPage = " [overflow page]";
const char* const kTagOverflowNotParsed = " [possible overflow page not parsed]";
const char* const kTagCorruptedData = " [corrupted data detected]";

namespace {

// Walks the masked columns of one row: each set bit takes the next value while values remain.
class row_cursor {
  public:
    row_cursor(int count, char** values, const std::vector<unsigned>& sizes,
               const std::vector<unsigned>* column_flags, std::uint64_t mask)
        : values_(values), sizes_(sizes), column_flags_(column_flags), mask_(mask), remaining_(count) {
        // Only the library's rows lend integers: the rows of the other readers pay one look for all values.
        lends_ = std::find(sizes.begin(), sizes.end(), kLentInteger) != sizes.end();
    }

    // True when column `bit` is in the mask and a value is left for it; the value is then consumed and
    // becomes the current one.
    bool take(int bit) {
        if ((mask_ & (1ull << bit)) == 0 || remaining_ <= 0) return false;
        current_ = next_++;
        --remaining_;
        lent_ = lends_ && static_cast<std::size_t>(current_) < sizes_.size() &&
                sizes_[current_] == kLentInteger && values_[current_] != nullptr;
        return true;
    }

    // The current value as text: an integer lent as its 8 bytes (its size kLentInteger, as the library's
    // rows are handed on) as the decimal text the library would give.
    const char* text() const { return lent_ ? lent_text() : values_[current_]; }

    // Whether the current value is an integer lent as its 8 bytes.
    bool lent() const { return lent_; }

    // The stated byte length of the current value: its size entry when there is one, else its length as a
    // zero-terminated text (0 for SQL NULL). A null value has no bytes whatever its size entry says.
    std::uint32_t length() const {
        const char* v = values_[current_];
        if (v == nullptr) return 0;
        if (lent_) {
            (void)lent_text();
            return digits_length_;
        }
        if (static_cast<std::size_t>(current_) < sizes_.size()) return sizes_[current_];
        return static_cast<std::uint32_t>(std::strlen(v));
    }

    // The kind bits of the current value's column flag (kColKindMask); 0 when it has none.
    std::uint32_t kind() const {
        if (column_flags_ == nullptr || static_cast<std::size_t>(current_) >= column_flags_->size()) return 0;
        return (*column_flags_)[current_] & kColKindMask;
    }

    // Bit 28 of the current value's column flag.
    bool overflowed() const {
        return column_flags_ != nullptr && static_cast<std::size_t>(current_) < column_flags_->size() &&
               ((*column_flags_)[current_] & kColumnOverflowFlag) != 0;
    }

    // A lent integer without its text: the bits of its two's complement, as its decimal text reads.
    std::uint64_t u64() const {
        if (lent_) return static_cast<std::uint64_t>(lent_value());
        std::uint64_t v = 0;
        const char* t = text();
        if (t == nullptr) return column_to_u64(v, t);
        // A value with no zero byte within its length is read from a copy that has one.
        const std::uint32_t n = length();
        if (::strnlen(t, n) == n) return column_to_u64(v, std::string(t, n).c_str());
        return column_to_u64(v, t);
    }
    // Its bytes up to a zero byte, never past its stated length: a value lent by the library may have no
    // zero byte after it (a blob).
    std::string str() const {
        const char* t = text();
        if (t == nullptr) return std::string();
        return std::string(t, ::strnlen(t, length()));
    }

    // Text column that gets only the overflow tag.
    std::string str_tagged() const {
        std::string s = str();
        if (overflowed()) s += kTagOverflowPage;
        return s;
    }

    // The value's bytes cleaned to one line, ending at a zero byte, then tagged (payload_text_pieces).
    std::string bytes_as_text() const {
        std::string s;
        s.reserve(length());
        string_text_sink to_s(s);
        payload_text_pieces(to_s, text(), length(), overflowed());
        return s;
    }

    void guid(_16_byte_block& out) const {
        if (length() >= 16) guid_from_blob(out, text());
    }

  private:
    long long lent_value() const {
        long long v = 0;
        std::memcpy(&v, values_[current_], sizeof v);
        return v;
    }

    // The decimal text of the current lent integer, made on first use (kept out of line: the accessors run
    // for every value of every row, of which few are lent integers read as text).
    [[gnu::noinline]] const char* lent_text() const {
        if (digits_for_ != current_) {
            const std::to_chars_result r = std::to_chars(digits_, digits_ + sizeof digits_ - 1, lent_value());
            *r.ptr = '\0';
            digits_length_ = static_cast<std::uint32_t>(r.ptr - digits_);
            digits_for_ = current_;
        }
        return digits_;
    }

    char** values_;
    const std::vector<unsigned>& sizes_;
    const std::vector<unsigned>* column_flags_;
    std::uint64_t mask_;
    int remaining_;
    int next_ = 0;
    int current_ = 0;
    bool lends_ = false;       // some value of the row is a lent integer
    bool lent_ = false;        // the current value is one
    mutable char digits_[24];  // the text of the lent integer digits_for_ is the place of
    mutable int digits_for_ = -1;
    mutable std::uint32_t digits_length_ = 0;
};

// Steps 1 and 2 of every filler: refusal, then flag, offset and source code into the base part.
bool begin_fill(sqlite_metadata& record, int count, char** values, bool flag, std::uint64_t record_offset,
                int minimum_count, unsigned source_code) {
    if (count < minimum_count || values == nullptr) return false;
    record.recovered = flag ? 1 : 0;
    record.record_offset = record_offset;
    record.flags = (record.flags & 3u) | (source_code << kSourceShift);
    return true;
}

}  // namespace

bool handler_time_filetime(const std::string& text, std::uint64_t& filetime) {
    filetime = 0;
    if (text.empty()) return false;
    // The fields as the conversion below splits and reads them: the date before the first blank (else before
    // a 'T'), midnight when no time follows. The conversion rolls fields past their range into the next unit
    // (and keeps only 16 bits of each), so they are checked first.
    std::size_t at = text.find(' ');
    if (at == std::string::npos) at = text.find('T');
    const std::string date = text.substr(0, at);
    const std::string time = at == std::string::npos ? std::string() : text.substr(at + 1);
    std::uint32_t day = 0, month = 0, year = 0, hour = 0, minute = 0;
    double second = 0;
    if (!parse_ordered_date(date.c_str(), "YMD", '-', &day, &month, &year)) return false;
    if (!time.empty() && !parse_time_text(time.c_str(), &hour, &minute, &second)) return false;
    std::int64_t unix_seconds = 0;
    if (!civil_to_unix_seconds(year, month, day, hour, minute, static_cast<unsigned>(second), unix_seconds))
        return false;
    const qm::time t(text.c_str(), "YMD", '-', false);
    filetime = t.filetime;
    return true;
}

void payload_text_pieces(text_sink& out, const char* bytes, std::uint32_t length, bool overflowed) {
    bool stopped = false;
    const std::size_t kept = column_bytes_to_pieces(out, stopped, bytes, length, true, true, true);
    const char* tag = nullptr;
    if (overflowed) {
        tag = kTagOverflowPage;
    } else if (stopped) {
        // A stop exactly 4 bytes short of the stated length is where a cell's 4-byte overflow page number
        // (its high byte zero) follows the local part of the value.
        tag = static_cast<std::uint64_t>(length) - kept == 4 ? kTagOverflowNotParsed : kTagCorruptedData;
    }
    if (tag != nullptr) out.put(tag, std::strlen(tag));
}

void tag_text::put_to(text_sink& out) const {
    if (large_.bytes == nullptr) {
        out.put(text_);
        return;
    }
    out.put(large_.bytes, large_.size);
    if (large_.overflowed) out.put(kTagOverflowPage, std::strlen(kTagOverflowPage));
}

void payload_text::put_to(text_sink& out) const {
    if (n_.large_payload.bytes != nullptr)
        payload_text_pieces(out, n_.large_payload.bytes, n_.large_payload.size, n_.large_payload.overflowed);
    else
        out.put(n_.payload);
}

bool put_setting_value(text_sink& out, setting_kind kind, std::uint64_t value, const char* stored,
                       std::size_t stored_size) {
    switch (kind) {
        case setting_kind::integer: {
            if (value == 0) return false;
            char digits[24];
            const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, value);
            out.put(digits, static_cast<std::size_t>(r.ptr - digits));
            return true;
        }
        case setting_kind::blob:
            payload_text_pieces(out, stored, static_cast<std::uint32_t>(stored_size), false);
            return true;
        default:
            out.put(stored, stored_size);
            return true;
    }
}

void append_setting_text(std::string& text, const handler_settings_record& setting) {
    std::string value;
    string_text_sink to_value(value);
    if (!put_setting_value(to_value, setting.kind, setting.value, setting.stored.data(),
                           setting.stored.size()))
        return;
    if (!text.empty()) text += "; ";
    text += '"';
    text += setting.setting_key;
    text += "\":\"";
    text += value;
    text += '"';
}

std::string_view derive_app_name_view(std::string_view identifier) {
    const std::size_t bang = identifier.find('!');
    if (bang == std::string_view::npos) {
        const std::size_t us = identifier.rfind('_');
        return us == std::string_view::npos ? identifier : identifier.substr(0, us);
    }
    const std::size_t us = identifier.rfind('_', bang);
    if (us != std::string_view::npos) return identifier.substr(0, us);
    return identifier.substr(bang + 1);
}

std::string derive_app_name(const std::string& identifier) {
    return std::string(derive_app_name_view(identifier));
}

namespace {

// A Tag or Group value (row_cursor::str_tagged): copied into `text`, or, from `reference_from` bytes on, left
// where the reader holds it as `large`, its bytes up to a zero byte (never past its stated length).
void take_tagged(const row_cursor& c, std::string& text, payload_bytes& large, std::size_t reference_from) {
    large = payload_bytes();
    if (c.text() != nullptr && !c.lent() && c.length() >= reference_from) {
        text.clear();
        large.bytes = c.text();
        large.size = static_cast<std::uint32_t>(::strnlen(c.text(), c.length()));
        large.overflowed = c.overflowed();
        return;
    }
    text = c.str_tagged();
}

// A text value (row_cursor::str): copied into `text`, or, from `reference_from` bytes on, left where the
// reader holds it as `large`, its bytes up to a zero byte (never past its stated length).
void take_text(const row_cursor& c, std::string& text, std::string_view& large, std::size_t reference_from) {
    large = std::string_view();
    if (c.text() != nullptr && !c.lent() && c.length() >= reference_from) {
        text.clear();
        large = std::string_view(c.text(), ::strnlen(c.text(), c.length()));
        return;
    }
    text = c.str();
}

}  // namespace

// ---------------------------------------------------------------- notification_record

notification_record::notification_record() { clear(); }
notification_record::notification_record(const notification_record& other) = default;
notification_record& notification_record::operator=(const notification_record& other) = default;
notification_record::notification_record(notification_record&& other) noexcept = default;
notification_record& notification_record::operator=(notification_record&& other) noexcept = default;
notification_record::~notification_record() = default;

void notification_record::clear() {
    order = id = handler_id = 0;
    activity_id.clear();
    type.clear();
    payload.clear();
    large_payload = payload_bytes();
    tag.clear();
    group.clear();
    large_tag = payload_bytes();
    large_group = payload_bytes();
    expiry_time = arrival_time = data_version = 0;
    payload_type = "xml";
    boot_id = expires_on_reboot = 0;
}

int notification_record::populate_record(int count, char** values, std::vector<unsigned>& sizes, bool flag,
                                         std::uint64_t record_offset, std::uint64_t column_mask,
                                         int minimum_count, unsigned source_code) {
    std::vector<unsigned> no_flags;
    return populate_record_ex(count, values, sizes, no_flags, flag, record_offset, column_mask, minimum_count,
                              source_code);
}

int notification_record::populate_record_ex(int count, char** values, std::vector<unsigned>& sizes,
                                            std::vector<unsigned>& column_flags, bool flag,
                                            std::uint64_t record_offset, std::uint64_t column_mask,
                                            int minimum_count, unsigned source_code) {
    if (!begin_fill(*this, count, values, flag, record_offset, minimum_count, source_code)) return 0;
    row_cursor c(count, values, sizes, &column_flags, column_mask);
    if (c.take(0)) order = c.u64();
    if (c.take(1)) id = c.u64();
    if (c.take(2)) handler_id = c.u64();
    if (c.take(3)) c.guid(activity_id);
    if (c.take(4)) type = c.str();
    if (c.take(5)) {
        large_payload = payload_bytes();
        // A lent integer's text lives in the cursor: it is always copied (it is short).
        if (c.text() != nullptr && !c.lent() && c.length() >= payload_reference_from) {
            large_payload.bytes = c.text();
            large_payload.size = c.length();
            large_payload.overflowed = c.overflowed();
            payload.clear();
        } else {
            payload = c.bytes_as_text();
        }
    }
    if (c.take(6)) take_tagged(c, tag, large_tag, payload_reference_from);
    if (c.take(7)) take_tagged(c, group, large_group, payload_reference_from);
    if (c.take(8)) expiry_time = c.u64();
    if (c.take(9)) arrival_time = c.u64();
    if (c.take(10)) data_version = c.u64();
    if (c.take(11)) payload_type = c.str();
    if (c.take(12)) boot_id = c.u64();
    if (c.take(13)) expires_on_reboot = c.u64();
    return 1;
}

// ---------------------------------------------------------------- notification_handler_record

notification_handler_record::notification_handler_record() { clear(); }
notification_handler_record::notification_handler_record(const notification_handler_record& other) = default;
notification_handler_record& notification_handler_record::operator=(
    const notification_handler_record& other) = default;
notification_handler_record::notification_handler_record(notification_handler_record&& other) noexcept =
    default;
notification_handler_record& notification_handler_record::operator=(
    notification_handler_record&& other) noexcept = default;
notification_handler_record::~notification_handler_record() = default;

void notification_handler_record::clear() {
    record_id = 0;
    primary_id.clear();
    secondary_id.clear();
    wns_id.clear();
    handler_type.clear();
    wnf_event_name = 0;
    system_data_property_set.clear();
    created_time.clear();
    modified_time.clear();
    parent_id.clear();
    container_sid.clear();
    created_filetime = modified_filetime = 0;
    app_name.clear();
    large_primary_id = large_wns_id = large_handler_type = large_app_name = std::string_view();
}

int notification_handler_record::populate_record(int count, char** values, std::vector<unsigned>& sizes,
                                                 bool flag, std::uint64_t record_offset,
                                                 std::uint64_t column_mask, int minimum_count,
                                                 unsigned source_code) {
    std::vector<unsigned> no_flags;
    return populate_record_ex(count, values, sizes, no_flags, flag, record_offset, column_mask, minimum_count,
                              source_code);
}

int notification_handler_record::populate_record_ex(int count, char** values, std::vector<unsigned>& sizes,
                                                    std::vector<unsigned>& column_flags, bool flag,
                                                    std::uint64_t record_offset, std::uint64_t column_mask,
                                                    int minimum_count, unsigned source_code) {
    if (!begin_fill(*this, count, values, flag, record_offset, minimum_count, source_code)) return 0;
    row_cursor c(count, values, sizes, &column_flags, column_mask);
    if (c.take(0)) record_id = c.u64();
    if (c.take(1)) {
        take_text(c, primary_id, large_primary_id, reference_from);
        large_app_name = std::string_view();
        if (large_primary_id.data() != nullptr) {
            app_name.clear();
            large_app_name = derive_app_name_view(large_primary_id);
        } else {
            app_name = derive_app_name(primary_id);
        }
    }
    if (c.take(2)) {
        secondary_id = c.str();
        if (app_name.empty() && large_app_name.empty()) app_name = derive_app_name(secondary_id);
    }
    if (c.take(3)) take_text(c, wns_id, large_wns_id, reference_from);
    if (c.take(4)) take_text(c, handler_type, large_handler_type, reference_from);
    if (c.take(5)) wnf_event_name = c.u64();
    if (c.take(6)) system_data_property_set = c.bytes_as_text();
    if (c.take(7)) {
        created_time = c.str();
        (void)handler_time_filetime(created_time, created_filetime);
    }
    if (c.take(8)) {
        modified_time = c.str();
        (void)handler_time_filetime(modified_time, modified_filetime);
    }
    if (c.take(9)) parent_id = c.str();
    if (c.take(10)) container_sid = c.str();
    return 1;
}

// ---------------------------------------------------------------- wns_push_channel_record

wns_push_channel_record::wns_push_channel_record()
    : handler_id(0), expiry_time(0), created_time(0), device_version(0) {}
wns_push_channel_record::wns_push_channel_record(const wns_push_channel_record& other) = default;
wns_push_channel_record& wns_push_channel_record::operator=(const wns_push_channel_record& other) = default;
wns_push_channel_record::wns_push_channel_record(wns_push_channel_record&& other) noexcept = default;
wns_push_channel_record& wns_push_channel_record::operator=(wns_push_channel_record&& other) noexcept =
    default;
wns_push_channel_record::~wns_push_channel_record() = default;

int wns_push_channel_record::populate_record(int count, char** values, std::vector<unsigned>& sizes,
                                             bool flag, std::uint64_t record_offset,
                                             std::uint64_t column_mask, int minimum_count,
                                             unsigned source_code) {
    std::vector<unsigned> no_flags;
    return populate_record_ex(count, values, sizes, no_flags, flag, record_offset, column_mask, minimum_count,
                              source_code);
}

int wns_push_channel_record::populate_record_ex(int count, char** values, std::vector<unsigned>& sizes,
                                                std::vector<unsigned>& column_flags, bool flag,
                                                std::uint64_t record_offset, std::uint64_t column_mask,
                                                int minimum_count, unsigned source_code) {
    if (!begin_fill(*this, count, values, flag, record_offset, minimum_count, source_code)) return 0;
    row_cursor c(count, values, sizes, &column_flags, column_mask);
    if (c.take(0)) take_text(c, channel_id, large_channel_id, reference_from);
    if (c.take(1)) handler_id = c.u64();
    if (c.take(2)) take_text(c, uri, large_uri, reference_from);
    if (c.take(3)) expiry_time = c.u64();
    if (c.take(4)) created_time = c.u64();
    if (c.take(5)) device_version = c.u64();
    return 1;
}

// ---------------------------------------------------------------- handler_settings_record

handler_settings_record::handler_settings_record() : handler_id(0), value(0) {}
handler_settings_record::handler_settings_record(const handler_settings_record& other) = default;
handler_settings_record& handler_settings_record::operator=(const handler_settings_record& other) = default;
handler_settings_record::handler_settings_record(handler_settings_record&& other) noexcept = default;
handler_settings_record& handler_settings_record::operator=(handler_settings_record&& other) noexcept =
    default;
handler_settings_record::~handler_settings_record() = default;

int handler_settings_record::populate_record(int count, char** values, std::vector<unsigned>& sizes,
                                             bool flag, std::uint64_t record_offset,
                                             std::uint64_t column_mask, int minimum_count,
                                             unsigned source_code) {
    if (!begin_fill(*this, count, values, flag, record_offset, minimum_count, source_code)) return 0;
    row_cursor c(count, values, sizes, nullptr, column_mask);
    if (c.take(0)) handler_id = c.u64();
    if (c.take(1)) setting_key = c.str();
    if (c.take(2)) {
        value = c.u64();
        kind = setting_kind::integer;
        stored.clear();
    }
    return 1;
}

int handler_settings_record::populate_record_ex(int count, char** values, std::vector<unsigned>& sizes,
                                                std::vector<unsigned>& column_flags, bool flag,
                                                std::uint64_t record_offset, std::uint64_t column_mask,
                                                int minimum_count, unsigned source_code) {
    if (!begin_fill(*this, count, values, flag, record_offset, minimum_count, source_code)) return 0;
    row_cursor c(count, values, sizes, &column_flags, column_mask);
    if (c.take(0)) handler_id = c.u64();
    if (c.take(1)) take_text(c, setting_key, large_setting_key, reference_from);
    if (c.take(2)) {
        value = 0;
        kind = setting_kind::integer;
        stored.clear();
        large_stored = std::string_view();
        switch (c.kind()) {
            case kColText:
                kind = setting_kind::text;
                take_text(c, stored, large_stored, reference_from);
                break;
            case kColReal:
                kind = setting_kind::real;
                stored = c.str();
                break;
            case kColBlob:
                kind = setting_kind::blob;
                if (c.text() != nullptr && c.length() >= reference_from)
                    large_stored = std::string_view(c.text(), c.length());
                else if (c.text() != nullptr)
                    stored.assign(c.text(), c.length());
                break;
            default:
                value = c.u64();
                break;
        }
    }
    return 1;
}
