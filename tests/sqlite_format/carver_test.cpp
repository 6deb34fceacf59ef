#include "sqlite_format/carver.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "io/fileio.h"
#include "io/terminal_capture.h"
#include "reader_fixtures.h"
#include "sqlite_format/signatures.h"
#include "sqlite_format/wal.h"

using namespace reader_fixtures;

namespace {

// Finds records of t(id INTEGER PRIMARY KEY, a TEXT, b TEXT) whose `a` begins with "del-": the two
// text serial types, then a body starting with that text. The freeblock header overwrites the four
// bytes before them (payload size, rowid, header size and the NULL of `id`), so no rowid is read.
int find_deleted_rows(std::vector<recovered_record>& candidates, const std::uint8_t* chunk,
                      std::uint32_t length, std::uint64_t, std::uint32_t, void* options) {
    static const char* patterns[] = {"-", "-"};
    if (options) ++*static_cast<int*>(options);
    for (std::uint32_t i = 1; i + 6 < length; ++i) {
        const std::uint32_t n = match_header_signature_fwd(chunk + i, length - i, 2, 0, patterns);
        if (n != 2 || std::memcmp(chunk + i + 2, "del-", 4) != 0) continue;
        recovered_record c;
        c.position = i;
        c.prefix_flag = 1;
        c.table_kind = 0x1234;
        c.column_count = 2;
        c.carried = 7;
        candidates.push_back(c);
    }
    return candidates.empty() ? 0 : 1;
}

std::string rows_sql(int first, int count, const char* prefix) {
    std::string sql;
    for (int i = first; i < first + count; ++i)
        sql += "INSERT INTO t(a, b) VALUES ('" + std::string(prefix) + std::to_string(100 + i) +
               "', 'value-" + std::to_string(i) + "');";
    return sql;
}

std::set<unsigned> codes_of(const std::vector<recovered_record>& records) {
    std::set<unsigned> codes;
    for (const auto& r : records) codes.insert(r.source_code());
    return codes;
}

TEST(carve_database, deleted_rows_come_back_from_main_file_free_space) {
    temp_dir dir;
    const std::string db = dir.file("main.db");
    make_db(db, 4096,
            "CREATE TABLE t(id INTEGER PRIMARY KEY, a TEXT, b TEXT);" + rows_sql(0, 10, "keep") +
                rows_sql(10, 10, "del-") + "DELETE FROM t WHERE a LIKE 'del-%';");
    std::vector<recovered_record> out;
    int calls = 0;
    ASSERT_EQ(1,
              carve_database(out, db, "", find_deleted_rows, false, true, 2, 2, false, false, false, &calls));
    EXPECT_GT(calls, 0);
    EXPECT_EQ(std::set<unsigned>{kSourceMainSlack}, codes_of(out));
    std::set<std::string> found;
    for (const auto& r : out) {
        ASSERT_EQ(2u, r.values.size());
        EXPECT_EQ(0u, r.rowid);
        EXPECT_EQ(0x1234u, r.table_kind);
        EXPECT_EQ(2u, r.column_count);
        EXPECT_EQ(7u, r.carried);
        EXPECT_EQ("value-" + std::to_string(std::stoi(r.values[0].substr(4)) - 100), r.values[1]);
        found.insert(r.values[0]);
    }
    // Each deleted row's cell is a freeblock whose body survives whole.
    EXPECT_EQ(10u, found.size());
    // Keep flag off: a second carve starts again from an empty vector.
    ASSERT_EQ(
        1, carve_database(out, db, "", find_deleted_rows, false, true, 2, 2, false, false, false, nullptr));
    EXPECT_EQ(found.size(), out.size());
    EXPECT_EQ(0, carve_database_any_table(out, db, find_deleted_rows, false, true, 0, 0, false, false, false,
                                          nullptr));
}

// Finds records of t(id INTEGER PRIMARY KEY, a TEXT) whose `a` begins with "gone-", header-length byte
// included, and asks for the rowid before it.
int find_gone_rows(std::vector<recovered_record>& candidates, const std::uint8_t* chunk, std::uint32_t length,
                   std::uint64_t, std::uint32_t, void*) {
    for (std::uint32_t i = 0; i + 8 < length; ++i) {
        // Header of 3 bytes: its length, NULL for the id, a text of two-byte serial type; then the text.
        if (chunk[i] != 4 || chunk[i + 1] != 0 || (chunk[i + 2] & 0x80) == 0) continue;
        if (std::memcmp(chunk + i + 4, "gone-", 5) != 0) continue;
        recovered_record c;
        c.position = i + 1;
        c.table_kind = 0x1234;
        c.column_count = 2;
        candidates.push_back(c);
    }
    return candidates.empty() ? 0 : 1;
}

TEST(carve_database, rowid_under_a_freeblock_header_is_not_read) {
    // Cells of two-byte payload size and two-byte rowid: the 4-byte header of the free block each freed
    // cell became covers both, and its size's low byte reads like a one-byte rowid.
    temp_dir dir;
    const std::string db = dir.file("rowid.db");
    std::string sql = "CREATE TABLE t(id INTEGER PRIMARY KEY, a TEXT);";
    for (int id = 200; id < 220; ++id)
        sql += "INSERT INTO t VALUES (" + std::to_string(id) + ", '" + (id % 2 ? "gone-" : "kept-") +
               std::to_string(id) + std::string(150, 'x') + "');";
    sql += "DELETE FROM t WHERE a LIKE 'gone-%';";
    make_db(db, 4096, sql);
    std::vector<recovered_record> out;
    ASSERT_EQ(1,
              carve_database(out, db, "", find_gone_rows, false, false, 2, 2, false, false, false, nullptr));
    std::set<int> found;
    for (const auto& r : out) {
        ASSERT_EQ(2u, r.values.size());
        const int id = std::stoi(r.values[1].substr(5, 3));
        found.insert(id);
        EXPECT_EQ(0u, r.rowid) << id;
    }
    EXPECT_EQ(10u, found.size());
}

TEST(carve_database, write_ahead_log_frames_are_walked_by_their_kind) {
    temp_dir dir;
    const std::string db = dir.file("wal.db");
    sqlite3* conn = open_db(db);
    ASSERT_NE(nullptr, conn);
    exec(conn,
         "PRAGMA secure_delete=OFF; PRAGMA page_size=4096; PRAGMA journal_mode=WAL; PRAGMA "
         "wal_autocheckpoint=0;");
    exec(conn, "CREATE TABLE t(id INTEGER PRIMARY KEY, a TEXT, b TEXT);");
    exec(conn, "BEGIN;" + rows_sql(0, 5, "keep") + rows_sql(5, 5, "del-") + "COMMIT;");
    exec(conn, "DELETE FROM t WHERE a LIKE 'del-%';");
    // The connection stays open so that the log is not checkpointed away.
    std::vector<recovered_record> out;
    ASSERT_EQ(
        1, carve_database(out, db, "", find_deleted_rows, false, true, 2, 2, false, false, false, nullptr));
    std::set<unsigned> codes = codes_of(out);
    EXPECT_TRUE(codes.count(kSourceWalSuperseded));  // the page as the first commit left it
    EXPECT_TRUE(codes.count(kSourceWalSlack));       // freeblocks of the newest page
    EXPECT_FALSE(codes.count(kSourceWalValid));
    EXPECT_FALSE(codes.count(kSourceMainSlack));

    std::vector<recovered_record> with_valid;
    ASSERT_EQ(1, carve_database(with_valid, db, "", find_deleted_rows, false, true, 2, 2, true, false, false,
                                nullptr));
    EXPECT_TRUE(codes_of(with_valid).count(kSourceWalValid));

    // A main file that is not a database: the log is still carved, in its own page size.
    const std::string junk = dir.file("junk.db");
    ASSERT_TRUE(write_all(junk, std::vector<std::uint8_t>(8192, 0x5A)));
    ASSERT_TRUE(copy_file(db + "-wal", junk + "-wal"));
    std::vector<recovered_record> from_log;
    ASSERT_EQ(1, carve_database(from_log, junk, "", find_deleted_rows, false, true, 2, 2, false, false, false,
                                nullptr));
    EXPECT_TRUE(codes_of(from_log).count(kSourceWalSuperseded));
    sqlite3_close(conn);
}

TEST(carve_database, companions_are_walked_in_their_own_page_size) {
    // 1024-byte pages and a main file whose header is gone: walked in 4096-byte steps, each log
    // frame or journal image would also take in the three after it, and their rows would come back
    // twice and under the wrong source.
    for (const bool wal : {true, false}) {
        temp_dir dir;
        const std::string live = dir.file("live.db");
        sqlite3* conn = open_db(live);
        ASSERT_NE(nullptr, conn);
        exec(conn, std::string("PRAGMA secure_delete=OFF; PRAGMA page_size=1024; PRAGMA journal_mode=") +
                       (wal ? "WAL; PRAGMA wal_autocheckpoint=0;" : "DELETE;"));
        exec(conn, "CREATE TABLE t(id INTEGER PRIMARY KEY, a TEXT, b TEXT);" + rows_sql(0, 60, "del-"));
        exec(conn, "BEGIN; DELETE FROM t WHERE id % 2 = 0;");
        if (wal) exec(conn, "COMMIT;");
        const std::string companion = wal ? "-wal" : "-journal";
        const std::string copy = dir.file("copy.db");
        std::vector<std::uint8_t> main_bytes = read_all(live);
        ASSERT_GT(main_bytes.size(), 100u);
        std::fill(main_bytes.begin(), main_bytes.begin() + 100, 0);
        ASSERT_TRUE(write_all(copy, main_bytes));
        ASSERT_TRUE(copy_file(live + companion, copy + companion));
        if (!wal) exec(conn, "ROLLBACK;");
        sqlite3_close(conn);

        std::vector<recovered_record> out;
        ASSERT_EQ(1, carve_database(out, copy, "", find_deleted_rows, false, true, 2, 2, true, false, false,
                                    nullptr))
            << companion;
        region_map overwritten, superseded, slack;
        wal_frame_map valid;
        if (wal) {
            ASSERT_EQ(1, parse_wal_path(overwritten, valid, superseded, slack, copy + companion));
        }
        auto in_valid_frame = [&valid](std::uint64_t offset) {
            for (const auto& f : valid)
                if (offset >= f.second + 24 && offset < f.second + 24 + 1024) return true;
            return false;
        };
        const unsigned whole_pages = wal ? kSourceWalValid : kSourceCarveJournal;
        std::set<std::uint64_t> offsets;
        std::set<std::string> values;
        for (const auto& r : out) {
            values.insert(r.values[0]);
            if (r.source_code() != whole_pages) continue;
            EXPECT_TRUE(offsets.insert(r.record_offset).second) << companion << " @" << r.record_offset;
            if (wal) {
                EXPECT_TRUE(in_valid_frame(r.record_offset)) << r.record_offset;
            }
        }
        EXPECT_FALSE(offsets.empty()) << companion;
        // Every row is in some logged or journalled page image.
        EXPECT_EQ(60u, values.size()) << companion;
    }
}

TEST(carve_database, pages_an_uncommitted_transaction_wrote_beside_a_hot_journal_are_walked_whole) {
    // The transaction that was open when the copy was taken rewrote rows in place and added rows on new pages
    // past the size before it: live cells of the file, in no free space, which the committed state (the
    // journal laid over the file) no longer holds. Each such page is walked whole, as free space.
    temp_dir dir;
    const std::string live = dir.file("live.db");
    const std::string db = dir.file("hot.db");
    sqlite3* conn = open_db(live);
    ASSERT_NE(nullptr, conn);
    exec(conn, "PRAGMA secure_delete=OFF; PRAGMA page_size=1024; PRAGMA journal_mode=DELETE;");
    exec(conn, "CREATE TABLE t(id INTEGER PRIMARY KEY, a TEXT, b TEXT);" + rows_sql(0, 200, "keep"));
    exec(conn, "PRAGMA cache_size=2; BEGIN; UPDATE t SET a = 'del-' || a WHERE id % 4 = 0;" +
                   rows_sql(200, 150, "del-"));
    const std::vector<std::vector<std::string>> written = [&] {
        std::vector<std::vector<std::string>> rows;
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(SQLITE_OK,
                  sqlite3_prepare_v2(conn, "SELECT a FROM t WHERE a LIKE 'del-%';", -1, &st, nullptr));
        while (sqlite3_step(st) == SQLITE_ROW)
            rows.push_back({reinterpret_cast<const char*>(sqlite3_column_text(st, 0))});
        sqlite3_finalize(st);
        return rows;
    }();
    ASSERT_EQ(SQLITE_OK, sqlite3_db_cacheflush(conn));  // every page it changed reaches the file
    ASSERT_TRUE(copy_file(live, db));
    ASSERT_TRUE(copy_file(live + "-journal", db + "-journal"));
    exec(conn, "ROLLBACK;");
    sqlite3_close(conn);
    ASSERT_EQ(200u, written.size());
    ASSERT_GT(read_all(db).size(), read_all(live).size());

    std::vector<recovered_record> out;
    ASSERT_EQ(
        1, carve_database(out, db, "", find_deleted_rows, false, true, 2, 2, false, false, false, nullptr));
    std::set<std::string> slack;
    for (const auto& r : out)
        if (r.source_code() == kSourceMainSlack) slack.insert(r.values[0]);
    for (const auto& row : written) EXPECT_EQ(1u, slack.count(row[0])) << row[0];
}

// One percent-done line over a whole carve: it rises from the main file's first region to the companion's
// last, is redrawn only once the clock moved an interval on, ends on 100 and is cleared. The clock is the
// test's own: a second on at each reading, or standing still.
TEST(carve_database, progress_rises_over_every_region_of_both_files) {
    temp_dir dir;
    const std::string wal_db = dir.file("wal.db"), live = dir.file("live.db"), hot_db = dir.file("hot.db");
    const std::string rows = "CREATE TABLE t(id INTEGER PRIMARY KEY, a TEXT, b TEXT);" +
                             rows_sql(0, 150, "del-") + "DELETE FROM t WHERE id % 2 = 0;";
    sqlite3* wal = open_db(wal_db);
    ASSERT_NE(nullptr, wal);
    exec(wal, "PRAGMA secure_delete=OFF; PRAGMA page_size=1024;" + rows +
                  "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    exec(wal, "BEGIN;" + rows_sql(150, 60, "del-") + "COMMIT; DELETE FROM t WHERE id % 3 = 0;");
    // Open, so that the log stays; the hot journal is copied while its transaction is open.
    sqlite3* hot = open_db(live);
    ASSERT_NE(nullptr, hot);
    exec(hot, "PRAGMA secure_delete=OFF; PRAGMA page_size=1024;" + rows +
                  "PRAGMA cache_size=2; BEGIN; DELETE FROM t WHERE id % 3 = 0;" + rows_sql(150, 60, "del-"));
    ASSERT_EQ(SQLITE_OK, sqlite3_db_cacheflush(hot));
    ASSERT_TRUE(copy_file(live, hot_db));
    ASSERT_TRUE(copy_file(live + "-journal", hot_db + "-journal"));
    exec(hot, "ROLLBACK;");
    sqlite3_close(hot);

    for (const std::string& db : {wal_db, hot_db}) {
        carve_options carve;
        carve.classify = [](std::vector<recovered_record>& c, const std::uint8_t* chunk, std::uint32_t length,
                            std::uint64_t offset) {
            return find_deleted_rows(c, chunk, length, offset, 0, nullptr);
        };
        carve.min_columns = carve.max_columns = 2;
        carve.valid_frames = true;
        std::vector<recovered_record> quiet;
        ASSERT_EQ(1, carve_database(quiet, db, carve));
        for (const std::uint64_t step : {1000, 0}) {
            SCOPED_TRACE(db + (step != 0 ? ", a moving clock" : ", a clock standing still"));
            std::uint64_t now = 0;
            carve.progress = true;
            carve.progress_clock = [&now, step] { return now += step; };
            std::vector<recovered_record> out;
            terminal_capture::capture_terminal_stderr();
            const int carved = carve_database(out, db, carve);
            const std::string line = terminal_capture::captured_terminal_stderr();
            EXPECT_EQ(1, carved);
            EXPECT_EQ(quiet.size(), out.size());
            std::vector<double> shown;
            const std::string label = "percent done: ";
            for (std::size_t at = line.find(label); at != std::string::npos; at = line.find(label, at + 1))
                shown.push_back(std::stod(line.substr(at + label.size())));
            ASSERT_FALSE(shown.empty()) << line;
            if (step == 0) {
                // The first share, then at the end the share reached.
                EXPECT_EQ(2u, shown.size()) << line;
                EXPECT_EQ(100.0, shown.back()) << line;
            } else {
                EXPECT_GT(shown.size(), 8u) << line;
                EXPECT_LT(shown.front(), 10.0) << line;
                EXPECT_EQ(100.0, shown.back()) << line;
                for (std::size_t i = 1; i < shown.size(); ++i) EXPECT_LT(shown[i - 1], shown[i]) << line;
            }
            const std::string cleared = "\x1b[2K\r" + std::string(27, ' ') + "\r";
            EXPECT_EQ(cleared, line.substr(line.size() - std::min(line.size(), cleared.size())));
        }
    }
    sqlite3_close(wal);
}

TEST(walk_db_pages, hostile_regions_and_candidates_are_safe) {
    temp_dir dir;
    const std::string path = dir.file("bytes.bin");
    std::vector<std::uint8_t> bytes(1024, 0);
    // A two-column record near the start: types 0x17 0x11, body "del-1" "x" ... placed at 1.
    const std::uint8_t rec[] = {0x17, 0x0F, 'd', 'e', 'l', '-', '1', 'x'};
    std::memcpy(bytes.data() + 1, rec, sizeof rec);
    std::memcpy(bytes.data() + 600 + 24 + 1, rec, sizeof rec);  // inside a log-frame-shaped region
    ASSERT_TRUE(write_all(path, bytes));
    uni::fileio file;
    ASSERT_EQ(1, file.open(path, false, false, false));
    const table_schema none;
    std::vector<recovered_record> out;
    region_map regions{{0, 512}, {4096, 512}, {UINT64_MAX - 10, 100}};  // two lie past the end
    EXPECT_EQ(0, walk_db_pages(out, regions, file, none, find_deleted_rows, 4, 0, 2, 2, false, false, false,
                               nullptr, null_records_callback));
    EXPECT_EQ(1, walk_db_pages(out, regions, file, none, find_deleted_rows, 4, 512, 2, 2, false, false, false,
                               nullptr, null_records_callback));
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ("del-1", out[0].values[0]);
    EXPECT_EQ("x", out[0].values[1]);
    EXPECT_EQ(1u, out[0].record_offset);
    EXPECT_EQ(4u, out[0].source_code());

    // A classifier that names starts outside the chunk and asks for a rowid right at its start.
    auto wild = [](std::vector<recovered_record>& c, const std::uint8_t*, std::uint32_t length, std::uint64_t,
                   std::uint32_t, void*) -> int {
        recovered_record a;
        a.position = length + 5;
        recovered_record b;
        b.record_offset = 1;  // position 0: the start comes from the record offset
        b.prefix_flag = 0;
        c.push_back(a);
        c.push_back(b);
        return 1;
    };
    std::vector<recovered_record> wild_out;
    walk_db_pages(wild_out, region_map{{0, 1024}}, file, none, wild, 4, 512, 1, 2, false, false, false,
                  nullptr, null_records_callback);
    for (const auto& r : wild_out) EXPECT_EQ(0u, r.rowid);

    // With the frame flag a one-page region is read 24 bytes on, whole.
    std::vector<recovered_record> framed;
    int calls = 0;
    EXPECT_EQ(1, walk_db_pages(framed, region_map{{600, 512}}, file, none, find_deleted_rows, 9, 512, 2, 2,
                               true, false, false, &calls, null_records_callback));
    EXPECT_EQ(1, calls);
    ASSERT_EQ(1u, framed.size());
    EXPECT_EQ(625u, framed[0].record_offset);
    EXPECT_EQ(kSourceWalValid, framed[0].source_code());
}

}  // namespace
