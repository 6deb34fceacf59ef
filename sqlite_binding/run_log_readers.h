// Run-log readers and exports through the SQLite library: the run rows and the reference table read
// back, the generic data exported per run (collect_data_outputs), every data table exported to a CSV
// file of its own with the run's columns appended (export_data_tables_to_csv), and any table dumped as
// text (dump_table, dump_table_to_file). Table names read from the database are quoted safely.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "sqlite_binding/data_log.h"
#include "sqlite_binding/result_set.h"

class cmd_params;

// sqlite3_exec row callback for "select * from M;" with a sql_results whose run_map is set: the first
// row's column names are kept in the result object, each row becomes a run row inserted under its
// runtime (the first of equal runtimes stays). Non-zero (abort) without a map, without column names or
// for a row that does not fill a run row.
int read_run_row_cb(void* context, int count, char** values, char** names);

// sqlite3_exec of each statement on the wrapper's connection with the callback and context, stopping at
// the first failure (its message is released). False for a missing wrapper, context or statement, or
// when the library is not bound or no connection is open.
bool exec_statements(void* context, sqlite_wrapper* wrapper, const std::vector<std::string>& statements,
                     sql_row_callback callback);

// The generic data of every run into one file per run under `folder` (sql_file_results), the paths
// written appended to `out`. The run table is not exported. The first table whose export fails (a named
// data table has no lines to export) ends the export. True when at least one file was written.
bool collect_data_outputs(sqlite3_adt* log, std::vector<std::string>& out, const std::string& folder);

// Every data table of the reference table but the run table into folder/<table>.csv (emptied first):
// the header of its first run, then each row's values after metaref and the columns of the run that
// owns the row. With `follow` the options' separator and value cleaning are used, else "|". A table
// whose file cannot be opened is skipped with a message on standard error. False when the run rows,
// the reference table or the folder fail.
bool export_data_tables_to_csv(sqlite3_adt* log, std::uint64_t unused, const std::string& folder, bool follow,
                               cmd_params* options);
// Row callback of that export; context is a sql_data_table_to_fileio. Non-zero, which stops the table,
// when no run owns the row's ordinal.
int data_table_row_to_csv(void* context, int count, char** values, char** names);

// Every row of `table` as separated text under a header of its column names. A cell is written with its
// line breaks made visible; unless `raw`, a cell holding a control or non-ASCII byte is written as
// "hex={..}". In quoted mode cells are between double quotes, except those that already begin with '{'
// and '"'. NULL cells are empty fields. False for a closed log, an empty name, a failed select or no rows.
bool dump_table(sqlite3_adt* log, std::ostream& out, const std::string& table, cmd_params& options, bool raw);
// dump_table (raw) into a new or emptied file; "prob accessing %s, aborting" on standard error when it
// cannot be opened.
bool dump_table_to_file(sqlite3_adt* log, const std::string& path, const std::string& table,
                        std::uint64_t unused, cmd_params& options);
