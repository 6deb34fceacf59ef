// Value types of the run-log database: the run row, the generic data row, the reference row, the ordered
// field list of a table to be created, and the queued log records. `log_record` itself lives with the file
// metadata records (io/file_stats.h); the run-log records here build on it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "io/file_stats.h"

class cmd_params;

// Number of stored columns of the run table ("metadata"): every field of sqlite_metadata_row except the
// two naming flags and column_list.
constexpr std::size_t kRunTableColumnCount = 20;
// Number of stored columns of "generic_data".
constexpr std::size_t kGenericDataColumnCount = 9;

// One row of the run table: one run of a tool, keyed by `runtime`.
struct sqlite_metadata_row {
    sqlite_metadata_row();
    sqlite_metadata_row(const sqlite_metadata_row&) = default;
    sqlite_metadata_row& operator=(const sqlite_metadata_row&) = default;
    ~sqlite_metadata_row() = default;

    // runtime = the current FILETIME, output_option 261, number_data_columns true, every other field empty,
    // false or 0.
    void clear();
    // Fills the row from one row of texts in run-table column order (integers through string_to_u64, texts
    // copied). Clears first unless keep_current. False, with the row as step one left it, unless the row
    // holds exactly kRunTableColumnCount texts.
    bool assign_from_strings(const std::vector<std::string>& texts, bool keep_current);
    // Clears, then fills the row from one result row as sqlite3_exec hands it over: exactly
    // kRunTableColumnCount column names and texts are required (false otherwise); the texts are taken in
    // run-table column order, a NULL as empty text.
    bool assign_from_cstrings(const std::vector<std::string>& names, int count, char** texts);
    // Clears, then takes the command line, host ("-hostname", else the host's name), user, output option
    // (258 "-csv", 259 "-csvl2t", 260 "-bodyfile", 257 "-xml", else 261), separator, tool name and artifact
    // type from the options.
    void fill_from_options(const cmd_params& options);

    std::uint64_t runtime;                 // the run's key: FILETIME of the moment the row was made
    std::uint64_t chunk;                   // 1 when the row continues an earlier run
    std::uint64_t parent;                  // runtime of the run this row continues, else 0
    std::string cmdline;                   // the whole command line
    std::string gen_hdrs;                  // general header line of the run's output
    std::string col_hdrs;                  // the data columns' names, joined by '|'
    std::string col_types;                 // the data columns' declared types
    bool number_data_columns;              // data column names get their 1-based position and "-"
    bool keep_long_column_names;           // when false data column names are cut to 8 characters
    std::string extra_args;                // extra arguments
    std::string host;                      // host name
    std::string user;                      // user name
    std::string file;                      // what was written or analysed
    std::string file_other;                // "gzip requested" or empty
    std::uint64_t output_option;           // 257 XML, 258 CSV, 259 log2timeline, 260 bodyfile, 261 none
    std::string separator;                 // the output separator text
    std::string notes;                     // free text, by default the OS version text
    std::string toolname;                  // the tool's name
    std::string artifact_type;             // kind of artefact written
    std::string data_tbl_name;             // table holding the run's data rows
    std::uint64_t row_data_start;          // first rowid of the run's data rows
    std::uint64_t row_data_end;            // last rowid of the run's data rows
    std::vector<std::string> column_list;  // cleaned data column names, filled from col_hdrs by the writer
};

// One row of "generic_data".
struct sqlite_generic_data_row {
    sqlite_generic_data_row();
    sqlite_generic_data_row(const sqlite_generic_data_row&) = default;
    sqlite_generic_data_row& operator=(const sqlite_generic_data_row&) = default;
    ~sqlite_generic_data_row() = default;

    // The six integers 0, the five texts and the value list empty.
    void clear();
    // Clears, then takes metaref and val1..val5 (string_to_u64) and str1, str2, desired_output from exactly
    // kGenericDataColumnCount texts; false (row left cleared) for any other count.
    bool assign_from_strings(const std::vector<std::string>& texts);

    std::uint64_t metaref;  // runtime of the run the row belongs to
    std::uint64_t val1;     // five numbers given by the writer
    std::uint64_t val2;
    std::uint64_t val3;
    std::uint64_t val4;
    std::uint64_t val5;
    std::string str1;  // two texts given by the writer
    std::string str2;
    std::string desired_output;       // the finished output line
    std::string extra_text_1;         // not filled by any writer
    std::string extra_text_2;         // not filled by any writer
    std::vector<std::string> values;  // a named data table's cell texts, when the writer has them
};

// One row of the reference table.
struct sqlite_ref_row {
    sqlite_ref_row();
    sqlite_ref_row(const sqlite_ref_row&) = default;
    sqlite_ref_row& operator=(const sqlite_ref_row&) = default;
    ~sqlite_ref_row() = default;

    std::string table_name;     // name of the written table
    std::uint64_t last_rowid;   // rowid of the last row written into it
    std::uint64_t last_update;  // FILETIME of the last insert or update of this row
};

// An ordered field list for a table to be created.
struct schema_t {
    schema_t();
    schema_t(const schema_t&) = default;
    schema_t& operator=(const schema_t&) = default;
    ~schema_t() = default;

    // Empties name, fields (room for 100 kept) and field_order; run_key 0.
    void clear();
    // Appends (name, type) to fields; field_order is left to the caller.
    void push_back(const std::string& field_name, const std::string& declared_type);
    // The order number stored for the name; 0 for an empty map, an empty name or an unknown name.
    std::uint32_t get_field_order(const std::string& field_name) const;

    std::string name;                                         // table name
    std::vector<std::pair<std::string, std::string>> fields;  // (field name, declared type), creation order
    std::map<std::string, std::uint32_t> field_order;         // field name -> order number
    std::uint64_t run_key;                                    // runtime of the run row written for the table
};

// A log record queued for a log-record table.
struct sqlite_log_record : log_record {
    sqlite_log_record();
    sqlite_log_record(const sqlite_log_record&) = default;
    sqlite_log_record& operator=(const sqlite_log_record&) = default;
    ~sqlite_log_record() = default;

    std::string table_name;                  // table the record is queued for
    std::string folder_path;                 // folder part of the path
    std::string file_name;                   // name part of the path
    std::uint64_t copied;                    // the caller's "copied" value
    std::uint64_t read_extended_attributes;  // nonzero: read the path's extended attributes
};

// A row queued for a custom table.
struct sqlite_log_record_custom {
    sqlite_log_record_custom();
    explicit sqlite_log_record_custom(const std::string& table);
    sqlite_log_record_custom(const std::string& table, const std::vector<std::string>& texts);
    sqlite_log_record_custom(const sqlite_log_record_custom&) = default;
    sqlite_log_record_custom& operator=(const sqlite_log_record_custom&) = default;
    ~sqlite_log_record_custom() = default;

    // Empties the table name and the texts.
    void clear();
    // Replaces the texts; false (texts left empty) for an empty list.
    bool set_values(const std::vector<std::string>& texts);

    std::string table_name;           // table the row is queued for
    std::vector<std::string> values;  // the row's texts, in column order after the tick column
};
