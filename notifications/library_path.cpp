#include "notifications/library_path.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "io/console.h"
#include "io/diags_log.h"
#include "io/fileio.h"
#include "notifications/notification_row.h"
#include "notifications/own_table_walk.h"
#include "notifications/report_writer.h"
#include "notifications/row_pipeline.h"
#include "notifications/schema_tables.h"
#include "notifications/table_checks.h"
#include "notifications/table_damage.h"
#include "notifications/table_queries.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/metadata.h"
#include "sqlite_format/record.h"
#include "sqlite_format/tree_verdict.h"

namespace {

// run_sql_command for a typed row handler: the road of every read of the library path that says its
// failure.
int run_sql_rows(row_reader& reader, sqlite_wrapper& wrapper, const std::string& sql,
                 const sql_row_handler& each, std::string* error_out) {
    if (error_out != nullptr) error_out->clear();
    if (sql.empty() || wrapper.db == nullptr) {
        if (error_out != nullptr) *error_out = "no open database";
        return 0;
    }
    std::string error_text;
    const int rc = exec_rows(wrapper.db, sql, each, &error_text, reader.borrow_values);
    if (rc == SQLITE_OK) return 1;
    if (error_out != nullptr) *error_out = error_text;
    if (error_text.find("already exists") != std::string::npos)
        reader.run.messages << error_text << "\n";
    else
        reader.run.messages << "Prob calling cmd: " << sql << ", error: " << error_text << "\n";
    return 0;
}

// The own reader's kind code (sqlite_format/record.h) of a value of the library's `type`.
unsigned library_kind(int type) {
    switch (type) {
        case SQLITE_INTEGER:
            return kColInteger;
        case SQLITE_FLOAT:
            return kColReal;
        case SQLITE_TEXT:
            return kColText;
        case SQLITE_BLOB:
            return kColBlob;
        default:
            return kColNull;
    }
}

// sql_row_to_record on a reader, its row's sizes in reader.row_sizes: false to stop the read.
bool take_library_row(row_reader& reader, int count, char** values, char** names) {
    if (!reader.run.sqlite.is_open) return false;
    selk_run* run = &reader.run;
    const std::uint32_t table_type = reader.current_table_type;
    if (table_type == kTableNotification && run->layout.column_names.empty() && names != nullptr) {
        for (int i = 0; i < count; ++i)
            run->layout.column_names.emplace_back(names[i] != nullptr ? names[i] : "");
    }
    if (table_type != kTableNotification && table_type != kTableHandler && table_type != kTablePushChannel &&
        table_type != kTableHandlerSettings)
        return true;
    const table_schema& schema = run->layout.schemas[table_slot(table_type)];
    const std::uint64_t mask = schema.column_mask;
    ++reader.table_rows;
    if (table_type == kTableNotification) {
        notification_row row;
        row.count = count;
        row.values = values;
        row.sizes = &reader.row_sizes;
        // Handed on raw: the record is filled where it is formatted.
        if (!reader.rows.row_filler().refuses(row)) reader.rows.write_row(row);
        return true;
    }
    sqlite_metadata& record = run->store.fresh_record(table_type);
    int filled = 0;
    if (table_type == kTableHandlerSettings) {
        // A setting's value is taken as the kind the library gives it.
        std::vector<unsigned> kinds(reader.row_types.size(), kColNull);
        for (std::size_t i = 0; i < kinds.size(); ++i) kinds[i] = library_kind(reader.row_types[i]);
        filled = record.populate_record_ex(count, values, reader.row_sizes, kinds, false, 0, mask,
                                           count_bits60(mask), kSourceSqliteLib);
    } else {
        filled = record.populate_record(count, values, reader.row_sizes, false, 0, mask, count_bits60(mask),
                                        kSourceSqliteLib);
    }
    if (filled == 0) return true;
    set_metadata_from_schema(record, mask, table_type, schema, row_signature(reader, schema));
    run->store.keep(table_type);
    return true;
}

// The name by which the library gives the rowid of a row of `schema`'s table: the first of those SQLite
// knows it by that no column of the table takes. Empty when each is taken or the table has no rowid.
std::string free_rowid_name(const table_schema& schema) {
    if (schema.without_rowid != 0) return std::string();
    for (const char* name : {"rowid", "_rowid_", "oid"}) {
        bool taken = false;
        for (const table_field& f : schema.fields) taken = taken || f.name_lower == name;
        if (!taken) return name;
    }
    return std::string();
}

// The rowids of the rows the library gave of a table before it broke off, in its order: the table's SELECT
// again with the rowid in front (every index holds the rowid, so the library takes the same road through
// the file), up to as many rows as the first read gave. Fewer when the table has no name for its rowid free
// or the library gives fewer again; `why` then says so.
std::vector<std::int64_t> library_rowids(row_reader& reader, std::uint32_t table_type, std::uint64_t mask,
                                         std::string& why) {
    std::vector<std::int64_t> rowids;
    const std::uint64_t given = reader.table_rows;
    if (given == 0) return rowids;
    const std::string name = free_rowid_name(reader.run.layout.schemas[table_slot(table_type)]);
    std::stringstream query;
    if (!name.empty() && build_select_query(query, table_type, mask, name)) {
        (void)exec_rows(
            reader.run.sqlite.db, query.str(),
            [&rowids, given](const sql_row& row) {
                const char* value = row.count > 0 && row.values != nullptr ? row.values[0] : nullptr;
                rowids.push_back(value != nullptr ? std::strtoll(value, nullptr, 10) : 0);
                return rowids.size() < given;
            },
            nullptr);
    }
    if (rowids.size() < given) {
        const std::string rows = std::to_string(given) + " rows the library gave";
        why =
            name.empty()
                ? "no name of its rowid is free of its columns: rows of the own reader may repeat the " + rows
                : "only " + std::to_string(rowids.size()) + " of the " + rows +
                      " came again: rows of the own reader may repeat the others";
    }
    return rowids;
}

// Runs the SELECT of one table through the row callback. A failure's text also goes to the diagnostics log,
// where an examiner sees why a table came out empty. When the library fails (a damaged page part of the way
// through the table, or before its first row), the rows it delivered stay, and the rest of the table is read
// by the own walk of the state the library reads (read_rest_with_own_reader, in every form); the table's
// name, the library's error and what was read from where go to standard error whatever the progress switch
// says, and the database is marked as not read whole; the library's error also goes to `error` when given.
bool select_table(row_reader& reader, std::uint32_t table_type, std::uint64_t mask,
                  std::string* error = nullptr) {
    selk_run& run = reader.run;
    std::stringstream query;
    if (!build_select_query(query, table_type, mask)) return false;
    reader.current_table_type = table_type;
    const std::string before = run.messages.str();
    std::string error_text;
    reader.table_rows = 0;
    // The library's values are taken where it holds them: a record's texts are copied once, into the store
    // or the report.
    reader.borrow_values = true;
    const bool done = run_sql_rows(
        reader, run.sqlite, query.str(),
        [&reader](const sql_row& row) {
            reader.row_sizes = row.sizes;
            if (reader.current_table_type == kTableHandlerSettings) reader.row_types = row.types;
            return take_library_row(reader, row.count, row.values, row.names);
        },
        &error_text);
    reader.borrow_values = false;
    if (done) return true;
    if (reader.flush) reader.flush();
    std::string text = run.messages.str().substr(before.size());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.empty()) text = "Prob calling cmd: " + query.str();
    write_log_line(run.options, text);
    const char* table = facts_of(table_type).name;
    const std::uint64_t given = reader.table_rows;
    const std::string read = given == 0 ? "the library gave no row of it: the whole table is read"
                                        : "the library gave " + std::to_string(given) +
                                              (given == 1 ? " row" : " rows") + " of it: the rest is read";
    error_printf(
        "prob reading table %s of %s: %s: %s by the own reader in the state the library reads "
        "(\"carve main\")\n",
        table, run.db_path.c_str(), error_text.c_str(), read.c_str());
    if (error != nullptr) *error = error_text;
    run.tables_incomplete = 1;
    // The rows after the one the library broke off at come from the own walk of the same bytes, from the
    // next cell on, the bad record and the pages it skips said as "-carve" says them.
    std::string why;
    const std::vector<std::int64_t> library = library_rowids(reader, table_type, mask, why);
    read_rest_with_own_reader(reader, table_type, mask, library, why);
    return false;
}

// The filler of the notification rows the library gives.
notification_row_filler library_filler(row_reader& reader) {
    notification_row_filler filler;
    filler.mask = reader.run.layout.schemas[kSchemaNotification].column_mask;
    filler.source_code = kSourceSqliteLib;
    filler.schema = &reader.run.layout.schemas[kSchemaNotification];
    filler.signature = row_signature(reader, *filler.schema);
    return filler;
}

// The notification table read through the library, with its SELECT once, or twice while a handler's name is
// longer than the padded name column: the first run then finds the column's width, each row filled as far as
// its HandlerId by the filler the rows are written with (row_pipeline::widen), until no row can widen the
// column more (a failure there is said by the read that follows; the own walk's rows then widen it too).
// False, with the library's error in `error`, when neither the library nor the own walk of the rest gave a
// row: the table could not be started.
bool read_notifications_with_library(row_reader& reader, std::uint64_t mask, std::string& error) {
    selk_run& run = reader.run;
    reader.rows.set_row_filler(library_filler(reader));
    app_name_widening widening(run);
    if (widening.open()) {
        std::stringstream query;
        build_select_query(query, kTableNotification, mask);
        const auto widen = [&reader, &widening](const sql_row& row) {
            reader.row_sizes = row.sizes;
            notification_row given;
            given.count = row.count;
            given.values = row.values;
            given.sizes = &reader.row_sizes;
            return reader.rows.widen(widening, given);
        };
        // Where the library breaks off, the rows after come from the own walk: they widen the column too.
        if (exec_rows(run.sqlite.db, query.str(), widen, nullptr) != SQLITE_OK && widening.open()) {
            widen_with_own_walk(reader, mask, widening);
            reader.rows.set_row_filler(library_filler(reader));
        }
        widening.apply(run);
    }
    // Read when the library or the own walk of the rest gave a row.
    const std::size_t handed_on = reader.rows.rows_seen();
    return select_table(reader, kTableNotification, mask, &error) || reader.table_rows != 0 ||
           reader.rows.rows_seen() != handed_on;
}

// The library branch: one SELECT for each table through the SQLite library, the notifications last
// (read_notifications_with_library). A table whose tree the check finds damaged in the state the library
// reads is read with the own walk instead, its rows labelled as the own walk labels them ("carve main"),
// since the library would hand on foreign or repeated rows there; the damage is said as "-carve" says it.
// False, with why in `why`, when the database cannot be opened, or when the notification table could not be
// started.
bool read_tables_with_library(row_reader& reader, const table_checks& checks, const std::uint64_t masks[4],
                              std::string& why) {
    selk_run& run = reader.run;
    const std::string& path = reader.source.path();
    if (!run.sqlite.open_read_only(path, reader.source)) {
        if (run.options.show_progress) error_printf("prob accessing file %s\n", path.c_str());
        why = "the SQLite library cannot open it";
        return false;
    }
    say_cut_short(reader, checks.cut_short);
    note_foreign_links(run, checks.foreign_links);
    // The own walk of a damaged table reads the bytes the check judged: beside a log, an image of the
    // committed state. Opened only for such a walk: its read window would stay for the read.
    uni::fileio image;
    bool opened = false;
    const auto own_file = [&]() -> uni::fileio* {
        if (!opened && !reader.source.open_view(database_view::committed, image))
            say_not_whole(run,
                          "prob reading " + path + ": the state the library reads cannot be opened again",
                          "prob reading file: the state the library reads cannot be opened again");
        opened = true;
        return &image;
    };
    constexpr unsigned kOwnCode = kSourceCarveMain;
    // The handlers, push channels and settings are read first, whatever becomes of the notification read:
    // the rows it gives, and those that recovery finds when it cannot even start, are joined with them. A
    // table that was not found has no columns to select and is not queried.
    for (int i = 1; i < 4; ++i) {
        if (masks[i] == 0) continue;
        if (checks.tables[i]->damaged())
            read_table_with_own_reader(reader, *own_file(), i, kOwnCode, masks[i], *checks.tables[i]);
        else
            select_table(reader, kTableOrder[i], masks[i]);
    }
    if (checks.tables[kSchemaNotification]->damaged()) {
        read_notifications_with_own_reader(reader, *own_file(), kOwnCode, masks[kSchemaNotification],
                                           *checks.tables[kSchemaNotification]);
        return true;
    }
    // A notification table the library cannot even start fails the read, once its failure is said as any
    // other table's is.
    if (read_notifications_with_library(reader, masks[kSchemaNotification], why)) return true;
    why = "table notification cannot be read: " + why;
    return false;
}

}  // namespace

int run_sql_command(row_reader* reader, sqlite_wrapper* wrapper, const std::string& sql,
                    sql_row_callback callback, std::string* error_out) {
    if (reader == nullptr || wrapper == nullptr) {
        if (error_out != nullptr) *error_out = "no open database";
        return 0;
    }
    sql_row_handler each;
    if (callback != nullptr) {
        each = [reader, callback](const sql_row& row) {
            reader->row_sizes = row.sizes;
            return callback(reader, row.count, row.values, row.names) == 0;
        };
    }
    return run_sql_rows(*reader, *wrapper, sql, each, error_out);
}

int sql_row_to_record(void* context, int count, char** values, char** names) {
    row_reader* reader = static_cast<row_reader*>(context);
    if (reader == nullptr) return 1;
    return take_library_row(*reader, count, values, names) ? 0 : 1;
}

int read_database_tables(selk_run& run, std::string& path, row_pipeline& rows,
                         const table_read_events& events, unsigned* source_code) {
    if (!path.empty()) path = input_path_opened(run.options, path);
    database_source source;
    (void)source.open(path);
    return read_database_tables(run, source, rows, events, source_code);
}

int read_database_tables(selk_run& run, const database_source& source, row_pipeline& rows,
                         const table_read_events& events, unsigned* source_code) {
    if (source_code != nullptr) *source_code = 0;
    // Each way the tables cannot be read tells its caller why.
    const auto unread = [&events](const std::string& why) {
        if (events.unread) events.unread(why);
        return 0;
    };
    const std::string& path = source.path();
    if (path.empty()) return unread("no path");
    run.clear_after_each_iteration();
    run.db_path = path;

    uni::fileio file;
    database_header header;
    std::string why;
    if (!read_database_header(run, source, file, header, why)) return unread(why);
    if (run.options.show_progress) error_printf("analyzing %s\n", path.c_str());
    say_unreadable_companion(run, source);
    note_log_mode_without_log(run, source);
    // With "-carve" the own reader takes the log's image where page 1 is damaged (left set when it did).
    std::uint8_t wal_image = run.options.switches[kSwitchCarve] ? 1 : 0;
    std::uint64_t masks[4] = {0, 0, 0, 0};
    if (!find_tables(run, source, file, header, wal_image, why) || !take_table_masks(run, masks, why))
        return unread(why);

    unsigned code = kSourceSqliteLib;
    if (run.options.switches[kSwitchCarve] != 0)
        code = wal_image != 0 ? kSourceCarveMainFromWal : kSourceCarveMain;
    // The slack scan that follows carves no valid log frames once the tables came from the log's image.
    if (code == kSourceCarveMainFromWal) run.carve_switch = 0;
    // The trees are checked in the bytes the form reads, before any reader of them starts: the library's
    // committed state, or the file as "-carve" reads it (the log's image where page 1 of the file does not
    // bind).
    const database_view view = code == kSourceSqliteLib          ? database_view::committed
                               : code == kSourceCarveMainFromWal ? database_view::log_image
                                                                 : database_view::own;
    // A verdict on another state than the file's bytes says nothing of the file's pages: what waits for it
    // need not wait.
    const bool file_judged = !source.has_state(view);
    if (events.tables_begin && !file_judged) events.tables_begin(nullptr);
    const table_checks checks = check_tables(run, source, view, masks);
    if (events.tables_begin && file_judged) events.tables_begin(checks.verdict);
    row_reader reader(run, source, rows);
    reader.flush = events.flush;
    bool read = true;
    if (code == kSourceSqliteLib)
        read = read_tables_with_library(reader, checks, masks, why);
    else
        read_tables_with_own_reader(reader, file, code, masks, checks);
    // The handlers are read even where the notifications cannot be: recovered rows may still join them.
    note_handler_times(run);
    if (!read) return unread(why);
    run.input_read = 1;
    if (source_code != nullptr) *source_code = code;
    return 1;
}
