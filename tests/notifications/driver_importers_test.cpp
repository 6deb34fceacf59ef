// The selk executable and the examiner's own tools: every bodyfile line kept apart by mactime, every report
// valid UTF-8 whatever bytes a recovered row holds, and a database whose header says log mode read without
// its log said so.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "driver_checks.h"
#include "notification_db_fixtures.h"
#include "recovery_fixtures.h"
#include "selk_process.h"

namespace {

namespace fx = notification_fixtures;
namespace rf = recovery_fixtures;
using driver_checks::log_mode_note;
using selk_process::lines;
using selk_process::run;

const std::string kRealDb = std::string(SELK_FIXTURES_DIR) + "/windows_notifications.db";

bool have(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Notifications as an examiner meets them: "toastCondensed" ones of one application in one second with one
// payload (whose bodyfile names and times are the same), payloads holding bytes that are not UTF-8 (a lone
// 0x82, a character cut short, an overlong form), and rows of both kinds deleted again, to be recovered.
void make_examined_db(const std::string& path) {
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    fx::exec(db, "PRAGMA page_size=4096; PRAGMA journal_mode=DELETE;");
    fx::create_tables(db);
    rf::insert_handler(db, 1, "Contoso.Mail_8wekyb3d8bbwe!App");
    const std::string binding = "<toast><visual><binding template=\"ToastGeneric\"><text>";
    const std::string end = "</text></binding></visual></toast>";
    for (int order = 1; order <= 12; ++order) {
        const bool condensed = order <= 2 || order == 9 || order == 11;
        rf::insert_notification(
            db, order, 100 + order, 1, condensed ? "toastCondensed" : "toast",
            binding +
                (condensed ? "2 new messages"
                           : "lone \x82, cut \xE6\x97, overlong \xC0\xAF " + std::to_string(order)) +
                end);
    }
    fx::exec(db, "DELETE FROM Notification WHERE [Order] IN (4, 6, 9, 11);");
    sqlite3_close(db);
}

// The lines of a report after its banner and header.
std::vector<std::string> body_lines(const std::string& out) {
    std::vector<std::string> all = lines(out);
    return all.size() > 4 ? std::vector<std::string>(all.begin() + 4, all.end()) : std::vector<std::string>();
}

// Whether `text` is UTF-8 as a strict decoder takes it: every character whole, in its shortest form, no
// surrogate, nothing above U+10FFFF.
bool strict_utf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80         ? 1
                                   : (lead >> 5) == 6  ? 2
                                   : (lead >> 4) == 14 ? 3
                                   : (lead >> 3) == 30 ? 4
                                                       : 0;
        if (length == 0 || i + length > text.size()) return false;
        std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        const std::uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < shortest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

// mactime keeps one line of each time, inode and name: every bodyfile line with a time comes out as one row
// of its timeline, those of records alike in all but their place included.
TEST(SelkImporters, MactimeKeepsEveryBodyfileLine) {
    if (std::system("command -v mactime >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "mactime (Debian package sleuthkit) is not installed";
    fx::temp_dir dir;
    const std::string db = dir.file("examined.db");
    ASSERT_NO_FATAL_FAILURE(make_examined_db(db));
    std::vector<std::string> dbs = {db};
    if (have(kRealDb)) dbs.push_back(kRealDb);
    for (const std::string& path : dbs) {
        for (const bool slack : {false, true}) {
            SCOPED_TRACE(path + (slack ? " -incl_slack" : ""));
            std::vector<std::string> args = {"-db", path, "-quiet", "-bodyfile"};
            if (slack) args.push_back("-incl_slack");
            const selk_process::result r = run(args);
            ASSERT_EQ(r.status, 0) << r.err;
            std::size_t timed = 0;
            for (const std::string& line : body_lines(r.out)) timed += line.substr(line.rfind('|')) != "|0";
            if (path == db) {
                EXPECT_EQ(timed, slack ? 12u : 8u);
            }
            const std::string body = dir.file("report.body");
            ASSERT_TRUE(fx::write_all(body, std::vector<std::uint8_t>(r.out.begin(), r.out.end())));
            const selk_process::result timeline =
                run({"-c", "exec mactime -b \"$0\" -z UTC -d 2000-01-01", body}, "", "/bin/sh");
            ASSERT_EQ(timeline.status, 0) << timeline.err;
            EXPECT_EQ(lines(timeline.out).size(), timed + 1) << r.out << timeline.out;
        }
    }
}

// Every form of a report with recovered rows that hold bytes that are not UTF-8 is valid UTF-8, each such
// byte written as "[0xNN]" in the recovered rows as in the live ones.
TEST(SelkImporters, EveryFormOfAReportWithRecoveredRowsIsValidUtf8) {
    fx::temp_dir dir;
    const std::string db = dir.file("examined.db");
    ASSERT_NO_FATAL_FAILURE(make_examined_db(db));
    struct form {
        std::vector<std::string> args;
        const char* recovered;  // what marks a recovered row's line
    };
    const std::vector<form> forms = {
        {{}, "main db slack"},
        {{"-csv"}, "main db slack"},
        {{"-csv", "-enable_quoted_csv_fields", "-all_fields", "-incl_settings"}, "main db slack"},
        {{"-csvl2t"}, "[recovered data]"},
        {{"-csvl2t", "-enable_quoted_csv_fields"}, "[recovered data]"},
        {{"-bodyfile"}, "Recovered Data"},
    };
    for (const form& f : forms) {
        for (const std::string& path : {db, kRealDb}) {
            if (!have(path)) continue;
            std::vector<std::string> args = {"-db", path, "-quiet", "-incl_slack"};
            args.insert(args.end(), f.args.begin(), f.args.end());
            SCOPED_TRACE(path + " " + (f.args.empty() ? "default" : f.args[0]));
            const selk_process::result r = run(args);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_TRUE(strict_utf8(r.out));
            if (path != db) continue;
            std::size_t recovered = 0;
            for (const std::string& line : body_lines(r.out))
                recovered += line.find(f.recovered) != std::string::npos &&
                             line.find("lone [0x82]") != std::string::npos &&
                             line.find("cut [0xE6][0x97]") != std::string::npos &&
                             line.find("overlong [0xC0][0xAF]") != std::string::npos;
            EXPECT_GT(recovered, 0u) << r.out;
        }
    }
}

// A header that says log mode with no "-wal" beside the file is noted once on standard error, in every
// form and with "-quiet", the exit status unchanged; with a "-wal" there (empty or not), or in rollback mode,
// nothing is said.
TEST(SelkImporters, ALogModeHeaderWithoutItsLogIsNoted) {
    fx::temp_dir dir;
    const std::string log_mode = dir.file("log_mode.db");
    const std::string rollback = dir.file("rollback.db");
    for (const std::string& path : {log_mode, rollback}) {
        sqlite3* db = fx::open_db(path);
        ASSERT_NE(db, nullptr);
        fx::exec(db, path == log_mode ? "PRAGMA journal_mode=WAL;" : "PRAGMA journal_mode=DELETE;");
        fx::create_tables(db);
        rf::insert_handler(db, 1, "Contoso.Mail_8wekyb3d8bbwe!App");
        rf::insert_notification(db, 1, 101, 1, "toast", rf::payload_for(1));
        sqlite3_close(db);  // the log is written into the file and removed; the header keeps log mode
    }
    ASSERT_FALSE(fx::exists(log_mode + "-wal"));
    const std::string beside = dir.file("beside.db");
    ASSERT_TRUE(fx::copy_file(log_mode, beside));
    ASSERT_TRUE(fx::write_all(beside + "-wal", {}));
    struct note_case {
        std::string db;
        std::vector<std::string> args;
        bool noted;
    };
    const std::vector<note_case> cases = {
        {log_mode, {"-quiet"}, true},
        {log_mode, {"-quiet", "-carve"}, true},
        {log_mode, {"-quiet", "-incl_slack", "-csv"}, true},
        {log_mode, {}, true},
        {beside, {"-quiet"}, false},
        {rollback, {"-quiet"}, false},
    };
    for (const note_case& c : cases) {
        std::vector<std::string> args = {"-db", c.db};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.db + (c.args.size() > 1 ? " " + c.args[1] : ""));
        const selk_process::result r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(driver_checks::data_rows(r.out).size(), 1u);
        const std::string note = log_mode_note(c.db);
        if (c.args.empty()) {
            EXPECT_NE(r.err.find(note), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err, c.noted ? note : "");
        }
    }
}

}  // namespace
