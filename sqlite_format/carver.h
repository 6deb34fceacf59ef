// Recovery of deleted and superseded records: the page walker reads regions of a file in page-sized
// chunks, asks a classifier where records lie in each chunk and decodes them; the carving driver
// maps the free space of a database and the regions of its "-wal" or "-journal" companion and
// walks each under its source code.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/fileio.h"
#include "io/progress_meter.h"
#include "sqlite_format/file_map.h"
#include "sqlite_format/format.h"
#include "sqlite_format/metadata.h"
#include "sqlite_format/table_schema.h"

struct database_verdict;

class database_source;

// Fills `candidates` with the records it finds in a chunk: (candidates, chunk bytes, chunk length,
// chunk file offset, 0, the caller's options). Non-zero when it filled any. Of each candidate the walker
// reads: the record start in the chunk (`position`, or `record_offset` when that is 0), which points at the
// first serial type (the header-size byte stands just before it); `prefix_flag` (0: a cell prefix
// precedes the record, so a rowid is looked for behind it); `column_count` (when non-zero, the number
// of columns); `carried` and `header_bytes`.
using record_classifier = int (*)(std::vector<recovered_record>& candidates, const std::uint8_t* chunk,
                                  std::uint32_t length, std::uint64_t chunk_offset, std::uint32_t keep,
                                  void* options);

// The typed form of a classifier, with whatever it needs bound in: (candidates, chunk bytes, chunk
// length, chunk file offset); `candidates` arrives empty.
using candidate_finder =
    std::function<int(std::vector<recovered_record>& candidates, const std::uint8_t* chunk,
                      std::uint32_t length, std::uint64_t chunk_offset)>;

// Takes the records the walk found in one chunk, with the file it read them from, as the walk goes: the
// records may be moved from; the walk empties the vector afterwards.
using record_sink = std::function<void(std::vector<recovered_record>& records, uni::fileio& file)>;

// How walk_db_pages reads its regions.
struct page_walk_options {
    const table_schema* schema = nullptr;  // with fields, its field count and min_fields bound the columns
    candidate_finder classify;             // where records lie in a chunk; none: only whole leaves are read
    std::uint32_t source_code = 0;         // of every record found
    std::uint32_t page_size = 0;           // chunk size
    std::uint32_t min_columns = 0;         // column bounds without a schema
    std::uint32_t max_columns = 0;
    bool frame_flag = false;  // each chunk is read 24 bytes on, past a log frame's header
    bool btree_flag = false;  // a whole table leaf page is decoded as a page first
    // The database's, as its header gives them: the bytes reserved at the end of every page (no cell and no
    // free space lies there) and how its texts are stored.
    std::uint8_t reserved = 0;
    text_encoding encoding = text_encoding::utf8;
    bool progress = false;  // a percent-done status line
    std::uint64_t page_limit =
        0;  // pages the database may have (bounds child page numbers); 0: the file's own
    // With `progress`: the meter the regions' bytes are counted on, shared by the walks of one carve; none:
    // the walk has one of its own over its regions.
    progress_meter* meter = nullptr;
    std::function<void(std::vector<recovered_record>&)> on_records;  // after each chunk that gave records
    // Where each chunk's records go instead of `out`, which the walk then leaves as it is: the walk holds one
    // chunk's records at a time.
    record_sink sink;
    // Table kinds (bits of the candidates' table_kind) whose values are not decoded: their records carry
    // deferred_values and how to decode them again (decode_length, decode_columns) instead.
    std::uint32_t deferred_kinds = 0;
    // Helper threads that look for records in the chunks while the walk reads on (with a sink, no on_records
    // and no btree_flag, over regions of many pages): the sink still gets the records on the walk's thread,
    // in the order one thread finds them. 0, or threads that cannot start, leave the work to the walk's
    // thread.
    unsigned threads = 0;
};

// The files a carve read, kept open past it for a caller that decodes its records again from them.
struct carved_files {
    uni::fileio main;       // the database
    uni::fileio companion;  // its "-wal" or "-journal"; closed when none was read
    std::string main_path;  // as the carve opened them
    std::string companion_path;
};

// The buffers of the decode of one carved record, kept from record to record.
struct carved_decode {
    std::vector<std::uint32_t> codes;  // column codes (record.h), as decode_record_values marks them
    std::vector<std::uint32_t> sizes;
    std::vector<std::string> values;
    std::uint32_t consumed = 0;  // bytes of the serial types
    std::uint8_t truncated = 0;  // the values ran out before the last column
};

// Decodes the record at `bytes` as the page walk decodes a candidate there: `columns` serial types, then
// (with `values`) the values, cut short where the `length` bytes end, its texts read as stored in `texts`.
// False when the serial types do not read or take more than `length` bytes. Reads nothing past `length`.
bool decode_carved_record(carved_decode& d, const std::uint8_t* bytes, std::uint32_t length,
                          std::uint32_t columns, bool values, text_encoding texts = text_encoding::utf8);

// How carve_database reads a database and its companion.
struct carve_options {
    std::string table_name;  // bounds the columns by this table's schema; empty: the column bounds
    candidate_finder classify;
    bool keep = false;       // `out` is not emptied first
    bool companions = true;  // the "-wal" or "-journal" companion is read too
    std::uint32_t min_columns = 0;
    std::uint32_t max_columns = 0;
    bool valid_frames = false;  // the log's valid frames are walked too (source 9)
    bool btree_flag = false;
    bool progress = false;                 // one percent-done status line over every region of both files
    progress_meter::clock progress_clock;  // what limits its redraws; none: the steady clock
    record_sink sink;                      // as page_walk_options::sink; `out` then only keeps what it held
    std::uint32_t deferred_kinds = 0;      // as page_walk_options::deferred_kinds
    unsigned threads = 0;                  // as page_walk_options::threads
    // Where the database and its companion are opened and stay open after the carve (for the sink's records);
    // none: they are closed at its end.
    std::shared_ptr<carved_files> files;
    // The tree check's verdict on the database (its owners of every page), when the run has one: the pages no
    // walk reaches are those it leaves to nobody, where it judged the file as it stands.
    std::shared_ptr<const database_verdict> verdict;
};

// Walks every region of `regions` in `file` page by page and appends one recovered_record per
// record found, its flags set to `source_code` * 4; `callback` (null_records_callback when nothing
// is wanted) is called with `out` after each chunk whose classifier found something. With a schema the column
// bounds are its field count and min_fields, else `min_columns` and `max_columns`. With `frame_flag` each
// chunk is read 24 bytes on (past a log frame's header), so a region of whole log frames stays aligned. With
// `btree_flag` a whole table leaf page is decoded as a page first. With `progress` each region's bytes up to
// the end of the file count on the meter as they are walked. With a sink the records go there chunk by chunk
// instead of into `out`. Returns 1 when a record was found; 0 for an empty map, a page size of 0, or no
// record found.
int walk_db_pages(std::vector<recovered_record>& out, const region_map& regions, uni::fileio& file,
                  const page_walk_options& options);
// The same with each option as a parameter; `options` is handed to the classifier and the callback.
int walk_db_pages(std::vector<recovered_record>& out, const region_map& regions, uni::fileio& file,
                  const table_schema& schema, record_classifier classifier, std::uint32_t source_code,
                  std::uint32_t page_size, std::uint32_t min_columns, std::uint32_t max_columns,
                  bool frame_flag, bool btree_flag, bool progress, void* options, records_callback callback);

// Carves the database at `path` and its companion: free space of the main file (kSourceMainSlack; a page
// that no b-tree walk reaches and that is not free is taken whole, see unreached_pages) less the pages
// the log overwrites (kSourceWalOverwrites), superseded log frames (kSourceWalSuperseded), journalled pages
// (kSourceCarveJournal), valid frames (kSourceWalValid, only with `valid_frames`) and slack in valid frames
// (kSourceWalSlack). Beside a hot journal, the main file's pages that hold the transaction that never
// committed are walked whole under kSourceMainSlack. In a whole b-tree page a record whose
// header lies in free space takes no bytes past that free region. The main file is walked in its header's
// page size; the log and the journal in the page size of their own headers. With `progress` one percent-done
// status line runs over the regions of both files, as their bytes are walked (progress_meter: it only rises,
// redrawn a few times a second at most). Unless `keep` is set `out` is emptied first. Returns 1 when `out`
// holds at least one record at the end or the sink was handed one.
int carve_database(std::vector<recovered_record>& out, const std::string& path, const carve_options& options);
// The same over the database `source`, opened once for its read (another thread may read it meanwhile).
int carve_database(std::vector<recovered_record>& out, const database_source& source,
                   const carve_options& options);
// The same with each option as a parameter; `options` is handed to the classifier.
int carve_database(std::vector<recovered_record>& out, const std::string& path, const std::string& table_name,
                   record_classifier classifier, bool keep, bool companions, std::uint32_t min_columns,
                   std::uint32_t max_columns, bool valid_frames, bool btree_flag, bool progress,
                   void* options);

// carve_database with no table; 0 when both column bounds are 0.
int carve_database_any_table(std::vector<recovered_record>& out, const std::string& path,
                             record_classifier classifier, bool keep, bool companions,
                             std::uint32_t min_columns, std::uint32_t max_columns, bool valid_frames,
                             bool btree_flag, bool progress, void* options);
