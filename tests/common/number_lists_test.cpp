#include "common/number_lists.h"

#include <gtest/gtest.h>

namespace {

using bytes_t = std::vector<std::uint8_t>;
using u64s = std::vector<std::uint64_t>;
using i64s = std::vector<std::int64_t>;

bytes_t block_bytes(const _16_byte_block& b) { return bytes_t(b.bytes(), b.bytes() + 16); }

TEST(ParseByteList, DecimalPrefixedAndHex) {
    bytes_t out{9};
    EXPECT_EQ(parse_byte_list(out, "1, x1f, junk", ',', false), (bytes_t{1, 31, 0}));
    EXPECT_EQ(parse_byte_list(out, "-1 o17 300", ' ', false), (bytes_t{0xFF, 15, 300 & 0xFF}));
    EXPECT_EQ(parse_byte_list(out, "4d 0x5A  ff zz", ' ', true), (bytes_t{0x4D, 0x5A, 0xFF, 0}));
    EXPECT_TRUE(parse_byte_list(out, "", ',', true).empty());
}

TEST(Parse16Bytes, ThreeFormsAndRefusals) {
    _16_byte_block b;
    parse_16_bytes(b, "00112233-4455-6677-8899-aabbccddeeff");
    EXPECT_EQ(b.to_string(false), "00112233-4455-6677-8899-aabbccddeeff");
    parse_16_bytes(b, "000102030405060708090a0b0c0d0e0f");
    EXPECT_EQ(b.to_string(true), "000102030405060708090a0b0c0d0e0f");
    parse_16_bytes(b, "ff ee dd cc bb aa 99 88 77 66 55 44 33 22 11 00");
    EXPECT_EQ(b.to_string(true), "ffeeddccbbaa99887766554433221100");

    const bytes_t before = block_bytes(b);
    parse_16_bytes(b, "000102030405060708090a0b0c0d0e0");                  // 31 characters
    parse_16_bytes(b, "zz0102030405060708090a0b0c0d0e0f");                 // not hex
    parse_16_bytes(b, "ff ee dd cc bb aa 99 88 77 66 55 44 33 22 11 0 ");  // 15 bytes
    parse_16_bytes(b, "{00112233-4455-6677-8899-aabbccddeeff}");
    parse_16_bytes(b, "");
    EXPECT_EQ(block_bytes(b), before);
}

TEST(ParseU64List, CandidatesAndFields) {
    u64s out{7};
    EXPECT_EQ(parse_u64_list(out, "1;0x10; 5 ;x", true, false, ",;"), ';');
    EXPECT_EQ(out, (u64s{1, 16, 5, 0}));
    EXPECT_EQ(parse_u64_list(out, "42", true, false, ",;"), 0);
    EXPECT_EQ(out, (u64s{42}));
    EXPECT_EQ(parse_u64_list(out, "1,2 3,4", false, false, ","), ',');
    EXPECT_EQ(out, (u64s{1, 4}));  // "2 3" has an inner blank and is refused
    EXPECT_EQ(parse_u64_list(out, "", true, false, ","), 0);
    EXPECT_TRUE(out.empty());
}

TEST(ParseRangeList, PairsAndBadSides) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> out;
    EXPECT_EQ(parse_range_list(out, " 1-5 ,7, 0x10-x20,a b-3", ',', '-'), 1);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], (std::pair<std::uint64_t, std::uint64_t>{1, 5}));
    EXPECT_EQ(out[1], (std::pair<std::uint64_t, std::uint64_t>{7, 7}));
    EXPECT_EQ(out[2], (std::pair<std::uint64_t, std::uint64_t>{16, 32}));
    EXPECT_EQ(out[3], (std::pair<std::uint64_t, std::uint64_t>{0, 3}));
    EXPECT_EQ(parse_range_list(out, "", ',', '-'), 0);
    EXPECT_TRUE(out.empty());
}

TEST(ParseInt64, TokensAndLists) {
    i64s out{99};
    EXPECT_EQ(parse_int64_tokens("-5 0x10 junk \"o7\"", out), 1);
    EXPECT_EQ(out, (i64s{-5, 16, 7}));
    EXPECT_EQ(parse_int64_tokens("junk", out), 0);
    EXPECT_TRUE(out.empty());

    i64s list{1};
    EXPECT_EQ(parse_int64_list(" -2 ; x; 9 ;bad", list, ';'), 1);
    EXPECT_EQ(list, (i64s{1, -2, 0, 9}));  // appended, not cleared
    i64s blank{5};
    EXPECT_EQ(parse_int64_list("3 4", blank, ' '), 1);
    EXPECT_EQ(blank, (i64s{3, 4}));
}

TEST(ParseHexDumpText, ColumnFromFirstLine) {
    const std::string dump =
        "000  4d 5a 90 00  MZ..\n"
        "004  03 00 100 ff  ....\n"  // "100" is skipped; the column cuts "ff" to "f", skipped too
        "008  0a\n"
        "0\n";
    bytes_t out;
    EXPECT_EQ(parse_hex_dump_text(out, dump), 1);
    EXPECT_EQ(out, (bytes_t{0x4d, 0x5a, 0x90, 0x00, 0x03, 0x00, 0x0a}));
    EXPECT_EQ(parse_hex_dump_text(out, "no columns here"), 0);
    EXPECT_EQ(parse_hex_dump_text(out, "000  4d 5a"), 0);
    EXPECT_EQ(parse_hex_dump_text(out, ""), 0);
}

TEST(HexStringToBytes, PairsOddTailAndJunk) {
    bytes_t out;
    EXPECT_EQ(hex_string_to_bytes(out, "4d5aFF"), (bytes_t{0x4d, 0x5a, 0xff}));
    EXPECT_EQ(hex_string_to_bytes(out, "abc"), (bytes_t{0xab, 0x0c}));
    EXPECT_EQ(hex_string_to_bytes(out, "zz4g"), (bytes_t{0x00, 0x04}));
    EXPECT_EQ(hex_string_to_bytes(out, "0x"), (bytes_t{0x00}));
    EXPECT_EQ(hex_string_to_bytes(out, "-"), (bytes_t{0x00}));
    EXPECT_TRUE(hex_string_to_bytes(out, "").empty());
}

TEST(ParseSeparatedBytes, MacAndDottedForms) {
    bytes_t out;
    EXPECT_EQ(parse_separated_bytes("de:ad:be:ef", out), 1);
    EXPECT_EQ(out, (bytes_t{222, 173, 190, 239}));
    EXPECT_EQ(parse_separated_bytes("10.20.30.40", out), 1);
    EXPECT_EQ(out, (bytes_t{10, 20, 30, 40}));
    EXPECT_EQ(parse_separated_bytes("01-02-0A", out), 1);
    EXPECT_EQ(out, (bytes_t{1, 2, 10}));
    EXPECT_EQ(parse_separated_bytes("10:11", out), 1);  // no letter: decimal
    EXPECT_EQ(out, (bytes_t{10, 11}));
    EXPECT_EQ(parse_separated_bytes("x1f:x20", out), 1);  // already prefixed
    EXPECT_EQ(out, (bytes_t{0x1f, 0x20}));
    EXPECT_EQ(parse_separated_bytes("1;2", out), 0);
    EXPECT_EQ(parse_separated_bytes("ab:zz", out), 1);  // "0xzz" reads no digit
    EXPECT_EQ(out, (bytes_t{0xab, 0}));
    EXPECT_EQ(parse_separated_bytes("10.q", out), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(parse_separated_bytes(std::string(81, '.').c_str(), out), 0);
    EXPECT_EQ(parse_separated_bytes(nullptr, out), 0);

    std::uint8_t mac[6] = {0};
    EXPECT_EQ(parse_separated_bytes_fixed("00:1b:fc:0a:bc:ff", mac, 6), 1);
    EXPECT_EQ(mac[1], 0x1b);
    EXPECT_EQ(mac[5], 0xff);
    EXPECT_EQ(parse_separated_bytes_fixed("00:1b:fc", mac, 6), 0);
    EXPECT_EQ(parse_separated_bytes_fixed_wide(L"1.2.3.4", mac, 4), 1);
    EXPECT_EQ(mac[3], 4);
    EXPECT_EQ(parse_separated_bytes_fixed_wide(nullptr, mac, 4), 0);
}

TEST(ParseHexByteList, DelimitersAndSingleFields) {
    bytes_t out{7};
    EXPECT_EQ(parse_hex_byte_list("4d,0x5a,,ff", out), 1);
    EXPECT_EQ(out, (bytes_t{0x4d, 0x5a, 0xff}));
    EXPECT_EQ(parse_hex_byte_list("1ff 02", out), 1);
    EXPECT_EQ(out, (bytes_t{0xff, 0x02}));
    EXPECT_EQ(parse_hex_byte_list("7f", out), 1);
    EXPECT_EQ(out, (bytes_t{0x7f}));
    EXPECT_EQ(parse_hex_byte_list("0x1", out), 1);
    EXPECT_EQ(out, (bytes_t{0x01}));
    out = {7};
    EXPECT_EQ(parse_hex_byte_list("abcdef", out), 0);
    EXPECT_EQ(out, (bytes_t{7}));
    EXPECT_EQ(hex_digits_to_bytes("4d5a9", out), 1);
    EXPECT_EQ(out, (bytes_t{0x4d, 0x5a, 0x09}));
}

TEST(DottedQuad, ValuesSwapAndFailures) {
    std::uint32_t v = 1;
    EXPECT_EQ(dotted_quad_to_u32("192.168.0.1", &v, false), 1);
    EXPECT_EQ(v, 0xC0A80001u);
    EXPECT_EQ(dotted_quad_to_u32("192.168.0.1", &v, true), 1);
    EXPECT_EQ(v, 0x0100A8C0u);
    EXPECT_EQ(dotted_quad_to_u32("0-0-1-256", &v, false), 1);
    EXPECT_EQ(v, 0x00000200u);  // a field above 255 spills into the next byte
    EXPECT_EQ(dotted_quad_to_u32("1.2.3", &v, false), 0);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(dotted_quad_to_u32("1.2.3.q", &v, false), 0);
    EXPECT_EQ(dotted_quad_to_u32("1/2/3/4", &v, false), 0);
    EXPECT_EQ(dotted_quad_to_u32(nullptr, &v, false), 0);
}

TEST(Ipv6Text, CompressedAndFullForms) {
    bytes_t out;
    EXPECT_EQ(ipv6_text_to_bytes("fe80::1", out), 1);
    bytes_t expect(16, 0);
    expect[0] = 0xfe;
    expect[1] = 0x80;
    expect[15] = 0x01;
    EXPECT_EQ(out, expect);
    EXPECT_EQ(ipv6_text_to_bytes("::", out), 1);
    EXPECT_EQ(out, bytes_t(16, 0));
    EXPECT_EQ(ipv6_text_to_bytes("", out), 1);
    EXPECT_EQ(out, bytes_t(16, 0));
    EXPECT_EQ(ipv6_text_to_bytes("2001:db8:0:0:0:0:2:1", out), 1);
    ASSERT_EQ(out.size(), 16u);
    EXPECT_EQ(out[2], 0x0d);
    EXPECT_EQ(out[3], 0xb8);
    EXPECT_EQ(out[13], 0x02);
    EXPECT_EQ(ipv6_text_to_bytes("1::", out), 1);
    ASSERT_EQ(out.size(), 16u);
    EXPECT_EQ(out[1], 0x01);
}

}  // namespace
