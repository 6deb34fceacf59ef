// "-carve" beside the library on evidence where they part: a Notification table whose columns stand in
// another order than Windows writes them, a header the library refuses, a log beside the main file. Each case
// runs selk as a process and compares the live rows "-carve" prints with those the library reads of the file
// they stand for, and what "-carve" says on standard error and its exit status.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "driver_checks.h"
#include "notification_db_fixtures.h"
#include "selk_process.h"

namespace {

namespace fx = notification_fixtures;
using selk_process::run;

const std::string kWindows = fx::notification_table_sql();
const std::string kOrder = "[Order] INTEGER NOT NULL PRIMARY KEY";

// `sql` with the column `column` (its text and the ", " after it) moved to stand before `before`.
std::string moved(std::string sql, const std::string& column, const std::string& before) {
    sql.erase(sql.find(column + ", "), column.size() + 2);
    return sql.insert(sql.find(before), column + ", ");
}

// A notification database at `path` with the Notification table `notification` and 40 notifications (Order
// 200 on, every fourth without a HandlerId or Tag). With `log` the last 10 stay in the log beside it, where
// `page1` also puts page 1.
void make_db(const std::string& path, const std::string& notification, bool log = false, bool page1 = false) {
    const std::string live = path + ".live";
    sqlite3* db = fx::open_db(log ? live : path);
    ASSERT_NE(db, nullptr);
    if (log) fx::exec(db, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    for (const std::string& sql :
         {std::string(fx::handler_table_sql()), std::string(fx::settings_table_sql()), notification,
          std::string(fx::push_channel_table_sql())})
        fx::exec(db, sql);
    fx::insert_handler(db, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    for (int i = 0; i < 40; ++i) {
        if (log && i == 30)
            fx::exec(db, page1 ? "PRAGMA wal_checkpoint(TRUNCATE); CREATE TABLE more(x);"
                               : "PRAGMA wal_checkpoint(TRUNCATE);");
        const std::string blank = i % 4 == 0 ? "NULL" : "";
        fx::exec(db,
                 "INSERT INTO Notification([Order], Id, HandlerId, Type, Payload, Tag, [Group], ExpiryTime, "
                 "ArrivalTime, PayloadType) VALUES(" +
                     std::to_string(200 + i) + ", " + std::to_string(300 + i) + ", " +
                     (blank.empty() ? "68" : blank) + ", 'toast', CAST('<toast>row " + std::to_string(i) +
                     "</toast>' AS BLOB), " + (blank.empty() ? "'tag1'" : blank) + ", 'group1', " +
                     std::to_string(132521873530000000LL + i) + ", 132521873530000000, 'Xml');");
    }
    if (log) {
        ASSERT_TRUE(fx::copy_file(live, path));
        ASSERT_TRUE(fx::copy_file(live + "-wal", path + "-wal"));
    }
    sqlite3_close(db);
}

// The database at `path` with `with` written over its bytes from `at`.
void edit(const std::string& path, std::size_t at, const std::vector<std::uint8_t>& with) {
    std::vector<std::uint8_t> bytes = fx::read_all(path);
    std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    ASSERT_TRUE(fx::write_all(path, bytes));
}

// The live rows of a "-csv -all_fields" report whose source is `label`, each without its Misc data and DB
// cells (which name the source and the file), sorted.
std::vector<std::string> live_rows(const std::string& out, const std::string& label) {
    const std::vector<std::string> lines = selk_process::lines(out);
    if (lines.size() < 4) return {};
    const std::vector<std::string> header = selk_process::split(lines[3], ",");
    const auto misc = std::find(header.begin(), header.end(), "Misc data") - header.begin();
    const auto file = std::find(header.begin(), header.end(), "DB") - header.begin();
    std::vector<std::string> rows;
    for (std::size_t i = 4; i < lines.size(); ++i) {
        std::vector<std::string> cells = selk_process::split(lines[i], ",");
        if (cells.size() != header.size() || cells[misc].rfind("{\"src\":\"" + label + "\"", 0) != 0)
            continue;
        cells[misc].clear();
        cells[file].clear();
        std::string row;
        for (const std::string& cell : cells) row += cell + ",";
        rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::string replaced(std::string text, const std::string& db) {
    for (std::size_t at = text.find("DB"); at != std::string::npos; at = text.find("DB", at + db.size()))
        text.replace(at, 2, db);
    return text;
}

std::vector<std::string> args_of(const std::string& db, bool carve) {
    std::vector<std::string> args = {"-db", db, "-quiet", "-csv", "-all_fields"};
    if (carve) args.push_back("-carve");
    return args;
}

}  // namespace

// "-carve" prints of each live row what the library gives: the column that stands for the rowid takes the
// row's rowid wherever it stands. Where the library refuses the header, "-carve" still prints the rows but
// names the field, as the other forms fail, and exits with 255. Beside a log it reads the main file as it
// stands (the library reads the same rows of the main file alone) and says once, also with "-quiet", that
// the log commits pages; its exit status stays. Each case is also read by the library, which refuses the
// file exactly where "-carve" says it does.
TEST(CarveAgainstLibrary, LiveRowsAreTheLibrarysAndWhatItRefusesIsSaid) {
    const std::string in_header = "prob reading DB: the ", refuses = ": the library refuses the file\n";
    const std::string fractions = in_header +
                                  "payload fractions in its header (bytes 21 to 23) are 65, 32 and 32 "
                                  "where the library takes only 64, 32 and 32" +
                                  refuses;
    const std::string version =
        in_header +
        "read version in its header (byte 19) is 3 where the library reads only versions up to 2" + refuses;
    const std::string format = in_header +
                               "schema format number in its header (bytes 44 to 47) is 5 where the "
                               "library takes only 1 to 4 (and 0, as 1)" +
                               refuses;
    const std::string magic = in_header +
                              "magic in its header is \"SQLite format 3A\" where the library takes "
                              "only \"SQLite format 3\\x00\"" +
                              refuses;
    std::string keyed = moved(kWindows, kOrder, "UNIQUE(");
    keyed.replace(keyed.find(kOrder), kOrder.size(), "[Order] INTEGER NOT NULL, PRIMARY KEY([Order])");
    const std::string tag_first = moved(moved(kWindows, kOrder, "[Payload]"), "[Tag] TEXT", "[Id]");
    struct carve_case {
        const char* name;
        std::string notification;  // the statement of the Notification table
        int log;                   // 1: a log beside, 2: one that also holds page 1
        std::size_t at;            // the header bytes `with` are written over from here
        std::vector<std::uint8_t> with;
        std::string said;  // on standard error before the note of the log, "DB" for the evidence
        int status;
    };
    const carve_case cases[] = {
        {"Order last", moved(kWindows, kOrder, "UNIQUE("), 0, 0, {}, "", 0},
        {"Tag first, Order sixth", tag_first, 0, 0, {}, "", 0},
        {"Order last, keyed by a table constraint", keyed, 0, 0, {}, "", 0},
        {"payload fractions", kWindows, 0, 21, {65}, fractions, 255},
        {"read version", kWindows, 0, 19, {3}, version, 255},
        {"schema format", kWindows, 0, 44, {0, 0, 0, 5}, format, 255},
        {"schema format 0", kWindows, 0, 44, {0, 0, 0, 0}, "", 0},
        {"magic", kWindows, 0, 15, {'A'}, magic, 255},
        {"a log beside", kWindows, 1, 0, {}, "", 0},
        {"a log beside, the main header refused", kWindows, 1, 21, {65}, fractions, 255},
        {"a log that holds page 1, the main header refused", kWindows, 2, 21, {65}, "", 0},
    };
    for (const carve_case& c : cases) {
        SCOPED_TRACE(c.name);
        fx::temp_dir dir;
        const std::string db = dir.file("evidence.db"), reference = dir.file("reference.db");
        make_db(db, c.notification, c.log != 0, c.log == 2);
        // The library reads the rows "-carve" is to read of the evidence in the main file as it was written.
        const bool edited = !c.with.empty() || c.log != 0;
        if (edited) {
            ASSERT_TRUE(fx::copy_file(db, reference));
        }
        if (!c.with.empty()) edit(db, c.at, c.with);
        const selk_process::result library = run(args_of(edited ? reference : db, false));
        ASSERT_EQ(library.status, 0) << library.err;
        const selk_process::result carved = run(args_of(db, true));
        EXPECT_EQ(carved.status, c.status);
        EXPECT_EQ(carved.err, replaced(c.said, db) + (c.log != 0 ? driver_checks::log_beside_note(db) : ""));
        EXPECT_EQ(run(args_of(db, false)).status, c.said.empty() ? 0 : 255) << "the library on the evidence";
        const std::vector<std::string> rows = live_rows(library.out, "sqlite lib");
        EXPECT_EQ(rows.size(), c.log != 0 ? 30u : 40u);
        EXPECT_EQ(live_rows(carved.out, "carve main"), rows);
    }
}
