#include "notifications/table_queries.h"

#include "common/case_conv.h"
#include "io/diags_log.h"
#include "sqlite_format/format.h"

namespace {

// Shared by the four schema checks: the mask of the schema's columns among the table's column names.
std::uint64_t check_schema(table_schema& schema, std::uint32_t table_type, bool mark_fields) {
    const int slot = table_slot(table_type);
    if (slot < 0) return 0;
    const char* const* names = kTables[slot].column_names;
    const int count = kTables[slot].columns;
    const char* table = kTables[slot].name;
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
            const std::uint64_t bit = column_bit(i);
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

int build_select_query(std::stringstream& query, std::uint32_t table_type, std::uint64_t column_mask,
                       const std::string& first) {
    query.str("");
    query.clear();
    const int slot = table_slot(table_type);
    if (slot < 0) return 0;
    const table_facts& facts = kTables[slot];
    query << "select";
    bool none = true;
    if (!first.empty()) {
        query << ' ' << first;
        none = false;
    }
    for (int i = 0; i < facts.columns; ++i) {
        if ((column_mask & column_bit(i)) == 0) continue;
        query << (none ? " " : ",") << '`' << facts.column_names[i] << '`';
        none = false;
    }
    query << " from " << facts.name << ";";
    return 1;
}

bool take_table_masks(selk_run& run, std::uint64_t masks[4], std::string& why) {
    table_schema* schemas = run.layout.schemas;
    masks[kSchemaNotification] = check_notification_schema(schemas[kSchemaNotification]);
    masks[kSchemaHandler] = check_handler_schema(schemas[kSchemaHandler]);
    for (const int t : {kSchemaNotification, kSchemaHandler}) {
        if (masks[t] != 0) continue;
        write_log_line(run.options, "prob getting masks for schemas");
        why = "table " + run.layout.table_names[t] + " has none of the columns read";
        return false;
    }
    if (!schemas[kSchemaPushChannel].fields.empty())
        masks[kSchemaPushChannel] = check_push_channel_schema(schemas[kSchemaPushChannel]);
    if (run.options.switches[kSwitchSettings] != 0 && !schemas[kSchemaHandlerSettings].fields.empty())
        masks[kSchemaHandlerSettings] = check_handler_settings_schema(schemas[kSchemaHandlerSettings]);
    for (int t = 0; t < 4; ++t) {
        schemas[t].column_mask = masks[t];
        schemas[t].column_count = static_cast<std::uint32_t>(count_bits60(masks[t]));
        run.layout.join_columns[t] = schemas[t].column_count;
    }
    return true;
}
