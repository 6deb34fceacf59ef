// A small notification database for the benchmarks, written with the SQLite library into a temporary folder
// that is removed again: two handlers, one push channel, and notifications of realistic size.
#pragma once

#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "notifications/tools/windows_schema.h"

class bench_db {
  public:
    // `count` notifications; path() is empty when the database could not be written.
    explicit bench_db(int count) {
        char folder[] = "/tmp/selk_bench_XXXXXX";
        if (::mkdtemp(folder) == nullptr) return;
        folder_ = folder;
        const std::string path = folder_ + "/bench.db";
        sqlite3* db = nullptr;
        bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK && exec(db, "PRAGMA page_size=4096;");
        for (const char* sql : notification_tools::kSchema) ok = ok && exec(db, sql);
        ok = ok &&
             exec(db,
                  "BEGIN; INSERT INTO NotificationHandler(RecordId, PrimaryId, HandlerType, WNFEventName, "
                  "CreatedTime, ModifiedTime) VALUES(1, 'Contoso.Mail_8wekyb3d8bbwe!App', 'app:immersive', "
                  "4739243479, '2021-02-27 08:15:02', '2021-02-27 08:15:02'), (2, "
                  "'windows.immersivecontrolpanel_cw5n1h2txyewy!microsoft.windows.immersivecontrolpanel', "
                  "'app:desktop', 4739243480, '2021-02-26 12:00:45', '2021-02-26 12:00:45');"
                  "INSERT INTO WNSPushChannel VALUES('chan-1', 1, "
                  "'https://db5p.notify.windows.com/?token=AwYAAAB1sample', 132619722000000000, "
                  "132590628000000000, 0);");
        for (int i = 1; ok && i <= count; ++i) {
            const std::string n = std::to_string(i);
            ok = exec(
                db, "INSERT INTO Notification VALUES(" + n + ", " + std::to_string(1000 + i) + ", " +
                        std::to_string(1 + i % 2) +
                        ", x'00112233445566778899AABBCCDDEEFF', 'toast', CAST('<toast launch=\"app\"><visual>"
                        "<binding template=\"ToastGeneric\"><text>Message " +
                        n +
                        "</text><text>Lunch on Friday? The usual place at "
                        "noon.</text></binding></visual></toast>'"
                        " AS BLOB), '', '', " +
                        std::to_string(132593220371930000LL + i * 370000000LL) + ", " +
                        std::to_string(132590628371930000LL + i * 370000000LL) + ", 1, 'Xml', 0, 0);");
        }
        ok = ok && exec(db, "COMMIT;");
        if (sqlite3_close(db) == SQLITE_OK && ok) path_ = path;
    }
    ~bench_db() {
        if (folder_.empty()) return;
        std::remove((folder_ + "/bench.db").c_str());
        ::rmdir(folder_.c_str());
    }
    bench_db(const bench_db&) = delete;
    bench_db& operator=(const bench_db&) = delete;

    const std::string& path() const { return path_; }

  private:
    static bool exec(sqlite3* db, const std::string& sql) {
        return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    std::string folder_;  // the temporary folder
    std::string path_;    // the database in it, once written
};
