#include "notifications/recovered.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/case_conv.h"
#include "common/digest.h"
#include "notifications/database_state.h"
#include "notifications/records.h"
#include "notifications/table_damage.h"
#include "sqlite_format/signatures.h"

namespace {

// Shorter buffers cannot hold a header and the values the recognisers check.
constexpr std::uint32_t kMinBuffer = 29;
constexpr std::uint32_t kZeroWord = 8;

// Every serial type an integer may be stored in: 1-6 by its size, 8 and 9 for the constants 0 and 1. SQLite
// stores each value in the smallest that holds it, so a column of integers may hold any of them (a HandlerId
// of 32,768 or more takes 3 bytes, a time of 0 the constant).
constexpr bool is_integer_type(std::uint8_t type) { return type != 0 && type <= 9 && type != 7; }
// The pattern of a column of integers (see signatures.h).
constexpr const char* kIntegers = "12345689";

// Serial-type patterns per column (see signatures.h). Notification columns 4-9: Type, Payload (blob or
// null), Tag, Group (Windows stores empty text), ExpiryTime, ArrivalTime.
const char* const kNotificationMiddle[] = {"-", "+0", "-", "-", kIntegers, kIntegers};
// Columns 10-13: DataVersion, PayloadType, BootId, ExpiresOnReboot (text or an integer).
const char* const kNotificationTail[] = {kIntegers, "-", kIntegers, "-12345689"};
// Push-channel columns 0-2: ChannelId, HandlerId, Uri.
const char* const kPushChannelLead[] = {"-", kIntegers, "-"};
// Handler columns 0-4 of the layout with a secondary identifier (stored as empty text).
const char* const kHandlerLeadSecondary[] = {"0", "-", "x0d", "-0", "-"};
// Handler columns 0-3 of the layout Windows writes: RecordId, PrimaryId, WNSId, HandlerType.
const char* const kHandlerLead[] = {"0", "-", "-0", "-"};
// Handler columns after the two date texts: ParentId, ContainerSid.
const char* const kHandlerTail[] = {"-0", "0"};

// How far back from the serial type before p a header may begin.
constexpr std::uint32_t kPushChannelReach = 12;
constexpr std::uint32_t kHandlerReachSecondary = 14;
constexpr std::uint32_t kHandlerReach = 13;
// Serial type of a 19-character text ("2020-12-11 19:09:13"): 19 bytes in UTF-8, 38 in UTF-16.
constexpr std::uint8_t kDateTextType = 51;
constexpr std::uint8_t kDateTextTypeUtf16 = 89;

// Limits of the column texts read to confirm a header.
constexpr std::uint32_t kTypeMaxChars = 16;
constexpr std::uint32_t kIdMinChars = 2;
constexpr std::uint32_t kIdMaxChars = 2048;

// How the recognisers read the texts they check.
struct text_reading {
    // The UTF-16 orders a text is tried in where its bytes do not pass as they stand.
    std::uint32_t utf16 = kUtf16LittleEndian;
    // Every text is stored in `database` (the database's, as its schema reads); else each candidate's texts
    // are taken to be stored as the texts it was recognised by read.
    bool known = false;
    text_encoding database = text_encoding::utf8;
};

// One header a recogniser accepted.
struct header_match {
    std::uint32_t position = 0;       // the first serial type in the buffer
    std::uint32_t header_length = 0;  // header-length byte plus serial types
    std::uint32_t table_kind = 0;
    std::uint64_t mask = 0;
    bool truncated = false;                     // the stored header-length byte disagreed
    text_encoding texts = text_encoding::utf8;  // how the record's texts are stored
};

// Where a recogniser accepted a header without reading a text: how column `column` reads (as a printable
// text in the orders of `utf16`), else `fallback`. Only a reading that knows no encoding asks.
text_encoding texts_read_in(const std::uint8_t* header, std::uint32_t available, std::uint32_t header_length,
                            std::uint32_t column, std::uint32_t utf16, text_encoding fallback) {
    std::string text;
    text_encoding as = fallback;
    (void)get_column_text_checked(text, header, available, column, kIdMaxChars, kTextPrintable, header_length,
                                  false, true, utf16, &as);
    return as;
}

bool starts_with(const std::string& text, const char* word) {
    return text.compare(0, std::string(word).size(), word) == 0;
}

bool is_notification_type(const std::string& text) {
    return starts_with(text, "tile") || starts_with(text, "toast") || starts_with(text, "badge");
}

// The identifier test of a handler's PrimaryId: package names, "Microsoft."/"Windows." names, GUID-like
// and "_" names, and the publisher code most desktop packages carry.
bool looks_like_handler_id(const std::string& text) {
    if (text.empty()) return false;
    if (text[0] == 'M' || text[0] == 'W' || text[0] == '_') return true;
    if (text.find('.') != std::string::npos) return true;
    if (text.find('-') == 8) return true;
    return text.find("8weky") != std::string::npos;
}

// The Type column (column 4) of a notification record whose header-length byte is at `header`, read as if
// the header were `header_length` bytes long (UTF-16 in the orders of `utf16`); `texts` takes the encoding
// it read in.
bool notification_type_ok(const std::uint8_t* header, std::uint32_t available, std::uint32_t header_length,
                          std::uint32_t utf16, text_encoding& texts) {
    std::string type;
    text_encoding as = text_encoding::utf8;
    if (!get_column_text_checked(type, header, available, 4, kTypeMaxChars, kTextPrintable, header_length,
                                 false, true, utf16, &as) ||
        !is_notification_type(type))
        return false;
    texts = as;
    return true;
}

// Notification header: p holds the serial type of Order (the rowid alias, so null), the byte before it the
// header length; Id and HandlerId are integers of any size.
bool recognise_notification(header_match& m, const std::uint8_t* b, std::uint32_t length, std::uint32_t p,
                            const text_reading& reading) {
    const std::uint32_t utf16 = reading.utf16;
    text_encoding& texts = m.texts;
    if (p < 1 || std::uint64_t{p} + 4 >= length) return false;
    if (b[p] != 0) return false;
    if (!is_integer_type(b[p + 1]) || !is_integer_type(b[p + 2])) return false;
    if (b[p + 3] != 0 && b[p + 3] != 44) return false;
    const std::uint32_t n =
        match_header_signature_fwd(b + p + 4, length - (p + 4), 6, 0, kNotificationMiddle);
    if (n == 0) return false;

    const std::uint8_t* header = b + p - 1;
    const std::uint32_t available = length - (p - 1);
    const std::uint32_t stored = b[p - 1];
    const std::uint32_t base = n + 5;
    m.position = p;
    m.table_kind = kTableNotification;
    if (stored == base && notification_type_ok(header, available, base, utf16, texts)) {
        m.header_length = base;
        m.mask = kNotificationMask10;
        return true;
    }
    // Longer layouts: the four, two or one columns after ArrivalTime.
    struct extension {
        std::uint32_t columns;
        std::uint64_t mask;
    };
    static const extension kExtensions[] = {
        {4, kNotificationMask14}, {2, kNotificationMask12}, {1, kNotificationMask11}};
    const std::uint32_t tail = p + 4 + n;
    if (tail < length) {
        for (const extension& e : kExtensions) {
            const std::uint32_t extra =
                match_header_signature_fwd(b + tail, length - tail, e.columns, 0, kNotificationTail);
            if (extra == 0) continue;
            if (!notification_type_ok(header, available, base + extra, utf16, texts)) continue;
            m.header_length = base + extra;
            m.mask = e.mask;
            m.truncated = stored != m.header_length;
            return true;
        }
    }
    if (!notification_type_ok(header, available, base, utf16, texts)) return false;
    m.header_length = base;
    m.mask = kNotificationMask10;
    m.truncated = stored != base;
    return true;
}

// Push-channel header: p and p+1 hold ExpiryTime and CreatedTime (integers); ChannelId, HandlerId and Uri
// are matched backward from the byte before p.
bool recognise_push_channel(header_match& m, const std::uint8_t* b, std::uint32_t length, std::uint32_t p,
                            const text_reading& reading) {
    const std::uint32_t utf16 = reading.utf16;
    if (std::uint64_t{p} + 12 >= length || !is_integer_type(b[p]) || !is_integer_type(b[p + 1])) return false;
    // The last matched serial type is at p - 1 and the header-length byte must stand before it.
    if (p < 2) return false;
    // That is the Uri's, a text's: its last byte is odd, and at least 13 unless a longer varint ends there.
    // Tested here, as the matcher below would, because integer types side by side are common in any page.
    if ((b[p - 1] & 1) == 0 || (b[p - 1] < 13 && (b[p - 2] & 0x80) == 0)) return false;
    const std::uint32_t reach = std::min(kPushChannelReach, p - 1);
    const std::int64_t n = match_header_signature_bwd(b + p - 1, reach, 3, 2, kPushChannelLead);
    if (n == 0) return false;
    const std::uint32_t header_at = static_cast<std::uint32_t>(static_cast<std::int64_t>(p) - 1 + n);
    const std::uint32_t stored = b[header_at];
    const std::uint32_t k = static_cast<std::uint32_t>(3 - n);
    m.position = header_at + 1;
    m.table_kind = kTablePushChannel;
    const std::uint8_t device_version = b[p + 2];
    if (stored == k || (stored == k + 1 && is_integer_type(device_version))) {
        m.header_length = stored;
        m.mask = stored == k ? kPushChannelMask5 : kPushChannelMask6;
        // Two FILETIMEs are what a channel's times are; times of other sizes are found as often in an index
        // entry or a page's cell pointers, so there the channel identifier must read as one.
        if (b[p] != 6 || b[p + 1] != 6) {
            std::string channel;
            return get_column_text_checked_ex(channel, b + header_at, length - header_at, 0, kIdMinChars,
                                              kIdMaxChars, kTextPrintable, stored, false, true, utf16,
                                              &m.texts) != 0;
        }
        // No text was read: the channel identifier says how they are stored.
        if (!reading.known)
            m.texts = texts_read_in(b + header_at, length - header_at, stored, 0, utf16, text_encoding::utf8);
        return true;
    }
    // The header-length byte was overwritten: a channel identifier such as "2;..." confirms the layout.
    for (std::uint32_t header_length : {k, k + 1}) {
        std::string channel;
        if (!get_column_text_checked_ex(channel, b + header_at, length - header_at, 0, kIdMinChars,
                                        kIdMaxChars, kTextPrintable, header_length, false, true, utf16,
                                        &m.texts))
            continue;
        if (channel.size() < 2 || channel[1] != ';') continue;
        m.header_length = header_length;
        m.mask = header_length == k ? kPushChannelMask5 : kPushChannelMask6;
        m.truncated = true;
        return true;
    }
    return false;
}

// PrimaryId (column 1) of a handler record whose header-length byte is at `header`; `texts` takes the
// encoding it read in.
bool handler_id_ok(const std::uint8_t* header, std::uint32_t available, std::uint32_t header_length,
                   std::uint32_t utf16, text_encoding& texts) {
    std::string id;
    text_encoding as = text_encoding::utf8;
    if (!get_column_text_checked_ex(id, header, available, 1, kIdMinChars, kIdMaxChars, kTextPrintable,
                                    header_length, false, true, utf16, &as) ||
        !looks_like_handler_id(id))
        return false;
    texts = as;
    return true;
}

// The serial type of the handler's date texts in the texts `reading` allows: a database's encoding gives
// their length, records of no known encoding may have either.
bool date_text_type_ok(std::uint8_t type, const text_reading& reading) {
    if (reading.known)
        return type == (reading.database == text_encoding::utf8 ? kDateTextType : kDateTextTypeUtf16);
    return type == kDateTextType ||
           (type == kDateTextTypeUtf16 && (reading.utf16 & (kUtf16LittleEndian | kUtf16BigEndian)) != 0);
}

// Handler header: p holds WNFEventName (null or an integer), p+1 SystemDataPropertySet (null), p+2
// and p+3 the two date texts; the columns before p are matched backward.
bool recognise_handler(header_match& m, const std::uint8_t* b, std::uint32_t length, std::uint32_t p,
                       const text_reading& reading) {
    if (std::uint64_t{p} + 4 >= length) return false;
    const std::uint8_t date = b[p + 2];
    if ((b[p] != 0 && !is_integer_type(b[p])) || b[p + 1] != 0 || b[p + 3] != date ||
        !date_text_type_ok(date, reading))
        return false;
    if (p < 2) return false;
    m.table_kind = kTableHandler;
    // Dates of UTF-16 length, where no encoding is known, make a record whose PrimaryId reads as UTF-16.
    const bool utf16_dates = date == kDateTextTypeUtf16 && !reading.known;
    const std::uint32_t utf16 = reading.utf16 | (utf16_dates ? kUtf16Only : 0);

    const std::int64_t n9 = match_header_signature_bwd(b + p - 1, std::min(kHandlerReachSecondary, p - 1), 5,
                                                       4, kHandlerLeadSecondary);
    if (n9 != 0) {
        const std::uint32_t header_at = static_cast<std::uint32_t>(static_cast<std::int64_t>(p) - 1 + n9);
        const std::uint32_t header_length = static_cast<std::uint32_t>(5 - n9);
        if (b[header_at] == header_length) {
            m.position = header_at + 1;
            m.header_length = header_length;
            m.mask = kHandlerMaskSecondary;
            // No text was read: the PrimaryId says how they are stored.
            if (!reading.known) {
                const text_encoding fallback = !utf16_dates                        ? text_encoding::utf8
                                               : (utf16 & kUtf16LittleEndian) != 0 ? text_encoding::utf16le
                                                                                   : text_encoding::utf16be;
                m.texts = texts_read_in(b + header_at, length - header_at, header_length, 1, utf16, fallback);
            }
            return true;
        }
    }

    const std::int64_t n =
        match_header_signature_bwd(b + p - 1, std::min(kHandlerReach, p - 1), 4, 3, kHandlerLead);
    if (n == 0) return false;
    const std::uint32_t header_at = static_cast<std::uint32_t>(static_cast<std::int64_t>(p) - 1 + n);
    const std::uint32_t stored = b[header_at];
    const std::uint8_t* header = b + header_at;
    const std::uint32_t available = length - header_at;
    struct layout {
        std::uint32_t columns;
        std::uint64_t mask;
    };
    static const layout kLayouts[] = {{2, kHandlerMask10}, {1, kHandlerMask9}};
    for (const layout& l : kLayouts) {
        const std::uint32_t extra =
            match_header_signature_fwd(b + p + 4, length - (p + 4), l.columns, 0, kHandlerTail);
        if (extra == 0) continue;
        const std::uint32_t header_length = static_cast<std::uint32_t>(1 - n) + extra + 4;
        if (stored != header_length || !handler_id_ok(header, available, header_length, utf16, m.texts))
            continue;
        m.position = header_at + 1;
        m.header_length = header_length;
        m.mask = l.mask;
        return true;
    }
    return false;
}

// The classes of byte the scan looks for: a null (0), an integer's serial type (1-6, 8, 9), and an odd byte,
// which ends every text's serial type.
constexpr std::uint8_t kNullByte = 1;
constexpr std::uint8_t kIntegerByte = 2;
constexpr std::uint8_t kOddByte = 4;
struct byte_classes {
    std::uint8_t of[256];
    constexpr byte_classes() : of() {
        of[0] = kNullByte;
        for (int b = 1; b <= 9; ++b) of[b] = b == 7 ? 0 : kIntegerByte;
        for (int b = 1; b < 256; b += 2) of[b] |= kOddByte;
    }
};
constexpr byte_classes kByteClasses;

// Where a recogniser may start: at a null (a notification's Order, or a handler's SystemDataPropertySet after
// its WNFEventName) or at two integers after the end of a text's serial type (a push channel's ExpiryTime and
// CreatedTime after its Uri). Reads b[-1] to b[1]; shifted, an odd byte's class lines up with an integer's.
bool may_start_header(const std::uint8_t* b) {
    const std::uint8_t* of = kByteClasses.of;
    return (of[b[0]] & (kNullByte | (of[b[1]] & (of[b[-1]] >> 1)))) != 0;
}

bool zero_word(const std::uint8_t* b) {
    for (std::uint32_t i = 0; i < kZeroWord; ++i)
        if (b[i] != 0) return false;
    return true;
}

recovered_record make_candidate(const header_match& m, const std::uint8_t* b, std::uint32_t length,
                                std::uint64_t base_offset) {
    recovered_record c;
    c.position = m.position;
    c.record_offset = base_offset != 0 ? base_offset + m.position : 0;
    c.prefix_flag = m.truncated ? 1 : 0;
    // The serial types fill header_length - 1 bytes from the position; count only what the buffer holds.
    const std::uint32_t span = std::min<std::uint32_t>(m.header_length, length - m.position + 1);
    const std::uint64_t count = count_serial_types(b + m.position, span);
    c.table_kind = m.table_kind;
    c.column_count = static_cast<std::uint8_t>(count & 0xFF);
    c.carried = m.mask;
    c.texts = m.texts;
    return c;
}

}  // namespace

int classify_recovered_record(std::vector<recovered_record>& out, const std::uint8_t* buffer,
                              std::uint32_t length, std::uint64_t base_offset, std::uint32_t keep,
                              const selk_options* options) {
    return recognise_record_headers(out, buffer, length, base_offset, keep,
                                    options != nullptr ? options->recogniser_switches : -1);
}

candidate_finder recogniser_for(std::int64_t switches, std::uint32_t utf16) {
    return [switches, utf16](std::vector<recovered_record>& candidates, const std::uint8_t* chunk,
                             std::uint32_t length, std::uint64_t chunk_offset) {
        return recognise_record_headers(candidates, chunk, length, chunk_offset, 0, switches, utf16);
    };
}

candidate_finder recogniser_for(std::int64_t switches, text_encoding database) {
    const std::uint32_t utf16 = utf16_orders_for(database);
    return [switches, utf16, database](std::vector<recovered_record>& candidates, const std::uint8_t* chunk,
                                       std::uint32_t length, std::uint64_t chunk_offset) {
        return recognise_record_headers(candidates, chunk, length, chunk_offset, 0, switches, utf16,
                                        database);
    };
}

int recognise_record_headers(std::vector<recovered_record>& out, const std::uint8_t* buffer,
                             std::uint32_t length, std::uint64_t base_offset, std::uint32_t keep,
                             std::int64_t switches, std::uint32_t utf16,
                             std::optional<text_encoding> database) {
    if (keep == 0) out.clear();
    text_reading reading;
    reading.utf16 = utf16;
    reading.known = database.has_value();
    if (database) reading.database = *database;
    const std::size_t start_count = out.size();
    if (buffer == nullptr || length < kMinBuffer) return 0;

    // 64-bit, so stepping past the end of a buffer near 4 GiB cannot wrap.
    std::uint64_t p = 0;
    while (true) {
        // Whole zero words hold no header; candidates stop where a word no longer fits.
        while (p + kZeroWord < length && zero_word(buffer + p)) p += kZeroWord;
        if (p + kZeroWord >= length) break;
        // Other places are passed over in one tight loop, where each recogniser would refuse them in turn
        // (nothing starts at the first byte, which no header-length byte can precede).
        if (p == 0 || !may_start_header(buffer + p)) {
            // Every start is a null or an integer's serial type: the bytes above 9 (most of a text) are
            // passed with one comparison each.
            ++p;
            while (p + kZeroWord < length && (buffer[p] > 9 || !may_start_header(buffer + p))) ++p;
            continue;
        }
        const std::uint32_t at = static_cast<std::uint32_t>(p);
        // Where the recogniser that matched was started (a handler's at its WNFEventName, the byte before):
        // the scan goes on from there, past the header.
        std::uint32_t anchor = at;
        header_match m;
        bool found = false;
        if (buffer[p] == 0) {
            if ((switches & kRecogniseNotifications) != 0)
                found = recognise_notification(m, buffer, length, at, reading);
            if (!found && at >= 1 && (switches & kRecogniseHandlers) != 0) {
                m = header_match();
                anchor = at - 1;
                found = recognise_handler(m, buffer, length, anchor, reading);
            }
        } else if ((switches & kRecognisePushChannels) != 0) {
            found = recognise_push_channel(m, buffer, length, at, reading);
        }
        if (!found) {
            ++p;
            continue;
        }
        if (reading.known) m.texts = reading.database;
        out.push_back(make_candidate(m, buffer, length, base_offset));
        p = std::max<std::uint64_t>(std::uint64_t{anchor} + m.header_length, p + 1);
    }
    return out.size() > start_count ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Sorting carved records into the record vectors.

namespace {

// Builds a schema of `mask`'s columns (names from `names`) when the mask is one of `known`.
int match_schema(table_schema& schema, std::uint64_t mask, bool verify, const std::uint64_t* known,
                 std::size_t known_count, const table_facts& table) {
    schema.clear();
    if (std::find(known, known + known_count, mask) == known + known_count) return 0;
    schema.column_mask = mask;
    std::string signature = table.name;
    const char* const* names = table.column_names;
    for (int i = 0; i < table.columns; ++i) {
        const std::uint64_t bit = column_bit(i);
        if ((mask & bit) == 0) continue;
        table_field field;
        field.present = 1;
        field.column_bit = bit;
        if (verify) {
            field.name = names[i];
            field.name_lower = field.name;
            string_to_lower(field.name_lower);
            signature += ";";
            signature += field.name;
        }
        schema.fields.push_back(field);
    }
    if (verify) {
        _16_byte_block digest;
        if (compute_digest16(signature.data(), static_cast<std::uint32_t>(signature.size()), digest)) {
            schema.signature_digest = digest;
            schema.signature_digest_text = digest.to_string(false);
        }
    }
    return 1;
}

// The first record filled with a schema of the sorting gives it its column count, where its field map did
// not (the report's joins count the columns of the schemas the records were sorted with).
void count_columns(table_schema& schema, const recovered_record& row) {
    if (schema.column_count == 0) schema.column_count = row.column_count;
}

// Appends a record of class T for `row`; false (nothing appended) when the record refuses the row.
template <typename T>
bool append_record(std::vector<T>& records, const recovered_record& row, std::uint64_t mask,
                   std::uint32_t kind, table_schema& schema, schema_signature& signature) {
    records.emplace_back();
    if (fill_recovered_record(records.back(), row, mask, kind, schema, signature)) {
        count_columns(schema, row);
        return true;
    }
    records.pop_back();
    return false;
}

// A notification whose values the walk left in `file`: the schema goes through what filling it would do to
// it, and a reference takes the record's place; nothing when the record would refuse the row. The record is
// made when printed, from the schema as it stands now (recovered_notifications::record).
void refer_notification(recovered_stage& stage, const recovered_record& row, std::uint64_t mask,
                        uni::fileio& file) {
    table_schema& schema = stage.schemas[kSchemaNotification];
    // The field map is taken as it stands (so the schema stays the one the last reference named) when it was
    // made for this mask and count.
    const bool unchanged = stage.reference_schema >= 0 && !schema.field_map.empty() &&
                           row.carried == schema.column_mask && row.deferred_values == schema.column_count;
    // Every value the walk found is a serial type it read: values and columns are the same count.
    if (!prepare_row_schema(schema, row.deferred_values, row.carried)) return;
    recovered_notifications& list = stage.notifications;
    recovered_reference r;
    r.offset = row.record_offset;
    r.rowid = row.rowid;
    r.carried = row.carried;
    r.mask = mask;
    r.length = row.decode_length;
    r.columns = row.decode_columns;
    r.source = row.source_code();
    r.texts = row.texts;
    r.schema = unchanged ? static_cast<std::uint32_t>(stage.reference_schema)
                         : list.schema_index(schema, stage.signatures[kSchemaNotification].of(schema));
    stage.reference_schema = r.schema;
    r.file = list.file_index(stage.files, file);
    list.push_reference(r);
    if (schema.column_count == 0) {
        schema.column_count = row.column_count;
        stage.reference_schema = -1;
    }
}

}  // namespace

int match_notification_record(table_schema& schema, std::uint64_t mask, bool verify) {
    static const std::uint64_t kKnown[] = {kNotificationMask10, kNotificationMask11, kNotificationMask12,
                                           kNotificationMask14};
    return match_schema(schema, mask, verify, kKnown, 4, kTables[kSchemaNotification]);
}

int match_handler_record(table_schema& schema, std::uint64_t mask, bool verify) {
    static const std::uint64_t kKnown[] = {kHandlerMaskSecondary, kHandlerMask9, kHandlerMask10};
    return match_schema(schema, mask, verify, kKnown, 3, kTables[kSchemaHandler]);
}

int match_push_channel_record(table_schema& schema, std::uint64_t mask, bool verify) {
    static const std::uint64_t kKnown[] = {kPushChannelMask5, kPushChannelMask6};
    return match_schema(schema, mask, verify, kKnown, 2, kTables[kSchemaPushChannel]);
}

int add_recovered_records(const std::vector<recovered_record>& records, selk_run* run) {
    if (records.empty() || run == nullptr) return 0;
    recovered_stage stage;
    begin_recovered_stage(stage, *run);
    sort_recovered_records(records, run->options.verify != 0, stage);
    merge_recovered_records(stage, *run);
    return 1;
}

void begin_recovered_stage(recovered_stage& stage, const selk_run& run) {
    for (int i = 0; i < 3; ++i) stage.schemas[i] = run.layout.schemas[i];
    stage.notifications.clear();
    stage.handlers.clear();
    stage.push_channels.clear();
    for (bool& used : stage.used) used = false;
    for (schema_signature& signature : stage.signatures) signature.forget();
    stage.files.reset();
    stage.reference_schema = -1;
}

// The schema matcher of each slot that recovered records are sorted into.
int (*const kMatchers[kSchemaPushChannel + 1])(table_schema&, std::uint64_t, bool) = {
    match_notification_record, match_handler_record, match_push_channel_record};

void sort_recovered_records(const std::vector<recovered_record>& records, bool verify, recovered_stage& stage,
                            uni::fileio* file) {
    for (const recovered_record& row : records) {
        const std::uint32_t kind = row.table_kind;
        // Settings rows are never recovered: only the first three slots have a matcher.
        const int schema_index = table_slot(kind);
        if (schema_index < 0 || schema_index > kSchemaPushChannel) continue;
        int (*const match)(table_schema&, std::uint64_t, bool) = kMatchers[schema_index];
        table_schema& schema = stage.schemas[schema_index];
        stage.used[schema_index] = true;
        const std::uint64_t mask = row.carried != 0 ? row.carried : schema.column_mask;
        schema_signature& signature = stage.signatures[schema_index];
        if (schema.fields.empty() || schema.column_mask != mask) {
            match(schema, mask, verify);
            signature.forget();
            if (schema_index == kSchemaNotification) stage.reference_schema = -1;
        }

        switch (kind) {
            case kTableNotification:
                if (row.deferred_values != 0 && file != nullptr) {
                    refer_notification(stage, row, mask, *file);
                } else {
                    stage.reference_schema = -1;
                    notification_record n;
                    if (!fill_recovered_notification(n, row, mask, schema, signature)) break;
                    count_columns(schema, row);
                    stage.notifications.push_back(std::move(n));
                }
                break;
            case kTableHandler:
                if (append_record(stage.handlers, row, mask, kind, schema, signature))
                    stage.handlers.back().record_id = row.rowid;
                break;
            default:
                (void)append_record(stage.push_channels, row, mask, kind, schema, signature);
                break;
        }
    }
}

record_sink recovered_stage_sink(recovered_stage& stage, bool verify) {
    return [&stage, verify](std::vector<recovered_record>& records, uni::fileio& file) {
        sort_recovered_records(records, verify, stage, &file);
    };
}

void merge_recovered_records(recovered_stage& stage, selk_run& run) {
    notification_store& store = run.store;
    store.notifications.append(std::move(stage.notifications));
    // A live handler of the same id keeps its place in the index.
    for (const notification_handler_record& h : stage.handlers) store.add_handler(h);
    stage.handlers.clear();
    for (const wns_push_channel_record& c : stage.push_channels) store.add_channel(c);
    stage.push_channels.clear();
    // A table no record was sorted for keeps the count its schema gave.
    for (int i = 0; i < 3; ++i) {
        if (stage.used[i]) run.layout.join_columns[i] = stage.schemas[i].column_count;
    }
    note_handler_times(run);
}
