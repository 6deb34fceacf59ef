#include "sqlite_format/journal.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "io/evidence.h"
#include "io/fileio.h"
#include "sqlite_format/file_map.h"
#include "sqlite_format/format.h"

namespace {

// The first header's sector plus the first record's page number of a 512-byte sector.
constexpr std::uint32_t kJournalHeaderRead = kJournalFirstRecordOffset + kJournalPageNumberSize;
constexpr std::uint32_t kCountToEnd = 0xFFFFFFFFu;
constexpr std::uint64_t kPendingByte = 0x40000000ull;  // the page holding it is never journalled
constexpr std::uint32_t kMaxJournalPage = 0x1FFFFF;    // the plausible page numbers of a record
// The end of a journal that names a super-journal, after the name: its length, its checksum, the magic.
constexpr std::uint32_t kSuperJournalTail = 16;
constexpr std::size_t kSuperJournalChecksumAt = 4;
constexpr std::size_t kSuperJournalMagicAt = 8;

std::uint32_t be32_at(const std::uint8_t* b, std::size_t at) {
    std::uint32_t v = 0;
    (void)read_be32(byte_view(b, kJournalHeaderFields), at, &v);
    return v;
}

bool has_magic(const std::uint8_t* header) {
    return std::memcmp(header, kJournalMagic, kJournalMagicLength) == 0;
}

bool zero_magic(const std::uint8_t* header) {
    for (std::size_t i = 0; i < kJournalMagicLength; ++i)
        if (header[i] != 0) return false;
    return true;
}

bool power_of_two(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// The page size of a journal header as SQLite's rollback reads it: a field of 0 (older SQLite wrote it so)
// stands for the database's own, `db_page_size` (0 when unknown). 0 when the size is not a power of two
// from 512 to 65536: the records could not be told apart.
std::uint32_t header_page_size(const std::uint8_t* header, std::uint32_t db_page_size) {
    const std::uint32_t stored = be32_at(header, kJournalPageSizeOffset);
    return page_size_from_wide_field(stored != 0 ? stored : db_page_size);
}

// The checksum SQLite stores after a page image: the segment's nonce plus the bytes at P - 200,
// P - 400, ... above 0.
std::uint32_t record_checksum(std::uint32_t nonce, const std::uint8_t* page, std::uint32_t page_size) {
    std::uint32_t sum = nonce;
    for (std::int64_t i = static_cast<std::int64_t>(page_size) - kJournalChecksumStride; i > 0;
         i -= kJournalChecksumStride)
        sum += page[i];
    return sum;
}

std::uint64_t next_sector(std::uint64_t offset, std::uint32_t sector) {
    return offset == 0 ? 0 : ((offset - 1) / sector + 1) * sector;
}

bool db_in_wal_mode_or_empty(uni::fileio& db) {
    std::uint8_t header[kDbHeaderSize] = {};
    const bool read = db.is_open() && db.size() > 0 && read_file_exact(db, 0, sizeof header, header);
    if (!read) return true;
    return header[kDbWriteVersionOffset] == kDbWalVersion || header[kDbReadVersionOffset] == kDbWalVersion;
}

}  // namespace

int read_rollback_journal(rollback_journal& journal, uni::fileio& file, std::uint32_t db_page_size) {
    journal = rollback_journal();
    if (!file.is_open()) return 0;
    std::vector<std::uint8_t> first(kJournalHeaderRead);
    std::uint32_t got = kJournalHeaderRead;
    if (!file.read_at(first.data(), &got, 0) || got > kJournalHeaderRead) return 0;
    if (!rollback_journal_header::valid(first.data(), got)) return 0;
    const std::uint32_t page_size = header_page_size(first.data(), db_page_size);
    if (page_size == 0) return 0;
    const std::uint32_t stored_sector = be32_at(first.data(), kJournalSectorSizeOffset);
    // SQLite rolls nothing back under a sector size it cannot have; the records are still read after
    // the first 512 bytes, where the usual sector puts them.
    const bool sector_known = power_of_two(stored_sector) && stored_sector >= kJournalMinSectorSize &&
                              stored_sector <= kJournalMaxSectorSize;
    const std::uint32_t sector = sector_known ? stored_sector : kJournalFirstRecordOffset;
    journal.page_size = page_size;
    journal.sector_size = sector;
    journal.initial_pages = be32_at(first.data(), kJournalInitialSizeOffset);
    journal.live_magic = has_magic(first.data());

    const std::uint64_t file_size = file.size();
    const std::uint64_t record_size = static_cast<std::uint64_t>(page_size) + kJournalRecordOverhead;
    const std::uint64_t lock_page = kPendingByte / page_size + 1;
    std::vector<std::uint8_t> record(static_cast<std::size_t>(record_size));
    std::uint8_t header[kJournalHeaderFields] = {};
    bool playing =
        journal.live_magic && sector_known;  // SQLite plays a journal only from a live first header
    std::uint64_t header_at = 0;
    std::uint64_t records_end = file_size;  // where the records of the last segment read end
    // Each pass moves at least one sector on, and a header must lie whole in the file: the loop ends.
    while (header_at < file_size && file_size - header_at >= sector) {
        if (!read_file_exact(file, header_at, kJournalHeaderFields, header)) break;
        const bool magic = has_magic(header);
        if (header_at != 0) {
            if (!magic && !(zero_magic(header) && header_page_size(header, db_page_size) == page_size &&
                            be32_at(header, kJournalSectorSizeOffset) == stored_sector &&
                            be32_at(header, kJournalNonceOffset) != 0))
                break;
            // SQLite's rollback stops at the first header without the magic.
            if (!magic) playing = false;
        }
        const std::uint32_t count = be32_at(header, kJournalRecordCountOffset);
        const std::uint32_t nonce = be32_at(header, kJournalNonceOffset);
        const std::uint64_t records_at = header_at + sector;
        bool to_end = count == 0 || count == kCountToEnd;
        if (count == 0 && magic && records_at < file_size && file_size - records_at >= kJournalHeaderFields) {
            std::uint8_t next[kJournalHeaderFields] = {};
            if (read_file_exact(file, records_at, sizeof next, next) && has_magic(next)) to_end = false;
        }
        // A hot journal's segment with a count of 0 was not synced: its pages never reached the database.
        const bool segment_plays = playing && count != 0;
        const std::uint64_t whole = records_at < file_size ? (file_size - records_at) / record_size : 0;
        const std::uint64_t taken = to_end ? whole : std::min<std::uint64_t>(count, whole);
        for (std::uint64_t k = 0; k < taken; ++k) {
            const std::uint64_t at = records_at + k * record_size;
            if (!read_file_exact(file, at, static_cast<std::uint32_t>(record_size), record.data())) {
                playing = false;
                break;
            }
            journal_record r;
            r.page = be32_at(record.data(), 0);
            r.image_offset = at + kJournalPageNumberSize;
            r.segment = journal.segments;
            if (segment_plays && playing) {
                std::uint32_t stored_sum = 0;
                (void)read_be32(byte_view(record.data(), record.size()), kJournalPageNumberSize + page_size,
                                &stored_sum);
                if (r.page == 0 || r.page == lock_page ||
                    record_checksum(nonce, record.data() + kJournalPageNumberSize, page_size) != stored_sum)
                    playing = false;  // a record SQLite takes for the end of what was written
                else
                    r.played = r.page <= journal.initial_pages;
            }
            journal.records.push_back(r);
        }
        ++journal.segments;
        records_end = records_at + taken * record_size;
        if (to_end || taken < count) {
            records_end = file_size;
            break;
        }
        header_at = next_sector(records_end, sector);
    }
    // Past the last segment lie records an older, longer transaction left (a journal that is kept and
    // rewritten from its start): they are read on back to back while their page numbers are plausible.
    const std::uint32_t leftover_segment = journal.segments;
    for (std::uint64_t at = records_end; at < file_size && record_size <= file_size - at; at += record_size) {
        std::uint8_t number[kJournalPageNumberSize] = {};
        if (!read_file_exact(file, at, sizeof number, number)) break;
        journal_record r;
        (void)read_be32(byte_view(number, sizeof number), 0, &r.page);
        if (r.page == 0 || r.page > kMaxJournalPage) break;
        r.image_offset = at + kJournalPageNumberSize;
        r.segment = leftover_segment;
        journal.records.push_back(r);
    }
    return journal.records.empty() ? 0 : 1;
}

int parse_rollback_journal(journal_page_map& pages, std::uint32_t& page_size, uni::fileio& file) {
    pages.clear();
    rollback_journal journal;
    (void)read_rollback_journal(journal, file, page_size);
    if (journal.page_size == 0) return 0;
    if (journal.page_size != page_size) page_size = journal.page_size;
    for (const journal_record& r : journal.records) pages.emplace(r.page, r.image_offset);
    return pages.empty() ? 0 : 1;
}

int read_super_journal_name(std::string& name, uni::fileio& journal) {
    name.clear();
    if (!journal.is_open()) return 0;
    const std::uint64_t size = journal.size();
    std::uint8_t tail[kSuperJournalTail] = {};
    if (size < sizeof tail || !read_file_exact(journal, size - sizeof tail, sizeof tail, tail) ||
        !has_magic(tail + kSuperJournalMagicAt))
        return 0;
    std::uint32_t length = 0;
    std::uint32_t sum = 0;
    (void)read_be32(byte_view(tail, sizeof tail), 0, &length);
    (void)read_be32(byte_view(tail, sizeof tail), kSuperJournalChecksumAt, &sum);
    if (length == 0 || length > kLibraryMaxPathname || length > size - sizeof tail) return 0;
    std::string stored(length, '\0');
    if (!read_file_exact(journal, size - sizeof tail - length, length,
                         reinterpret_cast<std::uint8_t*>(&stored[0])))
        return 0;
    // SQLite adds the bytes as its chars, signed.
    std::uint32_t added = 0;
    for (const char c : stored) added += static_cast<std::uint32_t>(static_cast<signed char>(c));
    if (added != sum) return 0;
    name = stored.substr(0, stored.find('\0'));
    return name.empty() ? 0 : 1;
}

bool super_journal_exists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || st.st_size > 0);
}

journal_verdict judge_journal(uni::fileio& db, uni::fileio& journal) {
    journal_verdict verdict;
    std::uint8_t magic[kJournalMagicLength] = {};
    const bool live = journal.is_open() && journal.size() > 0 &&
                      read_file_exact(journal, 0, sizeof magic, magic) && has_magic(magic);
    if (!live || db_in_wal_mode_or_empty(db)) return verdict;
    if (read_super_journal_name(verdict.super_journal, journal) &&
        !super_journal_exists(verdict.super_journal))
        return verdict;  // the transaction of every database the super-journal held committed
    // SQLite rolls the journal back, then reads the super-journal; when that fails, it refuses the file.
    if (!verdict.super_journal.empty()) verdict.why = unreadable_reason(verdict.super_journal);
    verdict.hotness = verdict.why.empty() ? journal_hotness::hot : journal_hotness::unknown;
    return verdict;
}
