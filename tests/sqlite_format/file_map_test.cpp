#include "sqlite_format/file_map.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>
#include <vector>

#include "io/fileio.h"
#include "reader_fixtures.h"
#include "sqlite_format/database_paths.h"
#include "sqlite_format/format.h"

using namespace reader_fixtures;

namespace {

// A database whose deletes leave free-list pages and freeblocks.
std::string make_freelist_db(const temp_dir& dir, int page_size = 1024) {
    const std::string path = dir.file("free.db");
    std::string sql = "CREATE TABLE t(a INTEGER PRIMARY KEY, b TEXT);";
    sql +=
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 400) "
        "INSERT INTO t(b) SELECT 'value-' || x || '-' || hex(randomblob(40)) FROM c;";
    sql += "DELETE FROM t WHERE a > 100 AND a < 350; DELETE FROM t WHERE a % 7 = 0;";
    make_db(path, page_size, sql);
    return path;
}

int freelist_count(const std::string& path) {
    auto rows = query(path, "PRAGMA freelist_count");
    return rows.empty() ? -1 : std::stoi(rows[0][0]);
}

std::size_t whole_pages(const region_map& m, std::uint32_t page_size) {
    std::size_t n = 0;
    for (const auto& r : m)
        if (r.second == page_size && r.first % page_size == 0) ++n;
    return n;
}

db_header_bytes header_of(const std::vector<std::uint8_t>& bytes) {
    db_header_bytes h{};
    std::copy(bytes.begin(), bytes.begin() + 100, h.begin());
    return h;
}

}  // namespace

TEST(PageSizeField, powers_of_two_from_512_to_65536_only) {
    EXPECT_EQ(page_size_from_field(1), 65536u);
    EXPECT_EQ(page_size_from_field(512), 512u);
    EXPECT_EQ(page_size_from_field(65536), 65536u);
    EXPECT_EQ(page_size_from_field(0), 0u);
    EXPECT_EQ(page_size_from_field(256), 0u);
    EXPECT_EQ(page_size_from_field(1000), 0u);
    EXPECT_EQ(page_size_from_field(4097), 0u);
    EXPECT_EQ(page_size_from_field(131072), 0u);
    EXPECT_EQ(page_size_from_field(0x80000000u), 0u);
    // The 32-bit field of a log or journal: 65536 as is, 1 means nothing.
    EXPECT_EQ(page_size_from_wide_field(65536), 65536u);
    EXPECT_EQ(page_size_from_wide_field(4096), 4096u);
    EXPECT_EQ(page_size_from_wide_field(1), 0u);
    EXPECT_EQ(page_size_from_wide_field(1000), 0u);
    // A database header's 16-bit field, big-endian at offset 16.
    std::vector<std::uint8_t> header(100, 0);
    header[16] = 0x10;
    EXPECT_EQ(db_header_page_size(header.data(), header.size()), 4096u);
    header[16] = 0x00;
    header[17] = 0x01;
    EXPECT_EQ(db_header_page_size(header.data(), header.size()), 65536u);
    header[16] = 0x03;
    header[17] = 0xE8;  // 1000
    EXPECT_EQ(db_header_page_size(header.data(), header.size()), 0u);
    header[16] = 0x10;
    header[17] = 0x00;
    EXPECT_EQ(db_header_page_size(header.data(), 17), 0u);  // the field cut short
    // A log header's field as loose pages take it: little-endian, non-zero, low nine bits clear.
    std::vector<std::uint8_t> wal(32, 0);
    EXPECT_FALSE(loose_wal_page_size_field(wal.data(), wal.size()));
    wal[9] = 0x10;  // 0x1000 read little-endian
    EXPECT_TRUE(loose_wal_page_size_field(wal.data(), wal.size()));
    wal[8] = 0x01;
    EXPECT_FALSE(loose_wal_page_size_field(wal.data(), wal.size()));
    wal[8] = 0x00;
    EXPECT_FALSE(loose_wal_page_size_field(wal.data(), 11));
}

TEST(CheckDbFileHeader, real_database_passes_and_stays_open) {
    temp_dir dir;
    const std::string path = make_freelist_db(dir);
    uni::fileio f;
    db_header_bytes h{};
    ASSERT_EQ(check_db_file_header(f, h, path), 1);
    EXPECT_TRUE(f.is_open());
    auto bytes = read_all(path);
    EXPECT_TRUE(std::equal(h.begin(), h.end(), bytes.begin()));
    std::uint64_t size = 0;
    std::uint32_t ps = 0;
    std::uint8_t reserved = 9;
    uni::fileio g;
    ASSERT_EQ(read_db_page_params(g, &size, &ps, &reserved, path), 1);
    EXPECT_EQ(size, bytes.size());
    EXPECT_EQ(ps, 1024u);
    EXPECT_EQ(reserved, 0);
}

TEST(CheckDbFileHeader, damaged_headers_and_short_files_fail) {
    temp_dir dir;
    auto bytes = read_all(make_freelist_db(dir));
    auto try_bytes = [&](const std::vector<std::uint8_t>& b) {
        const std::string p = dir.file("x.db");
        write_all(p, b);
        uni::fileio f;
        db_header_bytes h{};
        std::uint64_t size = 7;
        std::uint32_t ps = 7;
        int params = read_db_page_params(f, &size, &ps, nullptr, p);
        EXPECT_EQ(params == 0, size == 0 && ps == 0);
        uni::fileio g;
        return check_db_file_header(g, h, p);
    };
    EXPECT_EQ(try_bytes(bytes), 1);
    std::vector<std::uint8_t> short_file(bytes.begin(), bytes.begin() + 511);
    EXPECT_EQ(try_bytes(short_file), 0);
    std::vector<std::uint8_t> just_enough(bytes.begin(), bytes.begin() + 512);
    EXPECT_EQ(try_bytes(just_enough), 1);
    auto no_magic = bytes;
    no_magic[3] = 'x';
    EXPECT_EQ(try_bytes(no_magic), 0);
    for (std::uint32_t stored : {0u, 256u, 511u, 1000u, 3072u, 0x8001u}) {
        auto b = bytes;
        put_be16(b, 16, stored);
        EXPECT_EQ(try_bytes(b), 0) << stored;
    }
    // The stored value 1 stands for 65536 and is accepted.
    auto big = bytes;
    put_be16(big, 16, 1);
    EXPECT_EQ(try_bytes(big), 1);
    uni::fileio f;
    db_header_bytes h{};
    EXPECT_EQ(check_db_file_header(f, h, dir.file("missing.db")), 0);
    EXPECT_EQ(check_db_file_header(f, h, ""), 0);
}

TEST(ReadPageSizeField, magic_is_not_tested) {
    temp_dir dir;
    std::vector<std::uint8_t> b(600, 0);
    put_be16(b, 16, 2048);
    const std::string p = dir.file("nomagic.bin");
    write_all(p, b);
    uni::fileio f;
    ASSERT_TRUE(f.open(p, false, false, false));
    std::uint32_t ps = 0;
    EXPECT_EQ(read_page_size_field(&ps, f), 1);
    EXPECT_EQ(ps, 2048u);
    put_be16(b, 16, 1);
    write_all(p, b);
    uni::fileio g;
    ASSERT_TRUE(g.open(p, false, false, false));
    EXPECT_EQ(read_page_size_field(&ps, g), 1);
    EXPECT_EQ(ps, 65536u);
    uni::fileio closed;
    EXPECT_EQ(read_page_size_field(&ps, closed), 0);
}

TEST(MapDbPages, free_list_pages_and_slack_of_a_real_database) {
    temp_dir dir;
    const std::string path = make_freelist_db(dir);
    const int free_pages = freelist_count(path);
    ASSERT_GT(free_pages, 2);
    region_map m;
    ASSERT_EQ(map_db_free_space(m, path), 1);
    EXPECT_EQ(whole_pages(m, 1024), static_cast<std::size_t>(free_pages));
    EXPECT_GT(m.size(), whole_pages(m, 1024));  // slack of pages in use as well
    const auto size = read_all(path).size();
    for (const auto& r : m) {
        EXPECT_GE(r.first, 1024u);  // page 1 is never examined
        EXPECT_LT(r.first, size);
    }
}

TEST(MapDbPages, refuses_companion_paths_and_bad_headers) {
    temp_dir dir;
    const std::string path = make_freelist_db(dir);
    region_map m{{1, 1}};
    EXPECT_EQ(map_db_free_space(m, ""), 0);
    EXPECT_TRUE(m.empty());
    for (const char* name : {"a.db-wal", "a.db-journal", "a.db-shm"}) {
        copy_file(path, dir.file(name));
        EXPECT_EQ(map_db_free_space(m, dir.file(name)), 0) << name;
    }
    // Only the suffix names a companion: the same text elsewhere in the path is a database's.
    ASSERT_EQ(::mkdir(dir.file("smith-walsh").c_str(), 0755), 0);
    for (const char* name : {"a-wal.db", "smith-walsh/a.db", "a-journal.db"}) {
        copy_file(path, dir.file(name));
        EXPECT_EQ(map_db_free_space(m, dir.file(name)), 1) << name;
    }
    uni::fileio closed;
    db_header_bytes h = header_of(read_all(path));
    EXPECT_EQ(map_db_pages(m, closed, h), 0);
    uni::fileio f;
    ASSERT_TRUE(f.open(path, false, false, false));
    db_header_bytes bad = h;
    bad[0] = 'X';
    EXPECT_EQ(map_db_pages(m, f, bad), 0);
}

TEST(MapDbPages, one_page_database_yields_nothing) {
    temp_dir dir;
    const std::string path = dir.file("one.db");
    make_db(path, 1024, "PRAGMA user_version=3;");
    ASSERT_EQ(read_all(path).size(), 1024u);
    region_map m;
    EXPECT_EQ(map_db_free_space(m, path), 0);
    EXPECT_TRUE(m.empty());
}

TEST(MapDbPages, damaged_free_lists_end_and_skip_only_the_damage) {
    temp_dir dir;
    const std::string path = make_freelist_db(dir);
    auto bytes = read_all(path);
    const std::uint32_t trunk = get_be32(bytes, 32);
    ASSERT_NE(trunk, 0u);
    const std::size_t t = (trunk - 1) * 1024u;
    const std::uint32_t leaves = get_be32(bytes, t + 4);
    ASSERT_GT(leaves, 1u);
    const std::string p = dir.file("damaged.db");
    auto run = [&](const std::vector<std::uint8_t>& b) {
        write_all(p, b);
        region_map m;
        map_db_free_space(m, p);
        return m;
    };
    const std::size_t all = whole_pages(run(bytes), 1024);

    // A leaf count the trunk cannot hold: the trunk is recorded, its leaves are not.
    auto b = bytes;
    put_be32(b, t + 4, 255);  // 255 * 4 + 8 > 1024
    EXPECT_EQ(whole_pages(run(b), 1024), all - leaves);
    // A trunk that links to itself is recorded once.
    b = bytes;
    put_be32(b, t, trunk);
    EXPECT_EQ(whole_pages(run(b), 1024), 1 + leaves);
    // Leaf numbers of 0 and past the end are skipped; the others stay.
    b = bytes;
    put_be32(b, t + 8, 0);
    put_be32(b, t + 12, 0xFFFFFFF0u);
    EXPECT_EQ(whole_pages(run(b), 1024), all - 2);
    // A first trunk past the end is no free list at all.
    b = bytes;
    put_be32(b, 32, 0x7FFFFFFFu);
    EXPECT_EQ(whole_pages(run(b), 1024), 0u);
}

TEST(FollowOverflowChain, reads_the_chain_of_a_long_row) {
    temp_dir dir;
    const std::string path = dir.file("ovf.db");
    std::string text;
    for (int i = 0; i < 500; ++i) text += "chunk" + std::to_string(i) + ";";
    make_db(path, 1024,
            "CREATE TABLE t(a INTEGER PRIMARY KEY, b TEXT); INSERT INTO t(b) VALUES('" + text + "');");
    auto bytes = read_all(path);
    cell_map cells;
    ASSERT_EQ(parse_btree_page(cells, bytes.data() + 1024, 1024, 1024, 0, false), 1);
    ASSERT_EQ(cells.size(), 1u);
    const cell_metadata& c = cells.begin()->second;
    ASSERT_TRUE(c.overflow);
    uni::fileio f;
    ASSERT_TRUE(f.open(path, false, false, false));
    std::vector<std::uint8_t> out;
    ASSERT_EQ(follow_overflow_chain(out, f, c.first_overflow_page, 1024), 1);
    const std::uint64_t rest = c.payload_size - c.local_payload_size;
    ASSERT_GE(out.size(), rest);
    EXPECT_EQ(out.size() % 1020, 0u);
    std::string tail(out.begin(), out.begin() + static_cast<long>(rest));
    EXPECT_NE(tail.find("chunk499;"), std::string::npos);
    // Bounded by what the payload needs: one page is enough for 10 bytes.
    std::vector<std::uint8_t> one;
    ASSERT_EQ(follow_overflow_chain(one, f, c.first_overflow_page, 1024, 10), 1);
    EXPECT_EQ(one.size(), 1020u);
    // The output is appended to.
    std::vector<std::uint8_t> pre{1, 2, 3};
    ASSERT_EQ(follow_overflow_chain(pre, f, c.first_overflow_page, 1024, 10), 1);
    EXPECT_EQ(pre.size(), 1023u);
}

TEST(FollowOverflowChain, refused_starts_loops_and_btree_pages) {
    temp_dir dir;
    const std::string path = dir.file("chain.bin");
    // Pages 1-4 of 512 bytes: 2 -> 3 -> 2 loops; page 4 looks like a leaf page.
    std::vector<std::uint8_t> b(4 * 512, 0);
    put_be32(b, 512, 3);
    put_be32(b, 1024, 2);
    b[1536] = 13;
    write_all(path, b);
    uni::fileio f;
    ASSERT_TRUE(f.open(path, false, false, false));
    std::vector<std::uint8_t> out;
    EXPECT_EQ(follow_overflow_chain(out, f, 2, 512), 1);
    EXPECT_EQ(out.size(), 2u * 508);
    out.clear();
    EXPECT_EQ(follow_overflow_chain(out, f, 5, 512), 0);  // past the end
    EXPECT_EQ(follow_overflow_chain(out, f, 0, 512), 0);
    EXPECT_EQ(follow_overflow_chain(out, f, 4, 512), 0);  // a b-tree page
    EXPECT_EQ(follow_overflow_chain(out, f, 2, 0), 0);
    EXPECT_EQ(follow_overflow_chain(out, f, 2, 1000), 0);
    EXPECT_TRUE(out.empty());
    // A chain that reaches the b-tree page stops there with what it had.
    put_be32(b, 1024, 4);
    write_all(path, b);
    uni::fileio g;
    ASSERT_TRUE(g.open(path, false, false, false));
    EXPECT_EQ(follow_overflow_chain(out, g, 2, 512), 1);
    EXPECT_EQ(out.size(), 2u * 508);
    uni::fileio closed;
    EXPECT_EQ(follow_overflow_chain(out, closed, 2, 512), 0);
}

TEST(ReadDbPageParams, largest_page_size_is_read_from_its_stored_one) {
    temp_dir dir;
    const std::string path = dir.file("big_pages.db");
    make_db(path, 65536,
            "CREATE TABLE t(a INTEGER PRIMARY KEY, b TEXT);"
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 50) "
            "INSERT INTO t(b) SELECT 'big page row ' || x FROM c; DELETE FROM t WHERE a % 2 = 0;");
    auto bytes = read_all(path);
    ASSERT_EQ(get_be16(bytes, 16), 1u);  // 65536 is stored as 1
    uni::fileio f;
    std::uint64_t size = 0;
    std::uint32_t ps = 0;
    std::uint8_t reserved = 0;
    ASSERT_EQ(read_db_page_params(f, &size, &ps, &reserved, path), 1);
    EXPECT_EQ(ps, 65536u);
    EXPECT_EQ(size, bytes.size());
    region_map m;
    ASSERT_EQ(map_db_free_space(m, path), 1);
    for (const auto& r : m) {
        EXPECT_GE(r.first, 65536u);
        EXPECT_LT(r.first, 2u * 65536);  // all on the table's page 2
    }
}
