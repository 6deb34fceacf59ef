// Layout of the run-log database: the reference table, the run table, "generic_data", named data tables,
// log-record and custom tables, and the SQL text that creates, fills and reads them. The writers
// (data_log and the queued log tables) decide when each statement runs.
//
// Names are placed in the statements as given; callers pass names they made themselves, never text read
// from evidence.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sqlite_binding/run_log_rows.h"

// Default names of the two fixed tables and the generic data table.
extern const char kRunTableDefaultName[];   // "metadata"
extern const char kRefTableDefaultName[];   // "ref"
extern const char kGenericDataTableName[];  // "generic_data"
extern const char kDefaultDataTableName[];  // "data"

// The run table's columns in table order with their declared types (kRunTableColumnCount entries).
const std::vector<std::pair<std::string, std::string>>& run_table_columns();

// One column of a log-record table, selected by a bit of the table's column mask.
struct log_record_column {
    std::uint64_t mask_bit;  // the bit that selects it
    const char* name;        // column name
    const char* type;        // "varchar" or "integer"
};
// The log-record columns in table order (inode and seqnum before copied, although their bits are higher).
const std::vector<log_record_column>& log_record_columns();
// Mask bits of log-record tables beyond the column bits.
constexpr std::uint64_t kLogMaskAttributeColumns = 0x100000;  // one column per extended-attribute name
constexpr std::uint64_t kLogMaskReadAttributes = 0x200000;    // read extended attributes per record
constexpr std::uint64_t kLogMaskColumnList = 1ull << 56;      // table made from an explicit column list

// ---------------------------------------------------------------- reference table (R)
std::string sql_create_ref_table(const std::string& ref_table);
std::string sql_insert_ref_row(const std::string& ref_table);
std::string sql_update_ref_row(const std::string& ref_table);
std::string sql_select_last_rowid(const std::string& ref_table, const std::string& table);
std::string sql_select_ref_rows(const std::string& ref_table);

// ---------------------------------------------------------------- run table (M)
std::string sql_create_run_table(const std::string& run_table);
std::string sql_insert_run_row(const std::string& run_table);
// Every column but row_data_end, for the run whose runtime is `runtime`.
std::string sql_update_run_row(const std::string& run_table, std::uint64_t runtime);
std::string sql_set_row_data_start(const std::string& run_table);
std::string sql_set_row_data_end(const std::string& run_table);
std::string sql_select_run_row(const std::string& run_table, std::uint64_t runtime);
std::string sql_select_row_data_end(const std::string& run_table, std::uint64_t runtime);
std::string sql_select_run_rows(const std::string& run_table);

// ---------------------------------------------------------------- data tables (T)
std::string sql_create_generic_data();
std::string sql_insert_generic_data();
// A named data table after its "metaref" column: `columns` are written as given, so they come cleaned and
// bracketed, as data_columns_from_headers or bracket_data_columns leave them.
std::string sql_create_named_data_table(const std::string& table, const std::vector<std::string>& columns);
std::string sql_insert_named_data(const std::string& table, const std::vector<std::string>& columns);
// Log-record or custom table over the schema's fields.
std::string sql_create_log_table(const schema_t& schema);
std::string sql_insert_log_rows(const schema_t& schema);
std::string sql_select_max_rowid(const std::string& table);
std::string sql_select_data_table(const std::string& table);
std::string sql_select_export_columns(const std::string& table);
std::string sql_dump_table(const std::string& table);

// One data column name cleaned: cut to 8 characters when it has 9 or more and keep_long is off; '[', ']'
// and '#' removed; blanks, tabs, CR and LF trimmed; inner blanks made '_'.
std::string clean_data_column_name(const std::string& name, bool keep_long);
// The data columns of a named table from a run's col_hdrs: split at '|', each cleaned, and, unless the
// first cleaned name holds '[', each written as "[" + ("N-" when number) + name + "]".
std::vector<std::string> data_columns_from_headers(const std::string& col_hdrs, bool keep_long, bool number);
// Applies the bracket rule to a list already cleaned: unchanged when its first name holds '['.
void bracket_data_columns(std::vector<std::string>& columns, bool keep_long, bool number);

// Tick values of log-record and custom rows: the current FILETIME, or, for rows taken within the same
// FILETIME as the row before, that FILETIME plus a counter of the rows of that tick (1, 2, ...).
class row_tick_counter {
  public:
    row_tick_counter() : last_(0), count_(0) {}
    // The tick for a row taken now.
    std::uint64_t next();
    // The tick for a row taken at `filetime` (for callers that read the clock themselves).
    std::uint64_t next_at(std::uint64_t filetime);

  private:
    std::uint64_t last_;   // FILETIME of the row before
    std::uint64_t count_;  // rows after the first within that FILETIME
};
