// Reader of the rollback journal ("-journal" companion): the first journal header, then a run of
// page records (page number, page image, checksum) mapped by page number.
#pragma once

#include <cstdint>
#include <map>

namespace uni {
class fileio;
}

// Page number -> file offset of the page image; a page journalled twice has two entries in file
// order.
using journal_page_map = std::multimap<std::uint64_t, std::uint64_t>;

// Reads the journal in `file`. `pages` is cleared first. `page_size` carries the caller's page
// size in and the journal's out (the journal's header value replaces a different one). Records are
// read from offset 512 on, each page size + 8 bytes, while a whole record lies in the file (the last
// may end exactly at its end); a short read ends the walk. Page numbers are taken as stored. Returns 1 when `pages` is
// non-empty and the page size is non-zero; 0 when the file is not open, the header is not valid
// or its page size is not a power of two from 512 to 65536.
int parse_rollback_journal(journal_page_map& pages, std::uint32_t& page_size, uni::fileio& file);
