#include "common/split_join.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using strings = std::vector<std::string>;

TEST(SplitString, EmptyFieldsWithAndWithoutKeepEmpty) {
    strings out{"stale"};
    EXPECT_EQ(split_string("a,,b", ',', out, false, true, false), 1);
    EXPECT_EQ(out, (strings{"a", "", "b"}));
    EXPECT_EQ(split_string("a,,b", ',', out, false, false, false), 1);
    EXPECT_EQ(out, (strings{"a", "b"}));
    split_string(",a", ',', out, false, true, false);
    EXPECT_EQ(out, (strings{"", "a"}));
    split_string("a,b,", ',', out, false, true, false);
    EXPECT_EQ(out, (strings{"a", "b", ""}));
    split_string("a,b,", ',', out, false, false, false);
    EXPECT_EQ(out, (strings{"a", "b"}));
    split_string(",", ',', out, false, true, false);
    EXPECT_EQ(out, (strings{"", ""}));
    split_string("no delimiter", ',', out, false, false, false);
    EXPECT_EQ(out, (strings{"no delimiter"}));
}

TEST(SplitString, TrimAsCreateTableAndRunLogUseIt) {
    strings out;
    // CREATE TABLE columns and run-log lines: trimmed, empty fields kept.
    split_string("a ,b, ", ',', out, true, true, false);
    EXPECT_EQ(out, (strings{"a", "b", ""}));
    split_string(" id INTEGER PRIMARY KEY,\r\n\tname TEXT , ", ',', out, true, true, false);
    EXPECT_EQ(out, (strings{"id INTEGER PRIMARY KEY", "name TEXT", ""}));
    split_string("x| |y|", '|', out, true, true, false);
    EXPECT_EQ(out, (strings{"x", "", "y", ""}));
    // Option lists: trimmed, empty fields dropped (a field of blanks disappears).
    split_string(" a | \t | b ", '|', out, true, false, false);
    EXPECT_EQ(out, (strings{"a", "b"}));
    // Record fields: neither trimmed nor kept when empty.
    split_string(" a ,, b", ',', out, false, false, false);
    EXPECT_EQ(out, (strings{" a ", " b"}));
}

TEST(SplitString, AppendAndEmptyText) {
    strings out{"first"};
    EXPECT_EQ(split_string("b;c", ';', out, false, false, true), 1);
    EXPECT_EQ(out, (strings{"first", "b", "c"}));
    EXPECT_EQ(split_string("", ';', out, false, false, true), 0);
    EXPECT_EQ(out.size(), 3u);
    EXPECT_EQ(split_string("", ';', out, false, false, false), 0);
    EXPECT_TRUE(out.empty());
}

TEST(SplitString, NulEndsTextUnlessItIsTheDelimiter) {
    strings out;
    std::string text("a,b\0c,d", 7);
    split_string(text, ',', out, false, true, false);
    EXPECT_EQ(out, (strings{"a", "b"}));
    std::string multi("one\0\0two\0", 9);
    split_string(multi, '\0', out, false, false, false);
    EXPECT_EQ(out, (strings{"one", "two"}));
    split_string(multi, '\0', out, false, true, false);
    EXPECT_EQ(out, (strings{"one", "", "two", ""}));
}

TEST(SplitStringToSet, CollapsesAndSorts) {
    std::set<std::string> out{"old"};
    EXPECT_EQ(split_string_to_set("b, a,b,,c ", ',', out, true, false), 1);
    EXPECT_EQ(out, (std::set<std::string>{"a", "b", "c"}));
    EXPECT_EQ(split_string_to_set("z", ',', out, false, true), 1);
    EXPECT_EQ(out.size(), 4u);
    EXPECT_EQ(split_string_to_set("", ',', out, false, false), 0);
    EXPECT_TRUE(out.empty());
}

TEST(SplitAtFirstDelimiterOf, CandidateOrder) {
    strings out;
    EXPECT_EQ(split_at_first_delimiter_of(out, "a;b", false, false, ",;"), ';');
    EXPECT_EQ(out, (strings{"a", "b"}));
    EXPECT_EQ(split_at_first_delimiter_of(out, "a;b", false, false, ",|"), 0);
    EXPECT_EQ(out, (strings{"a;b"}));
    // The first candidate that occurs wins, whatever its position in the text.
    EXPECT_EQ(split_at_first_delimiter_of(out, "1;2,3", true, false, ",;"), ',');
    EXPECT_EQ(out, (strings{"1;2", "3"}));
    EXPECT_EQ(split_at_first_delimiter_of(out, " x ", true, false, ","), 0);
    EXPECT_EQ(out, (strings{" x "}));  // the single field is not trimmed
    EXPECT_EQ(split_at_first_delimiter_of(out, "", true, false, ","), 0);
    EXPECT_TRUE(out.empty());

    std::vector<std::wstring> wide;
    EXPECT_EQ(split_wide_at_first_delimiter_of(wide, L"\x00e9|b", false, false, ",|"), '|');
    EXPECT_EQ(wide, (std::vector<std::wstring>{L"\x00e9", L"b"}));
}

TEST(SplitQuotedFields, QuotedRunsStayTogether) {
    strings out;
    EXPECT_EQ(split_quoted_fields("a,\"b,c\",d", ',', out, false, false), 1);
    EXPECT_EQ(out, (strings{"a", "\"b,c\"", "d"}));
    // Words of a command template: blank delimiter, trimmed, empty pieces dropped.
    split_quoted_fields("cmd  \"two words\" \"x\" last", ' ', out, true, false);
    EXPECT_EQ(out, (strings{"cmd", "\"two words\"", "\"x\"", "last"}));
    split_quoted_fields("p \" a  b \" q", ' ', out, true, true);
    EXPECT_EQ(out, (strings{"p", "\" a  b \"", "q"}));
    // No quote at all: fields stand as split, untrimmed.
    split_quoted_fields(" a , b ", ',', out, true, false);
    EXPECT_EQ(out, (strings{" a ", " b "}));
}

TEST(SplitQuotedFields, OpenRunAtEndIsDropped) {
    strings out{"stale"};
    EXPECT_EQ(split_quoted_fields("a,\"b,c,d", ',', out, false, false), 1);
    EXPECT_EQ(out, (strings{"a"}));
    EXPECT_EQ(split_quoted_fields("", ',', out, false, false), 0);
    EXPECT_TRUE(out.empty());
    // A quoted empty run that trims to nothing is kept only with keep_empty.
    split_quoted_fields("\" , \",x", ',', out, true, false);
    EXPECT_EQ(out, (strings{"\" , \"", "x"}));
}

TEST(SplitMultiString, NulTerminatedStrings) {
    const char raw[] = "alpha\0\0beta\0";
    strings out{"stale"};
    EXPECT_EQ(split_multi_string(std::vector<std::uint8_t>(raw, raw + sizeof(raw) - 1), out), 1);
    EXPECT_EQ(out, (strings{"alpha", "beta"}));
    EXPECT_EQ(split_multi_string({}, out), 0);
    EXPECT_TRUE(out.empty());
}

TEST(ParseUrlQuery, NamesAndValuesInStep) {
    strings names, values;
    EXPECT_EQ(parse_url_query(names, values, "http://h/p?a=1&b=&c"), 1);
    EXPECT_EQ(names, (strings{"a", "b", "c"}));
    EXPECT_EQ(values, (strings{"1", "", ""}));
    EXPECT_EQ(parse_url_query(names, values, "http://h/p?k=v%3Dw&&x=%41"), 1);
    EXPECT_EQ(names, (strings{"k", "", "x"}));
    EXPECT_EQ(values, (strings{"v=w", "", "A"}));
    EXPECT_EQ(parse_url_query(names, values, "http://h/p"), 0);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(parse_url_query(names, values, "http://h/p?"), 0);
    EXPECT_EQ(parse_url_query(names, values, ""), 0);
}

TEST(JoinArgsQuoted, BlanksAreQuoted) {
    const char* argv[] = {"ab", "c d", nullptr};
    std::string out = "stale";
    EXPECT_EQ(join_args_quoted(out, 2, argv), 1);
    EXPECT_EQ(out, "ab \"c d\"");
    EXPECT_EQ(join_args_quoted(out, 3, argv), 1);
    EXPECT_EQ(out, "ab \"c d\" ");
    EXPECT_EQ(join_args_quoted(out, -1, argv), 1);
    EXPECT_EQ(out, "");
    out = "kept";
    EXPECT_EQ(join_args_quoted(out, 0, argv), 0);
    EXPECT_EQ(join_args_quoted(out, 2, nullptr), 0);
    EXPECT_EQ(out, "kept");
}

int lines_of(const char* text, strings& out) {
    return split_lines(reinterpret_cast<const std::uint8_t*>(text),
                       static_cast<std::uint32_t>(std::strlen(text)), out);
}

TEST(SplitLines, ByLineEndingStyle) {
    strings out;
    EXPECT_EQ(lines_of("one\r\ntwo \r\n\r\n   \r\nthree", out), 1);
    // Each CR-only or blank line trims to an empty entry; only runs with no byte at all are dropped.
    EXPECT_EQ(out, (strings{"one", "two", "", "", "three"}));
    EXPECT_EQ(lines_of("a\nb\n\n c\n", out), 1);
    EXPECT_EQ(out, (strings{"a", "b", "c"}));
    EXPECT_EQ(lines_of("a\rb\r", out), 1);
    EXPECT_EQ(out, (strings{"a", "b"}));
    EXPECT_EQ(lines_of("a\n\rb\n\rc", out), 1);
    EXPECT_EQ(out, (strings{"a", "b", "c"}));
    EXPECT_EQ(lines_of("a\nb\r\nc", out), 0);  // mixed
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(lines_of("just one line", out), 0);
    EXPECT_EQ(split_lines(nullptr, 4, out), 0);
}

TEST(SplitLines, StyleIsDecidedFromTheFirstKilobyte) {
    std::string text(1100, 'x');
    text[10] = '\n';
    text[1050] = '\r';  // beyond the sample: not a mixed style, stays inside a line
    strings out;
    EXPECT_EQ(lines_of(text.c_str(), out), 1);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].size(), 1100u - 11u);  // the inner CR stays inside the line
}

}  // namespace
