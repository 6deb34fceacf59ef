#include "io/wide_split.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using wlist = std::vector<std::wstring>;

std::vector<std::uint8_t> bytes_of(const std::string& s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

// Wide text as the raw bytes of 4-byte characters.
std::vector<std::uint8_t> bytes_of(const std::wstring& s) {
    std::vector<std::uint8_t> out(s.size() * sizeof(wchar_t));
    if (!s.empty()) std::memcpy(out.data(), s.data(), out.size());
    return out;
}

TEST(wide_split, delimiter_and_empty_pieces) {
    wlist out;
    EXPECT_TRUE(split_wstring(L"a|b||c", L'|', out, false, false));
    EXPECT_EQ(out, (wlist{L"a", L"b", L"c"}));
    EXPECT_TRUE(split_wstring(L"a|b||c", L'|', out, false, true));
    EXPECT_EQ(out, (wlist{L"a", L"b", L"", L"c"}));
}

TEST(wide_split, leading_and_trailing_delimiters) {
    wlist out;
    EXPECT_TRUE(split_wstring(L"|a", L'|', out, false, false));
    EXPECT_EQ(out, (wlist{L"a"}));
    EXPECT_TRUE(split_wstring(L"|a", L'|', out, false, true));
    EXPECT_EQ(out, (wlist{L"a"}));
    EXPECT_TRUE(split_wstring(L"a|", L'|', out, false, true));
    EXPECT_EQ(out, (wlist{L"a", L""}));
    EXPECT_TRUE(split_wstring(L"a|", L'|', out, false, false));
    EXPECT_EQ(out, (wlist{L"a"}));
}

TEST(wide_split, empty_text_and_text_without_delimiter) {
    wlist out = {L"stale"};
    EXPECT_FALSE(split_wstring(L"", L'|', out, true, true));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(split_wstring(L"  ab c  ", L'|', out, true, false));
    EXPECT_EQ(out, (wlist{L"ab c"}));
    // Trimming goes one class at a time: blanks, TABs, then one trailing CR run, then LF, so a piece
    // ending in CR LF keeps its CR.
    EXPECT_TRUE(split_wstring(L"\tab\t|x\r|y\r\n", L'|', out, true, false));
    EXPECT_EQ(out, (wlist{L"ab", L"x", L"y\r"}));
    EXPECT_TRUE(split_wstring_plain(L" x | y ", L'|', out));
    EXPECT_EQ(out, (wlist{L" x ", L" y "}));
}

TEST(wide_split, trimming_drops_blank_pieces_unless_kept) {
    wlist out;
    EXPECT_TRUE(split_wstring(L" a , ,b ", L',', out, true, false));
    EXPECT_EQ(out, (wlist{L"a", L"b"}));
    EXPECT_TRUE(split_wstring(L" a , ,b ", L',', out, true, true));
    EXPECT_EQ(out, (wlist{L"a", L"", L"b"}));
}

TEST(wide_split, nul_separated_lists) {
    wlist out;
    EXPECT_TRUE(split_wide_multistring({L'a', L'\0', L'b', L'\0', L'\0'}, out));
    EXPECT_EQ(out, (wlist{L"a", L"b"}));
    EXPECT_FALSE(split_wide_multistring({}, out));
    EXPECT_TRUE(split_utf16_multistring({'x', 0, 0xD83D, 0xDE00, 0, 0}, out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], L"x");
    EXPECT_EQ(out[1].size(), 2u);  // surrogates stay apart
    EXPECT_EQ(out[1][0], static_cast<wchar_t>(0xD83D));
    EXPECT_FALSE(split_utf16_multistring({}, out));
    EXPECT_TRUE(out.empty());
}

TEST(wide_split, narrow_text_lines) {
    wlist out = {L"stale"};
    auto b = bytes_of(std::string("one\r\n two \r\nthr\xc3\xa9\xe2\x82\xac\r\n"));
    EXPECT_TRUE(split_text_lines(b.data(), static_cast<std::uint32_t>(b.size()), out));
    EXPECT_EQ(out, (wlist{L"one", L"two", L"thr\u00e9\u20ac"}));
    // A text without any line ending has no lines.
    b = bytes_of(std::string("single"));
    EXPECT_FALSE(split_text_lines(b.data(), static_cast<std::uint32_t>(b.size()), out));
    EXPECT_TRUE(out.empty());
    // Mixed endings are refused.
    b = bytes_of(std::string("a\r\nb\nc\n"));
    EXPECT_FALSE(split_text_lines(b.data(), static_cast<std::uint32_t>(b.size()), out));
}

TEST(wide_split, wide_text_lines_by_style) {
    wlist out;
    auto b = bytes_of(std::wstring(L"a\nb\nc\n"));
    EXPECT_TRUE(split_text_lines(b.data(), static_cast<std::uint32_t>(b.size()), out));
    EXPECT_EQ(out, (wlist{L"a", L"b", L"c"}));
    b = bytes_of(std::wstring(L"a\rb\r"));
    EXPECT_TRUE(split_text_lines(b.data(), static_cast<std::uint32_t>(b.size()), out));
    EXPECT_EQ(out, (wlist{L"a", L"b"}));
    b = bytes_of(std::wstring(L"x\n\ry\n\r"));
    EXPECT_TRUE(split_text_lines(b.data(), static_cast<std::uint32_t>(b.size()), out));
    EXPECT_EQ(out, (wlist{L"x", L"y"}));
}

TEST(wide_split, wide_text_with_crlf_endings_splits_into_lines) {
    wlist out;
    auto b = bytes_of(std::wstring(L"first\r\n second\r\n"));
    EXPECT_TRUE(split_text_lines(b.data(), static_cast<std::uint32_t>(b.size()), out));
    EXPECT_EQ(out, (wlist{L"first", L"second"}));
}

TEST(wide_split, short_null_and_unended_buffers) {
    wlist out;
    const std::uint8_t one[1] = {'a'};
    EXPECT_FALSE(split_text_lines(nullptr, 10, out));
    EXPECT_FALSE(split_text_lines(one, 1, out));
    auto b = bytes_of(std::wstring(L"no ending"));
    EXPECT_FALSE(split_text_lines(b.data(), static_cast<std::uint32_t>(b.size()), out));
    // A length that is not a multiple of 4 reads only the whole characters.
    b = bytes_of(std::wstring(L"a\nb\n"));
    b.push_back(0x41);
    EXPECT_TRUE(split_text_lines(b.data(), static_cast<std::uint32_t>(b.size()), out));
    EXPECT_EQ(out, (wlist{L"a", L"b"}));
}

}  // namespace
