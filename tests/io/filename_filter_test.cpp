#include "io/filename_filter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "io/cmd_params.h"
#include "io/file_stats.h"

namespace {

using flist = std::vector<filename_filter>;

flist build(const std::string& value) {
    std::string text = value;
    flist out;
    build_filename_filters(out, text);
    return out;
}

bool passes(const flist& filters, const std::wstring& path, bool stream_names = false) {
    bool could_not_check = false;
    return path_passes_filters(nullptr, &could_not_check, path, filters, nullptr, stream_names);
}

class filter_files : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = std::string(SELK_TEST_TMP) + "/filename_filter_XXXXXX";
        ASSERT_NE(mkdtemp(&templ[0]), nullptr);
        dir_ = templ;
    }

    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = dir_ + "/" + name;
        std::ofstream out(path, std::ios::binary);
        out << bytes;
        return path;
    }

    // Sets the modify (and access) time of a file to `seconds` since 1970.
    static void set_mtime(const std::string& path, long seconds) {
        struct timeval times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(utimes(path.c_str(), times), 0);
    }

    std::string dir_;
};

TEST(filename_filter_build, ends_with_entry) {
    const flist f = build("*.DB");
    ASSERT_EQ(f.size(), 1u);
    EXPECT_TRUE(f[0].name_ends_with);
    EXPECT_FALSE(f[0].name_starts_with);
    EXPECT_EQ(f[0].name_text, L".db");
    EXPECT_EQ(f[0].pattern, L"*.db");
    EXPECT_TRUE(passes(f, L"/x/a.db"));
    EXPECT_TRUE(passes(f, L"/x/x.DB"));
    EXPECT_FALSE(passes(f, L"/x/a.db.bak"));
    // The first ".db" does not end the name, and a later one does not count.
    EXPECT_FALSE(passes(f, L"/x/a.db.db"));
}

TEST(filename_filter_build, match_all_wins_wherever_it_stands) {
    flist f = build("*");
    ASSERT_EQ(f.size(), 1u);
    EXPECT_TRUE(f[0].match_all);
    EXPECT_TRUE(passes(f, L"anything"));
    f = build("abc,*,def");
    ASSERT_EQ(f.size(), 1u);
    EXPECT_TRUE(f[0].match_all);
    EXPECT_EQ(f[0].pattern, L"*");
    EXPECT_TRUE(passes(f, L"/q/zzz"));
}

TEST(filename_filter_build, starts_with_and_contains) {
    flist f = build("report*");
    EXPECT_TRUE(f[0].name_starts_with);
    EXPECT_TRUE(passes(f, L"report1.txt"));
    EXPECT_FALSE(passes(f, L"myreport.txt"));
    f = build("*log*");
    EXPECT_TRUE(f[0].name_starts_with && f[0].name_ends_with);
    EXPECT_EQ(f[0].name_text, L"log");
    EXPECT_TRUE(passes(f, L"C:\\dir\\mylogfile"));
    EXPECT_FALSE(passes(f, L"/log/other"));
    f = build("a*b");
    EXPECT_FALSE(f[0].name_starts_with || f[0].name_ends_with);
    EXPECT_EQ(f[0].name_text, L"ab");
    EXPECT_TRUE(passes(f, L"ab"));
}

TEST(filename_filter_build, comma_wins_over_bar_and_items_are_trimmed) {
    flist f = build("a|b,c");
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].pattern, L"a|b");
    EXPECT_EQ(f[1].pattern, L"c");
    f = build(" x | Y ");
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[1].pattern, L"y");
    std::string text = "MiXeD";
    flist out;
    EXPECT_TRUE(build_filename_filters(out, text));
    EXPECT_EQ(text, "mixed");
}

TEST(filename_filter_build, stream_parts) {
    flist f = build("*.db:zone*");
    ASSERT_EQ(f.size(), 1u);
    EXPECT_TRUE(f[0].has_stream);
    EXPECT_EQ(f[0].stream_text, L"zone");
    EXPECT_TRUE(f[0].stream_starts_with);
    EXPECT_EQ(f[0].name_text, L".db");
    EXPECT_TRUE(passes(f, L"/a/x.db:zone.identifier", true));
    EXPECT_FALSE(passes(f, L"/a/x.db:other", true));
    EXPECT_FALSE(passes(f, L"/a/x.db", true));  // a stream entry needs a stream name
    f = build("*:*");
    EXPECT_TRUE(f[0].any_stream);
    EXPECT_TRUE(f[0].match_all);
    f = build("x.db");
    EXPECT_TRUE(passes(f, L"/a/x.db", true));
    EXPECT_FALSE(passes(f, L"/a/x.db:s", true));   // a plain entry is skipped for a stream
    EXPECT_FALSE(passes(f, L"/a/x.db:s", false));  // without stream names the ':' is part of the name
}

TEST(filename_filter_build, folder_entries) {
    const flist f = build("/users/alice");
    ASSERT_EQ(f.size(), 1u);
    EXPECT_TRUE(f[0].is_folder);
    EXPECT_TRUE(passes(f, L"/users/alice/x.db"));
    EXPECT_TRUE(passes(f, L"/Users/Alice/sub/y.db"));
    EXPECT_FALSE(passes(f, L"/users/alice2/x.db"));
    // Backslash folders are turned into the entry's separator before the second look.
    EXPECT_TRUE(passes(f, L"C:\\users\\alice\\z.db"));
}

TEST(filename_filter_build, path_text_variant) {
    std::string text = "*.db";
    std::string path = "/Users/X";
    flist out;
    EXPECT_TRUE(build_filename_filters(out, text, path));
    EXPECT_EQ(path, "/users/x");
    EXPECT_EQ(out[0].path_text, L"/users/x");
    EXPECT_EQ(out[0].path_text_length, 8u);
}

TEST(filename_filter_paths, empty_path_and_empty_list) {
    const flist none;
    EXPECT_FALSE(passes(none, L""));
    EXPECT_TRUE(passes(none, L"x"));
    EXPECT_FALSE(path_passes_filters_utf8(nullptr, nullptr, "", none, nullptr, false));
    EXPECT_TRUE(path_passes_filters_utf8(nullptr, nullptr, "a", none, nullptr, false));
    EXPECT_FALSE(path_passes_filters_default(nullptr, L"", none, false));
    EXPECT_TRUE(path_passes_filters_default(nullptr, L"a", none, false));
    EXPECT_TRUE(path_passes_filters_default(nullptr, L"/d/A.DB", build("*.db"), false));
}

TEST_F(filter_files, signature_entries_read_the_file) {
    flist f(1);
    f[0].signature = {0x53, 0x51, 0x4c, 0x69};
    const std::string good = write("good.bin", "SQLite format 3");
    const std::string shorter = write("short.bin", "SQL");
    const std::string other = write("other.bin", "XXXXXXXX");
    bool could_not_check = true;
    EXPECT_TRUE(path_passes_filters_utf8(nullptr, &could_not_check, good, f, nullptr, false));
    EXPECT_FALSE(could_not_check);
    EXPECT_FALSE(path_passes_filters_utf8(nullptr, &could_not_check, shorter, f, nullptr, false));
    EXPECT_FALSE(path_passes_filters_utf8(nullptr, &could_not_check, other, f, nullptr, false));
    EXPECT_FALSE(could_not_check);
    EXPECT_FALSE(path_passes_filters_utf8(nullptr, &could_not_check, dir_ + "/missing", f, nullptr, false));
    EXPECT_TRUE(could_not_check);
    f[0].signature_offset = 7;
    f[0].signature = {'f', 'o', 'r'};
    EXPECT_TRUE(path_passes_filters_utf8(nullptr, &could_not_check, good, f, nullptr, false));
    f[0].signature_offset = ~std::uint64_t{0};
    EXPECT_FALSE(path_passes_filters_utf8(nullptr, &could_not_check, good, f, nullptr, false));
}

// Real files are born now (where the file system keeps birth times), so the window bounds are placed
// around the present and the modify times are moved well before or after them.
TEST_F(filter_files, start_window_with_empty_list_drops_older_files) {
    const long now = static_cast<long>(time(nullptr));
    const std::string old_file = write("old.db", "x");
    const std::string new_file = write("new.db", "x");
    set_mtime(old_file, 1000000000);  // 2001
    set_mtime(new_file, now + 2 * 86400);
    cmd_params o;
    o.start_time_set = true;
    o.start_unix_seconds = static_cast<std::uint32_t>(now + 86400);
    o.stop_time_set = true;
    o.stop_unix_seconds = 0xffffffffu;
    o.stop_filetime = ~std::uint64_t{0};
    const flist none;
    file_stats s_old, s_new;
    EXPECT_FALSE(path_passes_filters_utf8(&o, nullptr, old_file, none, &s_old, false));
    EXPECT_TRUE(path_passes_filters_utf8(&o, nullptr, new_file, none, &s_new, false));
    EXPECT_EQ(s_new.modify_time, static_cast<std::uint64_t>(now + 2 * 86400));
    // Without stats there is no window.
    EXPECT_TRUE(path_passes_filters_utf8(&o, nullptr, old_file, none, nullptr, false));
    // A record that already holds a modify time is not filled again.
    file_stats given;
    given.modify_time = static_cast<std::uint64_t>(now + 3 * 86400);
    given.time_kind = 8;
    EXPECT_TRUE(path_passes_filters_utf8(&o, nullptr, old_file, none, &given, false));
}

TEST_F(filter_files, stop_window_and_missing_files) {
    const long now = static_cast<long>(time(nullptr));
    const std::string late = write("late.db", "x");
    const std::string early = write("early.db", "x");
    set_mtime(late, now + 2 * 86400);
    set_mtime(early, 1000000000);
    cmd_params o;
    o.stop_time_set = true;
    o.stop_unix_seconds = static_cast<std::uint32_t>(now + 86400);
    file_stats s_late, s_early;
    EXPECT_FALSE(path_passes_filters_utf8(&o, nullptr, late, build("*.db"), &s_late, false));
    EXPECT_TRUE(path_passes_filters_utf8(&o, nullptr, early, build("*.db"), &s_early, false));
    // The window is looked at before the names: a name that does not match still fails.
    file_stats s_name;
    EXPECT_FALSE(path_passes_filters_utf8(&o, nullptr, early, build("*.txt"), &s_name, false));
    file_stats missing;
    EXPECT_FALSE(path_passes_filters_utf8(&o, nullptr, dir_ + "/nope.db", build("*.db"), &missing, false));
}

TEST(filename_filter_window, time_kinds_decide_the_bounds) {
    cmd_params o;
    o.start_time_set = true;
    o.start_unix_seconds = 100;
    o.start_filetime = 5000;
    o.stop_time_set = true;
    o.stop_unix_seconds = 200;
    o.stop_filetime = 9000;
    file_stats s;
    s.time_kind = 8;
    s.modify_time = 150;
    EXPECT_TRUE(path_passes_filters(&o, nullptr, L"/a", {}, &s, false));
    s.modify_time = 50;
    s.birth_time = 120;  // born inside the window: still passes the start test
    EXPECT_TRUE(path_passes_filters(&o, nullptr, L"/a", {}, &s, false));
    s.birth_time = 250;  // but born after the stop
    EXPECT_FALSE(path_passes_filters(&o, nullptr, L"/a", {}, &s, false));
    s.time_kind = 1;
    s.modify_time = 6000;
    s.birth_time = 0;
    EXPECT_TRUE(path_passes_filters(&o, nullptr, L"/a", {}, &s, false));
    s.time_kind = 16;  // Unix seconds past 32 bits, compared as seconds: 6000 is after the stop
    EXPECT_FALSE(path_passes_filters(&o, nullptr, L"/a", {}, &s, false));
}

// Unix file times are signed seconds, as get_file_stats fills them (kind 16 past 32 bits, negative ones
// included): a file of 1950 lies before one of 1960, and 1970-01-01 00:00:00 is a time like any other. A
// birth time of 0 is none: the modify time decides alone.
TEST(filename_filter_window, unix_times_before_1970_and_after_2106_compare_as_times) {
    const std::int64_t none = 0, y1900 = -2208988800, y1950 = -618062400, y1960 = -315619200;
    const std::int64_t y2020 = 1577836800, y2106 = 4294967296, y2200 = 7258118400;
    struct window_case {
        std::int64_t modified, born;
        bool start_set;
        std::int64_t start;
        bool stop_set;
        std::int64_t stop;
        bool passes;
    };
    const std::vector<window_case> cases = {
        {y1950, none, true, y1900, false, 0, true},
        {y1950, none, false, 0, true, y1900, false},
        {y1950, none, true, y1960, false, 0, false},
        {y1950, none, false, 0, true, y1960, true},
        {y1950, none, true, y1900, true, y1960, true},
        {-1, none, true, 0, false, 0, false},
        {-1, none, true, -1, true, -1, true},
        {-1, none, false, 0, true, -2, false},
        {0, none, true, 0, true, 0, true},
        {0, none, true, y1900, true, -1, false},
        {y2200, none, true, y2106, false, 0, true},
        {y2200, none, false, 0, true, y2106, false},
        {y2200, none, true, y2200 + 1, false, 0, false},
        {y1950, y2020, true, y1960, false, 0, true},   // born after the start
        {y1950, y2020, false, 0, true, y1960, false},  // but born after the stop
        {y2020, y1950, true, y1960, false, 0, true},
        {y1950, -1, true, 0, false, 0, false},
    };
    for (const window_case& c : cases) {
        cmd_params o;
        o.start_time_set = c.start_set;
        o.start_unix_seconds = c.start;
        o.stop_time_set = c.stop_set;
        o.stop_unix_seconds = c.stop;
        file_stats s;
        s.modify_time = static_cast<std::uint64_t>(c.modified);
        s.birth_time = static_cast<std::uint64_t>(c.born);
        s.time_kind = s.modify_time > 0xFFFFFFFFull ? 16 : 8;
        EXPECT_EQ(path_passes_filters(&o, nullptr, L"/a", {}, &s, false), c.passes)
            << c.modified << " born " << c.born << " window " << (c.start_set ? std::to_string(c.start) : "-")
            << " to " << (c.stop_set ? std::to_string(c.stop) : "-");
    }
}

TEST(filename_filter_folder_name, folder_condition_and_name_tests) {
    flist f = build("*.db");
    f[0].path_text = L"/users";
    f[0].path_text_length = 6;
    EXPECT_TRUE(folder_and_name_pass_filters(nullptr, nullptr, L"/Users/x", L"A.DB", f, nullptr, false));
    EXPECT_FALSE(folder_and_name_pass_filters(nullptr, nullptr, L"/home/x", L"a.db", f, nullptr, false));
    EXPECT_FALSE(folder_and_name_pass_filters(nullptr, nullptr, L"/users", L"", f, nullptr, false));
    // A name without a folder holds no folder text; without a folder condition it passes.
    EXPECT_FALSE(folder_and_name_pass_filters(nullptr, nullptr, L"", L"b.db", f, nullptr, false));
    EXPECT_TRUE(folder_and_name_pass_filters(nullptr, nullptr, L"", L"b.db", build("*.db"), nullptr, false));
    // No signature tests here: an entry with only a signature never matches.
    flist sig(1);
    sig[0].signature = {1};
    EXPECT_FALSE(folder_and_name_pass_filters(nullptr, nullptr, L"/d", L"f", sig, nullptr, false));
}

// "-filter_path": an entry holds only for a path whose folder (what stands before its last separator)
// holds the text, in any case; the text in the file's name does not count, and a bare name has no folder.
TEST(filename_filter_folder_name, folder_condition_holds_for_whole_paths) {
    struct folder_case {
        std::wstring path;
        std::string filter;
        std::string folder;  // the "-filter_path" text; empty for none
        bool passes;
    };
    const std::vector<folder_case> cases = {
        {L"/cases/Users/x/basic.db", "basic.db", "users", true},
        {L"/cases/USERS/basic.db", "*.db", "Users", true},
        {L"/cases/b/basic.db", "basic.db", "users", false},
        {L"/cases/b/users.db", "*.db", "users", false},
        {L"basic.db", "basic.db", "users", false},
        {L"basic.db", "basic.db", "", true},
        {L"/cases/b/basic.db", "basic.db", "", true},
        {L"/cases/b/basic.db", "a.db,basic.db", "/b", true},
        {L"/cases/b/basic.db", "a.db,basic.db", "/x", false},
    };
    for (const folder_case& c : cases) {
        std::string text = c.filter, folder = c.folder;
        flist f;
        build_filename_filters(f, text, folder);
        EXPECT_EQ(passes(f, c.path), c.passes)
            << std::string(c.path.begin(), c.path.end()) << " " << c.folder;
    }
}

TEST(filename_filter_replace, replace_wchar_with_and_without_case) {
    std::wstring t = L"aAbA";
    replace_wchar(t, L'a', L'x', false);
    EXPECT_EQ(t, L"xAbA");
    t = L"aAbA";
    replace_wchar(t, L'a', L'x', true);
    EXPECT_EQ(t, L"xxbx");
}

}  // namespace
