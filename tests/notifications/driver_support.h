// What the end-to-end tests of the selk executable share: the banner, a small notification database and the
// parts of a report and of standard error they compare.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "notification_db_fixtures.h"
#include "notifications/driver.h"
#include "selk_process.h"

namespace driver_support {

inline std::string banner() { return std::string("selk - ") + kSelkVersion; }

// A notification database with two handlers and `count` notifications, written with the SQLite library.
inline void make_db(const std::string& path, int count, const std::string& marker = "msg") {
    sqlite3* db = notification_fixtures::open_db(path);
    ASSERT_NE(db, nullptr);
    notification_fixtures::create_tables(db);
    notification_fixtures::insert_handler(db, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    notification_fixtures::insert_handler(
        db, 69, "windows.immersivecontrolpanel_cw5n1h2txyewy!microsoft.windows.immersivecontrolpanel");
    for (int i = 0; i < count; ++i) {
        notification_fixtures::insert_notification(
            db, 200 + i, 300 + i, i % 2 == 0 ? 68 : 69, i % 3 == 2 ? "badge" : "toast",
            "<toast><text>" + marker + " " + std::to_string(i) + "</text></toast>", {},
            132521874959020000LL + i * 10000000LL);
    }
    sqlite3_close(db);
}

// The data rows of a padded report (after the header block and the column header).
inline std::vector<std::string> data_rows(const std::string& out) {
    std::vector<std::string> all = selk_process::lines(out);
    if (all.size() <= 4) return {};
    return std::vector<std::string>(all.begin() + 4, all.end());
}

// Standard error without the sequences that clear the status line before each message.
inline std::string without_status_clears(const std::string& err) {
    std::string out;
    for (const std::string& line : selk_process::lines(err)) {
        const std::size_t cr = line.rfind('\r');
        out += (cr == std::string::npos ? line : line.substr(cr + 1)) + "\n";
    }
    return out;
}

}  // namespace driver_support
