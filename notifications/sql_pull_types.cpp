#include "notifications/sql_pull_types.h"

generic_sql_table::generic_sql_table() = default;
generic_sql_table::generic_sql_table(const generic_sql_table& other) = default;
generic_sql_table& generic_sql_table::operator=(const generic_sql_table& other) = default;
generic_sql_table::~generic_sql_table() = default;

void generic_sql_table::clear() {
    name.clear();
    comment.clear();
    statement.clear();
    column_names.clear();
    column_types.clear();
    column_widths.clear();
    rows.clear();
    error_text.clear();
}

bool generic_sql_table::valid() const { return !name.empty() && !statement.empty() && !column_names.empty(); }

generic_sql_pull::generic_sql_pull() = default;

bool generic_sql_pull::valid() const {
    if (tables.empty()) return false;
    for (const auto& t : tables)
        if (!t.valid()) return false;
    return true;
}

void generic_sql_pull::clear() { tables.clear(); }
