// The handlers, push channels and settings as the report's joins read them, held compactly: a record of
// these tables is filled as its reader gives it (records.h) and then kept as an entry of numbers and of the
// texts the report prints, copied once, one after another, into blocks of the store that never move. A
// large handler table then costs about what those texts come to, not a record with a dozen strings a row,
// and a huge text is held once however many notifications name it. The columns no form prints
// (SystemDataPropertySet, ParentId, ContainerSid) are not kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_runs.h"
#include "notifications/records.h"

// Texts copied once into blocks that never move: the room place() or add() gives stays valid until clear().
class text_blocks {
  public:
    // Room for `n` bytes (null for 0), for the caller to fill.
    char* place(std::size_t n);
    std::string_view add(const char* bytes, std::size_t n);
    std::string_view add(const std::string& text) { return add(text.data(), text.size()); }
    void clear();

  private:
    static constexpr std::size_t kBlock = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;  // the room left in the last small block
    std::size_t room_ = 0;
};

// One handler as the joins read it: its numbers and the texts the report prints, one after another in one
// span of the store (a derived name that is a part of the identifier is a view of it, else the last text).
struct handler_entry {
    std::uint64_t record_id = 0;
    std::uint64_t wnf_event_name = 0;
    std::uint64_t created_filetime = 0;  // CreatedTime as handler_time_filetime reads it; 0 when no date
    std::uint64_t modified_filetime = 0;
    std::uint64_t record_offset = 0;
    const char* texts = "";
    std::uint32_t ends[5] = {0, 0, 0, 0, 0};  // where each text ends in `texts`, in the order below
    std::uint32_t app_at = 0;                 // where the derived name lies in `texts`
    std::uint32_t app_size = 0;
    std::uint32_t flags = 0;  // the record's: bits 2 and up its source code

    std::string_view primary_id() const { return text(0); }
    std::string_view wns_id() const { return text(1); }
    std::string_view handler_type() const { return text(2); }
    std::string_view created_time() const { return text(3); }  // as stored
    std::string_view modified_time() const { return text(4); }
    std::string_view app_name() const { return std::string_view(texts + app_at, app_size); }
    unsigned source_code() const { return flags >> kSourceShift; }

  private:
    std::string_view text(int i) const {
        const std::uint32_t from = i == 0 ? 0 : ends[i - 1];
        return std::string_view(texts + from, ends[i] - from);
    }
};

// One push channel as the joins read it: its ChannelId and Uri one after the other in one span.
struct channel_entry {
    std::uint64_t handler_id = 0;
    std::uint64_t expiry_time = 0;
    std::uint64_t created_time = 0;
    std::uint64_t device_version = 0;
    std::uint64_t record_offset = 0;
    const char* texts = "";
    std::uint32_t channel_id_size = 0;
    std::uint32_t uri_size = 0;
    std::uint32_t flags = 0;

    std::string_view channel_id() const { return std::string_view(texts, channel_id_size); }
    std::string_view uri() const { return std::string_view(texts + channel_id_size, uri_size); }
    unsigned source_code() const { return flags >> kSourceShift; }
};

// One setting: its value as stored (handler_settings_record), its key and the text of a value that is no
// integer one after the other in one span.
struct setting_entry {
    std::uint64_t handler_id = 0;
    std::uint64_t value = 0;  // an integer value
    const char* texts = "";
    std::uint32_t key_size = 0;
    std::uint32_t stored_size = 0;
    std::uint32_t flags = 0;  // the record's: bits 2 and up its source code
    setting_kind kind = setting_kind::integer;

    std::string_view setting_key() const { return std::string_view(texts, key_size); }
    // The text of any other value (its bytes, for a blob).
    std::string_view stored() const { return std::string_view(texts + key_size, stored_size); }
    unsigned source_code() const { return flags >> kSourceShift; }
};

// The entry of a record, its texts added to `texts`.
handler_entry make_handler_entry(const notification_handler_record& h, text_blocks& texts);
channel_entry make_channel_entry(const wns_push_channel_record& c, text_blocks& texts);
setting_entry make_setting_entry(const handler_settings_record& s, text_blocks& texts);

// The text a setting adds to its handler's settings text (append_setting_text), handed to `out`; false, with
// nothing handed on, for a setting that adds none. `first`: no setting was put before it.
bool put_setting_text(text_sink& out, const setting_entry& setting, bool first);
