#include "notifications/library_path.h"

#include <cstring>
#include <vector>

#include "common/case_conv.h"
#include "io/console.h"
#include "io/diags_log.h"
#include "io/fileio.h"
#include "io/option_parser.h"
#include "sqlite_binding/column_values.h"
#include "sqlite_format/format.h"
#include "sqlite_format/metadata.h"
#include "sqlite_format/schema_reader.h"

namespace {

// The column names and table name of one table type; false for a type other than 1, 2, 4, 8.
bool table_columns(std::uint32_t table_type, const char* const** names, int* count, const char** table) {
    switch (table_type) {
        case kTableNotification:
            *names = kNotificationColumnNames;
            *count = kNotificationColumns;
            *table = "notification";
            return true;
        case kTableHandler:
            *names = kHandlerColumnNames;
            *count = kHandlerColumns;
            *table = "notificationhandler";
            return true;
        case kTablePushChannel:
            *names = kPushChannelColumnNames;
            *count = kPushChannelColumns;
            *table = "wnspushchannel";
            return true;
        case kTableHandlerSettings:
            *names = kHandlerSettingsColumnNames;
            *count = kHandlerSettingsColumns;
            *table = "handlersettings";
            return true;
        default:
            return false;
    }
}

// The schema slot of a table type (types are checked by the callers).
int schema_slot(std::uint32_t table_type) {
    switch (table_type) {
        case kTableNotification:
            return kSchemaNotification;
        case kTableHandler:
            return kSchemaHandler;
        case kTablePushChannel:
            return kSchemaPushChannel;
        default:
            return kSchemaHandlerSettings;
    }
}

// Shared by the four schema checks: the mask of the schema's columns among the table's column names.
std::uint64_t check_schema(table_schema& schema, std::uint32_t table_type, bool mark_fields) {
    const char* const* names = nullptr;
    int count = 0;
    const char* table = nullptr;
    if (!table_columns(table_type, &names, &count, &table)) return 0;
    std::string schema_name = schema.name;
    string_to_lower(schema_name);
    if (schema_name != table) return 0;
    std::uint64_t mask = 0;
    for (table_field& field : schema.fields) {
        std::string field_name = field.name;
        string_to_lower(field_name);
        for (int i = 0; i < count; ++i) {
            std::string role = names[i];
            string_to_lower(role);
            if (field_name != role) continue;
            const std::uint64_t bit = 1ull << i;
            mask |= bit;
            if (mark_fields) {
                field.present = 1;
                field.column_bit = bit;
            }
            break;
        }
    }
    if (mark_fields) schema.column_mask = mask;
    return mask;
}

// Indexes the record just appended to the vector of `table_type`, as both reading ways do.
void index_last_record(selk_options& options, std::uint32_t table_type) {
    switch (table_type) {
        case kTableNotification:
            options.referenced_handlers.insert(options.notifications.back().handler_id);
            break;
        case kTableHandler: {
            const notification_handler_record& h = options.handlers.back();
            options.handler_index.emplace(h.record_id, options.handlers.size() - 1);
            // Only names that the report prints widen the column, and only when it is padded.
            if (!options.no_whitespace && h.app_name.size() > options.app_name_width &&
                options.referenced_handlers.count(h.record_id) != 0)
                options.app_name_width = static_cast<std::uint32_t>(h.app_name.size());
            break;
        }
        case kTablePushChannel:
            options.push_channel_index.emplace(options.push_channels.back().handler_id,
                                               options.push_channels.size() - 1);
            break;
        case kTableHandlerSettings:
            options.settings_index.emplace(options.settings.back().handler_id, options.settings.size() - 1);
            break;
        default:
            break;
    }
}

// The record just appended for `table_type` (types are checked by the callers).
sqlite_metadata& append_record(selk_options& options, std::uint32_t table_type) {
    switch (table_type) {
        case kTableNotification:
            options.notifications.emplace_back();
            return options.notifications.back();
        case kTableHandler:
            options.handlers.emplace_back();
            return options.handlers.back();
        case kTablePushChannel:
            options.push_channels.emplace_back();
            return options.push_channels.back();
        default:
            options.settings.emplace_back();
            return options.settings.back();
    }
}

void remove_last_record(selk_options& options, std::uint32_t table_type) {
    switch (table_type) {
        case kTableNotification:
            options.notifications.pop_back();
            break;
        case kTableHandler:
            options.handlers.pop_back();
            break;
        case kTablePushChannel:
            options.push_channels.pop_back();
            break;
        default:
            options.settings.pop_back();
            break;
    }
}

// The signature text of `schema` for the row being stamped, worked out again only when the schema (or its
// column mask, which the own reader's field map may change) differs from the last row's.
const std::string& row_signature(selk_options& options, const table_schema& schema) {
    selk_options::signature_cache& c = options.row_signature;
    if (!c.known || c.schema != &schema || c.mask != schema.column_mask || c.fields != schema.fields.size()) {
        c.text = schema_signature_text(schema);
        c.schema = &schema;
        c.mask = schema.column_mask;
        c.fields = schema.fields.size();
        c.known = true;
    }
    return c.text;
}

// The widening of the application-name column by the handlers that notifications refer to, when the
// handlers are read before the notifications: the handlers whose names are longer than the column are the
// candidates, and the notification rows are read only until the longest name that can count is found.
class app_name_widening {
  public:
    explicit app_name_widening(const selk_options& options) : width_(options.app_name_width) {
        // Only names that the report prints widen the column, and only when it is padded.
        if (options.no_whitespace) return;
        for (const notification_handler_record& h : options.handlers) {
            if (h.app_name.size() <= width_) continue;
            std::size_t& longest = longest_[h.record_id];
            if (h.app_name.size() > longest) longest = h.app_name.size();
            if (h.app_name.size() > top_) top_ = h.app_name.size();
        }
    }

    // True while a notification row could still widen the column.
    bool open() const { return width_ < top_; }
    // A notification refers to `handler_id`.
    void refer(std::uint64_t handler_id) {
        const auto it = longest_.find(handler_id);
        if (it != longest_.end() && it->second > width_) width_ = it->second;
    }
    std::uint32_t width() const { return static_cast<std::uint32_t>(width_); }

  private:
    std::size_t width_;
    std::size_t top_ = 0;                            // the longest candidate name
    std::map<std::uint64_t, std::size_t> longest_;  // handler id -> its longest name above the width
};

// The reused record back to a new record's state, its texts keeping their storage (a copy from an empty
// record reuses it; a move would not).
void reset_scratch(notification_record& n) {
    static const notification_record empty;
    n = empty;
}

// The HandlerId of a notification row of the library path, as the record's filler reads it.
std::uint64_t row_handler_id(int count, char** values, std::uint64_t mask) {
    if ((mask & 4) == 0) return 0;
    const int at = count_bits60(mask & 3);
    std::uint64_t id = 0;
    if (at < count && values != nullptr) column_to_u64(id, values[at]);
    return id;
}

struct library_widening_pass {
    app_name_widening* widening;
    std::uint64_t mask;
};

int widen_by_library_row(void* context, int count, char** values, char**) {
    library_widening_pass* pass = static_cast<library_widening_pass*>(context);
    pass->widening->refer(row_handler_id(count, values, pass->mask));
    return pass->widening->open() ? 0 : 1;
}

int stop_at_first_row(void*, int, char**, char**) { return 1; }

// The tables in reading order.
constexpr std::uint32_t kTableOrder[4] = {kTableNotification, kTableHandler, kTablePushChannel,
                                          kTableHandlerSettings};

// Runs the SELECT of one table through the row callback. A failure's text also goes to the diagnostics log,
// where an examiner sees why a table came out empty. When the library fails (a damaged page part of the way
// through the table), the rows it delivered stay; the table's name and the library's error go to standard
// error whatever the progress switch says, and the database is marked as not read whole.
bool select_table(selk_options& options, std::uint32_t table_type, std::uint64_t mask) {
    std::stringstream query;
    if (!build_select_query(query, table_type, mask)) return false;
    options.current_table_type = table_type;
    const std::string before = options.messages.str();
    std::string error_text;
    if (run_sql_command(&options, &options.sqlite, query.str(), sql_row_to_record, &error_text)) return true;
    if (options.notification_flush) options.notification_flush();
    std::string text = options.messages.str().substr(before.size());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.empty()) text = "Prob calling cmd: " + query.str();
    write_log_line(options, text);
    const char* const* names = nullptr;
    int count = 0;
    const char* table = nullptr;
    (void)table_columns(table_type, &names, &count, &table);
    error_printf("prob reading table %s of %s: %s\n", table, options.db_path.c_str(), error_text.c_str());
    options.tables_incomplete = 1;
    return false;
}

// The library branch: one SELECT per table through the SQLite library. False when the database cannot be
// opened, or when the notification table gave nothing before the library failed on it.
bool read_tables_with_library(selk_options& options, const std::string& path, const std::uint64_t masks[4]) {
    if (!options.sqlite.open_read_only(path, "")) {
        if (options.show_progress) error_printf("prob accessing file %s\n", path.c_str());
        return false;
    }
    std::stringstream query;
    build_select_query(query, kTableNotification, masks[kSchemaNotification]);
    // With a sink the notifications are read last, as they are written. The other tables are read first
    // only when the notification table gives its first row (or none at all), as they would be when it is
    // read first; a table the library cannot even start is read the old way, with the same messages.
    if (options.notification_sink) {
        const int first =
            exec_with_lengths(options.sqlite.db, query.str(), stop_at_first_row, nullptr, nullptr, nullptr);
        if (first == SQLITE_OK || first == SQLITE_ABORT) {
            for (int i = 1; i < 4; ++i) {
                if (masks[i] != 0) select_table(options, kTableOrder[i], masks[i]);
            }
            app_name_widening widening(options);
            if (widening.open()) {
                library_widening_pass pass{&widening, masks[kSchemaNotification]};
                // A failure here is reported by the reading proper.
                (void)exec_with_lengths(options.sqlite.db, query.str(), widen_by_library_row, &pass, nullptr,
                                        nullptr);
                options.app_name_width = widening.width();
            }
            select_table(options, kTableNotification, masks[kSchemaNotification]);
            return true;
        }
    }
    const bool notifications_read = select_table(options, kTableNotification, masks[kSchemaNotification]);
    if (!notifications_read && options.notifications.empty()) return false;
    // The other tables are read even when the notification table broke off, so that the rows it gave are
    // printed with their handlers. A table that was not found has no columns to select and is not queried.
    for (int i = 1; i < 4; ++i) {
        if (masks[i] != 0) select_table(options, kTableOrder[i], masks[i]);
    }
    return true;
}

// Makes a record of `table_type` from one row of the own table walk, stamps and indexes it; nothing when
// the record refuses the row.
void add_own_row(selk_options& options, std::uint32_t table_type, int slot, const table_record& row,
                 std::uint64_t mask, unsigned source_code) {
    table_schema& schema = options.schemas[slot];
    sqlite_metadata& record = append_record(options, table_type);
    int filled;
    if (table_type == kTableHandlerSettings)
        filled = populate_record_from_strings(record, row.values, true, row.record_offset, mask, source_code);
    else
        filled =
            populate_record_mapped(record, row.values, true, row.record_offset, mask, source_code, schema);
    if (!filled) {
        remove_last_record(options, table_type);
        return;
    }
    set_metadata_from_table_record(record, row, mask, table_type, schema, row_signature(options, schema));
    index_last_record(options, table_type);
}

// Walks the b-tree of one table from its root page, handing each row to `visit`.
void walk_own_table(selk_options& options, uni::fileio& file, const table_schema& schema,
                    const table_record_visitor& visit) {
    std::vector<sqlite_artifact> interiors;
    (void)visit_table_records(file, schema.user_value_a, options.page_size, 0, -1, true, false, true,
                              interiors, visit);
}

// The notification record of one row of the own table walk, in the options' reused record; false when it
// refuses the row.
bool fill_own_notification(selk_options& options, const table_record& row, std::uint64_t mask,
                           unsigned source_code) {
    table_schema& schema = options.schemas[kSchemaNotification];
    notification_record& n = options.notification_scratch;
    reset_scratch(n);
    if (!populate_record_mapped(n, row.values, true, row.record_offset, mask, source_code, schema))
        return false;
    set_metadata_from_table_record(n, row, mask, kTableNotification, schema, row_signature(options, schema));
    return true;
}

// Whether the report reads the notification schema's column mask while it writes: the timeline forms and
// "-all_fields" do. The own reader's field map leaves in that mask what the table's last row had, so such
// a report is written only once the whole table was read.
bool report_reads_notification_mask(const selk_options& options) {
    return options.csvl2t || options.bodyfile || options.switches[kSwitchAllFields] != 0;
}

// The own-reader branch: each table's b-tree walked from its root page. With a sink (and a report that does
// not read the notification mask) the notifications are walked last and handed on as they are read.
void read_tables_with_own_reader(selk_options& options, uni::fileio& file, bool schema_from_wal,
                                 const std::uint64_t masks[4]) {
    unsigned source_code = kSourceCarveMain;
    if (schema_from_wal) {
        options.switches[kSwitchCarve] = 0;
        source_code = kSourceCarveMainFromWal;
    }
    const bool stream = options.notification_sink && !report_reads_notification_mask(options);
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t table_type = kTableOrder[i];
        const table_schema& schema = options.schemas[i];
        // A table that was not found has root page 0: walking from offset 0 would read the schema table's
        // page as if it were this table.
        if (masks[i] == 0 || schema.user_value_b == 0) continue;
        if (stream && table_type == kTableNotification) continue;
        walk_own_table(options, file, schema, [&](table_record& row) {
            add_own_row(options, table_type, i, row, masks[i], source_code);
            return true;
        });
    }
    const table_schema& notifications = options.schemas[kSchemaNotification];
    if (!stream || masks[kSchemaNotification] == 0 || notifications.user_value_b == 0) return;
    const std::uint64_t mask = masks[kSchemaNotification];
    app_name_widening widening(options);
    if (widening.open()) {
        walk_own_table(options, file, notifications, [&](table_record& row) {
            if (fill_own_notification(options, row, mask, source_code))
                widening.refer(options.notification_scratch.handler_id);
            return widening.open();
        });
        options.app_name_width = widening.width();
    }
    walk_own_table(options, file, notifications, [&](table_record& row) {
        if (!fill_own_notification(options, row, mask, source_code)) return true;
        options.referenced_handlers.insert(options.notification_scratch.handler_id);
        options.notification_sink(options.notification_scratch);
        return true;
    });
}

}  // namespace

std::uint64_t check_notification_schema(table_schema& schema) {
    return check_schema(schema, kTableNotification, true);
}
std::uint64_t check_handler_schema(table_schema& schema) { return check_schema(schema, kTableHandler, true); }
std::uint64_t check_push_channel_schema(table_schema& schema) {
    return check_schema(schema, kTablePushChannel, true);
}
std::uint64_t check_handler_settings_schema(table_schema& schema) {
    return check_schema(schema, kTableHandlerSettings, false);
}

int build_select_query(std::stringstream& query, std::uint32_t table_type, std::uint64_t column_mask) {
    query.str("");
    query.clear();
    const char* const* names = nullptr;
    int count = 0;
    const char* table = nullptr;
    if (!table_columns(table_type, &names, &count, &table)) return 0;
    query << "select";
    bool first = true;
    for (int i = 0; i < count; ++i) {
        if ((column_mask & (1ull << i)) == 0) continue;
        query << (first ? " " : ",") << '`' << names[i] << '`';
        first = false;
    }
    query << " from " << table << ";";
    return 1;
}

int run_sql_command(selk_options* options, sqlite_wrapper* wrapper, const std::string& sql,
                    sql_row_callback callback, std::string* error_out) {
    if (error_out != nullptr) error_out->clear();
    if (options == nullptr || wrapper == nullptr || sql.empty() || wrapper->db == nullptr) {
        if (error_out != nullptr) *error_out = "no open database";
        return 0;
    }
    std::string error_text;
    const int rc = exec_with_lengths(wrapper->db, sql, callback, options, &options->row_sizes, &error_text);
    if (rc == SQLITE_OK) return 1;
    if (error_out != nullptr) *error_out = error_text;
    if (error_text.find("already exists") != std::string::npos)
        options->messages << error_text << "\n";
    else
        options->messages << "Prob calling cmd: " << sql << ", error: " << error_text << "\n";
    return 0;
}

int sql_row_to_record(void* context, int count, char** values, char** names) {
    selk_options* options = static_cast<selk_options*>(context);
    if (options == nullptr || !options->sqlite.is_open) return 1;
    const std::uint32_t table_type = options->current_table_type;
    if (table_type == kTableNotification && options->column_names.empty() && names != nullptr) {
        for (int i = 0; i < count; ++i)
            options->column_names.emplace_back(names[i] != nullptr ? names[i] : "");
    }
    if (table_type != kTableNotification && table_type != kTableHandler && table_type != kTablePushChannel &&
        table_type != kTableHandlerSettings)
        return 0;
    table_schema& schema = options->schemas[schema_slot(table_type)];
    const std::uint64_t mask = schema.column_mask;
    if (table_type == kTableNotification && options->notification_sink) {
        // Handed on as it is read; the next row reuses the record's storage.
        notification_record& n = options->notification_scratch;
        reset_scratch(n);
        if (!n.populate_record(count, values, options->row_sizes, false, 0, mask, count_bits60(mask),
                               kSourceSqliteLib))
            return 0;
        set_metadata_from_schema(n, mask, table_type, schema, row_signature(*options, schema));
        options->referenced_handlers.insert(n.handler_id);
        options->notification_sink(n);
        return 0;
    }
    sqlite_metadata& record = append_record(*options, table_type);
    if (!record.populate_record(count, values, options->row_sizes, false, 0, mask, count_bits60(mask),
                                kSourceSqliteLib)) {
        remove_last_record(*options, table_type);
        return 0;
    }
    set_metadata_from_schema(record, mask, table_type, schema, row_signature(*options, schema));
    index_last_record(*options, table_type);
    return 0;
}

int analyze_db_library_path(selk_options* options, std::string& path) {
    if (options == nullptr || path.empty()) return 0;
    options->clear_after_each_iteration();
    std::string expanded;
    expand_environment_variables(expanded, path, false);
    path = expanded;
    options->db_path = path;
    std::uint8_t wal_image = options->switches[kSwitchCarve] ? 1 : 0;

    uni::fileio file;
    std::uint8_t header[100] = {0};
    std::uint32_t got = sizeof(header);
    if (!file.open(path, false, false, false) || !file.read_at(header, &got, 0) || got < sizeof(header)) {
        if (options->show_progress) error_printf("prob accessing file %s\n", path.c_str());
        return 0;
    }
    std::string magic(reinterpret_cast<const char*>(header), 16);
    string_to_lower(magic);
    if (magic.compare(0, 6, "sqlite") != 0) {
        if (options->show_progress) error_printf("prob processing file %s\n", path.c_str());
        return 0;
    }
    if (options->show_progress) error_printf("analyzing %s\n", path.c_str());

    // Header value 1 stands for 65536, which 16 bits cannot hold.
    std::uint16_t raw_page_size = 0;
    if (!read_be16(byte_view(header, sizeof(header)), 16, &raw_page_size)) return 0;
    options->page_size = raw_page_size == 1 ? 65536u : raw_page_size;

    std::vector<std::string> names;
    std::vector<std::string> sqls;
    std::vector<std::uint32_t> roots;
    if (!read_master_table(names, sqls, roots, file, options->page_size, path, wal_image)) {
        write_log_line(*options, "prob parsing sqlite schema");
        return 0;
    }

    const bool with_settings = options->switches[kSwitchSettings] != 0;
    const int wanted = with_settings ? 4 : 3;
    for (std::size_t i = 0; i < names.size() && i < sqls.size() && i < roots.size(); ++i) {
        std::string name = names[i];
        string_to_lower(name);
        for (int t = 0; t < wanted; ++t) {
            if (name != options->table_names[t]) continue;
            table_schema& schema = options->schemas[t];
            std::uint32_t keyword_end = 0;
            parse_table_schema(schema, &keyword_end, sqls[i], 0, 1);
            schema.user_value_b = roots[i];
            schema.user_value_a =
                roots[i] != 0 ? static_cast<std::uint64_t>(options->page_size) * (roots[i] - 1) : 0;
            break;
        }
        bool all_found = true;
        for (int t = 0; t < wanted; ++t) all_found = all_found && !options->schemas[t].fields.empty();
        if (all_found) break;
    }

    table_schema* schemas = options->schemas;
    if (schemas[kSchemaNotification].fields.empty() || schemas[kSchemaHandler].fields.empty()) {
        write_log_line(*options, "prob finding schemas that should be present");
        return 0;
    }
    std::uint64_t masks[4] = {0, 0, 0, 0};
    masks[kSchemaNotification] = check_notification_schema(schemas[kSchemaNotification]);
    masks[kSchemaHandler] = check_handler_schema(schemas[kSchemaHandler]);
    if (masks[kSchemaNotification] == 0 || masks[kSchemaHandler] == 0) {
        write_log_line(*options, "prob getting masks for schemas");
        return 0;
    }
    if (!schemas[kSchemaPushChannel].fields.empty())
        masks[kSchemaPushChannel] = check_push_channel_schema(schemas[kSchemaPushChannel]);
    if (with_settings && !schemas[kSchemaHandlerSettings].fields.empty())
        masks[kSchemaHandlerSettings] = check_handler_settings_schema(schemas[kSchemaHandlerSettings]);
    for (int t = 0; t < 4; ++t) {
        schemas[t].column_mask = masks[t];
        schemas[t].column_count = static_cast<std::uint32_t>(count_bits60(masks[t]));
    }

    if (options->switches[kSwitchCarve] == 0) {
        if (!read_tables_with_library(*options, path, masks)) return 0;
    } else {
        read_tables_with_own_reader(*options, file, wal_image != 0, masks);
    }
    options->switches[kSwitchInput] = 1;
    return 1;
}
