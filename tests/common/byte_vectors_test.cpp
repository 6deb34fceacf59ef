#include "common/byte_vectors.h"

#include <gtest/gtest.h>

namespace {

using bytes = std::vector<unsigned char>;
using units = std::vector<std::uint16_t>;

TEST(ByteVectorAssign, fixed_sizes_copies_and_zeros) {
    unsigned char src[40];
    for (int i = 0; i < 40; ++i) src[i] = static_cast<unsigned char>(i + 1);
    bytes v;
    assign_32_bytes(v, src);
    EXPECT_EQ(v, bytes(src, src + 32));
    assign_20_bytes(v, src);
    EXPECT_EQ(v, bytes(src, src + 20));
    assign_16_bytes(v, src + 1);
    EXPECT_EQ(v, bytes(src + 1, src + 17));
    assign_16_bytes(v, nullptr);
    EXPECT_TRUE(v.empty());
    zero_bytes_32(v);
    EXPECT_EQ(v, bytes(32, 0));
    zero_bytes_20(v);
    EXPECT_EQ(v, bytes(20, 0));
    zero_bytes_16(v);
    EXPECT_EQ(v, bytes(16, 0));
    zero_bytes(v, 3);
    EXPECT_EQ(v, bytes(3, 0));
    zero_bytes(v, -2);
    EXPECT_TRUE(v.empty());
    construct_zero_bytes(v, 5);
    EXPECT_EQ(v, bytes(5, 0));
    assign_bytes(v, src, 4);
    EXPECT_EQ(v, (bytes{1, 2, 3, 4}));
    assign_bytes(v, src, 0);
    EXPECT_TRUE(v.empty());
    construct_byte_vector(v, src, 2);
    EXPECT_EQ(v, (bytes{1, 2}));
    bytes copy;
    copy_byte_vector(copy, v);
    EXPECT_EQ(copy, v);
    EXPECT_EQ(string_to_byte_vector(v, std::string("a\0b", 3)), (bytes{'a', 0, 'b'}));
}

TEST(ByteVectorEdit, remove_value_and_trim_trailing_zeros) {
    bytes v{1, 0, 2, 0, 0};
    EXPECT_EQ(remove_byte_value(v, 0), 3u);
    EXPECT_EQ(v, (bytes{1, 2}));
    EXPECT_EQ(remove_byte_value(v, 9), 0u);
    bytes w{7, 8, 7};
    erase_byte_value(w, 7);
    EXPECT_EQ(w, (bytes{8}));
    bytes t{0, 5, 0, 0};
    EXPECT_EQ(trim_trailing_zero_bytes(t), 1);
    EXPECT_EQ(t, (bytes{0, 5}));
    bytes all_zero(4, 0);
    EXPECT_EQ(trim_trailing_zero_bytes(all_zero), 1);
    EXPECT_TRUE(all_zero.empty());
    units u{0, 0x41, 0, 0};
    EXPECT_EQ(trim_trailing_zero_units(u), 1);
    EXPECT_EQ(u, (units{0, 0x41}));
}

TEST(CountedString, one_and_two_byte_prefixes) {
    bytes out{9};
    EXPECT_EQ(encode_counted_string(out, std::string(127, 'x'), false), 1);
    ASSERT_EQ(out.size(), 128u);
    EXPECT_EQ(out[0], 0x7F);
    EXPECT_EQ(encode_counted_string(out, std::string(200, 'y'), false), 1);
    ASSERT_EQ(out.size(), 202u);
    EXPECT_EQ(out[0], 0x80);
    EXPECT_EQ(out[1], 0xC8);
    EXPECT_EQ(out[2], 'y');
    EXPECT_EQ(encode_counted_string(out, std::string(32767, 'z'), false), 1);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0xFF);
    EXPECT_EQ(out.size(), 32769u);
}

TEST(CountedString, too_long_is_refused_and_append_keeps_existing) {
    bytes out{1, 2};
    EXPECT_EQ(encode_counted_string(out, std::string(32768, 'a'), true), 0);
    EXPECT_EQ(out, (bytes{1, 2}));
    EXPECT_EQ(encode_counted_string(out, std::string(32768, 'a'), false), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(encode_counted_string(out, "ab", true), 1);
    EXPECT_EQ(encode_counted_string(out, "", true), 1);
    EXPECT_EQ(out, (bytes{2, 'a', 'b', 0}));
}

TEST(CountedStringList, round_trip_through_decoder) {
    const std::vector<std::string> list{"a", "", std::string(300, 'q'), "last"};
    bytes enc;
    ASSERT_EQ(encode_counted_string_list(enc, list, false), 1);
    std::vector<std::string> dec{"stale"};
    EXPECT_EQ(decode_counted_string_list(dec, enc.data(), static_cast<std::uint32_t>(enc.size())),
              enc.size());
    EXPECT_EQ(dec, list);
}

TEST(CountedStringList, entry_too_long_refuses_whole_list) {
    bytes out{5};
    EXPECT_EQ(encode_counted_string_list(out, {"ok", std::string(40000, 'x')}, true), 0);
    EXPECT_EQ(out, (bytes{5}));
    EXPECT_EQ(encode_counted_string_list(out, {"ok", std::string(40000, 'x')}, false), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(encode_counted_string_list(out, std::vector<std::string>(32768), false), 0);
    EXPECT_TRUE(out.empty());
}

TEST(DecodeCountedStringList, example_and_damaged_inputs) {
    const unsigned char ok[] = {0x02, 0x01, 'a', 0x01, 'b'};
    std::vector<std::string> out;
    EXPECT_EQ(decode_counted_string_list(out, ok, 5), 5u);
    EXPECT_EQ(out, (std::vector<std::string>{"a", "b"}));

    // Count larger than the bytes that follow: prefix consumed, list empty.
    const unsigned char big_count[] = {0x09, 0x01, 'a'};
    EXPECT_EQ(decode_counted_string_list(out, big_count, 3), 1u);
    EXPECT_TRUE(out.empty());

    // Second entry claims more than is left: it stays empty and only its prefix is consumed.
    const unsigned char short_entry[] = {0x02, 0x01, 'a', 0x05, 'b'};
    EXPECT_EQ(decode_counted_string_list(out, short_entry, 5), 4u);
    EXPECT_EQ(out, (std::vector<std::string>{"a", ""}));

    // A two-byte count prefix with only one byte present.
    const unsigned char cut_prefix[] = {0x80};
    EXPECT_EQ(decode_counted_string_list(out, cut_prefix, 1), 0u);
    EXPECT_TRUE(out.empty());

    // An entry's two-byte prefix cut by the end stops the reading.
    const unsigned char cut_entry[] = {0x02, 0x00, 0x81};
    EXPECT_EQ(decode_counted_string_list(out, cut_entry, 3), 2u);
    EXPECT_EQ(out, (std::vector<std::string>{"", ""}));

    EXPECT_EQ(decode_counted_string_list(out, nullptr, 5), 0u);
    EXPECT_EQ(decode_counted_string_list(out, ok, 0), 0u);
    const unsigned char only_count[] = {0x01};
    EXPECT_EQ(decode_counted_string_list(out, only_count, 1), 1u);
    EXPECT_TRUE(out.empty());
}

TEST(DecodeCountedStringList, truncation_sweep_never_reads_past_length) {
    bytes enc;
    ASSERT_EQ(encode_counted_string_list(enc, {"abc", std::string(200, 'd'), "e"}, false), 1);
    for (std::size_t len = 0; len < enc.size(); ++len) {
        // A copy of exactly len bytes, so a read past it is caught by the sanitizers.
        bytes prefix(enc.begin(), enc.begin() + static_cast<std::ptrdiff_t>(len));
        std::vector<std::string> out;
        const std::uint32_t used = decode_counted_string_list(out, prefix.empty() ? nullptr : prefix.data(),
                                                              static_cast<std::uint32_t>(len));
        EXPECT_LE(used, len);
        EXPECT_NE(out, (std::vector<std::string>{"abc", std::string(200, 'd'), "e"}));
    }
}

TEST(Varint, examples_and_both_orders) {
    std::uint64_t v = 99;
    const unsigned char a[] = {0x81, 0x00};
    EXPECT_EQ(decode_varint_msb_first(v, a, 2), 1);
    EXPECT_EQ(v, 128u);
    const unsigned char b[] = {0x81, 0x01};
    EXPECT_EQ(decode_varint_lsb_first(v, b, 2), 1);
    EXPECT_EQ(v, 129u);
    EXPECT_EQ(decode_varint_msb_first(v, b, 2), 1);
    EXPECT_EQ(v, 129u);
    const unsigned char c[] = {0x7f, 0xff};
    EXPECT_EQ(decode_varint_msb_first(v, c, 2), 1);
    EXPECT_EQ(v, 127u);
}

TEST(Varint, nine_bytes_use_the_whole_last_byte) {
    const unsigned char max[9] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    std::uint64_t v = 0;
    EXPECT_EQ(decode_varint_msb_first(v, max, 9), 1);
    EXPECT_EQ(v, 0xFFFFFFFFFFFFFFFFULL);
    EXPECT_EQ(decode_varint_lsb_first(v, max, 9), 1);
    EXPECT_EQ(v, 0xFFFFFFFFFFFFFFFFULL);
    const unsigned char top[9] = {0x81, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00};
    EXPECT_EQ(decode_varint_msb_first(v, top, 9), 1);
    EXPECT_EQ(v, 1ULL << 57);
    const unsigned char last_only[9] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01};
    EXPECT_EQ(decode_varint_lsb_first(v, last_only, 9), 1);
    EXPECT_EQ(v, 1ULL << 56);
    // More continuation bytes than nine: the tenth is never read.
    const unsigned char ten[10] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7f};
    EXPECT_EQ(decode_varint_msb_first(v, ten, 10), 1);
    EXPECT_EQ(v, 0x80u);
}

TEST(Varint, length_limits_the_read_and_bad_input_gives_zero) {
    const unsigned char cont[] = {0x81, 0x81, 0x01};
    std::uint64_t v = 5;
    EXPECT_EQ(decode_varint_msb_first(v, cont, 1), 1);
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(decode_varint_lsb_first(v, cont, 2), 1);
    EXPECT_EQ(v, 0x81u);
    v = 5;
    EXPECT_EQ(decode_varint_msb_first(v, nullptr, 3), 0);
    EXPECT_EQ(v, 0u);
    v = 5;
    EXPECT_EQ(decode_varint_lsb_first(v, cont, 0), 0);
    EXPECT_EQ(v, 0u);
}

TEST(Utf16MultiString, nul_separated_and_ended_by_empty_string) {
    bytes out{1};
    wstrings_to_utf16_multi_string({L"a", L"bc"}, out);
    EXPECT_EQ(out, (bytes{'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0}));
    wstrings_to_utf16_multi_string({}, out);
    EXPECT_TRUE(out.empty());
    wstrings_to_utf16_multi_string({L"\u00e9\u20ac"}, out);
    EXPECT_EQ(out, (bytes{0xe9, 0x00, 0xac, 0x20, 0, 0, 0, 0}));
}

TEST(Utf16MultiString, code_points_above_bmp_become_surrogate_pairs) {
    bytes out;
    wstrings_to_utf16_multi_string({std::wstring(1, static_cast<wchar_t>(0x1F600))}, out);
    EXPECT_EQ(out, (bytes{0x3d, 0xd8, 0x00, 0xde, 0, 0, 0, 0}));
    wstrings_to_utf16_multi_string({std::wstring(1, static_cast<wchar_t>(0x110000))}, out);
    EXPECT_EQ(out, (bytes{0xfd, 0xff, 0, 0, 0, 0}));
}

TEST(Utf16Crlf, narrow_bytes_become_units_and_lf_becomes_crlf) {
    units out{7};
    const std::uint16_t* p = text_to_utf16_crlf(out, "a\nb");
    EXPECT_EQ(out, (units{'a', 0x0D, 0x0A, 'b', 0}));
    EXPECT_EQ(p, out.data());
    EXPECT_EQ(text_to_utf16_crlf(out, "\xe9"), out.data());
    EXPECT_EQ(out, (units{0xe9, 0}));
    EXPECT_EQ(text_to_utf16_crlf(out, ""), nullptr);
    EXPECT_TRUE(out.empty());
    out.push_back(1);
    EXPECT_EQ(text_to_utf16_crlf(out, nullptr), nullptr);
    EXPECT_TRUE(out.empty());
    string_to_utf16_crlf(out, std::string("x\n", 2));
    EXPECT_EQ(out, (units{'x', 0x0D, 0x0A, 0}));
    EXPECT_EQ(string_to_utf16_crlf(out, std::string()), nullptr);
}

TEST(Utf16Crlf, wide_text_and_pairs) {
    units out;
    const std::wstring text = std::wstring(L"\u00fc\n") + static_cast<wchar_t>(0x10437);
    ASSERT_NE(wstring_to_utf16_crlf(out, text), nullptr);
    EXPECT_EQ(out, (units{0xfc, 0x0D, 0x0A, 0xD801, 0xDC37, 0}));
    ASSERT_NE(wtext_to_utf16_crlf(out, L"z"), nullptr);
    EXPECT_EQ(out, (units{'z', 0}));
    EXPECT_EQ(wtext_to_utf16_crlf(out, L""), nullptr);
    EXPECT_EQ(wtext_to_utf16_crlf(out, nullptr), nullptr);
    EXPECT_TRUE(out.empty());
}

TEST(EscapeUtf16Units, backslash_before_each_listed_character) {
    units u{'a', '"', 'b', '\\', '"'};
    EXPECT_EQ(escape_utf16_units(u, L"\"\\"), 3u);
    EXPECT_EQ(u, (units{'a', '\\', '"', 'b', '\\', '\\', '\\', '"'}));
    units none{'x'};
    EXPECT_EQ(escape_utf16_units(none, L"\""), 0u);
    EXPECT_EQ(none, (units{'x'}));
}

TEST(CountLines, lines_and_longest_line) {
    unsigned lines = 0;
    int longest = -1;
    EXPECT_EQ(count_lines(lines, longest, "abcd"), 1);
    EXPECT_EQ(lines, 1u);
    EXPECT_EQ(longest, 4);
    count_lines(lines, longest, "ab\nabcde\nc");
    EXPECT_EQ(lines, 3u);
    EXPECT_EQ(longest, 5);
    count_lines(lines, longest, "a\n\nxyz");
    EXPECT_EQ(lines, 3u);
    EXPECT_EQ(longest, 3);
    count_lines(lines, longest, "");
    EXPECT_EQ(lines, 1u);
    EXPECT_EQ(longest, 0);
}

TEST(ColumnWidths, rows_of_different_lengths) {
    std::vector<std::uint32_t> widths{99};
    EXPECT_EQ(column_widths_of_rows(widths, {{"a", "bbb"}, {"cccc"}, {"", "", "dd"}}), 1);
    EXPECT_EQ(widths, (std::vector<std::uint32_t>{4, 3, 2}));
    EXPECT_EQ(column_widths_of_rows(widths, {}), 0);
    EXPECT_TRUE(widths.empty());
}

TEST(ColumnWidths, update_raises_caps_and_appends) {
    std::vector<std::uint32_t> widths{2, 10};
    EXPECT_EQ(update_column_widths(widths, {"abcdef", "x", "0123456789"}, 5), 1);
    EXPECT_EQ(widths, (std::vector<std::uint32_t>{5, 10, 5}));
    EXPECT_EQ(update_column_widths(widths, {}, 5), 0);
    EXPECT_EQ(widths, (std::vector<std::uint32_t>{5, 10, 5}));
}

}  // namespace
