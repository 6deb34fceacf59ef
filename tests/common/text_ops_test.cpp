#include "common/text_ops.h"

#include <gtest/gtest.h>

#include <clocale>
#include <sstream>

TEST(TrimWhitespace, only_whitespace_becomes_empty_and_fails) {
    std::string s = " \t\r\n ";
    EXPECT_EQ(trim_whitespace(s), 0);
    EXPECT_EQ(s, "");
    std::string e;
    EXPECT_EQ(trim_whitespace(e), 0);
    std::string t = " a b ";
    EXPECT_EQ(trim_whitespace(t), 1);
    EXPECT_EQ(t, "a b");
    std::string u = "\r\nx\t";
    EXPECT_EQ(trim_whitespace(u), 1);
    EXPECT_EQ(u, "x");
}

TEST(TrimWhitespace, keep_trailing_blanks_drops_only_tab_cr_lf_at_end) {
    std::string s = " a \n";
    EXPECT_EQ(trim_whitespace_ex(s, true), 1);
    EXPECT_EQ(s, "a ");
    std::string b = "   ";
    EXPECT_EQ(trim_whitespace_ex(b, true), 0);
    EXPECT_EQ(b, "");
    std::string c = " a \n";
    EXPECT_EQ(trim_whitespace_ex(c, false), 1);
    EXPECT_EQ(c, "a");
}

TEST(TrimLineBreaks, removes_cr_lf_at_both_ends_only) {
    std::string s = "\r\n a\r\nb \n";
    trim_line_breaks(s);
    EXPECT_EQ(s, " a\r\nb ");
    std::string only = "\r\n\n";
    trim_line_breaks(only);
    EXPECT_EQ(only, "");
}

TEST(TrimNul, trailing_nuls_go_but_all_nul_text_stays) {
    std::string s("ab\0\0", 4);
    EXPECT_EQ(trim_trailing_nul(s), 1);
    EXPECT_EQ(s, "ab");
    std::string z("\0\0\0", 3);
    EXPECT_EQ(trim_trailing_nul(z), 1);
    EXPECT_EQ(z.size(), 3u);
    std::wstring w(L"ab\0\0", 4);
    EXPECT_EQ(trim_trailing_nul_wide(w), 1);
    EXPECT_EQ(w, L"ab");
    std::wstring mid(L"a\0b", 3);
    trim_trailing_nul_wide(mid);
    EXPECT_EQ(mid.size(), 3u);
}

TEST(TrimWide, classes_are_removed_one_after_another) {
    std::wstring crlf = L"  x\r\n";
    EXPECT_EQ(trim_wide(crlf), 1);
    EXPECT_EQ(crlf, L"x\r");  // the LF goes, then nothing more: CRs were already done
    std::wstring lfcr = L"x\n\r";
    EXPECT_EQ(trim_wide(lfcr), 1);
    EXPECT_EQ(lfcr, L"x");
    std::wstring tabs = L"\tx\t \t";
    EXPECT_EQ(trim_wide(tabs), 1);
    EXPECT_EQ(tabs, L"x\t ");  // the blank between trailing TABs stays
    std::wstring blanks = L"   ";
    EXPECT_EQ(trim_wide(blanks), 0);
    EXPECT_EQ(blanks, L"");
    std::wstring only_tabs = L" \t\t ";
    EXPECT_EQ(trim_wide(only_tabs), 0);
    EXPECT_EQ(only_tabs, L"");
    std::wstring empty;
    EXPECT_EQ(trim_wide(empty), 0);
}

TEST(StripLineEnding, returns_count_removed) {
    std::string s = "line\r\n\n";
    EXPECT_EQ(strip_line_ending(s), 3);
    EXPECT_EQ(s, "line");
    std::string t = "a\nb";
    EXPECT_EQ(strip_line_ending(t), 0);
    EXPECT_EQ(t, "a\nb");
}

TEST(StripTrailingSlashes, mixed_separators_and_all_slashes) {
    std::string s = "a/b\\/";
    EXPECT_EQ(strip_trailing_slashes(s), 1);
    EXPECT_EQ(s, "a/b");
    std::string only = "//\\";
    EXPECT_EQ(strip_trailing_slashes(only), 0);
    EXPECT_EQ(only, "");
    std::wstring w = L"c:\\x\\\\";
    EXPECT_EQ(strip_trailing_slashes_wide(w), 1);
    EXPECT_EQ(w, L"c:\\x");
    std::wstring wo = L"/";
    EXPECT_EQ(strip_trailing_slashes_wide(wo), 0);
}

TEST(EraseLastChars, longer_count_empties_and_zero_does_nothing) {
    std::string s = "abc";
    EXPECT_EQ(erase_last_chars(s, 5), 1);
    EXPECT_EQ(s, "");
    std::string t = "abc";
    EXPECT_EQ(erase_last_chars(t, 0), 0);
    EXPECT_EQ(t, "abc");
    EXPECT_EQ(erase_last_chars(t, -2), 0);
    EXPECT_EQ(erase_last_chars(t, 1), 1);
    EXPECT_EQ(t, "ab");
    std::string e;
    EXPECT_EQ(erase_last_chars(e, 1), 0);
    std::wstring w = L"abcd";
    EXPECT_EQ(erase_last_chars_wide(w, 2), 1);
    EXPECT_EQ(w, L"ab");
    EXPECT_EQ(erase_last_chars_wide(w, 0), 0);
}

TEST(Characters, remove_copy_and_count) {
    std::string s = "a,b,,c";
    EXPECT_EQ(remove_char(s, ','), 3);
    EXPECT_EQ(s, "abc");
    std::wstring w = L"xaxx";
    EXPECT_EQ(remove_char_wide(w, L'x'), 3);
    EXPECT_EQ(w, L"a");
    EXPECT_EQ(copy_without_char("aaa", 'a'), "aaa");
    EXPECT_EQ(copy_without_char("abca", 'a'), "bc");
    EXPECT_EQ(count_char("a.b.c", '.'), 2);
    EXPECT_EQ(count_char("", '.'), 0);
}

TEST(Characters, plain_text_refuses_controls_del_and_high_bytes) {
    EXPECT_EQ(is_plain_text(""), 0);
    EXPECT_EQ(is_plain_text("a b\t\r\n~"), 1);
    EXPECT_EQ(is_plain_text(std::string("a\0b", 3)), 0);
    EXPECT_EQ(is_plain_text("a\x7f"), 0);
    EXPECT_EQ(is_plain_text("caf\xc3\xa9"), 0);
    EXPECT_EQ(is_plain_text("\x1b"), 0);
}

TEST(Characters, strip_quotes_drops_one_quote_each_side) {
    std::string a = " \"word\" ";
    EXPECT_EQ(strip_quotes(a), 1);
    EXPECT_EQ(a, "word");
    std::string b = "'word\"";
    EXPECT_EQ(strip_quotes(b), 1);
    EXPECT_EQ(b, "word");
    std::string c = "\"\"x\"\"";
    strip_quotes(c);
    EXPECT_EQ(c, "\"x\"");
    std::string single = "'";
    EXPECT_EQ(strip_quotes(single), 1);
    EXPECT_EQ(single, "");
    std::string blanks = "   ";
    EXPECT_EQ(strip_quotes(blanks), 1);
    EXPECT_EQ(blanks, "");
    std::string empty;
    EXPECT_EQ(strip_quotes(empty), 0);
}

TEST(Characters, sanitize_to_identifier_collapses_runs) {
    std::string out = "old";
    EXPECT_EQ(sanitize_to_identifier(out, "  a b/c.d  "), "a_b_c.d");
    EXPECT_EQ(out, "a_b_c.d");
    EXPECT_EQ(sanitize_to_identifier(out, "x::y"), "x_y");
    EXPECT_EQ(sanitize_to_identifier(out, "caf\xc3\xa9-1_Z"), "caf_-1_Z");
    EXPECT_EQ(sanitize_to_identifier(out, "!!"), "");
}

TEST(Case, wide_mapping_and_ascii_copy) {
    std::setlocale(LC_ALL, "C.UTF-8");
    std::wstring w = L"AbC\u00c9";
    wstring_to_lower(w);
    EXPECT_EQ(w, L"abc\u00e9");
    wstring_to_upper(w);
    EXPECT_EQ(w, L"ABC\u00c9");
    EXPECT_EQ(wchar_to_lower(L'Q'), L'q');
    EXPECT_EQ(wchar_to_upper(L'q'), L'Q');
    std::string out = "x";
    EXPECT_EQ(ascii_lower_copy(out, "MiXeD \xc3\x89"), "mixed \xc3\x89");
    EXPECT_EQ(ascii_lower_copy(out, nullptr), "");
}

TEST(Case, find_wide_lowercases_arguments_only_when_asked) {
    std::wstring text = L"Hello World", pat = L"WORLD";
    EXPECT_EQ(find_wide(text, pat, false), -1);
    EXPECT_EQ(text, L"Hello World");
    EXPECT_EQ(find_wide(text, pat, true), 6);
    EXPECT_EQ(text, L"hello world");
    EXPECT_EQ(pat, L"world");
    std::wstring none = L"zz";
    EXPECT_EQ(find_wide(text, none, false), -1);
    std::wstring at0 = L"he";
    EXPECT_EQ(find_wide(text, at0, false), 0);
}

TEST(Case, nocase_comparisons) {
    std::wstring a = L"ABcd", b = L"abXY";
    EXPECT_EQ(wide_prefix_equal_nocase(a, b, 2), 1);
    EXPECT_EQ(a, L"abcd");
    EXPECT_EQ(b, L"abxy");
    EXPECT_EQ(wide_prefix_equal_nocase(a, b, 3), 0);
    std::wstring shortw = L"AB";
    EXPECT_EQ(wide_prefix_equal_nocase(a, shortw, 3), 0);
    EXPECT_EQ(shortw, L"ab");

    std::wstring x = L"ABC", y = L"abcd";
    EXPECT_EQ(wide_equal_nocase(x, y), 0);
    EXPECT_EQ(x, L"ABC");  // lengths differ: nothing changed
    std::wstring z = L"aBc";
    EXPECT_EQ(wide_equal_nocase(x, z), 1);
    EXPECT_EQ(x, L"abc");
}

TEST(Join, skip_empty_and_separator_trim) {
    std::string out;
    EXPECT_EQ(join_strings(out, {"a", "", ""}, ",", true), "a");
    EXPECT_EQ(join_strings(out, {"a", "", ""}, ", ", true), "a, ");
    EXPECT_EQ(join_strings(out, {"a", "b"}, ", ", false), "a, b");
    EXPECT_EQ(join_strings(out, {"a", "", "b"}, ",", false), "a,,b");
    EXPECT_EQ(join_strings(out, {"a", "b,"}, "", true),
              "a"
              "b,");
    EXPECT_EQ(join_strings(out, {}, ",", true), "");
    std::wstring w;
    EXPECT_EQ(join_wide_strings(w, {L"x", L"", L"y", L""}, L";", true), L"x;y");
    EXPECT_EQ(join_wide_strings(w, {L"x", L"y"}, L" | ", false), L"x | y");
}

TEST(Join, quoted_wraps_items_with_blanks) {
    std::string out = "junk";
    int count = -1;
    EXPECT_EQ(join_quoted(out, count, {}), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(join_quoted(out, count, {"prog", "", "a b", "c"}), 1);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(out, "prog \"a b\" c");
    std::wstring w;
    EXPECT_EQ(join_quoted_wide(w, count, {L"x y", L"z"}), 1);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(w, L"\"x y\" z");
}

TEST(Join, args_requoted_removes_inner_quotes) {
    std::string out;
    int count = 0;
    EXPECT_EQ(join_args_requoted(out, count, {"prog", "\"a b\"", "-x", "val"}, false), 1);
    EXPECT_EQ(out, "prog \"a b\" -x val");
    EXPECT_EQ(join_args_requoted(out, count, {"prog", "\"a b\"", "-x", "v\"al"}, true), 1);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(out, "prog \"a b\" -x \"val\"");
    EXPECT_EQ(join_args_requoted(out, count, {}, true), 0);
    EXPECT_EQ(out, "");
}

TEST(Padding, indent_blank_and_dash) {
    std::ostringstream os;
    os.fill('*');
    write_indent(os, 3);
    os << 'x';
    EXPECT_EQ(os.str(), "   x");
    EXPECT_EQ(os.fill(), ' ');
    std::ostringstream none;
    write_indent(none, 0);
    EXPECT_EQ(none.str(), "");
    std::string out = "q";
    EXPECT_EQ(blank_string(out, 4), "    ");
    EXPECT_EQ(blank_string(out, -1), "");
    EXPECT_EQ(dash_string(out, 3), "---");
    EXPECT_EQ(dash_string(out, 0), "");
}
