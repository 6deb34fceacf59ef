#include "notifications/row_reader.h"

#include "sqlite_format/metadata.h"

row_reader::row_reader(selk_run& database_run, const database_source& database,
                       row_pipeline& notification_rows)
    : run(database_run), source(database), rows(notification_rows) {}

const table_facts& facts_of(std::uint32_t table_type) { return kTables[table_slot(table_type)]; }

const std::string& row_signature(row_reader& reader, const table_schema& schema) {
    row_reader::signature_cache& c = reader.row_signature;
    if (!c.known || c.schema != &schema || c.mask != schema.column_mask || c.fields != schema.fields.size()) {
        c.text = schema_signature_text(schema);
        c.schema = &schema;
        c.mask = schema.column_mask;
        c.fields = schema.fields.size();
        c.known = true;
    }
    return c.text;
}
