// Queued log tables of a run-log database: file-system log records and free-form text rows are queued
// per table and written in batches of one transaction each (when a table holds more than 256 queued rows,
// on a flush, and when the log goes away). One run row is written per registered table and its rowid
// range closed at destruction. The queues are guarded by a recursive lock, so rows may be added from
// several threads; registration, open and destruction run before or after them.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/locks.h"
#include "sqlite_binding/data_log.h"
#include "sqlite_binding/run_log_db.h"
#include "sqlite_binding/run_log_rows.h"
#include "time/format_word.h"

class cmd_params;

class sqlite_log : public sqlite3_adt {
  public:
    // A table holding more queued rows than this is written at once.
    static constexpr std::size_t kFlushThreshold = 256;
    // Room reserved for each queue.
    static constexpr std::size_t kQueueReserve = 288;

    sqlite_log();
    // Writes what is queued, then closes each registered table's run row: row_data_end = the table's last
    // rowid (row_data_start 0 as well when it has none).
    ~sqlite_log() override;

    // Not registered, queues empty, dates as "yyyy-mm-dd hh:mm:ss".
    void init();
    // Opens (creating) the database at `path`, creates the reference and run tables, registers the tables
    // of `masks` (name -> column mask), and with `write_run_rows` writes one run row per registered table
    // from the options. False when the path is empty, the database cannot be opened or a table of `masks`
    // cannot be registered.
    bool open(const std::string& path, cmd_params* options, const std::map<std::string, std::uint64_t>* masks,
              bool write_run_rows);

    // Registration; `existed` is set when the table was registered or created before. A log-record table
    // gets metaref and the columns of the mask (a mask of 0 or with the attribute-column bit cannot be
    // registered); a custom table gets the names in list order or, from a set, in sorted order.
    bool create_record_table(bool& existed, const std::string& table, std::uint64_t mask);
    bool create_table_from_columns(bool& existed, const std::string& table,
                                   const std::vector<std::string>& columns);
    bool create_table_from_names(bool& existed, const std::string& table, const std::set<std::string>& names);

    // Queues one record of `path` (from `record` when given, which is then cleared; else from the path's
    // status). False when the table is not registered.
    bool add_log_record(const std::string& table, const std::string& path, std::uint64_t copied,
                        log_record* record);
    // Queues one custom row per entry, or one row. False for no rows or an unregistered table.
    bool add_custom_rows(const std::string& table, const std::vector<std::vector<std::string>>& rows);
    bool add_custom_row(const std::string& table, const std::vector<std::string>& texts);
    // Writes the table's queue in one transaction; the queue stays when the commit fails. Meant to run
    // under flush_all's lock.
    bool flush_log_records(const std::string& table);
    bool flush_custom_rows(const std::string& table);
    // Under the lock, every table's records, then every table's custom rows. False when nothing is queued
    // or registered.
    bool flush_all();

    // C-style entry: no command: add_log_record(table, (const char*) second, *copied or 0, record); command
    // 1: add_custom_rows with second as rows; 2: add_custom_row with second as texts; 4: flush_all. 0 for
    // success, -1 for failure, a missing argument, command 4 and any other command.
    static int log_command(sqlite_log* log, const char* table, const void* second,
                           const std::uint64_t* copied, log_record* record, const int* command);

    std::map<std::string, schema_t> schemas;                                // registered tables' columns
    std::map<std::string, std::uint64_t> column_masks;                      // writable tables' masks
    std::map<std::string, std::vector<sqlite_log_record>> pending_records;  // queued log records
    std::map<std::string, std::vector<sqlite_log_record_custom>> pending_custom_rows;  // queued custom rows
    date_time_format date_format;                                                      // for the date columns
    LightweightLock lock;                                                              // guards the queues

  private:
    // The shared registration; `build` fills the schema and may fail.
    template <typename Build>
    bool register_table(bool& existed, const std::string& table, std::uint64_t mask, bool columns_form,
                        Build build);
    // Date text of one time value of a record, or empty for an invalid time.
    std::string date_text(std::uint64_t value, std::uint64_t kind) const;
    // Binds one log record's column values.
    void bind_record(sqlite3_stmt* stmt, const schema_t& schema, std::uint64_t mask, sqlite_log_record& r);
    // Writes one queue of `table` in one transaction: `bind_rows` binds and steps each row through the insert
    // statement; then the reference row is updated and the queue emptied. False, queue kept, when the
    // statement cannot be prepared or the commit fails.
    template <typename Queue, typename BindRows>
    bool write_queue(const std::string& table, const schema_t& schema, Queue& queue, BindRows bind_rows);
    // Queues a custom row and flushes when the queue is full; under the lock.
    void queue_custom(const std::string& table, const std::vector<std::string>& texts);

    row_tick_counter ticks_;      // tick values of the rows written
    std::uint64_t last_run_key_;  // runtime of the last run row written by open
};
