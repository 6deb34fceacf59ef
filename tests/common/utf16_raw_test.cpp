#include "common/utf16_raw.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> le(const std::vector<std::uint16_t>& units) {
    std::vector<std::uint8_t> b;
    for (std::uint16_t u : units) {
        b.push_back(static_cast<std::uint8_t>(u & 0xFF));
        b.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return b;
}

TEST(Utf16Raw, TerminatorCountedOnlyWhenItLiesWithinTheLength) {
    const auto b = le({'a', 'b', 0});
    std::string out;
    EXPECT_EQ(utf16_cstr_to_utf8(b.data(), out, 6, true), 6);
    EXPECT_EQ(out, "ab");
    EXPECT_EQ(utf16_cstr_to_utf8(b.data(), out, 4, true), 4);
    EXPECT_EQ(out, "ab");
    EXPECT_EQ(utf16_cstr_to_utf8(b.data(), out, 6, false), 4);
    EXPECT_EQ(utf16_cstr_to_utf8(b.data(), out, -1, true), 4);  // unknown length: never counted
}

TEST(Utf16Raw, UnknownLengthReadsAtMostFiveHundredUnits) {
    const auto b = le(std::vector<std::uint16_t>(600, 'x'));
    std::wstring w;
    EXPECT_EQ(utf16_cstr_to_wstring(b.data(), w, -1), 1000);
    EXPECT_EQ(w.size(), 500u);
    EXPECT_EQ(utf16_cstr_to_utf8_string(b.data()).size(), 500u);
}

TEST(Utf16Raw, EmptyNullAndOddInputs) {
    const auto zero = le({0, 'a'});
    std::wstring w = L"old";
    EXPECT_EQ(utf16_cstr_to_wstring(zero.data(), w, 4), 0);
    EXPECT_TRUE(w.empty());
    EXPECT_EQ(utf16_cstr_to_wstring(nullptr, w, 4), 0);
    EXPECT_EQ(utf16_cstr_to_wstring(zero.data(), w, 0), 0);
    EXPECT_EQ(utf16_cstr_to_wstring(zero.data(), w, -5), 0);
    // An odd byte length reads the whole units only: a heap copy of 3 bytes catches any overread.
    std::vector<std::uint8_t> three = {'z', 0, 'q'};
    std::string out;
    EXPECT_EQ(utf16_cstr_to_utf8(three.data(), out, 3, true), 2);
    EXPECT_EQ(out, "z");
}

TEST(Utf16Raw, SurrogatesDecodeAndBrokenTextStillComesOut) {
    const auto pair = le({0xD83D, 0xDE00, 'a'});  // U+1F600 then 'a'
    std::string out;
    EXPECT_EQ(utf16_cstr_to_utf8(pair.data(), out, 6, false), 6);
    EXPECT_EQ(out,
              "\xF0\x9F\x98\x80"
              "a");
    const auto lone = le({'a', 0xD800, 'b'});  // a high surrogate without its partner
    std::wstring w;
    EXPECT_EQ(utf16_cstr_to_wstring(lone.data(), w, 6), 6);
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[1], static_cast<wchar_t>(0xD800));
    // Odd addresses are read bytewise.
    std::vector<std::uint8_t> shifted = {0xEE, 'h', 0, 'i', 0};
    EXPECT_EQ(utf16_cstr_to_utf8(shifted.data() + 1, out, 4, false), 4);
    EXPECT_EQ(out, "hi");
}

TEST(Utf16Raw, CountedIntoAndPathForms) {
    const auto b = le({'C', ':', '\\', 'd', '\\', 'f', '.', 't', 0});
    std::string out;
    std::uint32_t n = 0;
    utf16_cstr_to_utf8_counted(b.data(), out, &n, static_cast<int>(b.size()));
    EXPECT_EQ(out, "C:\\d\\f.t");
    EXPECT_EQ(n, 16u);
    std::string into;
    EXPECT_EQ(&utf16_cstr_to_utf8_into(b.data(), into), &into);
    EXPECT_EQ(into, "C:\\d\\f.t");
    std::wstring folder, name;
    EXPECT_EQ(split_utf16_path(b.data(), folder, name), 1);
    EXPECT_EQ(name, L"f.t");
    EXPECT_EQ(split_utf16_path(nullptr, folder, name), 0);
}

TEST(Utf16Raw, MultiStringRuns) {
    const auto b = le({'a', 'b', 0, 0, 'c', 0, 'd', 'e'});
    std::vector<std::wstring> out;
    EXPECT_EQ(utf16_multi_string_to_wstrings(b.data(), out, 17), 16);
    EXPECT_EQ(out, (std::vector<std::wstring>{L"ab", L"c", L"de"}));
    EXPECT_EQ(utf16_multi_string_to_wstrings(b.data(), out, 0), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(utf16_multi_string_to_wstrings(nullptr, out, 4), 0);
}

}  // namespace
