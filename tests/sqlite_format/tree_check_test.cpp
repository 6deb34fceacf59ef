#include "sqlite_format/tree_check.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "io/fileio.h"
#include "reader_fixtures.h"
#include "tree_fixtures.h"

namespace {

namespace rf = reader_fixtures;

using tree_fixtures::check;
using tree_fixtures::make_table;
using tree_fixtures::root_of_t;
using tree_fixtures::texts;

// The leaves' cells are checked on threads, their verdicts taken in the walk's order: the same verdict on
// any number of threads, for every kind of damage at once.
TEST(TreeCheck, TheVerdictIsTheSameOnAnyNumberOfThreads) {
    rf::temp_dir dir;
    const std::string path = make_table(dir, 1200);
    std::vector<std::uint8_t> b = rf::read_all(path);
    const std::uint32_t root = root_of_t(path);
    ASSERT_TRUE(check(path, root, 0).trees.at(0).spans.empty()) << "a sound table";
    // Below the root's first child: a leaf's rowids, a leaf's cell count, a child that is page 1.
    const std::size_t r = (root - 1) * 1024u;
    const std::uint32_t inner = rf::get_be32(b, r + rf::get_be16(b, r + 12));
    ASSERT_EQ(b.at((inner - 1) * 1024u), 5) << "three levels";
    const std::size_t i = (inner - 1) * 1024u;
    for (std::size_t cell = 0; cell < 3; ++cell) {
        const std::uint32_t leaf = rf::get_be32(b, i + rf::get_be16(b, i + 12 + 2 * cell));
        const std::size_t l = (leaf - 1) * 1024u;
        if (cell == 0) b.at(l + rf::get_be16(b, l + 8) + 2) ^= 0x40;  // the first cell's rowid
        if (cell == 1) b.at(l + 4) -= 1;                              // one cell hidden
        if (cell == 2) rf::put_be32(b, i + rf::get_be16(b, i + 12 + 2 * cell), 1);
    }
    // The last page of every overflow chain near the end of the file links on, to itself.
    for (std::size_t p = b.size() / 1024 - 40; p < b.size() / 1024; ++p) {
        const std::size_t at = p * 1024u;
        if (b.at(at) == 0 && rf::get_be32(b, at) == 0 && b.at(at + 4) == 0) rf::put_be32(b, at, p + 1);
    }
    ASSERT_TRUE(rf::write_all(path, b));
    const database_verdict serial = check(path, root, 0);
    ASSERT_EQ(serial.trees.size(), 1u);
    const tree_verdict& v = serial.trees[0];
    EXPECT_GE(v.spans.size(), 4u);
    EXPECT_FALSE(v.refused_cells.empty());
    EXPECT_EQ(v.refused_links.size(), 1u);
    EXPECT_FALSE(v.sound_payload.empty());
    for (const unsigned threads : {2u, 3u, 7u}) {
        const database_verdict threaded = check(path, root, threads);
        ASSERT_EQ(threaded.trees.size(), 1u);
        EXPECT_EQ(texts(threaded.trees[0]), texts(v)) << threads;
        EXPECT_EQ(threaded.trees[0].refused_cells, v.refused_cells) << threads;
        EXPECT_EQ(threaded.trees[0].refused_links, v.refused_links) << threads;
        EXPECT_EQ(threaded.trees[0].sound_payload, v.sound_payload) << threads;
    }
}

// Beside a log the leaves are checked as the log's frames hold them, not as the file's pages they replace:
// rows rewritten after a checkpoint put over 256 leaves, enough for threads, in the log alone.
TEST(TreeCheck, BesideALogTheLeavesAreTheLogsOnAnyNumberOfThreads) {
    rf::temp_dir dir;
    const std::string live = dir.file("live.db"), copy = dir.file("t.db");
    sqlite3* db = rf::open_db(live);
    ASSERT_NE(db, nullptr);
    rf::exec(
        db,
        "PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; CREATE TABLE t(a "
        "INTEGER PRIMARY KEY, b); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
        "i < 4000) INSERT INTO t SELECT i, printf('%.40c', 'x') FROM n; PRAGMA wal_checkpoint(TRUNCATE); "
        "UPDATE t SET b = printf('%.*c', 60 + a % 50, 'y');");
    // Copied while the connection holds the log: its close would checkpoint it.
    ASSERT_TRUE(rf::copy_file(live, copy) && rf::copy_file(live + "-wal", copy + "-wal"));
    sqlite3_close(db);
    ASSERT_GT(rf::read_all(copy + "-wal").size(), 300u * (1024 + 24));
    const std::uint32_t root = root_of_t(live);
    for (const unsigned threads : {0u, 2u, 7u}) {
        const database_verdict verdict = check(copy, root, threads, true);
        ASSERT_EQ(verdict.trees.size(), 1u) << threads;
        const std::vector<std::string> said = texts(verdict.trees[0]);
        EXPECT_TRUE(said.empty()) << threads << " threads: " << said.size()
                                  << " spans, the first: " << said[0];
        EXPECT_TRUE(verdict.trees[0].refused_cells.empty()) << threads;
        EXPECT_EQ(verdict.pages, rf::read_all(live).size() / 1024) << threads;
    }
}

// A page two links name is the first's in the order PRAGMA quick_check walks (the right-most child first):
// the root's first link is refused, not its right child; a file cut short says which pages it lacks.
TEST(TreeCheck, ThePageOfTwoLinksIsTheRightMostOnesAndAShortFileNamesItsPages) {
    rf::temp_dir dir;
    const std::string path = make_table(dir, 60);
    std::vector<std::uint8_t> b = rf::read_all(path);
    const std::uint32_t root = root_of_t(path);
    const std::size_t r = (root - 1) * 1024u;
    ASSERT_EQ(b.at(r), 5);
    const std::size_t first = r + rf::get_be16(b, r + 12);
    rf::put_be32(b, first, rf::get_be32(b, r + 8));
    const std::size_t pages = b.size() / 1024;
    b.resize(b.size() - 100);
    ASSERT_TRUE(rf::write_all(path, b));
    const database_verdict verdict = check(path, root, 0);
    ASSERT_EQ(verdict.trees.size(), 1u);
    const std::set<std::uint64_t> refused = {first};
    EXPECT_EQ(verdict.trees[0].refused_links, refused);
    EXPECT_EQ(verdict.cut_short,
              "page " + std::to_string(pages) + " is partial: " + cut_short_text(b.size(), pages, 1024));
}

// Two tables whose records look alike, both read: where a link of table a names a leaf of table b, only the
// leaf's depth and every one of its rowids tell whose it is; where nothing tells, the first in the walks'
// order keeps it and the other link's damage names both links.
TEST(TreeCheck, APageTwoTablesOfOneShapeClaimIsJudgedByItsDepthAndEveryRowid) {
    rf::temp_dir dir;
    const std::string path = dir.file("ab.db");
    rf::make_db(
        path, 512,
        "CREATE TABLE a(id INTEGER PRIMARY KEY, v TEXT); CREATE TABLE b(id INTEGER PRIMARY KEY, v TEXT);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
        "INSERT INTO b SELECT i, printf('%.30c', 'v') FROM n;"
        "INSERT INTO a SELECT 10 * id + 3, v FROM b WHERE id <= 1500;");
    const std::vector<std::uint8_t> sound = rf::read_all(path);
    const auto root = [&](const char* name) {
        return static_cast<std::uint32_t>(std::stoul(
            rf::query(path, std::string("SELECT rootpage FROM sqlite_master WHERE name = '") + name + "';")
                .at(0)
                .at(0)));
    };
    // A page's links (file offsets, the right child's last), the pages they name and the keys of its cells.
    struct links {
        std::vector<std::size_t> at;
        std::vector<std::uint32_t> child;
        std::vector<std::uint64_t> key;
    };
    const auto links_of = [&](std::uint32_t page) {
        links out;
        const std::size_t p = (page - 1) * 512u;
        EXPECT_EQ(sound.at(p), 5) << page;
        for (std::uint32_t i = 0; i < rf::get_be16(sound, p + 3); ++i) {
            const std::size_t cell = p + rf::get_be16(sound, p + 12 + 2 * i);
            out.at.push_back(cell);
            out.child.push_back(rf::get_be32(sound, cell));
            std::uint64_t key = 0;
            std::size_t k = cell + 4;
            while (sound.at(k) & 0x80) key = key << 7 | (sound.at(k++) & 0x7f);
            key = key << 7 | sound.at(k);
            out.key.push_back(key);
        }
        out.at.push_back(p + 8);
        out.child.push_back(rf::get_be32(sound, p + 8));
        return out;
    };
    const links a = links_of(root("a")), a0 = links_of(a.child[0]), b = links_of(root("b"));
    // b's leaves with their first and last rowids: each of b's rowids is its own.
    std::vector<std::uint32_t> b_leaves;
    for (const std::uint32_t upper : b.child)
        for (const std::uint32_t leaf : links_of(upper).child) b_leaves.push_back(leaf);
    std::uint64_t first_row = 1;
    std::uint32_t fits = 0, straddles = 0;
    for (const std::uint32_t leaf : b_leaves) {
        const std::size_t p = (leaf - 1) * 512u;
        ASSERT_EQ(sound.at(p), 13);
        const std::uint64_t last_row = first_row + rf::get_be16(sound, p + 3) - 1;
        if (fits == 0 && last_row <= a0.key[0]) fits = leaf;
        if (straddles == 0 && first_row > a0.key[0] && first_row <= a0.key[1] && last_row > a0.key[1])
            straddles = leaf;
        first_row = last_row + 1;
    }
    ASSERT_NE(fits, 0u);
    ASSERT_NE(straddles, 0u);
    ASSERT_GE(a.key[0], 3000u) << "every rowid of b fits a's first link";
    const std::string tied = "or of this table: the link of page " + std::to_string(a.child[0]) +
                             " at file offset " + std::to_string(a0.at[0]);
    struct link_case {
        const char* name;
        std::size_t at;  // a link of a, set to `page`
        std::uint32_t page;
        int keeper;        // the table that keeps the page
        std::string told;  // in the other table's damage
    };
    const link_case cases[] = {
        {"a leaf whose first rowid alone fits a's link", a0.at[1], straddles, 1, "is a page of b"},
        {"a leaf one level above a's leaves", a.at[0], b_leaves.back(), 1, "is a page of b"},
        {"a leaf whose rowids all fit a's link at its depth", a0.at[0], fits, 0, tied},
    };
    for (const link_case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bytes = sound;
        rf::put_be32(bytes, c.at, c.page);
        const std::string damaged = dir.file("damaged.db");
        ASSERT_TRUE(rf::write_all(damaged, bytes));
        database_source source;
        ASSERT_EQ(source.open(damaged), 1);
        database_verdict verdict;
        ASSERT_EQ(check_database_trees(
                      verdict, source, database_view::file,
                      {listed_tree{root("a"), "a", true, 2}, listed_tree{root("b"), "b", true, 2}}),
                  1);
        EXPECT_EQ(verdict.owner_of(c.page).tree, c.keeper);
        const tree_verdict& loser = verdict.trees[static_cast<std::size_t>(1 - c.keeper)];
        ASSERT_EQ(loser.spans.size(), 1u);
        EXPECT_NE(loser.spans[0].why.find(c.told), std::string::npos) << loser.spans[0].why;
        EXPECT_FALSE(verdict.trees[static_cast<std::size_t>(c.keeper)].damaged());
    }
}

// A page that the free list and a tree no form reads both name goes to the one whose kind it is, with the
// same words, whichever of the two is listed first: a trunk an index link names is the free list's, an index
// leaf the header names as its first trunk the index's; either way the other's link is its damage, in a note.
TEST(TreeCheck, APageTheFreeListAndAnUnreadIndexNameIsTheOneWhoseKindItIs) {
    rf::temp_dir dir;
    const std::string path = dir.file("free.db");
    rf::make_db(path, 512,
                "CREATE TABLE t(a INTEGER PRIMARY KEY, b TEXT); CREATE INDEX tb ON t(b); CREATE TABLE s(x);"
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                "INSERT INTO t SELECT i, printf('%.30c', 'b') || i FROM n;"
                "INSERT INTO s SELECT zeroblob(2000) FROM t LIMIT 10; DROP TABLE s;");
    const std::vector<std::uint8_t> sound = rf::read_all(path);
    const auto root = [&](const char* name) {
        return static_cast<std::uint32_t>(std::stoul(
            rf::query(path, std::string("SELECT rootpage FROM sqlite_master WHERE name = '") + name + "';")
                .at(0)
                .at(0)));
    };
    const std::uint32_t index = root("tb"), trunk = rf::get_be32(sound, 32);
    const std::size_t index_at = (index - 1) * 512u;
    ASSERT_EQ(sound.at(index_at), 2) << "the index has an interior root";
    ASSERT_NE(trunk, 0u);
    const std::size_t first_link = index_at + rf::get_be16(sound, index_at + 12);
    const std::uint32_t index_leaf = rf::get_be32(sound, first_link);
    struct free_case {
        const char* name;
        std::size_t at;  // set to `page`
        std::uint32_t page;
        page_owner::kind owner;
        std::string said;
    };
    const free_case cases[] = {
        {"an index link naming the first trunk", first_link, trunk, page_owner::kind::free_list,
         "tb: page " + std::to_string(index) + " (interior page, file offset " + std::to_string(index_at) +
             "): child page number " + std::to_string(trunk) + ", a page of the free list"},
        {"the header naming an index leaf as its first trunk", 32, index_leaf, page_owner::kind::tree,
         "the free list: the database header names trunk page " + std::to_string(index_leaf) +
             ", a page of tb"},
    };
    for (const free_case& c : cases) {
        std::vector<std::uint8_t> bytes = sound;
        rf::put_be32(bytes, c.at, c.page);
        const std::string damaged = dir.file("damaged.db");
        ASSERT_TRUE(rf::write_all(damaged, bytes));
        database_source source;
        ASSERT_EQ(source.open(damaged), 1);
        const listed_tree table{root("t"), "t", true, 2}, unread{index, "tb", false, 0};
        for (const std::vector<listed_tree>& trees :
             {std::vector<listed_tree>{table, unread}, std::vector<listed_tree>{unread, table}}) {
            SCOPED_TRACE(std::string(c.name) +
                         (trees[0].rows ? ", the table listed first" : ", the index first"));
            database_verdict verdict;
            ASSERT_EQ(check_database_trees(verdict, source, database_view::file, trees), 1);
            EXPECT_EQ(verdict.owner_of(c.page).what, c.owner);
            EXPECT_EQ(verdict.foreign_links, std::vector<std::string>{c.said});
        }
    }
}

}  // namespace
