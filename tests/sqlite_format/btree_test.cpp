#include "sqlite_format/btree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "io/fileio.h"
#include "reader_fixtures.h"
#include "sqlite_format/format.h"

using namespace reader_fixtures;

namespace {

std::uint32_t root_of(const std::string& path, const std::string& name) {
    auto rows = query(path, "SELECT rootpage FROM sqlite_master WHERE name = '" + name + "'");
    return rows.empty() ? 0 : static_cast<std::uint32_t>(std::stoul(rows[0][0]));
}

std::vector<std::uint8_t> page_bytes(const std::vector<std::uint8_t>& file, std::uint32_t page,
                                     std::uint32_t size) {
    return std::vector<std::uint8_t>(file.begin() + (page - 1) * size, file.begin() + page * size);
}

// All rows of every table-row artifact, as (key text, values).
std::vector<std::pair<std::string, std::vector<std::string>>> rows_of(const artifact_map& m,
                                                                      std::uint64_t kind) {
    std::vector<std::pair<std::string, std::vector<std::string>>> out;
    for (const auto& a : m)
        if (a.second.kind == kind)
            for (const auto& r : a.second.rows) out.emplace_back(r.first, r.second.values);
    return out;
}

std::string long_text(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "part" + std::to_string(i) + ",";
    return s;
}

}  // namespace

TEST(ParseTablePage, rows_of_a_leaf_page_keyed_by_rowid) {
    temp_dir dir;
    const std::string path = dir.file("leaf.db");
    make_db(path, 1024,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, n INTEGER, r REAL, b BLOB);"
            "INSERT INTO t VALUES(5, 'five', 55, 1.5, x'0102');"
            "INSERT INTO t VALUES(9, 'nine', -1, NULL, NULL);"
            "INSERT INTO t VALUES(-3, 'minus', -129, NULL, NULL);");
    auto file = read_all(path);
    const std::uint32_t root = root_of(path, "t");
    auto page = page_bytes(file, root, 1024);
    artifact_map out;
    const std::uint64_t off = (root - 1) * 1024ull;
    ASSERT_EQ(parse_table_page(out, page.data(), page.size(), off, off, 1024, nullptr, false, false, false,
                               true, kUtf8, false),
              1);
    ASSERT_EQ(out.size(), 1u);
    const sqlite_artifact& a = out.begin()->second;
    EXPECT_EQ(out.begin()->first, 0u);
    EXPECT_EQ(a.kind, kArtifactTableRows);
    EXPECT_EQ(a.page_number, root);
    auto rows = rows_of(out, kArtifactTableRows);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].first, "0000000000000005");
    // The integer primary key is stored as NULL: column 1 shows the rowid.
    EXPECT_EQ(rows[0].second[0], "5");
    EXPECT_EQ(rows[0].second[1], "five");
    EXPECT_EQ(rows[0].second[2], "55");
    EXPECT_EQ(rows[1].first, "0000000000000009");
    EXPECT_EQ(rows[1].second[0], "9");
    EXPECT_EQ(rows[1].second[2], "-1");
    EXPECT_EQ(rows[1].second[3], "");  // NULL elsewhere is the empty text
    // Integers and the rowid are two's complement: negative ones read as the library gives them.
    EXPECT_EQ(rows[2].first, "fffffffffffffffd");
    EXPECT_EQ(rows[2].second[0], "-3");
    EXPECT_EQ(rows[2].second[2], "-129");
    const sqlite_row_artifact& r = a.rows.begin()->second;
    EXPECT_EQ(r.rowid, 5u);
    EXPECT_FALSE(r.header_bytes.empty());  // kept on request
    EXPECT_EQ(r.header_bytes[0], r.header_bytes.size());
    EXPECT_EQ(r.file_offset, off + r.cell.cell_offset);
    // The same bytes placed inside a larger buffer give the same rows.
    std::vector<std::uint8_t> wide(3000, 0);
    std::copy(page.begin(), page.end(), wide.begin() + 100);
    artifact_map again;
    ASSERT_EQ(parse_table_page(again, wide.data(), wide.size(), off - 100, off, 1024, nullptr, false, false,
                               false, false, kUtf8, false),
              1);
    EXPECT_EQ(rows_of(again, kArtifactTableRows), rows);
}

TEST(ParseTablePage, refused_placements_and_pages) {
    std::vector<std::uint8_t> page = page_with_header(1024, 13, 0, 0, 1024);
    artifact_map out;
    EXPECT_EQ(
        parse_table_page(out, nullptr, 1024, 0, 0, 1024, nullptr, false, false, false, false, kUtf8, false),
        0);
    EXPECT_EQ(parse_table_page(out, page.data(), 1024, 0, 0, 256, nullptr, false, false, false, false, kUtf8,
                               false),
              0);
    EXPECT_EQ(parse_table_page(out, page.data(), 1023, 0, 0, 1024, nullptr, false, false, false, false, kUtf8,
                               false),
              0);
    EXPECT_EQ(parse_table_page(out, page.data(), 1024, 10, 0, 1024, nullptr, false, false, false, false,
                               kUtf8, false),
              0);
    EXPECT_EQ(parse_table_page(out, page.data(), 1024, 0, 1, 1024, nullptr, false, false, false, false, kUtf8,
                               false),
              0);
    // Neither a b-tree header nor the database magic.
    std::vector<std::uint8_t> junk(1024, 0x41);
    EXPECT_EQ(parse_table_page(out, junk.data(), 1024, 0, 0, 1024, nullptr, false, false, false, false, kUtf8,
                               false),
              0);
    EXPECT_TRUE(out.empty());
}

TEST(ParseTablePage, overflow_rows_follow_the_chain_or_carry_the_marker) {
    temp_dir dir;
    const std::string path = dir.file("ovf.db");
    const std::string text = long_text(400);
    make_db(path, 1024,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, body TEXT, tail TEXT);"
            "INSERT INTO t VALUES(1, '" +
                text + "', 'end');");
    auto file = read_all(path);
    const std::uint32_t root = root_of(path, "t");
    auto page = page_bytes(file, root, 1024);
    const std::uint64_t off = (root - 1) * 1024ull;
    uni::fileio f;
    ASSERT_TRUE(f.open(path, false, false, false));
    artifact_map out;
    ASSERT_EQ(parse_table_page(out, page.data(), 1024, off, off, 1024, &f, false, false, false, false, kUtf8,
                               false),
              1);
    auto rows = rows_of(out, kArtifactTableRows);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].second, (std::vector<std::string>{"1", text, "end"}));

    // Skipping overflow: the local bytes and the marker.
    ASSERT_EQ(
        parse_table_page(out, page.data(), 1024, off, off, 1024, &f, false, false, true, false, kUtf8, false),
        1);
    rows = rows_of(out, kArtifactTableRows);
    ASSERT_EQ(rows.size(), 1u);
    const std::string marker = kOverflowSkippedMarker;
    ASSERT_GE(rows[0].second.size(), 2u);
    EXPECT_NE(rows[0].second[1].find(marker), std::string::npos);
    EXPECT_EQ(text.compare(0, 90, rows[0].second[1], 0, 90), 0);

    // No file: the local bytes alone, no marker.
    ASSERT_EQ(parse_table_page(out, page.data(), 1024, off, off, 1024, nullptr, false, false, false, false,
                               kUtf8, false),
              1);
    rows = rows_of(out, kArtifactTableRows);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].second[1].find(marker), std::string::npos);
    EXPECT_LT(rows[0].second[1].size(), text.size());

    // A chain that cannot be read: the local bytes followed by the marker, so the cut column ends
    // with it.
    cell_map cells;
    ASSERT_EQ(parse_btree_page(cells, page.data(), 1024, 1024, 0, false), 1);
    const cell_metadata& c = cells.begin()->second;
    const std::size_t ptr = c.cell_offset + c.payload_size_length + c.rowid_length + c.local_payload_size;
    auto broken = page;
    put_be32(broken, ptr, 0x00FFFFFF);
    ASSERT_EQ(parse_table_page(out, broken.data(), 1024, off, off, 1024, &f, false, false, false, false,
                               kUtf8, false),
              1);
    rows = rows_of(out, kArtifactTableRows);
    ASSERT_EQ(rows.size(), 1u);
    const std::string& cut = rows[0].second[1];
    ASSERT_GE(cut.size(), marker.size());
    EXPECT_EQ(cut.substr(cut.size() - marker.size()), marker);
}

TEST(ParseTablePage, schema_rows_become_schema_artifacts_and_views_stay_rows) {
    temp_dir dir;
    const std::string path = dir.file("schema.db");
    make_db(path, 1024,
            "CREATE TABLE alpha(a INTEGER PRIMARY KEY, b TEXT UNIQUE);"
            "CREATE TABLE beta(x TEXT, y TEXT, PRIMARY KEY(x)) WITHOUT ROWID;"
            "CREATE INDEX ai ON alpha(b);"
            "CREATE VIEW v AS SELECT * FROM alpha;"
            "CREATE TRIGGER tr AFTER INSERT ON alpha BEGIN SELECT 1; END;");
    auto file = read_all(path);
    artifact_map out;
    ASSERT_EQ(parse_table_page(out, file.data(), 1024, 0, 0, 1024, nullptr, false, false, false, false, kUtf8,
                               false),
              1);
    std::map<std::string, std::uint64_t> kinds;
    for (const auto& a : out)
        if (a.second.kind >= kArtifactSchemaTable && a.second.kind <= kArtifactSchemaAutoIndex) {
            kinds[a.second.name] = a.second.kind;
            EXPECT_EQ(a.first, a.second.root_page);
            EXPECT_EQ(
                std::to_string(a.second.root_page),
                query(path, "SELECT rootpage FROM sqlite_master WHERE name='" + a.second.name + "'")[0][0]);
        }
    EXPECT_EQ(kinds["alpha"], kArtifactSchemaTable);
    EXPECT_EQ(kinds["beta"], kArtifactSchemaTable);
    EXPECT_EQ(kinds["ai"], kArtifactSchemaIndex);
    EXPECT_EQ(kinds["sqlite_autoindex_alpha_1"], kArtifactSchemaAutoIndex);
    EXPECT_EQ(kinds.count("v"), 0u);
    EXPECT_EQ(kinds.count("tr"), 0u);
    for (const auto& a : out)
        if (a.second.name == "beta") {
            EXPECT_EQ(a.second.without_rowid, 1u);
            EXPECT_NE(a.second.sql_lower.find("without rowid"), std::string::npos);
        }
}

TEST(ParseTablePage, view_row_is_a_plain_row) {
    temp_dir dir;
    const std::string path = dir.file("view.db");
    make_db(path, 1024, "CREATE VIEW v AS SELECT 1 AS one;");
    auto file = read_all(path);
    artifact_map out;
    ASSERT_EQ(parse_table_page(out, file.data(), 1024, 0, 0, 1024, nullptr, false, false, false, false, kUtf8,
                               false),
              1);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out.begin()->first, 0u);
    auto plain = rows_of(out, kArtifactTableRows);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0].second[0], "view");
    EXPECT_EQ(plain[0].second[1], "v");
}

TEST(ParseTablePage, schema_page_artifact_collects_every_schema_row) {
    temp_dir dir;
    const std::string path = dir.file("s2.db");
    make_db(path, 1024, "CREATE TABLE a(x); CREATE TABLE b(y); CREATE INDEX bi ON b(y);");
    auto file = read_all(path);
    artifact_map out;
    ASSERT_EQ(parse_table_page(out, file.data(), 1024, 0, 0, 1024, nullptr, false, false, false, false, kUtf8,
                               false),
              1);
    auto page_art = std::find_if(out.begin(), out.end(), [](const artifact_map::value_type& v) {
        return v.second.kind == kArtifactSchemaPage;
    });
    ASSERT_NE(page_art, out.end());
    EXPECT_EQ(page_art->first, 1u);
    EXPECT_EQ(page_art->second.page_number, 1u);
    EXPECT_EQ(page_art->second.rows.size(), 3u);
    EXPECT_EQ(out.size(), 4u);
}

TEST(ParseTablePage, cell_shorter_than_its_header_parts_is_skipped) {
    // A hand-built leaf with two cells: one sound, one whose extent (2 bytes, up to a freeblock)
    // cannot hold its two varints.
    std::vector<std::uint8_t> p = page_with_header(512, 13, 0, 2, 400);
    put_be16(p, 8, 500);
    put_be16(p, 10, 400);
    // Cell at 500: payload 3, rowid 7, record 02 09 (a constant 1).
    p[500] = 3;
    p[501] = 7;
    p[502] = 2;
    p[503] = 9;
    // Cell at 400 with a freeblock at 402 right after its first byte.
    put_be16(p, 1, 402);
    p[400] = 0x81;
    p[401] = 0x00;
    put_be16(p, 402, 0);
    put_be16(p, 404, 20);
    artifact_map out;
    ASSERT_EQ(
        parse_table_page(out, p.data(), 512, 0, 0, 512, nullptr, false, false, false, false, kUtf8, false),
        1);
    auto rows = rows_of(out, kArtifactTableRows);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, "0000000000000007");
    EXPECT_EQ(rows[0].second, std::vector<std::string>{"1"});
}

TEST(ParsePageInMemory, interior_page_children_and_leaf_refusal) {
    temp_dir dir;
    const std::string path = dir.file("interior.db");
    make_db(path, 512,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 300) "
            "INSERT INTO t SELECT x, 'value number ' || x FROM c;"
            "CREATE INDEX tv ON t(v);");
    auto file = read_all(path);
    const std::uint32_t root = root_of(path, "t");
    auto page = page_bytes(file, root, 512);
    ASSERT_EQ(page[0], 5);  // the table root is interior
    sqlite_artifact a;
    const std::uint64_t off = (root - 1) * 512ull;
    ASSERT_EQ(parse_page_in_memory(a, page.data(), 512, off, off, 512, nullptr, false, false, kUtf8), 1);
    EXPECT_EQ(a.kind, kArtifactTableInterior);
    EXPECT_EQ(a.cells.size(), get_be16(page, 3) + 1u);
    ASSERT_EQ(a.cells.count(kRightmostChildKey), 1u);
    EXPECT_EQ(child_page_of(a.cells.find(kRightmostChildKey)->second), get_be32(page, 8));
    // Keys rise with the children's rowids.
    std::uint64_t prev = 0;
    for (const auto& c : a.cells) {
        EXPECT_GT(c.first, prev);
        prev = c.first;
        EXPECT_GT(child_page_of(c.second), 0u);
    }
    // The index root is interior with decoded key records.
    const std::uint32_t iroot = root_of(path, "tv");
    auto ipage = page_bytes(file, iroot, 512);
    ASSERT_EQ(ipage[0], 2);
    sqlite_artifact ia;
    const std::uint64_t ioff = (iroot - 1) * 512ull;
    ASSERT_EQ(parse_page_in_memory(ia, ipage.data(), 512, ioff, ioff, 512, nullptr, false, false, kUtf8), 1);
    EXPECT_EQ(ia.kind, kArtifactIndexInterior);
    bool decoded = false;
    for (const auto& c : ia.cells)
        if (c.first != kRightmostChildKey && !c.second.base_rowdata::values.empty()) {
            decoded = true;
            EXPECT_EQ(c.second.base_rowdata::values[0].rfind("value number ", 0), 0u);
        }
    EXPECT_TRUE(decoded);
    // A leaf is refused, and so is an interior page whose right-most child is 0.
    std::uint32_t leaf = static_cast<std::uint32_t>(child_page_of(a.cells.begin()->second));
    auto lpage = page_bytes(file, leaf, 512);
    EXPECT_EQ(parse_page_in_memory(a, lpage.data(), 512, 0, 0, 512, nullptr, false, false, kUtf8), 0);
    put_be32(page, 8, 0);
    EXPECT_EQ(parse_page_in_memory(a, page.data(), 512, off, off, 512, nullptr, false, false, kUtf8), 0);
}

TEST(CollectBtreeInteriorPages, leaf_root_is_its_own_only_child) {
    temp_dir dir;
    const std::string path = dir.file("small.db");
    make_db(path, 1024, "CREATE TABLE t(a); INSERT INTO t VALUES(1);");
    const std::uint32_t root = root_of(path, "t");
    uni::fileio f;
    ASSERT_TRUE(f.open(path, false, false, false));
    std::vector<sqlite_artifact> out;
    std::map<std::uint64_t, sqlite_artifact> by_offset;
    ASSERT_EQ(collect_btree_interior_pages(out, by_offset, f, (root - 1) * 1024ull, 1024, false, kUtf8), 1);
    ASSERT_EQ(out.size(), 1u);
    ASSERT_EQ(out[0].cells.size(), 1u);
    EXPECT_EQ(child_page_of(out[0].cells.begin()->second), root);
    EXPECT_TRUE(by_offset.empty());
    uni::fileio closed;
    EXPECT_EQ(collect_btree_interior_pages(out, by_offset, closed, 0, 1024, false, kUtf8), 0);
    EXPECT_EQ(collect_btree_interior_pages(out, by_offset, f, 0, 0, false, kUtf8), 0);
}

TEST(CollectBtreeInteriorPages, deep_tree_walk_reads_every_row) {
    temp_dir dir;
    const std::string path = dir.file("deep.db");
    make_db(path, 512,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000) "
            "INSERT INTO t SELECT x, 'row ' || x || ' ' || hex(randomblob(20)) FROM c;");
    const std::uint32_t root = root_of(path, "t");
    uni::fileio f;
    ASSERT_TRUE(f.open(path, false, false, false));
    std::vector<sqlite_artifact> lowest;
    std::map<std::uint64_t, sqlite_artifact> by_offset;
    ASSERT_EQ(collect_btree_interior_pages(lowest, by_offset, f, (root - 1) * 512ull, 512, false, kUtf8), 1);
    EXPECT_GT(by_offset.size(), lowest.size());  // more than one interior level
    artifact_map table_rows, index_rows, other;
    ASSERT_EQ(walk_table_pages(table_rows, index_rows, other, lowest, f, 512, true, kUtf8), 1);
    std::vector<std::string> got;
    for (const auto& a : table_rows)
        for (const auto& r : a.second.rows) got.push_back(r.second.values[0] + "|" + r.second.values[1]);
    std::sort(got.begin(), got.end());
    std::vector<std::string> want;
    for (const auto& row : query(path, "SELECT id, v FROM t")) want.push_back(row[0] + "|" + row[1]);
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
}

TEST(CollectBtreeInteriorPages, looping_and_shared_children_end) {
    temp_dir dir;
    const std::string path = dir.file("loop.db");
    make_db(path, 512,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000) "
            "INSERT INTO t SELECT x, 'row ' || x || ' ' || hex(randomblob(20)) FROM c;");
    const std::uint32_t root = root_of(path, "t");
    auto bytes = read_all(path);
    const std::size_t r = (root - 1) * 512u;
    ASSERT_EQ(bytes[r], 5);
    // The root's right-most child points back at the root, and its first cell's child at the root too.
    put_be32(bytes, r + 8, root);
    const std::uint32_t first_cell = get_be16(bytes, r + 12);
    put_be32(bytes, r + first_cell, root);
    const std::string p = dir.file("loop2.db");
    write_all(p, bytes);
    uni::fileio f;
    ASSERT_TRUE(f.open(p, false, false, false));
    std::vector<sqlite_artifact> lowest;
    std::map<std::uint64_t, sqlite_artifact> by_offset;
    EXPECT_EQ(collect_btree_interior_pages(lowest, by_offset, f, r, 512, false, kUtf8), 1);
    // Each interior page is taken once, and the walk parses no more pages than the file holds.
    std::set<std::uint64_t> lowest_offsets;
    for (const sqlite_artifact& a : lowest)
        EXPECT_TRUE(lowest_offsets.insert(a.file_offset).second) << a.file_offset;
    EXPECT_LE(by_offset.size(), bytes.size() / 512);
    artifact_map table_rows, index_rows, other;
    EXPECT_EQ(walk_table_pages(table_rows, index_rows, other, lowest, f, 512, true, kUtf8), 1);
    // Each leaf is read once even when two parents share it.
    std::vector<sqlite_artifact> twice = lowest;
    twice.insert(twice.end(), lowest.begin(), lowest.end());
    artifact_map once_rows;
    ASSERT_EQ(walk_table_pages(once_rows, index_rows, other, twice, f, 512, true, kUtf8), 1);
    EXPECT_EQ(once_rows.size(), table_rows.size());
}

TEST(WalkTablePages, damaged_leaf_does_not_hide_its_siblings) {
    temp_dir dir;
    const std::string path = dir.file("sib.db");
    make_db(path, 512,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 200) "
            "INSERT INTO t SELECT x, 'value ' || x FROM c;");
    const std::uint32_t root = root_of(path, "t");
    uni::fileio f;
    ASSERT_TRUE(f.open(path, false, false, false));
    std::vector<sqlite_artifact> lowest;
    std::map<std::uint64_t, sqlite_artifact> unused;
    ASSERT_EQ(collect_btree_interior_pages(lowest, unused, f, (root - 1) * 512ull, 512, true, kUtf8), 1);
    ASSERT_EQ(lowest.size(), 1u);
    ASSERT_GT(lowest[0].cells.size(), 3u);
    artifact_map all, index_rows, other;
    ASSERT_EQ(walk_table_pages(all, index_rows, other, lowest, f, 512, false, kUtf8), 1);
    std::size_t all_rows = 0;
    for (const auto& a : all) all_rows += a.second.rows.size();
    // Break the first leaf's type byte.
    const std::uint64_t first_leaf = child_page_of(lowest[0].cells.begin()->second);
    auto bytes = read_all(path);
    const std::size_t lost = get_be16(bytes, (first_leaf - 1) * 512 + 3);
    bytes[(first_leaf - 1) * 512] = 0x44;
    const std::string p = dir.file("sib2.db");
    write_all(p, bytes);
    uni::fileio g;
    ASSERT_TRUE(g.open(p, false, false, false));
    artifact_map rest;
    ASSERT_EQ(walk_table_pages(rest, index_rows, other, lowest, g, 512, false, kUtf8), 1);
    std::size_t rest_rows = 0;
    for (const auto& a : rest) rest_rows += a.second.rows.size();
    EXPECT_EQ(rest_rows, all_rows - lost);
}

// The compact decode of a table walk gives, page by page, exactly the rows parse_table_page gives (values
// only): order, values, keys, offsets and stored headers, on table, index and WITHOUT ROWID leaves, with
// overflow (values long enough to take the payload's storage among them), NULL keys, rows that look like
// schema rows, and cell pointers swapped out of key order (records whose header does not decode aside).
TEST(DecodeLeafRows, same_rows_as_parse_table_page) {
    temp_dir dir;
    const std::string path = dir.file("rows.db");
    std::string sql =
        "CREATE TABLE t(id INTEGER PRIMARY KEY, kind TEXT, name TEXT, tbl TEXT, root INTEGER, body BLOB, r "
        "REAL);"
        "CREATE INDEX ti ON t(name);"
        "CREATE TABLE w(k TEXT PRIMARY KEY, v) WITHOUT ROWID;";
    for (int i = 1; i <= 60; ++i) {
        const std::string n = std::to_string(i);
        const std::string kind = i % 7 == 3 ? "'table'" : (i % 11 == 5 ? "'index'" : "NULL");
        std::string body = i % 9 == 0 ? "'" + long_text(80) + "'" : "CAST('b" + n + "' AS BLOB)";
        // Long enough for the walk to take the payload's storage for it, as a text and as a blob.
        if (i == 17 || i == 23) body = "CAST('" + long_text(9000) + "' AS " + (i == 17 ? "TEXT)" : "BLOB)");
        sql += "INSERT INTO t VALUES(" + (i % 5 == 0 ? std::string("NULL") : n) + ", " + kind + ", 'n" + n +
               "', 't', " + n + ", " + body + ", " + n + ".25);";
        sql += "INSERT INTO w VALUES('k" + n + "', " + (i % 4 == 0 ? "NULL" : n) + ");";
    }
    make_db(path, 512, sql);
    auto file = read_all(path);
    uni::fileio f;
    ASSERT_TRUE(f.open(path, false, false, false));
    const std::uint32_t w_root = root_of(path, "w");
    std::size_t compared = 0;
    for (std::uint32_t p = 2; p <= file.size() / 512; ++p) {
        auto page = page_bytes(file, p, 512);
        // Out of key order: the first two cell pointers swapped on every other leaf.
        if (p % 2 == 0 && (page[0] == kPageTableLeaf || page[0] == kPageIndexLeaf) && page[4] >= 2)
            for (int b = 0; b < 2; ++b) std::swap(page[8 + b], page[10 + b]);
        const std::uint64_t off = (p - 1) * 512ull;
        for (int combo = 0; combo < 8; ++combo) {
            leaf_page_options o(512, combo & 1 ? &f : nullptr);
            o.raw_blob = (combo & 2) != 0;
            o.keep_header = (combo & 4) != 0;
            o.skip_overflow = combo == 5;
            o.without_rowid = p >= w_root && combo == 7;
            o.values_only = true;
            artifact_map out;
            (void)parse_table_page(out, page.data(), 512, off, off, o);
            std::vector<table_record> expected;
            for (const auto& a : out) {
                if (a.second.kind != kArtifactTableRows && a.second.kind != kArtifactIndexRows) continue;
                for (const auto& r : a.second.rows) {
                    // A record whose header does not decode gives no values: the walk skips it and says so.
                    if (r.second.values.empty()) continue;
                    expected.emplace_back(r.second.values, r.second.rowid, r.second.file_offset);
                    expected.back().header_bytes = r.second.header_bytes;
                }
            }
            std::vector<table_record> rows(3);  // storage left from an earlier page is reused
            rows[0].values = {"stale"};
            leaf_row_buffers buffers;
            const std::size_t n = decode_leaf_rows(rows, buffers, page.data(), off, o);
            ASSERT_EQ(n, expected.size()) << "page " << p << " options " << combo;
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_EQ(rows[i].values, expected[i].values) << "page " << p << " row " << i;
                EXPECT_EQ(rows[i].rowid, expected[i].rowid);
                EXPECT_EQ(rows[i].record_offset, expected[i].record_offset);
                EXPECT_EQ(rows[i].header_bytes, expected[i].header_bytes);
            }
            compared += n;
        }
    }
    EXPECT_GT(compared, 400u);
}
