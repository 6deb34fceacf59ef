#include "common/tokenizers.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using strings = std::vector<std::string>;
using wstrings = std::vector<std::wstring>;

const std::uint8_t* bytes(const char* s) { return reinterpret_cast<const std::uint8_t*>(s); }
int length(const char* s) { return static_cast<int>(std::strlen(s)); }

TEST(SplitBufferAtChar, DropsEmptyPiecesAndCountsDelimiters) {
    strings out;
    unsigned count = 0;
    EXPECT_EQ(split_buffer_at_char(bytes(",a,,b,"), 6, ',', out, count, false), 6);
    EXPECT_EQ(out, (strings{"a", "b"}));
    EXPECT_EQ(count, 4u);

    strings trimmed{"kept"};
    count = 0;
    split_buffer_at_char(bytes(" x ;  ;y"), 8, ';', trimmed, count, true);
    EXPECT_EQ(trimmed, (strings{"kept", "x", "y"}));
    strings untrimmed;
    split_buffer_at_char(bytes(" x ;  ;y"), 8, ';', untrimmed, count, false);
    EXPECT_EQ(untrimmed, (strings{" x ", "  ", "y"}));

    EXPECT_EQ(split_buffer_at_char(nullptr, 4, ',', out, count, false), 0);
    EXPECT_EQ(split_buffer_at_char(bytes("a"), 0, ',', out, count, false), 0);
    // The length bounds the walk: the bytes after it are not read.
    strings part;
    split_buffer_at_char(bytes("ab,cd"), 4, ',', part, count, false);
    EXPECT_EQ(part, (strings{"ab", "c"}));
}

TEST(SplitWideBuffer, TrimsWithWideRules) {
    wstrings out;
    unsigned count = 0;
    const wchar_t* text = L"\x00e9t\x00e9 | b |\t|";
    EXPECT_EQ(split_wide_buffer(text, static_cast<int>(wcslen(text)), L'|', out, count, true), 11);
    EXPECT_EQ(out, (wstrings{L"\x00e9t\x00e9", L"b"}));
    EXPECT_EQ(count, 3u);
}

TEST(SplitAtBytePair, PairMustLieInsideBuffer) {
    strings out;
    const std::uint16_t crlf = 0x0A0D;  // CR first (low half), then LF
    EXPECT_EQ(split_at_byte_pair(bytes("a\r\nb\r\n\r\nc\r"), 10, crlf, out, false), 10);
    EXPECT_EQ(out, (strings{"a", "b", "c\r"}));
    strings lone;
    split_at_byte_pair(bytes("x\ry\nz"), 5, crlf, lone, false);
    EXPECT_EQ(lone, (strings{"x\ry\nz"}));
}

TEST(SplitBufferLines, StopsAtLastLineBreak) {
    strings out{"stale"};
    unsigned end = 99;
    EXPECT_EQ(split_buffer_lines(end, out, bytes("a\r\nb\r\nc"), 7, false, false), 1);
    EXPECT_EQ(out, (strings{"a", "b"}));
    EXPECT_EQ(end, 6u);

    EXPECT_EQ(split_buffer_lines(end, out, bytes("\r\rx\n\n  \ny"), 9, true, true), 1);
    EXPECT_EQ(out, (strings{"x"}));
    EXPECT_EQ(end, 8u);
    split_buffer_lines(end, out, bytes("\r\rx\n\n  \ny"), 9, false, false);
    EXPECT_EQ(out, (strings{"x", "", "  "}));

    EXPECT_EQ(split_buffer_lines(end, out, bytes("no break"), 8, false, false), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(end, 0u);
    EXPECT_EQ(split_buffer_lines(end, out, bytes(""), 0, false, false), 0);
}

TEST(SplitByteLines, FinalTextNeedsTwoBytes) {
    strings out;
    auto v = [](const char* s) { return std::vector<std::uint8_t>(s, s + std::strlen(s)); };
    EXPECT_EQ(split_byte_lines(v("a\nb"), out), 1);
    EXPECT_EQ(out, (strings{"a"}));
    split_byte_lines(v("a\nbc"), out);
    EXPECT_EQ(out, (strings{"a", "bc"}));
    split_byte_lines(v("\r x \n\n y"), out);
    EXPECT_EQ(out, (strings{"x", "", "y"}));
    split_byte_lines(v(" whole line "), out);
    EXPECT_EQ(out, (strings{"whole line"}));
    EXPECT_EQ(split_byte_lines({}, out), 0);
    EXPECT_TRUE(out.empty());
}

TEST(SplitUtf16Lines, WidensAndTrims) {
    std::vector<std::uint16_t> units{'\r', 'a', ' ', '\n', 0x263A, '\t', '\n', '\n', 'z'};
    wstrings out;
    EXPECT_EQ(split_utf16_lines(units, out), 1);
    EXPECT_EQ(out, (wstrings{L"a", L"\x263A", L""}));
    EXPECT_EQ(split_utf16_lines({'n', 'o'}, out), 0);
    EXPECT_TRUE(out.empty());
}

TEST(SplitTextBufferLines, ByteText) {
    strings out;
    const char text[] = "one\r\n\r\n two \nrest";
    EXPECT_EQ(split_text_buffer_lines(out, bytes(text), sizeof(text) - 1, true, false), 1);
    EXPECT_EQ(out, (strings{"one", "", "two"}));
    split_text_buffer_lines(out, bytes(text), sizeof(text) - 1, false, true);
    EXPECT_EQ(out, (strings{"one", " two "}));
    // A NUL ends byte text.
    const char nul[] = "ab\ncd\0ef\n";
    split_text_buffer_lines(out, bytes(nul), sizeof(nul) - 1, false, false);
    EXPECT_EQ(out, (strings{"ab"}));
    EXPECT_EQ(split_text_buffer_lines(out, bytes("a"), 1, false, false), 0);
    EXPECT_EQ(split_text_buffer_lines(out, nullptr, 10, false, false), 0);
}

TEST(SplitTextBufferLines, Utf16TextBecomesUtf8) {
    // "h\u00e9\r\n\n x" in UTF-16LE, plus an odd trailing byte that must not be read as a unit.
    const std::uint8_t buf[] = {'h', 0, 0xE9, 0, '\r', 0, '\n', 0, '\n', 0, ' ', 0, 'x', 0, '\n', 0, 'y'};
    strings out;
    EXPECT_EQ(split_text_buffer_lines(out, buf, sizeof(buf), true, true), 1);
    EXPECT_EQ(out, (strings{"h\xC3\xA9", "x"}));
    split_text_buffer_lines(out, buf, sizeof(buf), false, false);
    EXPECT_EQ(out, (strings{"h\xC3\xA9", "", " x"}));
}

std::vector<std::uint16_t> units(const char16_t* s) {
    std::vector<std::uint16_t> v;
    for (; *s; ++s) v.push_back(static_cast<std::uint16_t>(*s));
    return v;
}

TEST(ReadUtf16LogicalLine, LinesAndContinuations) {
    auto u = units(u"a\nb\r\nc\rd");
    const std::uint16_t* cur = u.data();
    std::uint32_t left = static_cast<std::uint32_t>(u.size());
    std::string line;
    EXPECT_EQ(read_utf16_logical_line(line, cur, left, false), "a");
    EXPECT_EQ(cur, u.data() + 2);
    EXPECT_EQ(left, u.size() - 2);
    EXPECT_EQ(read_utf16_logical_line(line, cur, left, false), "b");
    EXPECT_EQ(read_utf16_logical_line(line, cur, left, false), "c");
    EXPECT_EQ(left, 1u);
    // The last line has no end: it is delivered and the count reaches 0.
    EXPECT_EQ(read_utf16_logical_line(line, cur, left, false), "d");
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(cur, u.data() + u.size());
    EXPECT_EQ(read_utf16_logical_line(line, cur, left, false), "");

    auto c = units(u"a\\\r\nb\rnext");
    cur = c.data();
    left = static_cast<std::uint32_t>(c.size());
    EXPECT_EQ(read_utf16_logical_line(line, cur, left, true), "ab");
    EXPECT_EQ(read_utf16_logical_line(line, cur, left, true), "next");
    cur = c.data();
    left = static_cast<std::uint32_t>(c.size());
    EXPECT_EQ(read_utf16_logical_line(line, cur, left, false), "a\\");

    auto lf = units(u"x\\\ny");
    cur = lf.data();
    left = static_cast<std::uint32_t>(lf.size());
    EXPECT_EQ(read_utf16_logical_line(line, cur, left, true), "x");  // only CR continues
}

TEST(ReadUtf16LogicalLine, LoopUntilCountZeroTerminates) {
    auto u = units(u"one\r\ntwo\\\r\n more\nlast");
    const std::uint16_t* cur = u.data();
    std::uint32_t left = static_cast<std::uint32_t>(u.size());
    strings lines;
    std::string line;
    for (int guard = 0; left > 0 && guard < 100; ++guard)
        lines.push_back(read_utf16_logical_line(line, cur, left, true));
    EXPECT_EQ(lines, (strings{"one", "two more", "last"}));
}

TEST(SplitNulSeparated, KeepsHighBytesAndEmptyPieces) {
    const char buf[] = "a\x80\xff\0\0b\0c";
    strings out{"x"};
    split_nul_separated(bytes(buf), out, sizeof(buf) - 1);
    EXPECT_EQ(out, (strings{"x", "a\x80\xff", "", "b", "c"}));
    strings first;
    split_nul_separated(bytes(buf), first, -1);
    EXPECT_EQ(first, (strings{"a\x80\xff"}));
}

TEST(SplitUtf16NulSeparated, SizesAndTerminator) {
    const std::uint16_t buf[] = {'a', 'b', 0, 0, 'c', 0, 'd'};
    wstrings out;
    EXPECT_EQ(split_utf16_nul_separated(out, buf, sizeof(buf)), 1);
    EXPECT_EQ(out, (wstrings{L"ab", L"", L"c", L"d"}));
    EXPECT_EQ(split_utf16_nul_separated(out, buf, 0xFFFFFFFFu), 1);
    EXPECT_EQ(out, (wstrings{L"ab"}));
    EXPECT_EQ(split_utf16_nul_separated(out, buf, 3), 1);  // one whole unit
    EXPECT_EQ(out, (wstrings{L"a"}));
    // No NUL within the first 513 units: nothing, and nothing read beyond them.
    std::vector<std::uint16_t> long_run(513, 'z');
    EXPECT_EQ(split_utf16_nul_separated(out, long_run.data(), 0xFFFFFFFFu), 0);
}

TEST(SplitUtf16MultiString, DoubleNulStopsOrIsSkipped) {
    const std::uint16_t buf[] = {'a', 0, 'b', 'c', 0, 0, 'd', 0, 0, 0, 'e'};
    wstrings out;
    split_utf16_multi_string(buf, out, sizeof(buf), true);
    EXPECT_EQ(out, (wstrings{L"a", L"bc"}));
    split_utf16_multi_string(buf, out, sizeof(buf), false);
    EXPECT_EQ(out, (wstrings{L"a", L"bc", L"d", L"e"}));
    split_utf16_multi_string(buf, out, -1, false);
    EXPECT_EQ(out, (wstrings{L"a"}));
    const std::uint16_t empty_list[] = {0, 0, 'x'};
    split_utf16_multi_string(empty_list, out, sizeof(empty_list), true);
    EXPECT_TRUE(out.empty());
}

TEST(MarkupTags, TagsOffsetsAndText) {
    const char* x = "a<b x=1>text</b>>tail<open";
    strings tags;
    EXPECT_EQ(extract_markup_tags(bytes(x), length(x), tags), 1);
    EXPECT_EQ(tags, (strings{"<b x=1>", "</b>", ""}));

    std::vector<std::pair<std::string, std::uint64_t>> with;
    EXPECT_EQ(extract_markup_tags_with_offsets(bytes(x), length(x), with), 1);
    ASSERT_EQ(with.size(), 3u);
    EXPECT_EQ(with[0].second, 2u);
    EXPECT_EQ(with[1].first, "</b>");
    EXPECT_EQ(with[1].second, 13u);
    EXPECT_EQ(with[2].second, 0u);

    strings text;
    const char* t = "\r\n  head <p>\r\n body \r\n</p><br/>tail";
    EXPECT_EQ(extract_text_outside_tags(bytes(t), length(t), text), 1);
    EXPECT_EQ(text, (strings{"head", "body"}));

    EXPECT_EQ(extract_markup_tags(nullptr, 3, tags), 0);
    strings none;
    EXPECT_EQ(extract_markup_tags(bytes("plain"), 5, none), 0);
    EXPECT_EQ(extract_text_outside_tags(bytes("x"), 0, none), 0);
}

TEST(IsXmlText, DeclarationAndLeadingComments) {
    const char* decl = "<?xml version=\"1.0\"?><a/>";
    EXPECT_TRUE(is_xml_text(bytes(decl), static_cast<unsigned>(length(decl))));
    const char* commented = "<!-- note -->\n<!-- two -->\n<?xml version=\"1.0\"?>";
    EXPECT_TRUE(is_xml_text(bytes(commented), static_cast<unsigned>(length(commented))));
    const char* inside = "<!-- <?xml ve inside a comment -->   ";
    EXPECT_FALSE(is_xml_text(bytes(inside), static_cast<unsigned>(length(inside))));
    EXPECT_FALSE(is_xml_text(bytes("<?xml version=1"), 15));
    EXPECT_FALSE(is_xml_text(bytes("<html><body></body></html>"), 26));
    // The declaration cut by the length is not matched.
    const char* cut = "<!-- c -->      <?xml ve";
    EXPECT_FALSE(is_xml_text(bytes(cut), static_cast<unsigned>(length(cut)) - 1));
    EXPECT_TRUE(is_xml_text(bytes(cut), static_cast<unsigned>(length(cut))));
}

}  // namespace
