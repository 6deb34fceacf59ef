// Reader of the write-ahead log ("-wal" companion): the header test, the frame walk that sorts
// every frame into valid (the newest committed version of a page) or superseded, the regions the
// carver walks, and an in-memory database image with the valid frames applied.
//
// The frames taken are the library's: the valid prefix of the log (each frame with a page number,
// the header's salts and the checksum chained from the header's through every frame before it; a
// header whose checksum or format version fails gives none) up to its last commit frame. The first
// frame that fails ends the prefix; it and every frame after it, like the frames of a transaction
// that never committed, are superseded: carved, never laid into the committed state.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sqlite_format/file_map.h"

namespace uni {
class fileio;
}

// Page number -> file offset of the frame (its 24-byte header) in the log.
using wal_frame_map = std::map<std::uint64_t, std::uint64_t>;

// The first test of a log header: its magic (either checksum byte order) and a non-zero format
// version. `length` is the number of bytes at `header`; under 32 fails.
bool wal_magic_and_version_valid(const std::uint8_t* header, std::size_t length);

// The log's header test: magic 37 7F 06 82 or 37 7F 06 83, a non-zero format version and a page
// size that is a power of two from 512 to 65536. On success *page_size is set. `length` is the
// number of bytes at `header`; under 32 fails. A header that passes is read as a log (its frames
// carved) even where its checksum or version keeps the library from taking any frame.
int wal_header_valid(const std::uint8_t* header, std::size_t length, std::uint32_t* page_size);

// The log's checksum over `length` bytes at `data` (a multiple of 8; a shorter tail is left out),
// continuing `sum`: each 8 bytes are two 32-bit words x0, x1, big-endian with `big_endian` (magic
// ...83) else little-endian, and sum[0] += x0 + sum[1]; sum[1] += x1 + sum[0]. The header's starts
// from {0, 0} over its first 24 bytes; each frame's continues the one before over the frame
// header's first 8 bytes and then its page.
void wal_checksum(std::uint32_t (&sum)[2], const std::uint8_t* data, std::size_t length, bool big_endian);

// Walks the frames of the open log in `file`. All four maps are cleared first.
//   overwritten: main-database offset (page - 1) x P -> P of every page a valid frame replaces;
//   valid: page number -> frame offset of its newest committed frame;
//   superseded: log offset of a frame's page image -> P, for every other frame: older versions,
//     a transaction that never committed, and every frame from the first that fails on;
//   slack: the free space inside every valid frame's page image (collect_page_slack).
// The walk ends at a frame that the file does not hold whole (a truncated tail). Returns 1 when
// the valid or the superseded map is non-empty; 0 otherwise, or when the file is not open or its
// header fails.
// Up to `threads` helper threads collect the slack (the maps are the same with any number; a thread that
// cannot start leaves its share to the others or the calling thread).
int parse_wal_file(region_map& overwritten, wal_frame_map& valid, region_map& superseded, region_map& slack,
                   uni::fileio& file, unsigned threads = 0);

// The frames of one log sorted as the library takes them, in one walk of the log (every page read once, for
// the checksums): what parse_wal_file gives but the regions read from the pages.
struct wal_sort {
    bool read = false;                  // the header read as a log's
    std::uint32_t page_size = 0;        // the log header's
    wal_frame_map valid;                // page -> frame offset of its newest committed frame
    region_map superseded;              // page image offset -> page size of every other frame
    std::uint64_t committed_pages = 0;  // the database's pages after the last commit taken; 0 when none
    std::uint64_t db_pages = 0;         // the most pages any frame names: a bound for child page numbers
    bool every_frame = false;           // `superseded` was mapped (else it is empty)
};
// Sorts the frames of the log in `file` into `out` (reset first); without `every_frame` the frames that are
// not committed are not mapped (a reader that carves nothing needs only the committed ones). 1 when the valid
// or the superseded map is non-empty; 0 otherwise, or when the file is not open or its header fails.
int sort_wal_log(wal_sort& out, uni::fileio& file, bool every_frame = true);
// parse_wal_file's `overwritten` and `slack` (cleared first) of the log in `file` whose frames `sort` holds,
// the slack of each page short of the `reserved` bytes at its end (the database's); up to `threads` helper
// threads collect it.
void map_wal_regions(region_map& overwritten, region_map& slack, const wal_sort& sort, uni::fileio& file,
                     unsigned threads = 0, std::uint8_t reserved = 0);

// The size in pages that the last commit frame of the log's valid prefix in `file` gives its database; 0
// when none commits or the header fails.
std::uint64_t wal_committed_pages(uni::fileio& file);

// parse_wal_file's `valid` map alone, with wal_committed_pages in `committed_pages`, in one walk of the
// frames (every page read once, for the checksums; no slack collected). Its result is parse_wal_file's; on
// a failed header both are emptied.
int map_wal_commits(wal_frame_map& valid, std::uint64_t& committed_pages, uni::fileio& file);

// Opens `path` read-only and runs parse_wal_file; 0 for an empty path or a file that does not open.
int parse_wal_path(region_map& overwritten, wal_frame_map& valid, region_map& superseded, region_map& slack,
                   const std::string& path);
