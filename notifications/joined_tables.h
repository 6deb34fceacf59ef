// The handlers, push channels and settings as the report's joins read them, held compactly: a record of
// these tables is filled as its reader gives it (records.h) and then kept as an entry of numbers and of
// views of its texts, each text copied once into blocks of the store that never move. A large handler table
// then costs about what its texts come to, not a record with a dozen strings a row, and a huge text is held
// once however many notifications name it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_runs.h"
#include "notifications/records.h"

// Texts copied once into blocks that never move: a view add gives stays valid until clear().
class text_blocks {
  public:
    std::string_view add(const char* bytes, std::size_t n);
    std::string_view add(const std::string& text) { return add(text.data(), text.size()); }
    // A view of `part` where it begins or ends one of the texts `first` and `second` (views this gave), else
    // `part` added.
    std::string_view add_within(std::string_view first, std::string_view second, const std::string& part);
    void clear();

  private:
    static constexpr std::size_t kBlock = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;  // the room left in the last small block
    std::size_t room_ = 0;
};

// One handler as the joins read it.
struct handler_entry {
    std::uint64_t record_id = 0;
    std::uint64_t wnf_event_name = 0;
    std::uint64_t created_filetime = 0;  // CreatedTime as handler_time_filetime reads it; 0 when no date
    std::uint64_t modified_filetime = 0;
    std::uint64_t record_offset = 0;
    std::uint32_t flags = 0;  // the record's: bits 2 and up its source code
    std::string_view primary_id;
    std::string_view secondary_id;
    std::string_view wns_id;
    std::string_view handler_type;
    std::string_view system_data_property_set;  // cleaned to one line, with its tag
    std::string_view created_time;              // as stored
    std::string_view modified_time;
    std::string_view parent_id;
    std::string_view container_sid;
    std::string_view app_name;  // within primary_id or secondary_id where it was derived from one

    unsigned source_code() const { return flags >> kSourceShift; }
};

// One push channel as the joins read it.
struct channel_entry {
    std::uint64_t handler_id = 0;
    std::uint64_t expiry_time = 0;
    std::uint64_t created_time = 0;
    std::uint64_t device_version = 0;
    std::uint64_t record_offset = 0;
    std::uint32_t flags = 0;
    std::string_view channel_id;
    std::string_view uri;

    unsigned source_code() const { return flags >> kSourceShift; }
};

// One setting: its value as stored (handler_settings_record).
struct setting_entry {
    std::uint64_t handler_id = 0;
    std::uint64_t value = 0;  // an integer value
    std::string_view setting_key;
    std::string_view stored;  // the text of any other value (its bytes, for a blob)
    std::uint32_t flags = 0;  // the record's: bits 2 and up its source code
    setting_kind kind = setting_kind::integer;

    unsigned source_code() const { return flags >> kSourceShift; }
};

// The entry of a record, its texts added to `texts`.
handler_entry make_handler_entry(const notification_handler_record& h, text_blocks& texts);
channel_entry make_channel_entry(const wns_push_channel_record& c, text_blocks& texts);
setting_entry make_setting_entry(const handler_settings_record& s, text_blocks& texts);

// The text a setting adds to its handler's settings text (append_setting_text), handed to `out`; false, with
// nothing handed on, for a setting that adds none. `first`: no setting was put before it.
bool put_setting_text(text_sink& out, const setting_entry& setting, bool first);
