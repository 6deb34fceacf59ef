// File-level operations of the own SQLite reader: the database check, the page parameters, the
// map of free space (free-list pages plus the slack inside every other page) and the reader of an
// overflow chain. Everything reads through a uni::fileio and never writes.
//
// Page numbers and sizes come from a hostile file: every page number is checked against the page
// count, every chain keeps a visited set, and offsets are computed in 64 bits.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sqlite_format/format.h"
#include "sqlite_format/region_map.h"

namespace uni {
class fileio;
}

// The first 100 bytes of a database file.
using db_header_bytes = std::array<std::uint8_t, 100>;

// Opens `path` read-only into `file` (the main file of a database source opened from it) and reads its header
// into `header` (zeroed first). 1 when the file is at least 512 bytes long, its first 100 bytes read, it
// begins with "SQLite format 3" and its page size is valid; the file then stays open. 0 otherwise, with the
// file closed.
int check_db_file_header(uni::fileio& file, db_header_bytes& header, const std::string& path);
// The same test of a file already open, which stays open either way.
int check_db_file_header(uni::fileio& file, db_header_bytes& header);

// check_db_file_header, then the page parameters: page size (1 stands for 65536), reserved bytes
// per page and the file's size. 0 on failure, with file size and page size 0.
int read_db_page_params(uni::fileio& file, std::uint64_t* file_size, std::uint32_t* page_size,
                        std::uint8_t* reserved, const std::string& path);

// The page size field of an open file whose first 100 bytes read (the magic is not tested). 0 when
// the file is not open, is shorter than 100 bytes or the page size is not valid.
int read_page_size_field(std::uint32_t* page_size, uni::fileio& file);

// Adds the free-list pages of an open database to `out` (not cleared), each trunk and leaf page whole
// (page offset -> page size). `header` is the file's first 100 bytes; nothing is added when it lacks the
// magic or a valid page size. A trunk met again, or a page number of 0 or past the file, ends the walk; a
// trunk's leaf count is used only when the trunk can hold that many.
void collect_free_list(region_map& out, uni::fileio& file, const db_header_bytes& header);

// Adds the free space of an open database to `out` (not cleared): every free-list trunk and leaf
// page whole, and the free space of every other page from page 2 on (collect_page_slack, up to the usable
// size the header's reserved bytes leave). `header` is the file's first 100 bytes. 1 when `out` is non-empty
// at the end; 0 when the file is not open or the header lacks the magic or a valid page size. A damaged free
// list (a page number of 0 or past the end, a revisited trunk, a leaf count the page cannot hold) ends or
// skips only what is damaged.
int map_db_pages(region_map& out, uni::fileio& file, const db_header_bytes& header);

// True when `path` ends in `suffix`. A companion file is named by appending "-wal", "-journal" or
// "-shm" to its database's path; the same text elsewhere in a path (a folder "smith-walsh") says
// nothing.
bool path_ends_with(const std::string& path, const char* suffix);

// The free-space map of the database at `path` (cleared first), read through a source opened from the path.
// 0 for an empty path, for one that reaches a file named as a "-journal", "-wal" or "-shm" companion (links
// followed), or when the file fails the header check.
int map_db_free_space(region_map& out, const std::string& path);

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
