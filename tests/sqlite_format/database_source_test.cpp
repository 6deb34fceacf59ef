// A database opened once into its source: the facts every reader takes from it (its header, what the log
// beside it commits, what a hot journal rolls back, the pages each view has and holds, the tree verdict), and
// the committed state beside a log or a hot journal read in place: the same bytes the SQLite library reads as
// that state, without a copy of the database in memory.
#include "sqlite_format/database_source.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "io/evidence.h"
#include "io/fileio.h"
#include "reader_fixtures.h"
#include "sqlite_format/journal.h"
#include "sqlite_format/tree_check.h"
#include "sqlite_format/wal.h"
#include "wal_fixtures.h"

using namespace reader_fixtures;

namespace {

constexpr std::uint64_t kPage = 1024;

// A table of a few hundred rows of 1 KiB pages, with the writer's connection left open on `live`.
sqlite3* start_writer(const std::string& live, const char* mode) {
    sqlite3* db = open_db(live);
    exec(db, std::string("PRAGMA secure_delete=OFF; PRAGMA page_size=1024; PRAGMA journal_mode=") + mode +
                 "; PRAGMA wal_autocheckpoint=0;");
    exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);");
    exec(db,
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600) "
         "INSERT INTO t(v) SELECT printf('row %d %.150c', i, 'x') FROM n;");
    return db;
}

// The state the library reads from `db` and its `suffix` companion: a copy it rolls back or checkpoints.
std::vector<std::uint8_t> library_state(const temp_dir& dir, const std::string& db,
                                        const std::string& suffix) {
    const std::string copy = dir.file("library.db");
    copy_file(db, copy);
    copy_file(db + suffix, copy + suffix);
    sqlite3* c = open_db(copy);
    exec(c, "SELECT count(*) FROM t; PRAGMA wal_checkpoint(TRUNCATE);");
    sqlite3_close(c);
    return read_all(copy);
}

struct state_case {
    const char* name;
    bool log;            // a log beside the database, else a hot journal
    std::uint64_t flip;  // with a journal: a byte of a record's page image flipped (0: none)
};

}  // namespace

TEST(StateInPlace, reads_the_bytes_of_the_state_the_library_reads) {
    const state_case cases[] = {
        {"log of many commits", true, 0},
        {"hot journal of spilled pages", false, 0},
        // The rollback stops at the record whose checksum no longer matches.
        {"hot journal with a damaged record", false, 512 + (kPage + 8) * 20 + 4 + kPage - 200},
    };
    for (const state_case& c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        const std::string live = dir.file("live.db");
        const std::string db = dir.file("copy.db");
        const std::string suffix = c.log ? "-wal" : "-journal";
        sqlite3* w = start_writer(live, c.log ? "WAL" : "DELETE");
        exec(w, c.log ? "DELETE FROM t WHERE id % 3 = 0; UPDATE t SET v = 'changed' WHERE id % 7 = 0;"
                      : "PRAGMA cache_size=5; BEGIN; DELETE FROM t WHERE id % 3 = 0; UPDATE t SET v = 'c';");
        ASSERT_TRUE(copy_file(live, db));
        ASSERT_TRUE(copy_file(live + suffix, db + suffix));
        if (!c.log) exec(w, "ROLLBACK;");
        sqlite3_close(w);
        if (c.flip != 0) {
            std::vector<std::uint8_t> journal = read_all(db + suffix);
            ASSERT_GT(journal.size(), c.flip);
            journal[c.flip] ^= 0xFF;
            ASSERT_TRUE(write_all(db + suffix, journal));
        }
        const std::vector<std::uint8_t> library = library_state(dir, db, suffix);

        uni::fileio state;
        ASSERT_EQ(
            c.log ? open_wal_companion(state, db) : open_source(db)->open_view(database_view::own, state), 1);
        // Read where the bytes lie: no copy of the database in memory.
        EXPECT_FALSE(state.in_memory);
        EXPECT_EQ(state.buffer.capacity(), 0u);
        std::vector<std::uint8_t> bytes;
        ASSERT_EQ(state.read_range(bytes, state.size(), 0), 1);
        ASSERT_EQ(bytes.size(), state.size());
        {
            // The database opened once gives the same state, read through its descriptors wherever the paths
            // went.
            database_source files;
            ASSERT_TRUE(files.open(db));
            ASSERT_EQ(0, std::rename(db.c_str(), (db + ".away").c_str()));
            ASSERT_EQ(0, std::rename((db + suffix).c_str(), (db + ".away" + suffix).c_str()));
            uni::fileio lent;
            ASSERT_EQ(files.open_view(c.log ? database_view::log_image : database_view::own, lent), 1);
            std::vector<std::uint8_t> lent_bytes;
            ASSERT_EQ(lent.read_range(lent_bytes, lent.size(), 0), 1);
            EXPECT_TRUE(lent_bytes == bytes);
            ASSERT_EQ(0, std::rename((db + ".away").c_str(), db.c_str()));
            ASSERT_EQ(0, std::rename((db + ".away" + suffix).c_str(), (db + suffix).c_str()));
        }
        if (!c.log) {
            // The rolled-back file, byte for byte.
            EXPECT_TRUE(bytes == library);
            continue;
        }
        // The log's image holds page 1 and the pages of its valid frames; every other page is zero.
        region_map overwritten, superseded, slack;
        wal_frame_map valid;
        ASSERT_EQ(parse_wal_path(overwritten, valid, superseded, slack, db + suffix), 1);
        ASSERT_LE(library.size(), bytes.size());
        for (std::uint64_t p = 1; p * kPage <= bytes.size(); ++p) {
            const auto at = bytes.begin() + static_cast<long>((p - 1) * kPage);
            const bool held = p == 1 || valid.count(p) != 0;
            if (held)
                EXPECT_TRUE(std::equal(at, at + kPage, library.begin() + static_cast<long>((p - 1) * kPage)))
                    << "page " << p;
            else
                EXPECT_TRUE(std::all_of(at, at + kPage, [](std::uint8_t b) { return b == 0; }))
                    << "page " << p;
        }
    }
}

TEST(StateInPlace, a_huge_page_number_sizes_the_image_but_costs_no_memory) {
    temp_dir dir;
    const std::string live = dir.file("live.db");
    const std::string db = dir.file("copy.db");
    sqlite3* w = start_writer(live, "WAL");
    exec(w, "UPDATE t SET v = 'one' WHERE id = 1;");
    ASSERT_TRUE(copy_file(live, db));
    std::vector<std::uint8_t> log = read_all(live + "-wal");
    sqlite3_close(w);
    // The first frame's page number damaged into a far page (its checksums written afresh, or the log would
    // end before it): the image reaches it, as the whole image did.
    const std::uint32_t far = 60000;
    const std::uint8_t number[4] = {0, 0, static_cast<std::uint8_t>(far >> 8),
                                    static_cast<std::uint8_t>(far)};
    std::copy(number, number + 4, log.begin() + 32);
    reseal_wal(log);
    ASSERT_TRUE(write_all(db + "-wal", log));
    uni::fileio state;
    ASSERT_EQ(open_wal_companion(state, db), 1);
    EXPECT_EQ(state.size(), far * kPage);
    EXPECT_EQ(state.buffer.capacity(), 0u);
    std::vector<std::uint8_t> page;
    ASSERT_EQ(state.read_range(page, kPage, (far - 1) * kPage), 1);
    EXPECT_TRUE(std::equal(page.begin(), page.end(), log.begin() + 32 + 24));
}

// The facts of a plain database, one beside a log and one beside a hot journal: which views are another
// state, the header each holds, the pages each has and holds; and the verdict taken, with who owns a page.
TEST(DatabaseSource, EachViewHasTheFactsOfItsState) {
    temp_dir dir;
    struct facts_case {
        const char* name;
        const char* mode;  // journal mode of the writer, whose files are copied while it is open
        bool log, journal;
        bool empty_log;  // an empty "-wal" beside it, which the library takes for none
    };
    for (const facts_case& c :
         {facts_case{"plain", "DELETE", false, false, false}, facts_case{"log", "WAL", true, false, false},
          facts_case{"journal", "DELETE", false, true, false},
          facts_case{"empty_log", "DELETE", false, true, true}}) {
        SCOPED_TRACE(c.name);
        const std::string live = dir.file(std::string(c.name) + "-live.db"),
                          db = dir.file(std::string(c.name) + ".db");
        sqlite3* w = start_writer(live, c.mode);
        if (c.journal) {
            exec(w, "PRAGMA cache_size=2; BEGIN; DELETE FROM t WHERE id % 2 = 0;");
            ASSERT_EQ(sqlite3_db_cacheflush(w), SQLITE_OK);
        }
        if (c.log) exec(w, "DELETE FROM t WHERE id % 2 = 0;");
        ASSERT_TRUE(copy_file(live, db));
        for (const char* suffix : {"-wal", "-journal"}) {
            if (access((live + suffix).c_str(), F_OK) == 0) {
                ASSERT_TRUE(copy_file(live + suffix, db + suffix));
            }
        }
        if (c.empty_log) {
            ASSERT_TRUE(write_all(db + "-wal", {}));
        }
        const std::uint64_t pages_before = read_all(db).size() / kPage;
        sqlite3_close(w);
        database_source source;
        ASSERT_EQ(source.open(db), 1);
        EXPECT_EQ(source.header().page_size, kPage);
        EXPECT_EQ(source.header().usable, kPage);
        EXPECT_EQ(source.log_commits(), c.log);
        EXPECT_EQ(source.journal().hotness == journal_hotness::hot, c.journal);
        EXPECT_FALSE(source.has_state(database_view::file));
        EXPECT_EQ(source.has_state(database_view::own), c.journal);
        EXPECT_EQ(source.has_state(database_view::committed), c.log || c.journal);
        EXPECT_EQ(source.pages(database_view::file), pages_before);
        // Beside a log the committed state's page 1 is the log's.
        const database_header& committed = source.header_of(database_view::committed);
        if (c.log || !c.journal) {
            EXPECT_EQ(committed.bytes == source.header().bytes, !c.log);
        }
        EXPECT_EQ(source.pages(database_view::committed),
                  c.log ? source.log_pages() : committed.pages_for(source.file_size()));
        for (const database_view view : {database_view::file, database_view::own, database_view::committed}) {
            EXPECT_LE(source.present_pages(view), source.pages(view));
        }
        uni::fileio state;
        ASSERT_EQ(source.open_view(database_view::committed, state), 1);
        EXPECT_EQ(state.size() / kPage, source.pages(database_view::committed));
        // The check's verdict on the view: the table's root is the table's.
        const std::uint32_t root = static_cast<std::uint32_t>(
            std::stoul(query(live, "SELECT rootpage FROM sqlite_master;").at(0).at(0)));
        database_verdict verdict;
        ASSERT_EQ(
            check_database_trees(verdict, source, database_view::committed, {listed_tree{root, "t", true}}),
            1);
        EXPECT_EQ(verdict.view, database_view::committed);
        EXPECT_EQ(verdict.owner_of(root).what, page_owner::kind::tree);
        EXPECT_EQ(verdict.owner_of(root).tree, 0);
        EXPECT_EQ(verdict.owner_of(1).tree, -1);
    }
}
