// Reader of the rollback journal ("-journal" companion). A transaction that spills its page cache
// writes a new header at each spill, so a journal is a run of segments: a header at a multiple of
// the sector size, then the page records (page number, page image, checksum) it counts. The reader
// maps every record of every segment by page number and judges as SQLite's pager does whether the journal
// beside a database is hot (judge_journal: the one verdict the database's source takes, which every reader
// shares); the state a hot journal rolls back to is laid out with the database's source.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sqlite_format/file_map.h"

namespace uni {
class fileio;
}

// Page number -> file offset of the page image; a page journalled twice has two entries in file
// order.
using journal_page_map = std::multimap<std::uint64_t, std::uint64_t>;

// One page record of a journal.
struct journal_record {
    std::uint32_t page = 0;          // page number as stored
    std::uint64_t image_offset = 0;  // file offset of the page image (the record's offset + 4)
    std::uint32_t segment = 0;       // index of the segment that holds it, from 0
    bool played = false;             // SQLite's rollback of the journal writes it back to the database
};

// What read_rollback_journal finds.
struct rollback_journal {
    std::uint32_t page_size = 0;      // of the first header; governs every segment
    std::uint32_t sector_size = 0;    // of the first header: each header fills one sector
    std::uint32_t initial_pages = 0;  // database size in pages before the transaction
    bool live_magic = false;          // the first header carries the whole magic: SQLite rolls it back
    std::uint32_t segments = 0;
    std::vector<journal_record> records;  // in file order
};

// Reads the journal in `file` segment by segment (`journal` is reset first). The first header must
// pass rollback_journal_header::valid and give a page size that is a power of two from 512 to 65536; a
// page size of 0 (older SQLite wrote it so) stands, as in SQLite's rollback, for `db_page_size`, the page
// size of the database beside it (0 when unknown: such a header is then refused);
// its sector size (a power of two from 32 to 65536, else 512 is taken and nothing is played) places
// the headers. Each segment's records follow its header; a record count of 0 (a segment not yet
// synced) or 0xFFFFFFFF takes whole records up to the end of the file and ends the journal, except
// that a count of 0 followed at once by a header with the magic is an empty segment. After a counted
// segment the next header stands at the next multiple of the sector size; it must carry the magic,
// or be all zero where the magic stands (a header not yet synced) with the first header's page and
// sector sizes and a non-zero nonce; anything else ends the segments. Past the last segment, whole
// records an older transaction left are read on back to back while their page numbers lie in
// 1 .. 0x1FFFFF (never played). Only whole records inside the file are taken, so no read passes its
// end and every step moves forward.
// A record is `played` as SQLite's rollback of a hot journal plays it: only while every header so far
// has the magic, only in segments with a count other than 0, only for pages up to the initial size;
// the playback ends at a page number of 0 or of the lock-byte page, or at a checksum that does not
// match. Returns 1 when a record was found; 0 otherwise or when the file is not open or the header is
// refused.
int read_rollback_journal(rollback_journal& journal, uni::fileio& file, std::uint32_t db_page_size = 0);

// Every record of read_rollback_journal as page number -> image offset. `pages` is cleared first.
// `page_size` carries the database's page size in (0 when unknown; it stands in for a header's 0) and
// the journal's out (the journal's header value replaces a different one). Returns 1 when `pages` is
// non-empty and the page size is non-zero; 0 when the file is not open, the header is not valid or its
// page size is not a power of two from 512 to 65536.
int parse_rollback_journal(journal_page_map& pages, std::uint32_t& page_size, uni::fileio& file);

// The longest path the library's reader (evidence_vfs) takes; SQLite takes a super-journal name only when it
// is no longer. No more than the library's own reader on this system takes: SQLite reads a super-journal's
// name into a buffer of a page and 8 bytes, so a longer limit would let a name of the evidence write past it
// beside a database of small pages.
constexpr std::uint32_t kLibraryMaxPathname = 512;

// The super-journal a journal names, read from its end as SQLite reads it: with J the journal's size (at
// least 16), the journal's magic at J - 8, the name's length L (big-endian) at J - 16 with 0 < L <= J - 16
// and L <= kLibraryMaxPathname, and at J - 12 the sum of the L bytes at J - 16 - L taken as signed chars; the
// name is those bytes up to the first zero byte, as stored. 1 with `name` set; 0 with `name` empty when there
// is none (a check fails, the name comes out empty, the file is not open).
int read_super_journal_name(std::string& name, uni::fileio& journal);

// Whether a super-journal at `path` is there as SQLite's access check finds it: `path` (relative to the
// current folder, links followed) reaches something that is not an empty regular file. The library's reader
// answers that check with it.
bool super_journal_exists(const std::string& path);

// What the journal beside a database makes of the database's committed state.
enum class journal_hotness {
    not_hot,  // the file as it stands is the state
    hot,      // the state is the file as the journal rolls it back
    unknown,  // rolled back as hot, but the super-journal the journal names cannot be read: SQLite refuses
              // the file
};
struct journal_verdict {
    journal_hotness hotness = journal_hotness::not_hot;
    std::string super_journal;  // the name the journal gives, as stored; empty when none
    std::string why;            // unknown: why the super-journal cannot be read (unreadable_reason)
};

// The verdict every reader of the database takes, as SQLite's pager decides it: hot when the database is not
// empty and not in write-ahead-log mode (header bytes 18 and 19), and its journal is not empty and begins
// with the whole magic (a journal whose header was zeroed belongs to a committed transaction), unless the
// journal names a super-journal (read_super_journal_name): one that is not there (super_journal_exists)
// means the transaction committed (not hot); one there that cannot be read leaves it unknown. A file that is
// not open: not hot. The super-journal is only ever opened read-only, to read its first byte.
journal_verdict judge_journal(uni::fileio& db, uni::fileio& journal);
