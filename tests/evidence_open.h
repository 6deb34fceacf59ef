// Opens a database read-only for a test's own comparison. The shared real database is evidence:
// it is opened immutable, so the library creates no "-shm" or "-wal" beside it.
#pragma once

#include <sqlite3.h>

#include <string>

inline int open_readonly_for_test(const std::string& path, sqlite3** db) {
    const std::string fixtures = SELK_FIXTURES_DIR;
    if (path.compare(0, fixtures.size(), fixtures) == 0) {
        const std::string uri = "file:" + path + "?immutable=1";
        return sqlite3_open_v2(uri.c_str(), db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    }
    return sqlite3_open_v2(path.c_str(), db, SQLITE_OPEN_READONLY, nullptr);
}
