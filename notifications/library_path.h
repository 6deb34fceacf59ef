// One notification database read through its tables: the file header and schema table are read with the
// own reader, the four tables are found and their columns checked, and the live rows become records,
// through the SQLite library by default or, with "-carve", by walking each table's b-tree with the own
// reader.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

#include "notifications/selk_options.h"
#include "sqlite_binding/sqlite_wrapper.h"
#include "sqlite_format/table_schema.h"

// The sqlite3_exec row-callback form.
typedef int (*sql_row_callback)(void* context, int count, char** values, char** names);

// Reads the live rows of the database at `path` into the record vectors of `options` (cleared first with
// clear_after_each_iteration). `path` is replaced by its environment-expanded form, which also becomes
// options->db_path. Returns 1 when the tables were read (switch [kSwitchInput] is then set); 0 for missing
// options or an empty path, an unreadable file or one that is not SQLite (messages on standard error when
// progress output is on), a schema that cannot be read or lacks the notification or handler table
// (diagnostics log), a failed open, or a notification SELECT that failed before it gave a row. When the
// library fails part of the way through any table, the rows it gave stay, the table and the library's error
// are named on standard error and options->tables_incomplete is set; the other tables are still read.
int analyze_db_library_path(selk_options* options, std::string& path);

// The column mask of a schema for each table: bit i when the schema has the column of role i (names
// compare without regard to case). 0 when the schema's name is not that table's or no column is known.
// The first three also mark each matched field present, store its bit in it and store the mask in the
// schema; the settings check only returns the mask.
std::uint64_t check_notification_schema(table_schema& schema);
std::uint64_t check_handler_schema(table_schema& schema);
std::uint64_t check_push_channel_schema(table_schema& schema);
std::uint64_t check_handler_settings_schema(table_schema& schema);

// Writes into `query` (emptied first) the SELECT of the masked columns of table type 1, 2, 4 or 8, every
// column name quoted with grave accents. 1, or 0 for another table type.
int build_select_query(std::stringstream& query, std::uint32_t table_type, std::uint64_t column_mask);

// Runs `sql` on the open connection of `wrapper`, calling `callback` with `options` as context once per row;
// before each call options->row_sizes holds the byte length of every value. 1 when the library reports
// success. On failure the library's error text goes to options->messages ("Prob calling cmd: <sql>, error:
// <text>", or the text alone when it says "already exists") and the result is 0; the text alone also goes to
// `error_out` when given. 0 without options, an open connection or a text.
int run_sql_command(selk_options* options, sqlite_wrapper* wrapper, const std::string& sql,
                    sql_row_callback callback, std::string* error_out = nullptr);

// The row callback of the library path: makes a record of options->current_table_type from the row, fills
// it (source code 1), stamps it with its table's identity and indexes it. 0 to go on (also when the row is
// refused and its record removed); 1 to stop when the context is missing or the binding is not open.
int sql_row_to_record(void* context, int count, char** values, char** names);
