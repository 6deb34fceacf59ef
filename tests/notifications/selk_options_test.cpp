// The tool's options: the start state, the tool switches read after the common options, and what survives
// from one database of a "-pipe" run to the next.
#include "notifications/selk_options.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "driver_checks.h"
#include "io/option_lookup.h"
#include "notification_db_fixtures.h"
#include "notifications/library_path.h"
#include "notifications/row_pipeline.h"
#include "sqlite_format/database_source.h"
#include "test_run.h"

namespace {

using driver_checks::without_status_clears;

std::vector<std::string> args_of(std::initializer_list<const char*> words) {
    std::vector<std::string> v = {"/usr/local/bin/selk"};
    for (const char* w : words) v.emplace_back(w);
    return v;
}

bool contains(const std::vector<std::string>& args, const std::string& word) {
    for (const std::string& a : args)
        if (a == word) return true;
    return false;
}

TEST(SelkOptions, StartState) {
    test_run o;
    for (int i = 0; i < 8; ++i) EXPECT_EQ(o.switches[i], 0) << i;
    EXPECT_EQ(o.recogniser_switches, -1);
    EXPECT_EQ(o.layout.page_size, 0u);
    EXPECT_EQ(o.report_stream, nullptr);
    std::ostringstream report;
    record_writer writer(report, o);
    row_pipeline rows(report, o, writer, 0);
    const database_source none;
    EXPECT_EQ(row_reader(o, none, rows).current_table_type, 0u);
    EXPECT_EQ(o.store.app_name_width, 22u);
    EXPECT_EQ(o.verify, 0);
    EXPECT_EQ(o.layout.table_names[kSchemaNotification], "notification");
    EXPECT_EQ(o.layout.table_names[kSchemaHandler], "notificationhandler");
    EXPECT_EQ(o.layout.table_names[kSchemaPushChannel], "wnspushchannel");
    EXPECT_EQ(o.layout.table_names[kSchemaHandlerSettings], "handlersettings");
    EXPECT_FALSE(o.sqlite.is_open);
    // The common options keep their own defaults.
    EXPECT_EQ(o.separator, " | ");
    EXPECT_TRUE(o.show_progress);
}

TEST(ParseSelkOptions, DatabasePathAndSwitches) {
    selk_options o;
    std::vector<std::string> args =
        args_of({"-DB", "/cases/wpndatabase.db", "-All_Fields", "-verify", "-incl_settings"});
    ASSERT_EQ(parse_selk_options(o, args), 1);
    EXPECT_EQ(o.db_path, "/cases/wpndatabase.db");
    EXPECT_EQ(o.switches[kSwitchInput], 1);
    EXPECT_EQ(o.switches[kSwitchAllFields], 1);
    EXPECT_EQ(o.switches[kSwitchSettings], 1);
    EXPECT_EQ(o.switches[kSwitchCarve], 0);
    EXPECT_EQ(o.switches[kSwitchSlack], 0);
    EXPECT_EQ(o.verify, 1);
    EXPECT_TRUE(o.pair_datetime);
    EXPECT_FALSE(o.padded_separator);
    // Taken switches leave the argument list.
    EXPECT_FALSE(contains(args, "-DB"));
    EXPECT_FALSE(contains(args, "-All_Fields"));
    EXPECT_FALSE(contains(args, "-incl_settings"));
}

TEST(ParseSelkOptions, CarveTurnsSlackRecoveryOn) {
    selk_options o;
    std::vector<std::string> args = args_of({"-db", "x.db", "-carve"});
    ASSERT_EQ(parse_selk_options(o, args), 1);
    EXPECT_EQ(o.switches[kSwitchCarve], 1);
    EXPECT_EQ(o.switches[kSwitchSlack], 1);
    EXPECT_EQ(o.switches[kSwitchSlackCopy], 1);

    selk_options s;
    args = args_of({"-db", "x.db", "-incl_slack"});
    ASSERT_EQ(parse_selk_options(s, args), 1);
    EXPECT_EQ(s.switches[kSwitchCarve], 0);
    EXPECT_EQ(s.switches[kSwitchSlack], 1);
    EXPECT_EQ(s.switches[kSwitchSlackCopy], 1);
}

TEST(ParseSelkOptions, ParseChunkLeavesCarveSlackAndSettingsOff) {
    selk_options o;
    std::vector<std::string> args = args_of({"-db", "pages.bin", "-parse_chunk", "-carve", "-incl_settings"});
    ASSERT_EQ(parse_selk_options(o, args), 1);
    EXPECT_EQ(o.switches[kSwitchParseChunk], 1);
    EXPECT_EQ(o.switches[kSwitchCarve], 0);
    EXPECT_EQ(o.switches[kSwitchSlack], 0);
    EXPECT_EQ(o.switches[kSwitchSettings], 0);
    // Taken, so they are not refused as unknown.
    EXPECT_FALSE(contains(args, "-carve"));
}

TEST(ParseSelkOptions, ArgumentsThatAreNeitherSwitchNorValueAreRefused) {
    struct refusal {
        std::vector<const char*> words;
        std::string named;  // what standard error must name
    };
    const std::vector<refusal> cases = {
        {{"-db", "f.db", "-incl_slak"}, "-incl_slak"},
        {{"-db", "f.db", "extra.db"}, "extra.db"},
        {{"-pipe", "-quiet", "-carv"}, "-carv"},
    };
    for (const refusal& c : cases) {
        selk_options o;
        std::vector<std::string> args = {"/usr/local/bin/selk"};
        for (const char* w : c.words) args.emplace_back(w);
        testing::internal::CaptureStderr();
        EXPECT_EQ(parse_selk_options(o, args), 0) << c.named;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("unknown argument: " + c.named + "\n"), std::string::npos) << err;
    }
    // Every known switch with its value is taken.
    selk_options o;
    std::vector<std::string> args =
        args_of({"-pipe", "-csv", "-all_fields", "-incl_slack", "-quiet", "-dateformat", "mm/dd/yyyy"});
    EXPECT_EQ(parse_selk_options(o, args), 1);
    EXPECT_EQ(args.size(), 1u);
}

TEST(ParseSelkOptions, FaultsTheCommonParserWouldPassAreNamed) {
    struct refusal {
        std::vector<const char*> words;
        std::string message;  // the whole of standard error
    };
    const std::string two_modes = "only one of -db, -pipe and -enumdir may name the input\n";
    const std::vector<refusal> cases = {
        {{"-db"}, "-db needs a value\n"},
        {{"-db", "a.db", "-out"}, "-out needs a value\n"},
        {{"-username", "-quiet", "-db", "a.db"}, "-username needs a value\n"},
        // The switch taken for the value leaves its own value behind.
        {{"-db", "a.db", "-csvl2t", "-hostname", "-csv_separator", "|"},
         "-hostname needs a value\nunknown argument: |\n"},
        {{"-pipe", "-db", "x.db"}, two_modes},
        {{"-pipe", "-enumdir", "/tmp"}, two_modes},
        {{"-db", "x.db", "-enumdir", "/tmp", "-num_subdirs", "1"}, two_modes},
        {{"-db", "a.db", "-cmd_start_time", "garbage"},
         "refusing -cmd_start_time garbage: the date must be written yyyy-mm-dd or yyyy/mm/dd\n"},
        {{"-pipe", "-cmd_stop_time", " 10:00:00"},
         "refusing -cmd_stop_time  10:00:00: the date must be written yyyy-mm-dd or yyyy/mm/dd\n"},
        {{"-db", "a.db", "-csv_separator", ""}, "refusing an empty -csv_separator\n"},
        // A separator that cannot separate cells, or of which nothing is left.
        {{"-db", "a.db", "-csv_separator", "\""},
         "refusing -csv_separator '\"': a double quote, CR or LF cannot separate cells\n"},
        {{"-db", "a.db", "-csv_separator", ";\n"},
         "refusing -csv_separator ';[LF]': a double quote, CR or LF cannot separate cells\n"},
        {{"-db", "a.db", "-csv", "-csv_separator", " ", "-enable_quoted_csv_fields"},
         "refusing -csv_separator ' ': nothing of it is left once -enable_quoted_csv_fields removes its "
         "blanks\n"},
        {{"-db", "a.db", "-csv_separator", "  ", "-no_whitespace"},
         "refusing -csv_separator '  ': nothing of it is left once -no_whitespace removes its blanks\n"},
        // A date written with '-' or '/' that is still no date is refused as well, not ignored.
        {{"-db", "a.db", "-cmd_start_time", "foo-bar"},
         "refusing -cmd_start_time foo-bar: the date must be written yyyy-mm-dd or yyyy/mm/dd\n"},
        {{"-db", "a.db", "-cmd_start_time", "2020-13-45"},
         "refusing -cmd_start_time 2020-13-45: the date must be written yyyy-mm-dd or yyyy/mm/dd\n"},
        {{"-db", "a.db", "-cmd_start_time", "2020/99/99"},
         "refusing -cmd_start_time 2020/99/99: the date must be written yyyy-mm-dd or yyyy/mm/dd\n"},
        {{"-db", "a.db", "-cmd_start_time", "-"},
         "refusing -cmd_start_time -: the date must be written yyyy-mm-dd or yyyy/mm/dd\n"},
        {{"-enumdir", "/tmp", "-cmd_stop_time", "garbage-x"},
         "refusing -cmd_stop_time garbage-x: the date must be written yyyy-mm-dd or yyyy/mm/dd\n"},
        {{"-db", "a.db", "-cmd_start_time", "2021-03-05", "-cmd_stop_time", "2021/03/01"},
         "refusing -cmd_stop_time 2021/03/01: it is before -cmd_start_time 2021-03-05\n"
         "refusing -cmd_start_time 2021-03-05: it chooses among the files of -pipe and -enumdir, and -db "
         "names the one file read\n"},
        // A switch given twice: the common parser would read the first and call the second unknown.
        {{"-db", "a.db", "-db", "b.db"}, "-db may be given only once\n"},
        {{"-DB", "a.db", "-quiet", "-db", "b.db"}, "-db may be given only once\n"},
        {{"-db", "a.db", "-hostname", "h1", "-hostname", "h2"}, "-hostname may be given only once\n"},
        {{"-pipe", "-cmd_start_time", "2021-03-04", "-cmd_start_time", "2021-03-05"},
         "-cmd_start_time may be given only once\n"},
        {{"-db", "a.db", "-out", "a.txt", "-outfile", "b.txt"},
         "only one of -out and -outfile may be given\n"},
        {{"-db", "a.db", "-csv", "-csv"}, "-csv may be given only once\n"},
    };
    for (const refusal& c : cases) {
        selk_options o;
        std::vector<std::string> args = {"/usr/local/bin/selk"};
        for (const char* w : c.words) args.emplace_back(w);
        testing::internal::CaptureStderr();
        EXPECT_EQ(parse_selk_options(o, args), 0) << c.message;
        EXPECT_EQ(without_status_clears(testing::internal::GetCapturedStderr()), c.message);
    }
}

// A switch selk accepts acts in selk: a common switch it takes no action on, two output forms, or a value
// that does not read as one is refused by name.
TEST(ParseSelkOptions, SwitchesThatWouldDoNothingAreRefusedByName) {
    struct refusal {
        std::vector<std::string> words;
        std::string message;  // the whole of standard error
    };
    std::vector<refusal> cases = {
        {{"-db", "a.db", "-csv", "-bodyfile"}, "only one of -csv and -bodyfile may be given\n"},
        {{"-db", "a.db", "-bodyfile", "-CSVL2T", "-csv"},
         "only one of -bodyfile, -CSVL2T and -csv may be given\n"},
        {{"-enumdir", "/tmp", "-num_subdirs", "abc"},
         "refusing -num_subdirs abc: the depth must be a number of folder levels\n"},
        {{"-enumdir", "/tmp", "-num_subdirs", "-1"},
         "refusing -num_subdirs -1: the depth must be a number of folder levels\n"},
        {{"-db", "a.db", "-dateformat", "yyyy/mm"},
         "refusing -dateformat yyyy/mm: it is no date pattern such as mm/dd/yyyy or yyyy-mm-dd\n"},
        {{"-db", "a.db", "-timeformat", "hh:mm"},
         "refusing -timeformat hh:mm: it is no time pattern such as hh:mm:ss or hh:mm:ss.xxx\n"},
        // Named once, its value taken along.
        {{"-db", "a.db", "-THREADS", "2", "-threads", "3"}, "-THREADS is not used by selk\n"},
    };
    // Every common switch selk takes no action on, with a value where it takes one.
    const std::vector<std::vector<std::string>> unused = {{"-pair_datetime"},
                                                          {"-l2"},
                                                          {"-l3"},
                                                          {"-csvgen"},
                                                          {"-xml"},
                                                          {"-multiline"},
                                                          {"-alias", "a|b"},
                                                          {"-aliaspath", "a|b"},
                                                          {"-gzip"},
                                                          {"-zlib"},
                                                          {"-zlibex", "x"},
                                                          {"-threads", "4"},
                                                          {"-sqlite_log", "l"},
                                                          {"-sqlite", "s"},
                                                          {"-signal", "x"},
                                                          {"-split_pathfile"},
                                                          {"-cpuinst", "1"},
                                                          {"-cpu", "1"},
                                                          {"-fragment_files", "2"},
                                                          {"-separate_files"},
                                                          {"-outdir", "/tmp"},
                                                          {"-filter_skip", "*.txt"},
                                                          {"-verbose"},
                                                          {"-v"}};
    for (const std::vector<std::string>& words : unused) {
        refusal c{{"-db", "a.db"}, words[0] + " is not used by selk\n"};
        c.words.insert(c.words.end(), words.begin(), words.end());
        cases.push_back(c);
    }
    for (const refusal& c : cases) {
        selk_options o;
        std::vector<std::string> args = {"/usr/local/bin/selk"};
        args.insert(args.end(), c.words.begin(), c.words.end());
        testing::internal::CaptureStderr();
        EXPECT_EQ(parse_selk_options(o, args), 0) << c.message;
        EXPECT_EQ(without_status_clears(testing::internal::GetCapturedStderr()), c.message);
    }
}

// What the refusals of values that cannot mean what was asked leave alone: every command line here is
// taken whole, without a word on standard error, and reads as written.
TEST(ParseSelkOptions, MeaningfulSelectionsSeparatorsAndBasesAreTaken) {
    struct accepted {
        std::vector<std::string> words;
        std::string separator;  // the separator kept, where given
        std::vector<std::pair<std::vector<std::uint8_t>, std::uint64_t>> signatures;  // bytes and offset
    };
    const std::vector<accepted> cases = {
        {{"-pipe", "-filter", "*.db"}, "", {}},
        {{"-enumdir", "/tmp", "-num_subdirs", "2", "-filter", "*.db", "-filter_path", "Users"}, "", {}},
        {{"-pipe", "-filter", "a.db", "-filter", "b.db", "-filter_path", "x"}, "", {}},
        {{"-pipe", "-filter_sig", "53 51 4c|0", "-filter_sig", "0x00 0X1,0x10", "-filter_sig", "ff"},
         "",
         {{{0x53, 0x51, 0x4c}, 0}, {{0x00, 0x01}, 16}, {{0xff}, 0}}},
        {{"-enumdir", "/tmp", "-filter", "*.db", "-filter_sig", " 53 51 | 9223372036854775807 "},
         "",
         {{{0x53, 0x51}, 9223372036854775807ull}}},
        {{"-pipe", "-cmd_start_time", "1900-01-01", "-cmd_stop_time", "1969-12-31 23:59:59"}, "", {}},
        {{"-enumdir", "/tmp", "-cmd_start_time", "2020-02-29 23:59:59"}, "", {}},
        {{"-db", "a.db", "-csv_separator", "\t"}, "\t", {}},
        {{"-db", "a.db", "-csv_separator", "tab"}, "\t", {}},
        {{"-db", "a.db", "-csv_separator", "\\t"}, "\t", {}},
        {{"-db", "a.db", "-csv", "-csv_separator", ";"}, ";", {}},
        {{"-db", "a.db", "-csv_separator", ":"}, ":", {}},
        {{"-db", "a.db", "-csv_separator", " "}, " ", {}},
        {{"-db", "a.db", "-csvl2t", "-csv_separator", "|"}, "|", {}},
        {{"-db", "a.db", "-csv_separator", "\xc2\xa7"}, "\xc2\xa7", {}},  // U+00A7 is no control
        {{"-db", "a.db", "-base10"}, "", {}},
        {{"-db", "a.db", "-base16", "-parse_chunk"}, "", {}},
    };
    for (const accepted& c : cases) {
        selk_options o;
        std::vector<std::string> args = {"/usr/local/bin/selk"};
        args.insert(args.end(), c.words.begin(), c.words.end());
        std::string label;
        for (const std::string& w : c.words) label += w + " ";
        testing::internal::CaptureStderr();
        EXPECT_EQ(parse_selk_options(o, args), 1) << label;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << label;
        if (!c.separator.empty()) {
            EXPECT_EQ(o.separator, c.separator) << label;
        }
        std::vector<std::pair<std::vector<std::uint8_t>, std::uint64_t>> signatures;
        for (const filename_filter& f : o.include_filters) {
            if (!f.signature.empty()) signatures.emplace_back(f.signature, f.signature_offset);
            // "-filter_path" narrows every name of every "-filter".
            if (f.signature.empty() && has_option("-filter_path", c.words, false)) {
                EXPECT_FALSE(f.path_text.empty()) << label;
            }
        }
        EXPECT_EQ(signatures, c.signatures) << label;
    }
    selk_options window;
    std::vector<std::string> args =
        args_of({"-pipe", "-cmd_start_time", "1900-01-01", "-cmd_stop_time", "1969-12-31 23:59:59"});
    ASSERT_EQ(parse_selk_options(window, args), 1);
    EXPECT_EQ(window.start_unix_seconds, -2208988800);
    EXPECT_EQ(window.stop_unix_seconds, -1);
    selk_options bases;
    args = args_of({"-db", "a.db", "-base10"});
    ASSERT_EQ(parse_selk_options(bases, args), 1);
    EXPECT_FALSE(bases.base16);
}

TEST(ParseSelkOptions, InputMustBeNamed) {
    selk_options piped;
    std::vector<std::string> args = args_of({"-pipe"});
    ASSERT_EQ(parse_selk_options(piped, args), 1);
    EXPECT_EQ(piped.switches[kSwitchInput], 1);
    EXPECT_TRUE(piped.db_path.empty());

    selk_options csv_only;
    args = args_of({"-csv"});
    EXPECT_EQ(parse_selk_options(csv_only, args), 0);
    EXPECT_EQ(csv_only.switches[kSwitchInput], 0);

    // "-db" as the last word names nothing.
    selk_options dangling;
    args = args_of({"-db"});
    EXPECT_EQ(parse_selk_options(dangling, args), 0);
}

TEST(ParseSelkOptions, CsvStaysPaddedUnlessNoWhitespaceIsGiven) {
    selk_options padded;
    std::vector<std::string> args = args_of({"-db", "x.db", "-csv"});
    ASSERT_EQ(parse_selk_options(padded, args), 1);
    EXPECT_TRUE(padded.csv);
    EXPECT_FALSE(padded.no_whitespace);
    EXPECT_TRUE(padded.padded_separator);

    selk_options unpadded;
    args = args_of({"-db", "x.db", "-csv", "-no_whitespace"});
    ASSERT_EQ(parse_selk_options(unpadded, args), 1);
    EXPECT_TRUE(unpadded.no_whitespace);
    EXPECT_FALSE(unpadded.padded_separator);

    // The program path is not taken for the switch.
    selk_options path_named;
    args = {"-no_whitespace", "-db", "x.db", "-csv"};
    ASSERT_EQ(parse_selk_options(path_named, args), 1);
    EXPECT_FALSE(path_named.no_whitespace);
    EXPECT_TRUE(path_named.padded_separator);
}

TEST(SelkOptions, OnlyTheInputSwitchIsClearedBetweenDatabases) {
    notification_fixtures::temp_dir dir;
    const std::string db = dir.file("a.db");
    {
        sqlite3* h = notification_fixtures::open_db(db);
        ASSERT_NE(h, nullptr);
        notification_fixtures::exec(h, "CREATE TABLE t(a);");
        sqlite3_close(h);
    }
    test_run o;
    std::vector<std::string> args =
        args_of({"-pipe", "-all_fields", "-carve", "-incl_slack", "-incl_settings"});
    ASSERT_EQ(parse_selk_options(o, args), 1);
    ASSERT_TRUE(o.sqlite.open_read_only(db, ""));
    o.store.notifications.push_back(notification_record());
    notification_handler_record handler;
    handler.record_id = 1;
    o.store.add_handler(handler);
    wns_push_channel_record channel;
    channel.handler_id = 1;
    o.store.add_channel(channel);
    handler_settings_record setting;
    setting.handler_id = 1;
    setting.value = 1;
    o.store.add_setting(setting);
    o.layout.column_names.push_back("Order");
    o.store.app_name_width = 40;
    o.layout.schemas[kSchemaNotification].name = "notification";
    o.layout.page_size = 4096;
    o.input_read = 1;

    o.selk_run::clear_after_each_iteration();
    EXPECT_FALSE(o.sqlite.is_open);
    EXPECT_EQ(o.sqlite.db, nullptr);
    EXPECT_EQ(o.input_read, 0);
    EXPECT_EQ(o.switches[kSwitchAllFields], 1);
    EXPECT_EQ(o.switches[kSwitchCarve], 1);
    EXPECT_EQ(o.switches[kSwitchSlack], 1);
    EXPECT_EQ(o.switches[kSwitchSettings], 1);
    EXPECT_TRUE(o.store.notifications.empty());
    EXPECT_TRUE(o.store.handlers.empty());
    EXPECT_TRUE(o.store.push_channels.empty());
    EXPECT_TRUE(o.store.settings.empty());
    EXPECT_EQ(o.store.handler_for(1), nullptr);
    EXPECT_EQ(o.store.push_channel_for(1), nullptr);
    EXPECT_EQ(o.store.settings_text(1), "");
    EXPECT_TRUE(o.layout.column_names.empty());
    EXPECT_EQ(o.store.app_name_width, 22u);
    EXPECT_TRUE(o.layout.schemas[kSchemaNotification].name.empty());

    o.spare_text = "x";
    o.verify = 1;
    o.clear();
    EXPECT_TRUE(o.spare_text.empty());
    EXPECT_EQ(o.verify, 0);
    EXPECT_EQ(o.switches[kSwitchCarve], 0);
    EXPECT_EQ(o.layout.page_size, 0u);
}

}  // namespace
