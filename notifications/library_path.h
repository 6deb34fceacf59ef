// One notification database read through its tables: the file header and schema table are read with the
// own reader, the four tables are found and their columns checked, and the live rows are read through the
// SQLite library by default or, with "-carve", by walking each table's b-tree with the own reader: those of
// the handlers, push channels and settings become records of the run's store, the notifications go to the
// row pipeline, which fills and writes them.
#pragma once

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "notifications/database_state.h"
#include "sqlite_binding/sqlite_wrapper.h"
#include "sqlite_format/metadata.h"
#include "sqlite_format/table_schema.h"

// The sqlite3_exec row-callback form.
typedef int (*sql_row_callback)(void* context, int count, char** values, char** names);

class row_pipeline;

// How the values of a row of the own table walk map to the notification schema's fields, as
// map_row_columns gives it for rows of that many values, with the signature text a record of the row is
// stamped with. The walk works it out and hands it on with the row.
struct row_columns {
    std::vector<std::uint32_t> order;  // the values to hand over, in field-bit order
    std::uint64_t fill_mask = 0;       // the mask to fill with
    std::string signature;             // the schema's field abbreviations for that mask
};

// The row_columns of the rows of one walk of a table: a row of as many values as the row before maps as
// that one did (the mapping is a function of the count), so it is worked out again only when the count
// changes.
struct row_column_map {
    row_columns current;  // for rows of `count` values, when `known`
    std::size_t count = 0;
    bool known = false;

    // Maps rows of `columns` values (map_row_columns with `mask_hint`); false when such a row is refused.
    bool map(const table_schema& schema, std::size_t columns, std::uint64_t mask_hint);
};

// One notification row as either reader hands it on, before it is a record: the library's values, or a row
// of the own table walk with the mapping of its values to the schema's fields. It points to what the reader
// holds for the row.
struct notification_row {
    // A row of the library: `count` values (null for SQL NULL) of the lengths in `sizes`.
    int count = 0;
    char** values = nullptr;
    std::vector<unsigned>* sizes = nullptr;
    // A row of the own walk (null for a row of the library) and its column mapping. A receiver may swap the
    // row's values out.
    table_record* walked = nullptr;
    const row_columns* columns = nullptr;
};

// Makes the notification record of a live row of either reader, where the row pipeline fills it: the one
// place a live notification row becomes a record (the recovered ones are made in recovered.cpp). Only reads
// what it points to (of the schema, its digest text, which a read does not change), so the pipeline may fill
// rows later, on another thread.
struct notification_row_filler {
    std::uint64_t mask = 0;                   // the notification schema's column mask, stamped on each record
    unsigned source_code = kSourceSqliteLib;  // of the rows: 1 library, 3 own walk, 12 own walk of the log
    const table_schema* schema = nullptr;     // the notification schema
    std::string signature;                    // its signature text, for the library's rows

    // True when a row of the library is refused before it is filled (fewer values than the mask has bits).
    bool refuses(const notification_row& row) const;
    // Resets `n` and fills it from `row`; false when refused.
    bool fill(notification_record& n, const notification_row& row) const;
};

// The row callback's context: the run it reads for, the pipeline its notification rows go to, and what the
// callback keeps from row to row.
struct row_reader {
    row_reader(selk_run& database_run, row_pipeline& notification_rows);

    selk_run& run;                         // the settings, and the store and layout the other rows go to
    row_pipeline& rows;                    // takes the notification rows of both readers unfilled
    std::uint32_t current_table_type = 0;  // kTable* of the rows the callback receives
    std::vector<unsigned> row_sizes;       // byte length of each value of the row being handed over
    // When set, called before a failure is said on standard error, so that every notification handed to the
    // pipeline before it is in the report first.
    std::function<void()> flush;
    // The library's values reach the callback unpacked, as exec_with_lengths lends them (set while the
    // notification rows are read: the pipeline reads them by their sizes).
    bool borrow_values = false;

    // Of the table being read: the rows the callback was given, so that a read the library breaks off can
    // find them again and go on after the last one.
    std::uint64_t table_rows = 0;

    // The signature text of the last schema whose rows were stamped, with what it was worked out for.
    struct signature_cache {
        bool known = false;
        const table_schema* schema = nullptr;
        std::uint64_t mask = 0;
        std::size_t fields = 0;
        std::string text;
    };
    signature_cache row_signature;
};

// What the reading of a database's tables tells its caller as it goes. Every member may be left empty.
struct table_read_events {
    // Called before a failure is said, so that every notification handed on before it is in the report.
    std::function<void()> flush;
    // Called once the schemas are known and run.carve_switch holds what it will hold after the read, just
    // before the first table is read.
    std::function<void()> tables_begin;
    // Called with why, when the tables cannot be read (the read then returns 0): a file too short, a page
    // size that does not fit it, a table missing, the library's error.
    std::function<void(const std::string&)> unread;
};

// Reads the live rows of the database at `path`, telling `events` as it goes: the handlers, push channels and
// settings (with "-incl_settings") into the store of `run` (cleared first with clear_after_each_iteration),
// then the notifications, each handed to `rows` as it is read, which fills and writes it. `path` is replaced
// by its environment-expanded form, which also becomes the run's db_path. Returns 1 when the tables were
// read (run.input_read is then set, and run.carve_switch cleared when the rows came from the log's image,
// so that a slack scan of the same run carves no valid frames); 0 for an empty path, an unreadable file or
// one that is not SQLite (messages on standard error when progress output is on), a schema that cannot be
// read or lacks the notification or handler table (diagnostics log), a failed open, or a notification
// SELECT that failed before it gave a row. Before any table is read, the trees of the tables read are checked
// (check_database_trees, in the bytes the form reads): a table the check finds damaged is read with the own
// reader (also by the library's form), which reads nothing the check refuses; each damage, and a file shorter
// than its committed state, is named on standard error and sets run.tables_incomplete. When the library fails
// part of the way through any table, or the own reader skips a page of one, the rows read stay, the table and
// the error (the page, where and why) are named on standard error and run.tables_incomplete is set; the
// other tables are still read. The handlers, push channels and settings are read before the notifications,
// whatever becomes of their read. A "-wal"
// or "-journal" companion that is there but cannot be read is named on standard error and sets
// run.tables_incomplete too; the tables are still read. *source_code (when given) is set to the source code
// of the rows read (1 library, 3 own walk, 12 own walk of the log's image), 0 when nothing was read.
// Whenever it returns 0, events.unread is told why.
int read_database_tables(selk_run& run, std::string& path, row_pipeline& rows,
                         const table_read_events& events = table_read_events(),
                         unsigned* source_code = nullptr);

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

// Runs `sql` on the open connection of `wrapper`, calling `callback` with `reader` as context once per row;
// before each call reader->row_sizes holds the byte length of every value. 1 when the library reports
// success. On failure the library's error text goes to the run's messages ("Prob calling cmd: <sql>,
// error: <text>", or the text alone when it says "already exists") and the result is 0; the text alone also
// goes to `error_out` when given. 0 without a reader, an open connection or a text.
int run_sql_command(row_reader* reader, sqlite_wrapper* wrapper, const std::string& sql,
                    sql_row_callback callback, std::string* error_out = nullptr);

// The row callback of the library path (`context` is a row_reader): hands a notification row to the reader's
// pipeline unfilled (with the row filler set there); makes a record of any other table type from the row,
// fills it (source code 1), stamps it with its table's identity and indexes it. 0 to go on (also when the
// row is refused: a notification with fewer values than the filler's mask has bits is not handed on, any
// other record is removed again); 1 to stop when the context is missing or the binding is not open.
int sql_row_to_record(void* context, int count, char** values, char** names);
