// The file-level reads of the own SQLite reader that start from a path: each opens a database source from
// the path (the evidence's descriptors, the file a link reaches) and reads its main file through the forms
// of file_map.h, which take a file already open.
#pragma once

#include <cstdint>
#include <string>

#include "sqlite_format/format.h"
#include "sqlite_format/region_map.h"

namespace uni {
class fileio;
}

// Opens `path` read-only into `file` (the main file of a database source opened from it) and reads its header
// into `header` (zeroed first). 1 when the file is at least 512 bytes long, its first 100 bytes read, it
// begins with the database magic and its page size is valid; the file then stays open. 0 otherwise, with the
// file closed.
int check_db_file_header(uni::fileio& file, db_header_bytes& header, const std::string& path);

// check_db_file_header, then the page parameters: page size (1 stands for 65536), the bytes reserved at the
// end of every page (as the header's usable size leaves them) and the file's size. 0 on failure, with file
// size and page size 0.
int read_db_page_params(uni::fileio& file, std::uint64_t* file_size, std::uint32_t* page_size,
                        std::uint8_t* reserved, const std::string& path);

// The free-space map of the database at `path` (cleared first), read through a source opened from the path.
// 0 for an empty path, for one that reaches a file named as a "-journal", "-wal" or "-shm" companion (links
// followed), or when the file fails the header check.
int map_db_free_space(region_map& out, const std::string& path);
