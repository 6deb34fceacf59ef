// What the tests that run the selk executable share: the usage text and header block it prints, a
// generated notification database, the parts of a report and of standard error they compare, and the times
// and names of files, to tell that none was touched.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "notification_db_fixtures.h"
#include "notifications/driver.h"
#include "selk_process.h"

namespace driver_checks {

const char* const kUsageBody =
    "Usage\n"
    " \n"
    "  selk -db <selkdatabase.db> [options]\n"
    "  find /home -name *selkdatabase.db -type f | selk -pipe [options]\n"
    "  ls /home/<folder>/*selkdatabase.db | selk -pipe [options] > ./results\n"
    "  selk -enumdir <folder> -num_subdirs <#> [options]\n"
    " \n"
    " Basic options\n"
    "  -csv                            = output in CSV format\n"
    "  -csvl2t                         = log2timeline output\n"
    "  -bodyfile                       = sleuthkit output\n"
    "\n"
    " Additional options\n"
    "  -all_fields                     = show all fields for -csv output\n"
    "  -username <name>                = for -csvl2t output\n"
    "  -hostname <name>                = for -csvl2t output\n"
    "  -csv_separator \"|\"              = use a pipe char for csv separator\n"
    "  -dateformat mm/dd/yyyy          = \"yyyy-mm-dd\" is the default\n"
    "  -timeformat hh:mm:ss            = \"hh:mm:ss\" is the default\n"
    "  -no_whitespace                  = remove whitespace between csv delimiter\n"
    "  -pipe                           = pipe db's into tool for processing\n"
    "  -quiet                          = no progress shown\n"
    "\n"
    " Experimental options\n"
    "  -incl_slack                     = analyze slack space\n"
    "  -carve                          = bypass SQLite lib during parse\n"
    "  -parse_chunk                    = requires at least 1 db page\n"
    "\n"
    " Usage Examples\n"
    "  selk -db <db file>               = use only SQLite lib for parse\n"
    "  selk -db <db file> -incl_slack   = use SQLite and Quillmar libs for parse\n"
    "  selk -db <db file> -carve        = use only Quillmar libs for parse\n"
    "  selk -db <db page> -parse_chunk  = use only Quillmar libs for parse\n"
    "\n";

inline std::string usage_text(const std::string& name) {
    return std::string(77, '-') + "\n\n" + name + "\n\n" + kUsageBody;
}

inline std::string banner() { return std::string("selk - ") + kSelkVersion; }

// The header block that every run writes first, for the given arguments.
inline std::string header_block(const std::vector<std::string>& args) {
    std::string echo = selk_process::selk_path();
    for (const std::string& a : args) echo += " " + a;
    for (const std::string& a : args) {
        if (a == "-pipe") echo = "<filelist> ... | " + echo;
    }
    return banner() + "\n\"command line: " + echo + "\"\n\n";
}

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

// What every form says once of `db`, whose header says log mode, where no "-wal" lies beside it.
inline std::string log_mode_note(const std::string& db) {
    return "note: " + db +
           ": the header says the database is in log mode and no -wal is beside it: changes committed only "
           "to "
           "a log are not read\n";
}

// What "-carve" says once beside the log of `db` that holds committed frames: the pages their versions are
// of, counted from the log's frame headers up to its last commit (the tests' logs have one pair of salts).
inline std::string log_beside_note(const std::string& db) {
    const std::vector<std::uint8_t> log = notification_fixtures::read_all(db + "-wal");
    const auto be32 = [&log](std::size_t at) {
        return std::uint32_t{log[at]} << 24 | std::uint32_t{log[at + 1]} << 16 |
               std::uint32_t{log[at + 2]} << 8 | log[at + 3];
    };
    const std::size_t page_size = log.size() >= 32 ? be32(8) : 0;
    std::set<std::uint32_t> pages, committed;
    for (std::size_t f = 32; page_size != 0 && f + 24 + page_size <= log.size(); f += 24 + page_size) {
        pages.insert(be32(f));
        if (be32(f + 4) != 0) committed = pages;
    }
    const std::size_t n = committed.size();
    return "note: " + db + ": the log beside it holds the committed version" +
           (n == 1 ? std::string(" of 1 page") : "s of " + std::to_string(n) + " pages") +
           ": the \"carve main\" rows are the main file's as it stands without them; the log's rows come "
           "with "
           "their own labels\n";
}

// A file's access, modification and status-change times (ns since 1970); empty when it does not exist.
inline std::vector<std::int64_t> file_times(const std::string& path) {
    std::vector<std::int64_t> times;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return times;
    for (const timespec& t : {st.st_atim, st.st_mtim, st.st_ctim})
        times.push_back(static_cast<std::int64_t>(t.tv_sec) * 1000000000LL + t.tv_nsec);
    return times;
}

// Sets a file's access and modification times to `seconds` since 1970.
inline void set_file_times(const std::string& path, std::int64_t seconds) {
    const timespec t[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, 0), 0) << path;
}

inline std::int64_t utc_seconds(int year, int month, int day) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = 12;
    return static_cast<std::int64_t>(::timegm(&tm));
}

inline std::set<std::string> folder_names(const std::string& folder) {
    std::set<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr) return names;
    while (dirent* e = ::readdir(d)) {
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
    }
    ::closedir(d);
    return names;
}

}  // namespace driver_checks
