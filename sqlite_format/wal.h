// Reader of the write-ahead log ("-wal" companion): the header test, the frame walk that sorts
// every frame into valid (newest committed version of a page with the current salts) or
// superseded, the regions the carver walks, and an in-memory database image with the valid frames
// applied.
//
// Checksums are never verified: a frame counts as committed when a commit frame with the same
// salts follows it.
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
// number of bytes at `header`; under 32 fails.
int wal_header_valid(const std::uint8_t* header, std::size_t length, std::uint32_t* page_size);

// Walks the frames of the open log in `file`. All four maps are cleared first.
//   overwritten: main-database offset (page - 1) x P -> P of every page a valid frame replaces;
//   valid: page number -> frame offset of its newest committed frame;
//   superseded: log offset of a frame's page image -> P, for older, uncommitted and foreign-salt
//     frames;
//   slack: the free space inside every valid frame's page image (collect_page_slack).
// The walk ends at a frame whose page number is 0 or that the file does not hold whole (a
// truncated tail). Returns 1 when the valid or the superseded map is non-empty; 0 otherwise, or
// when the file is not open or its header fails.
// Up to `threads` helper threads collect the slack (the maps are the same with any number; a thread that
// cannot start leaves its share to the others or the calling thread).
int parse_wal_file(region_map& overwritten, wal_frame_map& valid, region_map& superseded, region_map& slack,
                   uni::fileio& file, unsigned threads = 0);

// The size in pages that the last commit frame of the log in `file` gives its database (of the frames with
// the header's salts, up to where parse_wal_file's walk ends); 0 when none commits or the header fails.
std::uint64_t wal_committed_pages(uni::fileio& file);

// parse_wal_file's `valid` map alone, with wal_committed_pages in `committed_pages`, in one walk of the frame
// headers (no page is read). Its result is parse_wal_file's; on a failed header both are emptied.
int map_wal_commits(wal_frame_map& valid, std::uint64_t& committed_pages, uni::fileio& file);

// Opens `path` read-only and runs parse_wal_file; 0 for an empty path or a file that does not open.
int parse_wal_path(region_map& overwritten, wal_frame_map& valid, region_map& superseded, region_map& slack,
                   const std::string& path);
