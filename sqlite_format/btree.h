// Page decode and b-tree traversal: the records of a leaf page (with the rows of the schema table
// recognised and overflow chains followed), the child list of an interior page, the walk from a
// root page down to the lowest interior level, and the read of every leaf below it.
//
// Page numbers read from a page are checked before use (0 or past the file is damage) and every
// walk keeps a visited set, so a b-tree whose children loop or share pages still ends.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sqlite_format/artifacts.h"

namespace uni {
class fileio;
}

// Key of the right-most child in a child list (sorts after every other key).
constexpr std::uint64_t kRightmostChildKey = ~0ull;

// Marker written after the local bytes of a payload whose overflow chain was not read.
extern const char kOverflowSkippedMarker[];  // " [overflow page reqd/skipped] "

// Artifacts by key (root page for schema rows, 0 for data pages, page number for a schema page).
using artifact_map = std::multimap<std::uint64_t, sqlite_artifact>;

// Child lists: an interior artifact keeps one entry per child in `cells`, keyed by the cell's rowid
// (table interior), the child page number (index interior) or kRightmostChildKey; the entry's
// values[0] is the child page number, page_offset the page's file offset, file_offset the cell's.
std::uint64_t child_page_of(const sqlite_ptr_artifact& entry);

// Decodes the records of the leaf page at file offset `page_offset` inside `bytes` (which start at
// file offset `bytes_offset` and hold `count` bytes). `out` is cleared first. Table leaf rows are
// kind 6 (key 0), index leaf rows kind 7; schema-table rows of type "table" or "index" become
// kinds 2, 3 and 5 under their root page, and their page a kind-1 artifact under its page number.
// Overflow chains are followed through `file` when it is given and open; with `skip_overflow`, or
// when the chain cannot be read, the local bytes are decoded followed by kOverflowSkippedMarker.
// Interior pages give nothing. Returns 1 when `out` is non-empty. Never reads outside the page.
struct leaf_page_options {
    leaf_page_options() = default;
    leaf_page_options(std::uint32_t size, uni::fileio* overflow_file)
        : page_size(size), file(overflow_file) {}

    std::uint32_t page_size = 0;
    uni::fileio* file = nullptr;  // overflow chains are followed through it when given and open
    bool annotate_time = false;   // integer and text times get their bracketed date
    bool raw_blob = false;        // blobs as their bytes, not as a hex view
    bool skip_overflow = false;   // table rows keep their local bytes and the skipped marker
    bool keep_header = false;     // each row keeps its stored record header
    text_encoding encoding = text_encoding::utf8;  // how the database stores its texts
    // Bytes reserved at the end of every page (page 1 takes its own header's): the cells and overflow chains
    // use the rest, the usable size.
    std::uint8_t reserved = 0;
    bool without_rowid = false;  // the table is WITHOUT ROWID: keys are page and cell, not rowids
    bool values_only = false;    // rows keep only their values (no recognised times, no blobs kept apart)
    // The value (its place in the record) that stands for the rowid: a NULL there is the row's key. Past
    // the record's values (kNoRowidAlias) for a table whose rowid no column stands for.
    std::size_t rowid_alias = 0;
    // Cell file offset -> the payload bytes its overflow chain gives soundly: a chain the tree check found
    // damaged is read no further, and its row comes out cut short.
    const std::map<std::uint64_t, std::uint64_t>* sound_payload = nullptr;
};
int parse_table_page(artifact_map& out, const std::uint8_t* bytes, std::uint64_t count,
                     std::uint64_t bytes_offset, std::uint64_t page_offset, const leaf_page_options& options);
// The same with each option as a parameter.
int parse_table_page(artifact_map& out, const std::uint8_t* bytes, std::uint64_t count,
                     std::uint64_t bytes_offset, std::uint64_t page_offset, std::uint32_t page_size,
                     uni::fileio* file, bool annotate_time, bool raw_blob, bool skip_overflow,
                     bool keep_header, text_encoding encoding, bool without_rowid);

// Cells of one leaf page that a decode skipped or could read only in part: which (e.g. "cell 3", "cells 40
// to 99") and why.
struct dropped_cell {
    std::string cells;
    std::string why;
    bool cut = false;   // the row was still given, cut short
    bool kept = false;  // the row was still given, read as its bytes stand
};

// Cells of one page told one by one; past them one line counts the rest, so that a page whose cell count
// is damaged does not bury the report under hundreds of lines.
constexpr std::size_t kToldCellsPerPage = 8;

// Storage decode_leaf_rows reuses from page to page.
struct leaf_row_buffers {
    cell_map cells;
    std::string payload;  // a cell's payload; a long value of it takes this storage as it is (no copy)
    std::vector<std::uint32_t> codes;
    std::vector<std::uint32_t> sizes;
    std::vector<std::uint8_t> scratch;  // a damaged page with its cell count cut to what it can hold
    std::string fault;                  // why the last page was not read as a leaf; empty when it was
    std::vector<dropped_cell> dropped;  // the cells of the last page skipped or cut short
};

// The rows of the leaf page at file offset `page_offset` (`page` holds its options.page_size bytes) as a
// table walk takes them from parse_table_page with `values_only` and no annotation: the rows of its kind 6
// or 7 artifact, in the same order, with the same values, key as rowid, cell offset as record offset and,
// with `keep_header`, stored header. They go to rows[0, n), whose storage is reused; returns n. When the
// page is no leaf page or its cells do not map, buffers.fault says why (a leaf without cells is no fault).
// Cells it skips go to buffers.dropped: a cell pointer outside the page or inside its header or pointer
// array, one repeated, pointers past what the page can hold, a cell that runs past the page or whose
// rowid or record does not decode; a row whose overflow chain breaks off before its record ends is given
// cut short and told too.
std::size_t decode_leaf_rows(std::vector<table_record>& rows, leaf_row_buffers& buffers,
                             const std::uint8_t* page, std::uint64_t page_offset,
                             const leaf_page_options& options);

// Reads the interior page at `page_offset` (placed as for parse_table_page) into `out` (cleared):
// kind 8 (table) or 9 (index, with each key record decoded) and its child list, the right-most
// child included. `reserved` is as leaf_page_options::reserved. Returns 1 when the page is an interior page
// with children; 0 for a leaf, a page with cells but no child, or a right-most child of 0.
int parse_page_in_memory(sqlite_artifact& out, const std::uint8_t* bytes, std::uint64_t count,
                         std::uint64_t bytes_offset, std::uint64_t page_offset, std::uint32_t page_size,
                         uni::fileio* file, bool annotate_time, bool raw_blob, text_encoding encoding,
                         std::uint8_t reserved = 0);

// How many of the `count` cell pointers of a page of `size` bytes (its pointer array at `array_start`, its
// cell content from `content_start`, 0 standing for 65536) name cells: those before the cell content, or
// before the end of the page where the content start lies inside the header. When fewer, `why` (when given)
// says why the rest name none, as the walks tell it ("the cell count 120 is more than the page can hold:
// its pointer array would run into the cell content at offset 300").
std::size_t cell_pointers_held(std::size_t count, std::size_t array_start, std::size_t content_start,
                               std::size_t size, std::string* why = nullptr);

// How the walks name cells of a page they tell of: "cell 3", or "cells 3 to 9".
std::string cell_label(std::size_t first, std::size_t last);

// One part of a b-tree that a walk could not read and went past: where it stands, what it is and why.
struct skipped_span {
    std::uint64_t page = 0;    // page number
    std::uint64_t offset = 0;  // file offset of the page, or of the cell whose link was bad
    std::uint64_t length = 0;  // bytes left unread there
    std::string what;          // "root page", "interior page", "leaf page"
    std::string why;           // what was wrong
    std::string cells;         // the cells of the page skipped ("cell 3"); empty when the page was
    bool cut = false;          // the cell's row was given, cut short
    bool kept = false;         // the page was read all the same: only its damage is told
};

// The span of page `page` (at file offset `offset`, `length` bytes, a `what`) skipped for `why`; `cells`
// names its cells skipped, empty for the page.
skipped_span make_skipped_span(std::uint64_t page, std::uint64_t offset, std::uint64_t length,
                               const std::string& what, const std::string& why,
                               const std::string& cells = std::string());

// The text of a skipped span: "page 7 (leaf page, file offset 24576) skipped: <why>", or for cells of it
// "page 7 (leaf page, file offset 24576) cell 3 skipped: <why>" ("cut short" for a row given in part,
// "damaged" for a page read all the same).
std::string skipped_span_text(const skipped_span& span);

// Told of each part of a b-tree a walk skips, as the walk skips it; the walk then goes on with the next
// page, so a reporter that only collects is enough.
class skip_reporter {
  public:
    virtual ~skip_reporter() = default;
    virtual void skipped(const skipped_span& span) = 0;
};

// Why a child page number read from an interior page names no page of a file of `page_count` pages ("child
// page number 0 is no page", "child page number 9 is past the end of the file (8 pages)"); empty when it
// names one. Every walk judges a child by it.
std::string child_page_fault(std::uint64_t child, std::uint64_t page_count);

// Deepest b-tree a walk follows: the format's own readers give up at 20 levels, which no page size
// reaches with a sound tree.
constexpr std::uint32_t kMaxTreeDepth = 20;

// Walks the b-tree whose root page is at `root_offset` breadth first and puts into `out` (cleared)
// every interior page whose children are leaves (with only those children when its other children are
// interior pages); a leaf root gives one artifact whose only child is the root. Unless
// `do_not_record`, every interior page parsed is also kept in `by_offset` (cleared) under its file
// offset. Once one child of a page reads as a leaf its later siblings are taken for leaves unread (the
// leaf walk says which is not). A child of 0 or past the file, one that does not read, is neither
// an interior nor a leaf page, was reached before (a loop or a shared page), or lies deeper than
// kMaxTreeDepth is skipped, told to `reporter` when given, and the walk goes on with its siblings; so
// is a root that does not read. A child whose link's file offset is in `refused` (the tree check's verdict,
// which tells why) is dropped unread and untold. The last page of a file cut short is read as far as the
// file holds it. `reserved` is as leaf_page_options::reserved. Returns 1 when `out` is non-empty.
int collect_btree_interior_pages(std::vector<sqlite_artifact>& out,
                                 std::map<std::uint64_t, sqlite_artifact>& by_offset, uni::fileio& file,
                                 std::uint64_t root_offset, std::uint32_t page_size, bool do_not_record,
                                 text_encoding encoding, skip_reporter* reporter = nullptr,
                                 const std::set<std::uint64_t>* refused = nullptr, std::uint8_t reserved = 0);

// The file offset that names the link to a child in a child list: the cell's, or for the right-most child
// that of its parent's right-child field (right_child_link of the parent's offset).
std::uint64_t child_link_of(const sqlite_artifact& node, const sqlite_ptr_artifact& entry);
// The file offset that names the right-most child of the interior page at `page_offset`: its right-child
// field's (for page 1 a key only, past its database header).
std::uint64_t right_child_link(std::uint64_t page_offset);

// The pages a walk of `file` takes it to have: a last page the file holds only in part counts (it is read
// with its missing bytes as zeros, as the library reads them).
std::uint64_t walk_page_count(const uni::fileio& file, std::uint32_t page_size);

// Reads page `page` of `file` (of walk_page_count pages) whole into `buf` (page_size bytes); the bytes of a
// last page that the file holds only in part are zeros. False when the page is not in the file.
bool read_walk_page(uni::fileio& file, std::uint64_t page, std::uint32_t page_size, std::uint8_t* buf);

// Reads every leaf page below `interiors` (each leaf once) and sorts what parse_table_page finds:
// kind 6 to `table_rows`, kind 7 to `index_rows` and every other kind to `other` (the last two
// only without `table_rows_only`); all three are cleared first. Overflow chains are followed through
// `file` only with `follow_overflow` (else a payload keeps its local bytes alone); `reserved` is as
// leaf_page_options::reserved. A leaf that cannot be read or parsed is skipped and the walk goes on with its
// siblings.
// Returns 1 when `table_rows` is non-empty; otherwise, without `table_rows_only`, 1 when `other`
// or `index_rows` is non-empty.
int walk_table_pages(artifact_map& table_rows, artifact_map& index_rows, artifact_map& other,
                     const std::vector<sqlite_artifact>& interiors, uni::fileio& file,
                     std::uint32_t page_size, bool table_rows_only, text_encoding encoding,
                     bool follow_overflow = false, std::uint8_t reserved = 0);
