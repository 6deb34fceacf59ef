// The selk executable end to end: each test runs it as a process and checks its standard output, standard
// error and exit status.
#include "notifications/driver.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver_checks.h"
#include "evidence_open.h"
#include "notification_db_fixtures.h"
#include "selk_process.h"

namespace {

namespace fx = notification_fixtures;
using namespace driver_checks;
using selk_process::lines;
using selk_process::run;
using selk_process::split;
using selk_process::trim;

std::string fixture_db() { return std::string(SELK_FIXTURES_DIR) + "/windows_notifications.db"; }

bool have_fixture() {
    struct stat st;
    return ::stat(fixture_db().c_str(), &st) == 0;
}

#define REQUIRE_FIXTURE() \
    if (!have_fixture()) GTEST_SKIP() << "real notification database absent: " << fixture_db()

// The rows the SQLite library shows, in Order order: (Order, ArrivalTime).
std::vector<std::pair<std::int64_t, std::int64_t>> library_rows(const std::string& path) {
    std::vector<std::pair<std::int64_t, std::int64_t>> rows;
    sqlite3* db = nullptr;
    if (open_readonly_for_test(path, &db) != SQLITE_OK) {
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT [Order], ArrivalTime FROM Notification ORDER BY [Order];", -1, &st,
                           nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW)
            rows.push_back({sqlite3_column_int64(st, 0), sqlite3_column_int64(st, 1)});
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

// ---- usage and options ----

TEST(SelkProcess, HelpAndBareCommandPrintUsageAndSucceed) {
    const std::vector<std::vector<std::string>> cases = {
        {}, {"-h"}, {"-HELP"}, {"/?"}, {"-db", "x.db", "--help"}, {"-db", "x.db", "-Help"}};
    for (const auto& args : cases) {
        const selk_process::result r = run(args);
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.status, 0) << args.size();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, usage_text("selk"));
    }
}

TEST(SelkProcess, NoInputPrintsHeaderAndUsageAndFails) {
    const selk_process::result r = run({"-csv"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, header_block({"-csv"}));
    // The usage text now carries the banner.
    EXPECT_EQ(r.err, usage_text(banner()));
}

TEST(SelkProcess, MistypedSwitchIsRefusedBeforeAnythingIsRead) {
    fx::temp_dir dir;
    const std::string db = dir.file("f.db");
    make_db(db, 2);
    struct refusal {
        std::vector<std::string> args;
        std::string line;
    };
    const std::vector<refusal> cases = {
        {{"-db", db, "-incl_slak"}, "unknown argument: -incl_slak\n"},
        {{"-db", db, "-quiet", "f2.db"}, "unknown argument: f2.db\n"},
        {{"-db", db, "-quiet", "-cmd_start_time", "2020-13-45"},
         "refusing -cmd_start_time 2020-13-45: the date must be written yyyy-mm-dd or yyyy/mm/dd\n"},
        {{"-db", db, "-quiet", "-db", db}, "-db may be given only once\n"},
    };
    for (const refusal& c : cases) {
        const std::vector<std::string>& args = c.args;
        const selk_process::result r = run(args);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, header_block(args));  // no row: nothing was read
        EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
        // A switch named for what is wrong with it is not also called unknown.
        EXPECT_EQ(r.err.find("unknown argument") != std::string::npos, c.line.find("unknown argument") == 0)
            << r.err;
        EXPECT_NE(r.err.find(usage_text(banner())), std::string::npos) << r.err;
    }
}

TEST(SelkProcess, EchoQuotesArgumentsWithBlanksAndMarksPipes) {
    fx::temp_dir dir("with blank");
    ASSERT_FALSE(dir.path().empty());
    const std::string db = dir.file("wpn db.db");
    make_db(db, 0);
    selk_process::result r = run({"-db", db, "-quiet"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              banner() + "\n\"command line: " + selk_process::selk_path() + " -db '" + db + "' -quiet\"\n\n");

    r = run({"-pipe", "-quiet"}, db + "\n");
    EXPECT_EQ(lines(r.out).at(1),
              "\"command line: <filelist> ... | " + selk_process::selk_path() + " -pipe -quiet\"");
}

// ---- the real database ----

TEST(SelkProcess, RealDatabaseDefaultReport) {
    REQUIRE_FIXTURE();
    const selk_process::result r = run({"-db", fixture_db(), "-quiet"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, log_mode_note(fixture_db()));
    ASSERT_EQ(r.out.rfind(header_block({"-db", fixture_db(), "-quiet"}), 0), 0u);
    const std::vector<std::string> all = lines(r.out);
    ASSERT_GE(all.size(), 4u);
    std::vector<std::string> labels;
    for (const std::string& cell : split(all[3], " | ")) labels.push_back(trim(cell));
    const std::vector<std::string> expected = {"Notification ArrivalTime",
                                               "Notification ExpiryTime",
                                               "Handler CreatedTime",
                                               "Handler ModifiedTime",
                                               "PushChannel CreatedTime",
                                               "PushChannel ExpiryTime",
                                               "Type",
                                               "Source of Notification",
                                               "Misc data",
                                               "DB",
                                               "Payload",
                                               "PushChannel Uri"};
    EXPECT_EQ(labels, expected);

    const std::vector<std::string> rows = data_rows(r.out);
    ASSERT_EQ(rows.size(), 6u);
    const std::vector<std::string> first = split(rows[0], " | ");
    ASSERT_EQ(first.size(), 12u);
    EXPECT_EQ(trim(first[0]), "2020-12-11 19:11:35.902");
    EXPECT_EQ(trim(first[1]), "2020-12-11 19:12:35.902");
    EXPECT_EQ(trim(first[6]), "toast");
    EXPECT_EQ(trim(first[7]), "windows.immersivecontrolpanel");
    EXPECT_EQ(trim(first[8]), "{\"src\":\"sqlite lib\"}");
    EXPECT_EQ(trim(first[9]), fixture_db());
    EXPECT_EQ(first[10].rfind("<toast", 0), 0u);
    EXPECT_NE(first[10].find("</toast>"), std::string::npos);
}

TEST(SelkProcess, RealDatabaseRowsComeInOrderOrder) {
    REQUIRE_FIXTURE();
    const auto expected = library_rows(fixture_db());
    ASSERT_EQ(expected.size(), 6u);
    const selk_process::result r = run({"-db", fixture_db(), "-quiet", "-csv", "-all_fields"});
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> all = lines(r.out);
    ASSERT_EQ(all.size(), 4u + expected.size());
    const std::vector<std::string> head = split(all[3], ",");
    ASSERT_EQ(head.at(8), "Order");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::vector<std::string> cells = split(all[4 + i], ",");
        EXPECT_EQ(cells.at(8), std::to_string(expected[i].first)) << i;
    }
}

TEST(SelkProcess, RealDatabaseLog2timeline) {
    REQUIRE_FIXTURE();
    const selk_process::result r = run({"-db", fixture_db(), "-quiet", "-csvl2t"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, log_mode_note(fixture_db()));
    const std::vector<std::string> all = lines(r.out);
    ASSERT_EQ(all.size(), 3u + 1u + 12u);
    EXPECT_EQ(
        all[3],
        "date/"
        "time,timezone,MACB,source,sourcetype,type,user,host,short,desc,version,filename,inode,notes,format,"
        "extra");
    int births = 0, changes = 0;
    for (std::size_t i = 4; i < all.size(); ++i) {
        const std::vector<std::string> cells = split(all[i], ",");
        ASSERT_EQ(cells.size(), 16u) << all[i];
        EXPECT_EQ(cells[3], "SELK_DB");
        births += cells[2] == "...B";
        changes += cells[2] == "..C.";
    }
    EXPECT_EQ(births, 6);
    EXPECT_EQ(changes, 6);
    EXPECT_EQ(
        all[4].rfind(" 2020-12-11 19:11:35.902,UTC,...B,SELK_DB,PushNotification artifact,ArrivalTime,", 0),
        0u);
}

TEST(SelkProcess, RealDatabaseBodyfile) {
    REQUIRE_FIXTURE();
    const auto expected = library_rows(fixture_db());
    const selk_process::result r = run({"-db", fixture_db(), "-quiet", "-bodyfile"});
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> all = lines(r.out);
    ASSERT_EQ(all.size(), 3u + 1u + 6u);
    EXPECT_EQ(all[3],
              "md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time");
    for (std::size_t i = 0; i < 6; ++i) {
        const std::vector<std::string> cells = split(all[4 + i], "|");
        ASSERT_EQ(cells.size(), 11u);
        const std::int64_t unix_seconds = expected[i].second / 10000000 - 11644473600LL;
        EXPECT_EQ(cells[10], std::to_string(unix_seconds));
    }
    EXPECT_EQ(split(all[4], "|").back(), "1607713895");
}

TEST(SelkProcess, RealDatabaseCarve) {
    REQUIRE_FIXTURE();
    const selk_process::result lib = run({"-db", fixture_db(), "-quiet"});
    const selk_process::result r = run({"-db", fixture_db(), "-quiet", "-carve"});
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> lib_rows = data_rows(lib.out);
    const std::vector<std::string> rows = data_rows(r.out);
    ASSERT_GE(rows.size(), 6u);
    ASSERT_EQ(lib_rows.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        const std::vector<std::string> cells = split(rows[i], " | ");
        const std::vector<std::string> lib_cells = split(lib_rows[i], " | ");
        ASSERT_EQ(cells.size(), 12u);
        EXPECT_EQ(trim(cells[0]), trim(lib_cells[0])) << i;
        EXPECT_EQ(trim(cells[10]), trim(lib_cells[10])) << i;
        EXPECT_EQ(trim(cells[8]).rfind("{\"src\":\"carve main\"", 0), 0u) << cells[8];
    }
}

TEST(SelkProcess, ResultsFileAndDiagnosticsLog) {
    REQUIRE_FIXTURE();
    fx::temp_dir dir;
    const std::string out = dir.file("report.txt");
    const std::string diags = dir.file("diags.txt");
    const selk_process::result r = run({"-db", fixture_db(), "-quiet", "-out", out, "-diags", diags});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    std::ifstream in(out);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.rfind(banner() + "\n", 0), 0u);
    EXPECT_EQ(lines(text).size(), 4u + 6u);
    std::ifstream log(diags);
    const std::string log_text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(log_text.find("->6 records found"), std::string::npos) << log_text;
}

TEST(SelkProcess, FailedWritesAreReported) {
    REQUIRE_FIXTURE();
    struct stat st;
    if (::stat("/dev/full", &st) != 0) GTEST_SKIP() << "/dev/full absent";
    selk_process::result r = run({"-db", fixture_db(), "-quiet", "-out", "/dev/full"});
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find("prob writing results file: /dev/full"), std::string::npos) << r.err;

    const std::string cmd =
        "'" + selk_process::selk_path() + "' -db '" + fixture_db() + "' -quiet > /dev/full";
    r = run({"-c", cmd}, "", "/bin/sh");
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find("prob writing results to standard output"), std::string::npos) << r.err;
}

// A "-diags" log that cannot be written (a full disk) fails the run in every form, said on standard error
// also with "-quiet"; the report is still written whole.
TEST(SelkProcess, UnwritableDiagnosticsLogFailsTheRun) {
    struct stat st;
    if (::stat("/dev/full", &st) != 0) GTEST_SKIP() << "/dev/full absent";
    fx::temp_dir dir;
    const std::string db = dir.file("logged.db");
    make_db(db, 3, "logged");
    for (const std::string form : {"", "-csv", "-carve", "-incl_slack"}) {
        std::vector<std::string> args = {"-db", db, "-quiet", "-diags", "/dev/full"};
        if (!form.empty()) args.push_back(form);
        const selk_process::result r = run(args);
        EXPECT_EQ(r.status, 255) << form;
        EXPECT_EQ(r.err, "prob writing diagnostics log: /dev/full\n") << form;
        EXPECT_NE(r.out.find("logged 2<"), std::string::npos) << form;
    }
}

// Standard error into a file or a pipe gets no terminal control byte (no clear of the status line, no
// progress left to be overwritten), with "-quiet" and without: its messages are plain lines.
TEST(SelkProcess, StandardErrorThatIsNoTerminalGetsNoControlBytes) {
    fx::temp_dir dir;
    const std::string db = dir.file("sound.db"), text = dir.file("notes.db"), err_file = dir.file("err.txt");
    make_db(db, 50, "sound");
    ASSERT_TRUE(fx::write_all(text, std::vector<std::uint8_t>(4096, 'x')));
    struct stderr_case {
        std::vector<std::string> args;
        std::string told;  // a line standard error holds
    };
    const std::vector<stderr_case> cases = {
        {{"-db", db, "-carve"}, "analyzing " + db + "\n"},
        {{"-db", db, "-incl_slack", "-quiet"}, ""},
        {{"-db", text}, "prob processing file " + text + ": not a SQLite database\n"},
        {{"-db", text, "-quiet"}, "prob processing file " + text + ": not a SQLite database\n"},
    };
    for (const stderr_case& c : cases) {
        for (const bool to_file : {false, true}) {
            std::string err;
            if (to_file) {
                // The shell opens the file as standard error, then runs selk with the case's arguments.
                std::vector<std::string> args = {"-c", "exec \"$0\" \"$@\" 2>'" + err_file + "'",
                                                 selk_process::selk_path()};
                args.insert(args.end(), c.args.begin(), c.args.end());
                const selk_process::result r = run(args, "", "/bin/sh");
                EXPECT_EQ(r.err, "");
                const std::vector<std::uint8_t> bytes = fx::read_all(err_file);
                err.assign(bytes.begin(), bytes.end());
            } else {
                err = run(c.args).err;
            }
            const std::string where = c.args.back() + (to_file ? " into a file" : " into a pipe");
            EXPECT_EQ(err.find_first_of("\x1b\r"), std::string::npos) << where << ": " << err;
            EXPECT_NE(err.find(c.told), std::string::npos) << where << ": " << err;
            if (c.told.empty()) {
                EXPECT_EQ(err, "") << where;
            }
        }
    }
}

// Standard error on a terminal: the slack scan of "-carve" and "-incl_slack" shows one percent-done line that
// only rises, over the main file's free space and the log's frames alike, and every form ends its status
// line with the count of rows written (the report's lines after the banner and the header). "-quiet" shows
// no status at all, and standard error that is a pipe gets the messages it always got, nothing more.
TEST(SelkProcess, ProgressOnATerminalOnlyRisesAndEndsWithTheRowsWritten) {
    fx::temp_dir dir;
    const std::string live = dir.file("live.db"), db = dir.file("wal.db");
    make_db(live, 400, "tty");
    sqlite3* conn = fx::open_db(live);
    ASSERT_NE(conn, nullptr);
    fx::exec(conn,
             "PRAGMA secure_delete=OFF; DELETE FROM Notification WHERE [Order] % 3 = 0;"
             "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
             "DELETE FROM Notification WHERE [Order] % 5 = 0;");
    ASSERT_TRUE(fx::copy_file(live, db));
    ASSERT_TRUE(fx::copy_file(live + "-wal", db + "-wal"));
    sqlite3_close(conn);
    const std::string label = "percent done: ";
    const std::string last = "\x1b[2K\r    \rrows written: ";
    for (const std::string form : {"-carve", "-incl_slack", "-csv", "-csvl2t"}) {
        for (const bool quiet : {false, true}) {
            std::vector<std::string> args = {"-db", db, form};
            if (quiet) args.push_back("-quiet");
            const selk_process::result r = run(args, "", selk_process::selk_path(), true);
            const std::string where = form + (quiet ? " -quiet" : "");
            ASSERT_EQ(r.status, 0) << where << ": " << r.err;
            const std::size_t rows = data_rows(r.out).size();
            EXPECT_GT(rows, 200u) << where;
            // "-carve" says once, also with "-quiet", that the log beside commits pages the main file lacks.
            const std::string note = form == "-carve" ? driver_checks::log_beside_note(db) : "";
            EXPECT_EQ(run(args).err, (quiet ? "" : "analyzing " + db + "\n") + note)
                << where << " into a pipe";
            if (quiet) {
                EXPECT_EQ(driver_checks::without_status_clears(r.err), note) << where;
                continue;
            }
            std::vector<double> shown;
            for (std::size_t at = r.err.find(label); at != std::string::npos; at = r.err.find(label, at + 1))
                shown.push_back(std::stod(r.err.substr(at + label.size())));
            for (std::size_t i = 1; i < shown.size(); ++i) EXPECT_LT(shown[i - 1], shown[i]) << where;
            EXPECT_EQ(shown.empty(), form == "-csv" || form == "-csvl2t") << where << ": " << r.err;
            const std::size_t at = r.err.rfind(last);
            ASSERT_NE(at, std::string::npos) << where << ": " << r.err;
            EXPECT_EQ(r.err.substr(at + last.size()),
                      std::to_string(rows) + "\n\x1b[2K\r" + std::string(27, ' ') + "\r")
                << where;
        }
    }
}

// An importer skips the banner block's 3 lines and takes the next for the header, in a report written to
// "-out" as on standard output: the sqlite3 shell's ".import --csv --skip 3" makes a table of the header's
// labels with a row for each line after it; with "-no_whitespace", as the recipe says, SQL reads every time
// of the first column.
TEST(SelkProcess, AnImporterSkipsTheThreeLinesOfTheBanner) {
    if (std::system("command -v sqlite3 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "the sqlite3 shell (Debian package sqlite3) is not installed";
    fx::temp_dir dir;
    const std::string db = dir.file("import.db");
    make_db(db, 5, "imported");
    int made = 0;
    for (const std::string form : {"-csv", "-csvl2t"}) {
        for (const bool to_file : {false, true}) {
            const std::string report = dir.file("report" + std::to_string(++made) + ".csv");
            std::vector<std::string> args = {"-db", db, "-quiet", form, "-no_whitespace"};
            if (to_file) args.insert(args.end(), {"-out", report});
            const selk_process::result r = run(args);
            ASSERT_EQ(r.status, 0) << r.err;
            if (!to_file) {
                ASSERT_TRUE(fx::write_all(report, std::vector<std::uint8_t>(r.out.begin(), r.out.end())));
            }
            const std::vector<std::uint8_t> bytes = fx::read_all(report);
            const std::vector<std::string> all = lines(std::string(bytes.begin(), bytes.end()));
            ASSERT_GT(all.size(), 4u);
            const std::string table = dir.file("imported" + std::to_string(made) + ".db");
            const selk_process::result shell =
                run({"-c", "exec sqlite3 \"$@\"", "sqlite3", table, ".import --csv --skip 3 " + report + " t",
                     "SELECT count(*) FROM t;", "SELECT group_concat(name, ',') FROM pragma_table_info('t');",
                     "SELECT count(datetime(\"" + all[3].substr(0, all[3].find(',')) + "\")) FROM t;"},
                    "", "/bin/sh");
            const std::string where = form + (to_file ? " -out" : " standard output");
            const std::string rows = std::to_string(all.size() - 4);
            EXPECT_EQ(shell.status, 0) << where << ": " << shell.err;
            EXPECT_EQ(shell.out, rows + "\n" + all[3] + "\n" + rows + "\n") << where;
        }
    }
}

// selk keeps no run log: the common switch that asks for one is refused, in every form, and makes no file.
TEST(SelkProcess, RunLogOptionIsRefused) {
    REQUIRE_FIXTURE();
    fx::temp_dir dir;
    const std::string log = dir.file("run.sqlite");
    for (const char* form : {"-csv", "-csvl2t", "-bodyfile"}) {
        const std::vector<std::string> args = {"-db", fixture_db(), "-quiet", "-sqlite", log, form};
        const selk_process::result r = run(args);
        EXPECT_EQ(r.status, 255) << form;
        EXPECT_EQ(r.out, header_block(args)) << form;
        EXPECT_NE(r.err.find("-sqlite is not used by selk\n"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fx::exists(log));
}

// ---- generated databases ----

TEST(SelkProcess, EmptyNotificationTableIsASuccess) {
    fx::temp_dir dir;
    const std::string db = dir.file("empty.db");
    make_db(db, 0);
    const std::string diags = dir.file("d.txt");
    const selk_process::result r = run({"-db", db, "-quiet", "-diags", diags});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, header_block({"-db", db, "-quiet", "-diags", diags}));
    std::ifstream log(diags);
    const std::string log_text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_EQ(log_text.find("records found"), std::string::npos);
}

TEST(SelkProcess, UnreadableDatabaseFails) {
    fx::temp_dir dir;
    const std::string text_file = dir.file("notes.db");
    ASSERT_TRUE(fx::write_all(text_file, std::vector<std::uint8_t>(4096, 'x')));
    const std::string other = dir.file("other.db");
    sqlite3* db = fx::open_db(other);
    ASSERT_NE(db, nullptr);
    fx::exec(db, "CREATE TABLE t(a INTEGER, b TEXT); INSERT INTO t VALUES(1, 'x');");
    sqlite3_close(db);
    // (path, the reason said after "prob processing file <path>: ")
    const std::vector<std::pair<std::string, std::string>> cases = {
        {text_file, "not a SQLite database"},
        {other, "its schema lists no table notification"},
        {dir.file("missing.db"), "no such file"},
        {dir.path(), "it is a folder"},
    };
    for (const auto& c : cases) {
        const selk_process::result r = run({"-db", c.first, "-quiet"});
        EXPECT_EQ(r.status, 255) << c.first;
        EXPECT_EQ(r.out, header_block({"-db", c.first, "-quiet"}));
        const std::string tail = "prob processing file " + c.first + ": " + c.second + "\n";
        ASSERT_GE(r.err.size(), tail.size()) << r.err;
        EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail) << r.err;
    }
    // Loose pages need no database header; a missing file of them is named as such.
    const selk_process::result chunk = run({"-db", dir.file("none.bin"), "-parse_chunk", "-quiet"});
    EXPECT_EQ(chunk.status, 255);
    EXPECT_NE(chunk.err.find("prob processing file " + dir.file("none.bin") + ": no such file\n"),
              std::string::npos)
        << chunk.err;
}

TEST(SelkProcess, PipeReadsEveryListedDatabaseUnderOneHeader) {
    fx::temp_dir dir;
    const std::string a = dir.file("a.db"), b = dir.file("b.db");
    make_db(a, 2, "alpha");
    make_db(b, 3, "beta");
    const selk_process::result r = run({"-pipe", "-quiet"}, a + "\n\n" + b + "\n");
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> all = lines(r.out);
    int banners = 0, headers = 0, alpha = 0, beta = 0;
    for (const std::string& line : all) {
        banners += line == banner();
        headers += line.rfind("Notification ArrivalTime", 0) == 0;
        alpha += line.find("alpha") != std::string::npos && line.find(a) != std::string::npos;
        beta += line.find("beta") != std::string::npos && line.find(b) != std::string::npos;
    }
    EXPECT_EQ(banners, 1);
    EXPECT_EQ(headers, 1);
    EXPECT_EQ(alpha, 2);
    EXPECT_EQ(beta, 3);

    const selk_process::result none = run({"-pipe", "-quiet"}, "");
    EXPECT_EQ(none.status, 255);
    EXPECT_EQ(none.out, header_block({"-pipe", "-quiet"}));
    EXPECT_EQ(run({"-pipe", "-quiet"}, "\n\n").status, 255);
}

TEST(SelkProcess, EnumdirHonoursTheDepth) {
    fx::temp_dir dir("tree");
    const std::string top = dir.path();
    ASSERT_EQ(::mkdir((top + "/s1").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((top + "/s1/s2").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((top + "/s1/s2/s3").c_str(), 0755), 0);
    make_db(top + "/a.db", 1, "depth0");
    make_db(top + "/s1/b.db", 1, "depth1");
    make_db(top + "/s1/s2/c.db", 1, "depth2");
    make_db(top + "/s1/s2/s3/d.db", 1, "depth3");
    ASSERT_TRUE(fx::write_all(top + "/s1/readme.txt", std::vector<std::uint8_t>(10, 'r')));
    // Found beside its database, a shared-memory file is read with it and not counted on its own.
    ASSERT_TRUE(fx::write_all(top + "/a.db-shm", std::vector<std::uint8_t>(64, 's')));

    auto found = [](const std::string& out) {
        std::string marks;
        for (const char* m : {"depth0", "depth1", "depth2", "depth3"})
            marks += out.find(m) != std::string::npos ? "1" : "0";
        return marks;
    };
    selk_process::result r = run({"-enumdir", top, "-num_subdirs", "0", "-quiet"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(found(r.out), "1000");
    r = run({"-enumdir", top, "-num_subdirs", "2", "-quiet", "-filter", "*.db"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(found(r.out), "1110");
    // A file found that is no database is named, and the run does not pass for complete.
    const selk_process::result all = run({"-enumdir", top, "-num_subdirs", "2", "-quiet"});
    EXPECT_EQ(all.status, 255);
    EXPECT_EQ(found(all.out), "1110");
    EXPECT_NE(all.err.find("prob processing file " + top + "/s1/readme.txt: not a SQLite database\n"),
              std::string::npos)
        << all.err;
    int banners = 0;
    for (const std::string& line : lines(r.out)) banners += line == banner();
    EXPECT_EQ(banners, 1);

    // The same files through "-pipe" give the same rows.
    const selk_process::result piped =
        run({"-pipe", "-quiet"}, top + "/a.db\n" + top + "/s1/b.db\n" + top + "/s1/s2/c.db\n");
    EXPECT_EQ(found(piped.out), "1110");

    fx::temp_dir empty("nothing");
    EXPECT_EQ(run({"-enumdir", empty.path(), "-num_subdirs", "2", "-quiet"}).status, 255);
}

// A name that holds "%NAME%" is read as written wherever a file has that name, whether given, listed or
// found; only a name that is not there as written is read with the variable expanded.
TEST(SelkProcess, NamesAreReadAsWritten) {
    fx::temp_dir dir;
    ASSERT_EQ(::setenv("SELK_NAME_PART", "sub", 1), 0);
    const std::string written = dir.file("x%SELK_NAME_PART%y.db");
    make_db(written, 1, "written");
    make_db(dir.file("xsuby.db"), 1, "decoy");  // what the expanded name reaches
    make_db(dir.file("xsubz.db"), 1, "fallback");
    struct name_case {
        std::vector<std::string> args;
        std::string input;
        std::string counts;  // how often the rows of the written, decoy and fallback databases are printed
    };
    const std::vector<name_case> cases = {
        {{"-db", written}, "", "100"},
        {{"-pipe"}, written + "\n", "100"},
        {{"-enumdir", dir.path(), "-filter", "*.db"}, "", "111"},
        {{"-db", dir.file("x%SELK_NAME_PART%z.db")}, "", "001"},
    };
    for (const name_case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("-quiet");
        const selk_process::result r = run(args, c.input);
        SCOPED_TRACE(args[0] + " " + c.input);
        EXPECT_EQ(r.status, 0) << r.err;
        std::string counts;
        for (const char* marker : {"written 0", "decoy 0", "fallback 0"}) {
            int n = 0;
            for (std::size_t at = r.out.find(marker); at != std::string::npos;
                 at = r.out.find(marker, at + 1))
                ++n;
            counts += std::to_string(n);
        }
        EXPECT_EQ(counts, c.counts) << r.out;
    }
    ::unsetenv("SELK_NAME_PART");
}

TEST(SelkProcess, SampleDatabaseOfTheBuild) {
    struct stat st;
    if (::stat(selk_process::sample_db_path().c_str(), &st) != 0)
        GTEST_SKIP() << "sample database not built: " << selk_process::sample_db_path();
    const selk_process::result r = run({"-db", selk_process::sample_db_path(), "-quiet"});
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> rows = data_rows(r.out);
    EXPECT_EQ(rows.size(), 7u);
    int toast = 0, tile = 0, badge = 0;
    for (const std::string& row : rows) {
        const std::string type = trim(split(row, " | ").at(6));
        toast += type == "toast";
        tile += type == "tile";
        badge += type == "badge";
    }
    EXPECT_EQ(toast, 4);
    EXPECT_EQ(tile, 2);
    EXPECT_EQ(badge, 1);
    // The deleted rows are not shown by the library; the slack scan finds them.
    EXPECT_EQ(r.out.find("Meeting moved"), std::string::npos);
    const selk_process::result slack = run({"-db", selk_process::sample_db_path(), "-quiet", "-incl_slack"});
    EXPECT_EQ(slack.status, 0);
    for (const char* text : {"Meeting moved", "Update available"})
        EXPECT_NE(slack.out.find(text), std::string::npos) << text;
}

// ---- what a run leaves behind, damaged pages and the file filter ----

// Whatever ends a run, nothing of it is left: the library applies the log in memory, so no copy of the
// evidence is made in TMPDIR (here inside the evidence's folder, as an examiner may have it) or anywhere.
TEST(SelkProcess, NothingOfTheRunOutlivesItWhateverEndsIt) {
    fx::temp_dir dir("copies");
    // A database whose rows all sit in its log. Its report is far larger than the pipe and the report buffer,
    // so a run whose output nobody reads stops mid-way, the database open.
    const std::string live = dir.file("live.db"), db = dir.file("wal.db");
    sqlite3* conn = fx::open_db(live);
    ASSERT_NE(conn, nullptr);
    fx::exec(conn, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    fx::create_tables(conn);
    fx::insert_handler(conn, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    fx::exec(conn, "BEGIN;");
    for (int i = 0; i < 20000; ++i) {
        fx::insert_notification(conn, 200 + i, 300 + i, 68, "toast",
                                "<toast><text>logged " + std::to_string(i) + "</text></toast>", {},
                                132521874959020000LL + i * 10000000LL);
    }
    fx::exec(conn, "COMMIT;");
    ASSERT_TRUE(fx::copy_file(live, db));
    ASSERT_TRUE(fx::copy_file(live + "-wal", db + "-wal"));
    sqlite3_close(conn);
    ASSERT_EQ(::mkdir(dir.file("tmp").c_str(), 0700), 0);
    const std::string tmp = dir.file("tmp");
    const char* saved_tmpdir = std::getenv("TMPDIR");
    const std::string saved = saved_tmpdir != nullptr ? saved_tmpdir : "";
    ::setenv("TMPDIR", tmp.c_str(), 1);
    const std::set<std::string> evidence = folder_names(dir.path());
    // Modification and change times of the evidence.
    const auto written = [&] {
        std::vector<std::int64_t> times;
        for (const std::string& f : {db, db + "-wal"}) {
            const std::vector<std::int64_t> t = file_times(f);
            times.insert(times.end(), t.begin() + 1, t.end());
        }
        return times;
    };
    const std::vector<std::int64_t> before = written();

    // SIGPIPE: the reader of the report goes away; SIGKILL: the out-of-memory killer. The signals that leave
    // a core file leave none here.
    for (const int signal_number :
         {SIGINT, SIGTERM, SIGPIPE, SIGQUIT, SIGKILL, SIGSEGV, SIGABRT, SIGBUS, SIGTRAP}) {
        int out_pipe[2];
        ASSERT_EQ(::pipe(out_pipe), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::dup2(out_pipe[1], 1);
            const int null_fd = ::open("/dev/null", O_WRONLY);
            ::dup2(null_fd, 2);
            ::close(out_pipe[0]);
            // As a shell would start it: other tests of this program ignore SIGPIPE, which a child inherits.
            ::signal(SIGPIPE, SIG_DFL);
            const struct rlimit no_core = {0, 0};
            ::setrlimit(RLIMIT_CORE, &no_core);
            // A sanitizer build would take a fault signal sent from outside for a fault of its own.
            const char* asan = std::getenv("ASAN_OPTIONS");
            const std::string sanitizer =
                std::string(asan != nullptr ? asan : "") + ":handle_segv=0:handle_sigbus=0";
            ::setenv("ASAN_OPTIONS", sanitizer.c_str(), 1);
            const std::string program = selk_process::selk_path();
            ::execl(program.c_str(), program.c_str(), "-db", db.c_str(), "-quiet",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out_pipe[1]);
        // Mid-way: rows from the log are being written.
        std::string out;
        char chunk[4096];
        for (ssize_t got; out.find("logged 10") == std::string::npos &&
                          (got = ::read(out_pipe[0], chunk, sizeof chunk)) > 0;)
            out.append(chunk, static_cast<std::size_t>(got));
        EXPECT_NE(out.find("logged 10"), std::string::npos) << signal_number;
        EXPECT_EQ(folder_names(dir.path()), evidence) << signal_number << " mid-way";
        EXPECT_TRUE(folder_names(tmp).empty()) << signal_number << " mid-way";
        if (signal_number == SIGPIPE) {
            ::close(out_pipe[0]);
        } else {
            ::kill(pid, signal_number);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        if (signal_number != SIGPIPE) ::close(out_pipe[0]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
        EXPECT_EQ(folder_names(dir.path()), evidence) << signal_number;
        EXPECT_TRUE(folder_names(tmp).empty()) << signal_number;
        EXPECT_EQ(written(), before) << signal_number;
    }

    // A temporary folder that is not there is no matter: the run needs none.
    for (const std::string& folder : {tmp, dir.file("none")}) {
        ::setenv("TMPDIR", folder.c_str(), 1);
        const selk_process::result whole = run({"-db", db, "-quiet"});
        EXPECT_EQ(whole.status, 0) << folder << ": " << whole.err;
        EXPECT_NE(whole.out.find("logged 19999"), std::string::npos) << folder;
        EXPECT_TRUE(folder_names(tmp).empty());
    }
    EXPECT_EQ(folder_names(dir.path()), evidence);
    EXPECT_EQ(written(), before);
    if (saved_tmpdir != nullptr) {
        ::setenv("TMPDIR", saved.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
}

TEST(SelkProcess, TimeWindowSelectsListedAndFoundDatabases) {
    fx::temp_dir dir("window");
    const std::string a = dir.file("a.db"), b = dir.file("b.db");
    make_db(a, 1, "alpha");
    make_db(b, 1, "beta");
    // Modification times far ahead of any birth time the file system may keep (the files are made now).
    set_file_times(a, utc_seconds(2090, 3, 1));
    set_file_times(b, utc_seconds(2090, 9, 1));
    // (window, databases that pass)
    const std::vector<std::pair<std::vector<std::string>, std::string>> windows = {
        {{"-cmd_start_time", "2080-01-01", "-cmd_stop_time", "2085-12-31"}, ""},   // before both
        {{"-cmd_start_time", "2090-02-01", "-cmd_stop_time", "2090-04-01"}, "a"},  // around a
        // a's own second, from start to stop
        {{"-cmd_start_time", "2090-03-01 12:00:00", "-cmd_stop_time", "2090-03-01 12:00:00"}, "a"},
        {{"-cmd_stop_time", "2090-06-30"}, "a"},
        {{"-cmd_start_time", "2090-06-01 08:00:00"}, "b"},
        {{"-cmd_start_time", "2090/01/01", "-cmd_stop_time", "2090/12/31"}, "ab"},  // around both
        {{"-cmd_start_time", "2095-01-01"}, ""},                                    // after both
    };
    const std::vector<std::vector<std::string>> modes = {{"-pipe"},
                                                         {"-enumdir", dir.path(), "-num_subdirs", "0"}};
    for (const auto& w : windows) {
        for (const auto& mode : modes) {
            for (const bool filter : {false, true}) {
                std::vector<std::string> args = mode;
                args.push_back("-quiet");
                args.insert(args.end(), w.first.begin(), w.first.end());
                if (filter) args.insert(args.end(), {"-filter", "*.db"});
                const selk_process::result r = run(args, a + "\n" + b + "\n");
                std::string found;
                if (r.out.find("alpha") != std::string::npos) found += "a";
                if (r.out.find("beta") != std::string::npos) found += "b";
                const std::string label = w.first[1] + " " + mode[0] + (filter ? " -filter" : "");
                EXPECT_EQ(found, w.second) << label;
                EXPECT_EQ(r.status, w.second.empty() ? 255 : 0) << label;
                if (w.second.empty()) {
                    EXPECT_NE(r.err.find("no listed or found file passes the file filter and time window\n"),
                              std::string::npos)
                        << label << r.err;
                }
            }
        }
    }
}

// ---- recovered records ----

// A database whose notifications `deleted` were removed again with secure_delete off: their bytes stay in
// the page's free space.
void make_db_with_deleted(const std::string& path, const std::vector<int>& deleted) {
    make_db(path, 8, "kept");
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    for (int i : deleted)
        fx::exec(db, "DELETE FROM Notification WHERE [Order] = " + std::to_string(200 + i) + ";");
    sqlite3_close(db);
}

// Source label and record offset of a row's "Misc data" text.
std::pair<std::string, std::string> source_and_offset(const std::string& misc) {
    auto value_of = [&misc](const std::string& key) {
        const std::size_t at = misc.find("\"" + key + "\":\"");
        if (at == std::string::npos) return std::string();
        const std::size_t start =
            at + key.size() + 4;  // past the quote, the key, the quote, ":" and the quote
        return misc.substr(start, misc.find('"', start) - start);
    };
    return {value_of("src"), value_of("record offset")};
}

TEST(SelkProcess, IncludeSlackPrintsDeletedRowsAfterTheLibraryRows) {
    fx::temp_dir dir;
    const std::string db = dir.file("deleted.db");
    make_db_with_deleted(db, {1, 4, 6});
    const selk_process::result r = run({"-db", db, "-quiet", "-incl_slack"});
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> all = lines(r.out);
    ASSERT_GE(all.size(), 4u);
    // The source column is widened for the recovered labels.
    EXPECT_EQ(split(all[3], " | ").at(8).size(), 73u);
    const std::vector<std::string> rows = data_rows(r.out);
    ASSERT_GE(rows.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_NE(rows[i].find("{\"src\":\"sqlite lib\"}"), std::string::npos) << i;
    EXPECT_EQ(r.err, "");
    std::set<std::pair<std::string, std::string>> seen;
    std::string recovered_text;
    for (std::size_t i = 5; i < rows.size(); ++i) {
        const std::vector<std::string> cells = split(rows[i], " | ");
        ASSERT_EQ(cells.size(), 12u);
        const auto key = source_and_offset(cells[8]);
        EXPECT_NE(key.first, "sqlite lib");
        EXPECT_FALSE(key.first.empty()) << cells[8];
        if (!key.second.empty()) {
            const bool main_file = key.first == "main db slack" || key.first == "carve main" ||
                                   key.first == "main db page to be overwritten from wal" ||
                                   key.first == "carve main from wal data";
            EXPECT_TRUE(seen.insert({main_file ? "main" : "other", key.second}).second) << rows[i];
        }
        recovered_text += rows[i];
    }
    for (int i : {1, 4, 6})
        EXPECT_NE(recovered_text.find("kept " + std::to_string(i) + "<"), std::string::npos) << i;
}

TEST(SelkProcess, RowsBeforeADamagedLeafArePrintedAndTheFailureSaid) {
    fx::temp_dir dir;
    const std::string live = dir.file("live.db");
    make_db(live, 150, "early");
    // Break the last leaf of the Notification table: the library fails part of the way through it.
    std::vector<std::uint8_t> bytes = fx::read_all(live);
    std::uint32_t root = 0;
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(open_readonly_for_test(live, &db), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE name = 'Notification';",
                                     -1, &st, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        root = static_cast<std::uint32_t>(sqlite3_column_int(st, 0));
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    const std::size_t root_at = (root - 1) * 4096u;
    ASSERT_EQ(bytes.at(root_at), 5) << "the table needs more than one leaf";
    const std::uint32_t last_leaf = (bytes[root_at + 8] << 24) | (bytes[root_at + 9] << 16) |
                                    (bytes[root_at + 10] << 8) | bytes[root_at + 11];
    bytes.at((last_leaf - 1) * 4096u) = 0x44;
    const std::string db = dir.file("damaged.db");
    ASSERT_TRUE(fx::write_all(db, bytes));

    // What the library itself gives before it fails.
    int delivered = 0;
    std::string library_error;
    {
        sqlite3* conn = nullptr;
        ASSERT_EQ(open_readonly_for_test(db, &conn), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(conn, "SELECT [Order], Payload FROM Notification;", -1, &st, nullptr),
                  SQLITE_OK);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) ++delivered;
        EXPECT_NE(rc, SQLITE_DONE);
        library_error = sqlite3_errmsg(conn);
        sqlite3_finalize(st);
        sqlite3_close(conn);
    }
    ASSERT_GT(delivered, 0);
    ASSERT_LT(delivered, 150);

    // "-quiet" silences progress, not errors.
    const selk_process::result r = run({"-db", db, "-quiet"});
    EXPECT_EQ(r.status, 255);
    int printed = 0;
    for (const std::string& row : data_rows(r.out)) printed += row.find("early ") != std::string::npos;
    EXPECT_EQ(printed, delivered);
    EXPECT_NE(r.err.find("prob reading table notification of " + db + ": " + library_error +
                         ": the library gave " + std::to_string(delivered) +
                         " rows of it: the rest is read by the own reader in the state the library reads "
                         "(\"carve main\")\n"),
              std::string::npos)
        << r.err;
}

// ---- damaged tables under "-carve" and pages no walk reaches ----

// A notification table of three levels on 1024-byte pages: `count` rows, Order 200 on, each long enough
// that a leaf holds two or three.
void make_deep_db(const std::string& path, int count) {
    sqlite3* db = fx::open_db(path);
    ASSERT_NE(db, nullptr);
    fx::exec(db, "PRAGMA page_size=1024;");
    fx::create_tables(db);
    fx::insert_handler(db, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    fx::exec(db, "BEGIN;");
    for (int i = 0; i < count; ++i)
        fx::insert_notification(
            db, 200 + i, 300 + i, 68, "toast",
            "<toast><text>deep " + std::to_string(i) + "</text></toast>" + std::string(300, 'x'), {},
            132521874959020000LL + i * 10000000LL);
    fx::exec(db, "COMMIT;");
    sqlite3_close(db);
}

std::uint32_t be32_at(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t(b.at(at)) << 24) | (std::uint32_t(b.at(at + 1)) << 16) |
           (std::uint32_t(b.at(at + 2)) << 8) | b.at(at + 3);
}

// The children of a table interior page with the Order range each holds: (child, above, up to).
struct child_range {
    std::uint32_t child;
    std::int64_t low;
    std::int64_t high;
};
std::vector<child_range> interior_children(const std::vector<std::uint8_t>& b, std::uint32_t page) {
    const std::size_t at = (page - 1) * 1024u;
    std::vector<child_range> out;
    std::int64_t low = 0;
    const std::uint32_t cells = (std::uint32_t(b.at(at + 3)) << 8) | b.at(at + 4);
    for (std::uint32_t i = 0; i < cells; ++i) {
        const std::size_t cell = at + ((std::size_t(b.at(at + 12 + 2 * i)) << 8) | b.at(at + 13 + 2 * i));
        std::int64_t key = 0;
        for (std::size_t k = cell + 4; k < cell + 13; ++k) {
            key = (key << 7) | (b.at(k) & 0x7f);
            if ((b.at(k) & 0x80) == 0) break;
        }
        out.push_back({be32_at(b, cell), low, key});
        low = key;
    }
    out.push_back({be32_at(b, at + 8), low, INT64_MAX});
    return out;
}

std::uint32_t notification_root(const std::string& path) {
    sqlite3* db = nullptr;
    std::uint32_t root = 0;
    if (open_readonly_for_test(path, &db) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE name = 'Notification';", -1, &st,
                               nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            root = static_cast<std::uint32_t>(sqlite3_column_int(st, 0));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return root;
}

// Of each row of a report, the row number in its payload ("deep N") by source label.
std::map<std::string, std::set<int>> deep_rows_by_source(const std::string& out) {
    std::map<std::string, std::set<int>> found;
    for (const std::string& row : data_rows(out)) {
        const std::vector<std::string> cells = split(row, " | ");
        if (cells.size() != 12u) continue;
        const std::size_t at = cells[10].find("deep ");
        if (at == std::string::npos) continue;
        found[source_and_offset(cells[8]).first].insert(std::atoi(cells[10].c_str() + at + 5));
    }
    return found;
}

// One damaged page or cell of the Notification table: "-carve" prints every row the other pages and cells
// lead to, names the table, the page (and cell) and why on standard error (also with "-quiet") and fails;
// the rows of the pages no walk reaches any more come back as recovered rows, so every row is in the report.
TEST(SelkProcess, CarveSaysADamagedPageAndPrintsEveryRowItCanRead) {
    fx::temp_dir dir;
    const std::string live = dir.file("deep.db");
    const int count = 1000;
    make_deep_db(live, count);
    const std::uint32_t root = notification_root(live);
    const std::vector<std::uint8_t> intact = fx::read_all(live);
    ASSERT_EQ(intact.at((root - 1) * 1024u), 5);
    const std::vector<child_range> top = interior_children(intact, root);
    ASSERT_GE(top.size(), 3u);
    ASSERT_EQ(intact.at((top[1].child - 1) * 1024u), 5) << "three levels";
    const std::vector<child_range> leaves = interior_children(intact, top[1].child);

    struct damage_case {
        const char* name;
        std::uint32_t page;  // zeroed, or with its type byte set to 0x44
        bool zeroed;
        child_range lost;  // the rows no walk of the table reaches
        std::string said;
        std::uint16_t pointer = 0;  // else the page's first cell pointer set to this
    };
    const auto where = [](std::uint32_t page, const std::string& what) {
        return "page " + std::to_string(page) + " (" + what + ", file offset " +
               std::to_string((page - 1) * 1024u) + ") skipped: ";
    };
    const std::vector<damage_case> cases = {
        {"root",
         root,
         true,
         {root, 0, INT64_MAX},
         where(root, "root page") + "not a b-tree page (type byte 0x00)"},
        {"interior child", top[1].child, true, top[1],
         where(top[1].child, "child of page " + std::to_string(root)) + "not a b-tree page (type byte 0x00)"},
        {"leaf", leaves[2].child, false, leaves[2],
         where(leaves[2].child, "leaf page") + "not a b-tree page (type byte 0x44)"},
        // The leaf's first cell holds its lowest key.
        {"cell pointer",
         leaves[2].child,
         false,
         {leaves[2].child, leaves[2].low, leaves[2].low + 1},
         "page " + std::to_string(leaves[2].child) + " (leaf page, file offset " +
             std::to_string((leaves[2].child - 1) * 1024u) +
             ") cell 0 skipped: its pointer 65535 lies past the end of the page (1024 bytes)",
         0xffff},
    };
    for (const damage_case& c : cases) {
        std::vector<std::uint8_t> bytes = intact;
        const std::size_t at = (c.page - 1) * 1024u;
        if (c.pointer != 0) {
            bytes[at + 8] = static_cast<std::uint8_t>(c.pointer >> 8);
            bytes[at + 9] = static_cast<std::uint8_t>(c.pointer & 0xff);
        } else if (c.zeroed) {
            std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + 1024), 0);
        } else {
            bytes[at] = 0x44;
        }
        const std::string db = dir.file(std::string("damaged_") + c.name + ".db");
        ASSERT_TRUE(fx::write_all(db, bytes));
        const selk_process::result r = run({"-db", db, "-quiet", "-carve"});
        EXPECT_EQ(r.status, 255) << c.name;
        EXPECT_NE(r.err.find("prob reading table notification of " + db + ": " + c.said + "\n"),
                  std::string::npos)
            << c.name << ": " << r.err;
        std::set<int> reachable, all;
        for (int i = 0; i < count; ++i) {
            all.insert(i);
            if (200 + i <= c.lost.low || 200 + i > c.lost.high) reachable.insert(i);
        }
        std::map<std::string, std::set<int>> found = deep_rows_by_source(r.out);
        EXPECT_EQ(found["carve main"], reachable) << c.name;
        std::set<int> every = found["carve main"];
        every.insert(found["main db slack"].begin(), found["main db slack"].end());
        // A cell whose pointer is lost lies in a page the walk reads, which is not carved whole.
        if (c.pointer == 0) {
            EXPECT_EQ(every, all) << c.name;
        }
    }
}

// A zeroed interior page leaves its leaves referenced by nothing and off the free list: their rows come back
// as recovered rows with their times, with "-carve" and with "-incl_slack". Every row is in the report once:
// with "-incl_slack" the library stops at the damaged page, and the own reader reads the rows after it.
TEST(SelkProcess, RowsOfPagesNoWalkReachesComeBackRecovered) {
    fx::temp_dir dir;
    const std::string live = dir.file("deep.db");
    const int count = 1000;
    make_deep_db(live, count);
    const std::uint32_t root = notification_root(live);
    std::vector<std::uint8_t> bytes = fx::read_all(live);
    const child_range lost = interior_children(bytes, root).at(2);
    ASSERT_EQ(bytes.at((lost.child - 1) * 1024u), 5);
    std::fill(bytes.begin() + (lost.child - 1) * 1024, bytes.begin() + lost.child * 1024, 0);
    const std::string db = dir.file("zeroed.db");
    ASSERT_TRUE(fx::write_all(db, bytes));
    for (const char* mode : {"-carve", "-incl_slack"}) {
        const selk_process::result r = run({"-db", db, "-quiet", mode});
        EXPECT_EQ(r.status, 255) << mode;
        std::set<int> recovered_times;
        std::set<int> every;
        std::set<int> after_by_library;
        int printed = 0;
        for (const std::string& row : data_rows(r.out)) {
            const std::vector<std::string> cells = split(row, " | ");
            if (cells.size() != 12u) continue;
            const std::size_t at = cells[10].find("deep ");
            if (at == std::string::npos) continue;
            const int n = std::atoi(cells[10].c_str() + at + 5);
            every.insert(n);
            ++printed;
            if (200 + n > lost.high && source_and_offset(cells[8]).first == "sqlite lib")
                after_by_library.insert(n);
            if (source_and_offset(cells[8]).first != "main db slack" || 200 + n <= lost.low ||
                200 + n > lost.high)
                continue;
            // The arrival time of row n is its own: 2020-12-11 19:11:35.902 plus n seconds.
            std::time_t t = 1607713895 + n;
            char want[32];
            std::strftime(want, sizeof want, "%Y-%m-%d %H:%M:%S.902", std::gmtime(&t));
            if (trim(cells[0]) == want) recovered_times.insert(n);
        }
        std::set<int> lost_rows, all;
        for (int i = 0; i < count; ++i) {
            all.insert(i);
            if (200 + i > lost.low && 200 + i <= lost.high) lost_rows.insert(i);
        }
        ASSERT_FALSE(lost_rows.empty());
        EXPECT_EQ(recovered_times, lost_rows) << mode;
        EXPECT_EQ(every, all) << mode;
        EXPECT_EQ(printed, count) << mode;
        EXPECT_TRUE(after_by_library.empty()) << mode;
    }
}

// SQLite stores integers as big-endian two's complement in 1 to 8 bytes: the own reader ("-carve") gives
// every Id and rowid (Order) the same value as the library ("-db"), negative ones in every width included.
TEST(SelkProcess, NegativeIntegersReadTheSameByTheLibraryAndTheOwnReader) {
    fx::temp_dir dir;
    const std::string db_path = dir.file("signed.db");
    const std::vector<std::string> ids = {
        "-1", "-5", "-129", "-9223372036854775808", "7", "300", "9223372036854775807"};
    sqlite3* db = fx::open_db(db_path);
    ASSERT_NE(db, nullptr);
    fx::create_tables(db);
    fx::insert_handler(db, 68, "Contoso.Mail_8wekyb3d8bbwe!App");
    for (std::size_t i = 0; i < ids.size(); ++i) {
        fx::insert_notification(db, 200 + static_cast<int>(i), 1, 68, "toast", "<toast/>");
        fx::exec(db, "UPDATE Notification SET Id = " + ids[i] + ", [Order] = " + ids[i] +
                         " WHERE [Order] = " + std::to_string(200 + i) + ";");
    }
    sqlite3_close(db);
    std::map<std::string, std::multiset<std::string>> seen;
    for (const char* mode : {"-db", "-carve"}) {
        std::vector<std::string> args = {"-db", db_path, "-quiet", "-csv", "-all_fields"};
        if (std::string(mode) == "-carve") args.push_back(mode);
        const selk_process::result r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> all = lines(r.out);
        ASSERT_GT(all.size(), 4u);
        const std::vector<std::string> header = split(all[3], ",");
        for (const char* column : {"Id", "Order"}) {
            const auto at = std::find(header.begin(), header.end(), column);
            ASSERT_NE(at, header.end());
            const auto index = static_cast<std::size_t>(at - header.begin());
            for (const std::string& row : data_rows(r.out)) {
                const std::vector<std::string> cells = split(row, ",");
                ASSERT_GT(cells.size(), index) << row;
                seen[std::string(mode) + column].insert(cells[index]);
            }
        }
    }
    // The report's own rendering of the column applies to both alike; what the reader gives must not differ.
    for (const char* column : {"Id", "Order"}) {
        const std::multiset<std::string>& library = seen[std::string("-db") + column];
        EXPECT_EQ(std::set<std::string>(library.begin(), library.end()).size(), ids.size()) << column;
        EXPECT_EQ(seen[std::string("-carve") + column], library) << column;
    }
}

TEST(SelkProcess, HotJournalRowIsPrintedWithItsSource) {
    fx::temp_dir dir;
    const std::string live = dir.file("live.db");
    make_db(live, 3, "journalled");
    sqlite3* db = fx::open_db(live);
    ASSERT_NE(db, nullptr);
    fx::exec(db, "PRAGMA journal_mode=DELETE; BEGIN; DELETE FROM Notification;");
    const std::string copy = dir.file("caught.db");
    ASSERT_TRUE(fx::copy_file(live, copy));
    ASSERT_TRUE(fx::copy_file(live + "-journal", copy + "-journal"));
    fx::exec(db, "ROLLBACK;");
    sqlite3_close(db);

    const selk_process::result r = run({"-db", copy, "-quiet", "-incl_slack"});
    EXPECT_EQ(r.status, 0) << r.err;
    int journalled = 0;
    for (const std::string& row : data_rows(r.out)) {
        const std::vector<std::string> cells = split(row, " | ");
        if (cells.size() != 12u || cells[10].find("journalled 1<") == std::string::npos) continue;
        if (source_and_offset(cells[8]).first == "carve journal") ++journalled;
    }
    EXPECT_EQ(journalled, 1) << r.out;
}

TEST(SelkProcess, ParseChunkReadsLoosePages) {
    fx::temp_dir dir;
    const std::string db = dir.file("pages.db");
    make_db(db, 6, "loose");
    // Every page but the first, which holds the database header: a run of pages without a header.
    const std::vector<std::uint8_t> bytes = fx::read_all(db);
    ASSERT_GT(bytes.size(), 4096u);
    const std::string chunk = dir.file("pages.bin");
    ASSERT_TRUE(fx::write_all(chunk, std::vector<std::uint8_t>(bytes.begin() + 4096, bytes.end())));
    const selk_process::result r = run({"-db", chunk, "-parse_chunk", "-quiet"});
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> rows = data_rows(r.out);
    int found = 0;
    for (const std::string& row : rows) {
        if (row.find("\"src\":\"carve blob\"") != std::string::npos &&
            row.find("loose ") != std::string::npos)
            ++found;
    }
    EXPECT_EQ(found, 6) << r.out;

    EXPECT_EQ(run({"-db", dir.file("absent.bin"), "-parse_chunk", "-quiet"}).status, 255);
}

}  // namespace
