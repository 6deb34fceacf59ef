#include "sqlite_format/freespace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "reader_fixtures.h"
#include "sqlite_format/artifacts.h"
#include "sqlite_format/btree.h"

using namespace reader_fixtures;

namespace {

// Writes a freeblock header (next, size) at `off`.
void freeblock(std::vector<std::uint8_t>& p, std::size_t off, std::uint32_t next, std::uint32_t size) {
    put_be16(p, off, next);
    put_be16(p, off + 2, size);
}

}  // namespace

TEST(WalkFreeblocks, chain_is_recorded_with_file_offsets) {
    auto p = page_with_header(1024, 13, 300, 2, 600);
    freeblock(p, 300, 500, 20);
    freeblock(p, 500, 0, 40);
    region_map m{{7, 7}};
    EXPECT_EQ(walk_freeblocks(m, p.data(), 1024, 300, 4096, false), 1);
    EXPECT_EQ(m, (region_map{{4096 + 300, 20}, {4096 + 500, 40}}));
    // With keep the map is added to.
    region_map k{{7, 7}};
    EXPECT_EQ(walk_freeblocks(k, p.data(), 1024, 300, 0, true), 1);
    EXPECT_EQ(k.size(), 3u);
}

TEST(WalkFreeblocks, refused_starts_give_nothing) {
    auto p = page_with_header(1024, 13, 300, 2, 600);
    freeblock(p, 300, 0, 20);
    region_map m;
    EXPECT_EQ(walk_freeblocks(m, nullptr, 1024, 300, 0, false), 0);
    EXPECT_EQ(walk_freeblocks(m, p.data(), 511, 300, 0, false), 0);
    EXPECT_EQ(walk_freeblocks(m, p.data(), 1024, 0, 0, false), 0);
    EXPECT_EQ(walk_freeblocks(m, p.data(), 1024, 1025, 0, false), 0);
    EXPECT_TRUE(m.empty());
}

TEST(WalkFreeblocks, size_under_four_at_head_yields_zero) {
    auto p = page_with_header(1024, 13, 300, 2, 600);
    freeblock(p, 300, 500, 3);
    region_map m;
    EXPECT_EQ(walk_freeblocks(m, p.data(), 1024, 300, 0, false), 0);
    EXPECT_TRUE(m.empty());
    // Later in the chain it ends the walk with what was found.
    freeblock(p, 300, 500, 8);
    freeblock(p, 500, 0, 2);
    EXPECT_EQ(walk_freeblocks(m, p.data(), 1024, 300, 0, false), 1);
    EXPECT_EQ(m, (region_map{{300, 8}}));
}

TEST(WalkFreeblocks, loop_is_recorded_once_and_ends) {
    auto p = page_with_header(1024, 13, 300, 2, 600);
    freeblock(p, 300, 500, 10);
    freeblock(p, 500, 300, 12);
    region_map m;
    EXPECT_EQ(walk_freeblocks(m, p.data(), 1024, 300, 0, false), 1);
    EXPECT_EQ(m, (region_map{{300, 10}, {500, 12}}));
    // A block that links to itself.
    freeblock(p, 300, 300, 10);
    EXPECT_EQ(walk_freeblocks(m, p.data(), 1024, 300, 0, false), 1);
    EXPECT_EQ(m, (region_map{{300, 10}}));
}

TEST(WalkFreeblocks, header_past_page_end_ends_walk_without_reading_past) {
    // The buffer is exactly the page: a freeblock at 1022 would need bytes 1022..1025.
    auto p = page_with_header(1024, 13, 300, 2, 600);
    freeblock(p, 300, 1022, 10);
    p[1022] = 0;
    p[1023] = 0;
    region_map m;
    EXPECT_EQ(walk_freeblocks(m, p.data(), 1024, 300, 0, false), 1);
    EXPECT_EQ(m, (region_map{{300, 10}}));
    EXPECT_EQ(walk_freeblocks(m, p.data(), 1024, 1021, 0, false), 0);
    EXPECT_EQ(walk_freeblocks(m, p.data(), 1024, 1024, 0, false), 0);
    EXPECT_TRUE(m.empty());
}

TEST(WalkFreeblocks, claimed_size_past_page_end_is_kept_as_stored) {
    auto p = page_with_header(1024, 13, 1000, 1, 600);
    freeblock(p, 1000, 0, 5000);
    region_map m;
    EXPECT_EQ(walk_freeblocks(m, p.data(), 1024, 1000, 0, false), 1);
    EXPECT_EQ(m, (region_map{{1000, 5000}}));
}

TEST(CollectPageSlack, gap_starts_after_the_header_and_cell_pointers_of_each_page_type) {
    // Leaves have an 8-byte header, interior pages 12; 3 cell pointers follow it.
    for (const auto& c : {std::pair<std::uint8_t, std::uint64_t>{13, 14}, {10, 14}, {5, 18}, {2, 18}}) {
        auto p = page_with_header(1024, c.first, 0, 3, 100);
        const auto usable = static_cast<std::uint32_t>(lay_cells(p, 0, 100, {0, 0, 0}));
        region_map m;
        EXPECT_EQ(collect_page_slack(m, p.data(), 1024, 8192, false, 0, usable), 1) << int(c.first);
        EXPECT_EQ(m, (region_map{{8192 + c.second, 100 - c.second}})) << int(c.first);
    }
}

TEST(CollectPageSlack, freeblocks_and_the_gap_are_both_recorded) {
    for (const auto& c : {std::pair<std::uint8_t, std::uint64_t>{5, 18}, {13, 14}}) {
        auto p = page_with_header(1024, c.first, 0, 3, 600);
        const std::size_t block = lay_cells(p, 0, 600, {0, 0, 0});
        put_be16(p, 1, static_cast<std::uint32_t>(block));
        freeblock(p, block, 0, 30);
        region_map m;
        EXPECT_EQ(collect_page_slack(m, p.data(), 1024, 0, false, 0, static_cast<std::uint32_t>(block + 30)),
                  1);
        EXPECT_EQ(m, (region_map{{c.second, 600 - c.second}, {block, 30}})) << int(c.first);
    }
}

TEST(CollectPageSlack, page_without_cells_gives_everything_after_its_header) {
    // An emptied page: its content start says the page end and its freeblock link is gone, yet the
    // cells it held are still there. A stray freeblock link adds nothing twice. The bytes reserved at the end
    // of every page never held a cell.
    for (std::uint32_t first : {0u, 300u}) {
        auto p = page_with_header(1024, 13, first, 0, first == 0 ? 1024 : 900);
        if (first != 0) freeblock(p, 300, 0, 50);
        region_map m;
        EXPECT_EQ(collect_page_slack(m, p.data(), 1024, 4096, false), 1);
        EXPECT_EQ(m, (region_map{{4096 + 8, 1016}})) << first;
        EXPECT_EQ(collect_page_slack(m, p.data(), 1024, 4096, false, 0, 1024 - 32), 1);
        EXPECT_EQ(m, (region_map{{4096 + 8, 1016 - 32}})) << first;
    }
}

TEST(CollectPageSlack, overlapping_regions_are_cut_so_no_byte_counts_twice) {
    // Gap 12..600; a freeblock at 500 reaching 700 overlaps it; a freeblock at 650 lies inside the
    // one before; the last claims 5000 bytes past the page end. Two cells lie between.
    auto p = page_with_header(1024, 13, 500, 2, 600);
    ASSERT_EQ(lay_cells(p, 0, 700, {50, 50}), 800u);
    freeblock(p, 500, 650, 200);
    freeblock(p, 650, 800, 20);
    freeblock(p, 800, 0, 5000);
    region_map m;
    EXPECT_EQ(collect_page_slack(m, p.data(), 1024, 0, false), 1);
    EXPECT_EQ(m, (region_map{{12, 588}, {600, 100}, {800, 224}}));
}

TEST(CollectPageSlack, refused_pages_add_nothing) {
    region_map m;
    auto p = page_with_header(1024, 13, 0, 3, 100);
    EXPECT_EQ(collect_page_slack(m, p.data(), 511, 0, false), 0);
    EXPECT_EQ(collect_page_slack(m, nullptr, 1024, 0, false), 0);
    auto bad = page_with_header(1024, 7, 0, 3, 100);  // not a b-tree page type
    EXPECT_EQ(collect_page_slack(m, bad.data(), 1024, 0, false), 0);
    auto many = page_with_header(1024, 13, 0, 513, 2000);
    EXPECT_EQ(collect_page_slack(m, many.data(), 1024, 0, false), 0);
    auto zero_start = page_with_header(1024, 13, 0, 3, 0);  // content start 0: no gap
    EXPECT_EQ(collect_page_slack(m, zero_start.data(), 1024, 0, false), 0);
    // Page 1 carries its header at 100, so the magic bytes do not pass as a header.
    std::vector<std::uint8_t> page1(1024, 0);
    std::string magic = "SQLite format 3";
    std::copy(magic.begin(), magic.end(), page1.begin());
    EXPECT_EQ(collect_page_slack(m, page1.data(), 1024, 0, false), 0);
    EXPECT_TRUE(m.empty());
}

// SQLite moves an interior page's content start up over a freed cell at its start and writes nothing, so the
// cells the page held before stay below it: with the database's page count known, the gap ends below every
// byte that reads as such a cell (child page 1 to the limit, then a whole rowid varint), on table interior
// pages only. A leaf's bytes there are its deleted records, which stay in the gap.
TEST(CollectPageSlack, interior_gap_ends_below_the_cells_the_page_held_there) {
    struct stale_case {
        std::uint8_t type;
        std::uint64_t page_limit;
        std::uint64_t gap_end;
    };
    const std::vector<stale_case> cases = {
        {5, 100, 1008},  // both former cells: child 10 (2-byte rowid) and child 5
        {5, 9, 1014},    // child 10 is past the database: those bytes are no cell
        {5, 0, 1019},    // page count unknown: the gap as the header gives it
        {13, 100, 1019},
    };
    for (const stale_case& c : cases) {
        auto p = page_with_header(1024, c.type, 0, 1, 1019);
        std::fill(p.begin() + 14, p.begin() + 1019, 0xEE);  // an older record's bytes
        const std::vector<std::uint8_t> stale = {0, 0, 0, 10, 0x81, 0x02, 0, 0, 0, 5, 0x39};
        std::copy(stale.begin(), stale.end(), p.begin() + 1008);
        const std::vector<std::uint8_t> live = {0, 0, 0, 9, 0x23};
        std::copy(live.begin(), live.end(), p.begin() + 1019);
        put_be16(p, c.type == 5 ? 12 : 8, 1019);
        region_map m;
        EXPECT_EQ(collect_page_slack(m, p.data(), 1024, 4096, false, c.page_limit), 1);
        const std::uint64_t begin = c.type == 5 ? 14 : 10;  // after the header and one cell pointer
        EXPECT_EQ(m, (region_map{{4096 + begin, c.gap_end - begin}})) << int(c.type) << " " << c.page_limit;
    }
}

TEST(CollectPageSlack, gap_is_cut_at_the_page_end) {
    // A content start past a 512-byte page must not claim the next page's bytes.
    auto p = page_with_header(512, 13, 0, 2, 4000);
    region_map m;
    EXPECT_EQ(collect_page_slack(m, p.data(), 512, 1024, false), 1);
    EXPECT_EQ(m, (region_map{{1024 + 12, 512 - 12}}));
}

TEST(CollectPageSlack, deleted_rows_of_a_real_database_lie_in_freeblocks) {
    temp_dir dir;
    const std::string path = dir.file("fb.db");
    std::string sql = "CREATE TABLE t(a INTEGER PRIMARY KEY, b TEXT);";
    for (int i = 0; i < 30; ++i)
        sql += "INSERT INTO t(b) VALUES('row-" + std::to_string(i) + "-payload-text');";
    sql += "DELETE FROM t WHERE a % 3 = 0;";
    make_db(path, 1024, sql);
    auto bytes = read_all(path);
    ASSERT_GE(bytes.size(), 2048u);
    region_map m;
    for (std::size_t off = 1024; off + 1024 <= bytes.size(); off += 1024)
        collect_page_slack(m, bytes.data() + off, 1024, off, true);
    ASSERT_FALSE(m.empty());
    // The text of deleted row a = 3 survives inside one of the recorded regions; live row a = 4 lies
    // in none of them.
    const std::string wanted = "row-2-payload-text";
    const std::string live = "row-3-payload-text";
    bool found = false;
    for (const auto& r : m) {
        ASSERT_LE(r.first + r.second, bytes.size());
        std::string region(bytes.begin() + static_cast<long>(r.first),
                           bytes.begin() + static_cast<long>(r.first + r.second));
        if (region.find(wanted) != std::string::npos) found = true;
        EXPECT_EQ(region.find(live), std::string::npos);
    }
    EXPECT_TRUE(found);
}

namespace {

// A deleted cell in slack at `at`: payload size 24, rowid 5, header (3, text of 20, 1-byte int),
// the text and the integer 7.
std::vector<std::uint8_t> slack_with_cell(std::size_t size, std::size_t at, const std::string& text) {
    std::vector<std::uint8_t> b(size, 0);
    const std::uint8_t prefix[] = {24, 5, 3, 13 + 2 * 20, 1};
    std::copy(prefix, prefix + 5, b.begin() + static_cast<long>(at));
    for (std::size_t i = 0; i < 20 && at + 5 + i < size; ++i)
        b[at + 5 + i] = static_cast<std::uint8_t>(text[i]);
    if (at + 25 < size) b[at + 25] = 7;
    return b;
}

}  // namespace

// The rowid in front of a record header at the end of each buffer (record length 162 or 179).
TEST(RowidBeforeRecord, read_only_from_an_intact_cell_prefix) {
    struct row {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::uint64_t length;
        std::uint64_t rowid;
    };
    const row rows[] = {
        {"payload size and rowid", {0x81, 0x22, 0x81, 0x5a}, 162, 218},
        {"one-byte rowid", {0x00, 0x81, 0x22, 0x07}, 162, 7},
        {"rowid equal to the length", {0x58, 0x81, 0x33, 0x81, 0x33}, 179, 179},
        {"free block header over both", {0x05, 0xa0, 0x00, 0xa6}, 162, 0},
        {"no rowid between size and header", {0x00, 0x00, 0x81, 0x22}, 162, 0},
        {"too few bytes", {0x22}, 162, 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<std::uint8_t> buf = r.bytes;
        buf.push_back(0x04);  // the header-length byte
        EXPECT_EQ(rowid_before_record(buf.data(), r.bytes.size(), r.length), r.rowid);
    }
}

TEST(CarveStringsInSlack, record_found_from_its_text) {
    const std::string text = "deleted notification";  // 20 characters
    auto b = slack_with_cell(400, 100, text);
    std::multimap<std::uint64_t, sqlite_artifact> out;
    ASSERT_EQ(carve_strings_in_slack(out, b.data(), static_cast<std::uint32_t>(b.size()), 8192, 1024), 1);
    ASSERT_EQ(out.size(), 1u);
    const sqlite_artifact& a = out.begin()->second;
    EXPECT_EQ(out.begin()->first, 8192u + 102);
    EXPECT_EQ(a.kind, kArtifactSlackText);
    EXPECT_EQ(a.file_offset, 8192u + 102);
    EXPECT_EQ(a.page_number, (8192u + 102) / 1024);
    EXPECT_EQ(a.name, "5");  // the rowid found in front of the record
    ASSERT_EQ(a.rows.size(), 1u);
    const sqlite_row_artifact& row = a.rows.begin()->second;
    EXPECT_EQ(row.values, std::vector<std::string>{text});
    EXPECT_EQ(row.codes.size(), 2u);
    EXPECT_EQ(a.bytes.size(), 24u);
    EXPECT_EQ(a.bytes[0], 3);
}

TEST(CarveStringsInSlack, text_cut_by_the_buffer_end_and_records_at_the_start) {
    const std::string text = "deleted notification";
    // The buffer ends 12 characters into the text.
    auto b = slack_with_cell(117, 100, text);
    std::multimap<std::uint64_t, sqlite_artifact> out;
    ASSERT_EQ(carve_strings_in_slack(out, b.data(), static_cast<std::uint32_t>(b.size()), 0, 1024), 1);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out.begin()->second.rows.begin()->second.values, std::vector<std::string>{text.substr(0, 12)});
    EXPECT_EQ(out.begin()->second.bytes.size(), 15u);
    // A record whose header starts at the buffer's second byte: no room for a cell prefix, rowid 0.
    std::vector<std::uint8_t> head(60, 0);
    head[1] = 3;
    head[2] = 13 + 2 * 20;
    head[3] = 1;
    std::copy(text.begin(), text.end(), head.begin() + 4);
    head[24] = 7;
    out.clear();
    ASSERT_EQ(carve_strings_in_slack(out, head.data(), static_cast<std::uint32_t>(head.size()), 0, 0), 1);
    EXPECT_EQ(out.begin()->first, 1u);
    EXPECT_EQ(out.begin()->second.name, "0");
    EXPECT_EQ(out.begin()->second.page_number, 0u);
    // Text without a record header in front of it gives nothing.
    std::vector<std::uint8_t> plain(200, 0);
    std::copy(text.begin(), text.end(), plain.begin() + 50);
    out.clear();
    EXPECT_EQ(carve_strings_in_slack(out, plain.data(), 200, 0, 1024), 0);
    EXPECT_EQ(carve_strings_in_slack(out, nullptr, 200, 0, 1024), 0);
    EXPECT_TRUE(out.empty());
}
