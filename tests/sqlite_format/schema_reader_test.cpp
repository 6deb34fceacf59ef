#include "sqlite_format/schema_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "io/fileio.h"
#include "reader_fixtures.h"
#include "sqlite_format/database_paths.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/file_map.h"
#include "sqlite_format/format.h"
#include "sqlite_format/journal.h"
#include "sqlite_format/wal.h"

using namespace reader_fixtures;

namespace {

using schema_entry = std::tuple<std::string, std::string, std::string>;  // name, root page, sql

std::vector<schema_entry> master_by_library(const std::string& path) {
    std::vector<schema_entry> out;
    for (const auto& r :
         query(path, "SELECT name, rootpage, sql FROM sqlite_master WHERE type IN ('table','index')"))
        out.emplace_back(r[0], r[1], r[2]);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<schema_entry> master_by_reader(const std::vector<std::string>& names,
                                           const std::vector<std::string>& sqls,
                                           const std::vector<std::uint32_t>& roots) {
    std::vector<schema_entry> out;
    for (std::size_t i = 0; i < names.size(); ++i)
        out.emplace_back(names[i], std::to_string(roots[i]), sqls[i]);
    std::sort(out.begin(), out.end());
    return out;
}

// Forty tables with an index each, SQL texts long enough that the schema table needs several
// interior levels on 512-byte pages, rows that overflow, and deletes that leave free space.
std::string make_big_schema_db(const temp_dir& dir) {
    const std::string path = dir.file("big.db");
    std::string sql;
    for (int t = 0; t < 40; ++t) {
        const std::string name = "table_number_" + std::to_string(t);
        std::string cols = "id INTEGER PRIMARY KEY, label TEXT, amount INTEGER, payload BLOB";
        for (int c = 0; c < 8; ++c) cols += ", descriptive_column_name_" + std::to_string(c) + " TEXT";
        sql += "CREATE TABLE " + name + "(" + cols + ");";
        sql += "CREATE INDEX index_on_" + name + "_label_and_amount_columns ON " + name + "(label, amount);";
        sql += "CREATE INDEX second_index_on_" + name + "_descriptive ON " + name +
               "(descriptive_column_name_1);";
        const int rows = t % 5 == 0 ? 120 : 6;
        sql += "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
               std::to_string(rows) + ") INSERT INTO " + name +
               "(label, amount, payload, descriptive_column_name_1) SELECT 'label ' || x, x * " +
               std::to_string(t + 1) +
               ", x'00ff10', CASE WHEN x % 4 = 0 THEN printf('%.*c', 1500 + x, 'z') ELSE " +
               "'short ' || x END FROM c;";
    }
    sql += "DELETE FROM table_number_0 WHERE id % 3 = 0; DELETE FROM table_number_5 WHERE id > 60;";
    make_db(path, 512, sql);
    return path;
}

int read_schema(const std::string& path, std::vector<std::string>& names, std::vector<std::string>& sqls,
                std::vector<std::uint32_t>& roots, std::uint32_t* ps = nullptr, std::uint8_t flag = 0) {
    uni::fileio f;
    std::uint32_t page_size = 0;
    const int r = read_master_table(names, sqls, roots, f, page_size, path, flag);
    if (ps) *ps = page_size;
    return r;
}

}  // namespace

TEST(ReadMasterTable, forty_tables_under_several_interior_levels_equal_sqlite_master) {
    temp_dir dir;
    const std::string path = make_big_schema_db(dir);
    auto bytes = read_all(path);
    ASSERT_EQ(bytes[100], 5);  // page 1 is interior
    // A child of page 1 is interior too: more than two levels.
    const std::uint32_t child = get_be32(bytes, 100 + 8);
    ASSERT_EQ(bytes[(child - 1) * 512], 5);
    std::vector<std::string> names, sqls;
    std::vector<std::uint32_t> roots;
    std::uint32_t ps = 0;
    ASSERT_EQ(read_schema(path, names, sqls, roots, &ps), 1);
    EXPECT_EQ(ps, 512u);
    ASSERT_EQ(names.size(), sqls.size());
    ASSERT_EQ(names.size(), roots.size());
    EXPECT_EQ(names.size(), 120u);
    EXPECT_EQ(master_by_reader(names, sqls, roots), master_by_library(path));
}

TEST(ExtractTableRecords, every_table_equals_select_with_overflowing_rows) {
    temp_dir dir;
    const std::string path = make_big_schema_db(dir);
    std::vector<std::string> names, sqls;
    std::vector<std::uint32_t> roots;
    ASSERT_EQ(read_schema(path, names, sqls, roots), 1);
    uni::fileio f;
    ASSERT_TRUE(f.open(path, false, false, false));
    int checked = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].rfind("table_number_", 0) != 0) continue;
        std::vector<table_record> rows;
        ASSERT_EQ(extract_table_records(rows, f, (roots[i] - 1) * 512ull, 512, 0, -1, true, true, kUtf8), 1)
            << names[i];
        std::vector<std::vector<std::string>> got;
        for (const auto& r : rows) {
            got.push_back(r.values);
            EXPECT_EQ(r.values[0], std::to_string(r.rowid));
            EXPECT_FALSE(r.header_bytes.empty());
            EXPECT_GT(r.record_offset, 0u);
        }
        std::sort(got.begin(), got.end());
        auto want = query(path, "SELECT * FROM " + names[i]);
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << names[i];
        ++checked;
    }
    EXPECT_EQ(checked, 40);
}

TEST(ExtractTableRecords, first_rowid_and_count_bound_the_walk) {
    temp_dir dir;
    const std::string path = dir.file("range.db");
    make_db(path, 512,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
            "WITH RECURSIVE c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x < 400) "
            "INSERT INTO t SELECT x, 'v' || x FROM c;");
    const auto root = std::stoul(query(path, "SELECT rootpage FROM sqlite_master WHERE name='t'")[0][0]);
    uni::fileio f;
    ASSERT_TRUE(f.open(path, false, false, false));
    std::vector<table_record> rows;
    ASSERT_EQ(extract_table_records(rows, f, (root - 1) * 512, 512, 0, 0, false, false, kUtf8), 1);
    ASSERT_EQ(rows.size(), 1u);  // only rowid 0, and the walk stops there
    EXPECT_EQ(rows[0].rowid, 0u);
    ASSERT_EQ(extract_table_records(rows, f, (root - 1) * 512, 512, 300, 10, false, false, kUtf8), 1);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back().rowid, 310u);
    for (const auto& r : rows) EXPECT_LE(r.rowid, 310u);
    // The interior pages found once are reused.
    std::vector<sqlite_artifact> interiors;
    ASSERT_EQ(extract_table_records_ex(rows, f, (root - 1) * 512, 512, 0, -1, false, false, kUtf8, interiors),
              1);
    EXPECT_EQ(rows.size(), 401u);
    ASSERT_FALSE(interiors.empty());
    const auto kept = interiors.size();
    ASSERT_EQ(extract_table_records_ex(rows, f, (root - 1) * 512, 512, 0, -1, false, false, kUtf8, interiors),
              1);
    EXPECT_EQ(rows.size(), 401u);
    EXPECT_EQ(interiors.size(), kept);
    uni::fileio closed;
    EXPECT_EQ(extract_table_records(rows, closed, 0, 512, 0, -1, false, false, kUtf8), 0);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(extract_table_records(rows, f, 0, 0, 0, -1, false, false, kUtf8), 0);
}

TEST(ReadMasterTable, leaf_page_one_empty_name_and_open_file) {
    temp_dir dir;
    const std::string path = dir.file("leaf1.db");
    make_db(path, 1024, "CREATE TABLE a(x INTEGER); CREATE INDEX ai ON a(x);");
    // Blank the index's name in place: same length, so the record stays sound.
    auto bytes = read_all(path);
    std::string text(bytes.begin(), bytes.end());
    const auto at = text.find("indexaia");  // type, name, tbl_name stored back to back
    ASSERT_NE(at, std::string::npos);
    std::vector<std::string> names, sqls;
    std::vector<std::uint32_t> roots;
    uni::fileio f;
    ASSERT_TRUE(f.open(path, false, false, false));
    std::uint32_t ps = 1024;
    std::uint8_t flag = 1;
    ASSERT_EQ(read_master_table(names, sqls, roots, f, ps, "", flag), 1);
    EXPECT_EQ(flag, 0);  // page 1 came from the main file
    EXPECT_EQ(master_by_reader(names, sqls, roots), master_by_library(path));
    // A page size that differs from the file's fails.
    std::uint32_t wrong = 2048;
    EXPECT_EQ(read_master_table(names, sqls, roots, f, wrong, "", flag), 0);
    EXPECT_TRUE(names.empty());
    // A name of zero length is listed as "<noname>": the name's serial type becomes 13 (empty text)
    // and its two bytes join the table name (15 -> 19), so the record stays sound.
    cell_map cells;
    ASSERT_EQ(parse_btree_page(cells, bytes.data(), 1024, 1024, 0, false), 1);
    bool patched = false;
    for (const auto& c : cells) {
        const std::size_t rec = c.second.cell_offset + c.second.payload_size_length + c.second.rowid_length;
        if (bytes[rec + 1] == 23 && bytes[rec + 2] == 17 && bytes[rec + 3] == 15) {
            bytes[rec + 2] = 13;
            bytes[rec + 3] = 19;
            patched = true;
        }
    }
    ASSERT_TRUE(patched);
    write_all(dir.file("noname.db"), bytes);
    std::uint8_t f2 = 0;
    uni::fileio g;
    std::uint32_t ps2 = 0;
    ASSERT_EQ(read_master_table(names, sqls, roots, g, ps2, dir.file("noname.db"), f2), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "<noname>"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "a"), 1);
}

namespace {

// A database whose tables exist only in its log: the main file's page 1 has no schema row, so it
// does not bind as a b-tree page. The pair is copied while the connection is open.
std::string make_wal_only_schema_db(const temp_dir& dir, const std::string& folder = "") {
    if (!folder.empty() && ::mkdir(dir.file(folder).c_str(), 0755) != 0) return "";
    const std::string live = dir.file(folder + "walive.db");
    sqlite3* db = open_db(live);
    if (db == nullptr) return "";
    exec(db,
         "PRAGMA secure_delete=OFF; PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA "
         "wal_autocheckpoint=0;");
    exec(db,
         "CREATE TABLE w1(id INTEGER PRIMARY KEY, v TEXT); CREATE TABLE w2(k TEXT, n INTEGER);"
         "CREATE INDEX w2k ON w2(k); INSERT INTO w1(v) VALUES('in the log'); INSERT INTO w2 VALUES('k', 7);");
    const std::string copy = dir.file(folder + "walcopy.db");
    copy_file(live, copy);
    copy_file(live + "-wal", copy + "-wal");
    sqlite3_close(db);
    return copy;
}

}  // namespace

TEST(ReadMasterTable, page_one_only_in_the_log_reads_from_the_log_image) {
    temp_dir dir;
    const std::string path = make_wal_only_schema_db(dir);
    ASSERT_FALSE(path.empty());
    std::vector<std::string> names, sqls;
    std::vector<std::uint32_t> roots;
    // With the flag clear, the caller's file object stays the main file.
    uni::fileio f;
    std::uint32_t ps = 0;
    std::uint8_t flag = 0;
    ASSERT_EQ(read_master_table(names, sqls, roots, f, ps, path, flag), 1);
    EXPECT_FALSE(f.in_memory);
    EXPECT_EQ(flag, 0);
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"w1", "w2", "w2k"}));
    // With the flag set, the file object becomes the image and the flag stays set.
    uni::fileio g;
    std::uint32_t ps2 = 0;
    std::uint8_t flag2 = 1;
    ASSERT_EQ(read_master_table(names, sqls, roots, g, ps2, path, flag2), 1);
    // The image is read in place from the database and the log, not copied into memory.
    EXPECT_TRUE(g.overlay != nullptr);
    EXPECT_FALSE(g.in_memory);
    EXPECT_EQ(flag2, 1);
    // The table rows then come from the image.
    const auto it = std::find(names.begin(), names.end(), "w1");
    ASSERT_NE(it, names.end());
    std::vector<table_record> rows;
    ASSERT_EQ(
        extract_table_records(rows, g, (roots[static_cast<std::size_t>(it - names.begin())] - 1) * 1024ull,
                              1024, 0, -1, false, false, kUtf8),
        1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].values, (std::vector<std::string>{"1", "in the log"}));
    // A path that names the log itself fails when its page 1 does not bind.
    copy_file(path, dir.file("named.db-wal"));
    uni::fileio h;
    std::uint32_t ps3 = 0;
    std::uint8_t flag3 = 0;
    EXPECT_EQ(read_master_table(names, sqls, roots, h, ps3, dir.file("named.db-wal"), flag3), 0);
    // "-wal" inside a folder name does not make the database path a log's.
    const std::string under = make_wal_only_schema_db(dir, "smith-walsh/");
    ASSERT_FALSE(under.empty());
    uni::fileio k;
    std::uint32_t ps4 = 0;
    std::uint8_t flag4 = 0;
    ASSERT_EQ(read_master_table(names, sqls, roots, k, ps4, under, flag4), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "w1"), 1);
}

TEST(ReadMasterTable, real_notification_database_schema_reads_whole) {
    const std::string path = std::string(SELK_FIXTURES_DIR) + "/windows_notifications.db";
    if (!fixture_exists(path))
        GTEST_SKIP() << "fixture windows_notifications.db not found in " << SELK_FIXTURES_DIR;
    auto head = read_all(path);
    ASSERT_GT(head.size(), 200u);
    ASSERT_EQ(head[100], 5);  // page 1 is an interior page
    std::vector<std::string> names, sqls;
    std::vector<std::uint32_t> roots;
    std::uint32_t ps = 0;
    ASSERT_EQ(read_schema(path, names, sqls, roots, &ps), 1);
    EXPECT_EQ(ps, 4096u);
    for (const char* wanted :
         {"NotificationHandler", "byHandlerName", "HandlerSettings", "bySetting", "Notification",
          "notificationById", "notificationByApp", "notificationByActivityId", "notificationByAppByType",
          "notificationByTagGroup", "notificationByType", "notificationExpired", "WNSPushChannel",
          "channelByApp", "channelExpired", "Metadata", "NotificationData", "HandlerAssets",
          "TransientTable"})
        EXPECT_EQ(std::count(names.begin(), names.end(), wanted), 1) << wanted;
    const auto handler = std::find(names.begin(), names.end(), "NotificationHandler");
    ASSERT_NE(handler, names.end());
    EXPECT_EQ(sqls[static_cast<std::size_t>(handler - names.begin())],
              "CREATE TABLE [NotificationHandler] ( [RecordId] INTEGER PRIMARY KEY, [PrimaryId] TEXT NOT "
              "NULL COLLATE "
              "NOCASE, [WNSId] TEXT COLLATE NOCASE, [HandlerType] TEXT, [WNFEventName] INT64, "
              "[SystemDataPropertySet] "
              "BLOB, [CreatedTime] DATETIME, [ModifiedTime] DATETIME, [ParentId] TEXT COLLATE NOCASE, "
              "[ContainerSid] "
              "TEXT COLLATE NOCASE)");
    // The row counts the library shows.
    uni::fileio f;
    ASSERT_TRUE(f.open(path, false, false, false));
    const std::pair<const char*, std::size_t> counts[] = {
        {"Notification", 6}, {"NotificationHandler", 68}, {"HandlerSettings", 1632}, {"WNSPushChannel", 0}};
    for (const auto& c : counts) {
        const auto at = std::find(names.begin(), names.end(), c.first);
        ASSERT_NE(at, names.end());
        std::vector<table_record> rows;
        extract_table_records(rows, f, (roots[static_cast<std::size_t>(at - names.begin())] - 1) * 4096ull,
                              4096, 0, -1, false, false, kUtf8);
        EXPECT_EQ(rows.size(), c.second) << c.first;
    }
}

// A schema row whose record does not fit on its page continues on overflow pages: it is read whole, as a
// table's rows are, whatever the page size and however many pages its text takes.
TEST(ReadMasterTable, schema_rows_on_overflow_pages_read_whole) {
    struct overflow_case {
        int page_size;
        std::size_t comment;  // bytes of a comment inside the CREATE TABLE text
    };
    for (const overflow_case& c : {overflow_case{512, 0}, overflow_case{512, 3000}, overflow_case{4096, 4500},
                                   overflow_case{1024, 9000}}) {
        SCOPED_TRACE("page size " + std::to_string(c.page_size) + ", comment " + std::to_string(c.comment));
        temp_dir dir;
        const std::string path = dir.file("overflow.db");
        make_db(path, c.page_size,
                "CREATE TABLE first_table_with_a_long_name(identifier INTEGER PRIMARY KEY, /*" +
                    std::string(c.comment, 'c') +
                    "*/ description_of_the_row TEXT NOT NULL COLLATE NOCASE, amount_in_cents INTEGER "
                    "DEFAULT '0', the_payload_of_the_row BLOB, UNIQUE(description_of_the_row) ON CONFLICT "
                    "REPLACE, CHECK(amount_in_cents >= 0 AND length(description_of_the_row) < 1000000));"
                    "CREATE TABLE after_it(k TEXT PRIMARY KEY, v INTEGER);"
                    "INSERT INTO first_table_with_a_long_name VALUES(1, 'one', 100, x'00');");
        std::vector<std::string> names, sqls;
        std::vector<std::uint32_t> roots;
        ASSERT_EQ(read_schema(path, names, sqls, roots), 1);
        EXPECT_EQ(master_by_reader(names, sqls, roots), master_by_library(path));
    }
}

// A header whose text encoding contradicts the stored texts: the schema is read in the first other encoding
// that reads it, and the caller is told; a sound header is taken as it is. The root pages read whatever the
// texts read as, even where no encoding reads them (type texts damaged, so that no row is a table or index).
TEST(ReadMasterTable, header_text_encoding_against_the_stored_texts) {
    constexpr text_encoding kLe = text_encoding::utf16le;
    constexpr text_encoding kBe = text_encoding::utf16be;
    struct encoding_case {
        const char* stored;
        std::uint8_t header;     // written over the low byte of the header's text encoding field
        int listed;              // read_master_table's result
        text_encoding encoding;  // the texts were read in it
        bool against;
        bool damaged = false;  // the rows' type texts ("table", "index") are overwritten
    };
    const encoding_case cases[] = {
        {"UTF-8", 1, 1, kUtf8, false}, {"UTF-8", 3, 1, kUtf8, true},        {"UTF-8", 2, 1, kUtf8, true},
        {"UTF-8", 0, 1, kUtf8, true},  {"UTF-16le", 2, 1, kLe, false},      {"UTF-16le", 1, 1, kLe, true},
        {"UTF-16le", 3, 1, kLe, true}, {"UTF-16be", 3, 1, kBe, false},      {"UTF-16be", 1, 1, kBe, true},
        {"UTF-16be", 0, 1, kBe, true}, {"UTF-8", 1, 0, kUtf8, false, true},
    };
    for (const encoding_case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " under header encoding " + std::to_string(c.header));
        temp_dir dir;
        const std::string sound = dir.file("sound.db");
        make_db(sound, 1024,
                std::string("PRAGMA encoding='") + c.stored +
                    "'; CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT); CREATE INDEX tv ON t(v);"
                    "CREATE TABLE u(k TEXT PRIMARY KEY, n INTEGER); CREATE VIEW w AS SELECT v FROM t;"
                    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 200) "
                    "INSERT INTO t SELECT x, 'value ' || x FROM c;");
        std::vector<std::uint8_t> bytes = read_all(sound);
        bytes[59] = c.header;
        for (const std::string word : {"table", "index"}) {
            for (auto at = bytes.begin();
                 c.damaged && (at = std::search(at, bytes.end(), word.begin(), word.end())) != bytes.end();)
                *at++ = 'X';
        }
        const std::string path = dir.file("encoding.db");
        ASSERT_TRUE(write_all(path, bytes));
        std::vector<std::string> names, sqls;
        std::vector<std::uint32_t> roots;
        uni::fileio f;
        std::uint32_t ps = 0;
        std::uint8_t flag = 0;
        schema_text_encoding encoding;
        ASSERT_EQ(read_master_table(names, sqls, roots, f, ps, path, flag, &encoding), c.listed);
        EXPECT_EQ(encoding.header, c.header);
        EXPECT_EQ(encoding.encoding, c.encoding);
        EXPECT_EQ(encoding.against_header, c.against);
        // Two tables, an index, an automatic index and a view, counted where none reads.
        EXPECT_EQ(encoding.rows, c.listed == 1 ? 0u : 5u);
        if (c.listed == 1) {
            EXPECT_EQ(master_by_reader(names, sqls, roots), master_by_library(sound));
        }
        std::vector<std::uint32_t> all;
        ASSERT_EQ(read_schema_roots(all, f, ps), 1);
        std::vector<std::uint32_t> wanted;
        for (const auto& r : query(sound, "SELECT rootpage FROM sqlite_master WHERE rootpage > 0 ORDER BY 1"))
            wanted.push_back(static_cast<std::uint32_t>(std::stoul(r[0])));
        EXPECT_EQ(all, wanted);
    }
}

TEST(CarveBlob, loose_pages_yield_rows_and_interior_pages) {
    temp_dir dir;
    const std::string path = dir.file("blob.db");
    make_db(path, 1024,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 300) "
            "INSERT INTO t SELECT x, 'loose page text ' || x FROM c;");
    auto bytes = read_all(path);
    // Without page 1: a run of pages with no database header.
    std::vector<std::uint8_t> loose(bytes.begin() + 1024, bytes.end());
    artifact_map out;
    ASSERT_EQ(carve_blob(out, loose.data(), loose.size(), false, 1024, 1024), 1);
    std::size_t rows = 0;
    bool interior = false;
    for (const auto& a : out) {
        if (a.second.kind == kArtifactTableRows) rows += a.second.rows.size();
        if (a.second.kind == kArtifactTableInterior) interior = true;
    }
    EXPECT_EQ(rows, 300u);
    EXPECT_TRUE(interior);
    // The page size is found in the bytes when not given.
    artifact_map guessed;
    ASSERT_EQ(carve_blob(guessed, bytes.data(), bytes.size(), false, 0, 0), 1);
    std::size_t rows2 = 0;
    for (const auto& a : guessed)
        if (a.second.kind == kArtifactTableRows) rows2 += a.second.rows.size();
    EXPECT_EQ(rows2, 300u);
    EXPECT_EQ(carve_blob(out, nullptr, 10, false, 0, 0), 0);
    EXPECT_EQ(carve_blob(out, loose.data(), 0, false, 0, 0), 0);
    EXPECT_TRUE(out.empty());
    // Bytes with no page header at all still end (a guessed page size is used).
    std::vector<std::uint8_t> noise(5000, 0x7F);
    carve_blob(out, noise.data(), noise.size(), false, 0, 0);
}

// Flips bytes of page headers, cell pointers, freeblocks, free-list trunks, the log header and
// frames and the journal header, and runs the map, the walk and the schema reader on every
// variant. The sanitizers catch any read outside a buffer. A reader that loops for ever is stopped by
// ctest's timeout; the work of one that ends is bounded: a table walk reads no cell twice, an overflow chain
// is no longer than the file, and the schema lists no more names than its pages have room for cells.
TEST(Mutation, damaged_structures_never_crash_or_hang) {
    temp_dir dir;
    // Main database: small pages, an interior schema, free-list pages and freeblocks.
    const std::string db = dir.file("m.db");
    std::string sql;
    for (int t = 0; t < 5; ++t) {
        sql += "CREATE TABLE m" + std::to_string(t) + "(id INTEGER PRIMARY KEY, v TEXT, w TEXT);";
        sql += "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 40) INSERT INTO m" +
               std::to_string(t) +
               " SELECT x, 'value ' || x, CASE WHEN x % 13 = 0 THEN printf('%.*c', 700, 'q') END FROM c;";
    }
    sql += "DELETE FROM m1 WHERE id % 2 = 0; DROP TABLE m4;";
    make_db(db, 512, sql);
    const auto clean = read_all(db);
    std::vector<std::string> names, sqls;
    std::vector<std::uint32_t> roots;
    ASSERT_EQ(read_schema(db, names, sqls, roots), 1);

    std::vector<std::size_t> positions;
    const std::uint32_t pages = static_cast<std::uint32_t>(clean.size() / 512);
    for (std::uint32_t p = 1; p <= pages; ++p) {
        const std::size_t base = (p - 1) * 512u;
        const std::size_t hdr = p == 1 ? base + 100 : base;
        for (std::size_t i = 0; i < 12; ++i) positions.push_back(hdr + i);   // page header / trunk
        for (std::size_t i = 12; i < 20; ++i) positions.push_back(hdr + i);  // cell pointers
        const std::uint32_t fb = get_be16(clean, hdr + 1);
        if (fb != 0 && fb + 4 <= 512)
            for (std::size_t i = 0; i < 4; ++i) positions.push_back(base + fb + i);  // first freeblock
        const std::uint32_t first_cell = get_be16(clean, hdr + (clean[hdr] == 13 ? 8 : 12));
        if (first_cell != 0 && first_cell + 4 <= 512)
            for (std::size_t i = 0; i < 4; ++i) positions.push_back(base + first_cell + i);  // a cell's start
    }
    for (std::size_t i = 28; i < 40; ++i) positions.push_back(i);  // database size and free-list fields

    const std::uint8_t flips[] = {0xFF, 0x80, 0x01};
    const std::string mutated = dir.file("mut.db");
    // Every cell takes at least its 2-byte pointer and 2 bytes of the page.
    const std::size_t cells_the_file_holds = clean.size() / 4;
    int cases = 0;
    for (std::size_t pos : positions) {
        for (std::uint8_t x : flips) {
            auto b = clean;
            b[pos] ^= x;
            write_all(mutated, b);
            region_map free_space;
            map_db_free_space(free_space, mutated);
            std::vector<std::string> n2, s2;
            std::vector<std::uint32_t> r2;
            read_schema(mutated, n2, s2, r2);
            uni::fileio f;
            if (f.open(mutated, false, false, false)) {
                for (std::uint32_t root : roots) {
                    std::vector<table_record> rows;
                    extract_table_records(rows, f, (root - 1) * 512ull, 512, 0, -1, true, true, kUtf8);
                    std::set<std::uint64_t> cells;
                    for (const table_record& row : rows) cells.insert(row.record_offset);
                    EXPECT_EQ(cells.size(), rows.size()) << "byte " << pos << " ^ " << int(x);
                }
                std::vector<std::uint8_t> chain;
                follow_overflow_chain(chain, f, get_be32(b, 32), 512);
                EXPECT_LE(chain.size(), b.size()) << "byte " << pos << " ^ " << int(x);
            }
            EXPECT_LE(n2.size(), cells_the_file_holds) << "byte " << pos << " ^ " << int(x);
            ++cases;
        }
    }
    EXPECT_GT(cases, 300);

    // Log and journal companions.
    const std::string wal_db = make_wal_only_schema_db(dir);
    ASSERT_FALSE(wal_db.empty());
    const auto wal_clean = read_all(wal_db + "-wal");
    std::vector<std::size_t> wal_positions;
    for (std::size_t i = 0; i < 32; ++i) wal_positions.push_back(i);
    for (std::size_t f = 32; f + 24 + 1024 <= wal_clean.size(); f += 1024 + 24) {
        for (std::size_t i = 0; i < 16; ++i) wal_positions.push_back(f + i);   // page number, commit, salts
        for (std::size_t i = 24; i < 36; ++i) wal_positions.push_back(f + i);  // the page image's header
    }
    const std::string wal_mut = dir.file("wm.db");
    copy_file(wal_db, wal_mut);
    for (std::size_t pos : wal_positions) {
        for (std::uint8_t x : flips) {
            auto b = wal_clean;
            b[pos] ^= x;
            write_all(wal_mut + "-wal", b);
            region_map o, s, sl;
            wal_frame_map v;
            parse_wal_path(o, v, s, sl, wal_mut + "-wal");
            std::vector<std::uint8_t> image;
            build_wal_db_image(image, wal_mut);
            std::vector<std::string> n2, s2;
            std::vector<std::uint32_t> r2;
            read_schema(wal_mut, n2, s2, r2, nullptr, 1);
            EXPECT_LE(n2.size(), (wal_clean.size() + read_all(wal_mut).size()) / 4)
                << "log byte " << pos << " ^ " << int(x);
        }
    }

    // A hot journal's header.
    const std::string live = dir.file("jl.db");
    make_db(live, 512, "CREATE TABLE j(a TEXT); INSERT INTO j VALUES('one'),('two');");
    sqlite3* h = open_db(live);
    ASSERT_NE(h, nullptr);
    exec(h, "PRAGMA journal_mode=DELETE; BEGIN; UPDATE j SET a = a || 'x';");
    const auto journal_clean = read_all(live + "-journal");
    exec(h, "ROLLBACK;");
    sqlite3_close(h);
    ASSERT_GT(journal_clean.size(), 516u);
    const std::string jpath = dir.file("jm.db-journal");
    for (std::size_t pos = 0; pos < 32; ++pos) {
        for (std::uint8_t x : flips) {
            auto b = journal_clean;
            b[pos] ^= x;
            if (pos < 4) b[512 + pos] ^= x;  // the first record's page number too
            write_all(jpath, b);
            uni::fileio f;
            ASSERT_TRUE(f.open(jpath, false, false, false));
            journal_page_map pages;
            std::uint32_t ps = 512;
            parse_rollback_journal(pages, ps, f);
            for (const auto& p : pages) EXPECT_LE(p.second + ps, b.size()) << "journal byte " << pos;
        }
    }
}

namespace {

// The children of a table interior page, with the rowid range each holds: (child, lowest key, highest key).
struct child_range {
    std::uint32_t child;
    std::uint64_t low;   // keys above this
    std::uint64_t high;  // up to this one
};
std::vector<child_range> interior_children(const std::vector<std::uint8_t>& bytes, std::uint32_t page,
                                           std::uint32_t page_size) {
    const std::size_t at = (page - 1) * static_cast<std::size_t>(page_size);
    std::vector<child_range> out;
    std::uint64_t low = 0;
    for (std::uint32_t i = 0; i < get_be16(bytes, at + 3); ++i) {
        const std::size_t cell = at + get_be16(bytes, at + 12 + 2 * i);
        std::uint64_t key = 0;
        for (std::size_t k = cell + 4; k < cell + 13; ++k) {
            key = (key << 7) | (bytes[k] & 0x7f);
            if ((bytes[k] & 0x80) == 0) break;
        }
        out.push_back({get_be32(bytes, cell), low, key});
        low = key;
    }
    out.push_back({get_be32(bytes, at + 8), low, UINT64_MAX});
    return out;
}

// A varint of the format at `at`; `length` gets its length.
std::uint64_t varint_at(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t* length) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 9; ++i) {
        const std::uint8_t b = bytes[at + i];
        if (i == 8) {
            *length = 9;
            return (value << 8) | b;
        }
        value = (value << 7) | (b & 0x7f);
        if ((b & 0x80) == 0) {
            *length = i + 1;
            return value;
        }
    }
    return value;
}

// One cell of a table leaf: where it lies in the file, its payload size and its rowid.
struct leaf_cell {
    std::size_t at;        // file offset of the cell
    std::uint16_t offset;  // its offset in the page
    std::uint64_t payload;
    std::uint64_t rowid;
    std::size_t header;  // bytes of its two varints
};
leaf_cell cell_of(const std::vector<std::uint8_t>& bytes, std::uint32_t page, std::uint32_t index) {
    const std::size_t page_at = (page - 1) * 512u;
    leaf_cell c{};
    c.offset = static_cast<std::uint16_t>(get_be16(bytes, page_at + 8 + 2 * index));
    c.at = page_at + c.offset;
    std::size_t n1 = 0, n2 = 0;
    c.payload = varint_at(bytes, c.at, &n1);
    c.rowid = varint_at(bytes, c.at + n1, &n2);
    c.header = n1 + n2;
    return c;
}

// Collects what a walk skips.
struct skip_list : skip_reporter {
    void skipped(const skipped_span& span) override { texts.push_back(skipped_span_text(span)); }
    std::vector<std::string> texts;
};

}  // namespace

// One damaged page of a table of three levels: the walk reads every row the other pages still lead to, and
// says the page it skipped, where and why.
TEST(VisitTableRecords, damaged_page_is_said_and_hides_no_other_rows) {
    temp_dir dir;
    const std::string path = dir.file("levels.db");
    make_db(path, 512,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT);"
            "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000) "
            "INSERT INTO t SELECT x, 'row ' || x || ' ' || hex(randomblob(20)) FROM c;"
            "INSERT INTO t VALUES(3001, printf('%.*c', 2000, 'o'));");
    const std::uint32_t root =
        static_cast<std::uint32_t>(std::stoul(query(path, "SELECT rootpage FROM sqlite_master")[0][0]));
    const std::vector<std::uint8_t> intact = read_all(path);
    ASSERT_EQ(intact[(root - 1) * 512], 5);
    const std::vector<child_range> top = interior_children(intact, root, 512);
    ASSERT_GE(top.size(), 3u);
    ASSERT_EQ(intact[(top[1].child - 1) * 512], 5) << "three levels";
    const std::vector<child_range> second = interior_children(intact, top[1].child, 512);
    ASSERT_EQ(intact[(second[2].child - 1) * 512], 13);

    // Cells of a leaf: its first two, its last (the one nearest the page end), and the cell of the long row,
    // whose chain of overflow pages starts at `chain`.
    const std::uint32_t leaf = second[2].child;
    const std::size_t leaf_at = (leaf - 1) * 512u;
    const std::uint32_t leaf_cells = get_be16(intact, leaf_at + 3);
    const leaf_cell first = cell_of(intact, leaf, 0), next = cell_of(intact, leaf, 1);
    std::uint32_t nearest = 0;
    for (std::uint32_t i = 0; i < leaf_cells; ++i)
        if (cell_of(intact, leaf, i).offset > cell_of(intact, leaf, nearest).offset) nearest = i;
    const leaf_cell last = cell_of(intact, leaf, nearest);
    ASSERT_LT(last.payload, 0x7fu);
    std::uint32_t long_leaf = root;
    while (intact[(long_leaf - 1) * 512] == 5) long_leaf = get_be32(intact, (long_leaf - 1) * 512 + 8);
    const leaf_cell long_row = cell_of(intact, long_leaf, get_be16(intact, (long_leaf - 1) * 512u + 3) - 1);
    ASSERT_EQ(long_row.rowid, 3001u);
    const std::uint32_t chain = get_be32(intact, long_row.at + long_row.header + 39);  // 39 local bytes
    const std::string leaf_text =
        "page " + std::to_string(leaf) + " (leaf page, file offset " + std::to_string(leaf_at) + ") ";
    const auto only = [](std::uint64_t rowid) { return child_range{0, rowid - 1, rowid}; };
    const child_range none{0, 0, 0};

    struct damage_case {
        const char* name;
        std::size_t at;      // byte damaged (zeroed page: its first byte)
        bool whole_page;     // the page is zeroed, else the byte set to 0x44
        std::uint32_t link;  // with `at` a link, the page number written there (0: no link written)
        child_range lost;    // rows no walk can reach
        std::string said;    // the report (its first line when `lines` is 0)
        int width = 4;       // bytes of the link: 4, or 2 for a cell pointer or count, 1 for a byte
        std::size_t lines = 1;
    };
    const std::size_t right_link = (root - 1) * 512 + 8;
    // The link of the fourth cell of a lowest interior page: the leaf walk, not the interior walk, judges it.
    const std::size_t low_page_at = (top[1].child - 1) * 512u;
    const std::size_t low_link = low_page_at + get_be16(intact, low_page_at + 12 + 2 * 3);
    const std::vector<damage_case> cases = {
        {"cell pointer past the page", leaf_at + 8, false, 0xffff, only(first.rowid),
         leaf_text + "cell 0 skipped: its pointer 65535 lies past the end of the page (512 bytes)", 2},
        {"cell pointer into the header", leaf_at + 8, false, 2, only(first.rowid),
         leaf_text +
             "cell 0 skipped: its pointer 2 lies inside the page header or cell-pointer array (which " +
             "end at offset " + std::to_string(8 + 2 * leaf_cells) + ")",
         2},
        {"cell pointer repeated", leaf_at + 10, false, first.offset, only(next.rowid),
         leaf_text + "cell 1 skipped: its pointer " + std::to_string(first.offset) + " is that of cell 0", 2},
        {"cell running past the page", last.at, false, 0x7f, only(last.rowid),
         leaf_text + "cell " + std::to_string(nearest) +
             " skipped: its payload of 127 bytes at page offset " + std::to_string(last.offset) +
             " runs past the end of the page",
         1},
        {"cell count past what the page holds", leaf_at + 3, false, 120, none,
         leaf_text + "cells " + std::to_string((get_be16(intact, leaf_at + 5) - 8) / 2) +
             " to 119 skipped: the cell count 120 is more than the page can hold: its pointer array would "
             "run "
             "into the cell content at offset " +
             std::to_string(get_be16(intact, leaf_at + 5)),
         2, 0},
        {"overflow chain broken", (chain - 1) * 512u, false, 999999, none,
         "page " + std::to_string(long_leaf) + " (leaf page, file offset " +
             std::to_string((long_leaf - 1) * 512u) + ") cell " +
             std::to_string(get_be16(intact, (long_leaf - 1) * 512u + 3) - 1) +
             " cut short: its overflow chain from page " + std::to_string(chain) +
             " breaks off after 547 of its " + std::to_string(long_row.payload) + " payload bytes"},
        {"zeroed interior child", (top[1].child - 1) * 512u, true, 0, top[1],
         "page " + std::to_string(top[1].child) + " (child of page " + std::to_string(root) +
             ", file offset " + std::to_string((top[1].child - 1) * 512u) +
             ") skipped: not a b-tree page (type byte 0x00)"},
        {"leaf with a bad type byte", (second[2].child - 1) * 512u, false, 0, second[2],
         "page " + std::to_string(second[2].child) + " (leaf page, file offset " +
             std::to_string((second[2].child - 1) * 512u) + ") skipped: not a b-tree page (type byte 0x44)"},
        {"right-most link past the end", right_link, false, 999999, top.back(),
         "page " + std::to_string(root) + " (interior page, file offset " +
             std::to_string((root - 1) * 512u) +
             ") skipped: child page number 999999 is past the end of the file (" +
             std::to_string(intact.size() / 512) + " pages)"},
        {"link of a lowest interior page past the end", low_link, false, 999999, second[3],
         "page " + std::to_string(top[1].child) + " (interior page, file offset " + std::to_string(low_link) +
             ") skipped: child page number 999999 is past the end of the file (" +
             std::to_string(intact.size() / 512) + " pages)"},
        {"zeroed root",
         (root - 1) * 512u,
         true,
         0,
         {root, 0, UINT64_MAX},
         "page " + std::to_string(root) + " (root page, file offset " + std::to_string((root - 1) * 512u) +
             ") skipped: not a b-tree page (type byte 0x00)"},
    };
    std::vector<std::string> all;
    for (const auto& r : query(path, "SELECT id FROM t ORDER BY id")) all.push_back(r[0]);
    for (const damage_case& c : cases) {
        std::vector<std::uint8_t> bytes = intact;
        if (c.whole_page)
            std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(c.at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(c.at + 512), 0);
        else if (c.link != 0 && c.width == 4)
            put_be32(bytes, c.at, c.link);
        else if (c.width == 2)
            put_be16(bytes, c.at, c.link);
        else
            bytes[c.at] = static_cast<std::uint8_t>(c.link != 0 ? c.link : 0x44);
        const std::string damaged = dir.file("damaged.db");
        ASSERT_TRUE(write_all(damaged, bytes));
        uni::fileio f;
        ASSERT_TRUE(f.open(damaged, false, false, false));
        table_walk_options walk;
        walk.root_offset = (root - 1) * 512ull;
        walk.page_size = 512;
        skip_list skips;
        walk.reporter = &skips;
        std::vector<sqlite_artifact> interiors;
        std::vector<std::string> got;
        (void)visit_table_records(f, walk, interiors, [&got](table_record& rec) {
            got.push_back(std::to_string(rec.rowid));
            return true;
        });
        std::sort(got.begin(), got.end());
        std::vector<std::string> want;
        for (const std::string& id : all) {
            const std::uint64_t n = std::stoull(id);
            if (n <= c.lost.low || n > c.lost.high) want.push_back(id);
        }
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << c.name;
        if (c.lines != 0) {
            EXPECT_EQ(skips.texts, std::vector<std::string>{c.said}) << c.name;
        } else {
            // The pointers in front of the cell content that are no cell's are told too, at most a page's
            // share one by one.
            ASSERT_FALSE(skips.texts.empty()) << c.name;
            EXPECT_EQ(skips.texts[0], c.said) << c.name;
            EXPECT_LE(skips.texts.size(), kToldCellsPerPage + 1) << c.name;
        }
    }
}
