// The selk executable where a path it is asked to read cannot be read: a listed or found file, a folder of
// the walk, a log or journal beside the database. Each is named on standard error and the run fails, with
// every row it could still read printed.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "driver_checks.h"
#include "notification_db_fixtures.h"
#include "selk_process.h"

namespace {

namespace fx = notification_fixtures;
using driver_checks::banner;
using driver_checks::data_rows;
using driver_checks::make_db;
using driver_checks::without_status_clears;
using selk_process::run;

TEST(SelkProcess, PipeFailsWhenAnyListedPathCannotBeRead) {
    fx::temp_dir dir;
    const std::string text_file = dir.file("notes.db");
    ASSERT_TRUE(fx::write_all(text_file, std::vector<std::uint8_t>(4096, 'x')));
    const std::string good = dir.file("good.db"), second = dir.file("second.db"),
                      missing = dir.file("missing.db");
    make_db(good, 1, "readable");
    make_db(second, 1, "another");
    struct listing {
        std::string input;
        int status;
        std::vector<std::string> named;  // paths standard error must name, with their reasons
    };
    const std::vector<listing> cases = {
        {good + "\n" + missing + "\n", 255, {missing + ": no such file"}},
        {missing + "\n" + text_file + "\n" + good + "\n",
         255,
         {missing + ": no such file", text_file + ": not a SQLite database"}},
        {text_file + "\n" + missing + "\n",
         255,
         {text_file + ": not a SQLite database", missing + ": no such file"}},
        // "find -print0" ends each name with a NUL byte.
        {good + std::string(1, '\0') + second + std::string(1, '\0'), 0, {}},
        {good + "\n" + second + "\n", 0, {}},
    };
    for (const listing& c : cases) {
        for (const bool quiet : {true, false}) {
            std::vector<std::string> args = {"-pipe"};
            if (quiet) args.push_back("-quiet");
            const selk_process::result r = run(args, c.input);
            EXPECT_EQ(r.status, c.status) << c.input;
            for (const std::string& n : c.named) {
                EXPECT_NE(r.err.find("prob processing file " + n + "\n"), std::string::npos) << r.err;
            }
            if (c.status == 0) {
                EXPECT_EQ(r.err.find("prob processing"), std::string::npos) << r.err;
                if (quiet) {
                    EXPECT_EQ(r.err, "");
                }
            } else {
                EXPECT_NE(r.err.find("not every listed or found file could be read\n"), std::string::npos)
                    << r.err;
            }
            // Every readable database is still printed, wherever it stands in the list.
            EXPECT_EQ(r.out.find("readable 0") != std::string::npos, c.input.find(good) != std::string::npos);
            EXPECT_EQ(r.out.find("another 0") != std::string::npos,
                      c.input.find(second) != std::string::npos);
        }
    }
}

TEST(SelkProcess, MissingEnumerationFolderIsNamed) {
    fx::temp_dir dir;
    const std::string folder = dir.file("no_such_folder");
    const selk_process::result r = run({"-enumdir", folder, "-num_subdirs", "1", "-quiet"});
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find("prob accessing folder " + folder + "\n"), std::string::npos) << r.err;
}

// A folder of the walk that its mode bits keep from the reader: selk run as "nobody" names it (also with
// "-quiet"), prints every database it could reach and fails. Skipped where the run cannot change user.
TEST(SelkProcess, EnumdirNamesAFolderItCannotList) {
    const char* const setpriv = "/usr/bin/setpriv";
    if (::geteuid() != 0 || ::access(setpriv, X_OK) != 0) GTEST_SKIP() << "needs root and " << setpriv;
    fx::temp_dir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string top = dir.file("walk");
    ASSERT_EQ(::mkdir(top.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((top + "/open").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((top + "/locked").c_str(), 0700), 0);
    make_db(top + "/open/a.db", 2, "reachable");
    make_db(top + "/locked/b.db", 2, "hidden");
    ASSERT_EQ(::chmod((top + "/open/a.db").c_str(), 0644), 0);
    const std::vector<std::string> nobody = {"--reuid=65534",
                                             "--regid=65534",
                                             "--clear-groups",
                                             selk_process::selk_path(),
                                             "-quiet",
                                             "-num_subdirs",
                                             "2"};
    const std::string told = "prob accessing folder " + top + "/locked: Permission denied\n";
    struct walk_case {
        std::string start;
        std::size_t rows;
    };
    for (const walk_case& c : {walk_case{top, 2}, walk_case{top + "/locked", 0}}) {
        std::vector<std::string> args = nobody;
        args.insert(args.end(), {"-enumdir", c.start});
        const selk_process::result r = run(args, std::string(), setpriv);
        if (r.out.find(banner()) == std::string::npos) GTEST_SKIP() << "selk cannot run as nobody: " << r.err;
        EXPECT_EQ(r.status, 255) << c.start;
        EXPECT_EQ(without_status_clears(r.err), told) << c.start;
        std::size_t rows = 0;
        for (const std::string& row : data_rows(r.out)) rows += row.find("reachable ") != std::string::npos;
        EXPECT_EQ(rows, c.rows) << c.start;
        EXPECT_EQ(r.out.find("hidden "), std::string::npos) << c.start;
    }
}

// A database of 400 notifications, one in ten deleted again (their bytes stay in free space), whose schema
// then outgrows page 1: its later pages lie at the end of the file.
void make_db_with_late_schema(const std::string& path) {
    make_db(path, 400, "live");
    sqlite3* conn = fx::open_db(path);
    ASSERT_NE(conn, nullptr);
    fx::exec(conn, "DELETE FROM Notification WHERE [Order] % 10 = 0;");
    for (int i = 0; i < 40; ++i) {
        const std::string n = std::to_string(i);
        fx::exec(conn, "CREATE TABLE Filler" + n + "(FirstColumnOfFiller" + n +
                           " TEXT, SecondColumnOfFiller" + n + " INTEGER, ThirdColumnOfFiller" + n +
                           " BLOB);");
    }
    sqlite3_close(conn);
}

// A database whose tables cannot be read fails in every form, the reason named on standard error (also with
// "-quiet"); "-carve" and "-incl_slack" still print the records they recover. With "-pipe" such a path
// fails the run while the other paths are printed.
TEST(SelkProcess, TablesThatCannotBeReadAreNamedWithWhyInEveryForm) {
    fx::temp_dir dir;
    const std::string sound = dir.file("sound.db");
    make_db_with_late_schema(sound);
    std::vector<std::uint8_t> bytes = fx::read_all(sound);
    ASSERT_GT(bytes.size(), 61440u);
    ASSERT_EQ(bytes[16], 0x10) << "pages of 4096 bytes";
    const std::string pages = dir.file("pages.db"), head = dir.file("head.db"), other = dir.file("other.db");
    ASSERT_TRUE(fx::write_all(head, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 61440)));
    bytes[16] = 0x08;  // pages of 2048 bytes
    ASSERT_TRUE(fx::write_all(pages, bytes));
    sqlite3* conn = fx::open_db(other);
    ASSERT_NE(conn, nullptr);
    fx::exec(conn, "CREATE TABLE t(a INTEGER, b TEXT); INSERT INTO t VALUES(1, 'x');");
    sqlite3_close(conn);
    struct unread_case {
        std::string db;
        std::string why;
        bool recovers;  // "-carve" and "-incl_slack" print recovered records
    };
    const std::vector<unread_case> cases = {
        {pages, "the page size in its header (2048) does not fit the file: its ", true},
        {head, "the file is cut short: it holds 61440 bytes where its header counts ", true},
        {other, "its schema lists no table notification\n", false},
    };
    for (const unread_case& c : cases) {
        for (const std::string form : {"", "-csv", "-carve", "-incl_slack"}) {
            std::vector<std::string> args = {"-db", c.db, "-quiet"};
            if (!form.empty()) args.push_back(form);
            const selk_process::result r = run(args);
            const std::string where = c.db + " " + form;
            EXPECT_EQ(r.status, 255) << where;
            EXPECT_NE(r.err.find("prob processing file " + c.db + ": " + c.why), std::string::npos)
                << where << ": " << r.err;
            const bool recovered = r.out.find("live ") != std::string::npos;
            EXPECT_EQ(recovered, c.recovers && (form == "-carve" || form == "-incl_slack")) << where;
        }
    }
    const selk_process::result listed = run({"-pipe", "-quiet", "-incl_slack"}, pages + "\n" + sound + "\n");
    EXPECT_EQ(listed.status, 255);
    EXPECT_NE(listed.err.find("prob processing file " + pages + ": " + cases[0].why), std::string::npos)
        << listed.err;
    EXPECT_NE(listed.out.find("live 399<"), std::string::npos);
}

// A log or journal that is there but cannot be read: the run names it and fails, by the library and by
// "-carve", and still prints the rows of the main file. (Tests run as root, for whom no mode bits refuse a
// read: a link that loops, a link to nothing and a folder stand for the file that will not open.)
TEST(SelkProcess, UnreadableCompanionIsNamedAndFails) {
    fx::temp_dir dir;
    const std::string db = dir.file("companion.db");
    make_db(db, 5, "companion");
    enum class kind { folder, self_link, dangling_link, fifo };
    struct companion_case {
        const char* suffix;
        kind what;
        const char* why;
    };
    // A FIFO must not hold the run waiting for a writer.
    const std::vector<companion_case> cases = {
        {"-journal", kind::self_link, "Too many levels of symbolic links"},
        {"-wal", kind::folder, "Is a directory"},
        {"-journal", kind::folder, "Is a directory"},
        {"-wal", kind::dangling_link, "a link to nothing"},
        {"-journal", kind::dangling_link, "a link to nothing"},
        {"-wal", kind::fifo, "it is a FIFO"},
        {"-journal", kind::fifo, "it is a FIFO"},
    };
    for (const companion_case& c : cases) {
        const std::string companion = db + c.suffix;
        if (c.what == kind::folder)
            ASSERT_EQ(::mkdir(companion.c_str(), 0755), 0);
        else if (c.what == kind::fifo)
            ASSERT_EQ(::mkfifo(companion.c_str(), 0644), 0);
        else if (c.what == kind::dangling_link)
            ASSERT_EQ(::symlink(dir.file("gone").c_str(), companion.c_str()), 0);
        else
            ASSERT_EQ(::symlink(companion.c_str(), companion.c_str()), 0);
        for (const std::string mode : {"library", "-carve"}) {
            std::vector<std::string> args = {"-db", db, "-quiet"};
            if (mode != "library") args.push_back(mode);
            const selk_process::result r = run(args);
            EXPECT_EQ(r.status, 255) << c.suffix << " " << mode;
            EXPECT_NE(r.err.find("prob reading companion " + companion + " of " + db + ": " + c.why + "\n"),
                      std::string::npos)
                << c.suffix << " " << mode << ": " << r.err;
            std::size_t rows = 0;
            for (const std::string& row : data_rows(r.out))
                rows += row.find("companion ") != std::string::npos;
            EXPECT_EQ(rows, 5u) << c.suffix << " " << mode << ": " << r.out;
        }
        if (c.what == kind::folder)
            ::rmdir(companion.c_str());
        else
            ::unlink(companion.c_str());
    }
    const selk_process::result clean = run({"-db", db, "-quiet", "-carve"});
    EXPECT_EQ(clean.status, 0) << clean.err;
}

// A journal or log whose mode bits refuse the reader (the case of a companion owned by someone else): selk
// run as "nobody" still prints the rows of the main file, names the companion alone and fails. Skipped where
// the run cannot change user.
TEST(SelkProcess, CompanionRefusedByItsModeIsNamed) {
    const char* const setpriv = "/usr/bin/setpriv";
    if (::geteuid() != 0 || ::access(setpriv, X_OK) != 0) GTEST_SKIP() << "needs root and " << setpriv;
    fx::temp_dir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string probe_db = dir.file("probe.db");
    make_db(probe_db, 1, "probe");
    ASSERT_EQ(::chmod(probe_db.c_str(), 0644), 0);
    const std::vector<std::string> nobody = {"--reuid=65534", "--regid=65534", "--clear-groups",
                                             selk_process::selk_path()};
    std::vector<std::string> probe_args = nobody;
    probe_args.insert(probe_args.end(), {"-db", probe_db, "-quiet"});
    const selk_process::result probe = run(probe_args, std::string(), setpriv);
    if (probe.status != 0 || probe.out.find(banner()) == std::string::npos)
        GTEST_SKIP() << "selk cannot run as nobody here: " << probe.err;

    // "refused.db" holds 5 rows; its log 3 more, committed (the log copied while its writer is open).
    struct refused_case {
        const char* suffix;
        std::size_t rows;  // rows of the main file alone
    };
    for (const refused_case& c : {refused_case{"-journal", 5}, refused_case{"-wal", 5}}) {
        fx::temp_dir case_dir;
        ASSERT_EQ(::chmod(case_dir.path().c_str(), 0755), 0);
        const std::string db = case_dir.file("refused.db");
        const std::string companion = db + c.suffix;
        make_db(db, 5, "refused");
        if (std::string(c.suffix) == "-wal") {
            const std::string live = case_dir.file("live.db");
            ASSERT_TRUE(fx::copy_file(db, live));
            sqlite3* conn = fx::open_db(live);
            ASSERT_NE(conn, nullptr);
            fx::exec(conn, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
            ASSERT_TRUE(fx::copy_file(live, db));  // the main file in WAL mode with 5 rows
            for (int i = 0; i < 3; ++i)
                fx::insert_notification(conn, 900 + i, 950 + i, 68, "toast", "<toast>logged</toast>", {},
                                        132521874959020000LL);
            ASSERT_TRUE(fx::copy_file(live + "-wal", companion));
            sqlite3_close(conn);
            const selk_process::result whole = run({"-db", db, "-quiet"});
            ASSERT_EQ(whole.status, 0) << whole.err;
            ASSERT_EQ(data_rows(whole.out).size(), 8u) << "the log holds 3 committed rows";
        } else {
            ASSERT_TRUE(fx::write_all(companion, std::vector<std::uint8_t>(512, 0xd9)));
        }
        ASSERT_EQ(::chmod(db.c_str(), 0644), 0);
        ASSERT_EQ(::chmod(companion.c_str(), 0600), 0);
        for (const std::string mode : {"library", "-carve"}) {
            std::vector<std::string> args = nobody;
            args.insert(args.end(), {"-db", db, "-quiet"});
            if (mode != "library") args.push_back(mode);
            const selk_process::result r = run(args, std::string(), setpriv);
            const std::string where = std::string(c.suffix) + " " + mode;
            EXPECT_EQ(r.status, 255) << where;
            EXPECT_EQ(without_status_clears(r.err),
                      "prob reading companion " + companion + " of " + db + ": Permission denied\n")
                << where;
            std::size_t live = 0;
            for (const std::string& row : data_rows(r.out)) live += row.find("refused ") != std::string::npos;
            EXPECT_EQ(live, c.rows) << where << ": " << r.out;
        }
    }
}

}  // namespace
