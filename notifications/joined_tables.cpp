#include "notifications/joined_tables.h"

#include <cstring>

std::string_view text_blocks::add(const char* bytes, std::size_t n) {
    if (n == 0) return std::string_view();
    // A text of a quarter block or more takes a block of its own, which leaves the room of the last one.
    if (n >= kBlock / 4) {
        std::unique_ptr<char[]> own(new char[n]);
        std::memcpy(own.get(), bytes, n);
        blocks_.push_back(std::move(own));
        return std::string_view(blocks_.back().get(), n);
    }
    if (n > room_) {
        blocks_.emplace_back(new char[kBlock]);
        free_ = blocks_.back().get();
        room_ = kBlock;
    }
    char* at = free_;
    std::memcpy(at, bytes, n);
    free_ += n;
    room_ -= n;
    return std::string_view(at, n);
}

std::string_view text_blocks::add_within(std::string_view first, std::string_view second,
                                         const std::string& part) {
    const std::size_t n = part.size();
    if (n == 0) return std::string_view();
    for (const std::string_view whole : {first, second}) {
        if (n > whole.size()) continue;
        if (whole.compare(0, n, part) == 0) return whole.substr(0, n);
        if (whole.compare(whole.size() - n, n, part) == 0) return whole.substr(whole.size() - n);
    }
    return add(part);
}

void text_blocks::clear() {
    blocks_.clear();
    free_ = nullptr;
    room_ = 0;
}

handler_entry make_handler_entry(const notification_handler_record& h, text_blocks& texts) {
    handler_entry e;
    e.record_id = h.record_id;
    e.wnf_event_name = h.wnf_event_name;
    e.created_filetime = h.created_filetime;
    e.modified_filetime = h.modified_filetime;
    e.record_offset = h.record_offset;
    e.flags = h.flags;
    e.primary_id = texts.add(h.primary_id);
    e.secondary_id = texts.add(h.secondary_id);
    e.wns_id = texts.add(h.wns_id);
    e.handler_type = texts.add(h.handler_type);
    e.system_data_property_set = texts.add(h.system_data_property_set);
    e.created_time = texts.add(h.created_time);
    e.modified_time = texts.add(h.modified_time);
    e.parent_id = texts.add(h.parent_id);
    e.container_sid = texts.add(h.container_sid);
    // The derived name is a part of the identifier it comes from: held once, with it.
    e.app_name = texts.add_within(e.primary_id, e.secondary_id, h.app_name);
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
    e.channel_id = texts.add(c.channel_id);
    e.uri = texts.add(c.uri);
    return e;
}

setting_entry make_setting_entry(const handler_settings_record& s, text_blocks& texts) {
    setting_entry e;
    e.handler_id = s.handler_id;
    e.value = s.value;
    e.kind = s.kind;
    e.flags = s.flags;
    e.setting_key = texts.add(s.setting_key);
    e.stored = texts.add(s.stored);
    return e;
}

bool put_setting_text(text_sink& out, const setting_entry& setting, bool first) {
    if (setting.kind == setting_kind::integer && setting.value == 0) return false;
    if (!first) out.put("; ", 2);
    out.put('"');
    out.put(setting.setting_key.data(), setting.setting_key.size());
    out.put("\":\"", 3);
    put_setting_value(out, setting.kind, setting.value, setting.stored.data(), setting.stored.size());
    out.put('"');
    return true;
}
