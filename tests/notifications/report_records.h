// Builders for the report tests: options parsed from a command line, and notification, handler, push
// channel and setting records filled directly, the way the analysis paths leave them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "notifications/records.h"
#include "notifications/selk_options.h"
#include "selk_process.h"
#include "sqlite_format/metadata.h"
#include "test_run.h"

namespace report_records {

// 2020-12-11 19:11:35.902 UTC and one minute later, as FILETIME ticks.
constexpr std::uint64_t kArrival = 132521874959020000ULL;
constexpr std::uint64_t kExpiry = kArrival + 600000000ULL;

// Parses `words` (after a program path) into the options; false when the parser refuses them. The run then
// takes its header state from the options, as a run made after parsing does.
inline bool parse(test_run& options, std::vector<std::string> words) {
    words.insert(words.begin(), "selk");
    const bool parsed = parse_selk_options(options, words) != 0;
    options.selk_run::header_on = options.selk_options::header_on;
    return parsed;
}

// Column masks of a whole table, as the library path stores them.
inline void set_full_masks(test_run& options) {
    options.layout.schemas[kSchemaNotification].column_mask = (1u << kNotificationColumns) - 1;
    options.layout.schemas[kSchemaNotification].column_count = kNotificationColumns;
    options.layout.schemas[kSchemaHandler].column_mask = (1u << kHandlerColumns) - 1;
    options.layout.schemas[kSchemaHandler].column_count = kHandlerColumns;
    options.layout.schemas[kSchemaPushChannel].column_mask = (1u << kPushChannelColumns) - 1;
    options.layout.schemas[kSchemaPushChannel].column_count = kPushChannelColumns;
    for (int i = 0; i < 3; ++i) options.layout.join_columns[i] = options.layout.schemas[i].column_count;
}

inline notification_record notification(std::uint64_t order, std::uint64_t handler_id,
                                        const std::string& type, const std::string& payload) {
    notification_record n;
    n.order = order;
    n.id = order + 1000;
    n.handler_id = handler_id;
    n.type = type;
    n.payload = payload;
    n.arrival_time = kArrival;
    n.expiry_time = kExpiry;
    n.flags = kSourceSqliteLib << kSourceShift;
    n.column_mask = (1u << kNotificationColumns) - 1;  // read from a table of every column
    return n;
}

// Marks a record as recovered from `source_code` at `offset`.
inline notification_record recovered(notification_record n, unsigned source_code, std::uint64_t offset) {
    n.recovered = 1;
    n.flags = source_code << kSourceShift;
    n.record_offset = offset;
    return n;
}

inline void add_handler(test_run& options, std::uint64_t id, const std::string& primary_id,
                        const std::string& app_name) {
    notification_handler_record h;
    h.record_id = id;
    h.primary_id = primary_id;
    h.app_name = app_name;
    h.handler_type = "app:desktop";
    options.store.add_handler(h);
}

inline void add_channel(test_run& options, std::uint64_t handler_id, const std::string& uri) {
    wns_push_channel_record c;
    c.channel_id = "chan";
    c.handler_id = handler_id;
    c.uri = uri;
    c.created_time = kArrival;
    c.expiry_time = kExpiry;
    options.store.add_channel(c);
}

// Appended and indexed as a table's reader does.
inline void add_setting(test_run& options, std::uint64_t handler_id, const std::string& key,
                        std::uint64_t value) {
    handler_settings_record s;
    s.handler_id = handler_id;
    s.setting_key = key;
    s.value = value;
    options.store.add_setting(s);
}

// The lines of a text without their line breaks.
inline std::vector<std::string> lines_of(const std::string& text) { return selk_process::lines(text); }

}  // namespace report_records
