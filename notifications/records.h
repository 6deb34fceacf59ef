// The four record kinds of the notification database: a notification with its payload, a handler (an
// application registered for notifications), a handler's push channel and a handler's setting. Each is
// filled from one row of column texts, however the row was read (SQLite library, own table walk,
// recovered record); a column mask says which of the kind's columns the row holds, in column order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/digest.h"
#include "common/text_runs.h"
#include "sqlite_format/metadata.h"

// Table kinds (single bits), as records and queries carry them.
constexpr std::uint32_t kTableNotification = 1;
constexpr std::uint32_t kTableHandler = 2;
constexpr std::uint32_t kTablePushChannel = 4;
constexpr std::uint32_t kTableHandlerSettings = 8;

// Column counts of the four kinds; column i of a kind is bit i of its column masks.
constexpr int kNotificationColumns = 14;
constexpr int kHandlerColumns = 11;
constexpr int kPushChannelColumns = 6;
constexpr int kHandlerSettingsColumns = 3;

// The database's column name of each column, in column order. Handler column 2 has no counterpart in the
// databases Windows writes; its name is one they lack, so that bit stays clear for them.
extern const char* const kNotificationColumnNames[kNotificationColumns];
extern const char* const kHandlerColumnNames[kHandlerColumns];
extern const char* const kPushChannelColumnNames[kPushChannelColumns];
extern const char* const kHandlerSettingsColumnNames[kHandlerSettingsColumns];

// The bit of the column at `position` in a column mask.
constexpr std::uint64_t column_bit(int position) { return std::uint64_t{1} << position; }

// Positions of the notification columns that code reads by name.
constexpr int kNotificationOrder = 0;
constexpr int kNotificationId = 1;
constexpr int kNotificationHandlerId = 2;
constexpr int kNotificationType = 4;
constexpr int kNotificationPayload = 5;

// Slots of the four tables: their order in a run's layout and in kTables.
constexpr int kSchemaNotification = 0;
constexpr int kSchemaHandler = 1;
constexpr int kSchemaPushChannel = 2;
constexpr int kSchemaHandlerSettings = 3;

// What the program knows of one of the four tables.
struct table_facts {
    std::uint32_t kind;               // kTable*
    const char* name;                 // as the schema table names it, in lower case
    const char* const* column_names;  // the database's column names, bit i of a mask for name i
    int columns;                      // how many
};

// The four tables in slot order: the one place that pairs each kind with its slot, name and columns.
extern const table_facts kTables[4];

// The slot of a table kind; -1 for a value that is no kind.
int table_slot(std::uint32_t kind);

// Appended to a value that went on into an overflow page the reader followed.
extern const char* const kTagOverflowPage;  // " [overflow page]"
// Appended to a byte value that stopped at a zero byte with its text exactly 4 bytes shorter than its stated
// length: where a cell's overflow page number follows the local part of a value.
extern const char* const kTagOverflowNotParsed;  // " [possible overflow page not parsed]"
// Appended to a byte value that ended at a zero byte anywhere else.
extern const char* const kTagCorruptedData;  // " [corrupted data detected]"

// A handler's stored time text (CreatedTime, ModifiedTime) read as a UTC date in the order year, month, day
// with '-', and an optional time after a blank or a 'T': true when its fields name a real date and time,
// with its FILETIME in `filetime` (0 where the value has none to print). False, `filetime` 0, for an empty
// text, one that is no such date, and one whose fields name no date that exists ("2021-02-29", a month or day
// 0, an hour past 23, a minute or second past 59, a year past 9999): the time library's conversion would roll
// those into another, real date, which the file does not hold.
bool handler_time_filetime(const std::string& text, std::uint64_t& filetime);

// A payload value too long to copy, where the reader holds it: the record's payload text is made of it as
// it is written (payload_text_pieces), and never whole.
struct payload_bytes {
    const char* bytes = nullptr;  // null: none, the payload is the record's `payload` text
    std::uint32_t size = 0;
    bool overflowed = false;  // the value went on into an overflow page the reader followed
};

// The payload text a record makes of a value (cleaned to one line, ending at a zero byte, then tagged: an
// overflow the reader followed, or else a stop at a zero byte) handed to `out` in pieces, each run of the
// value's kept bytes where it stands.
void payload_text_pieces(text_sink& out, const char* bytes, std::uint32_t length, bool overflowed);

// Shared signature of the fillers (see sqlite_metadata): `count` values, `sizes[i]` (when present) the
// byte length of value i, `column_flags[i]` bit 28 marking a value that runs on into an overflow page. For a
// notification a size of kLentInteger marks an integer lent as its 8 bytes (a native long long), as the
// library's rows are handed on: it reads as its decimal text, and as a number without making one.
// A filler refuses (0) a null value array or fewer values than `minimum_count`; otherwise it stores `flag`,
// the record offset and the source code in the base part, gives the values in order to the columns
// whose bits are set in `column_mask` (lowest bit first, until the values run out) and returns 1.

// One notification (Notification table).
class notification_record : public sqlite_metadata {
  public:
    notification_record();
    notification_record(const notification_record& other);
    notification_record& operator=(const notification_record& other);
    notification_record(notification_record&& other) noexcept;
    notification_record& operator=(notification_record&& other) noexcept;
    ~notification_record() override;

    // Numbers 0, GUID zero, texts empty, payload type "xml".
    void clear();

    using sqlite_metadata::populate_record;
    using sqlite_metadata::populate_record_ex;
    // Fills through populate_record_ex with no column flags.
    int populate_record(int count, char** values, std::vector<unsigned>& sizes, bool flag,
                        std::uint64_t record_offset, std::uint64_t column_mask, int minimum_count,
                        unsigned source_code) override;
    int populate_record_ex(int count, char** values, std::vector<unsigned>& sizes,
                           std::vector<unsigned>& column_flags, bool flag, std::uint64_t record_offset,
                           std::uint64_t column_mask, int minimum_count, unsigned source_code) override;

    std::uint64_t order;              // 0 Order
    std::uint64_t id;                 // 1 Id
    std::uint64_t handler_id;         // 2 HandlerId: RecordId of the handler
    _16_byte_block activity_id;       // 3 ActivityId: set only from a value of 16 bytes or more
    std::string type;                 // 4 Type ("toast", "tile", "badge")
    std::string payload;              // 5 Payload, cleaned to one line, with its tag when it stopped early
    std::string tag;                  // 6 Tag
    std::string group;                // 7 Group
    std::uint64_t expiry_time;        // 8 ExpiryTime, FILETIME
    std::uint64_t arrival_time;       // 9 ArrivalTime, FILETIME
    std::uint64_t data_version;       // 10 DataVersion
    std::string payload_type;         // 11 PayloadType
    std::uint64_t boot_id;            // 12 BootId
    std::uint64_t expires_on_reboot;  // 13 ExpiresOnReboot

    // A Payload, Tag or Group value of at least this many bytes is not copied into its text: `large_payload`,
    // `large_tag` or `large_group` then points to it where the reader holds it (a Tag's or Group's bytes up
    // to a zero byte), valid only while the reader keeps the row (the row pipeline writes such a row at
    // once). The default copies every value.
    std::size_t payload_reference_from = static_cast<std::size_t>(-1);
    payload_bytes large_payload;  // set instead of `payload` for a value past payload_reference_from
    payload_bytes large_tag;      // set instead of `tag`
    payload_bytes large_group;    // set instead of `group`
};

// The text of a Tag or Group a record holds, in pieces: the record's text, or its large value's bytes with
// the overflow tag when the value went on into an overflow page.
class tag_text : public text_source {
  public:
    tag_text(const std::string& text, const payload_bytes& large) : text_(text), large_(large) {}
    void put_to(text_sink& out) const override;

  private:
    const std::string& text_;
    const payload_bytes& large_;
};

// The payload text of a record, in pieces: its `payload`, or the text its large_payload makes.
class payload_text : public text_source {
  public:
    explicit payload_text(const notification_record& notification) : n_(notification) {}
    void put_to(text_sink& out) const override;

  private:
    const notification_record& n_;
};

// One application registered to receive notifications (NotificationHandler table).
class notification_handler_record : public sqlite_metadata {
  public:
    notification_handler_record();
    notification_handler_record(const notification_handler_record& other);
    notification_handler_record& operator=(const notification_handler_record& other);
    notification_handler_record(notification_handler_record&& other) noexcept;
    notification_handler_record& operator=(notification_handler_record&& other) noexcept;
    ~notification_handler_record() override;

    // Numbers and both FILETIMEs 0, every text empty.
    void clear();

    using sqlite_metadata::populate_record;
    using sqlite_metadata::populate_record_ex;
    int populate_record(int count, char** values, std::vector<unsigned>& sizes, bool flag,
                        std::uint64_t record_offset, std::uint64_t column_mask, int minimum_count,
                        unsigned source_code) override;
    int populate_record_ex(int count, char** values, std::vector<unsigned>& sizes,
                           std::vector<unsigned>& column_flags, bool flag, std::uint64_t record_offset,
                           std::uint64_t column_mask, int minimum_count, unsigned source_code) override;

    std::uint64_t record_id;               // 0 RecordId: the key notifications refer to
    std::string primary_id;                // 1 PrimaryId: source of app_name
    std::string secondary_id;              // 2 (no column in Windows' databases): app_name when 1 gave none
    std::string wns_id;                    // 3 WNSId
    std::string handler_type;              // 4 HandlerType
    std::uint64_t wnf_event_name;          // 5 WNFEventName
    std::string system_data_property_set;  // 6 SystemDataPropertySet, cleaned to one line, with its tag
    std::string created_time;              // 7 CreatedTime as stored ("2020-12-11 19:09:13")
    std::string modified_time;             // 8 ModifiedTime as stored
    std::string parent_id;                 // 9 ParentId
    std::string container_sid;             // 10 ContainerSid
    std::uint64_t created_filetime;        // CreatedTime as handler_time_filetime reads it; 0 when no date
    std::uint64_t modified_filetime;       // ModifiedTime as handler_time_filetime reads it; 0 when no date
    std::string app_name;                  // application name derived from the identifier

    // A PrimaryId, WNSId or HandlerType of at least this many bytes is not copied: its view (its bytes up to
    // a zero byte where the reader holds them, valid only while the reader keeps the row) is set instead,
    // and a name derived from it is a view of it. The store's records take their texts before the next row
    // (joined_tables.h). The default copies every value.
    std::size_t reference_from = static_cast<std::size_t>(-1);
    std::string_view large_primary_id, large_wns_id, large_handler_type, large_app_name;
};

// One push channel of a handler (WNSPushChannel table).
class wns_push_channel_record : public sqlite_metadata {
  public:
    wns_push_channel_record();
    wns_push_channel_record(const wns_push_channel_record& other);
    wns_push_channel_record& operator=(const wns_push_channel_record& other);
    wns_push_channel_record(wns_push_channel_record&& other) noexcept;
    wns_push_channel_record& operator=(wns_push_channel_record&& other) noexcept;
    ~wns_push_channel_record() override;

    using sqlite_metadata::populate_record;
    using sqlite_metadata::populate_record_ex;
    int populate_record(int count, char** values, std::vector<unsigned>& sizes, bool flag,
                        std::uint64_t record_offset, std::uint64_t column_mask, int minimum_count,
                        unsigned source_code) override;
    int populate_record_ex(int count, char** values, std::vector<unsigned>& sizes,
                           std::vector<unsigned>& column_flags, bool flag, std::uint64_t record_offset,
                           std::uint64_t column_mask, int minimum_count, unsigned source_code) override;

    std::string channel_id;        // 0 ChannelId
    std::uint64_t handler_id;      // 1 HandlerId
    std::string uri;               // 2 Uri
    std::uint64_t expiry_time;     // 3 ExpiryTime, FILETIME
    std::uint64_t created_time;    // 4 CreatedTime, FILETIME
    std::uint64_t device_version;  // 5 DeviceVersion

    // A ChannelId or Uri of at least this many bytes is not copied: its view is set instead
    // (notification_handler_record::reference_from).
    std::size_t reference_from = static_cast<std::size_t>(-1);
    std::string_view large_channel_id, large_uri;
};

// How a setting's value is stored.
enum class setting_kind : std::uint8_t { integer, text, real, blob };

// One setting of a handler (HandlerSettings table). populate_record takes its Value as an integer;
// populate_record_ex takes it as the kind its column flag names (the kind bits of a serial type's code,
// sqlite_format/record.h): an integer (or NULL) as the number, a text, a real's decimal text or a blob's
// bytes as `stored`.
class handler_settings_record : public sqlite_metadata {
  public:
    handler_settings_record();
    handler_settings_record(const handler_settings_record& other);
    handler_settings_record& operator=(const handler_settings_record& other);
    handler_settings_record(handler_settings_record&& other) noexcept;
    handler_settings_record& operator=(handler_settings_record&& other) noexcept;
    ~handler_settings_record() override;

    using sqlite_metadata::populate_record;
    using sqlite_metadata::populate_record_ex;
    int populate_record(int count, char** values, std::vector<unsigned>& sizes, bool flag,
                        std::uint64_t record_offset, std::uint64_t column_mask, int minimum_count,
                        unsigned source_code) override;
    int populate_record_ex(int count, char** values, std::vector<unsigned>& sizes,
                           std::vector<unsigned>& column_flags, bool flag, std::uint64_t record_offset,
                           std::uint64_t column_mask, int minimum_count, unsigned source_code) override;

    std::uint64_t handler_id;                   // 0 HandlerId
    std::string setting_key;                    // 1 SettingKey
    std::uint64_t value;                        // 2 Value, when an integer (0 for NULL)
    setting_kind kind = setting_kind::integer;  // how the Value is stored
    std::string stored;                         // a Value of another kind: a text up to a zero byte, a real's
                                                // decimal text as SQLite gives it, a blob's bytes

    // A SettingKey or stored Value of at least this many bytes is not copied: its view is set instead
    // (notification_handler_record::reference_from).
    std::size_t reference_from = static_cast<std::size_t>(-1);
    std::string_view large_setting_key, large_stored;
};

// A text a record holds, or its view where the record left it with the reader (empty when not).
inline std::string_view held_or_large(const std::string& held, std::string_view large) {
    return large.data() != nullptr ? large : std::string_view(held);
}

// The value text of a setting in pieces: an integer's decimal text; a text or a real as stored; a blob's
// bytes as a blob cell shows them (payload_text_pieces). False, with nothing handed on, for an integer 0,
// which no settings text shows.
bool put_setting_value(text_sink& out, setting_kind kind, std::uint64_t value, const char* stored,
                       std::size_t stored_size);

// Adds one setting to the settings text of its handler: a setting of a non-zero value as "key":"value",
// after "; " when the text holds one already; a setting of integer value 0 adds nothing; a value of any
// other kind is shown as stored (put_setting_value).
void append_setting_text(std::string& text, const handler_settings_record& setting);

// The application name derived from a handler identifier: with a "!", the text after it, or, when a "_"
// stands at or before the "!", the text before the last such "_"; without a "!", the text before its last
// "_" (the whole text when it has none).
std::string derive_app_name(const std::string& identifier);
// The same as a view of the identifier (derive_app_name's text is always its beginning or its end).
std::string_view derive_app_name_view(std::string_view identifier);
