#include "common/text_rewrite.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(ReplaceAll, empty_pattern_missing_pattern_and_trailing_match) {
    std::string out = "junk";
    EXPECT_EQ(replace_all(out, "abc", "", "x"), "");
    EXPECT_EQ(replace_all(out, "", "a", "x"), "");
    EXPECT_EQ(replace_all(out, "abc", "zz", "x"), "abc");
    EXPECT_EQ(replace_all(out, "aaaa", "aa", "b"), "bb");  // non-overlapping, left to right
    EXPECT_EQ(replace_all(out, "aaa", "aa", "b"), "ba");
    EXPECT_EQ(replace_all(out, "a.b.c", ".", ""), "abc");
    EXPECT_EQ(replace_all(out, "ab", "b", "bb"),
              "abb");  // a replacement holding the pattern is not re-scanned

    std::string t = "axx";
    EXPECT_EQ(replace_all_in_place(t, "xx", "y"), "ay");
    EXPECT_EQ(&replace_all_in_place(t, "q", "z"), &t);
    EXPECT_EQ(t, "ay");
    std::string e;
    EXPECT_EQ(replace_all_in_place(e, "a", "b"), "");
}

TEST(ReplaceAll, each_applies_pairs_in_order) {
    std::string t = "abc";
    EXPECT_EQ(replace_each(t, {"a", "X"}, {"X", "Y"}), "Ybc");  // the second pair sees the first's output
    std::string u = "abc";
    EXPECT_EQ(replace_each(u, {"a", "b"}, {"1"}), "abc");  // sizes differ: nothing
    EXPECT_EQ(replace_each(u, {}, {}), "abc");
}

TEST(ReplaceWide, first_occurrence_with_and_without_case) {
    std::wstring text = L"One two TWO", pat = L"TWO";
    EXPECT_EQ(replace_first_wide(text, pat, L"2", false), 1);
    EXPECT_EQ(text, L"One two 2");
    std::wstring text2 = L"One TWO two", pat2 = L"Two";
    EXPECT_EQ(replace_first_wide(text2, pat2, L"2", true), 1);
    EXPECT_EQ(text2, L"One 2 two");  // the text keeps its case outside the match
    EXPECT_EQ(pat2, L"two");         // the caller's pattern was lower-cased
    std::wstring none = L"abc", p3 = L"x";
    EXPECT_EQ(replace_first_wide(none, p3, L"y", false), 0);
    EXPECT_EQ(none, L"abc");
    std::wstring n4 = L"Path\\SUB\\x";
    EXPECT_EQ(replace_first_wide_nocase(n4, L"\\sub", L""), 1);
    EXPECT_EQ(n4, L"Path\\x");
    EXPECT_EQ(replace_first_wide_nocase(n4, nullptr, L""), 0);
}

TEST(ReplaceWide, truncate_and_remove) {
    std::wstring t = L"name.DB.bak";
    EXPECT_EQ(truncate_at_wide(t, L".db", true), 1);
    EXPECT_EQ(t, L"name");
    std::wstring u = L"name.DB";
    EXPECT_EQ(truncate_at_wide(u, L".DB", true), 0);  // the pattern is used as given against lower case
    EXPECT_EQ(truncate_at_wide(u, L".DB", false), 1);
    EXPECT_EQ(u, L"name");
    std::wstring v = L"aXbXc", x = L"x";
    EXPECT_EQ(remove_first_wide(v, x, false), 0);
    EXPECT_EQ(remove_first_wide(v, x, true), 1);
    EXPECT_EQ(v, L"abXc");
}

TEST(Escaping, escape_and_insert_before) {
    std::string s = "a|b;c";
    escape_chars(s, "|;");
    EXPECT_EQ(s, "a\\|b\\;c");
    std::wstring w = L"x\"y";
    escape_chars_wide(w, L"\"");
    EXPECT_EQ(w, L"x\\\"y");
    std::string c = "a,b,c";
    insert_before_char(c, ',', '\\');
    EXPECT_EQ(c, "a\\,b\\,c");
    std::wstring cw = L"a,b,c";
    insert_before_char_wide(cw, L',', L'\\');
    EXPECT_EQ(cw, L"a\\,b\\,c");
    std::string none = "abc";
    insert_before_char(none, ',', '\\');
    EXPECT_EQ(none, "abc");
}

TEST(Flatten, markers_for_each_break_kind) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"a\rb", "a[CR]b"},     {"a\rb\nc", "a\rb[LF]c"},  // the lone CR stays when the text has an LF
        {"a\n\rb", "a[LFCR]b"}, {"a\r\nb", "a[CRLF]b"},
        {"\r\n\r", "[CRLF]\r"}, {"\n\r\n", "[LFCR][LF]"},  // the CR already went with the first LF
        {"a\n", "a[LF]"},       {"\r\r", "[CR][CR]"},
        {"plain", "plain"},     {"", ""},
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        flatten_line_endings(s);
        EXPECT_EQ(s, c.out) << c.in;
        std::string in(c.in), out(c.out);
        std::wstring w(in.begin(), in.end());
        flatten_line_endings_wide(w);
        EXPECT_EQ(w, std::wstring(out.begin(), out.end())) << c.in;
    }
}

TEST(XmlCut, element_is_moved_out) {
    std::string out = "junk", text = "x<b>1</b>y";
    EXPECT_EQ(cut_xml_element(out, text, "b"), 1);
    EXPECT_EQ(out, "<b>1</b>");
    EXPECT_EQ(text, "xy");
    std::string t2 = "<bold>1</b>";  // the opening search accepts any tag that begins with the name
    EXPECT_EQ(cut_xml_element(out, t2, "b"), 1);
    EXPECT_EQ(t2, "");
    std::string t3 = "x<b>1</c>";
    EXPECT_EQ(cut_xml_element(out, t3, "b"), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(t3, "x<b>1</c>");
    EXPECT_EQ(cut_xml_element(out, t3, ""), 0);
    std::wstring wo, wt = L"<toast a='1'><t/></toast>rest";
    EXPECT_EQ(cut_xml_element_w(wo, wt, L"toast"), 1);
    EXPECT_EQ(wo, L"<toast a='1'><t/></toast>");
    EXPECT_EQ(wt, L"rest");
}

TEST(Parentheses, remove_does_not_nest) {
    std::string out = "junk";
    EXPECT_EQ(remove_parenthesized("a(b(c)d)e", out), 1);
    EXPECT_EQ(out, "ad)e");
    EXPECT_EQ(remove_parenthesized("f(x) g(y) h", out), 1);
    EXPECT_EQ(out, "f g h");
    EXPECT_EQ(remove_parenthesized("no parens", out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(remove_parenthesized("open( only", out), 0);
    EXPECT_EQ(out, "open( only");
    EXPECT_EQ(remove_parenthesized(")x(", out), 0);
    EXPECT_EQ(remove_parenthesized("", out), 0);
    EXPECT_EQ(remove_parenthesized("a(1)(2(3", out), 1);
    EXPECT_EQ(out, "a(2(3");
}

TEST(Parentheses, get_takes_first_open_to_last_close) {
    std::string out;
    EXPECT_EQ(get_parenthesized("f(a(b)c)", out), 1);
    EXPECT_EQ(out, "a(b)c");
    EXPECT_EQ(get_parenthesized("CREATE TABLE t (id INTEGER, v TEXT)", out), 1);
    EXPECT_EQ(out, "id INTEGER, v TEXT");
    EXPECT_EQ(get_parenthesized("f()", out), 0);
    EXPECT_EQ(get_parenthesized(")(", out), 0);
    EXPECT_EQ(get_parenthesized("none", out), 0);
    EXPECT_EQ(out, "");
}

TEST(QuotedPrintable, soft_breaks_every_75_counted_characters) {
    std::string out;
    EXPECT_EQ(qp_encode_lines(out, ""), "");
    EXPECT_EQ(qp_encode_lines(out, "a=b"), "a=3Db");
    const std::string line75(75, 'x');
    EXPECT_EQ(qp_encode_lines(out, line75), line75);
    EXPECT_EQ(qp_encode_lines(out, line75 + "y"), line75 + "=\r\ny");
    // The character after the break is not counted: the next break comes 76 characters later.
    const std::string long_text(75 + 76 + 1, 'z');
    EXPECT_EQ(qp_encode_lines(out, long_text),
              std::string(75, 'z') + "=\r\n" + std::string(76, 'z') + "=\r\nz");
    // A line break resets the count.
    EXPECT_EQ(qp_encode_lines(out, std::string(70, 'a') + "\n" + std::string(70, 'b')),
              std::string(70, 'a') + "\n" + std::string(70, 'b'));
}

TEST(QuotedPrintable, unescape_copies_pairs_verbatim) {
    std::string out;
    EXPECT_EQ(qp_unescape(out, "a=3Db"), "a3Db");
    EXPECT_EQ(qp_unescape(out, "line=\r\nnext"), "line\r\nnext");
    EXPECT_EQ(qp_unescape(out, "end=4"), "end");
    EXPECT_EQ(qp_unescape(out, "end="), "end");
    EXPECT_EQ(qp_unescape(out, ""), "");
}

TEST(Builders, quoted_pairs_and_library_subpath) {
    std::ostringstream os;
    write_quoted_vector_pairs(os, {"a", "b", "c"}, {"1", "2"}, ',');
    EXPECT_EQ(os.str(), "\"a\":\"1\", \"b\":\"2\", \"c\":\"\"");
    std::ostringstream none;
    write_quoted_vector_pairs(none, {}, {"1"}, ',');
    EXPECT_EQ(none.str(), "");
    std::string out = "x";
    EXPECT_EQ(build_library_subpath(out, 1 | 2 | 8), "Library/Preferences/Safari/");
    EXPECT_EQ(build_library_subpath(out, 0), "");
    EXPECT_EQ(build_library_subpath(out, 63),
              "Library/Preferences/SyncedPreferences/Calendars/Safari/SystemConfiguration/");
    EXPECT_EQ(build_library_subpath(out, 16 | 32), "Calendars/SystemConfiguration/");
}

// Control bytes are found wherever they stand in the text (the search goes eight bytes at a time), and a
// C1 control character only as C2 followed by 80 to 9F.
TEST(ControlBytes, found_at_every_position_and_shown_as_text) {
    struct form {
        std::string bytes;
        bool control;
        std::string shown;
    };
    const form forms[] = {
        {"\x1b", true, "[0x1B]"},
        {"\x7f", true, "[0x7F]"},
        {"\t", true, "[0x09]"},
        {"\n", true, "[LF]"},
        {"\xc2\x9b", true, "[U+009B]"},
        {"\xc2\x80", true, "[U+0080]"},
        {"\xc2\xa9", false, "\xc2\xa9"},
        {"\xc3\x9b", false, "\xc3\x9b"},
        {" ", false, " "},
        // Bytes that are not valid UTF-8, each shown on its own: a lone continuation or lead byte, a cut
        // character, an overlong form, a surrogate, a code point above U+10FFFF.
        {"\xff\x80", false, "[0xFF][0x80]"},
        {"\x9b", false, "[0x9B]"},
        {"\xc2", false, "[0xC2]"},
        {"\xe6\x97", false, "[0xE6][0x97]"},
        {"\xc0\xaf", false, "[0xC0][0xAF]"},
        {"\xed\xa0\x80", false, "[0xED][0xA0][0x80]"},
        {"\xf4\x90\x80\x80", false, "[0xF4][0x90][0x80][0x80]"},
        {"\xf0\x9f\x98\x80", false, "\xf0\x9f\x98\x80"},
        {"\xe6\x97\xa5", false, "\xe6\x97\xa5"},
    };
    for (const form& f : forms) {
        for (std::size_t at = 0; at <= 17; ++at) {
            SCOPED_TRACE(f.shown + " at " + std::to_string(at));
            const std::string before(at, 'a');
            const std::string text = before + f.bytes + std::string(17 - at, 'b');
            EXPECT_EQ(has_control_bytes(text), f.control);
            std::string shown = text;
            show_control_bytes(shown);
            EXPECT_EQ(shown, before + f.shown + std::string(17 - at, 'b'));
        }
    }
    // A C2 that ends the text opens nothing.
    EXPECT_FALSE(has_control_bytes(std::string(15, 'x') + "\xc2"));
}
