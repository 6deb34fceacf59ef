// Pages of a database that no walk of its b-trees reaches: below a damaged interior page, say, whole leaves
// of live rows are referenced by nothing and lie outside the free list, so neither a table walk nor the
// free-space map sees them. The carving driver walks them whole, as it walks free pages.
#pragma once

#include <cstdint>
#include <vector>

#include "sqlite_format/file_map.h"

namespace uni {
class fileio;
}

// The file offsets, rising, of the pages of the database open in `file` (page size from `header`, its first
// 100 bytes) that are reached neither by a walk of the b-trees whose root pages are in `roots` (page 1's,
// the schema table, is always walked), nor as an overflow page of a cell of a page reached, nor as the
// lock-byte page or a pointer-map page, and that are not in `free_list` (page offset -> length). A page a
// link leads to but that does not read as a b-tree page is not reached: its bytes are left to the carver.
// Every walk keeps one visited set and a depth cap, and every chain stops at a page met before. `out` is
// cleared first. Returns 1 when `out` is non-empty; 0 also when the header lacks a valid page size.
int find_unreached_pages(std::vector<std::uint64_t>& out, uni::fileio& file, const db_header_bytes& header,
                         const std::vector<std::uint32_t>& roots, const region_map& free_list);
