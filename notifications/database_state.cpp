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
    settings_texts.clear();
    noted_times.clear();
    app_name_width = kDefaultAppNameWidth;
}

sqlite_metadata& notification_store::append(std::uint32_t table_type) {
    switch (table_type) {
        case kTableHandler:
            handlers.emplace_back();
            return handlers.back();
        case kTablePushChannel:
            push_channels.emplace_back();
            return push_channels.back();
        default:
            settings.emplace_back();
            return settings.back();
    }
}

void notification_store::remove_last(std::uint32_t table_type) {
    switch (table_type) {
        case kTableHandler:
            handlers.pop_back();
            break;
        case kTablePushChannel:
            push_channels.pop_back();
            break;
        default:
            settings.pop_back();
            break;
    }
}

void notification_store::index_last(std::uint32_t table_type) {
    switch (table_type) {
        case kTableHandler:
            handler_index.emplace(handlers.back().record_id, handlers.size() - 1);
            break;
        case kTablePushChannel:
            push_channel_index.emplace(push_channels.back().handler_id, push_channels.size() - 1);
            break;
        case kTableHandlerSettings:
            settings_index.emplace(settings.back().handler_id, settings.size() - 1);
            append_setting_text(settings_texts[settings.back().handler_id], settings.back());
            break;
        default:
            break;
    }
}

const notification_handler_record* notification_store::handler_for(std::uint64_t handler_id) const {
    const auto it = handler_index.find(handler_id);
    if (it == handler_index.end() || it->second >= handlers.size()) return nullptr;
    return &handlers[it->second];
}

const wns_push_channel_record* notification_store::push_channel_for(std::uint64_t handler_id) const {
    // find() on a multimap may give any of equal keys; the first in the map's order is lower_bound.
    const auto it = push_channel_index.lower_bound(handler_id);
    if (it == push_channel_index.end() || it->first != handler_id) return nullptr;
    if (it->second >= push_channels.size()) return nullptr;
    return &push_channels[it->second];
}

const std::string& notification_store::settings_text(std::uint64_t handler_id) const {
    static const std::string kNone;
    const auto it = settings_texts.find(handler_id);
    return it != settings_texts.end() ? it->second : kNone;
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
