// The selk executable and its outputs: however a path is spelled and whatever the mode, no file the run
// reads, may read or that lies beside one as its companion is written, and the run's own outputs that a
// listed or found path names are passed over.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "driver_checks.h"
#include "notification_db_fixtures.h"
#include "selk_process.h"

namespace {

namespace fx = notification_fixtures;
using namespace driver_checks;
using selk_process::lines;
using selk_process::run;

TEST(SelkProcess, OutputsNamingTheEvidenceAreRefusedBeforeAnyFileIsWritten) {
    fx::temp_dir dir;
    const std::string db = dir.file("case.db");
    make_db(db, 3);
    const std::string journal = db + "-journal";
    ASSERT_TRUE(fx::write_all(journal, std::vector<std::uint8_t>(512, 0x4a)));
    ASSERT_EQ(::link(db.c_str(), dir.file("hard.db").c_str()), 0);
    const std::string log = dir.file("earlier.log");
    ASSERT_TRUE(fx::write_all(log, std::vector<std::uint8_t>(10, 'L')));
    // Bytes first, then old times: from here on any read would move the access time, any write the others.
    std::vector<std::vector<std::uint8_t>> bytes;
    std::vector<std::vector<std::int64_t>> times;
    for (const std::string& f : {db, journal, log}) bytes.push_back(fx::read_all(f));
    for (const std::string& f : {db, journal, log}) set_file_times(f, utc_seconds(2001, 6, 15));
    for (const std::string& f : {db, journal, log}) times.push_back(file_times(f));
    const std::set<std::string> names = folder_names(dir.path());
    ::setenv("SELK_EVIDENCE_DIR", dir.path().c_str(), 1);

    // (arguments, the line that says why; empty where the usage text alone is the answer)
    const std::string why_out = ": it would write over " + db + ", which this run reads";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-db", db, "-out", db}, "refusing -out " + db + why_out},
        {{"-db", db, "-diags", db}, "refusing -diags " + db + why_out},
        {{"-db", db, "-outfile", dir.file("hard.db")}, "refusing -out " + dir.file("hard.db") + why_out},
        {{"-db", db, "-out", "%SELK_EVIDENCE_DIR%/case.db"}, "refusing -out " + db + why_out},
        {{"-db", db, "-out", dir.path() + "/./case.db-wal", "-incl_slack"},
         "refusing -out " + dir.path() + "/./case.db-wal: it would write over " + db +
             "-wal, which this run reads"},
        {{"-db", db, "-diags", journal, "-carve"},
         "refusing -diags " + journal + ": it would write over " + journal + ", which this run reads"},
        {{"-db", db, "-parse_chunk", "-out", db}, "refusing -out " + db + why_out},
        {{"-csv", "-diags", log}, ""},
        {{"-db", db, "-diags", log, "-cmd_start_time", "20210304"}, ""},
        {{"-enumdir", "", "-diags", log}, "no folder given to -enumdir"},
    };
    for (const auto& c : cases) {
        const selk_process::result r = run(c.first);
        EXPECT_EQ(r.status, 255) << c.second;
        const std::size_t usage = r.err.find(usage_text(banner()));
        EXPECT_NE(usage, std::string::npos) << c.second;
        if (!c.second.empty()) {
            EXPECT_LT(r.err.find(c.second + "\n"), usage) << r.err;
        }
    }
    const std::vector<std::string> files = {db, journal, log};
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(file_times(files[i]), times[i]) << files[i];
        EXPECT_EQ(fx::read_all(files[i]), bytes[i]) << files[i];
    }
    EXPECT_EQ(folder_names(dir.path()), names);  // no companion or log was created
    ::unsetenv("SELK_EVIDENCE_DIR");
}

TEST(SelkProcess, EvidenceIsNeverWrittenWhateverTheSpellingOrMode) {
    fx::temp_dir dir("evidence");
    const std::string top = dir.path();
    const std::string ev = dir.file("ev.db"), plain = dir.file("plain.db");
    make_db(ev, 2, "evidence");
    make_db(plain, 1, "plain");
    // A log and a shared-memory file beside ev.db (their bytes only need the log's first word), no journal;
    // a link L to the journal that is not there; files that begin as a rollback journal and a log, beside
    // nothing.
    std::vector<std::uint8_t> wal(4128, 0);
    const std::uint8_t wal_magic[4] = {0x37, 0x7f, 0x06, 0x82};
    std::copy(wal_magic, wal_magic + 4, wal.begin());
    ASSERT_TRUE(fx::write_all(ev + "-wal", wal));
    ASSERT_TRUE(fx::write_all(ev + "-shm", std::vector<std::uint8_t>(32768, 0x5a)));
    std::vector<std::uint8_t> journal(512, 0);
    const std::uint8_t journal_magic[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};
    std::copy(journal_magic, journal_magic + 8, journal.begin());
    ASSERT_TRUE(fx::write_all(dir.file("orphan-journal"), journal));
    ASSERT_TRUE(fx::write_all(dir.file("orphan-wal"), wal));
    wal[3] = 0x83;  // a log whose checksums are big-endian
    ASSERT_TRUE(fx::write_all(dir.file("g.log"), wal));
    ASSERT_EQ(::symlink("ev.db-journal", dir.file("L").c_str()), 0);
    ASSERT_EQ(::symlink("ev.db", dir.file("link.db").c_str()), 0);
    ASSERT_EQ(::link(ev.c_str(), dir.file("hard.db").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
    // Evidence that does not begin as a database: a loose page (also alone in a folder, and hard-linked), a
    // database whose header was wiped (and a link to it), case notes; and a folder for the shell's outputs.
    const std::vector<std::uint8_t> ev_bytes = fx::read_all(ev);
    ASSERT_GE(ev_bytes.size(), 8192u);
    const std::vector<std::uint8_t> page(ev_bytes.begin() + 4096, ev_bytes.begin() + 8192);
    ASSERT_TRUE(fx::write_all(dir.file("page.bin"), page));
    ASSERT_EQ(::link(dir.file("page.bin").c_str(), dir.file("hard.bin").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("pages").c_str(), 0755), 0);
    ASSERT_TRUE(fx::write_all(dir.file("pages/page.bin"), page));
    std::vector<std::uint8_t> wiped = ev_bytes;
    std::fill(wiped.begin(), wiped.begin() + 16, 0);
    ASSERT_TRUE(fx::write_all(dir.file("z.db"), wiped));
    ASSERT_EQ(::symlink("z.db", dir.file("zlink").c_str()), 0);
    ASSERT_TRUE(fx::write_all(dir.file("notes.txt"), {'c', 'a', 's', 'e', '\n'}));
    ASSERT_EQ(::mkdir(dir.file("outs").c_str(), 0755), 0);
    const std::vector<std::string> files = {ev,
                                            ev + "-wal",
                                            ev + "-shm",
                                            plain,
                                            dir.file("orphan-journal"),
                                            dir.file("orphan-wal"),
                                            dir.file("g.log"),
                                            dir.file("page.bin"),
                                            dir.file("pages/page.bin"),
                                            dir.file("z.db"),
                                            dir.file("notes.txt")};
    std::vector<std::vector<std::uint8_t>> bytes;
    std::vector<std::vector<std::int64_t>> times;
    for (const std::string& f : files) bytes.push_back(fx::read_all(f));
    for (const std::string& f : files) set_file_times(f, utc_seconds(2001, 6, 15));
    for (const std::string& f : files) times.push_back(file_times(f));
    const std::set<std::string> names = folder_names(top);
    ::setenv("SELK_EVIDENCE_DIR", top.c_str(), 1);

    struct refusal {
        std::vector<std::string> args;
        std::string input;                  // standard input ("-pipe")
        std::vector<std::string> messages;  // lines standard error must hold before the usage text
    };
    const std::string reads = ", which this run reads";
    const std::string holds_db = ": it holds a SQLite database";
    const std::vector<refusal> cases = {
        // "-db": the database and its companions however the output is spelled.
        {{"-db", "ev.db", "-out", "ev.db/"}, "", {"refusing -out ev.db/: it would write over ev.db" + reads}},
        {{"-db", "%SELK_EVIDENCE_DIR%/ev.db", "-out", "ev.db"},
         "",
         {"refusing -out ev.db: it would write over " + ev + reads}},
        {{"-db", "ev.db", "-out", "ev.db-wal\\"},
         "",
         {"refusing -out ev.db-wal/: it would write over ev.db-wal" + reads}},
        {{"-db", "ev.db", "-out", "sub/../ev.db-shm"},
         "",
         {"refusing -out sub/../ev.db-shm: it would write over ev.db-shm" + reads}},
        {{"-db", "ev.db", "-diags", "L"},
         "",
         {"refusing -diags L: it would write over ev.db-journal" + reads}},
        {{"-db", "link.db", "-out", "ev.db-wal", "-carve"},
         "",
         {"refusing -out ev.db-wal: it would write over " + ev + "-wal" + reads}},
        {{"-db", "./ev.db", "-diags", "hard.db"},
         "",
         {"refusing -diags hard.db: it would write over ./ev.db" + reads}},
        {{"-db", "ev.db", "-parse_chunk", "-out", ev + "-wal"},
         "",
         {"refusing -out " + ev + "-wal: it would write over ev.db-wal" + reads}},
        {{"-db", "ev.db", "-out", "r.txt", "-diags", "./sub/../r.txt"},
         "",
         {"refusing -diags ./sub/../r.txt: it is the file -out names"}},
        // Two faults at once: both are named.
        {{"-db", "ev.db", "-bogus", "-out", "ev.db"},
         "",
         {"refusing -out ev.db: it would write over ev.db" + reads, "unknown argument: -bogus"}},
        // "-pipe", "-enumdir": no input is known yet, so what the file holds or where it lies decides.
        {{"-pipe", "-out", "ev.db"}, "ev.db\n", {"refusing -out ev.db" + holds_db}},
        {{"-pipe", "-parse_chunk", "-out", "hard.db"}, "ev.db\n", {"refusing -out hard.db" + holds_db}},
        {{"-pipe", "-diags", "ev.db-wal"},
         "ev.db\n",
         {"refusing -diags ev.db-wal: it would lie beside " + ev + " as its companion"}},
        {{"-pipe", "-diags", "orphan-wal"},
         "ev.db\n",
         {"refusing -diags orphan-wal: it holds a write-ahead log"}},
        {{"-pipe", "-out", "g.log"}, "ev.db\n", {"refusing -out g.log: it holds a write-ahead log"}},
        {{"-pipe", "-out", "orphan-journal"},
         "plain.db\n",
         {"refusing -out orphan-journal: it holds a rollback journal"}},
        {{"-pipe", "-out", "ev.db-shm"},
         "ev.db\n",
         {"refusing -out ev.db-shm: a name ending in -shm is that of the shared-memory file beside a "
          "database"}},
        {{"-pipe", "-out", "plain.db-journal"},
         "plain.db\n",
         {"refusing -out plain.db-journal: it would lie beside " + plain + " as its companion"}},
        {{"-pipe", "-diags", "L"},
         "ev.db\n",
         {"refusing -diags L: it would lie beside " + ev + " as its companion"}},
        {{"-enumdir", ".", "-num_subdirs", "0", "-diags", "link.db"},
         "",
         {"refusing -diags link.db" + holds_db}},
        {{"-enumdir", top, "-num_subdirs", "0", "-out", dir.file("plain.db-wal")},
         "",
         {"refusing -out " + dir.file("plain.db-wal") + ": it would lie beside " + plain +
          " as its companion"}},
        // A listed or found file that holds no header of evidence, however either path is spelled.
        {{"-pipe", "-parse_chunk", "-out", "page.bin"},
         "page.bin\n",
         {"refusing -out page.bin: it would write over page.bin" + reads}},
        {{"-pipe", "-parse_chunk", "-out", "hard.bin"},
         std::string("plain.db\0page.bin\0", 18),
         {"refusing -out hard.bin: it would write over page.bin" + reads}},
        {{"-pipe", "-parse_chunk", "-out", "page.bin"},
         "%SELK_EVIDENCE_DIR%/./page.bin/\n",
         {"refusing -out page.bin: it would write over " + top + "/./page.bin/" + reads}},
        {{"-enumdir", "pages", "-num_subdirs", "1", "-parse_chunk", "-out", "pages/page.bin"},
         "",
         {"refusing -out pages/page.bin: it would write over pages/page.bin" + reads}},
        {{"-enumdir", top, "-num_subdirs", "0", "-diags", "notes.txt"},
         "",
         {"refusing -diags notes.txt: it would write over " + top + "/notes.txt" + reads}},
        {{"-pipe", "-out", "z.db"}, "z.db\n", {"refusing -out z.db: it would write over z.db" + reads}},
        {{"-pipe", "-out", "zlink", "-carve"},
         "./z.db\n",
         {"refusing -out zlink: it would write over ./z.db" + reads}},
        // "-diags" is a path option: environment references are expanded.
        {{"-pipe", "-diags", "%SELK_EVIDENCE_DIR%/z.db"},
         "z.db\n",
         {"refusing -diags " + top + "/z.db: it would write over z.db" + reads}},
        {{"-db", "ev.db", "-diags", "%SELK_EVIDENCE_DIR%/ev.db-wal"},
         "",
         {"refusing -diags " + top + "/ev.db-wal: it would write over ev.db-wal" + reads}},
    };
    char saved[PATH_MAX];
    ASSERT_NE(::getcwd(saved, sizeof(saved)), nullptr);
    ASSERT_EQ(::chdir(top.c_str()), 0);
    for (const refusal& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("-quiet");
        const selk_process::result r = run(args, c.input);
        EXPECT_EQ(r.status, 255) << c.messages[0];
        EXPECT_EQ(r.out, header_block(args)) << c.messages[0];
        const std::size_t usage = r.err.find(usage_text(banner()));
        EXPECT_NE(usage, std::string::npos) << c.messages[0];
        for (const std::string& m : c.messages) EXPECT_LT(r.err.find(m + "\n"), usage) << r.err;
    }
    // Standard output that the shell opened on the evidence, appending: not even the header goes there.
    const std::string selk = "'" + selk_process::selk_path() + "'";
    // (shell command, the line that says why)
    const std::vector<std::pair<std::string, std::string>> shell_cases = {
        {selk + " -db ev.db -quiet >> ev.db", "refusing standard output: it is ev.db, which this run reads"},
        {selk + " -db link.db -quiet >> ev.db-wal",
         "refusing standard output: it is " + ev + "-wal, which this run reads"},
        {"echo ev.db | " + selk + " -pipe -quiet >> hard.db",
         "refusing standard output: it holds a SQLite database"},
        {selk + " -db ev.db -bogus >> ev.db", "unknown argument: -bogus"},
        {"echo page.bin | " + selk + " -pipe -parse_chunk -quiet >> hard.bin",
         "refusing standard output: it is page.bin, which this run reads"},
        {"echo z.db | " + selk + " -pipe -quiet >> zlink",
         "refusing standard output: it is z.db, which this run reads"},
        {"echo notes.txt | " + selk + " -pipe -quiet >> notes.txt",
         "refusing standard output: it is notes.txt, which this run reads"},
        // The log would land inside the report.
        {selk + " -db ev.db -quiet -diags outs/r.txt > outs/r.txt",
         "refusing -diags outs/r.txt: it is the file standard output writes to"},
        {selk + " -db ev.db -quiet -diags /dev/stdout > outs/r.txt",
         "refusing -diags /dev/stdout: it is the file standard output writes to"},
    };
    for (const auto& c : shell_cases) {
        const selk_process::result r = run({"-c", c.first}, "", "/bin/sh");
        EXPECT_EQ(r.status, 255) << c.first;
        EXPECT_NE(r.err.find(c.second + "\n"), std::string::npos) << r.err;
    }
    // Standard error that the shell opened on such a file gets nothing; standard output says why, without the
    // header block, unless it is such a file too. (shell command, the whole of standard output)
    const std::string err_reads = ", which this run reads\n";
    const std::vector<std::pair<std::string, std::string>> silenced_cases = {
        {selk + " -db ev.db 2>> ev.db", "refusing standard error: it is ev.db" + err_reads},
        {selk + " -db ev.db -quiet -diags /dev/stderr 2>> ev.db-wal",
         "refusing standard error: it is ev.db-wal" + err_reads},
        {selk + " -h 2>> orphan-journal", "refusing standard error: it holds a rollback journal\n"},
        {selk + " -db plain.db -quiet 2>> ev.db-shm",
         "refusing standard error: a name ending in -shm is that of the shared-memory file beside a "
         "database\n"},
        {"echo page.bin | " + selk + " -pipe -parse_chunk -quiet 2>> hard.bin",
         "refusing standard error: it is page.bin" + err_reads},
        {"printf '%s\\n' plain.db '%SELK_EVIDENCE_DIR%/notes.txt' | " + selk + " -pipe 2>> notes.txt",
         "refusing standard error: it is " + top + "/notes.txt" + err_reads},
        {"echo z.db | " + selk + " -pipe -diags outs/d.log 2>> z.db",
         "refusing standard error: it is z.db" + err_reads},
        {selk + " -db ev.db -quiet 2>> ev.db >> ev.db-wal", ""},
    };
    for (const auto& c : silenced_cases) {
        const selk_process::result r = run({"-c", c.first}, "", "/bin/sh");
        EXPECT_EQ(r.status, 255) << c.first;
        EXPECT_EQ(r.out, c.second) << c.first;
        EXPECT_EQ(r.err, "") << c.first;
    }
    EXPECT_TRUE(folder_names(dir.file("outs")) == std::set<std::string>({"r.txt"}));
    ASSERT_EQ(::chdir(saved), 0);
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(file_times(files[i]), times[i]) << files[i];
        EXPECT_EQ(fx::read_all(files[i]), bytes[i]) << files[i];
    }
    EXPECT_EQ(folder_names(top), names);  // no companion, results file or log was created
    EXPECT_TRUE(folder_names(dir.file("sub")).empty());
    ::unsetenv("SELK_EVIDENCE_DIR");
}

TEST(SelkProcess, ListedPathsThatAreTheRunsOwnOutputsAreSkipped) {
    fx::temp_dir dir("own");
    const std::string db = dir.file("a.db");
    make_db(db, 2, "alpha");
    const std::string out = dir.file("r.txt"), diags = dir.file("d.log");
    const std::vector<std::vector<std::string>> modes = {{"-pipe"},
                                                         {"-enumdir", dir.path(), "-num_subdirs", "0"}};
    ::setenv("SELK_OWN_DIR", dir.path().c_str(), 1);
    for (std::vector<std::string> args : modes) {
        for (const char* a : {"-quiet", "-out", out.c_str(), "-diags", diags.c_str()}) args.push_back(a);
        const selk_process::result r = run(args, out + "\n" + diags + "\n%SELK_OWN_DIR%/r.txt\n" + db + "\n");
        EXPECT_EQ(r.status, 0) << args[0];
        EXPECT_NE(r.err.find("skipping " + out + ": it is the results file of this run\n"), std::string::npos)
            << r.err;
        // A listed path is compared as the reading code opens it, environment references expanded.
        if (args[0] == "-pipe") {
            EXPECT_NE(r.err.find("skipping %SELK_OWN_DIR%/r.txt: it is the results file of this run\n"),
                      std::string::npos)
                << r.err;
        }
        EXPECT_NE(r.err.find("skipping " + diags + ": it is the diagnostics file of this run\n"),
                  std::string::npos)
            << r.err;
        const std::vector<std::uint8_t> bytes = fx::read_all(out);
        const std::string report(bytes.begin(), bytes.end());
        int rows = 0;
        for (const std::string& line : lines(report)) rows += line.find("alpha") != std::string::npos;
        EXPECT_EQ(rows, 2) << args[0];
    }
    ::unsetenv("SELK_OWN_DIR");
    // Standard output that the shell opened on a file is the results file too, whatever the path's spelling;
    // being listed, it may only be an earlier report.
    const std::string shell_out = dir.file("shell.txt");
    const std::string earlier = banner() + "\nold\n";
    ASSERT_TRUE(fx::write_all(shell_out, std::vector<std::uint8_t>(earlier.begin(), earlier.end())));
    const std::string cmd = "printf '%s\\n%s\\n' '" + dir.path() + "/./shell.txt' '" + db + "' | '" +
                            selk_process::selk_path() + "' -pipe -quiet >> '" + shell_out + "'";
    const selk_process::result r = run({"-c", cmd}, "", "/bin/sh");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("skipping " + dir.path() + "/./shell.txt: it is the results file of this run\n"),
              std::string::npos)
        << r.err;
    const std::vector<std::uint8_t> appended = fx::read_all(shell_out);
    ASSERT_GE(appended.size(), earlier.size());
    EXPECT_EQ(std::string(appended.begin(), appended.begin() + earlier.size()), earlier);  // not emptied
}

TEST(SelkProcess, ListedOutputIsWrittenOverOnlyWhenEmptyOrAnEarlierOutput) {
    fx::temp_dir dir("earlier");
    const std::string db = dir.file("a.db");
    make_db(db, 1, "alpha");
    const std::string path = dir.file("o.txt");
    const std::string report = banner() + "\n\"command line: selk -pipe\"\n\nold rows\n";
    const std::string log = "->selk -pipe\n->1 records found\n\n->0 secs";
    struct listed_output {
        std::string option;
        bool exists;
        std::string bytes;
        bool written;  // skipped as the run's own output and written; else the run is refused
    };
    const std::vector<listed_output> cases = {
        {"-out", false, "", true},
        {"-out", true, "", true},
        {"-out", true, report, true},
        {"-out", true, log, true},
        {"-diags", true, log, true},
        {"-diags", true, report, true},
        {"-out", true, "case notes\n", false},
        {"-diags", true, "->selk\ncase notes\n", false},
        {"-out", true, "selk 1.0\n", false},
    };
    const std::vector<std::vector<std::string>> modes = {{"-pipe"},
                                                         {"-enumdir", dir.path(), "-num_subdirs", "0"}};
    for (const auto& mode : modes) {
        for (const listed_output& c : cases) {
            ::unlink(path.c_str());
            if (c.exists) {
                ASSERT_TRUE(fx::write_all(path, std::vector<std::uint8_t>(c.bytes.begin(), c.bytes.end())));
            }
            std::vector<std::string> args = mode;
            for (const std::string& a : {std::string("-quiet"), c.option, path}) args.push_back(a);
            const selk_process::result r = run(args, path + "\n" + db + "\n");
            const std::string label = mode[0] + " " + c.option + " " + c.bytes;
            const std::vector<std::uint8_t> bytes = fx::read_all(path);
            const std::string now(bytes.begin(), bytes.end());
            if (!c.written) {
                EXPECT_EQ(r.status, 255) << label;
                EXPECT_NE(r.err.find("refusing " + c.option + " " + path + ": it would write over " + path +
                                     ", which this run reads\n"),
                          std::string::npos)
                    << label << r.err;
                EXPECT_EQ(now, c.bytes) << label;
                continue;
            }
            EXPECT_EQ(r.status, 0) << label << r.err;
            const std::string kind = c.option == "-out" ? "results" : "diagnostics";
            // A walk finds only what was there before the outputs were opened.
            const bool found = c.exists || mode[0] == "-pipe";
            EXPECT_EQ(r.err.find("skipping " + path + ": it is the " + kind + " file of this run\n") !=
                          std::string::npos,
                      found)
                << label << r.err;
            EXPECT_EQ(now.rfind(c.option == "-out" ? banner() + "\n" : "->", 0), 0u) << label;
            EXPECT_NE((c.option == "-out" ? now : r.out).find("alpha"), std::string::npos) << label;
            EXPECT_EQ(now.find("old rows"), std::string::npos) << label;
        }
    }
}

TEST(SelkProcess, ResultsAndLogFilesAreNeverWritableByOthers) {
    fx::temp_dir dir;
    const std::string db = dir.file("m.db");
    make_db(db, 1);
    const std::string out = dir.file("r.txt"), diags = dir.file("d.log"), kept = dir.file("kept.txt");
    ASSERT_TRUE(fx::write_all(kept, {'x'}));
    ASSERT_EQ(::chmod(kept.c_str(), 0600), 0);
    const mode_t saved = ::umask(0);
    const selk_process::result r = run({"-db", db, "-quiet", "-out", out, "-diags", diags});
    const selk_process::result again = run({"-db", db, "-quiet", "-out", kept});
    ::umask(saved);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(again.status, 0);
    // (file, mode): new files 0644; an existing results file keeps its own mode.
    for (const auto& f :
         std::vector<std::pair<std::string, mode_t>>{{out, 0644}, {diags, 0644}, {kept, 0600}}) {
        struct stat st;
        ASSERT_EQ(::stat(f.first.c_str(), &st), 0) << f.first;
        EXPECT_EQ(st.st_mode & 0777, f.second) << f.first;
    }
}

}  // namespace
