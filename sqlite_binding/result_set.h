// The statement layer over the SQLite binding: a result set that an sqlite3_exec row callback fills (or
// prints), a runner for a list of SQL commands, a column select over one table, and selects that step a
// prepared statement and turn every column into text by its type. Every call goes through sqlite_api.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "sqlite_binding/run_log_rows.h"
#include "sqlite_binding/sqlite_wrapper.h"

// The sqlite3_exec row-callback form.
typedef int (*sql_row_callback)(void* context, int count, char** values, char** names);
// Row function of select_rows_to_callback: (context, row texts, flag, value a, value b).
typedef int (*select_row_fn)(void* context, std::vector<std::string>& row, std::uint32_t flag,
                             std::uint64_t a, std::uint64_t b);
// Row function of select_rows_with_names_to_callback: (context, row texts, column names, flag, a, b).
typedef int (*select_named_row_fn)(void* context, std::vector<std::string>& row,
                                   std::vector<std::string>& names, std::uint32_t flag, std::uint64_t a,
                                   std::uint64_t b);

// Rows, names and errors of the statements run through sql_results_row_cb and run_commands.
struct sql_results {
    sql_results();
    ~sql_results() = default;
    sql_results(const sql_results&) = delete;
    sql_results& operator=(const sql_results&) = delete;

    // Empties the four vectors and the error text; output and run_map null; both flags false.
    void clear();

    std::vector<std::uint32_t> column_types;     // per-column type codes; read by print_results only
    std::vector<std::string> column_names;       // names of the result columns
    std::vector<std::vector<std::string>> rows;  // collected rows (when output is null)
    std::vector<std::uint64_t> rowids;           // last insert rowid after each successful command
    std::stringstream errors;                    // error reports of run_commands
    std::ostream* output;                        // print rows here instead of collecting them; not owned
    std::map<std::uint64_t, sqlite_metadata_row>* run_map;  // run rows for the run-log reader; not owned
    bool header_written;                                    // the column names went to output
    bool already_exists;  // a command failed because its object already exists
};

// sqlite3_exec row callback; context is a sql_results. Takes the column names once, then prints the row
// to output (values joined by " | ", NULLs written as nothing) or appends it to rows (NULL as empty
// text). Always 0.
int sql_results_row_cb(void* context, int count, char** values, char** names);

// Runs each command in order with sqlite3_exec on the wrapper's connection, the callback and `results`
// as context. Each success appends the last insert rowid. The first failure stops the run and returns
// false, leaving "already exists" messages alone in errors (and already_exists set), any other as
// "Cmd Used: " command / " Error: " message. False for missing arguments or no commands.
bool run_commands(sql_results* results, sqlite_wrapper* wrapper, const std::vector<std::string>& commands,
                  sql_row_callback callback);

// Selects the given columns of a table ("*" first selects all, lengthening `columns` to the result's
// names). rows receives one row per result row; the column names become the result's. False for a closed
// wrapper, an empty table name, a failed select or no result row.
bool select_table_columns(sqlite_wrapper* wrapper, std::vector<std::vector<std::string>>& rows,
                          std::vector<std::string>& columns, const std::string& table);

// Stepping selects: compile `sql`, turn each column of each row into text by its type (integer as signed
// decimal, float in the default stream format, text and blob as their exact bytes, NULL as "0" here) and
// hand each row to `fn` with the pass-through flag and values. False for a null connection or a failed
// compile; a failing step ends the rows like their end.
bool select_rows_to_callback(void* context, std::uint32_t flag, std::uint64_t a, std::uint64_t b,
                             sqlite3* connection, const std::string& sql, select_row_fn fn);
// As select_rows_to_callback with NULL as empty text and the column names given along; with float_as_text
// a float column is taken as the library's text of it.
bool select_rows_with_names_to_callback(void* context, std::uint32_t flag, std::uint64_t a, std::uint64_t b,
                                        sqlite3* connection, const std::string& sql, select_named_row_fn fn,
                                        bool float_as_text);
// Every row into `rows` (emptied first), NULL as "0".
bool select_all_rows(std::vector<std::vector<std::string>>& rows, sqlite3* connection,
                     const std::string& sql);
// Every row into `rows` and the names into `names` (both emptied first), NULL as empty text and floats and
// other types as the library's text. No status: the caller looks at the vectors.
void select_all_rows_with_names(std::vector<std::vector<std::string>>& rows, std::vector<std::string>& names,
                                sqlite3* connection, const std::string& sql);

// Writes the names (each followed by " | "), a blank line, then every row, values followed by " | ", a
// column of type 3 in column_types as hex bytes each followed by a blank.
void print_results(const sql_results& results, std::ostream& os);

// Empties the stream and writes the query of the schema table's CREATE texts. Always true.
bool build_schema_query(std::stringstream& os);
