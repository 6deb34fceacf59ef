#include "sqlite_format/tree_check.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "io/fileio.h"
#include "reader_fixtures.h"

namespace {

namespace rf = reader_fixtures;

// Table t of `rows` rows on 1 KiB pages, every tenth with a payload of two overflow pages: over 300 leaves.
std::string make_table(const rf::temp_dir& dir, int rows) {
    const std::string path = dir.file("t.db");
    rf::make_db(
        path, 1024,
        "CREATE TABLE t(a INTEGER PRIMARY KEY, b); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
        "FROM n WHERE i < " +
            std::to_string(rows) +
            ") INSERT INTO t SELECT i, CASE WHEN i % 10 = 3 THEN zeroblob(2500) ELSE printf('%.280c', 'r') "
            "END FROM n;");
    return path;
}

std::uint32_t root_of_t(const std::string& path) {
    return static_cast<std::uint32_t>(
        std::stoul(rf::query(path, "SELECT rootpage FROM sqlite_master;").at(0).at(0)));
}

// The verdict on table t (its root page `root`) of the file at `path`, checked on `threads` threads; with
// `log`, in the committed state its log lays over it.
database_verdict check(const std::string& path, std::uint32_t root, unsigned threads, bool log = false) {
    committed_state state;
    database_verdict verdict;
    if (log ? !open_committed_state(state, path) : !state.file.open(path, false, false, false))
        return verdict;
    (void)check_database_trees(verdict, state.bytes(), {listed_tree{root, "t", true}}, threads);
    return verdict;
}

std::vector<std::string> texts(const tree_verdict& v) {
    std::vector<std::string> out;
    for (const skipped_span& span : v.spans) out.push_back(skipped_span_text(span));
    return out;
}

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

// A cell the library would read past the end of its page (a pointer past it, a cell or child page number
// that runs past it, a pointer array that runs past it, a pointer past `fit` that points past it) is told as
// the readers tell it, a cell of the page refused; one it reads inside the page as it stands (a pointer into
// the header) is left to the readers.
TEST(TreeCheck, ACellTheLibraryWouldReadPastItsPageIsTold) {
    rf::temp_dir dir;
    const std::string path = make_table(dir, 60);
    const std::vector<std::uint8_t> intact = rf::read_all(path);
    const std::uint32_t root = root_of_t(path);
    const std::size_t r = (root - 1) * 1024u;
    ASSERT_EQ(intact.at(r), 5);
    const std::uint32_t leaf = rf::get_be32(intact, r + rf::get_be16(intact, r + 12));
    const std::size_t l = (leaf - 1) * 1024u;
    ASSERT_EQ(intact.at(l), 13);
    const std::uint32_t cells = rf::get_be16(intact, l + 3);
    ASSERT_GE(cells, 2u);
    const std::string leaf_text =
        "page " + std::to_string(leaf) + " (leaf page, file offset " + std::to_string(l) + ") ";
    const std::string root_text = "page " + std::to_string(root) + " (root page, file offset " +
                                  std::to_string(r) + ") cell 0 skipped: ";
    const std::string last = std::to_string(cells - 1);
    const std::string array_end = std::to_string(8 + 2 * (cells - 1));
    struct damage_case {
        const char* name;
        std::size_t at;  // a 16-bit field set to `value`
        std::uint32_t value;
        std::vector<std::string> said;
        std::set<std::uint64_t> refused;
    };
    const std::vector<damage_case> cases = {
        {"leaf pointer past the page",
         l + 8,
         0xffff,
         {leaf_text + "cell 0 skipped: its pointer 65535 lies past the end of the page (1024 bytes)"},
         {}},
        {"leaf cell on the last byte",
         l + 8,
         1023,
         {leaf_text + "cell 0 skipped: its rowid at page offset 1023 does not decode"},
         {l + 1023}},
        {"leaf pointer array past the page",
         l + 3,
         0xffff,
         {leaf_text + "skipped: its cell count 65535 is more than the page can hold: its pointer array would "
                      "run past the end of the page"},
         {}},
        {"root pointer past the page",
         r + 12,
         0xffff,
         {root_text + "its pointer 65535 lies past the end of the page (1024 bytes)"},
         {}},
        {"root child page number past the page",
         r + 12,
         1022,
         {root_text + "its child page number at page offset 1022 runs past the end of the page"},
         {}},
        // The last pointer lies in the cell content its header gives: read there, it points past the page.
        {"pointer in the cell content past the page",
         l + 5,
         8 + 2 * (cells - 1),
         {leaf_text + "cell " + last + " skipped: the cell count " + std::to_string(cells) +
          " is more than the page can hold: its pointer array would run into the cell content at offset " +
          array_end},
         {}},
        {"leaf pointer into the header", l + 8, 2, {}, {}},
    };
    for (const damage_case& c : cases) {
        std::vector<std::uint8_t> b = intact;
        rf::put_be16(b, c.at, c.value);
        if (c.at == l + 5) rf::put_be16(b, l + 8 + 2 * (cells - 1), 0xffff);
        ASSERT_TRUE(rf::write_all(path, b));
        const database_verdict verdict = check(path, root, 0);
        ASSERT_EQ(verdict.trees.size(), 1u) << c.name;
        EXPECT_EQ(texts(verdict.trees[0]), c.said) << c.name;
        EXPECT_EQ(verdict.trees[0].refused_cells, c.refused) << c.name;
        EXPECT_TRUE(verdict.trees[0].refused_links.empty()) << c.name;
    }
}

}  // namespace
