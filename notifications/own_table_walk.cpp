#include "notifications/own_table_walk.h"

#include <algorithm>
#include <utility>

#include "notifications/database_state.h"
#include "notifications/notification_row.h"
#include "notifications/report_writer.h"
#include "notifications/row_pipeline.h"
#include "notifications/row_reader.h"
#include "notifications/table_checks.h"
#include "notifications/table_damage.h"
#include "sqlite_format/artifacts.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/metadata.h"
#include "sqlite_format/record.h"
#include "sqlite_format/schema_reader.h"

namespace {

// The own reader's kind code (sqlite_format/record.h) of a stored serial type.
unsigned serial_kind(std::uint64_t serial_type) {
    if (serial_type == 0) return kColNull;
    if (serial_type <= 6 || serial_type == 8 || serial_type == 9) return kColInteger;
    if (serial_type == 7) return kColReal;
    if (serial_type >= 12) return serial_type % 2 == 0 ? kColBlob : kColText;
    return kColNull;
}

// Fills a setting from a row of the own walk, each value taken as the kind its serial type names (the
// walk keeps the settings' header bytes), as the library's types are taken.
bool fill_setting(sqlite_metadata& record, const table_record& row, std::uint64_t mask,
                  unsigned source_code) {
    const std::vector<std::uint64_t> types =
        row.header_bytes.empty() ? std::vector<std::uint64_t>()
                                 : stored_serial_types(row.header_bytes.data(), row.header_bytes.size());
    if (types.size() != row.values.size())
        return populate_record_from_strings(record, row.values, true, row.record_offset, mask, source_code) !=
               0;
    std::vector<char*> values;
    std::vector<unsigned> sizes, kinds;
    for (std::size_t i = 0; i < row.values.size(); ++i) {
        // An empty value reaches the filler as SQL NULL does (populate_record_from_strings).
        values.push_back(row.values[i].empty() ? nullptr : const_cast<char*>(row.values[i].data()));
        sizes.push_back(static_cast<unsigned>(row.values[i].size()));
        kinds.push_back(serial_kind(types[i]));
    }
    const int count = static_cast<int>(values.size());
    return record.populate_record_ex(count, values.data(), sizes, kinds, true, row.record_offset, mask, count,
                                     source_code) != 0;
}

// Makes a record of `table_type` (a handler, push channel or setting: notifications go to the pipeline) from
// one row of the own table walk, stamps and indexes it; nothing when the record refuses the row.
void add_own_row(row_reader& reader, std::uint32_t table_type, int slot, const table_record& row,
                 std::uint64_t mask, unsigned source_code, row_column_map& columns) {
    selk_run& run = reader.run;
    const table_schema& schema = run.layout.schemas[slot];
    sqlite_metadata& record = run.store.fresh_record(table_type);
    bool filled;
    if (table_type == kTableHandlerSettings) {
        filled = fill_setting(record, row, mask, source_code);
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
    if (filled) run.store.keep(table_type);
}

// Walks the b-tree of the table of schema slot `slot` from its root page, handing each row to `visit` and
// each page it skips to `skips`. `interiors` holds the tree's interior pages when a walk of the same table
// found them before (else they are found and kept).
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
    // A setting's value is taken as the kind its serial type names.
    walk.keep_header = slot == kSchemaHandlerSettings;
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

// The state the library reads of the run's database (beside a hot journal as it rolls back, beside a log its
// committed frames over that), for a walk of the table of schema slot `slot`; false when the table was not
// found or the state does not open.
bool open_table_as_library_reads(const row_reader& reader, int slot, uni::fileio& file) {
    if (reader.run.layout.roots[slot].page == 0) return false;
    return reader.source.open_view(database_view::committed, file) != 0;
}

// The first walk of the notification table while a handler's name is longer than the padded name column:
// each row refers its handler to `widening` through the pipeline's filler (set to `filler`), writing nothing.
void widen_by_walk(row_reader& reader, uni::fileio& file, const notification_row_filler& filler,
                   app_name_widening& widening, std::vector<sqlite_artifact>& interiors, table_skips& skips,
                   const tree_verdict* verdict = nullptr) {
    reader.rows.set_row_filler(filler);
    row_column_map columns;
    walk_own_table(
        reader.run, file, kSchemaNotification,
        [&](table_record& row) {
            if (!columns.map(*filler.schema, row.values.size(), filler.mask)) return widening.open();
            notification_row walked;
            walked.walked = &row;
            walked.columns = &columns.current;
            return reader.rows.widen(widening, walked);
        },
        interiors, skips, verdict);
}

// The filler of the notification rows of an own walk whose rows are records of `source_code`.
notification_row_filler walk_filler(const selk_run& run, std::uint64_t mask, unsigned source_code) {
    notification_row_filler filler;
    filler.mask = mask;
    filler.source_code = source_code;
    filler.schema = &run.layout.schemas[kSchemaNotification];
    return filler;
}

}  // namespace

void widen_with_own_walk(row_reader& reader, std::uint64_t mask, app_name_widening& widening) {
    uni::fileio file;
    if (!open_table_as_library_reads(reader, kSchemaNotification, file)) return;
    std::vector<sqlite_artifact> interiors;
    table_skips skips;  // said by the read of the rest
    widen_by_walk(reader, file, walk_filler(reader.run, mask, kSourceCarveMain), widening, interiors, skips);
}

void read_rest_with_own_reader(row_reader& reader, std::uint32_t table_type, std::uint64_t mask,
                               const std::vector<std::int64_t>& library, const std::string& why) {
    selk_run& run = reader.run;
    const int slot = table_slot(table_type);
    uni::fileio file;
    if (!open_table_as_library_reads(reader, slot, file)) return;
    table_skips skips;
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
        const notification_row_filler filler = walk_filler(run, mask, kCode);
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

void read_notifications_with_own_reader(row_reader& reader, uni::fileio& file, unsigned source_code,
                                        std::uint64_t mask, const tree_verdict& verdict) {
    selk_run& run = reader.run;
    if (mask == 0 || run.layout.roots[kSchemaNotification].page == 0) return;
    const notification_row_filler filler = walk_filler(run, mask, source_code);
    std::vector<sqlite_artifact> interiors;  // the table's interior pages, found once for both walks
    table_skips skips;                       // told once the rows are all handed on
    skips.take(verdict);
    reader.rows.set_row_filler(filler);
    app_name_widening widening(run);
    if (widening.open()) {
        widen_by_walk(reader, file, filler, widening, interiors, skips, &verdict);
        widening.apply(run);
    }
    row_column_map columns;
    walk_own_table(
        run, file, kSchemaNotification,
        [&](table_record& row) {
            hand_on_walked_notification(reader, filler, row, columns);
            return true;
        },
        interiors, skips, &verdict);
    skips.tell(reader, kTableNotification);
}

void read_tables_with_own_reader(row_reader& reader, uni::fileio& file, unsigned source_code,
                                 const std::uint64_t masks[4], const table_checks& checks) {
    const database_source& source = reader.source;
    // What the library refuses in the header it takes (page 1 of the committed state) is said, as the other
    // forms fail on it.
    say_header_refused(reader.run, source.header_of(database_view::committed).bytes.data());
    if (source_code == kSourceCarveMain) note_log_beside(reader.run, source);
    say_cut_short(reader, checks.cut_short);
    note_foreign_links(reader.run, checks.foreign_links);
    for (int i = 1; i < 4; ++i)
        read_table_with_own_reader(reader, file, i, source_code, masks[i], *checks.tables[i]);
    read_notifications_with_own_reader(reader, file, source_code, masks[kSchemaNotification],
                                       *checks.tables[kSchemaNotification]);
}
