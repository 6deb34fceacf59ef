// Live content read with the own page parser: the schema table of a database (page 1 and the
// b-tree below it, from the write-ahead-log image when the main file's page 1 does not read), the
// rows of one table b-tree, and a carve of loose pages held in a buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sqlite_format/btree.h"
#include "sqlite_format/table_schema.h"
#include "sqlite_format/tree_check.h"

namespace uni {
class fileio;
}

// How read_master_table read the texts of the schema table, against the text encoding of the database header.
struct schema_text_encoding {
    std::uint32_t header = 0;  // the header's text encoding field (1 UTF-8, 2 UTF-16le, 3 UTF-16be)
    text_encoding encoding = text_encoding::utf8;  // the encoding the texts were read in
    bool against_header = false;  // no row read as a table or index in the header's encoding, and some did
                                  // in another one, which was taken: the header contradicts the texts
    std::size_t rows = 0;         // where no row read as a table or index in any encoding: the rows
                                  // of the schema table read (0 otherwise)
};

// The name of a text encoding field's value ("UTF-16be"), or "not a text encoding".
std::string text_encoding_name(std::uint32_t field);

// Lists the tables and indexes of a database from its schema table into three parallel vectors
// (emptied first): name ("<noname>" when empty), SQL text and root page. A schema row whose record
// continues on overflow pages is read whole, as a table's rows are. With `file` open its size
// and the given `page_size` are used; otherwise `path` is opened into `file` and the page size
// read from its header (and returned). When page 1 does not bind as a b-tree page, the log image
// of `path` (its "-wal" companion) is read instead: with `wal_image` set on entry, `file` itself
// becomes that image (read in place), else a local one is used. `wal_image` is cleared when page 1 was
// read from the main file. Texts are read in the header's encoding (a field that names none: UTF-16le);
// when no row then reads as a table or index, in the first of the others (UTF-8, UTF-16le, UTF-16be) in
// which one does, which `encoding` (when given) then names as against the header. Every page's reserved
// bytes are those page 1's header gives (db_header_reserved). Returns 1 when at least one name was listed; 0
// when the file cannot be read, page 1 binds neither way, a path naming the log fails to bind, the bound page
// size differs from `page_size`, or no row reads as a table or index in any encoding. The database and its
// log image are read through `source` (the database opened once for its read); without one, through a source
// opened from `path` where the file is to be opened or the image laid.
int read_master_table(std::vector<std::string>& names, std::vector<std::string>& sqls,
                      std::vector<std::uint32_t>& roots, uni::fileio& file, std::uint32_t& page_size,
                      const std::string& path, std::uint8_t& wal_image,
                      schema_text_encoding* encoding = nullptr, const database_source* source = nullptr);

// The root pages (rising, each once, none 0) of every row of the schema table of the database open in
// `file`, whose page 1 must bind, in pages of `page_size`: its fourth column where that is an integer,
// whatever the row's texts read as, since a root page number needs no text encoding. A walk that must tell
// the pages of the trees from free ones takes these, so that a header whose text encoding contradicts the
// texts does not hide a tree. Returns 1 when one was found.
int read_schema_roots(std::vector<std::uint32_t>& roots, uni::fileio& file, std::uint32_t page_size);

// The rows of the table b-tree whose root page is at `root_offset`, as table_record values
// (emptied first), following overflow chains. `count` -1 reads every row; otherwise the walk reads
// children whose key may hold rowids from `first_rowid` on and stops at rowid first_rowid + count.
// With `keep_header` each record keeps its stored header bytes; every page has `reserved` bytes at its end.
// Returns 1 when a row was added.
int extract_table_records(std::vector<table_record>& rows, uni::fileio& file, std::uint64_t root_offset,
                          std::uint32_t page_size, std::uint64_t first_rowid, std::int64_t count,
                          bool raw_blob, bool keep_header, text_encoding encoding, std::uint8_t reserved = 0);

// Receives one row of a table walk; false stops the walk. The record is reused for the next row.
using table_record_visitor = std::function<bool(table_record&)>;

// Which rows of one table visit_table_records reads, and how.
struct table_walk_options {
    std::uint64_t root_offset = 0;  // file offset of the table's root page
    std::uint32_t page_size = 0;
    std::uint64_t first_rowid = 0;                 // with a count, the first rowid wanted
    std::int64_t count = -1;                       // rows from first_rowid on; -1 every row
    bool raw_blob = false;                         // blobs as their bytes, not as a hex view
    bool keep_header = false;                      // each record keeps its stored header bytes
    text_encoding encoding = text_encoding::utf8;  // how the database stores its texts
    std::uint8_t reserved = 0;                     // bytes reserved at the end of every page
    std::size_t rowid_alias = 0;                   // the value standing for the rowid (leaf_page_options)
    skip_reporter* reporter = nullptr;             // told of every page of the tree the walk skips
    unsigned threads = 0;                          // threads that may decode the leaves of a large table
    // The tree check's verdict on the table, in the same bytes: the links, cells and chain parts it refused
    // are not read (it tells why).
    const tree_verdict* verdict = nullptr;
};

// The rows extract_table_records_ex lists, handed to `visit` one at a time as each leaf page is read,
// so that a table need not be held whole. `interiors` as for extract_table_records_ex. Every page the walk
// skips (see collect_btree_interior_pages; a leaf that does not read or decode as one) goes to
// walk.reporter when given, and the walk goes on. With walk.verdict no refused link is followed, no row of a
// refused cell handed on, and a damaged overflow chain read only as far as it is sound. Returns 1 when a row
// was handed on.
int visit_table_records(uni::fileio& file, const table_walk_options& walk,
                        std::vector<sqlite_artifact>& interiors, const table_record_visitor& visit);

// As extract_table_records, with the lowest interior pages in `interiors`: filled on first use
// (when empty) and reused by later calls on the same table.
int extract_table_records_ex(std::vector<table_record>& rows, uni::fileio& file, std::uint64_t root_offset,
                             std::uint32_t page_size, std::uint64_t first_rowid, std::int64_t count,
                             bool raw_blob, bool keep_header, text_encoding encoding,
                             std::vector<sqlite_artifact>& interiors, std::uint8_t reserved = 0);

// Carves a buffer of loose pages into `out` (cleared first): the pages start at the first page or
// database header found in the buffer (else at 0); `page_size` 0 takes the page size found there,
// or a guessed one. Each page that binds is parsed as a leaf (every artifact kept) or else as an
// interior page (kept under its file offset), and its text is carved as slack; a page that does
// not bind is carved as slack only. File offsets are `base_offset` plus the offset in the buffer.
// Returns 1 when `out` is non-empty.
int carve_blob(artifact_map& out, const std::uint8_t* bytes, std::uint64_t length, bool annotate_time,
               std::uint64_t base_offset, std::uint32_t page_size);
