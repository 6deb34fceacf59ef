// File-level operations of the own SQLite reader on a file already open: the database check, the map of free
// space (free-list pages plus the slack inside every other page) and the reader of an overflow chain.
// Everything reads through a uni::fileio and never writes; the forms that open a path (a database source)
// are above the source, in database_paths.h.
//
// Page numbers and sizes come from a hostile file: every page number is checked against the page
// count, every chain keeps a visited set, and offsets are computed in 64 bits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sqlite_format/format.h"
#include "sqlite_format/region_map.h"

namespace uni {
class fileio;
}

// Whether the file already open in `file` holds a database header a reader takes, read into `header`
// (zeroed first): 1 when the file is at least 512 bytes long, its first 100 bytes read, they begin with the
// database magic and its page size is valid. The file stays open either way. The form that opens a path is in
// database_paths.h.
int check_db_file_header(uni::fileio& file, db_header_bytes& header);

// The page size field of an open file whose first 100 bytes read (the magic is not tested). 0 when
// the file is not open, is shorter than 100 bytes or the page size is not valid.
int read_page_size_field(std::uint32_t* page_size, uni::fileio& file);

// Adds the free-list pages of an open database to `out` (not cleared), each trunk and leaf page whole
// (page offset -> page size). `header` is the file's header, decoded; nothing is added when it is not one a
// reader takes. A trunk met again, or a page number of 0 or past the file, ends the walk; a trunk's leaf
// count is used only when the trunk can hold that many.
void collect_free_list(region_map& out, uni::fileio& file, const database_header& header);

// Adds the free space of an open database to `out` (not cleared): every free-list trunk and leaf
// page whole, and the free space of every other page from page 2 on (collect_page_slack, up to the header's
// usable size). `header` is the file's header, decoded. 1 when `out` is non-empty at the end; 0 when the file
// is not open or the header is not one a reader takes (no magic, or no valid page size). A damaged free list
// (a page number of 0 or past the end, a revisited trunk, a leaf count the page cannot hold) ends or skips
// only what is damaged.
int map_db_pages(region_map& out, uni::fileio& file, const database_header& header);
// The same of the file's first 100 bytes, decoded first.
int map_db_pages(region_map& out, uni::fileio& file, const db_header_bytes& header);

// True when `path` ends in `suffix`. A companion file is named by appending "-wal", "-journal" or
// "-shm" to its database's path; the same text elsewhere in a path (a folder "smith-walsh") says
// nothing.
bool path_ends_with(const std::string& path, const char* suffix);

// Appends the overflow chain that starts at page `first_page`: of every page, the bytes after its
// 4-byte next-page link up to the page's usable size `usable` (the page size less the bytes reserved at the
// end of every page; 0 = the whole page). The chain ends at a link of 0, a page outside the file, a page
// already visited, a failed read, a page that looks like a b-tree page, or once `needed` bytes were appended
// (0 = no bound beyond the file). 1 when at least one page was appended; 0 when the file is not open, the
// page size is not valid, the usable size leaves no content or the first page is refused.
int follow_overflow_chain(std::vector<std::uint8_t>& out, uni::fileio& file, std::uint32_t first_page,
                          std::uint32_t page_size, std::uint64_t needed = 0, std::uint32_t usable = 0);
// The same appended to a string.
int follow_overflow_chain(std::string& out, uni::fileio& file, std::uint32_t first_page,
                          std::uint32_t page_size, std::uint64_t needed = 0, std::uint32_t usable = 0);

// Reads exactly `length` bytes at `offset` of an open file into `out`. False when the file is not
// open or fewer bytes arrive (a short read never passes for a whole page).
bool read_file_exact(uni::fileio& file, std::uint64_t offset, std::uint32_t length, std::uint8_t* out);
// Reads the whole of `file` (at most 4 GiB) into `out`: 1, or 0 with `out` empty when it does not read whole
// or memory runs out.
int read_whole_file(std::vector<std::uint8_t>& out, uni::fileio& file);
