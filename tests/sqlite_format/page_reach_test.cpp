#include "sqlite_format/page_reach.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "reader_fixtures.h"
#include "sqlite_format/database_source.h"

using namespace reader_fixtures;

namespace {

// The unreached pages of the database at `path` (page numbers), its roots as the library lists them in
// `roots_from`.
std::vector<std::uint64_t> unreached(const std::string& path, const std::string& roots_from) {
    database_source source;
    EXPECT_EQ(source.open(path), 1) << path;
    std::vector<listed_tree> trees;
    for (const auto& r : query(roots_from, "SELECT rootpage FROM sqlite_master WHERE rootpage > 0"))
        trees.push_back(listed_tree{static_cast<std::uint32_t>(std::stoul(r[0])), std::string(), false});
    state_reach reach;
    EXPECT_EQ(reach_state(reach, source, nullptr, database_view::file, trees), 1);
    std::vector<std::uint64_t> pages;
    for (const std::uint64_t o : reach.main) pages.push_back(o / source.header().page_size + 1);
    return pages;
}

// Child page numbers of an interior page, the right-most last.
std::vector<std::uint32_t> children(const std::vector<std::uint8_t>& bytes, std::uint32_t page,
                                    std::uint32_t size) {
    const std::size_t at = (page - 1) * static_cast<std::size_t>(size);
    std::vector<std::uint32_t> out;
    for (std::uint32_t i = 0; i < get_be16(bytes, at + 3); ++i)
        out.push_back(get_be32(bytes, at + get_be16(bytes, at + 12 + 2 * i)));
    out.push_back(get_be32(bytes, at + 8));
    return out;
}

}  // namespace

// In a sound database every page is reached: b-tree pages of tables and indexes, overflow pages and, with
// auto-vacuum, pointer-map pages; free pages are the free list's.
TEST(UnreachedPages, sound_databases_leave_no_page_unreached) {
    const std::string rows =
        "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT, b BLOB); CREATE INDEX tv ON t(v);"
        "CREATE TABLE w(k TEXT PRIMARY KEY, v TEXT) WITHOUT ROWID;"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 600) "
        "INSERT INTO t SELECT x, 'value ' || x, CASE WHEN x % 7 = 0 THEN randomblob(3000) ELSE x'00' END "
        "FROM c;"
        "INSERT INTO w SELECT 'key ' || id || printf('%.*c', id % 900, 'k'), v FROM t;"
        "DELETE FROM t WHERE id % 5 = 0; DELETE FROM w WHERE length(k) > 600;";
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"plain", rows},
        {"auto-vacuum", "PRAGMA auto_vacuum=FULL;" + rows},
        {"incremental vacuum", "PRAGMA auto_vacuum=INCREMENTAL;" + rows},
    };
    for (const auto& c : cases) {
        temp_dir dir;
        const std::string path = dir.file("sound.db");
        make_db(path, 1024, c.second);
        EXPECT_EQ(unreached(path, path), std::vector<std::uint64_t>{}) << c.first;
    }
}

// The real database: the only pages no walk reaches are the zero pages it was padded with.
TEST(UnreachedPages, real_database_leaves_only_its_zero_padding) {
    const std::string path = std::string(SELK_FIXTURES_DIR) + "/windows_notifications.db";
    if (!fixture_exists(path)) GTEST_SKIP() << "real notification database absent: " << path;
    const std::vector<std::uint8_t> bytes = read_all(path);
    const std::uint32_t in_use = get_be32(bytes, 28);
    for (const std::uint64_t page : unreached(path, path)) {
        EXPECT_GT(page, in_use);
        const auto first = bytes.begin() + static_cast<std::ptrdiff_t>((page - 1) * 4096);
        EXPECT_TRUE(std::all_of(first, first + 4096, [](std::uint8_t b) { return b == 0; })) << page;
    }
}

// A zeroed interior page: it and every leaf below it are referenced by nothing that reads.
TEST(UnreachedPages, leaves_below_a_zeroed_interior_page_are_unreached) {
    temp_dir dir;
    const std::string path = dir.file("levels.db");
    make_db(path, 512,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000) "
            "INSERT INTO t SELECT x, 'row ' || x || ' ' || hex(randomblob(20)) FROM c;");
    const std::uint32_t root =
        static_cast<std::uint32_t>(std::stoul(query(path, "SELECT rootpage FROM sqlite_master")[0][0]));
    std::vector<std::uint8_t> bytes = read_all(path);
    const std::uint32_t lost = children(bytes, root, 512).at(1);
    ASSERT_EQ(bytes[(lost - 1) * 512], 5);
    std::vector<std::uint64_t> want = {lost};
    for (const std::uint32_t leaf : children(bytes, lost, 512)) want.push_back(leaf);
    std::sort(want.begin(), want.end());
    std::fill(bytes.begin() + (lost - 1) * 512, bytes.begin() + lost * 512, 0);
    const std::string damaged = dir.file("damaged.db");
    ASSERT_TRUE(write_all(damaged, bytes));
    EXPECT_EQ(unreached(damaged, path), want);
}
