// Databases beside their companions, for the tests that read a database beside a hot journal and a log: the
// hot evidence a crash in a transaction leaves, the log the library writes over a copy of a state, and the
// count the library itself reads on a copy of the evidence.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "notification_db_fixtures.h"

namespace companion_fixtures {

namespace fx = notification_fixtures;

// A database of pages of `page_size` bytes beside a hot journal: 200 rows committed; the transaction open
// when the copy was taken deletes every third, grows every fourth and adds 100 rows "uncommitted N"; a cache
// of two pages spills its pages into the file as it goes, and the last are written before the copy. With
// `commit` the file is copied once the transaction committed (as a crash leaves a transaction over several
// databases after their files were written). `then` runs on the committed state before the transaction; that
// state is left at work's "hot_live.db".
inline void make_hot_evidence(const fx::temp_dir& work, const std::string& db, int page_size = 1024,
                              bool commit = false, const std::string& then = "") {
    const std::string live = work.file("hot_live.db");
    sqlite3* h = fx::open_db(live);
    ASSERT_NE(h, nullptr);
    fx::exec(h, "PRAGMA page_size=" + std::to_string(page_size) + "; PRAGMA journal_mode=DELETE;");
    fx::create_tables(h);
    fx::insert_handler(h, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    fx::exec(h, "BEGIN;");
    for (int i = 0; i < 200; ++i)
        fx::insert_notification(h, 200 + i, 300 + i, 68, "toast",
                                "<toast>committed " + std::to_string(i) + "</toast>");
    fx::exec(h, "COMMIT;" + then);
    fx::exec(h, "PRAGMA cache_size=2; BEGIN; DELETE FROM Notification WHERE [Order] % 3 = 0;");
    fx::exec(
        h,
        "UPDATE Notification SET Payload = CAST(printf('<toast>grown %d %.200c</toast>', [Order], '-') AS "
        "BLOB) WHERE [Order] % 4 = 1;");
    for (int i = 0; i < 100; ++i)
        fx::insert_notification(h, 500 + i, 600 + i, 68, "tile",
                                "<tile>uncommitted " + std::to_string(i) + "</tile>");
    ASSERT_EQ(sqlite3_db_cacheflush(h), SQLITE_OK);  // every page it changed reaches the file
    if (!commit) {
        ASSERT_TRUE(fx::copy_file(live, db));
    }
    ASSERT_TRUE(fx::copy_file(live + "-journal", db + "-journal"));
    fx::exec(h, commit ? "COMMIT;" : "ROLLBACK;");
    if (commit) {
        ASSERT_TRUE(fx::copy_file(live, db));
    }
    sqlite3_close(h);
}

// The log the library writes beside a copy of `state` (a database in rollback mode) once it is switched to
// write-ahead-log mode and `sql` runs, taken while the writer is open.
inline std::vector<std::uint8_t> log_over(const fx::temp_dir& work, const std::string& state,
                                          const std::string& sql) {
    const std::string copy = work.file("log_over.db");
    EXPECT_TRUE(fx::copy_file(state, copy));
    sqlite3* h = fx::open_db(copy);
    if (h == nullptr) return {};
    fx::exec(h, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; " + sql);
    std::vector<std::uint8_t> log = fx::read_all(copy + "-wal");
    sqlite3_close(h);
    return log;
}

// The integer `sql` gives when the library reads a copy of `db` with its journal and log.
inline std::int64_t library_reads(const std::string& db, const std::string& sql) {
    fx::temp_dir copy;
    const std::string at = copy.file("copy.db");
    for (const char* companion : {"", "-journal", "-wal"}) {
        if (fx::exists(db + companion)) {
            EXPECT_TRUE(fx::copy_file(db + companion, at + companion));
        }
    }
    sqlite3* lib = nullptr;
    sqlite3_stmt* st = nullptr;
    std::int64_t value = -1;
    if (sqlite3_open(at.c_str(), &lib) == SQLITE_OK &&
        sqlite3_prepare_v2(lib, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        value = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(lib);
    return value;
}

}  // namespace companion_fixtures
