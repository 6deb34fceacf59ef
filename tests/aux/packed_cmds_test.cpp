#include "aux/packed_cmds.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

namespace {

using strings = std::vector<std::string>;
using wstrings = std::vector<std::wstring>;

std::vector<std::uint8_t> bytes_of(const std::string& s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

struct attributes {
    std::uint64_t run = 0, repeat = 0;
    std::uint32_t timeout = 0;
    std::string dir, name, comment, spawn, custom;
};

attributes attributes_of(const PackedCmds& c, int n) {
    attributes a;
    EXPECT_TRUE(c.get_attributes(n, a.run, a.repeat, a.timeout, a.dir, a.name, a.comment, a.spawn, a.custom));
    return a;
}

strings fields_of(const PackedCmds& c, int n) {
    strings f;
    EXPECT_TRUE(c.get_fields(n, f));
    return f;
}

// 2020-12-31 23:59:59 UTC as FILETIME.
constexpr std::uint64_t kNewYearEve = 132539327990000000ull;

TEST(PackedCmds, command_text_with_every_directive) {
    const std::string text =
        "// !cmd, a comment\n"
        "no command here\n"
        "!cmd, tool, !run-12/31/2020::23:59:59, !repeat-weekly, !timeout-600, !dir- /tmp , !name-N,"
        " !comment-C, !spawn-S, !custom-X, -name, alpha\r\n"
        "!cmd, a, , b, !timeout-12345, !repeat-Weekly, !run-12/31/2020 23:59:59\n"
        "!cmd, x, -comment, my note;1, !repeat-90, !run-never\n"
        "!cmd,\n";
    const PackedCmds c(bytes_of(text), true);
    ASSERT_TRUE(c.is_loaded());
    ASSERT_EQ(c.record_count(), 4);
    EXPECT_EQ(fields_of(c, 0), (strings{"tool", "-name", "alpha", "-comment", "alpha"}));
    EXPECT_EQ(fields_of(c, 1), (strings{"a", "", "b", "-name", "unk_name"}));
    EXPECT_EQ(fields_of(c, 2), (strings{"x", "-comment", "my note;1", "-name", "my_note_1"}));
    EXPECT_EQ(fields_of(c, 3), (strings{"", "-name", "unk_name"}));

    const attributes a = attributes_of(c, 0);
    EXPECT_EQ(a.run, kNewYearEve);
    EXPECT_EQ(a.repeat, 6048000000000ull);
    EXPECT_EQ(a.timeout, 600u);
    EXPECT_EQ(a.dir + a.name + a.comment + a.spawn + a.custom, "/tmpNCSX");
    std::string line;
    ASSERT_TRUE(c.record_as_command_line(0, line));
    EXPECT_EQ(line,
              "!cmd, !spawn-S, !custom-X, !name-N, !comment-C, !dir-/tmp, !timeout-600, !repeat-weekly, "
              "!run-12/31/2020::23:59:59, \"tool\", \"-name\", \"alpha\", \"-comment\", \"alpha\"");

    const attributes b = attributes_of(c, 1);
    EXPECT_EQ(b.run, 0u);
    EXPECT_EQ(b.repeat, 0u);
    EXPECT_EQ(b.timeout, 0u);
    ASSERT_TRUE(c.record_as_command_line(1, line));
    EXPECT_EQ(line, "!cmd, !repeat-Weekly, \"a\", \"\", \"b\", \"-name\", \"unk_name\"");

    const attributes d = attributes_of(c, 2);
    EXPECT_EQ(d.run, kRunNever);
    EXPECT_EQ(d.repeat, 900000000ull);
    ASSERT_TRUE(c.record_as_quoted_line(2, line));
    EXPECT_EQ(line, "\"x\" \"-comment\" \"my note;1\" \"-name\" \"my_note_1\"");

    strings none;
    EXPECT_FALSE(c.get_fields(4, none));
    EXPECT_EQ(c.field_count(-1), 0u);
    EXPECT_FALSE(PackedCmds(bytes_of(""), false).is_loaded());
}

TEST(PackedCmds, elements_hive_and_extra_arguments) {
    PackedCmds c(bytes_of("!cmd, a, , b, <x>1,2</x>, -hive, old\n"), strings{"x"}, false);
    EXPECT_EQ(fields_of(c, 0), (strings{"a", "b", "-hive", "old", "<x>1,2</x>"}));
    // The element form drops blank parts even when it is given no tags.
    EXPECT_EQ(fields_of(PackedCmds(bytes_of("!cmd, a, , b\n"), strings{}, false), 0), (strings{"a", "b"}));

    PackedCmds h(strings{});
    EXPECT_TRUE(h.load_command_text("!cmd, q, -hive, old\n!cmd, r, -hive\n", "HIVE", {"--extra"}, false));
    EXPECT_EQ(fields_of(h, 0), (strings{"q", "-hive", "HIVE", "--extra"}));
    EXPECT_EQ(fields_of(h, 1), (strings{"r", "-hive", "-hive", "HIVE", "--extra"}));
}

TEST(PackedCmds, packed_tables_narrow_and_wide) {
    const void* const table[] = {g_record_start_char,
                                 g_cmd_terminator_char,
                                 nullptr,
                                 g_record_start_char,
                                 "cmd1",
                                 "!timeout-5",
                                 g_record_start_char,
                                 "cmd2",
                                 "a",
                                 "b",
                                 g_cmd_terminator_char};
    const PackedCmds c(table, false);
    ASSERT_TRUE(c.is_loaded());
    ASSERT_EQ(c.record_count(), 2);
    EXPECT_EQ(fields_of(c, 0), (strings{"cmd1"}));
    EXPECT_EQ(attributes_of(c, 0).timeout, 5u);
    EXPECT_EQ(fields_of(c, 1), (strings{"cmd2", "a", "b"}));
    std::size_t count = 0;
    const wchar_t* const* ptrs = nullptr;
    ASSERT_TRUE(c.get_field_pointers(1, count, ptrs));
    ASSERT_EQ(count, 3u);
    EXPECT_STREQ(ptrs[2], L"b");

    const void* const* first = nullptr;
    ASSERT_TRUE(PackedCmds::find_packed_record(table, 1, count, first));
    EXPECT_EQ(count, 3u);
    EXPECT_STREQ(static_cast<const char*>(first[0]), "cmd2");
    EXPECT_FALSE(PackedCmds::find_packed_record(table, 2, count, first));

    std::ostringstream os;
    ASSERT_TRUE(c.write_c_table(os));
    EXPECT_EQ(
        os.str(),
        "const int NUM_FIELDS_PER_RECORD = 4\n\nconst char * reg_cmds[][NUM_FIELDS_PER_RECORD] =\n{\n   {\n"
        "      g_record_start_char, g_cmd_terminator_char\n   },\n\n"
        "   {\n      g_record_start_char,\n     \"cmd1\"\n   },\n\n"
        "   {\n      g_record_start_char,\n     \"cmd2\",\n     \"a\",\n     \"b\"\n   },\n\n"
        "   { g_cmd_terminator_char }\n};\n");

    const void* const wide[] = {g_record_start_char, g_cmd_terminator_char, g_record_start_char, L"w\u00e9",
                                g_cmd_terminator_char};
    const PackedCmds w(wide, true);
    EXPECT_EQ(fields_of(w, 0), (strings{"w\xc3\xa9"}));
    EXPECT_FALSE(PackedCmds(static_cast<const void* const*>(nullptr), false).is_loaded());
}

TEST(PackedCmds, token_lists_keep_the_first_of_equal_records) {
    const PackedCmds c(wstrings{L"ignored", L"!cmd", L" a ", L"!repeat-daily", L"!cmd", L"a",
                                L"!repeat-daily", L"!cmd", L"b", L"!cmd", L"b"});
    ASSERT_EQ(c.record_count(), 2);
    EXPECT_EQ(fields_of(c, 0), (strings{"!cmd", "a"}));
    EXPECT_EQ(attributes_of(c, 0).repeat, 864000000000ull);
    EXPECT_EQ(fields_of(c, 1), (strings{"!cmd", "b"}));
    EXPECT_FALSE(PackedCmds(strings{"no", "command"}).is_loaded());

    const PackedCmds lines(wstrings{L"!cmd, x, y", L"!cmd, x, y", L"!cmd, z"}, true);
    ASSERT_EQ(lines.record_count(), 2);
    EXPECT_EQ(fields_of(lines, 1), (strings{"!cmd", "z"}));
    const PackedCmds elements(wstrings{L"!cmd, p, <e>1,2</e>"}, wstrings{L"e"}, true);
    EXPECT_EQ(fields_of(elements, 0), (strings{"!cmd", "p", "<e>1,2</e>"}));
}

TEST(PackedCmds, schedule_listing_and_due_times) {
    PackedCmds c(wstrings{L"!cmd", L"a", L"!cmd", L"b", L"!cmd", L"c", L"!cmd", L"d\u00e9"});
    ASSERT_EQ(c.record_count(), 4);
    ASSERT_TRUE(c.set_attributes(0, kRunNever, 1728000000000ull, 0, "", "", "", "", ""));
    ASSERT_TRUE(c.set_attributes(1, kNewYearEve, 6912000000000ull, 0, "", "", "", "", ""));
    ASSERT_TRUE(c.set_attributes(2, 0, 35999999999ull, 0, "", "", "", "", ""));
    ASSERT_TRUE(c.set_attributes(3, 0, 864000000000ull, 0, "", "", "", "", ""));
    std::ostringstream os;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(c.write_schedule_listing(os));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "0xffffffffffffffff\n0x1d6dfd10b9ce980\n0x0\n0x0\n");
    EXPECT_EQ(os.str(),
              "!cmd, !cmd, a, !run-never, !repeat-weekly\n"
              "!cmd, !cmd, b, !run-12/31/2020::23:59:59, !repeat-monthly\n"
              "!cmd, !cmd, c, !run-now, !repeat-none\n"
              "!cmd, !cmd, d\xc3\xa9, !run-now, !repeat-daily\n\n");

    testing::internal::CaptureStdout();
    ASSERT_TRUE(c.print_records());
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("----- record 3 -----\n!cmd\nd\xc3\xa9\n"), std::string::npos) << printed;

    EXPECT_TRUE(c.any_due_before(1));
    EXPECT_FALSE(c.any_due_before(0));
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(c.reset_schedule(i));
    EXPECT_FALSE(c.any_due_before(INT64_MAX));
    EXPECT_FALSE(c.reset_schedule(4));

    const std::string path = std::string(SELK_TEST_TMP) + "/schedule_listing.txt";
    testing::internal::CaptureStdout();
    EXPECT_TRUE(c.save_schedule_listing(path));
    testing::internal::GetCapturedStdout();
    std::ifstream in(path);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "!cmd, !cmd, a, !run-never, !repeat-none");
    EXPECT_FALSE(c.save_schedule_listing(std::string(SELK_TEST_TMP) + "/no/such/dir/x"));
    EXPECT_EQ(std::remove(path.c_str()), 0);
}

}  // namespace
