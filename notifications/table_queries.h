// The checks of a database's table schemas against the columns the tool reads, with the column masks they
// give, and the SELECT the library path reads the masked columns of a table with.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

#include "notifications/database_state.h"
#include "sqlite_format/table_schema.h"

// The column mask of a schema for each table: bit i when the schema has the column of role i (names
// compare without regard to case). 0 when the schema's name is not that table's or no column is known.
// The first three also mark each matched field present, store its bit in it and store the mask in the
// schema; the settings check only returns the mask.
std::uint64_t check_notification_schema(table_schema& schema);
std::uint64_t check_handler_schema(table_schema& schema);
std::uint64_t check_push_channel_schema(table_schema& schema);
std::uint64_t check_handler_settings_schema(table_schema& schema);

// Writes into `query` (emptied first) the SELECT of the masked columns of table type 1, 2, 4 or 8, every
// column name quoted with grave accents, after `first` as written when it is given. 1, or 0 for another
// table type.
int build_select_query(std::stringstream& query, std::uint32_t table_type, std::uint64_t column_mask,
                       const std::string& first = std::string());

// The column masks of the tables found, stored in their schemas with their column counts (the joins' counts
// too). False, with why, when the notification or handler table has none of the columns read (diagnostics
// log).
bool take_table_masks(selk_run& run, std::uint64_t masks[4], std::string& why);
