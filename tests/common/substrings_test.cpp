#include "common/substrings.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ReplaceFirst, nocase_keeps_rest_and_lowers_old_in_place) {
    std::string text = "Hello World";
    std::string old_text = "WORLD";
    EXPECT_EQ(replace_first(text, old_text, "there", true), 1);
    EXPECT_EQ(text, "Hello there");
    EXPECT_EQ(old_text, "world");
    std::string t2 = "Hello World";
    std::string o2 = "WORLD";
    EXPECT_EQ(replace_first(t2, o2, "x", false), 0);
    EXPECT_EQ(t2, "Hello World");
    std::string t3 = "aXa";
    EXPECT_EQ(replace_first_cstr_nocase(t3, "x", "yy"), 1);
    EXPECT_EQ(t3, "ayya");
    EXPECT_EQ(replace_first_cstr_nocase(t3, nullptr, "yy"), 0);
}

TEST(EraseFirst, erases_first_occurrence_only) {
    std::string text = "abcABCabc";
    std::string piece = "ABC";
    EXPECT_EQ(erase_first(text, piece, true), 1);
    EXPECT_EQ(text, "ABCabc");
    std::string none = "zz";
    EXPECT_EQ(erase_first(text, none, false), 0);
}

TEST(EraseFirst, wide_buffer_written_back) {
    wchar_t buf[32];
    std::wcscpy(buf, L"Service.EXE -k");
    EXPECT_EQ(erase_first_wide_cstr(buf, L".exe", true), 1);
    EXPECT_STREQ(buf, L"Service -k");
    std::wcscpy(buf, L"caf\u00e9 bar");
    EXPECT_EQ(erase_first_wide_cstr(buf, L" bar", false), 1);
    EXPECT_STREQ(buf, L"caf\u00e9");
    EXPECT_EQ(erase_first_wide_cstr(buf, L"nope", false), 0);
    EXPECT_EQ(erase_first_wide_cstr(nullptr, L"x", false), 0);
}

TEST(EraseFromSubstring, cuts_to_end) {
    std::string text = "svchost.exe -k netsvcs";
    EXPECT_EQ(erase_from_substring(text, " -k", false), 1);
    EXPECT_EQ(text, "svchost.exe");
    std::string t2 = "Name=Value";
    const std::string piece = "=VAL";
    EXPECT_EQ(erase_from_substring(t2, piece, true), 1);
    EXPECT_EQ(t2, "Name");
    std::string t3 = "a;b";
    EXPECT_EQ(erase_from_char(t3, ';', false), 1);
    EXPECT_EQ(t3, "a");
    EXPECT_EQ(erase_from_char(t3, ';', false), 0);
}

TEST(FindNocase, positions_and_pointer_form) {
    std::string text = "Hello World";
    std::string needle = "WORLD";
    EXPECT_EQ(find_nocase(text, needle, false), -1);
    EXPECT_EQ(find_nocase(text, needle, true), 6);
    EXPECT_EQ(text, "hello world");
    const char* hay = "Some TEXT here";
    EXPECT_EQ(find_nocase_cstr(hay, "text"), hay + 5);
    EXPECT_EQ(find_nocase_cstr(hay, "zzz"), nullptr);
    EXPECT_EQ(find_nocase_cstr(nullptr, "a"), nullptr);
}

TEST(ValueAfterKey, value_up_to_terminator) {
    std::string term = ";";
    EXPECT_EQ(value_after_key("b=", "a=1;b=2", term, false), "2");
    EXPECT_EQ(value_after_key("a=", "a=1;b=2", term, false), "1");
    EXPECT_EQ(value_after_key("c=", "a=1;b=2", term, false), "");
    EXPECT_EQ(value_after_key(nullptr, "a=1", term, false), "");
    std::string upper_term = "X";
    EXPECT_EQ(value_after_key("KEY:", "key:AbcxDef", upper_term, true), "Abc");
    EXPECT_EQ(upper_term, "x");
}

TEST(PrefixTests, strings_and_bytes) {
    std::string a = "ABCdef";
    std::string b = "abcXYZ";
    EXPECT_EQ(equal_prefix_nocase(a, b, 3), 1);
    EXPECT_EQ(a, "abcdef");
    EXPECT_EQ(equal_prefix_nocase(a, b, 4), 0);
    EXPECT_EQ(equal_prefix_nocase(a, b, 7), 0);
    const std::vector<std::uint8_t> x = {'H', 'e', 'Y'};
    const std::vector<std::uint8_t> y = {'h', 'E', 'y', '!'};
    EXPECT_EQ(equal_prefix_bytes_nocase(x, y, 3), 1);
    EXPECT_EQ(equal_prefix_bytes_nocase(x, y, 4), 0);
    std::vector<std::string> list = {"AB", "Cd"};
    lower_all_strings(list);
    EXPECT_EQ(list, (std::vector<std::string>{"ab", "cd"}));
}

TEST(MonthAbbrev, first_three_letters_any_case) {
    EXPECT_EQ(month_abbrev_to_number("Jan"), 1);
    EXPECT_EQ(month_abbrev_to_number("DECEMBER"), 12);
    EXPECT_EQ(month_abbrev_to_number("sep"), 9);
    EXPECT_EQ(month_abbrev_to_number("Ju"), -1);
    EXPECT_EQ(month_abbrev_to_number("Foo"), -1);
    EXPECT_EQ(month_abbrev_to_number(nullptr), -1);
}

TEST(DevicePathSerial, device_and_plain_paths) {
    std::string name, short_name, sep;
    EXPECT_EQ(device_path_serial(name, short_name, sep, "USB#VID_1234&PID_5678#ABC123&0#x"), 1);
    EXPECT_EQ(name, "ABC123&0");
    EXPECT_EQ(short_name, "ABC123");
    EXPECT_EQ(sep, "#");
    sep.clear();
    EXPECT_EQ(device_path_serial(name, short_name, sep, "C:/dir/file"), 1);
    EXPECT_EQ(name, "file");
    EXPECT_EQ(short_name, "file");
    sep.clear();
    EXPECT_EQ(device_path_serial(name, short_name, sep, "C:/dir/"), 1);
    EXPECT_EQ(name, "dir");
    sep.clear();
    EXPECT_EQ(device_path_serial(name, short_name, sep, "noseparator"), 0);
    EXPECT_EQ(name, "");
    EXPECT_EQ(device_path_serial(name, short_name, sep, "USB#VID_1#SERIAL"), 0);
    EXPECT_EQ(device_path_serial(name, short_name, sep, "USB#PID_1#"), 0);
}

TEST(FindTextInRuns, ascii_offsets) {
    const std::uint8_t data[] = {0, 'A', 'B', 0};
    std::vector<std::uint64_t> offsets;
    EXPECT_EQ(find_text_in_ascii_runs("ab", data, sizeof data, offsets, 100, false), 1);
    EXPECT_EQ(offsets, (std::vector<std::uint64_t>{101}));
    const char* text = " xabyab\x01zab";
    EXPECT_EQ(find_text_in_ascii_runs("AB", reinterpret_cast<const std::uint8_t*>(text), std::strlen(text),
                                      offsets, 0, true),
              1);
    EXPECT_EQ(offsets, (std::vector<std::uint64_t>{101, 2, 5, 9}));
    EXPECT_EQ(find_text_in_ascii_runs("zz", data, sizeof data, offsets, 0, false), 0);
    EXPECT_TRUE(offsets.empty());
    EXPECT_EQ(find_text_in_ascii_runs("ab", nullptr, 4, offsets, 0, false), 0);
}

TEST(FindTextInRuns, utf16_both_alignments_and_tail) {
    // "AB" at offset 0 (even) and "ab" at offset 7 (odd alignment), last unit ends the buffer.
    const std::uint8_t data[] = {'A', 0, 'B', 0, 1, 1, 1, 'a', 0, 'b', 0};
    std::vector<std::uint64_t> offsets;
    EXPECT_EQ(find_text_in_utf16_runs("ab", data, sizeof data, offsets, 10, false), 1);
    EXPECT_EQ(offsets, (std::vector<std::uint64_t>{10, 17}));
    const std::uint8_t none[] = {'x', 0, 'y'};
    EXPECT_EQ(find_text_in_utf16_runs("ab", none, sizeof none, offsets, 0, false), 1);
    EXPECT_TRUE(offsets.empty());
    EXPECT_EQ(find_text_in_utf16_runs("ab", none, 0, offsets, 0, false), 0);
}

TEST(RemoveAllInBuffer, removes_matches_or_keeps_array) {
    std::vector<std::uint8_t> buf = {'a', 'X', 'Y', 'b', 'x', 'y', 'c'};
    std::size_t size = buf.size();
    EXPECT_EQ(remove_all_in_buffer(buf, size, "xy", true), 1);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(buf, (std::vector<std::uint8_t>{'a', 'b', 'c'}));

    std::vector<std::uint8_t> keep = {'a', 'b', 'c', 'd'};
    const std::uint8_t* before = keep.data();
    size = keep.size();
    EXPECT_EQ(remove_all_in_buffer(keep, size, "zz", false), 1);
    EXPECT_EQ(keep.data(), before);
    EXPECT_EQ(size, 4u);
    // Case matters without nocase; a tail shorter than the piece is copied.
    std::vector<std::uint8_t> cs = {'X', 'Y', 'x', 'y', 'x'};
    size = cs.size();
    EXPECT_EQ(remove_all_in_buffer(cs, size, "xy", false), 1);
    EXPECT_EQ(cs, (std::vector<std::uint8_t>{'X', 'Y', 'x'}));
    EXPECT_EQ(remove_all_in_buffer(cs, size, nullptr, false), 0);
}

std::string strip(const std::string& in, const char* tag) {
    std::vector<std::uint8_t> buf(in.begin(), in.end());
    std::size_t size = buf.size();
    EXPECT_EQ(strip_markup_elements(buf.data(), size, tag), 1);
    return std::string(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(size));
}

TEST(StripMarkupElements, elements_nested_and_self_closing) {
    EXPECT_EQ(strip("a<script>x</script>b", "script"), "ab");
    EXPECT_EQ(strip("a<SCRIPT type=\"t\">x<i/>y</Script>b and more", "script"), "ab and more");
    EXPECT_EQ(strip("1<br />2<br/>3 and tail", "br"), "123 and tail");
    EXPECT_EQ(strip("no tags in this text", "b"), "no tags in this text");
    std::size_t size = 0;
    std::uint8_t one = 'x';
    EXPECT_EQ(strip_markup_elements(&one, size, "b"), 0);
    size = 1;
    EXPECT_EQ(strip_markup_elements(nullptr, size, "b"), 0);
}

}  // namespace
