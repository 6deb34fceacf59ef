// The run-log writer: `sqlite3_adt` adds the run and reference tables of the run-log database to the
// binding, and `sqlite_data_log` collects the report rows of a run and writes them into the run's data
// table in batches, keeping the run row's rowid range and the reference table current.
//
// A batch is one transaction: when any insert of it fails, the transaction is rolled back and the rows
// stay pending; they are never counted as written. Nothing pending is dropped without a report.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/locks.h"
#include "io/cmd_params.h"
#include "sqlite_binding/result_set.h"
#include "sqlite_binding/run_log_db.h"
#include "sqlite_binding/run_log_rows.h"
#include "sqlite_binding/sqlite_wrapper.h"

// The binding with the run and reference tables. Every operation but reset_state and generic_sql_select
// needs an open connection and otherwise returns false or 0 without effect.
class sqlite3_adt : public sqlite_wrapper {
  public:
    sqlite3_adt();
    ~sqlite3_adt() override;

    // Connection fields cleared, run_id 0, default table names, both created flags false.
    void reset_state();
    // The reference table exists afterwards (created now or before).
    bool create_ref_table();
    // Inserts one reference row in its own transaction, stamping row.last_update with the current
    // FILETIME. False when the statement cannot be prepared or the insert fails (then rolled back).
    bool insert_ref_row(sqlite_ref_row& row);
    // Sets a table's last rowid (0: the connection's last insert rowid) and stamps the update time.
    bool update_ref_row(const std::string& table, std::uint64_t last_rowid);
    // The table's last rowid from the reference table; 0 when there is none.
    std::uint64_t get_last_rowid(const std::string& table);
    // As get_last_rowid; true exactly when the reference table has a row for the table.
    bool find_last_rowid(std::uint64_t& out, const std::string& table);
    // The run table exists afterwards and has its reference row.
    bool create_run_table();
    // Inserts a run row in its own transaction and brings the run table's reference row up to date.
    bool insert_run_row(sqlite_metadata_row& row);
    // Rewrites the run row keyed `old_runtime` under `new_runtime` with the row's other columns up to
    // row_data_start.
    bool update_run_row(std::uint64_t old_runtime, std::uint64_t new_runtime, const sqlite_metadata_row& row);
    bool set_row_data_start(std::uint64_t runtime, std::uint64_t value);
    // A value of 0 becomes the connection's last insert rowid unless keep_zero.
    bool set_row_data_end(std::uint64_t runtime, std::uint64_t value, bool keep_zero);
    bool run_row_exists(std::uint64_t runtime);
    std::uint64_t get_row_data_end(std::uint64_t runtime);
    std::uint64_t get_max_rowid(const std::string& table);
    // Runs a select; names and rows receive its result. Failures and empty results are written to the
    // options' diagnostics log (options may be null). True when at least one row came back.
    bool generic_sql_select(std::vector<std::string>& names, std::vector<std::vector<std::string>>& rows,
                            const std::string& sql, cmd_params* options);

    // Readers (run_log_readers.cpp). Each empties its output and needs an open connection.
    // Every run row keyed by runtime (a later duplicate runtime is dropped); false when the select fails,
    // a row has another width than the run table, or no row came back.
    bool read_run_rows(std::map<std::uint64_t, sqlite_metadata_row>& out);
    // The table names of the reference table, in its order; true when there is one.
    bool list_ref_tables(std::vector<std::string>& out);
    // Table name -> last rowid from the reference table; true when there is one.
    bool read_ref_table(std::map<std::string, std::uint64_t>& out);

    std::string run_table_name;  // the run table, "metadata" by default
    std::string ref_table_name;  // the reference table, "ref" by default
    bool ref_table_created;      // the reference table was created or found
    bool run_table_created;      // the run table was created or found
    bool tables_ready;           // used by the queued log tables

  protected:
    // Runs one statement with no rows expected; true on success.
    bool exec_statement(const std::string& sql);
    // Runs a select through a result object; false when it fails.
    bool query_rows(const std::string& sql, sql_results& results);
    // First text of the first row of a select; false when no row or column came back.
    bool query_first_value(const std::string& sql, std::string& value);
    // Prepares a statement; null on failure.
    sqlite3_stmt* prepare(const std::string& sql);
    // Binds a text that SQLite copies, so the text need not outlive the statement.
    void bind_text_copy(sqlite3_stmt* stmt, int index, const std::string& text);
    void bind_u64(sqlite3_stmt* stmt, int index, std::uint64_t value);
    // Ends a transaction: "END TRANSACTION" when ok, else (or when END fails) "ROLLBACK". True when the
    // transaction committed.
    bool finish_transaction(bool ok);
};

// The data writer of the output layer.
class sqlite_data_log : public sqlite3_adt {
  public:
    sqlite_data_log();
    // Writes rows still pending (reporting a failure on standard error), then closes through the wrapper.
    ~sqlite_data_log() override;

    // Each stores the text into the run row's field of that name, when open and the text is non-null.
    void set_gen_hdrs(const char* text);
    void set_col_hdrs(const char* text);
    void set_file(const char* text);
    void set_file_other(const char* text);
    void set_notes(const char* text);
    void set_artifact_type(const char* text);

    // Queues one row: desired_output = the stream's whole text, with the given numbers and texts. Needs no
    // open log. Always 0.
    int add_data_row(const std::string& line, std::uint64_t val1, std::uint64_t val2, const std::string& str1,
                     const std::string& str2, std::uint64_t val3, std::uint64_t val4, std::uint64_t val5);
    int add_data_row(const std::ostringstream& line, std::uint64_t val1, std::uint64_t val2,
                     const std::string& str1, const std::string& str2, std::uint64_t val3, std::uint64_t val4,
                     std::uint64_t val5);
    int add_data_row(const std::stringstream& line, std::uint64_t val1, std::uint64_t val2,
                     const std::string& str1, const std::string& str2, std::uint64_t val3, std::uint64_t val4,
                     std::uint64_t val5);
    // As add_data_row, the five numbers and two texts taken from a prepared row. Always 0.
    int add_data_row_ex(const std::string& line, const sqlite_generic_data_row& prepared);
    int add_data_row_ex(const std::ostringstream& line, const sqlite_generic_data_row& prepared);
    int add_data_row_ex(const std::stringstream& line, const sqlite_generic_data_row& prepared);
    // One row per line of the text (split_lines), each with val1, val2 and str1; true when there were lines.
    bool add_text_lines(const std::string& text, std::uint64_t val1, std::uint64_t val2,
                        const std::string& str1);
    // Queues a row of cell texts on the options' data log when "-sqlite" is on and that log is set and open.
    static bool add_table_record_row(std::uint64_t metaref, const std::vector<std::string>& values,
                                     cmd_params* options);
    int pending_row_count();
    void clear_pending();

    // Opens (creating) the database, takes the run row and creates its data table ("generic_data" when
    // generic, "data" when the row names none).
    bool open(std::uint64_t value, const std::string& path, sqlite_metadata_row& row,
              const std::string& extra, bool generic);
    // Creates the row's data table and its reference row, unless the reference table already knows it.
    bool create_data_table(std::uint64_t runtime, const sqlite_metadata_row& row);
    // Writes rows under `runtime` in one transaction; false (nothing written) when any insert fails.
    bool write_data_rows(std::uint64_t runtime, const std::vector<sqlite_generic_data_row>& rows);
    // Writes the pending rows; they are cleared only once written.
    bool flush_data_rows();
    // flush_data_rows when at least n rows are pending; false otherwise.
    bool flush_data_rows_min(int n);
    // Writes the pending rows, then starts the next run (continuing this one when asked). False, with the
    // rows kept and the run unchanged, when they cannot be written.
    bool commit_run(bool continue_run);
    // Gives the current run a new runtime and writes or rewrites its run row.
    bool start_run(std::uint64_t old_runtime, bool continue_run);
    // Loader fields, connection fields, run row and pending rows back to their start.
    void reset();

    sqlite_metadata_row run_row;                        // the current run row
    std::vector<sqlite_generic_data_row> pending_rows;  // rows added since the last write
    sqlite_generic_data_row pending_row;                // the row being filled

  private:
    // Fills run_row.column_list from col_hdrs when empty and applies the bracket rule; false when empty.
    bool prepare_column_list();
    // The shared part of the adds, under the lock.
    int queue_row(const std::string& line, std::uint64_t val1, std::uint64_t val2, const std::string& str1,
                  const std::string& str2, std::uint64_t val3, std::uint64_t val4, std::uint64_t val5);

    LightweightLock lock_;  // guards the pending rows, so rows may be added from several threads
};

// Makes `log` the options' data log and, when "-sqlite" is on, opens it at the "-sqlite" path for the
// options' output mode. False when that path is empty or the database cannot be opened (a message goes
// to standard error then).
bool init_sqlite_output(sqlite_data_log* log, std::uint64_t value, const std::string& gen_text,
                        cmd_params* options);

// The data log set for the options by init_sqlite_output; null when none. cmd_params has no field of its
// own for it, so the association is kept here; it ends when the log is destroyed.
sqlite_data_log* get_options_data_log(const cmd_params* options);
void set_options_data_log(const cmd_params* options, sqlite_data_log* log);

// A run row for one table of the queued log tables: fill_from_options, row_data_start = last_rowid + 1,
// and the empty fields from the schema, the host and the options. runtime receives the row's runtime.
void build_run_row(sqlite_metadata_row& row, std::uint64_t& runtime, const cmd_params& options,
                   const schema_t& schema, std::uint64_t last_rowid);

// Column header texts used as col_hdrs (no line break).
void write_bodyfile_header(std::ostream& os);
void write_log2timeline_header(std::ostream& os, const std::string& separator, bool extended, bool together);
