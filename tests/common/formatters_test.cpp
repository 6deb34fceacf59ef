#include "common/formatters.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using units = std::vector<std::uint16_t>;

const unsigned char kSeq[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

TEST(ReplaceChar, nocase_replaces_both_forms) {
    std::string s = "aAbaA";
    replace_char(s, 'a', 'A', true);
    EXPECT_EQ(s, "AAbAA");
    std::string t = "aAbaA";
    replace_char(t, 'A', 'x', true);
    EXPECT_EQ(t, "xxbxx");
    std::string exact = "aAbaA";
    replace_char(exact, 'a', '-', false);
    EXPECT_EQ(exact, "-Ab-A");
}

TEST(ReplaceChar, same_old_and_new_changes_nothing) {
    std::string s = "aA";
    replace_char(s, 'a', 'a', true);
    EXPECT_EQ(s, "aA");
    std::string path = "a\\b\\c";
    replace_char(path, '\\', '/', false);
    EXPECT_EQ(path, "a/b/c");
    std::string digits = "1.2";
    replace_char(digits, '.', ',', true);
    EXPECT_EQ(digits, "1,2");
}

TEST(ReplaceInBuffer, only_first_length_elements) {
    unsigned char b[] = {'a', 'A', 'a', 'A'};
    replace_byte_in_buffer(b, 3, 'a', '*', true);
    EXPECT_EQ(std::memcmp(b, "***A", 4), 0);
    unsigned char c[] = {'a', 'A'};
    replace_byte_in_buffer(c, 2, 'a', '*', false);
    EXPECT_EQ(std::memcmp(c, "*A", 2), 0);
    replace_byte_in_buffer(c, 0, 'A', '*', false);
    replace_byte_in_buffer(nullptr, 4, 'A', '*', false);
    EXPECT_EQ(std::memcmp(c, "*A", 2), 0);

    wchar_t w[] = {L'x', L'X', static_cast<wchar_t>(0x1F600), L'x'};
    replace_wchar_in_buffer(w, 3, L'X', L'y', true);
    EXPECT_EQ(w[0], L'y');
    EXPECT_EQ(w[1], L'y');
    EXPECT_EQ(w[2], static_cast<wchar_t>(0x1F600));
    EXPECT_EQ(w[3], L'x');
    replace_wchar_in_buffer(w, 4, static_cast<wchar_t>(0x1F600), L'e', false);
    EXPECT_EQ(w[2], L'e');
    replace_wchar_in_buffer(w, -1, L'x', L'z', false);
    EXPECT_EQ(w[3], L'x');
}

TEST(GuidToString, fields_little_endian_then_bytes_in_order) {
    EXPECT_EQ(guid_to_string(kSeq), "03020100-0504-0706-0809-0a0b0c0d0e0f");
    const unsigned char high[16] = {0xff, 0xee, 0xdd, 0xcc, 0xbb, 0xaa, 0x99, 0x88,
                                    0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00};
    EXPECT_EQ(guid_to_string(high), "ccddeeff-aabb-8899-7766-554433221100");
    EXPECT_EQ(guid_to_string(nullptr), "");
}

TEST(GuidPtrToString, null_clears_output) {
    std::string out = "old";
    EXPECT_EQ(guid_ptr_to_string(out, nullptr), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(guid_ptr_to_string(out, kSeq), 1);
    EXPECT_EQ(out, "03020100-0504-0706-0809-0a0b0c0d0e0f");
}

TEST(GuidToCstrWithTag, tag_from_first_four_bytes) {
    unsigned char g[16] = {'R', 'I', 'F', 'F'};
    char dest[42];
    std::memset(dest, '#', sizeof dest);
    EXPECT_EQ(guid_to_cstr_with_tag(dest, sizeof dest, g), 1);
    EXPECT_STREQ(dest, "46464952-0000-0000-0000-000000000000 RIFF");
    g[0] = '/';  // just below '0'
    g[1] = '{';  // just above 'z'
    g[2] = '0';
    g[3] = 'z';
    EXPECT_EQ(guid_to_cstr_with_tag(dest, sizeof dest, g), 1);
    EXPECT_STREQ(dest + 36, " ..0z");
}

TEST(GuidToCstrWithTag, small_destinations) {
    char dest[41];
    std::memset(dest, '#', sizeof dest);
    EXPECT_EQ(guid_to_cstr_with_tag(dest, 37, kSeq), 1);
    EXPECT_STREQ(dest, "03020100-0504-0706-0809-0a0b0c0d0e0f");
    EXPECT_EQ(dest[37], '#');
    EXPECT_EQ(guid_to_cstr_with_tag(dest, 41, kSeq), 1);
    EXPECT_STREQ(dest, "03020100-0504-0706-0809-0a0b0c0d0e0f");
    EXPECT_EQ(guid_to_cstr_with_tag(dest, 36, kSeq), 0);
    EXPECT_EQ(guid_to_cstr_with_tag(nullptr, 50, kSeq), 0);
    EXPECT_EQ(guid_to_cstr_with_tag(dest, 41, nullptr), 0);
}

TEST(IntegerText, decimal_forms) {
    std::string out;
    EXPECT_EQ(int_to_string(-2147483647 - 1, out), 1);
    EXPECT_EQ(out, "-2147483648");
    EXPECT_EQ(int_to_string(0, out), 1);
    EXPECT_EQ(out, "0");
    EXPECT_EQ(u64_to_string(18446744073709551615ULL, out), 1);
    EXPECT_EQ(out, "18446744073709551615");
}

TEST(FormatUtf16Crlf, short_text_with_line_feed) {
    units out{9};
    const std::uint16_t* p = format_utf16_crlf(out, "%c\n", 'a');
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p, out.data());
    EXPECT_EQ(out, (units{'a', 0x0D, 0x0A, 0}));
}

TEST(FormatUtf16Crlf, text_longer_than_scratch_is_whole) {
    units out;
    const std::string long_text(100, 'q');
    ASSERT_NE(format_utf16_crlf(out, "%s-%d", long_text.c_str(), 42), nullptr);
    ASSERT_EQ(out.size(), 104u);
    EXPECT_EQ(out[99], 'q');
    EXPECT_EQ(out[100], '-');
    EXPECT_EQ(out[101], '4');
    EXPECT_EQ(out[102], '2');
    EXPECT_EQ(out[103], 0);
    // Exactly 29 and 30 characters: the edges of the scratch buffer.
    ASSERT_NE(format_utf16_crlf(out, "%s", std::string(29, 'x').c_str()), nullptr);
    EXPECT_EQ(out.size(), 30u);
    ASSERT_NE(format_utf16_crlf(out, "%s", std::string(30, 'x').c_str()), nullptr);
    EXPECT_EQ(out.size(), 31u);
}

TEST(FormatUtf16Crlf, null_format_and_empty_text_give_null) {
    units out{1, 2};
    EXPECT_EQ(format_utf16_crlf(out, nullptr), nullptr);
    EXPECT_TRUE(out.empty());
    out.push_back(3);
    EXPECT_EQ(format_utf16_crlf(out, "%s", ""), nullptr);
    EXPECT_TRUE(out.empty());
}

}  // namespace
