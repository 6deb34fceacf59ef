#include "notifications/database_state.h"

#include <algorithm>

table_layout::table_layout() {
    for (int slot = 0; slot < 4; ++slot) table_names[slot] = kTables[slot].name;
}

void table_layout::clear() {
    for (table_schema& s : schemas) s.clear();
    for (table_root& r : roots) r = table_root();
    for (std::uint32_t& n : join_columns) n = 0;
    page_size = 0;
    reserved = 0;
    texts = text_encoding::utf8;
    column_names.clear();
    tree_roots.clear();
    tree_names.clear();
}

thread_shares share_helper_threads(unsigned helpers) {
    thread_shares shares;
    shares.formatters = std::min(helpers, 4u);
    shares.decoders = std::min(helpers, 3u);
    shares.scan = std::min(helpers, 1u);
    // The slack scan's chunks are classified while the tables are read, but the scan is what the report
    // waits for once they are.
    shares.carvers = std::min(helpers, 4u);
    // The tree check runs before the tables are read, when no formatter or decoder runs yet: it may take as
    // many as both.
    shares.checkers = std::min(helpers, 7u);
    return shares;
}

void notification_store::clear() {
    notifications.clear();
    handlers.clear();
    push_channels.clear();
    settings.clear();
    handler_index.clear();
    push_channel_index.clear();
    settings_index.clear();
    noted_times.clear();
    texts_.clear();
    handler_ = notification_handler_record();
    channel_ = wns_push_channel_record();
    setting_ = handler_settings_record();
    app_name_width = kDefaultAppNameWidth;
}

sqlite_metadata& notification_store::fresh_record(std::uint32_t table_type) {
    // A new record each row, so that no value of the row before stays (and no huge one is held on to).
    switch (table_type) {
        case kTableHandler:
            handler_ = notification_handler_record();
            return handler_;
        case kTablePushChannel:
            channel_ = wns_push_channel_record();
            return channel_;
        default:
            setting_ = handler_settings_record();
            return setting_;
    }
}

void notification_store::keep(std::uint32_t table_type) {
    switch (table_type) {
        case kTableHandler:
            add_handler(handler_);
            handler_ = notification_handler_record();
            break;
        case kTablePushChannel:
            add_channel(channel_);
            channel_ = wns_push_channel_record();
            break;
        case kTableHandlerSettings:
            add_setting(setting_);
            setting_ = handler_settings_record();
            break;
        default:
            break;
    }
}

void notification_store::add_handler(const notification_handler_record& handler) {
    handlers.push_back(make_handler_entry(handler, texts_));
    handler_index.emplace(handler.record_id, handlers.size() - 1);
}

void notification_store::add_channel(const wns_push_channel_record& channel) {
    push_channels.push_back(make_channel_entry(channel, texts_));
    push_channel_index.emplace(channel.handler_id, push_channels.size() - 1);
}

void notification_store::add_setting(const handler_settings_record& setting) {
    settings.push_back(make_setting_entry(setting, texts_));
    settings_index.emplace(setting.handler_id, settings.size() - 1);
}

const handler_entry* notification_store::handler_for(std::uint64_t handler_id) const {
    const auto it = handler_index.find(handler_id);
    if (it == handler_index.end() || it->second >= handlers.size()) return nullptr;
    return &handlers[it->second];
}

const channel_entry* notification_store::push_channel_for(std::uint64_t handler_id) const {
    // find() on a multimap may give any of equal keys; the first in the map's order is lower_bound.
    const auto it = push_channel_index.lower_bound(handler_id);
    if (it == push_channel_index.end() || it->first != handler_id) return nullptr;
    if (it->second >= push_channels.size()) return nullptr;
    return &push_channels[it->second];
}

void notification_store::put_settings_text(text_sink& out, std::uint64_t handler_id) const {
    // Equal keys stay in the order they were inserted: the order the settings were read.
    const auto range = settings_index.equal_range(handler_id);
    bool first = true;
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second < settings.size() && put_setting_text(out, settings[it->second], first)) first = false;
    }
}

std::string notification_store::settings_text(std::uint64_t handler_id) const {
    std::string text;
    string_text_sink to_text(text);
    put_settings_text(to_text, handler_id);
    return text;
}

selk_run::selk_run(const selk_options& run_options)
    : options(run_options),
      carve_switch(run_options.switches[kSwitchCarve]),
      header_on(run_options.header_on) {}

void selk_run::clear_after_each_iteration() {
    if (sqlite.is_open) sqlite.close_and_unload();
    layout.clear();
    store.clear();
    tables_incomplete = 0;
    input_read = 0;
    carve_switch = options.switches[kSwitchCarve];
}
