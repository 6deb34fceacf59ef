#include "notifications/database_state.h"

#include <algorithm>
#include <cstdint>
#include <new>

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
    handler_order_.clear();
    channel_order_.clear();
    setting_order_.clear();
    sorted_.store(true, std::memory_order_release);
    noted_times.clear();
    large_texts = false;
    texts_.clear();
    handler_ = notification_handler_record();
    channel_ = wns_push_channel_record();
    setting_ = handler_settings_record();
    app_name_width = kDefaultAppNameWidth;
}

sqlite_metadata& notification_store::fresh_record(std::uint32_t table_type) {
    // A new record each row, so that no value of the row before stays (and no huge one is held on to); a
    // large text is left where the reader holds it until keep() takes it.
    switch (table_type) {
        case kTableHandler:
            handler_ = notification_handler_record();
            handler_.reference_from = kLargeTextBytes;
            return handler_;
        case kTablePushChannel:
            channel_ = wns_push_channel_record();
            channel_.reference_from = kLargeTextBytes;
            return channel_;
        default:
            setting_ = handler_settings_record();
            setting_.reference_from = kLargeTextBytes;
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

namespace {

// The position the next entry of `entries` takes in `order`: positions are 32 bits, more entries than that
// are more than the run can hold.
template <typename Entries>
std::uint32_t next_position(const Entries& entries) {
    if (entries.size() >= UINT32_MAX) throw std::bad_alloc();
    return static_cast<std::uint32_t>(entries.size());
}

// Sorts `order` by the handler id `id_of` gives of each position's entry, then by position.
template <typename Entries, typename IdOf>
void sort_by_handler(std::vector<std::uint32_t>& order, const Entries& entries, IdOf id_of) {
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const std::uint64_t ia = id_of(entries[a]), ib = id_of(entries[b]);
        return ia != ib ? ia < ib : a < b;
    });
}

// The first position in sorted `order` of an entry of `handler_id`.
template <typename Entries, typename IdOf>
std::vector<std::uint32_t>::const_iterator first_of(const std::vector<std::uint32_t>& order,
                                                    const Entries& entries, IdOf id_of,
                                                    std::uint64_t handler_id) {
    return std::lower_bound(order.begin(), order.end(), handler_id,
                            [&](std::uint32_t at, std::uint64_t id) { return id_of(entries[at]) < id; });
}

std::uint64_t handler_key(const handler_entry& h) { return h.record_id; }
std::uint64_t channel_key(const channel_entry& c) { return c.handler_id; }
std::uint64_t setting_key_of(const setting_entry& s) { return s.handler_id; }

// Appends the entry `make` builds to `entries` and its position to `order`, neither where memory runs out.
template <typename Entries, typename Make>
const typename Entries::value_type& append_entry(Entries& entries, std::vector<std::uint32_t>& order,
                                                 Make make) {
    order.push_back(next_position(entries));
    try {
        entries.push_back(make());
    } catch (...) {
        order.pop_back();
        throw;
    }
    return entries.back();
}

}  // namespace

void notification_store::add_handler(const notification_handler_record& handler) {
    const handler_entry& e =
        append_entry(handlers, handler_order_, [&] { return make_handler_entry(handler, texts_); });
    if (e.ends[4] >= kLargeTextBytes || e.app_size >= kLargeTextBytes) large_texts = true;
    sorted_.store(false, std::memory_order_relaxed);
}

void notification_store::add_channel(const wns_push_channel_record& channel) {
    const channel_entry& e =
        append_entry(push_channels, channel_order_, [&] { return make_channel_entry(channel, texts_); });
    if (std::size_t{e.channel_id_size} + e.uri_size >= kLargeTextBytes) large_texts = true;
    sorted_.store(false, std::memory_order_relaxed);
}

void notification_store::add_setting(const handler_settings_record& setting) {
    const setting_entry& e =
        append_entry(settings, setting_order_, [&] { return make_setting_entry(setting, texts_); });
    if (std::size_t{e.key_size} + e.stored_size >= kLargeTextBytes) large_texts = true;
    sorted_.store(false, std::memory_order_relaxed);
}

void notification_store::sort_indexes() const {
    if (sorted_.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> hold(sorting_);
    if (sorted_.load(std::memory_order_relaxed)) return;
    sort_by_handler(handler_order_, handlers, handler_key);
    sort_by_handler(channel_order_, push_channels, channel_key);
    sort_by_handler(setting_order_, settings, setting_key_of);
    sorted_.store(true, std::memory_order_release);
}

const handler_entry* notification_store::handler_for(std::uint64_t handler_id) const {
    sort_indexes();
    const auto it = first_of(handler_order_, handlers, handler_key, handler_id);
    if (it == handler_order_.end() || handlers[*it].record_id != handler_id) return nullptr;
    return &handlers[*it];
}

const channel_entry* notification_store::push_channel_for(std::uint64_t handler_id) const {
    sort_indexes();
    const auto it = first_of(channel_order_, push_channels, channel_key, handler_id);
    if (it == channel_order_.end() || push_channels[*it].handler_id != handler_id) return nullptr;
    return &push_channels[*it];
}

void notification_store::put_settings_text(text_sink& out, std::uint64_t handler_id) const {
    sort_indexes();
    bool first = true;
    for (auto it = first_of(setting_order_, settings, setting_key_of, handler_id);
         it != setting_order_.end() && settings[*it].handler_id == handler_id; ++it) {
        if (put_setting_text(out, settings[*it], first)) first = false;
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
