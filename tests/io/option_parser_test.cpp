#include "io/option_parser.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "io/path_prefixes.h"

namespace {

using args_t = std::vector<std::string>;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// 2021-03-04 00:00:00 UTC as FILETIME and Unix seconds.
const std::uint64_t kMar4Filetime = 132592896000000000ull;
const std::uint32_t kMar4Unix = 1614816000u;

class option_parser_test : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        std::string templ = std::string(SELK_TEST_TMP) + "/option_parser_XXXXXX";
        ASSERT_NE(mkdtemp(&templ[0]), nullptr);
        dir_ = templ;
    }

    // Parses with stderr captured; the messages land in err_.
    bool parse(cmd_params& o, args_t& args) {
        CaptureStderr();
        const bool ok = parse_common_options(o, args);
        err_ = GetCapturedStderr();
        return ok;
    }

    static bool exists(const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }

    static std::string read_file(const std::string& path) {
        std::ifstream in(path);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    std::string dir_;
    std::string err_;
};

TEST_F(option_parser_test, empty_list_is_refused) {
    cmd_params o;
    args_t args;
    EXPECT_FALSE(parse(o, args));
}

TEST_F(option_parser_test, echo_tool_name_and_unknown_words_left_alone) {
    cmd_params o;
    args_t args = {"/usr/bin/selk.bin", "-db", "my file.db", "-QUIET", "-unknown"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_EQ(o.command_line, "/usr/bin/selk.bin -db \"my file.db\" -QUIET -unknown");
    EXPECT_EQ(o.tool_name, "selk");
    EXPECT_FALSE(o.show_progress);
    EXPECT_EQ(args, (args_t{"/usr/bin/selk.bin", "-db", "my file.db", "-unknown"}));
    cmd_params kept;
    kept.command_line = "given";
    kept.tool_name = "tool";
    args_t more = {"x/y.z"};
    EXPECT_TRUE(parse(kept, more));
    EXPECT_EQ(kept.command_line, "given");
    EXPECT_EQ(kept.tool_name, "tool");
}

TEST_F(option_parser_test, format_precedence_follows_the_table_not_the_command_line) {
    cmd_params o;
    args_t args = {"p", "-csvl2t", "-csvgen"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_TRUE(o.csvl2t);
    EXPECT_FALSE(o.csvgen);
    EXPECT_TRUE(o.no_whitespace);  // set by -csvgen before -csvl2t replaced the format
    EXPECT_EQ(o.separator, ",");
    EXPECT_EQ(o.value_char, ',');
    EXPECT_EQ(o.value_char_replacement, ' ');
    EXPECT_TRUE(args.size() == 1);

    cmd_params b;
    args_t a2 = {"p", "-multiline", "-bodyfile", "-xml"};
    EXPECT_TRUE(parse(b, a2));
    EXPECT_TRUE(b.multiline);
    EXPECT_FALSE(b.bodyfile || b.xml);
    EXPECT_TRUE(b.header_on);
    EXPECT_EQ(b.separator, "");
    EXPECT_EQ(b.value_char, 0);
}

TEST_F(option_parser_test, csv_and_pair_datetime) {
    cmd_params o;
    args_t args = {"p", "-CSV", "-pair_datetime"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_TRUE(o.csv);
    EXPECT_TRUE(o.pair_datetime);
    EXPECT_FALSE(o.no_whitespace);
    cmd_params plain;
    args_t a2 = {"p", "-csv"};
    EXPECT_TRUE(parse(plain, a2));
    EXPECT_TRUE(plain.no_whitespace);
}

TEST_F(option_parser_test, bodyfile_xml_and_separators) {
    cmd_params o;
    args_t args = {"p", "-bodyfile"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_EQ(o.separator, "|");
    EXPECT_EQ(o.value_char, '|');
    EXPECT_EQ(o.value_char_replacement, ';');
    cmd_params x;
    args_t a2 = {"p", "-xml"};
    EXPECT_TRUE(parse(x, a2));
    EXPECT_FALSE(x.header_on);
    EXPECT_EQ(x.separator, "");
    cmd_params t;
    args_t a3 = {"p", "-csv_separator", "TAB"};
    EXPECT_TRUE(parse(t, a3));
    EXPECT_EQ(t.separator, "\t");
    EXPECT_EQ(t.value_char, 0);
    cmd_params n;
    args_t a4 = {"p", "-no_whitespace"};
    EXPECT_TRUE(parse(n, a4));
    EXPECT_EQ(n.separator, "|");
    EXPECT_FALSE(n.padded_separator);
    cmd_params q;
    args_t a5 = {"p", "-csv_separator", " ; ", "-enable_quoted_csv_fields"};
    EXPECT_TRUE(parse(q, a5));
    EXPECT_EQ(q.separator, ";");
    EXPECT_TRUE(q.quoted_csv_fields);
    EXPECT_EQ(q.value_char, 0);
}

TEST_F(option_parser_test, set_csv_separator_rules) {
    cmd_params o;
    std::string text = ",";
    set_csv_separator(o, text, true);
    EXPECT_EQ(o.value_char_replacement, ';');
    text = "\\t";
    set_csv_separator(o, text, false);
    EXPECT_EQ(o.separator, "\t");
    text = "X|Y";
    set_csv_separator(o, text, false);
    EXPECT_EQ(o.separator, "X|Y");
    EXPECT_EQ(text, "x|y");
    EXPECT_EQ(o.value_char, '|');
    text = "::";
    set_csv_separator(o, text, false);
    EXPECT_EQ(o.value_char, 0);
    o.quoted_csv_fields = true;
    text = "|";
    set_csv_separator(o, text, false);
    EXPECT_EQ(o.value_char, 0);
    EXPECT_EQ(text, "|");
}

TEST_F(option_parser_test, value_options_and_numbers) {
    cmd_params o;
    args_t args = {"p",
                   "-threads",
                   "-3",
                   "-cpuinst",
                   "2",
                   "-cpu",
                   "0x10",
                   "-fragment_files",
                   "5",
                   "-hostname",
                   "H",
                   "-username",
                   "U",
                   "-signal",
                   "S",
                   "-sqlite",
                   "db.sqlite",
                   "-sqlite_log",
                   "l",
                   "-zlibex",
                   "z",
                   "-gzip",
                   "-num_subdirs",
                   "3",
                   "-base10",
                   "-profile",
                   "-pipe",
                   "-split_pathfile",
                   "-v",
                   "-dateformat",
                   "MM/DD/YYYY",
                   "-timeformat",
                   "HH:MM:SS"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_EQ(args, (args_t{"p"}));
    EXPECT_EQ(o.threads, -3);
    EXPECT_EQ(o.cpu_instance, 2);
    EXPECT_EQ(o.cpu, 16u);
    EXPECT_EQ(o.fragment_count, 5u);
    EXPECT_TRUE(o.separate_files);
    EXPECT_TRUE(o.hostname_given && o.username_given);
    EXPECT_EQ(o.host_name, "H");
    EXPECT_EQ(o.signal_text, "S");
    EXPECT_TRUE(o.sqlite_on);
    EXPECT_FALSE(o.sqlite_off);
    EXPECT_EQ(o.sqlite_path, "db.sqlite");
    EXPECT_EQ(o.sqlite_log_path, "l");
    EXPECT_TRUE(o.compressed && o.gzip && o.zlibex);
    EXPECT_FALSE(o.zlib);
    EXPECT_EQ(o.zlibex_text, "z");
    EXPECT_EQ(o.num_subdirs, 3u);
    EXPECT_FALSE(o.base16);
    EXPECT_TRUE(o.profile && o.pipe && o.split_pathfile && o.verbose);
    EXPECT_EQ(o.date_format, "mm/dd/yyyy");
    EXPECT_EQ(o.time_format, "hh:mm:ss");
    EXPECT_NE(o.format_word.flags, 0u);
}

TEST_F(option_parser_test, bad_formats_keep_the_defaults_with_a_message) {
    cmd_params o;
    args_t args = {"p", "-dateformat", "yyyy/mm", "-timeformat", "hh:mm:ss.x"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_EQ(o.date_format, "yyyy-mm-dd");
    EXPECT_EQ(o.time_format, "hh:mm:ss.xxx");
    EXPECT_EQ(err_, "invalid yyyy/mm, using default format\ninvalid hh:mm:ss.x, using default format\n");
}

TEST_F(option_parser_test, formats_of_an_accepted_length_that_cannot_be_printed_as_asked_are_refused_too) {
    const cmd_params defaults;
    // (option, value, accepted)
    const std::vector<std::tuple<std::string, std::string, bool>> cases = {
        {"-dateformat", "yyyy/dd/mm", false},     {"-dateformat", "mm/yyyy/dd", false},
        {"-dateformat", "YYYY/DD/MM", false},     {"-dateformat", "dd/yy/mm", false},
        {"-dateformat", "yyyy-mm-xx", false},     {"-dateformat", "dd-mm-yy", true},
        {"-dateformat", "mm/dd/yyyy", true},      {"-timeformat", "hh:mm:ss.fff", false},
        {"-timeformat", "ss:mm:hh", false},       {"-timeformat", "hh:mm:ss.xxx x", false},
        {"-timeformat", "HH:MM:SS.XXXXXX", true}, {"-timeformat", "hh:mm:ss", true},
    };
    for (const auto& c : cases) {
        const std::string& option = std::get<0>(c);
        const std::string& value = std::get<1>(c);
        cmd_params o;
        args_t args = {"p", option, value, "-pair_datetime"};
        EXPECT_TRUE(parse(o, args));
        const bool date = option == "-dateformat";
        const std::string& kept = date ? o.date_format : o.time_format;
        if (std::get<2>(c)) {
            EXPECT_EQ(err_, "") << value;
            std::string lower = value;
            for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            EXPECT_EQ(kept, lower);
        } else {
            EXPECT_EQ(err_, "invalid " + value + ", using default format\n");
            EXPECT_EQ(kept, date ? defaults.date_format : defaults.time_format) << value;
            // The compiled word is the default one: dates and times print exactly as with no option.
            date_time_format word;
            ASSERT_TRUE(parse_date_time_format(word, defaults.date_format, defaults.time_format, true));
            EXPECT_EQ(o.format_word.flags, word.flags) << value;
        }
    }
}

TEST_F(option_parser_test, out_as_last_argument_is_not_recognised) {
    cmd_params o;
    args_t args = {"p", "-out"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_FALSE(o.out_file_given);
    EXPECT_EQ(args, (args_t{"p", "-out"}));
}

TEST_F(option_parser_test, out_on_existing_file_survives_a_refused_command_line) {
    const std::string path = dir_ + "/results.txt";
    std::ofstream(path) << "evidence";
    cmd_params o;
    args_t args = {"p", "-out", path, "-cmd_start_time", "20210304"};
    EXPECT_FALSE(parse(o, args));
    EXPECT_EQ(err_, "");
    EXPECT_EQ(read_file(path), "evidence");
    cmd_params ok;
    args_t a2 = {"p", "-OUTFILE", path};
    EXPECT_TRUE(parse(ok, a2));
    EXPECT_TRUE(ok.out_file_given);
    EXPECT_EQ(ok.out_file, path);
    EXPECT_EQ(read_file(path), "evidence");
}

TEST_F(option_parser_test, out_test_removes_only_what_it_created) {
    const std::string path = dir_ + "/new.txt";
    cmd_params o;
    args_t args = {"p", "-out", path, "-append"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(args, (args_t{"p", "-append"}));
    cmd_params bad;
    const std::string unreachable = dir_ + "/no/such/dir/x.txt";
    args_t a2 = {"p", "-out", unreachable};
    EXPECT_FALSE(parse(bad, a2));
    EXPECT_EQ(err_, "prob opening file " + unreachable + " for output, aborting\n");
    // A path holding ESC is named with the byte shown, never written raw to the terminal.
    cmd_params hostile;
    args_t a3 = {"p", "-out", dir_ + "/no\x1b[2J/x.txt"};
    EXPECT_FALSE(parse(hostile, a3));
    EXPECT_EQ(err_, "prob opening file " + dir_ + "/no[0x1B][2J/x.txt for output, aborting\n");
}

TEST_F(option_parser_test, out_path_gets_environment_and_forward_slashes) {
    setenv("SELK_TEST_DIR", dir_.c_str(), 1);
    cmd_params o;
    args_t args = {"p", "-out", "%SELK_TEST_DIR%\\r.txt"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_EQ(o.out_file, dir_ + "/r.txt");
}

TEST_F(option_parser_test, diags_log_starts_with_the_command_line) {
    const std::string path = dir_ + "/diag.log";
    cmd_params o;
    args_t args = {"p", "-l3", "-diags", path, "-l2"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_TRUE(o.diagnostics_on);
    EXPECT_EQ(o.diagnostics_path, path);
    EXPECT_EQ(o.log_level, 2u);
    EXPECT_EQ(args, (args_t{"p", "-l3"}));  // "-l3" is not examined once "-l2" was found
    EXPECT_EQ(read_file(path), "->p -l3 -diags " + path + " -l2\n");
}

TEST_F(option_parser_test, diags_level_flags_need_a_good_log) {
    cmd_params o;
    const std::string bad = dir_ + "/none/x.log";
    args_t args = {"p", "-diags", bad, "-l3"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_FALSE(o.diagnostics_on);
    EXPECT_EQ(o.diagnostics, nullptr);
    EXPECT_TRUE(o.diagnostics_path.empty());
    EXPECT_EQ(o.log_level, 0u);
    EXPECT_EQ(args, (args_t{"p", "-l3"}));
}

TEST_F(option_parser_test, refused_command_line_leaves_an_existing_diags_file_alone) {
    const std::string path = dir_ + "/old.log";
    std::ofstream(path) << "earlier run";
    cmd_params o;
    args_t args = {"p", "-diags", path, "-alias", "a|b|c"};
    EXPECT_FALSE(parse(o, args));
    EXPECT_EQ(err_, "imbalanced alias to true pathfiles, aborting\n");
    EXPECT_EQ(read_file(path), "earlier run");
    EXPECT_FALSE(o.diagnostics_on);
    const std::string fresh = dir_ + "/fresh.log";
    cmd_params o2;
    args_t a2 = {"p", "-diags", fresh, "-aliaspath", "x"};
    EXPECT_FALSE(parse(o2, a2));
    EXPECT_FALSE(exists(fresh));
}

TEST_F(option_parser_test, deferred_diags_log_is_opened_only_when_asked_and_created_0644) {
    const std::string path = dir_ + "/old.log";
    std::ofstream(path) << "earlier run";
    const std::string fresh = dir_ + "/fresh.log";
    const mode_t saved = umask(0);
    for (const std::string& log : {path, fresh}) {
        cmd_params o;
        args_t args = {"p", "-diags", log, "-l2"};
        EXPECT_TRUE(parse_common_options(o, args, false));
        EXPECT_FALSE(o.diagnostics_on);
        EXPECT_EQ(o.log_level, 2u);
        EXPECT_EQ(read_file(log), log == path ? "earlier run" : "");
        EXPECT_EQ(exists(log), log == path);
        EXPECT_TRUE(open_tested_diagnostics_log(o));
        EXPECT_EQ(read_file(log), "->p -diags " + log + " -l2\n");
    }
    umask(saved);
    struct stat st;
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(option_parser_test, aliases) {
    cmd_params o;
    args_t args = {"p", "-alias", "C:\\X\\A.DB | /cases/a.db", "-aliaspath", "C:\\Data/|\"/mnt/data/\""};
    EXPECT_TRUE(parse(o, args));
    EXPECT_EQ(o.aliases.at("c:\\x\\a.db"), "/cases/a.db");
    EXPECT_EQ(o.alias_paths.at("c:\\data"), "/mnt/data");
    std::string out;
    EXPECT_EQ(o.resolve_alias_path(out, "C:\\Data\\sub\\f.db"), "/mnt/data\\sub\\f.db");
    cmd_params empty;
    args_t a2 = {"p", "-aliaspath", ""};
    EXPECT_TRUE(parse(empty, a2));
    EXPECT_EQ(empty.alias_paths.count("*"), 1u);
    cmd_params bad;
    args_t a3 = {"p", "-alias", ""};
    EXPECT_FALSE(parse(bad, a3));
}

TEST_F(option_parser_test, filters_by_name_folder_path_and_signature) {
    cmd_params o;
    args_t args = {"p",           "-filter",      "a",     "-filter_path", "/P",    "-filter_skip",
                   "b",           "-filter_skip", "c,d",   "-filter",      "*.db",  "-filter_sig",
                   "53 51 4c|16", "-filter_sig",  "00 01", "-filter_sig",  "aa|1|2"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_EQ(args, (args_t{"p"}));
    // The skip option is handled first, so it takes the folder.
    ASSERT_EQ(o.skip_filters.size(), 3u);
    EXPECT_EQ(o.skip_filters[0].path_text, L"/p");
    EXPECT_EQ(o.skip_filters[0].path_text_length, 2u);
    EXPECT_EQ(o.skip_filters[2].pattern, L"d");
    ASSERT_EQ(o.include_filters.size(), 5u);
    EXPECT_EQ(o.include_filters[0].pattern, L"a");
    EXPECT_TRUE(o.include_filters[0].path_text.empty());
    EXPECT_TRUE(o.include_filters[1].name_ends_with);
    EXPECT_EQ(o.include_filters[2].signature, (std::vector<std::uint8_t>{0x53, 0x51, 0x4c}));
    EXPECT_EQ(o.include_filters[2].signature_offset, 16u);
    EXPECT_EQ(o.include_filters[3].signature, (std::vector<std::uint8_t>{0x00, 0x01}));
    EXPECT_EQ(o.include_filters[3].signature_offset, 0u);
    EXPECT_EQ(o.include_filters[4].signature_offset, 0u);  // three pieces leave the offset 0

    cmd_params one;
    args_t a2 = {"p", "-filter", "*.db", "-filter_path", "/Users"};
    EXPECT_TRUE(parse(one, a2));
    ASSERT_EQ(one.include_filters.size(), 1u);
    EXPECT_EQ(one.include_filters[0].path_text, L"/users");
}

TEST_F(option_parser_test, start_time_alone_opens_the_window_to_the_end_of_time) {
    cmd_params o;
    args_t args = {"p", "-cmd_start_time", "2021-03-04"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_TRUE(o.start_time_set);
    EXPECT_EQ(o.start_filetime, kMar4Filetime);
    EXPECT_EQ(o.start_unix_seconds, kMar4Unix);
    EXPECT_TRUE(o.stop_time_set);
    EXPECT_EQ(o.stop_filetime, ~std::uint64_t{0});
    EXPECT_EQ(o.stop_unix_seconds, std::numeric_limits<std::int64_t>::max());
}

TEST_F(option_parser_test, stop_before_start_is_ignored) {
    cmd_params o;
    args_t args = {"p", "-cmd_start_time", "2021-03-04", "-cmd_stop_time", "2021/03/01"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_EQ(err_, "invalid stop time, ignoring\n");
    EXPECT_TRUE(o.start_time_set);
    EXPECT_FALSE(o.stop_time_set);
    EXPECT_EQ(o.stop_filetime, 0u);
}

TEST_F(option_parser_test, stop_alone_ends_at_the_last_second_of_the_day) {
    cmd_params o;
    args_t args = {"p", "-cmd_stop_time", "2021-03-05"};
    EXPECT_TRUE(parse(o, args));
    EXPECT_TRUE(o.stop_time_set);
    EXPECT_FALSE(o.start_time_set);
    EXPECT_EQ(o.stop_unix_seconds, kMar4Unix + 86400u + 86399u);
    EXPECT_EQ(o.stop_filetime, kMar4Filetime + (86400ull + 86399ull) * 10000000ull);
    cmd_params timed;
    args_t a2 = {"p", "-cmd_start_time", "2021-03-04 12:30:00"};
    EXPECT_TRUE(parse(timed, a2));
    EXPECT_EQ(timed.start_unix_seconds, kMar4Unix + 45000u);
}

TEST_F(option_parser_test, window_dates_without_separators_refuse_silently_bad_dates_warn) {
    cmd_params o;
    args_t args = {"p", "-cmd_start_time", "20210304"};
    EXPECT_FALSE(parse(o, args));
    EXPECT_EQ(err_, "");
    cmd_params bad;
    args_t a2 = {"p", "-cmd_start_time", "2021-13-04"};
    EXPECT_TRUE(parse(bad, a2));
    EXPECT_EQ(err_, "invalid start time, ignoring\n");
    EXPECT_FALSE(bad.start_time_set);
    EXPECT_FALSE(bad.stop_time_set);
}

// A window value reads as the parser reads it, or as no time: the tool refuses what reads as none. Dates
// before 1970 have negative seconds, before 1601 no FILETIME; a day or time that does not exist is told
// from a value that is no date at all.
TEST(ReadWindowValue, reads_as_the_parser_reads_or_as_no_time) {
    struct window_case {
        const char* value;
        bool stop;
        window_reading reading;
        std::int64_t unix_seconds;
        std::uint64_t filetime;
    };
    const window_reading time = window_reading::time, no_form = window_reading::no_date_form;
    const window_reading no_date = window_reading::no_such_date, no_time = window_reading::no_such_time;
    const std::vector<window_case> cases = {
        {"2021-03-04", false, time, kMar4Unix, kMar4Filetime},
        {"2021/03/04", false, time, kMar4Unix, kMar4Filetime},
        {"2021-03-04 12:30:00", false, time, kMar4Unix + 45000, kMar4Filetime + 45000ull * 10000000ull},
        {"2021-03-04", true, time, kMar4Unix + 86399, kMar4Filetime + 86399ull * 10000000ull},
        {"2020-02-29", false, time, 1582934400, 132274080000000000ull},
        {"1970-01-01", false, time, 0, 116444736000000000ull},
        {"1969-12-31", true, time, -1, 116444735990000000ull},
        {"1900-01-01", false, time, -2208988800, 94354848000000000ull},
        {"1601-01-01", false, time, -11644473600, 0},
        {"1500-06-01", false, time, -14818723200, 0},
        {"2200-01-01", false, time, 7258118400, 189025920000000000ull},
        {"20210304", false, no_form, 0, 0},
        {"foo-bar", false, no_form, 0, 0},
        {"2020-13-45", false, no_form, 0, 0},
        {"2020/99/99", true, no_form, 0, 0},
        {"-", false, no_form, 0, 0},
        {"garbage-x", true, no_form, 0, 0},
        {"2020-02-30", false, no_date, 0, 0},
        {"2021-02-29", true, no_date, 0, 0},
        {"2021-04-31 10:00:00", false, no_date, 0, 0},
        {"2025-12-31 24:00:00", false, no_time, 0, 0},
        {"2025-12-31 23:60:00", true, no_time, 0, 0},
        {"2025-12-31 23:59:60", false, no_time, 0, 0},
        {"2025-12-31 13:00 pm", false, no_time, 0, 0},
    };
    for (const window_case& c : cases) {
        window_point point;
        point.unix_seconds = 7;
        EXPECT_EQ(read_window_value(c.value, c.stop, &point), c.reading) << c.value;
        EXPECT_EQ(point.unix_seconds, c.reading == time ? c.unix_seconds : 7) << c.value;
        if (c.reading == time) {
            EXPECT_EQ(point.filetime, c.filetime) << c.value;
        }
    }
}

TEST_F(option_parser_test, environment_expansion) {
    setenv("SELK_A", "alpha", 1);
    unsetenv("SELK_UNSET");
    std::string out;
    std::string text = "x%SELK_A%y%SELK_UNSET%z";
    EXPECT_EQ(expand_environment_variables(out, text, false), "xalphay%SELK_UNSET%z");
    EXPECT_EQ(text, out);
    text = "%vss%1";
    expand_environment_variables(out, text, true);
    EXPECT_EQ(out, shadow_copy_prefix(false, true) + "1");
    text = "%vss%1";
    expand_environment_variables(out, text, false);
    EXPECT_EQ(out, "%vss%1");
    std::wstring wout;
    std::wstring wtext = L"<%SELK_A%>";
    expand_environment_variables_wide(wout, wtext);
    EXPECT_EQ(wout, L"<alpha>");
    EXPECT_EQ(wtext, L"<alpha>");
}

TEST_F(option_parser_test, self_references_terminate) {
    setenv("SELK_GROW", "ab%SELK_GROW%", 1);
    std::string out;
    std::string text = "%SELK_GROW%";
    expand_environment_variables(out, text, false);
    EXPECT_GT(out.size(), 512u);
    EXPECT_LT(out.size(), 1100u);
    // A variable that expands to exactly itself never grows past the length limit.
    setenv("SELK_SELF", "%SELK_SELF%", 1);
    text = "[%SELK_SELF%]";
    expand_environment_variables(out, text, false);
    EXPECT_EQ(out, "[%SELK_SELF%]");
    setenv("SELK_P", "%SELK_Q%", 1);
    setenv("SELK_Q", "%SELK_P%", 1);
    text = "%SELK_P%";
    expand_environment_variables(out, text, false);
    EXPECT_TRUE(out == "%SELK_P%" || out == "%SELK_Q%");
}

TEST_F(option_parser_test, normalize_path_rules) {
    std::string p = "a/b/../../c";
    EXPECT_TRUE(normalize_path(p, false));
    EXPECT_EQ(p, "a/../c");
    p = "\\x\\.\\y\\\\z";
    EXPECT_TRUE(normalize_path(p, false));
    EXPECT_EQ(p, "/x/y/z");
    p = "./rel/a.db";
    EXPECT_TRUE(normalize_path(p, false));
    EXPECT_EQ(p, "rel/a.db");
    p = "no\\dots\\here";
    EXPECT_TRUE(normalize_path(p, false));
    EXPECT_EQ(p, "no/dots/here");
    p.clear();
    EXPECT_FALSE(normalize_path(p, false));
    setenv("SELK_A", "alpha", 1);
    p = "%SELK_A%/./x";
    EXPECT_TRUE(normalize_path(p, true));
    EXPECT_EQ(p, "alpha/x");
}

TEST_F(option_parser_test, os_version_texts) {
    std::string v;
    EXPECT_TRUE(
        os_version_from_plist_text("<dict><key>ProductName</key><string>macOS</string><key>ProductVersion</"
                                   "key>\n\t<string>14.2.1</string>",
                                   v));
    EXPECT_EQ(v, "14.2.1");
    EXPECT_FALSE(os_version_from_plist_text("<dict></dict>", v));
    EXPECT_TRUE(os_version_from_os_release_text("NAME=\"Debian\"\nVERSION_ID=\"12\"\n", v));
    EXPECT_EQ(v, "12");
    EXPECT_TRUE(os_version_from_os_release_text("VERSION_ID=22.04\n", v));
    EXPECT_EQ(v, "22.04");
    EXPECT_FALSE(os_version_from_os_release_text("NAME=x\n", v));
    EXPECT_TRUE(v.empty());
}

TEST_F(option_parser_test, host_version_numbers_follow_the_text) {
    cmd_params o;
    args_t args = {"p"};
    EXPECT_TRUE(parse(o, args));
    std::string v;
    if (!read_host_os_version(v)) GTEST_SKIP() << "no os-release on this host";
    EXPECT_EQ(o.os_product_version, v);
    if (!v.empty() && v[0] >= '0' && v[0] <= '9') {
        EXPECT_EQ(o.os_major, static_cast<std::uint32_t>(std::atoi(v.c_str())));
    }
}

TEST_F(option_parser_test, select_time_locale_name_accepts_the_default_locale) {
    std::string name = "stale";
    EXPECT_TRUE(select_time_locale_name(name));
    EXPECT_EQ(name, "");
}

}  // namespace
