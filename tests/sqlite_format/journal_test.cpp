#include "sqlite_format/journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "io/fileio.h"
#include "reader_fixtures.h"
#include "sqlite_format/database_source.h"

using namespace reader_fixtures;

namespace {

// A journal header with a live magic, then `records` page records of `page_size` bytes.
std::vector<std::uint8_t> make_journal(std::uint32_t page_size, std::uint32_t records) {
    std::vector<std::uint8_t> b(512, 0);
    const std::uint8_t magic[8] = {0xD9, 0xD5, 0x05, 0xF9, 0x20, 0xA1, 0x63, 0xD7};
    std::copy(magic, magic + 8, b.begin());
    put_be32(b, 8, records);
    put_be32(b, 12, 0x12345678);  // nonce
    put_be32(b, 16, 10);          // initial size in pages
    put_be32(b, 20, 512);         // sector size
    put_be32(b, 24, page_size);
    for (std::uint32_t k = 0; k < records; ++k) {
        const std::size_t at = b.size();
        b.resize(at + page_size + 8, static_cast<std::uint8_t>(k + 1));
        put_be32(b, at, k + 2);
    }
    return b;
}

int parse_bytes(const temp_dir& dir, const std::vector<std::uint8_t>& bytes, journal_page_map& pages,
                std::uint32_t& page_size) {
    const std::string p = dir.file("t.db-journal");
    write_all(p, bytes);
    uni::fileio f;
    if (!f.open(p, false, false, false)) return -1;
    return parse_rollback_journal(pages, page_size, f);
}

// Whether the journal beside the database of `source` is rolled back as every reader takes it: hot, or
// unknown.
bool rolls_back(const database_source& source) {
    return source.journal().hotness != journal_hotness::not_hot;
}

// The state the hot journal of `source` rolls the database back to, read whole; 0 (and empty) where it rolls
// nothing back.
int rolled_back_image(std::vector<std::uint8_t>& image, const database_source& source) {
    image.clear();
    uni::fileio state;
    return source.journal_rolls_back() && source.open_view(database_view::own, state)
               ? read_whole_file(image, state)
               : 0;
}

}  // namespace

TEST(ParseRollbackJournal, record_ending_at_the_file_end_is_read) {
    temp_dir dir;
    auto b = make_journal(1024, 3);
    ASSERT_EQ(b.size(), 512u + 3 * 1032);
    journal_page_map pages;
    std::uint32_t ps = 1024;
    ASSERT_EQ(parse_bytes(dir, b, pages, ps), 1);
    EXPECT_EQ(pages, (journal_page_map{{2, 516}, {3, 516 + 1032}, {4, 516 + 2 * 1032}}));
    // One byte short and the third record is not whole.
    b.pop_back();
    ASSERT_EQ(parse_bytes(dir, b, pages, ps), 1);
    EXPECT_EQ(pages.size(), 2u);
}

TEST(ParseRollbackJournal, journal_page_size_replaces_the_callers) {
    temp_dir dir;
    auto b = make_journal(1024, 4);
    journal_page_map pages;
    std::uint32_t ps = 4096;
    ASSERT_EQ(parse_bytes(dir, b, pages, ps), 1);
    EXPECT_EQ(ps, 1024u);
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_EQ(std::next(pages.begin())->second, 516u + 1032);
}

TEST(ParseRollbackJournal, zeroed_header_needs_a_plausible_first_page) {
    temp_dir dir;
    auto b = make_journal(512, 3);
    std::fill(b.begin(), b.begin() + 8, 0);
    journal_page_map pages;
    std::uint32_t ps = 0;
    put_be32(b, 512, 0);
    EXPECT_EQ(parse_bytes(dir, b, pages, ps), 0);
    EXPECT_TRUE(pages.empty());
    put_be32(b, 512, 0x1FFFFF);
    EXPECT_EQ(parse_bytes(dir, b, pages, ps), 1);
    EXPECT_EQ(pages.begin()->first, 3u);  // the records as stored; the first one's number is 0x1FFFFF
    EXPECT_EQ(pages.count(0x1FFFFF), 1u);
    put_be32(b, 512, 0x200000);
    EXPECT_EQ(parse_bytes(dir, b, pages, ps), 0);
}

TEST(ParseRollbackJournal, short_and_refused_journals) {
    temp_dir dir;
    auto b = make_journal(1024, 0);
    b.resize(515);
    journal_page_map pages;
    std::uint32_t ps = 1024;
    EXPECT_EQ(parse_bytes(dir, b, pages, ps), 0);  // the header passes, no record
    EXPECT_TRUE(pages.empty());
    b.resize(511);
    EXPECT_EQ(parse_bytes(dir, b, pages, ps), 0);
    // Page sizes that are not a power of two from 512 to 65536 are refused (0 stands for the database's).
    for (std::uint32_t bad : {1u, 100u, 1000u, 131072u}) {
        auto j = make_journal(1024, 3);
        put_be32(j, 24, bad);
        std::uint32_t in = 1024;
        EXPECT_EQ(parse_bytes(dir, j, pages, in), 0) << bad;
        EXPECT_TRUE(pages.empty());
    }
    uni::fileio closed;
    EXPECT_EQ(parse_rollback_journal(pages, ps, closed), 0);
}

TEST(ParseRollbackJournal, hot_journal_holds_the_pages_before_the_transaction) {
    temp_dir dir;
    const std::string live = dir.file("live.db");
    std::string sql = "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);";
    sql +=
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 200) "
        "INSERT INTO t SELECT x, 'before ' || x FROM c;";
    make_db(live, 1024, sql);
    const auto before = read_all(live);
    sqlite3* db = open_db(live);
    ASSERT_NE(db, nullptr);
    exec(db, "PRAGMA secure_delete=OFF; PRAGMA journal_mode=DELETE;");
    exec(db, "BEGIN; UPDATE t SET v = 'after ' || id;");
    const auto journal = read_all(live + "-journal");
    exec(db, "ROLLBACK;");
    sqlite3_close(db);
    ASSERT_GT(journal.size(), 512u);
    const std::string copy = dir.file("copy.db-journal");
    write_all(copy, journal);
    uni::fileio f;
    ASSERT_TRUE(f.open(copy, false, false, false));
    journal_page_map pages;
    std::uint32_t ps = 0;
    ASSERT_EQ(parse_rollback_journal(pages, ps, f), 1);
    EXPECT_EQ(ps, 1024u);
    ASSERT_GT(pages.size(), 2u);
    for (const auto& p : pages) {
        ASSERT_GE(p.first, 1u);
        ASSERT_LE(p.first * 1024, before.size());
        ASSERT_LE(p.second + 1024, journal.size());
        // Each image is the page as it was before the update.
        EXPECT_TRUE(std::equal(journal.begin() + static_cast<long>(p.second),
                               journal.begin() + static_cast<long>(p.second) + 1024,
                               before.begin() + static_cast<long>((p.first - 1) * 1024)))
            << "page " << p.first;
    }
}

namespace {

constexpr std::uint32_t kNonce = 0x12345678;

// The checksum SQLite stores after a page image.
std::uint32_t checksum(std::uint32_t nonce, const std::uint8_t* page, std::uint32_t page_size) {
    std::uint32_t sum = nonce;
    for (std::int64_t i = static_cast<std::int64_t>(page_size) - 200; i > 0; i -= 200) sum += page[i];
    return sum;
}

// Appends one segment at the next multiple of `sector`: a header stating `count` records (the magic, or
// eight zero bytes), then a record per page number in `pages`, its image filled with the number's low byte.
void add_segment(std::vector<std::uint8_t>& b, std::uint32_t sector, std::uint32_t page_size,
                 std::uint32_t count, const std::vector<std::uint32_t>& pages, bool magic = true) {
    const std::size_t at = (b.size() + sector - 1) / sector * sector;
    b.resize(at + sector, 0);
    const std::uint8_t live[8] = {0xD9, 0xD5, 0x05, 0xF9, 0x20, 0xA1, 0x63, 0xD7};
    if (magic) std::copy(live, live + 8, b.begin() + static_cast<long>(at));
    put_be32(b, at + 8, count);
    put_be32(b, at + 12, kNonce);
    put_be32(b, at + 16, 10);  // initial size in pages
    put_be32(b, at + 20, sector);
    put_be32(b, at + 24, page_size);
    for (std::uint32_t page : pages) {
        const std::size_t r = b.size();
        b.resize(r + page_size + 8, static_cast<std::uint8_t>(page));
        put_be32(b, r, page);
        put_be32(b, r + 4 + page_size, checksum(kNonce, b.data() + r + 4, page_size));
    }
}

}  // namespace

TEST(ReadRollbackJournal, segments_are_read_each_at_its_sector) {
    struct journal_case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint32_t> pages;  // in file order
        std::string played;                // per record: P played back by a rollback, - not
    };
    std::vector<journal_case> cases;
    auto add = [&](const char* name, std::vector<std::uint8_t> bytes, std::vector<std::uint32_t> pages,
                   std::string played) {
        cases.push_back({name, std::move(bytes), std::move(pages), std::move(played)});
    };
    std::vector<std::uint8_t> b;
    add_segment(b, 512, 512, 2, {2, 3});
    add_segment(b, 512, 512, 1, {4});
    add_segment(b, 512, 512, 0, {5, 6});
    add("counted segments, then a last one not yet synced up to the end", b, {2, 3, 4, 5, 6}, "PPP--");
    b.clear();
    add_segment(b, 512, 512, 1, {2});
    add_segment(b, 512, 512, 1, {3});
    b[1536] = 0;  // a stale header SQLite disowned by zeroing its first byte
    add("a header without the magic ends the segments", b, {2}, "P");
    b.clear();
    add_segment(b, 512, 512, 1, {2});
    for (std::uint32_t page : {8u, 9u}) {
        const std::size_t r = b.size();
        b.resize(r + 520, static_cast<std::uint8_t>(page));
        put_be32(b, r, page);
    }
    add("records an older transaction left after the last segment", b, {2, 8, 9}, "P--");
    b.clear();
    add_segment(b, 512, 512, 1, {2});
    add_segment(b, 512, 512, 0, {3, 4}, false);
    add("a header written but not yet synced", b, {2, 3, 4}, "P--");
    b.clear();
    add_segment(b, 512, 1024, 0xFFFFFFFFu, {2, 3, 4});
    add("a count of -1 runs to the end", b, {2, 3, 4}, "PPP");
    b.clear();
    add_segment(b, 512, 512, 0x7FFFFFFFu, {2, 3});
    add("a count past the end of the file", b, {2, 3}, "PP");
    b.clear();
    add_segment(b, 4096, 1024, 3, {2, 3, 4});
    add_segment(b, 4096, 1024, 1, {5});
    add("sectors of 4096 bytes", b, {2, 3, 4, 5}, "PPPP");
    b.clear();
    add_segment(b, 512, 512, 0, {});
    add_segment(b, 512, 512, 1, {7});
    add("an empty segment before a synced header", b, {7}, "P");
    b.clear();
    add_segment(b, 512, 512, 3, {2, 3, 4});
    b[512 + 520 + 4 + 312] ^= 1;  // a byte the checksum adds
    add("a checksum that does not match ends the playback", b, {2, 3, 4}, "P--");
    b.clear();
    add_segment(b, 512, 512, 4, {2, 11, 0, 4});
    add("past the initial size skipped, page 0 ends the playback", b, {2, 11, 0, 4}, "P---");
    b.clear();
    add_segment(b, 512, 512, 0, {2, 3}, false);
    add("a first header not yet synced plays nothing", b, {2, 3}, "--");
    b.clear();
    add_segment(b, 512, 512, 2, {2, 3});
    put_be32(b, 20, 100);
    add("a sector size SQLite cannot have: records after 512 bytes, nothing played", b, {2, 3}, "--");

    temp_dir dir;
    const std::string p = dir.file("t.db-journal");
    for (const journal_case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(write_all(p, c.bytes));
        uni::fileio f;
        ASSERT_TRUE(f.open(p, false, false, false));
        rollback_journal j;
        EXPECT_EQ(read_rollback_journal(j, f), 1);
        std::vector<std::uint32_t> pages;
        std::string played;
        for (const journal_record& r : j.records) {
            pages.push_back(r.page);
            played += r.played ? 'P' : '-';
            // Each image is where its record put it, and whole inside the file.
            ASSERT_LE(r.image_offset + j.page_size + 4, c.bytes.size());
            EXPECT_EQ(get_be32(c.bytes, r.image_offset - 4), r.page);
            EXPECT_EQ(c.bytes[r.image_offset + j.page_size - 1], static_cast<std::uint8_t>(r.page));
        }
        EXPECT_EQ(pages, c.pages);
        EXPECT_EQ(played, c.played);
    }
}

TEST(ReadRollbackJournal, journal_of_many_segments_rolls_back_to_the_file_before_the_transaction) {
    temp_dir dir;
    const std::string live = dir.file("live.db");
    make_db(live, 1024,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000) "
            "INSERT INTO t SELECT x, printf('before %d %.80c', x, '.') FROM c;");
    const auto before = read_all(live);
    const std::string db_copy = dir.file("copy.db");
    sqlite3* db = open_db(live);
    ASSERT_NE(db, nullptr);
    // A cache of a few pages spills again and again, and each spill starts a segment.
    exec(db, "PRAGMA cache_size=10; BEGIN; UPDATE t SET v = printf('after %d %.120c', id, '*');");
    exec(db, "INSERT INTO t SELECT id + 3000, v FROM t WHERE id <= 500;");
    ASSERT_TRUE(copy_file(live, db_copy));
    ASSERT_TRUE(copy_file(live + "-journal", db_copy + "-journal"));
    exec(db, "ROLLBACK;");
    sqlite3_close(db);
    ASSERT_NE(read_all(db_copy), before);

    uni::fileio f;
    ASSERT_TRUE(f.open(db_copy + "-journal", false, false, false));
    rollback_journal j;
    ASSERT_EQ(read_rollback_journal(j, f), 1);
    EXPECT_GT(j.segments, 2u);
    EXPECT_EQ(j.initial_pages * 1024ull, before.size());
    const auto journal = read_all(db_copy + "-journal");
    std::set<std::uint32_t> seen;
    for (const journal_record& r : j.records) {
        ASSERT_GE(r.page, 1u);
        ASSERT_LE(r.page * 1024ull, before.size());
        EXPECT_TRUE(seen.insert(r.page).second) << "page " << r.page << " twice";
        // Every record of every segment is the page as it was before the transaction.
        EXPECT_TRUE(std::equal(journal.begin() + static_cast<long>(r.image_offset),
                               journal.begin() + static_cast<long>(r.image_offset) + 1024,
                               before.begin() + static_cast<long>((r.page - 1) * 1024)))
            << "page " << r.page << " segment " << r.segment;
    }
    const auto source = open_source(db_copy);
    EXPECT_TRUE(rolls_back(*source));
    std::vector<std::uint8_t> image;
    ASSERT_EQ(rolled_back_image(image, *source), 1);
    EXPECT_TRUE(image == before);
}

TEST(ReadRollbackJournal, only_a_live_journal_beside_a_rollback_mode_database_is_hot) {
    temp_dir dir;
    const std::string db = dir.file("h.db");
    make_db(db, 1024, "CREATE TABLE t(v); INSERT INTO t VALUES('x');");
    const auto db_bytes = read_all(db);
    std::vector<std::uint8_t> journal;
    add_segment(journal, 512, 1024, 1, {1});
    struct hot_case {
        const char* name;
        std::vector<std::uint8_t> db;
        std::vector<std::uint8_t> journal;
        bool hot;
    };
    std::vector<hot_case> cases = {{"live journal", db_bytes, journal, true},
                                   {"empty journal", db_bytes, {}, false}};
    auto zeroed = journal;
    std::fill(zeroed.begin(), zeroed.begin() + 8, 0);
    cases.push_back({"magic zeroed: the transaction committed", db_bytes, zeroed, false});
    auto wal = db_bytes;
    wal[18] = wal[19] = 2;
    cases.push_back({"database in write-ahead-log mode", wal, journal, false});
    cases.push_back({"empty database", {}, journal, false});
    for (const hot_case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(write_all(db, c.db));
        ASSERT_TRUE(write_all(db + "-journal", c.journal));
        const auto source = open_source(db);
        EXPECT_EQ(rolls_back(*source), c.hot);
        std::vector<std::uint8_t> image;
        EXPECT_EQ(rolled_back_image(image, *source), c.hot ? 1 : 0);
        uni::fileio mem;
        EXPECT_EQ(source->journal_rolls_back() && source->open_view(database_view::own, mem), c.hot);
        if (c.hot) {
            // Page 1 comes from the journal; the image is the size before the transaction.
            ASSERT_EQ(image.size(), 10u * 1024);
            EXPECT_EQ(image[0], 1);
            EXPECT_EQ(mem.size(), image.size());
        }
    }
    EXPECT_FALSE(rolls_back(*open_source(dir.file("absent.db"))));
}

TEST(ReadRollbackJournal, page_size_of_zero_stands_for_the_databases) {
    // Older SQLite wrote 0 for the page size in every header; its rollback takes the database's page size
    // (here 1024, not the usual 4096) and plays the journal as if it were there.
    temp_dir dir;
    const std::string live = dir.file("live.db");
    make_db(live, 1024,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 2000) "
            "INSERT INTO t SELECT x, printf('before %d %.80c', x, '.') FROM c;");
    const auto before = read_all(live);
    const std::string set = dir.file("set.db"), zeroed = dir.file("zeroed.db");
    sqlite3* db = open_db(live);
    ASSERT_NE(db, nullptr);
    exec(db, "PRAGMA cache_size=10; BEGIN; UPDATE t SET v = printf('after %d %.120c', id, '*');");
    exec(db, "INSERT INTO t SELECT id + 2000, v FROM t WHERE id <= 500;");
    for (const std::string& copy : {set, zeroed}) {
        ASSERT_TRUE(copy_file(live, copy));
        ASSERT_TRUE(copy_file(live + "-journal", copy + "-journal"));
    }
    exec(db, "ROLLBACK;");
    sqlite3_close(db);
    std::vector<std::uint8_t> journal = read_all(zeroed + "-journal");
    const std::uint8_t magic[8] = {0xD9, 0xD5, 0x05, 0xF9, 0x20, 0xA1, 0x63, 0xD7};
    int headers = 0;
    for (std::size_t at = 0; at + 512 <= journal.size(); at += 512) {
        if (!std::equal(magic, magic + 8, journal.begin() + static_cast<long>(at))) continue;
        ASSERT_EQ(get_be32(journal, at + 24), 1024u);
        put_be32(journal, at + 24, 0);
        ++headers;
    }
    ASSERT_GT(headers, 2);
    ASSERT_TRUE(write_all(zeroed + "-journal", journal));

    auto read = [](const std::string& path, std::uint32_t db_page_size, rollback_journal& j) {
        uni::fileio f;
        return f.open(path + "-journal", false, false, false) ? read_rollback_journal(j, f, db_page_size)
                                                              : -1;
    };
    rollback_journal expected;
    ASSERT_EQ(read(set, 0, expected), 1);
    ASSERT_EQ(expected.page_size, 1024u);
    struct zero_case {
        const char* name;
        std::string db;
        std::uint32_t db_page_size;  // the page size the caller knows for the database
        bool read;                   // read as the journal whose field is set; else refused
    };
    const std::vector<zero_case> cases = {
        {"field set", set, 0, true},
        {"field set, the database's page size known", set, 1024, true},
        {"field zeroed, the database's page size known", zeroed, 1024, true},
        {"field zeroed, the database's page size unknown", zeroed, 0, false},
    };
    for (const zero_case& c : cases) {
        SCOPED_TRACE(c.name);
        rollback_journal j;
        EXPECT_EQ(read(c.db, c.db_page_size, j), c.read ? 1 : 0);
        EXPECT_EQ(j.page_size, c.read ? 1024u : 0u);
        EXPECT_EQ(j.segments, c.read ? expected.segments : 0u);
        EXPECT_EQ(j.records.size(), c.read ? expected.records.size() : 0u);
        for (std::size_t k = 0; k < j.records.size() && k < expected.records.size(); ++k) {
            EXPECT_EQ(j.records[k].page, expected.records[k].page) << k;
            EXPECT_EQ(j.records[k].image_offset, expected.records[k].image_offset) << k;
            EXPECT_EQ(j.records[k].played, expected.records[k].played) << k;
        }
        journal_page_map pages;
        std::uint32_t ps = c.db_page_size;
        uni::fileio f;
        ASSERT_TRUE(f.open(c.db + "-journal", false, false, false));
        EXPECT_EQ(parse_rollback_journal(pages, ps, f), c.read ? 1 : 0);
        EXPECT_EQ(pages.size(), j.records.size());
    }
    // Beside the database, whose header gives its page size, the zeroed journal rolls back as the other.
    std::vector<std::uint8_t> image;
    const auto zeroed_source = open_source(zeroed);
    ASSERT_EQ(rolled_back_image(image, *zeroed_source), 1);
    EXPECT_TRUE(image == before);
    region_map uncommitted, expected_uncommitted;
    ASSERT_EQ(map_uncommitted_pages(expected_uncommitted, *open_source(set), 1024), 1);
    EXPECT_EQ(map_uncommitted_pages(uncommitted, *zeroed_source, 1024), 1);
    EXPECT_EQ(uncommitted, expected_uncommitted);
}

namespace {

// `journal` as the writer of a transaction over several databases ends it: the lock-byte page's number,
// `name`, then the tail: `length` (the name's, unless given), the sum of the name's bytes taken as signed
// chars plus `sum_off`, and the magic (its last byte flipped unless `magic`).
std::vector<std::uint8_t> naming(std::vector<std::uint8_t> journal, const std::string& name,
                                 std::int64_t length = -1, std::uint32_t sum_off = 0, bool magic = true) {
    std::uint32_t sum = sum_off;
    for (const char c : name) sum += static_cast<std::uint32_t>(static_cast<signed char>(c));
    const std::size_t at = journal.size();
    journal.resize(at + 4);
    put_be32(journal, at, 0x40000000u / 1024 + 1);
    journal.insert(journal.end(), name.begin(), name.end());
    const std::size_t tail = journal.size();
    journal.resize(tail + 8);
    put_be32(journal, tail,
             length < 0 ? static_cast<std::uint32_t>(name.size()) : static_cast<std::uint32_t>(length));
    put_be32(journal, tail + 4, sum);
    const std::uint8_t live[8] = {0xD9, 0xD5, 0x05, 0xF9,
                                  0x20, 0xA1, 0x63, static_cast<std::uint8_t>(magic ? 0xD7 : 0xD6)};
    journal.insert(journal.end(), live, live + 8);
    return journal;
}

}  // namespace

TEST(ReadSuperJournalName, the_name_is_read_from_the_end_of_the_journal_as_sqlite_reads_it) {
    const std::vector<std::uint8_t> base = make_journal(1024, 1);
    const std::string longest(kLibraryMaxPathname, 'p');
    struct name_case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::string name;  // empty: none
    };
    // The name alone before the tail: it starts the file.
    const auto alone = [](std::int64_t length) {
        std::vector<std::uint8_t> b = naming({}, "/x/mj", length);
        b.erase(b.begin(), b.begin() + 4);
        return b;
    };
    const std::vector<std::uint8_t> whole = alone(5);
    const std::vector<name_case> cases = {
        {"a name", naming(base, "/evidence/db-mj1A2B"), "/evidence/db-mj1A2B"},
        {"bytes from 0x80 add as signed chars", naming(base, "/d/\xC3\xA9\xFF"), "/d/\xC3\xA9\xFF"},
        {"a zero byte ends the name", naming(base, std::string("mj\0rest", 7)), "mj"},
        {"the name as long as the longest path", naming(base, longest), longest},
        {"the name fills the file before the tail", whole, "/x/mj"},
        {"a checksum that does not match", naming(base, "/evidence/mj", -1, 1), ""},
        {"no magic", naming(base, "/evidence/mj", -1, 0, false), ""},
        {"a length of 0", naming(base, "/evidence/mj", 0), ""},
        {"a length past the start of the file", alone(6), ""},
        {"a name longer than the longest path", naming(base, longest + "p"), ""},
        {"a name that begins with a zero byte", naming(base, std::string("\0mj", 3)), ""},
        {"a journal without a name", base, ""},
        {"a file shorter than the tail", std::vector<std::uint8_t>(whole.begin() + 6, whole.end()), ""},
    };
    temp_dir dir;
    const std::string p = dir.file("t.db-journal");
    for (const name_case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(write_all(p, c.bytes));
        uni::fileio f;
        ASSERT_TRUE(f.open(p, false, false, false));
        std::string name = "stale";
        EXPECT_EQ(read_super_journal_name(name, f), c.name.empty() ? 0 : 1);
        EXPECT_EQ(name, c.name);
    }
}

TEST(JudgeJournal, a_super_journal_named_decides_as_in_sqlite) {
    temp_dir dir;
    // The database in a folder of its own: a relative name is not taken beside it.
    ASSERT_EQ(::mkdir(dir.file("evidence").c_str(), 0755), 0);
    const std::string db = dir.file("evidence/h.db");
    make_db(db, 1024, "CREATE TABLE t(v); INSERT INTO t VALUES('x');");
    std::vector<std::uint8_t> journal;
    add_segment(journal, 512, 1024, 1, {1});
    const std::string there = dir.file("there"), empty = dir.file("empty"), folder = dir.file("folder");
    ASSERT_TRUE(write_all(there, {'x'}));
    ASSERT_TRUE(write_all(empty, {}));
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    struct verdict_case {
        const char* what;
        std::string named;  // empty: no name
        journal_hotness hotness;
        std::string why;
    };
    const verdict_case cases[] = {
        {"no name", "", journal_hotness::hot, ""},
        {"a super-journal that is not there: committed", dir.file("gone"), journal_hotness::not_hot, ""},
        {"an empty one counts as not there", empty, journal_hotness::not_hot, ""},
        {"one there that reads", there, journal_hotness::hot, ""},
        {"a relative name, there from the current folder", "there", journal_hotness::hot, ""},
        {"one there that cannot be read", folder, journal_hotness::unknown, "Is a directory"},
    };
    struct back_to_cwd {
        char cwd[4096] = {};
        ~back_to_cwd() {
            if (::chdir(cwd) != 0) ADD_FAILURE() << "cannot go back to " << cwd;
        }
    } back;
    ASSERT_NE(::getcwd(back.cwd, sizeof back.cwd), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    for (const verdict_case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(write_all(db + "-journal", c.named.empty() ? journal : naming(journal, c.named)));
        const auto source = open_source(db);
        const journal_verdict& v = source->journal();
        EXPECT_EQ(v.hotness, c.hotness);
        EXPECT_EQ(v.super_journal, c.named);
        EXPECT_EQ(v.why, c.why);
        // Every reader takes the verdict: the journal is rolled back unless it is not hot.
        const bool rolled = c.hotness != journal_hotness::not_hot;
        EXPECT_EQ(rolls_back(*source), rolled);
        uni::fileio state;
        EXPECT_EQ(source->journal_rolls_back() && source->open_view(database_view::own, state), rolled);
        region_map uncommitted;
        EXPECT_EQ(map_uncommitted_pages(uncommitted, *source, 1024), rolled ? 1 : 0);
    }
}
