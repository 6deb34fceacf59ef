#include "notifications/library_path.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/case_conv.h"
#include "io/console.h"
#include "io/diags_log.h"
#include "io/fileio.h"
#include "notifications/notification_row.h"
#include "notifications/report_writer.h"
#include "notifications/row_pipeline.h"
#include "notifications/table_queries.h"
#include "sqlite_binding/column_values.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/file_map.h"
#include "sqlite_format/format.h"
#include "sqlite_format/journal.h"
#include "sqlite_format/layout.h"
#include "sqlite_format/metadata.h"
#include "sqlite_format/schema_reader.h"

namespace {

// Why the schema table of a file with a database header could not be read, as far as the header tells it
// apart from damage to the schema's pages: a page size the format cannot have, a file shorter than a page
// or than the pages its header counts, a file longer than those pages whose length they fill at another
// page size.
std::string schema_unread_reason(const std::uint8_t* header, std::uint64_t file_size,
                                 std::uint32_t page_size) {
    const byte_view h(header, kDbHeaderSize);
    std::uint16_t field = 0;
    std::uint32_t pages = 0, counter = 0, valid_for = 0;
    const std::string size = std::to_string(file_size) + " bytes";
    if (page_size == 0) {
        (void)read_be16(h, kDbPageSizeOffset, &field);
        return "the page size in its header (" + std::to_string(field) + ") is not a valid page size";
    }
    if (file_size < page_size)
        return "the file holds " + size + ", less than one page of " + std::to_string(page_size) + " bytes";
    // The page count is kept up to date only where the counter it is valid for is the file's change counter.
    if (!read_be32(h, kDbPageCountOffset, &pages) || !read_be32(h, kDbChangeCounterOffset, &counter) ||
        !read_be32(h, kDbValidForOffset, &valid_for) || pages == 0 || counter != valid_for)
        return "its schema table cannot be read";
    const std::uint64_t counted = static_cast<std::uint64_t>(pages) * page_size;
    if (file_size < counted) return cut_short_text(file_size, pages, page_size);
    // Cutting a file short never makes it longer: pages that fill it exactly are the pages it was written
    // with.
    const std::uint64_t fits = file_size % pages == 0 ? file_size / pages : 0;
    if (file_size > counted && fits <= kMaxPageSize &&
        page_size_from_field(static_cast<std::uint32_t>(fits)) != 0)
        return "the page size in its header (" + std::to_string(page_size) + ") does not fit the file: its " +
               std::to_string(pages) + " pages in " + size + " are pages of " + std::to_string(fits) +
               " bytes";
    return "its schema table cannot be read";
}

// What keeps a database from being read whole: said on standard error whatever the progress switch says
// (`said`, a line), kept in the diagnostics log (`logged`), and the run marked as not read whole.
void say_not_whole(selk_run& run, const std::string& said, const std::string& logged) {
    error_printf("%s\n", said.c_str());
    write_log_line(run.options, logged);
    run.tables_incomplete = 1;
}

// The facts of a table type (types are checked by the callers: a kind of the four).
const table_facts& facts_of(std::uint32_t table_type) { return kTables[table_slot(table_type)]; }

// The signature text of `schema` for the row being stamped, worked out again only when the schema differs
// from the last row's.
const std::string& row_signature(row_reader& reader, const table_schema& schema) {
    row_reader::signature_cache& c = reader.row_signature;
    if (!c.known || c.schema != &schema || c.mask != schema.column_mask || c.fields != schema.fields.size()) {
        c.text = schema_signature_text(schema);
        c.schema = &schema;
        c.mask = schema.column_mask;
        c.fields = schema.fields.size();
        c.known = true;
    }
    return c.text;
}

// The HandlerId of a notification row of the library path, as the record's filler reads it.
std::uint64_t row_handler_id(int count, char** values, std::uint64_t mask) {
    if ((mask & 4) == 0) return 0;
    const int at = count_bits60(mask & 3);
    std::uint64_t id = 0;
    if (at < count && values != nullptr) column_to_u64(id, values[at]);
    return id;
}

struct library_widening_pass {
    app_name_widening* widening;
    std::uint64_t mask;
};

int widen_by_library_row(void* context, int count, char** values, char**) {
    library_widening_pass* pass = static_cast<library_widening_pass*>(context);
    pass->widening->refer(row_handler_id(count, values, pass->mask));
    return pass->widening->open() ? 0 : 1;
}

int stop_at_first_row(void*, int, char**, char**) { return 1; }

// The tables in reading order.
constexpr std::uint32_t kTableOrder[4] = {kTableNotification, kTableHandler, kTablePushChannel,
                                          kTableHandlerSettings};

void read_rest_with_own_reader(row_reader& reader, std::uint32_t table_type, std::uint64_t mask);
void name_damaged_pages(row_reader& reader, std::uint32_t table_type);

// The tree check of one database (check_database_trees) for the tables the run reads: each one's verdict by
// schema slot, and the file's shortfall.
struct table_checks {
    const tree_verdict* tables[4];  // the source's verdict on each, or one of no damage
    std::string cut_short;  // which pages of a file cut short are partial or missing; empty when none is
};
table_checks check_tables(const selk_run& run, database_source& source, database_view view,
                          const std::uint64_t masks[4]);
void say_cut_short(row_reader& reader, const std::string& text);
void read_table_with_own_reader(row_reader& reader, uni::fileio& file, int slot, unsigned source_code,
                                std::uint64_t mask, const tree_verdict& verdict);
void read_notifications_with_own_reader(row_reader& reader, uni::fileio& file, unsigned source_code,
                                        std::uint64_t mask, const tree_verdict& verdict);

// Runs the SELECT of one table through the row callback. A failure's text also goes to the diagnostics log,
// where an examiner sees why a table came out empty. When the library fails (a damaged page part of the way
// through the table), the rows it delivered stay; the table's name and the library's error go to standard
// error whatever the progress switch says, and the database is marked as not read whole; the library's error
// also goes to `error` when given.
bool select_table(row_reader& reader, std::uint32_t table_type, std::uint64_t mask,
                  std::string* error = nullptr) {
    selk_run& run = reader.run;
    std::stringstream query;
    if (!build_select_query(query, table_type, mask)) return false;
    reader.current_table_type = table_type;
    if (table_type == kTableNotification) {
        notification_row_filler filler;
        filler.mask = run.layout.schemas[kSchemaNotification].column_mask;
        filler.source_code = kSourceSqliteLib;
        filler.schema = &run.layout.schemas[kSchemaNotification];
        filler.signature = row_signature(reader, *filler.schema);
        reader.rows.set_row_filler(filler);
    }
    const std::string before = run.messages.str();
    std::string error_text;
    reader.table_rows = 0;
    reader.borrow_values = table_type == kTableNotification;
    const bool done = run_sql_command(&reader, &run.sqlite, query.str(), sql_row_to_record, &error_text);
    reader.borrow_values = false;
    if (done) return true;
    if (reader.flush) reader.flush();
    std::string text = run.messages.str().substr(before.size());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.empty()) text = "Prob calling cmd: " + query.str();
    write_log_line(run.options, text);
    const char* table = facts_of(table_type).name;
    error_printf("prob reading table %s of %s: %s\n", table, run.db_path.c_str(), error_text.c_str());
    if (error != nullptr) *error = error_text;
    run.tables_incomplete = 1;
    // Slack recovery reads the file with the own reader anyway: the rows after the damage come back from it.
    if (run.options.switches[kSwitchSlack] != 0 && run.options.switches[kSwitchCarve] == 0)
        read_rest_with_own_reader(reader, table_type, mask);
    else
        name_damaged_pages(reader, table_type);
    return false;
}

// The library branch: one SELECT for each of the other tables through the SQLite library, and the
// notification table's SELECT up to three times: started once to see that it gives a row, run for the
// width of the padded name column while a handler's name is longer than the column, and read. A table whose
// tree the check finds damaged in the state the library reads is read with the own walk instead, its rows
// labelled as the own walk labels them ("carve main"), since the library would hand on foreign or repeated
// rows there; the damage is said as "-carve" says it. False, with why in `why`, when the database cannot be
// opened, or when the notification table could not be started.
bool read_tables_with_library(row_reader& reader, database_source& source, const std::uint64_t masks[4],
                              std::string& why) {
    selk_run& run = reader.run;
    const std::string& path = reader.source.path();
    if (!run.sqlite.open_read_only(path, reader.source)) {
        if (run.options.show_progress) error_printf("prob accessing file %s\n", path.c_str());
        why = "the SQLite library cannot open it";
        return false;
    }
    const table_checks checks = check_tables(run, source, database_view::committed, masks);
    say_cut_short(reader, checks.cut_short);
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
    std::stringstream query;
    build_select_query(query, kTableNotification, masks[kSchemaNotification]);
    // The notifications are read last, as they are written. A notification table the library cannot even
    // start fails the read, once its failure is said as any other table's is.
    const int first =
        exec_with_lengths(run.sqlite.db, query.str(), stop_at_first_row, nullptr, nullptr, nullptr);
    if (first == SQLITE_OK || first == SQLITE_ABORT) {
        app_name_widening widening(run);
        if (widening.open()) {
            library_widening_pass pass{&widening, masks[kSchemaNotification]};
            // A failure here is reported by the reading proper.
            (void)exec_with_lengths(run.sqlite.db, query.str(), widen_by_library_row, &pass, nullptr,
                                    nullptr);
            widening.apply(run);
        }
        select_table(reader, kTableNotification, masks[kSchemaNotification]);
        return true;
    }
    std::string error;
    if (!select_table(reader, kTableNotification, masks[kSchemaNotification], &error)) {
        why = "table notification cannot be read: " + error;
        return false;
    }
    return true;
}

// Makes a record of `table_type` (a handler, push channel or setting: notifications go to the pipeline) from
// one row of the own table walk, stamps and indexes it; nothing when the record refuses the row.
void add_own_row(row_reader& reader, std::uint32_t table_type, int slot, const table_record& row,
                 std::uint64_t mask, unsigned source_code, row_column_map& columns) {
    selk_run& run = reader.run;
    const table_schema& schema = run.layout.schemas[slot];
    sqlite_metadata& record = run.store.append(table_type);
    bool filled;
    if (table_type == kTableHandlerSettings) {
        filled =
            populate_record_from_strings(record, row.values, true, row.record_offset, mask, source_code) != 0;
        if (filled)
            set_metadata_from_table_record(record, row, mask, table_type, schema,
                                           row_signature(reader, schema));
    } else {
        filled = columns.map(schema, row.values.size(), mask) &&
                 populate_record_in_order(record, row.values, columns.current.order, true, row.record_offset,
                                          columns.current.fill_mask, source_code) != 0;
        if (filled)
            set_metadata_from_table_record(record, row, mask, table_type, schema, columns.current.signature);
    }
    if (!filled) {
        run.store.remove_last(table_type);
        return;
    }
    run.store.index_last(table_type);
}

// The pages the walks of one table skipped, each once: two walks of a table meet the same pages.
class table_skips : public skip_reporter {
  public:
    void skipped(const skipped_span& span) override {
        if (seen_.insert(std::make_tuple(span.page, span.offset, span.cells)).second)
            texts_.push_back(skipped_span_text(span));
    }
    // Something else the examiner is to be told of the table, said with the skipped pages.
    void note(const std::string& text) { texts_.push_back(text); }
    // The damage the tree check found, said before what the walk skips (the same span once).
    void take(const tree_verdict& verdict) {
        for (const skipped_span& span : verdict.spans) skipped(span);
    }

    // Says each skipped page on standard error as the library path says a table it could not read whole
    // (progress output or not), once the rows read before it are in the report, and marks the run's tables
    // incomplete.
    void tell(row_reader& reader, std::uint32_t table_type) {
        if (texts_.empty()) return;
        selk_run& run = reader.run;
        if (reader.flush) reader.flush();
        const char* table = facts_of(table_type).name;
        for (const std::string& text : texts_) {
            write_log_line(run.options, std::string("prob reading table ") + table + ": " + text);
            error_printf("prob reading table %s of %s: %s\n", table, run.db_path.c_str(), text.c_str());
        }
        texts_.clear();
        run.tables_incomplete = 1;
    }

  private:
    std::set<std::tuple<std::uint64_t, std::uint64_t, std::string>> seen_;  // (page, offset, cells) told
    std::vector<std::string> texts_;
};

// Walks the b-tree of the table of schema slot `slot` from its root page, handing each row to `visit` and
// each page it skips to
// `skips`. `interiors` holds the tree's interior pages when a walk of the same table found them before
// (else they are found and kept).
void walk_own_table(selk_run& run, uni::fileio& file, int slot, const table_record_visitor& visit,
                    std::vector<sqlite_artifact>& interiors, table_skips& skips,
                    const tree_verdict* verdict = nullptr) {
    table_walk_options walk;
    walk.root_offset = run.layout.roots[slot].offset;
    walk.page_size = run.layout.page_size;
    walk.raw_blob = true;
    walk.encoding = run.layout.texts;
    walk.reserved = run.layout.reserved;
    walk.rowid_alias = run.layout.schemas[slot].rowid_alias;
    walk.reporter = &skips;
    walk.threads = run.threads.decoders;
    walk.verdict = verdict;
    (void)visit_table_records(file, walk, interiors, visit);
}

void walk_own_table(selk_run& run, uni::fileio& file, int slot, const table_record_visitor& visit,
                    table_skips& skips, const tree_verdict* verdict = nullptr) {
    std::vector<sqlite_artifact> interiors;
    walk_own_table(run, file, slot, visit, interiors, skips, verdict);
}

// Hands one notification row of the own walk to the pipeline unfilled (it fills the record where it is
// formatted); nothing when its column mapping refuses the row.
void hand_on_walked_notification(row_reader& reader, const notification_row_filler& filler, table_record& row,
                                 row_column_map& columns) {
    if (!columns.map(*filler.schema, row.values.size(), filler.mask)) return;
    notification_row walked;
    walked.walked = &row;
    walked.columns = &columns.current;
    reader.rows.write_row(walked);
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

struct rowid_collection {
    std::vector<std::int64_t>* rowids;
    std::uint64_t wanted;
};

int collect_rowid(void* context, int count, char** values, char**) {
    rowid_collection* c = static_cast<rowid_collection*>(context);
    const char* value = count > 0 && values != nullptr ? values[0] : nullptr;
    c->rowids->push_back(value != nullptr ? std::strtoll(value, nullptr, 10) : 0);
    return c->rowids->size() < c->wanted ? 0 : 1;
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
        rowid_collection collection{&rowids, given};
        (void)exec_with_lengths(reader.run.sqlite.db, query.str(), collect_rowid, &collection, nullptr,
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

// Where the library broke off a table, in the own walk of it: the library's rows are matched in their order
// to the walk's cells by rowid, each to the first cell holding its rowid after the last one matched (a row
// the library gave twice, or one on a page the walk cannot read, matches none); the last cell matched is
// where the library stopped.
class library_stop {
  public:
    // `library`: the rowids the library gave, in its order; `walk`: the rowid and cell (its file offset) of
    // each row of the own walk, in the walk's order.
    library_stop(const std::vector<std::int64_t>& library,
                 const std::vector<std::pair<std::int64_t, std::uint64_t>>& walk)
        : given_(library) {
        std::vector<std::pair<std::int64_t, std::size_t>> by_rowid;  // rowid, place in the walk
        by_rowid.reserve(walk.size());
        for (std::size_t i = 0; i < walk.size(); ++i) by_rowid.emplace_back(walk[i].first, i);
        std::sort(by_rowid.begin(), by_rowid.end());
        std::size_t next = 0;
        for (const std::int64_t rowid : library) {
            const auto at = std::lower_bound(by_rowid.begin(), by_rowid.end(), std::make_pair(rowid, next));
            if (at == by_rowid.end() || at->first != rowid) continue;
            found_ = true;
            cell_ = walk[at->second].second;
            next = at->second + 1;
        }
        std::sort(given_.begin(), given_.end());
        past_ = !found_;
    }

    // True for a row of the walk that the library did not give: one after the cell, or one of a rowid the
    // library did not give (a damaged tree's walk need not take its pages in the library's order). Called
    // for the walk's rows in order.
    bool after(const table_record& row) {
        const bool rest =
            past_ || !std::binary_search(given_.begin(), given_.end(), static_cast<std::int64_t>(row.rowid));
        if (found_ && row.record_offset == cell_) past_ = true;
        return rest;
    }

  private:
    std::vector<std::int64_t> given_;  // sorted
    bool found_ = false;
    std::uint64_t cell_ = 0;
    bool past_ = false;
};

// The file of the run's database as "-carve" reads it (beside a hot journal its committed state), for a walk
// of the table of schema slot `slot`; false when the table was not found or the file does not open.
bool open_table_as_carve_reads(const row_reader& reader, int slot, uni::fileio& file) {
    if (reader.run.layout.roots[slot].page == 0) return false;
    return reader.source.open_view(database_view::own, file) != 0;
}

// Where the library broke off a table and its rest is not read: the pages and cells of the table that the own
// reader finds damaged are said as "-carve" says them, so that the examiner learns where the damage lies (the
// library names none).
void name_damaged_pages(row_reader& reader, std::uint32_t table_type) {
    const int slot = table_slot(table_type);
    uni::fileio file;
    if (!open_table_as_carve_reads(reader, slot, file)) return;
    table_skips skips;
    walk_own_table(
        reader.run, file, slot, [](table_record&) { return true; }, skips);
    skips.tell(reader, table_type);
}

// The rest of a table whose read the library broke off, as the own reader walks it (the file as "-carve"
// reads it: beside a hot journal its committed state): the rows the library did not give, found by where it
// stopped (library_stop), become records of the own walk ("carve main"); the pages the walk skips are said
// as "-carve" says them.
void read_rest_with_own_reader(row_reader& reader, std::uint32_t table_type, std::uint64_t mask) {
    selk_run& run = reader.run;
    const int slot = table_slot(table_type);
    uni::fileio file;
    if (!open_table_as_carve_reads(reader, slot, file)) return;
    table_skips skips;
    std::string why;
    const std::vector<std::int64_t> library = library_rowids(reader, table_type, mask, why);
    if (!why.empty()) skips.note(why);
    std::vector<sqlite_artifact> interiors;                     // found once for both walks
    std::vector<std::pair<std::int64_t, std::uint64_t>> cells;  // rowid and cell of each row, in walk order
    if (!library.empty()) {
        walk_own_table(
            run, file, slot,
            [&](table_record& row) {
                cells.emplace_back(static_cast<std::int64_t>(row.rowid), row.record_offset);
                return true;
            },
            interiors, skips);
    }
    library_stop stop(library, cells);
    constexpr unsigned kCode = kSourceCarveMain;
    row_column_map columns;
    if (table_type != kTableNotification) {
        walk_own_table(
            run, file, slot,
            [&](table_record& row) {
                if (stop.after(row)) add_own_row(reader, table_type, slot, row, mask, kCode, columns);
                return true;
            },
            interiors, skips);
    } else {
        notification_row_filler filler;
        filler.mask = mask;
        filler.source_code = kCode;
        filler.schema = &run.layout.schemas[kSchemaNotification];
        reader.rows.set_row_filler(filler);
        walk_own_table(
            run, file, slot,
            [&](table_record& row) {
                if (stop.after(row)) hand_on_walked_notification(reader, filler, row, columns);
                return true;
            },
            interiors, skips);
    }
    skips.tell(reader, table_type);
}

// One of the handlers, push channels and settings (schema slot `slot`) walked with the own reader, its rows
// records of `source_code`, the verdict's damage said with what the walk skips.
void read_table_with_own_reader(row_reader& reader, uni::fileio& file, int slot, unsigned source_code,
                                std::uint64_t mask, const tree_verdict& verdict) {
    selk_run& run = reader.run;
    const std::uint32_t table_type = kTableOrder[slot];
    // A table that was not found has root page 0: walking from offset 0 would read the schema table's page
    // as if it were this table.
    if (mask == 0 || run.layout.roots[slot].page == 0) return;
    table_skips skips;
    skips.take(verdict);
    row_column_map columns;
    walk_own_table(
        run, file, slot,
        [&](table_record& row) {
            add_own_row(reader, table_type, slot, row, mask, source_code, columns);
            return true;
        },
        skips, &verdict);
    skips.tell(reader, table_type);
}

// The notification table walked with the own reader, each row handed to the pipeline as it is read (a first
// walk finds the width of the padded name column while a handler's name is longer than it).
void read_notifications_with_own_reader(row_reader& reader, uni::fileio& file, unsigned source_code,
                                        std::uint64_t mask, const tree_verdict& verdict) {
    selk_run& run = reader.run;
    const table_schema& notifications = run.layout.schemas[kSchemaNotification];
    if (mask == 0 || run.layout.roots[kSchemaNotification].page == 0) return;
    notification_row_filler filler;
    filler.mask = mask;
    filler.source_code = source_code;
    filler.schema = &notifications;
    std::vector<sqlite_artifact> interiors;  // the table's interior pages, found once for both walks
    table_skips skips;                       // told once the rows are all handed on
    skips.take(verdict);
    app_name_widening widening(run);
    if (widening.open()) {
        row_column_map columns;
        notification_record scratch;  // each row's record, for the handler it names
        walk_own_table(
            run, file, kSchemaNotification,
            [&](table_record& row) {
                notification_row walked;
                walked.walked = &row;
                walked.columns = &columns.current;
                if (columns.map(notifications, row.values.size(), filler.mask) &&
                    filler.fill(scratch, walked))
                    widening.refer(scratch.handler_id);
                return widening.open();
            },
            interiors, skips, &verdict);
        widening.apply(run);
    }
    row_column_map columns;
    reader.rows.set_row_filler(filler);
    walk_own_table(
        run, file, kSchemaNotification,
        [&](table_record& row) {
            hand_on_walked_notification(reader, filler, row, columns);
            return true;
        },
        interiors, skips, &verdict);
    skips.tell(reader, kTableNotification);
}

table_checks check_tables(const selk_run& run, database_source& source, database_view view,
                          const std::uint64_t masks[4]) {
    static const tree_verdict kSound;
    table_checks checks;
    for (const tree_verdict*& table : checks.tables) table = &kSound;
    const table_layout& layout = run.layout;
    std::vector<listed_tree> trees;
    for (std::size_t i = 0; i < layout.tree_roots.size() && i < layout.tree_names.size(); ++i)
        trees.push_back(listed_tree{layout.tree_roots[i], layout.tree_names[i], false});
    int tree_of[4] = {-1, -1, -1, -1};
    for (int slot = 0; slot < 4; ++slot) {
        if (masks[slot] == 0 || layout.roots[slot].page == 0) continue;
        for (std::size_t i = 0; i < trees.size() && tree_of[slot] < 0; ++i) {
            if (trees[i].root != layout.roots[slot].page) continue;
            trees[i].rows = true;
            tree_of[slot] = static_cast<int>(i);
        }
    }
    auto verdict = std::make_unique<database_verdict>();
    if (!check_database_trees(*verdict, source, view, trees, run.threads.checkers)) return checks;
    // The verdict, with who owns each page, goes with the source for every reader of the database after it.
    source.take_verdict(std::move(verdict), view);
    const database_verdict& taken = *source.verdict();
    checks.cut_short = taken.cut_short;
    for (int slot = 0; slot < 4; ++slot) {
        if (tree_of[slot] >= 0) checks.tables[slot] = &taken.trees[static_cast<std::size_t>(tree_of[slot])];
    }
    return checks;
}

// A file shorter than its header says is named with the pages it lacks, once, in every form, and the run
// marked as not read whole.
void say_cut_short(row_reader& reader, const std::string& text) {
    if (text.empty()) return;
    selk_run& run = reader.run;
    if (reader.flush) reader.flush();
    say_not_whole(run, "prob reading " + run.db_path + ": " + text, "prob reading file: " + text);
}

// "-carve" reads a file whose header the library refuses as it reads any other, where the other forms fail on
// it: said as they say what keeps a database from being read, and the run exits with 255.
void say_header_refused(selk_run& run, const std::uint8_t* header) {
    const std::string why = library_header_refusal(header, kDbHeaderSize);
    if (why.empty()) return;
    const std::string text = why + ": the library refuses the file";
    say_not_whole(run, "prob reading " + run.db_path + ": " + text, "prob reading file: " + text);
}

// "-carve" reads the main file without the log beside it, whose rows it carves under their own labels: where
// the log commits pages, the rows labelled "carve main" are not the committed state, and standard error says
// so once, whatever the progress switch says (it is no status line). The exit status stays.
void note_log_beside(const selk_run& run, const database_source& source) {
    const std::size_t pages = source.log_commits() ? source.log_frames().size() : 0;
    if (pages == 0) return;
    const std::string versions = pages == 1 ? "the committed version of 1 page"
                                            : "the committed versions of " + std::to_string(pages) + " pages";
    error_printf(
        "note: %s: the log beside it holds %s: the \"carve main\" rows are the main file's as it "
        "stands without them; the log's rows come with their own labels\n",
        run.db_path.c_str(), versions.c_str());
}

// The own-reader branch: each table's b-tree walked from its root page, the notifications last, each handed
// to the pipeline as it is read; the tree check of the same bytes first.
void read_tables_with_own_reader(row_reader& reader, database_source& source, uni::fileio& file,
                                 unsigned source_code, const std::uint64_t masks[4]) {
    // What the library refuses in the header it takes (page 1 of the committed state) is said, as the other
    // forms fail on it.
    say_header_refused(reader.run, source.header_of(database_view::committed).bytes.data());
    if (source_code == kSourceCarveMain) note_log_beside(reader.run, source);
    // The main file is read without its log (as the journal rolls it back); the log's commits may still
    // explain a file shorter than its header says. The log's image where page 1 of the file does not bind.
    const database_view view =
        source_code == kSourceCarveMainFromWal ? database_view::log_image : database_view::own;
    const table_checks checks = check_tables(reader.run, source, view, masks);
    say_cut_short(reader, checks.cut_short);
    for (int i = 1; i < 4; ++i)
        read_table_with_own_reader(reader, file, i, source_code, masks[i], *checks.tables[i]);
    read_notifications_with_own_reader(reader, file, source_code, masks[kSchemaNotification],
                                       *checks.tables[kSchemaNotification]);
}

// The database header of `path` into `header`, through `file` opened on it: with "-carve" beside a hot
// journal, the header of the committed state, as the own reader then reads the file (the journal's original
// pages laid over an image of it, not the half-written file). False, with why, when the file cannot be
// opened or read, or is no SQLite database (said on standard error when progress output is on).
bool read_database_header(const selk_run& run, const database_source& source, uni::fileio& file,
                          std::uint8_t (&header)[kDbHeaderSize], std::string& why) {
    const bool progress = run.options.show_progress;
    const std::string& path = source.path();
    if (!source.files().open_database(file)) {
        if (progress) error_printf("prob accessing file %s\n", path.c_str());
        why = "it cannot be opened";
        return false;
    }
    if (source.header().length < sizeof(header)) {
        if (progress) error_printf("prob accessing file %s\n", path.c_str());
        why = "the file holds " + std::to_string(file.size()) + " bytes, less than a database header";
        return false;
    }
    database_view view = database_view::file;
    if (run.options.switches[kSwitchCarve] && source.journal_rolls_back() &&
        source.open_view(database_view::own, file)) {
        view = database_view::own;
        if (source.header_of(view).length < sizeof(header)) {
            if (progress) error_printf("prob accessing file %s\n", path.c_str());
            why = "the database header cannot be read with its journal";
            return false;
        }
    }
    std::memcpy(header, source.header_of(view).bytes.data(), sizeof(header));
    std::string magic(reinterpret_cast<const char*>(header), 16);
    string_to_lower(magic);
    if (magic.compare(0, 6, "sqlite") != 0) {
        if (progress) error_printf("prob processing file %s\n", path.c_str());
        why = "not a SQLite database";
        return false;
    }
    return true;
}

// A log or journal that is there but cannot be read leaves the tables as the main file alone holds them,
// which need not be the committed state: it is named, and the run marked as not read whole (the rows are
// still read). So is a hot journal whose super-journal cannot be read: whether its transaction committed is
// unknown (the rows are read as the journal rolls them back).
void say_unreadable_companion(selk_run& run, const database_source& source) {
    std::string companion;
    std::string why;
    const std::string& path = source.path();
    if (!source.files().companions_readable(&companion, &why))
        say_not_whole(run, "prob reading companion " + companion + " of " + path + ": " + why,
                      "prob reading companion " + companion + ": " + why);
    const journal_verdict& journal = source.journal();
    if (journal.hotness != journal_hotness::unknown) return;
    companion = source.files().names().journal;
    why = "the super-journal it names, " + journal.super_journal + ", cannot be read (" + journal.why +
          "): the state of the database is unknown (its rows are read as the journal rolls them back)";
    say_not_whole(run, "prob reading companion " + companion + " of " + path + ": " + why,
                  "prob reading companion " + companion + ": " + why);
}

// Why no row of a schema table of which `encoding.rows` rows were read gives a table or index: their texts
// read in no encoding the own reader knows.
std::string schema_texts_unread_reason(const schema_text_encoding& encoding) {
    const std::string header = std::to_string(encoding.header) + ", " + text_encoding_name(encoding.header);
    return "none of the " + std::to_string(encoding.rows) + " rows of its schema table reads as a table or " +
           "index, in UTF-8, in UTF-16le or in UTF-16be (the text encoding in its header is " + header + ")";
}

// A header whose text encoding contradicts the schema's texts is damage: the schema was read in the encoding
// that reads it, which the own reader then reads the tables in, and the run says so (standard error whatever
// the progress switch says, and the diagnostics log) and is marked as not read whole. The library reads the
// header's encoding and fails on its own.
void say_encoding_against_header(selk_run& run, const schema_text_encoding& encoding) {
    const std::string read = text_encoding_label(encoding.encoding);
    const std::string text = "the text encoding in its header is " + std::to_string(encoding.header) + " (" +
                             text_encoding_name(encoding.header) + "), but the texts of its schema table " +
                             "read only as " + read + ": its schema and tables are read as " + read;
    say_not_whole(run, "prob reading schema of " + run.db_path + ": " + text, "prob reading schema: " + text);
}

// The tables of the layout found by name in the schema table of `file` (with `wal_image` set, `file` becomes
// the log's image where page 1 of the main file does not bind; `wal_image` is cleared when the main file
// served): the page size from `header`, each table's schema parsed and its root kept. False, with why, when
// the schema table cannot be read or the notification or handler table is not in it or cannot be parsed
// (diagnostics log).
bool find_tables(selk_run& database_run, const database_source& source, uni::fileio& file,
                 const std::uint8_t* header, std::uint8_t& wal_image, std::string& why) {
    selk_run* run = &database_run;
    // 0 for a page size the format cannot have: the schema read below then refuses the file.
    run->layout.page_size = db_header_page_size(header, kDbHeaderSize);
    run->layout.reserved = db_header_reserved(header, kDbHeaderSize);

    std::vector<std::string> names;
    std::vector<std::string> sqls;
    std::vector<std::uint32_t> roots;
    const std::uint64_t file_size = file.size();  // a failed read of the log's image leaves `file` closed
    schema_text_encoding encoding;
    if (!read_master_table(names, sqls, roots, file, run->layout.page_size, source.path(), wal_image,
                           &encoding, &source)) {
        write_log_line(run->options, "prob parsing sqlite schema");
        why = encoding.rows != 0 ? schema_texts_unread_reason(encoding)
                                 : schema_unread_reason(header, file_size, run->layout.page_size);
        return false;
    }
    run->layout.texts = encoding.encoding;
    if (encoding.against_header) say_encoding_against_header(*run, encoding);

    run->layout.tree_roots = roots;
    run->layout.tree_names = names;

    const bool with_settings = run->options.switches[kSwitchSettings] != 0;
    const int wanted = with_settings ? 4 : 3;
    bool named[4] = {false, false, false, false};  // the schema table lists the table
    for (int t = 0; t < wanted; ++t) {
        const std::size_t i =
            find_table_schema(run->layout.schemas[t], names, sqls, run->layout.table_names[t]);
        if (i >= roots.size()) continue;  // not listed
        named[t] = true;
        table_root& root = run->layout.roots[t];
        root.page = roots[i];
        root.offset = roots[i] != 0 ? static_cast<std::uint64_t>(run->layout.page_size) * (roots[i] - 1) : 0;
    }

    for (const int t : {kSchemaNotification, kSchemaHandler}) {
        if (!run->layout.schemas[t].fields.empty()) continue;
        write_log_line(run->options, "prob finding schemas that should be present");
        const std::string& table = run->layout.table_names[t];
        why = named[t] ? "the schema of table " + table + " cannot be parsed"
                       : "its schema lists no table " + table;
        return false;
    }
    return true;
}

}  // namespace

row_reader::row_reader(selk_run& database_run, const database_source& database,
                       row_pipeline& notification_rows)
    : run(database_run), source(database), rows(notification_rows) {}

int run_sql_command(row_reader* reader, sqlite_wrapper* wrapper, const std::string& sql,
                    sql_row_callback callback, std::string* error_out) {
    if (error_out != nullptr) error_out->clear();
    if (reader == nullptr || wrapper == nullptr || sql.empty() || wrapper->db == nullptr) {
        if (error_out != nullptr) *error_out = "no open database";
        return 0;
    }
    std::string error_text;
    const int rc = exec_with_lengths(wrapper->db, sql, callback, reader, &reader->row_sizes, &error_text,
                                     reader->borrow_values);
    if (rc == SQLITE_OK) return 1;
    if (error_out != nullptr) *error_out = error_text;
    if (error_text.find("already exists") != std::string::npos)
        reader->run.messages << error_text << "\n";
    else
        reader->run.messages << "Prob calling cmd: " << sql << ", error: " << error_text << "\n";
    return 0;
}

int sql_row_to_record(void* context, int count, char** values, char** names) {
    row_reader* reader = static_cast<row_reader*>(context);
    if (reader == nullptr || !reader->run.sqlite.is_open) return 1;
    selk_run* run = &reader->run;
    const std::uint32_t table_type = reader->current_table_type;
    if (table_type == kTableNotification && run->layout.column_names.empty() && names != nullptr) {
        for (int i = 0; i < count; ++i)
            run->layout.column_names.emplace_back(names[i] != nullptr ? names[i] : "");
    }
    if (table_type != kTableNotification && table_type != kTableHandler && table_type != kTablePushChannel &&
        table_type != kTableHandlerSettings)
        return 0;
    const table_schema& schema = run->layout.schemas[table_slot(table_type)];
    const std::uint64_t mask = schema.column_mask;
    ++reader->table_rows;
    if (table_type == kTableNotification) {
        notification_row row;
        row.count = count;
        row.values = values;
        row.sizes = &reader->row_sizes;
        // Handed on raw: the record is filled where it is formatted.
        if (!reader->rows.row_filler().refuses(row)) reader->rows.write_row(row);
        return 0;
    }
    sqlite_metadata& record = run->store.append(table_type);
    if (!record.populate_record(count, values, reader->row_sizes, false, 0, mask, count_bits60(mask),
                                kSourceSqliteLib)) {
        run->store.remove_last(table_type);
        return 0;
    }
    set_metadata_from_schema(record, mask, table_type, schema, row_signature(*reader, schema));
    run->store.index_last(table_type);
    return 0;
}

int read_database_tables(selk_run& run, std::string& path, row_pipeline& rows,
                         const table_read_events& events, unsigned* source_code) {
    if (!path.empty()) path = input_path_opened(run.options, path);
    database_source source;
    (void)source.open(path);
    return read_database_tables(run, source, rows, events, source_code);
}

int read_database_tables(selk_run& run, database_source& source, row_pipeline& rows,
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
    std::uint8_t header[kDbHeaderSize] = {0};
    std::string why;
    if (!read_database_header(run, source, file, header, why)) return unread(why);
    if (run.options.show_progress) error_printf("analyzing %s\n", path.c_str());
    say_unreadable_companion(run, source);
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
    if (events.tables_begin) events.tables_begin();
    row_reader reader(run, source, rows);
    reader.flush = events.flush;
    if (code == kSourceSqliteLib) {
        if (!read_tables_with_library(reader, source, masks, why)) return unread(why);
    } else {
        read_tables_with_own_reader(reader, source, file, code, masks);
    }
    run.input_read = 1;
    if (source_code != nullptr) *source_code = code;
    return 1;
}
