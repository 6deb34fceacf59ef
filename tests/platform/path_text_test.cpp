#include "platform/path_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PathText, utf8_names_become_their_code_points_and_back) {
    const std::string name = "/tmp/caf\xc3\xa9/\xf0\x9f\x98\x80.db";
    const std::wstring wide = path_to_wide(name);
    EXPECT_EQ(wide, std::wstring(L"/tmp/caf\u00e9/\U0001F600.db"));
    EXPECT_EQ(wide_to_path(wide), name);
}

TEST(PathText, every_byte_string_survives_the_round_trip) {
    // Every single byte, then every pair of bytes: stray continuation bytes, lone lead bytes,
    // overlong forms (C0 80), surrogates (ED A0 80) and values past U+10FFFF (F4 90 80 80).
    for (int b = 0; b < 256; ++b) {
        const std::string s(1, static_cast<char>(b));
        ASSERT_EQ(wide_to_path(path_to_wide(s)), s) << b;
    }
    for (int a = 0x80; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            std::string s = "x";
            s.push_back(static_cast<char>(a));
            s.push_back(static_cast<char>(b));
            ASSERT_EQ(wide_to_path(path_to_wide(s)), s) << a << " " << b;
            ASSERT_EQ(utf16_to_path(path_to_utf16(s)), s) << a << " " << b;
        }
    }
    for (const std::string& s :
         {std::string("\xc0\x80"), std::string("\xed\xa0\x80"), std::string("\xf4\x90\x80\x80"),
          std::string("\xe2\x82"), std::string("\xf0\x9f\x98")}) {
        ASSERT_EQ(wide_to_path(path_to_wide(s)), s);
        ASSERT_EQ(utf16_to_path(path_to_utf16(s)), s);
    }
}

TEST(PathText, invalid_bytes_are_escaped_as_lone_low_surrogates) {
    const std::wstring w =
        path_to_wide(std::string("a\xff"
                                 "b\xc3"));
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(static_cast<std::uint32_t>(w[1]), 0xDCFFu);
    EXPECT_EQ(static_cast<std::uint32_t>(w[3]), 0xDCC3u);
    // An overlong NUL is not read as NUL: a path must never be cut short by it.
    const std::wstring nul = path_to_wide(std::string("\xc0\x80"));
    ASSERT_EQ(nul.size(), 2u);
    EXPECT_EQ(static_cast<std::uint32_t>(nul[0]), 0xDCC0u);
}

TEST(PathText, utf16_names_with_pairs_and_little_endian_bytes) {
    const std::vector<std::uint16_t> units = {0x0061, 0xD83D, 0xDE00, 0x00E9};
    EXPECT_EQ(utf16_to_path(units), "a\xf0\x9f\x98\x80\xc3\xa9");
    EXPECT_EQ(path_to_utf16("a\xf0\x9f\x98\x80\xc3\xa9"), units);
    const std::vector<std::uint8_t> le = {0x61, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0x7A};  // odd last byte ignored
    EXPECT_EQ(utf16le_bytes_to_path(le), "a\xf0\x9f\x98\x80");
    EXPECT_EQ(utf16le_bytes_to_path({0x61}), "");
    EXPECT_EQ(utf16le_bytes_to_path({}), "");
    // A lone high surrogate is not a byte escape: it goes out as three bytes.
    EXPECT_EQ(utf16_to_path({0xD800}), "\xed\xa0\x80");
}

TEST(PathText, empty_paths_and_out_of_range_wide_characters) {
    EXPECT_TRUE(path_to_wide("").empty());
    EXPECT_TRUE(wide_to_path(L"").empty());
    EXPECT_TRUE(path_to_utf16("").empty());
    std::wstring w = L"a";
    w.push_back(static_cast<wchar_t>(0x110000));
    w.push_back(L'b');
    EXPECT_EQ(wide_to_path(w), "ab");
}

}  // namespace
