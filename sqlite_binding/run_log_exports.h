// Run-log exports to files: the lines of each run of a run-log database written back out, one file per
// run (generic data) or per data table. Three writers: the library-based export of "generic_data" (the
// row callback of sql_file_results, driven by collect_data_outputs), the same export through the own
// page reader (export_generic_data_carved), and the CSV export of every other data table through the own
// page reader (export_data_tables_carved).
//
// Export files are emptied when an export first opens them, so exporting twice into one folder gives the
// same files; a file that the same export opens again is appended to.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "io/fileio.h"
#include "sqlite_binding/run_log_rows.h"

class cmd_params;

// The library-based export of generic data: one file per run, named from the run's row.
class sql_file_results {
  public:
    sql_file_results();
    // Closes the open output file.
    virtual ~sql_file_results();
    sql_file_results(const sql_file_results&) = delete;
    sql_file_results& operator=(const sql_file_results&) = delete;

    // Row callback for "select `metaref`,`desired_output` from T;" with this object as context: writes
    // each line into the file of its run (folder/tool_base_artifact_key.csv or .txt, the run's col_hdrs
    // first). 0 to go on; -1 stops the statement: missing context, no runs, no folder, a row not two
    // columns wide, a metaref not in `runs`, or a file that cannot be opened.
    static int sql_generic_data_cb(void* context, int count, char** values, char** names);

    std::string folder;                                 // the folder that receives the files
    std::uint64_t current_key;                          // metaref of the run whose file is open; 0 when none
    std::string current_file;                           // path of that file
    std::vector<std::string> files;                     // every file opened, in order, once each
    std::unique_ptr<uni::fileio> output;                // the open output file, or none
    bool first_row;                                     // true after construction; not used by the callback
    std::map<std::uint64_t, sqlite_metadata_row> runs;  // run rows by runtime, filled before the export
};

// The per-table context of the library-based CSV export (export_data_tables_to_csv).
struct sql_data_table_to_fileio {
    sql_data_table_to_fileio();

    std::uint64_t row_counter;                          // rows seen so far
    std::string table_name;                             // the data table
    uni::fileio* output;                                // the open CSV file; not owned
    std::uint64_t reserved;                             // not used
    bool header_pending;                                // the header line is still to be written
    std::vector<std::string> header_names;              // the owning run's column names
    std::size_t header_count;                           // their number
    std::map<std::uint64_t, sqlite_metadata_row> runs;  // the table's runs keyed by row_data_end
    cmd_params* options;                                // set when the export follows the options' separator
};

// The file name of a run's generic-data export through the library: folder/toolname_base_artifact_key
// with ".csv" when the run has a separator, else ".txt" (blanks in the base and artifact type as "_").
std::string generic_export_file_name(const std::string& folder, const sqlite_metadata_row& run,
                                     std::uint64_t key);

// The export of "generic_data" through the own page reader: for each run of that table with rows
// (row_data_end not 0 and not below row_data_start) the rows in its rowid range go to
// folder/[tool_][base_]artifact_runtime.txt, the run's col_hdrs first. Gives up silently when the schema, the
// two tables or the folder fail. Always 0.
int export_generic_data_carved(const std::string& folder, const std::string& db_path);

// The export of every data table other than "metadata" and "ref" through the own page reader, one
// folder/<table>.csv per table: the header once (col_hdrs, "|" for missing names, then "tool used",
// "orig runtime", "artifact type" and "extra args" when the run has them), then each row's values after
// metaref and the run's suffix. False when the schema, the run table or the folder fail.
bool export_data_tables_carved(const std::string& folder, const std::string& db_path, bool verbose);
