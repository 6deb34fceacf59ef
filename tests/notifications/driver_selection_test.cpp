// The selk executable choosing which listed or found files it reads ("-filter_path", the time window over
// file times before and after 1970), refusing by name a value that cannot mean what was asked or a switch of
// another output form, and what a newcomer's first inputs give.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "driver_checks.h"
#include "notification_db_fixtures.h"
#include "selk_process.h"

namespace {

namespace fx = notification_fixtures;
using namespace driver_checks;
using selk_process::run;

// The first letters of the markers of the databases whose rows `out` holds, in the order of `markers`.
std::string found_markers(const std::string& out, const std::vector<std::string>& markers) {
    std::string found;
    for (const std::string& m : markers) {
        if (out.find(m + " 0") != std::string::npos) found += m.substr(0, 1);
    }
    return found;
}

const std::string kNonePasses = "no listed or found file passes the file filter and time window\n";

// Runs each case in both modes, "-pipe" over `paths` and "-enumdir" over `top`, and checks which databases
// were read: every one expected (exit 0), or none (exit 255, and why).
void check_selection(const std::vector<std::pair<std::vector<std::string>, std::string>>& cases,
                     const std::string& top, const std::vector<std::string>& paths,
                     const std::vector<std::string>& markers) {
    std::string listing;
    for (const std::string& p : paths) listing += p + "\n";
    const std::vector<std::vector<std::string>> modes = {{"-pipe"}, {"-enumdir", top, "-num_subdirs", "2"}};
    for (const auto& c : cases) {
        for (const auto& mode : modes) {
            std::vector<std::string> args = mode;
            args.push_back("-quiet");
            args.insert(args.end(), c.first.begin(), c.first.end());
            const selk_process::result r = run(args, listing);
            std::string label = mode[0];
            for (const std::string& a : c.first) label += " " + a;
            EXPECT_EQ(found_markers(r.out, markers), c.second) << label << "\n" << r.err;
            EXPECT_EQ(r.status, c.second.empty() ? 255 : 0) << label << "\n" << r.err;
            if (c.second.empty()) {
                EXPECT_EQ(r.err, kNonePasses) << label;
            }
        }
    }
}

// "-filter_path": only a file whose folder holds the text (in any case) is read, whichever "-filter" named
// it; the text in the file's own name does not count.
TEST(SelkSelection, FilterPathKeepsOnlyFilesWhoseFolderHoldsTheText) {
    fx::temp_dir dir("fp");
    const std::string top = dir.path();
    ASSERT_EQ(::mkdir((top + "/Users").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((top + "/other").c_str(), 0755), 0);
    const std::string a = top + "/Users/basic.db", b = top + "/other/basic.db", c = top + "/other/users.db";
    make_db(a, 1, "alpha");
    make_db(b, 1, "beta");
    make_db(c, 1, "gamma");
    // (switches, databases read)
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-filter", "basic.db"}, "ab"},
        {{"-filter", "basic.db", "-filter_path", "nowhere"}, ""},
        {{"-filter", "basic.db", "-filter_path", "users"}, "a"},
        {{"-filter", "*.db", "-filter_path", "USERS"}, "a"},
        {{"-filter_path", "OTHER", "-filter", "*.db"}, "bg"},
        {{"-filter", "basic.db", "-filter", "users.db", "-filter_path", "other"}, "bg"},
        {{"-filter", "basic.db,users.db", "-filter_path", "/users"}, "a"},
    };
    // The walk tests names and folders as it goes; files it found that none passes are said as the list's.
    check_selection(cases, top, {a, b, c}, {"alpha", "beta", "gamma"});
}

// A link to a folder met by the walk, inside the tree or out of it, relative or absolute, is neither followed
// nor read as a file: each is named in a note with its target whatever the filter, and leaves the exit
// status.
TEST(SelkSelection, FolderLinksTheWalkMeetsAreNamedAndNotFollowed) {
    fx::temp_dir dir("links");
    const std::string root = dir.file("root"), users = root + "/Users", elsewhere = dir.file("elsewhere");
    for (const std::string& folder : {root, users, users + "/alice", elsewhere, elsewhere + "/bob"})
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0) << folder;
    make_db(users + "/alice/wpndatabase.db", 1, "alice");
    make_db(elsewhere + "/bob/wpndatabase.db", 1, "bob");
    const std::vector<std::pair<std::string, std::string>> links = {
        {"dave", "alice"}, {"bob", "../../elsewhere/bob"}, {"carol", elsewhere + "/bob"}};
    std::vector<std::string> notes;
    for (const auto& l : links) {
        ASSERT_EQ(::symlink(l.second.c_str(), (users + "/" + l.first).c_str()), 0) << l.first;
        notes.push_back("note: " + users + "/" + l.first + ": a folder link to " + l.second +
                        ": not followed");
    }
    const struct {
        std::vector<std::string> filter;
        std::string read;  // the databases read
    } cases[] = {
        {{}, "a"},
        {{"-filter", "wpndatabase.db"}, "a"},
        {{"-filter", "*.db"}, "a"},
        {{"-filter", "dave"}, ""},
        {{"-filter", "nothing.db"}, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"-enumdir", root, "-num_subdirs", "3", "-quiet"};
        args.insert(args.end(), c.filter.begin(), c.filter.end());
        const selk_process::result r = run(args);
        const std::string label = c.filter.empty() ? "no filter" : c.filter[1];
        EXPECT_EQ(found_markers(r.out, {"alice", "bob"}), c.read) << label;
        EXPECT_EQ(r.status, c.read.empty() ? 255 : 0) << label << "\n" << r.err;
        std::vector<std::string> said = selk_process::lines(r.err), want = notes;
        if (c.read.empty()) want.push_back(kNonePasses.substr(0, kNonePasses.size() - 1));
        std::sort(said.begin(), said.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(said, want) << label;
    }
}

// The time window compares the files' times as times, in UTC, before 1970 and after 2106 alike. The files
// are born now where the file system keeps birth times: each window here reads the same files whether it
// keeps one or not. How times before 1970 order among themselves is shown in io's filter test.
TEST(SelkSelection, TimeWindowComparesTimesBeforeAndAfter1970AsTimes) {
    fx::temp_dir dir("tw");
    const std::string top = dir.path();
    const std::vector<std::string> markers = {"a1950", "b1969", "c1970", "d2000", "e2200"};
    const std::vector<std::int64_t> times = {utc_seconds(1950, 6, 1), -1, 0, utc_seconds(2000, 6, 1),
                                             utc_seconds(2200, 6, 1)};
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < markers.size(); ++i) {
        paths.push_back(dir.file(markers[i] + ".db"));
        make_db(paths.back(), 1, markers[i]);
        set_file_times(paths.back(), times[i]);
    }
    // (window, databases read)
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-cmd_start_time", "1900-01-01"}, "abcde"},
        {{"-cmd_stop_time", "1900-01-01"}, ""},
        {{"-cmd_start_time", "1900-01-01", "-cmd_stop_time", "2150-01-01"}, "abcd"},
        {{"-cmd_stop_time", "2150-01-01"}, "abcd"},
        {{"-cmd_start_time", "2150-01-01"}, "e"},
        {{"-cmd_start_time", "2199-12-31 23:59:59", "-cmd_stop_time", "2300-01-01"}, "e"},
        {{"-cmd_start_time", "2200-06-01 12:00:01"}, ""},
    };
    // The walk hands on every file; the window is applied to its list.
    check_selection(cases, top, paths, markers);
}

// A value that cannot mean what was asked is refused by name before anything is read, with exit 255.
TEST(SelkSelection, ValuesThatCannotMeanWhatWasAskedAreRefusedByName) {
    const std::string db = "/nonexistent/a.db";
    const std::string with_db = ", and -db names the one file read\n";
    const std::string among = "it chooses among the files of -pipe and -enumdir";
    const std::string bytes = "the bytes must be hexadecimal, one or two digits each, e.g. 53 51 4c\n";
    const std::string offset =
        "the offset must be a number of bytes from the file's start (decimal or 0x hexadecimal, below "
        "2^63)\n";
    const std::string form = "it must be written 'HEX BYTES|OFFSET', e.g. '53 51 4c|0'\n";
    const std::string control = "a control character other than TAB cannot separate cells\n";
    struct refusal {
        std::vector<std::string> args;
        std::string message;  // standard error before the usage text
    };
    const std::vector<refusal> cases = {
        {{"-pipe", "-filter_sig", "zz|q"}, "refusing -filter_sig 'zz|q': " + bytes},
        {{"-pipe", "-filter_sig", "53514c|0"}, "refusing -filter_sig '53514c|0': " + bytes},
        {{"-pipe", "-filter_sig", "53 51\t4c"}, "refusing -filter_sig '53 51[0x09]4c': " + bytes},
        {{"-pipe", "-filter_sig", "|0"}, "refusing -filter_sig '|0': it names no bytes\n"},
        {{"-pipe", "-filter_sig", "53 51 4c|q"}, "refusing -filter_sig '53 51 4c|q': " + offset},
        {{"-pipe", "-filter_sig", "53 51 4c|-1"}, "refusing -filter_sig '53 51 4c|-1': " + offset},
        {{"-pipe", "-filter_sig", "53|9223372036854775808"},
         "refusing -filter_sig '53|9223372036854775808': " + offset},
        {{"-pipe", "-filter_sig", "53|0x8000000000000000"},
         "refusing -filter_sig '53|0x8000000000000000': " + offset},
        {{"-pipe", "-filter_sig", "53|1|2"}, "refusing -filter_sig '53|1|2': " + form},
        {{"-pipe", "-filter_sig", "53,51,4c"}, "refusing -filter_sig '53,51,4c': " + form},
        {{"-db", db, "-base10", "-base16"}, "only one of -base10 and -base16 may be given\n"},
        {{"-db", db, "-BASE16", "-csv", "-base10"}, "only one of -BASE16 and -base10 may be given\n"},
        {{"-db", db, "-csv_separator", "\x1b"}, "refusing -csv_separator '[0x1B]': " + control},
        {{"-db", db, "-csv_separator", "\a"}, "refusing -csv_separator '[0x07]': " + control},
        {{"-db", db, "-csv_separator", ";\x7f"}, "refusing -csv_separator ';[0x7F]': " + control},
        {{"-db", db, "-csv_separator", "\xc2\x85"}, "refusing -csv_separator '[U+0085]': " + control},
        {{"-db", db, "-csv_separator", "\xa7"},
         "refusing -csv_separator '[0xA7]': a byte that is not UTF-8 cannot separate cells\n"},
        {{"-pipe", "-cmd_start_time", "2020-02-30"},
         "refusing -cmd_start_time 2020-02-30: the calendar has no such day\n"},
        {{"-enumdir", "/tmp", "-cmd_stop_time", "2021-04-31"},
         "refusing -cmd_stop_time 2021-04-31: the calendar has no such day\n"},
        {{"-pipe", "-cmd_stop_time", "2025-12-31 24:00:00"},
         "refusing -cmd_stop_time 2025-12-31 24:00:00: a day has no such time (hours run to 23, minutes and "
         "seconds to 59)\n"},
        {{"-db", db, "-cmd_start_time", "2020-01-01"},
         "refusing -cmd_start_time 2020-01-01: " + among + with_db},
        {{"-db", db, "-cmd_stop_time", "1900-01-01"},
         "refusing -cmd_stop_time 1900-01-01: " + among + with_db},
        {{"-db", db, "-filter", "*.db"}, "refusing -filter *.db: " + among + with_db},
        {{"-db", db, "-parse_chunk", "-filter_sig", "53 51 4c|0"},
         "refusing -filter_sig 53 51 4c|0: " + among + with_db},
        {{"-db", db, "-num_subdirs", "2"}, "refusing -num_subdirs 2: " + among + with_db},
        {{"-db", db, "-filter", "*.db", "-filter_path", "Users"},
         "refusing -filter *.db: " + among + with_db + "refusing -filter_path Users: " + among + with_db},
        {{"-pipe", "-num_subdirs", "2"},
         "refusing -num_subdirs 2: it is the depth of the folder walk of -enumdir, and -pipe walks no "
         "folder\n"},
        {{"-pipe", "-filter_path", "Users"},
         "refusing -filter_path Users: it narrows the names of -filter, and no -filter is given\n"},
        {{"-enumdir", "/tmp", "-filter_sig", "53 51 4c|0", "-filter_path", "Users"},
         "refusing -filter_path Users: it narrows the names of -filter, and no -filter is given\n"},
        {{"-pipe", "-filter", "*.db", "-filter_path", "a", "-filter_path", "b"},
         "-filter_path may be given only once\n"},
        {{"-pipe", "-filter", ""}, "refusing an empty -filter\n"},
        {{"-pipe", "-filter", "*.db", "-filter_path", ""}, "refusing an empty -filter_path\n"},
    };
    for (const refusal& c : cases) {
        const selk_process::result r = run(c.args, "");
        EXPECT_EQ(r.status, 255) << c.message;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << c.message;  // the header block alone
        EXPECT_EQ(without_status_clears(r.err), c.message + usage_text(banner())) << c.message;
    }
}

// A switch of an output form other than the chosen one is refused by name; a NUL-separated list keeps a name
// with a line feed whole, one that ends in it too (beside a file of the name without it); a FIFO is said to
// be one; the banner doubles a double quote; the progress line ends on the share reached. Each row: its text
// is in standard error (standard output where `in_out`).
TEST(SelkSelection, FirstRunsOfANewcomerSayWhatTheyDid) {
    fx::temp_dir dir;
    const std::string db = dir.file("plain.db"), fifo = dir.file("fifo.db"), lf = dir.file("a\nb.db");
    make_db(db, 2, "plain");
    make_db(lf, 1, "lf name");
    const std::string x = dir.file("x.db");
    make_db(x, 2, "x name");
    make_db(x + "\n", 5, "x lf name");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string columns = "it adds columns to the default form and -csv, and ";
    const std::string cells = " of the default form, -csv and -csvl2t, and -bodyfile ";
    const std::string ints = "it writes the handler's WNFEventName and the record offset of -csvl2t in ";
    struct row {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string text;
        bool in_out = false;
        bool terminal = false;
    };
    const std::vector<row> rows = {
        {{"-db", db, "-csvl2t", "-all_fields", "-incl_settings"},
         "",
         255,
         "refusing -all_fields: " + columns + "-csvl2t writes the columns of a timeline\n" +
             "refusing -incl_settings: it adds a settings column to the default form and -csv, and -csvl2t "
             "writes the columns of a timeline\n"},
        {{"-db", db, "-BODYFILE", "-All_Fields", "-enable_quoted_csv_fields", "-dateformat", "mm/dd/yyyy",
          "-timeformat", "hh:mm:ss", "-csv_separator", ";", "-no_whitespace", "-base16"},
         "",
         255,
         "refusing -All_Fields: " + columns + "-bodyfile writes the columns of a timeline\n" +
             "refusing -enable_quoted_csv_fields: it quotes the cells" + cells + "quotes nothing\n" +
             "refusing -dateformat mm/dd/yyyy: it is the pattern of the dates" + cells +
             "writes its times as Unix seconds\n" +
             "refusing -timeformat hh:mm:ss: it is the pattern of the times" + cells +
             "writes its times as Unix seconds\n" + "refusing -csv_separator ';': it separates the cells" +
             cells + "separates its fields by |\n" + "refusing -no_whitespace: it removes the blanks" +
             cells + "has none\n" + "refusing -base16: " + ints +
             "hexadecimal, and -bodyfile writes its numbers in decimal\n"},
        {{"-db", db, "-bodyfile", "-incl_settings", "-base10"},
         "",
         255,
         "refusing -incl_settings: it adds a settings column to the default form and -csv, and -bodyfile "
         "writes the columns of a timeline\nrefusing -base10: " +
             ints + "decimal, and -bodyfile writes its numbers in decimal\n"},
        {{"-db", db, "-csv", "-username", "jo"},
         "",
         255,
         "refusing -username jo: it fills the user column of -csvl2t, and no -csvl2t is given\n"},
        {{"-db", db, "-bodyfile", "-hostname", "pc"},
         "",
         255,
         "refusing -hostname pc: it fills the host column of -csvl2t, and no -csvl2t is given\n"},
        {{"-pipe", "-quiet"}, lf + std::string(1, '\0') + db + std::string(1, '\0'), 0, "lf name 0", true},
        {{"-pipe", "-quiet"}, x + "\n" + std::string(1, '\0'), 0, "x lf name 4", true},
        {{"-db", fifo, "-quiet"}, "", 255, "prob processing file " + fifo + ": it is a FIFO\n"},
        {{"-db", fifo, "-quiet", "-parse_chunk"},
         "",
         255,
         "prob processing file " + fifo + ": it is a FIFO\n"},
        {{"-db", "/nonexistent/say \"hi\".db", "-quiet"},
         "",
         255,
         " -db '/nonexistent/say \"\"hi\"\".db' ",
         true},
        {{"-db", db, "-incl_slack"}, "", 0, "percent done: 100.00\r", false, true},
    };
    for (const row& c : rows) {
        std::string label;
        for (const std::string& a : c.args) label += a + " ";
        const selk_process::result r = run(c.args, c.input, selk_process::selk_path(), c.terminal);
        EXPECT_EQ(r.status, c.status) << label << "\n" << r.err;
        const std::string& text = c.in_out ? r.out : c.terminal ? r.err : without_status_clears(r.err);
        const std::size_t at = text.rfind(c.text);
        EXPECT_NE(at, std::string::npos) << label << "\n" << text;
        // The last share drawn.
        if (c.terminal && at != std::string::npos) {
            EXPECT_EQ(text.find("percent done", at + 1), std::string::npos) << label << "\n" << text;
        }
    }
}

}  // namespace
