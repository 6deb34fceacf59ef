#include "sqlite_format/page_dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "io/fileio.h"
#include "reader_fixtures.h"
#include "sqlite_format/btree.h"

using namespace reader_fixtures;

namespace {

std::vector<std::string> select_lines(const std::string& path, const std::string& table) {
    std::vector<std::string> out;
    for (const auto& row : query(path, "SELECT * FROM " + table)) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) line += (i ? " | " : "") + row[i];
        out.push_back(line);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> exported(const std::string& path, const std::string& table,
                                  std::uint32_t* root = nullptr) {
    std::vector<std::string> lines;
    std::uint32_t r = 0;
    EXPECT_EQ(export_table_rows(lines, r, path, table, 0, -1, true), 1) << table;
    if (root) *root = r;
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::uint32_t root_of(const std::string& path, const std::string& table) {
    return static_cast<std::uint32_t>(
        std::stoul(query(path, "SELECT rootpage FROM sqlite_master WHERE name='" + table + "'")[0][0]));
}

const char kRows[] =
    "CREATE TABLE t(id INTEGER PRIMARY KEY, label TEXT, amount INTEGER, payload BLOB, note TEXT);"
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 300) "
    "INSERT INTO t(label, amount, payload, note) SELECT 'label ' || x, x * 7, x'00ff10', "
    "CASE WHEN x % 10 = 0 THEN printf('%.*c', 3000 + x, 'z') WHEN x % 3 = 0 THEN NULL ELSE 'n' || x END FROM "
    "c;";

TEST(ExportTableRows, equals_select_with_interior_pages_and_overflow_rows) {
    temp_dir dir;
    const std::string path = dir.file("rows.db");
    make_db(path, 512, kRows);
    std::uint32_t root = 0;
    const auto lines = exported(path, "t", &root);
    EXPECT_EQ(root, root_of(path, "t"));
    EXPECT_EQ(read_all(path)[(root - 1) * 512], 5);  // the root is an interior page
    EXPECT_EQ(lines.size(), 300u);
    EXPECT_EQ(lines, select_lines(path, "t"));
}

TEST(ExportTableRows, table_found_before_an_index_with_a_lower_root_page) {
    temp_dir dir;
    const std::string path = dir.file("idx.db");
    // The dropped table frees page 2; the index created afterwards takes it, below the table's own root.
    make_db(path, 1024,
            "CREATE TABLE gone(x); CREATE TABLE t(a TEXT, b INTEGER); DROP TABLE gone;"
            "CREATE INDEX t_by_b ON t(b); INSERT INTO t VALUES ('one', 1), ('two', NULL), ('three', 3);");
    ASSERT_LT(root_of(path, "t_by_b"), root_of(path, "t"));
    std::uint32_t root = 0;
    EXPECT_EQ(exported(path, "t", &root), select_lines(path, "t"));
    EXPECT_EQ(root, root_of(path, "t"));
}

TEST(ExportTableRows, schema_of_several_levels_and_a_database_in_wal_mode) {
    temp_dir dir;
    const std::string deep = dir.file("deep.db");
    std::string sql;
    for (int t = 0; t < 40; ++t) {
        const std::string name = "table_with_a_long_descriptive_name_" + std::to_string(t);
        std::string cols = "id INTEGER PRIMARY KEY, first_descriptive_column TEXT, second_column TEXT";
        for (int c = 0; c < 8; ++c)
            cols += ", another_descriptive_column_name_" + std::to_string(c) + " TEXT";
        sql += "CREATE TABLE " + name + "(" + cols + ");";
        sql += "CREATE INDEX index_on_" + name + "_first ON " + name +
               "(first_descriptive_column, second_column);";
        sql +=
            "CREATE INDEX second_index_on_" + name + " ON " + name + "(another_descriptive_column_name_1);";
        sql += "INSERT INTO " + name + "(id, first_descriptive_column) VALUES (" + std::to_string(t) +
               ", 'a" + std::to_string(t) + "');";
    }
    make_db(deep, 512, "BEGIN;" + sql + "COMMIT;");
    const auto bytes = read_all(deep);
    ASSERT_EQ(bytes[100], 5);
    ASSERT_EQ(bytes[(get_be32(bytes, 108) - 1) * 512], 5);  // a child of page 1 is interior too
    // Its CREATE TABLE texts continue on overflow pages, and are still found by name.
    for (const char* t : {"table_with_a_long_descriptive_name_0", "table_with_a_long_descriptive_name_39"})
        EXPECT_EQ(exported(deep, t), select_lines(deep, t));

    // WAL mode, checkpointed with the log still beside the file: the file holds every row.
    const std::string wal = dir.file("wal.db");
    sqlite3* db = open_db(wal);
    ASSERT_NE(db, nullptr);
    exec(db,
         "PRAGMA secure_delete=OFF; PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA "
         "wal_autocheckpoint=0;");
    exec(db, kRows);
    exec(db, "UPDATE t SET label = 'changed' WHERE id % 4 = 0; DELETE FROM t WHERE id % 9 = 0;");
    exec(db, "PRAGMA wal_checkpoint(PASSIVE);");
    ASSERT_GT(read_all(wal + "-wal").size(), 0u);
    EXPECT_EQ(exported(wal, "t"), select_lines(wal, "t"));
    sqlite3_close(db);
}

TEST(ExportTableRows, bounds_given_root_single_values_and_refusals) {
    temp_dir dir;
    const std::string path = dir.file("small.db");
    make_db(path, 1024,
            "CREATE TABLE one(v TEXT); INSERT INTO one VALUES ('only'), ('x | y');"
            "CREATE TABLE r(id INTEGER PRIMARY KEY, v TEXT);"
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 50) INSERT INTO r "
            "SELECT x, 'v' || x FROM c;");
    std::vector<std::string> lines;
    std::uint32_t root = root_of(path, "one");
    ASSERT_EQ(export_table_rows(lines, root, path, "", 0, -1, false), 1);  // root given: no lookup, no name
    EXPECT_EQ(lines, (std::vector<std::string>{"only", "x | y"}));
    std::ostringstream os;
    root = 0;
    // The walk starts at the leaf that holds rowid 10 and stops at rowid 10 + 2; the leaf's earlier rows come
    // too.
    ASSERT_EQ(print_table_rows(os, root, path, "r", 10, 2, false), 1);
    std::string want;
    for (int i = 1; i <= 12; ++i) want += std::to_string(i) + " | v" + std::to_string(i) + "\n";
    EXPECT_EQ(os.str(), want);
    struct Case {
        const char* name;
        std::string path;
        std::uint32_t root;
        std::string table;
    };
    const Case refused[] = {
        {"empty path", "", 2, "one"},
        {"no root and no name", path, 0, ""},
        {"not in the schema", path, 0, "missing"},
        {"root past the end", path, 1000, ""},
        {"not a database", dir.file("none.db"), 2, ""},
    };
    for (const Case& c : refused) {
        std::uint32_t r = c.root;
        lines = {"stale"};
        EXPECT_EQ(export_table_rows(lines, r, c.path, c.table, 0, -1, false), 0) << c.name;
        EXPECT_TRUE(lines.empty()) << c.name;
    }
    std::ostringstream none;
    root = 0;
    EXPECT_EQ(print_table_rows(none, root, path, "missing", 0, -1, false), 0);
    EXPECT_TRUE(none.str().empty());
}

TEST(PageDump, listing_of_every_page) {
    temp_dir dir;
    const std::string path = dir.file("list.db");
    make_db(path, 1024,
            "CREATE TABLE a(x); INSERT INTO a VALUES (1); CREATE TABLE b(y); INSERT INTO b VALUES (2);");
    std::ostringstream os;
    ASSERT_EQ(dump_db_pages(&os, path), 1);
    const std::string rule(25, '-');
    const std::string heading = rule + "\n\nCell data\n" + rule + "\n\n";
    EXPECT_EQ(os.str(), "first page of SQLite File\n" + rule + "\n1024\nPage Header: 0x0001\n" + heading +
                            "Page Header: 0x0002\n" + heading + "Page Header: 0x0003\n" + heading);
    EXPECT_EQ(dump_db_pages(nullptr, path), 1);
    EXPECT_EQ(dump_db_pages(&os, dir.file("missing.db")), 0);
}

TEST(PageDump, page_headers_stay_inside_the_chunk_and_need_a_page_size) {
    temp_dir dir;
    const std::string path = dir.file("h.db");
    make_db(path, 1024, "CREATE TABLE a(x); INSERT INTO a VALUES (1);");
    auto bytes = read_all(path);
    ASSERT_EQ(bytes.size(), 2048u);
    std::uint32_t ps = 0;
    sqlite_db_extract x;
    ASSERT_EQ(dump_page_headers(nullptr, &x, ps, bytes.data(), 1024, 0), 1);
    EXPECT_EQ(ps, 1024u);
    ASSERT_EQ(x.unparsed.count(100), 1u);
    EXPECT_EQ(x.unparsed.find(100)->second.kind, kArtifactRawPage);
    EXPECT_EQ(x.unparsed.find(100)->second.bytes.size(), 1024u);
    ASSERT_EQ(dump_page_headers(nullptr, &x, ps, bytes.data() + 1024, 1024, 1024), 1);
    EXPECT_EQ(x.unparsed.begin()->second.page_number, 2u);
    // Every prefix of page 1 is refused without reading past it.
    for (std::uint32_t n = 1; n < 112; ++n) {
        std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + n);
        std::uint32_t p = 0;
        EXPECT_EQ(dump_page_headers(nullptr, nullptr, p, cut.data(), n, 0), 0) << n;
    }
    std::uint32_t zero = 0;
    EXPECT_EQ(dump_page_headers(nullptr, nullptr, zero, bytes.data() + 1024, 1024, 1024), 0);  // no page size
    std::uint32_t small = 256;
    EXPECT_EQ(dump_page_headers(nullptr, nullptr, small, bytes.data() + 1024, 1024, 1024), 0);
    std::vector<std::uint8_t> no_magic = bytes;
    no_magic[0] = 'X';
    EXPECT_EQ(dump_page_headers(nullptr, nullptr, ps, no_magic.data(), 1024, 0), 0);
    std::vector<std::uint8_t> tiny = bytes;
    tiny[16] = 0x01;
    tiny[17] = 0x00;  // 256 bytes
    std::ostringstream os;
    EXPECT_EQ(dump_page_headers(&os, nullptr, ps, tiny.data(), 1024, 0), 0);
    EXPECT_EQ(dump_page_headers(nullptr, nullptr, ps, nullptr, 1024, 0), 0);
    page_chunk_context off;
    uni::fileio f;
    EXPECT_EQ(dump_page_chunk(&f, &off, bytes.data(), 1024, 0, 0), -1);
    off.active = true;
    EXPECT_EQ(dump_page_chunk(nullptr, &off, bytes.data(), 1024, 0, 0), -1);
}

TEST(PageDump, whole_file_extract_and_table_artifacts) {
    temp_dir dir;
    const std::string path = dir.file("x.db");
    make_db(path, 512, kRows + std::string("CREATE INDEX t_label ON t(label);"));
    sqlite_db_extract x;
    ASSERT_EQ(extract_db_file(x, path, false, false), 1);
    EXPECT_EQ(x.page_size, 512u);
    EXPECT_EQ(x.header_known, 1);
    EXPECT_EQ(x.header_bytes.size(), 100u);
    EXPECT_EQ(x.file_size, read_all(path).size());
    EXPECT_FALSE(x.tables.empty());
    EXPECT_FALSE(x.indexes.empty());
    EXPECT_FALSE(x.interior.empty());
    EXPECT_FALSE(x.other.empty());  // the schema rows
    // Overflow pages bind as nothing: they are kept whole.
    EXPECT_FALSE(x.unbound.empty() && x.unparsed.empty());

    // The file's own page size wins over the one given.
    sqlite_db_extract t;
    ASSERT_EQ(extract_table_artifacts(t, path, 4096, root_of(path, "t"), kUtf8), 1);
    EXPECT_EQ(t.page_size, 512u);
    std::size_t rows = 0;
    for (const auto& a : t.tables) rows += a.second.rows.size();
    EXPECT_EQ(rows, 300u);
    EXPECT_FALSE(t.interior.empty());
    EXPECT_EQ(extract_table_artifacts(t, path, 512, 100000, kUtf8), 0);
    EXPECT_EQ(extract_table_artifacts(t, path, 512, 0, kUtf8), 0);

    // Files refused: too short, a page size under 512, no magic unless asked for.
    auto bytes = read_all(path);
    write_all(dir.file("short.db"), std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 511));
    EXPECT_EQ(extract_db_file(x, dir.file("short.db"), true, false), 0);
    auto small = bytes;
    small[16] = 0x01;
    small[17] = 0x00;
    write_all(dir.file("small.db"), small);
    EXPECT_EQ(extract_db_file(x, dir.file("small.db"), true, false), 0);
    auto headless = bytes;
    headless[0] = 'X';
    write_all(dir.file("headless.db"), headless);
    EXPECT_EQ(extract_db_file(x, dir.file("headless.db"), false, false), 0);
    ASSERT_EQ(extract_db_file(x, dir.file("headless.db"), true, false), 1);
    EXPECT_EQ(x.header_known, 0);
    EXPECT_FALSE(x.tables.empty());  // the pages after the first still parse
    // A table file without a header takes the page size it is given.
    ASSERT_EQ(extract_table_artifacts(t, dir.file("headless.db"), 512, root_of(path, "t"), kUtf8), 1);
    EXPECT_EQ(extract_table_artifacts(t, dir.file("headless.db"), 100, root_of(path, "t"), kUtf8), 0);
}

TEST(PageDump, extract_page_into_refusals) {
    temp_dir dir;
    const std::string path = dir.file("p.db");
    make_db(path, 1024, "CREATE TABLE a(x); INSERT INTO a VALUES (1);");
    const auto bytes = read_all(path);
    sqlite_db_extract x;
    EXPECT_EQ(extract_page_into(x, bytes.data(), 1024, 0, false, nullptr), 0);  // header not known
    x.header_known = 1;
    EXPECT_EQ(extract_page_into(x, bytes.data(), 50, 0, false, nullptr), 0);  // shorter than a header
    ASSERT_EQ(extract_page_into(x, bytes.data(), 1024, 0, false, nullptr), 1);
    EXPECT_EQ(x.page_size, 1024u);
    EXPECT_EQ(x.header_bytes.size(), 100u);
    std::vector<std::uint8_t> junk(1024, 0xEE);
    EXPECT_EQ(extract_page_into(x, junk.data(), 1024, 2048, false, nullptr), 0);
    EXPECT_EQ(x.unparsed.count(2048), 1u);
    sqlite_db_extract none;
    none.header_known = 1;
    EXPECT_EQ(extract_page_into(none, bytes.data() + 1024, 1024, 1024, false, nullptr),
              0);  // no page size yet
}

}  // namespace
