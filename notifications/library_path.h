// One notification database read through its tables, and the library's read of them: the file header and
// schema table are read with the own reader (schema_tables.h), the four tables are found and their columns
// checked, their trees checked (table_checks.h), and the live rows are read through the SQLite library by
// default or, with "-carve", by walking each table's b-tree with the own reader (own_table_walk.h): those of
// the handlers, push channels and settings become records of the run's store, the notifications go to the
// row pipeline, which fills and writes them. What keeps the database from being read whole is said as
// table_damage.h words it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "notifications/database_state.h"
#include "notifications/row_reader.h"
#include "sqlite_binding/sqlite_wrapper.h"

// The sqlite3_exec row-callback form.
typedef int (*sql_row_callback)(void* context, int count, char** values, char** names);

class database_source;
class row_pipeline;
struct table_checks;
struct database_verdict;

// What the reading of a database's tables tells its caller as it goes. Every member may be left empty.
struct table_read_events {
    // Called before a failure is said, so that every notification handed on before it is in the report.
    std::function<void()> flush;
    // Called once the schemas are known and run.carve_switch holds what it will hold after the read, with the
    // tree check's verdict where it judged the file as it stands (its owners of every page serve the carver):
    // after the check, just before the first table is read; else (null) before the check.
    std::function<void(std::shared_ptr<const database_verdict>)> tables_begin;
    // Called with why, when the tables cannot be read (the read then returns 0): a file too short, a page
    // size that does not fit it, a table missing, the library's error.
    std::function<void(const std::string&)> unread;
};

// Reads the live rows of the database `source` (opened once by the driver, from the environment-expanded
// path, which becomes the run's db_path), telling `events` as it goes: the handlers, push channels and
// settings (with "-incl_settings") into the store of `run` (cleared first with clear_after_each_iteration),
// then the notifications, each handed to `rows` as it is read, which fills and writes it. Returns 1 when the
// tables were read (run.input_read is then set, and run.carve_switch cleared when the rows came from the
// log's image, so that a slack scan of the same run carves no valid frames); 0 for an empty path, an
// unreadable file or one that is not SQLite (messages on standard error when progress output is on), a schema
// that cannot be read or lacks the notification or handler table (diagnostics log), a failed open, or a
// notification SELECT that failed before it gave a row. Before any table is read, the trees of the tables
// read are checked (check_database_trees, in the bytes the form reads; the verdict, with who owns each
// page, goes to events.tables_begin, and `source` is never written): a table the check finds damaged is
// read with the own reader (also by the library's form), which reads nothing the check refuses; each damage,
// and a file shorter than its committed state, is named on standard error and sets run.tables_incomplete.
// When the library fails part of the way through any table, the rows it gave stay and the own reader reads
// the rest of the table from the cell after them, in the same state; the table and the error (the page, the
// cell, where and why) are named on standard error and run.tables_incomplete is set, as where the own reader
// skips a page; the other tables are still read. The handlers, push channels and settings are
// read before the notifications, whatever becomes of their read. A "-wal" or "-journal" companion that is
// there but cannot be read is named on standard error and sets run.tables_incomplete too, as is a hot journal
// whose super-journal cannot be read (the source's journal verdict: the state is unknown); the tables are
// still read. *source_code (when given) is set to the source code of the rows read (1 library, 3 own walk, 12
// own walk of the log's image), 0 when nothing was read. Whenever it returns 0, events.unread is told why.
int read_database_tables(selk_run& run, const database_source& source, row_pipeline& rows,
                         const table_read_events& events = table_read_events(),
                         unsigned* source_code = nullptr);
// The path form: `path` is replaced by its environment-expanded form, and a source opened from it is read.
int read_database_tables(selk_run& run, std::string& path, row_pipeline& rows,
                         const table_read_events& events = table_read_events(),
                         unsigned* source_code = nullptr);

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
