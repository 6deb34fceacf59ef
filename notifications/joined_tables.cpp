#include "notifications/joined_tables.h"

#include <cstdint>
#include <cstring>
#include <new>

char* text_blocks::place(std::size_t n) {
    if (n == 0) return nullptr;
    // A text of a quarter block or more takes a block of its own, which leaves the room of the last one.
    if (n >= kBlock / 4) {
        blocks_.emplace_back(new char[n]);
        return blocks_.back().get();
    }
    if (n > room_) {
        blocks_.emplace_back(new char[kBlock]);
        free_ = blocks_.back().get();
        room_ = kBlock;
    }
    char* at = free_;
    free_ += n;
    room_ -= n;
    return at;
}

std::string_view text_blocks::add(const char* bytes, std::size_t n) {
    char* at = place(n);
    if (at == nullptr) return std::string_view();
    std::memcpy(at, bytes, n);
    return std::string_view(at, n);
}

void text_blocks::clear() {
    blocks_.clear();
    free_ = nullptr;
    room_ = 0;
}

namespace {

// The texts of an entry one after another in one span of `texts`: where each ends, and the span ("" when
// they are all empty). Spans are measured in 32 bits: texts of 4 GiB and more in one record are more than
// the run can hold.
const char* place_texts(text_blocks& texts, const std::string_view* parts, std::size_t count,
                        std::uint32_t* ends) {
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) total += parts[i].size();
    if (total > UINT32_MAX) throw std::bad_alloc();
    char* at = texts.place(total);
    if (at == nullptr) {
        for (std::size_t i = 0; i < count; ++i) ends[i] = 0;
        return "";
    }
    std::size_t end = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!parts[i].empty()) std::memcpy(at + end, parts[i].data(), parts[i].size());
        end += parts[i].size();
        ends[i] = static_cast<std::uint32_t>(end);
    }
    return at;
}

}  // namespace

handler_entry make_handler_entry(const notification_handler_record& h, text_blocks& texts) {
    handler_entry e;
    e.record_id = h.record_id;
    e.wnf_event_name = h.wnf_event_name;
    e.created_filetime = h.created_filetime;
    e.modified_filetime = h.modified_filetime;
    e.record_offset = h.record_offset;
    e.flags = h.flags;
    // The derived name is a part of the identifier it comes from where it begins or ends it: held once,
    // with it; else it follows the other texts.
    const std::string_view id = held_or_large(h.primary_id, h.large_primary_id);
    const std::string_view app = held_or_large(h.app_name, h.large_app_name);
    const std::size_t n = app.size();
    std::size_t within = std::string::npos;
    if (n <= id.size()) {
        if (id.compare(0, n, app) == 0)
            within = 0;
        else if (id.compare(id.size() - n, n, app) == 0)
            within = id.size() - n;
    }
    const std::string_view parts[] = {id,
                                      held_or_large(h.wns_id, h.large_wns_id),
                                      held_or_large(h.handler_type, h.large_handler_type),
                                      h.created_time,
                                      h.modified_time,
                                      within == std::string::npos ? app : std::string_view()};
    std::uint32_t ends[6];
    e.texts = place_texts(texts, parts, 6, ends);
    for (int i = 0; i < 5; ++i) e.ends[i] = ends[i];
    e.app_at = static_cast<std::uint32_t>(within == std::string::npos ? ends[4] : within);
    e.app_size = static_cast<std::uint32_t>(n);
    return e;
}

channel_entry make_channel_entry(const wns_push_channel_record& c, text_blocks& texts) {
    channel_entry e;
    e.handler_id = c.handler_id;
    e.expiry_time = c.expiry_time;
    e.created_time = c.created_time;
    e.device_version = c.device_version;
    e.record_offset = c.record_offset;
    e.flags = c.flags;
    const std::string_view parts[] = {held_or_large(c.channel_id, c.large_channel_id),
                                      held_or_large(c.uri, c.large_uri)};
    std::uint32_t ends[2];
    e.texts = place_texts(texts, parts, 2, ends);
    e.channel_id_size = ends[0];
    e.uri_size = ends[1] - ends[0];
    return e;
}

setting_entry make_setting_entry(const handler_settings_record& s, text_blocks& texts) {
    setting_entry e;
    e.handler_id = s.handler_id;
    e.value = s.value;
    e.kind = s.kind;
    e.flags = s.flags;
    const std::string_view parts[] = {held_or_large(s.setting_key, s.large_setting_key),
                                      held_or_large(s.stored, s.large_stored)};
    std::uint32_t ends[2];
    e.texts = place_texts(texts, parts, 2, ends);
    e.key_size = ends[0];
    e.stored_size = ends[1] - ends[0];
    return e;
}

bool put_setting_text(text_sink& out, const setting_entry& setting, bool first) {
    if (setting.kind == setting_kind::integer && setting.value == 0) return false;
    if (!first) out.put("; ", 2);
    out.put('"');
    out.put(setting.texts, setting.key_size);
    out.put("\":\"", 3);
    put_setting_value(out, setting.kind, setting.value, setting.texts + setting.key_size,
                      setting.stored_size);
    out.put('"');
    return true;
}
