#include "notifications/table_damage.h"

#include "common/hex_text.h"
#include "io/console.h"
#include "io/diags_log.h"
#include "notifications/database_state.h"
#include "notifications/row_reader.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/journal.h"
#include "sqlite_format/metadata.h"
#include "sqlite_format/schema_reader.h"
#include "sqlite_format/tree_verdict.h"

void say_not_whole(selk_run& run, const std::string& said, const std::string& logged) {
    error_printf("%s\n", said.c_str());
    write_log_line(run.options, logged);
    run.tables_incomplete = 1;
}

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

void say_encoding_against_header(selk_run& run, const schema_text_encoding& encoding) {
    const std::string read = text_encoding_label(encoding.encoding);
    const std::string text = "the text encoding in its header is " + std::to_string(encoding.header) + " (" +
                             text_encoding_name(encoding.header) + "), but the texts of its schema table " +
                             "read only as " + read + ": its schema and tables are read as " + read;
    say_not_whole(run, "prob reading schema of " + run.db_path + ": " + text, "prob reading schema: " + text);
}

void say_cut_short(row_reader& reader, const std::string& text) {
    if (text.empty()) return;
    selk_run& run = reader.run;
    if (reader.flush) reader.flush();
    say_not_whole(run, "prob reading " + run.db_path + ": " + text, "prob reading file: " + text);
}

void say_header_refused(selk_run& run, const std::uint8_t* header) {
    const std::string why = library_header_refusal(header, kDbHeaderSize);
    if (why.empty()) return;
    const std::string text = why + ": the library refuses the file";
    say_not_whole(run, "prob reading " + run.db_path + ": " + text, "prob reading file: " + text);
}

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

void note_log_mode_without_log(const selk_run& run, const database_source& source) {
    const database_header& header = source.header();
    if (!header.magic || !header.wal_mode || source.files().wal_there()) return;
    error_printf(
        "note: %s: the header says the database is in log mode and no -wal is beside it: changes committed "
        "only to a log are not read\n",
        run.db_path.c_str());
}

void note_foreign_links(const selk_run& run, const std::vector<std::string>& links) {
    for (const std::string& link : links)
        error_printf("note: %s: damage that costs no row: %s\n", run.db_path.c_str(), link.c_str());
}

void note_handler_times(selk_run& run) {
    for (const handler_entry& h : run.store.handlers) {
        // A recovered row is named where it lies: its RecordId, which the cell holds, is often lost with it.
        const unsigned code = h.source_code();
        std::string handler = "handler " + std::to_string(h.record_id);
        if (code != kSourceSqliteLib && code != kSourceCarveMain && code != kSourceCarveMainFromWal) {
            std::string offset;
            number_to_text(offset, h.record_offset, true, 1);  // as the "Misc data" cell writes it
            handler += " (\"" + record_source_label(code) + "\", record offset " + offset + ")";
        }
        for (const int column : {7, 8}) {
            const std::string text(column == 7 ? h.created_time() : h.modified_time());
            std::uint64_t filetime = 0;
            if (text.empty() || handler_time_filetime(text, filetime)) continue;
            const std::string said =
                std::string(kHandlerColumnNames[column]) + " \"" + text + "\" of " + handler;
            if (!run.store.noted_times.insert(said).second) continue;
            error_printf("note: %s: %s names no real date and time: no time is printed for it\n",
                         run.db_path.c_str(), said.c_str());
        }
    }
}

void table_skips::skipped(const skipped_span& span) {
    if (seen_.insert(std::make_tuple(span.page, span.offset, span.cells)).second)
        texts_.push_back(skipped_span_text(span));
}

void table_skips::take(const tree_verdict& verdict) {
    for (const skipped_span& span : verdict.spans) skipped(span);
}

void table_skips::tell(row_reader& reader, std::uint32_t table_type) {
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
