// Free space inside one b-tree page: the freeblock chain and the gap between the cell-pointer
// array and the cell content, recorded in a region map (file offset -> length) for the page
// walker; and a carve of records straight out of a slack buffer by the text they hold.
#pragma once

#include <cstdint>
#include <map>

#include "sqlite_format/region_map.h"

class sqlite_artifact;

// Records the freeblock chain of the page in `page` (`page_length` bytes) that starts at
// `first_offset`: one entry (base_offset + freeblock offset -> size as stored) per freeblock.
// `map` is cleared first unless `keep`. The walk ends at a freeblock smaller than 4 bytes, a link
// of 0 or past the page, a freeblock whose 4-byte header would pass the page end, or the second
// offset met again (a chain that loops). Returns 1 when a freeblock was recorded or the walk ended
// at a link; 0 for a missing page, a page under 512 bytes, or a first offset of 0 or past the page.
// Reads nothing outside the page.
int walk_freeblocks(region_map& map, const std::uint8_t* page, std::int32_t page_length,
                    std::uint32_t first_offset, std::uint64_t base_offset, bool keep);

// Records the free space of one page whose b-tree header is at its offset 0 (so page 1, whose
// header is at 100, yields nothing): the gap from the end of the cell-pointer array (after an 8-byte
// leaf or 12-byte interior header) to the cell content start, and every freeblock; on a page with no
// cells, everything after its header. Where the bytes of its content area that no sound cell (its pointer
// inside the area, its bytes decoding inside the usable bytes) and no freeblock covers come to more than the
// fragments its header counts, each run of them of 4 bytes or more too: a cell whose pointer is damaged still
// stands there whole (on a sound page those bytes are the fragments, and nothing is added). Regions are cut
// at the page end and where they overlap, so no byte is recorded twice. `map` is cleared first unless `keep`.
// Returns 1 when the map gained entries. With `page_limit` (the pages the database may have; 0: unknown) the
// gap of a table interior page ends below the cells the page held there before: SQLite moves the content
// start up over a freed cell without writing anything, so a run of what reads as interior cells (a child page
// from 1 to page_limit, then a rowid varint) ending at the content start was written after whatever record
// lies beneath it. With `usable` (the page size less the bytes reserved at the end of every page; 0: the
// whole page) nothing from there on is free space: SQLite writes no cell into the reserved bytes.
int collect_page_slack(region_map& map, const std::uint8_t* page, std::int32_t page_length,
                       std::uint64_t base_offset, bool keep, std::uint64_t page_limit = 0,
                       std::uint32_t usable = 0);

// The rowid of the table cell whose record header starts at `h` in `buf`: the varint that fills the bytes
// between the payload-size varint, which must equal `record_length` (header and body), and the header. 0
// when no such pair lies within 7 bytes before `h`: a free block's header written over the cell's start
// leaves none, and the bytes there are then no rowid. Reads nothing before `buf`.
std::uint64_t rowid_before_record(const std::uint8_t* buf, std::uint64_t h, std::uint64_t record_length);

// Carves records out of the slack bytes by the printable text runs they hold: for each run of at
// least 10 printable characters, looks back for a record header that covers it, and adds one
// artifact of kind 12 (file offset, page index, rowid, column types, text columns and the record
// bytes) under its file offset. Returns 1 when at least one artifact was added. Reads nothing
// outside the buffer.
int carve_strings_in_slack(std::multimap<std::uint64_t, sqlite_artifact>& out, const std::uint8_t* slack,
                           std::uint32_t length, std::uint64_t base_offset, std::uint32_t page_size);
