// What keeps a database from being read whole, said as the examiner is to hear it: on standard error
// whatever the progress switch says, in the diagnostics log, and the run marked as not read whole. The
// readers of the tables find the damage; this unit words it: a companion that cannot be read, a header that
// contradicts the schema's texts or that the library refuses, a file cut short, the log beside a file read
// without it, the pages a walk of a table skipped, and a handler's time text that names no date.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "sqlite_format/btree.h"

class database_source;
class selk_run;
struct row_reader;
struct schema_text_encoding;
struct tree_verdict;

// Said on standard error (`said`, a line), kept in the diagnostics log (`logged`), and the run marked as not
// read whole.
void say_not_whole(selk_run& run, const std::string& said, const std::string& logged);

// A log or journal that is there but cannot be read leaves the tables as the main file alone holds them,
// which need not be the committed state: it is named, and the run marked as not read whole (the rows are
// still read). So is a hot journal whose super-journal cannot be read: whether its transaction committed is
// unknown (the rows are read as the journal rolls them back).
void say_unreadable_companion(selk_run& run, const database_source& source);

// A header whose text encoding contradicts the schema's texts is damage: the schema was read in the encoding
// that reads it, which the own reader then reads the tables in, and the run says so and is marked as not
// read whole. The library reads the header's encoding and fails on its own.
void say_encoding_against_header(selk_run& run, const schema_text_encoding& encoding);

// A file shorter than its header says is named with the pages it lacks (`text`; nothing when empty), once,
// in every form, once the rows handed on before are in the report, and the run marked as not read whole.
void say_cut_short(row_reader& reader, const std::string& text);

// "-carve" reads a file whose header the library refuses as it reads any other, where the other forms fail on
// it: said as they say what keeps a database from being read, and the run exits with 255.
void say_header_refused(selk_run& run, const std::uint8_t* header);

// "-carve" reads the main file without the log beside it, whose rows it carves under their own labels: where
// the log commits pages, the rows labelled "carve main" are not the committed state, and standard error says
// so once, whatever the progress switch says (it is no status line). The exit status stays.
void note_log_beside(const selk_run& run, const database_source& source);

// A header that says log mode (write-ahead log) with no "-wal" beside the file: whatever was committed only
// to the log is not there to read. Said once, whatever the progress switch says; the exit status stays.
void note_log_mode_without_log(const selk_run& run, const database_source& source);

// A link of the free list or of a tree no form reads to a page of a table that is read is that structure's
// damage, which costs no row: said once each, whatever the progress switch says. The exit status stays.
void note_foreign_links(const selk_run& run, const std::vector<std::string>& links);

// A handler's time text (CreatedTime, ModifiedTime) that names no real date and time is printed as no time
// (handler_time_filetime): each of the store's handlers whose text is such is said once per database, column
// and text, however often the handlers are looked at again or a later read adds copies of them; whatever the
// progress switch says. The exit status stays: the rows are all there.
void note_handler_times(selk_run& run);

// The pages the walks of one table skipped, each once: two walks of a table meet the same pages.
class table_skips : public skip_reporter {
  public:
    void skipped(const skipped_span& span) override;
    // Something else the examiner is to be told of the table, said with the skipped pages.
    void note(const std::string& text) { texts_.push_back(text); }
    // The damage the tree check found, said before what the walk skips (the same span once).
    void take(const tree_verdict& verdict);

    // Says each skipped page on standard error as the library path says a table it could not read whole
    // (progress output or not), once the rows read before it are in the report, and marks the run's tables
    // incomplete.
    void tell(row_reader& reader, std::uint32_t table_type);

  private:
    std::set<std::tuple<std::uint64_t, std::uint64_t, std::string>> seen_;  // (page, offset, cells) told
    std::vector<std::string> texts_;
};
