#include "common/escapes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using bytes_t = std::vector<std::uint8_t>;

TEST(PercentDecode, EscapesAndCollapsedPercent) {
    std::string out = "stale";
    EXPECT_EQ(percent_decode(out, "a%41b", -1, ""), 1);
    EXPECT_EQ(out, "aAb");
    EXPECT_EQ(percent_decode(out, "a%2541", -1, ""), 1);
    EXPECT_EQ(out, "aA");
    EXPECT_EQ(percent_decode(out, "a%0Ab", -1, ""), 1);
    EXPECT_EQ(out, "a%0Ab");  // a control character stays escaped
    EXPECT_EQ(percent_decode(out, "a%E9b", -1, ""), 1);
    EXPECT_EQ(out, "a%E9b");  // so does a byte above 127
    EXPECT_EQ(percent_decode(out, "%7e%7F", -1, ""), 1);
    EXPECT_EQ(out, "~\x7F");
    EXPECT_EQ(percent_decode(out, "no escapes", -1, ""), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(percent_decode(out, "", -1, ""), 0);
}

TEST(PercentDecode, ShortTailsAndMalformedDigits) {
    std::string out;
    EXPECT_EQ(percent_decode(out, "abc%", -1, ""), 1);
    EXPECT_EQ(out, "abc%");
    EXPECT_EQ(percent_decode(out, "x%4", -1, ""), 1);
    EXPECT_EQ(out, "x%4");
    EXPECT_EQ(percent_decode(out, "%G1%4G!", -1, ""), 1);
    EXPECT_EQ(out, "%G1%4G!");
    // %25 at the very end has nothing to collapse with and decodes to '%'.
    EXPECT_EQ(percent_decode(out, "100%25", -1, ""), 1);
    EXPECT_EQ(out, "100%");
    EXPECT_EQ(percent_decode(out, "%41%42%43", -1, ""), 1);
    EXPECT_EQ(out, "ABC");
}

TEST(PercentDecode, SpecialCharacterReplacement) {
    std::string out;
    EXPECT_EQ(percent_decode(out, "a%2Bb+c", '+', " "), 1);
    EXPECT_EQ(out, "a b+c");
    EXPECT_EQ(percent_decode(out, "%2f", '/', "\\\\"), 1);
    EXPECT_EQ(out, "\\\\");
}

TEST(AddressText, FormatsByLength) {
    std::string out = "x";
    const std::uint8_t ip[] = {192, 168, 0, 1};
    EXPECT_EQ(format_address_bytes(ip, 4, out), 1);
    EXPECT_EQ(out, "192.168.0.1");
    const std::uint8_t mac[] = {0, 0x1b, 0xfc, 0xa, 0xbc, 0xff, 0x12, 0x34};
    EXPECT_EQ(format_address_bytes(mac, 6, out), 1);
    EXPECT_EQ(out, "00:1b:fc:0a:bc:ff");
    EXPECT_EQ(format_address_bytes(mac, 8, out), 1);
    EXPECT_EQ(out, "00:1b:fc:0a:bc:ff:12:34");
    EXPECT_EQ(format_address_bytes(mac, 5, out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(format_address_bytes(nullptr, 4, out), 0);

    EXPECT_EQ(ipv4_to_string(0xC0A80001u, out), 1);
    EXPECT_EQ(out, "192.168.0.1");
    EXPECT_EQ(ipv4_to_string(0xFFFFFFFFu, out), 1);
    EXPECT_EQ(out, "255.255.255.255");
    std::wstring w;
    EXPECT_EQ(ipv4_to_wstring(0x0A000102u, w), 1);
    EXPECT_EQ(w, L"10.0.1.2");
}

TEST(BytesToCArray, OneLineInitialiser) {
    std::string out = "keep";
    EXPECT_EQ(bytes_to_c_array("k", bytes_t{1, 0xAB}, out), 1);
    EXPECT_EQ(out, "const byte k[] = {0x01, 0xab};");
    EXPECT_EQ(bytes_to_c_array("k", bytes_t{}, out), 0);
    EXPECT_EQ(bytes_to_c_array(nullptr, bytes_t{1}, out), 0);
    EXPECT_EQ(out, "const byte k[] = {0x01, 0xab};");
}

TEST(ExtractBetweenMarkers, LeadStartAndEnd) {
    std::string out;
    EXPECT_EQ(extract_between_markers("x=[1] y=[22]", "y=", "[", "]", out), 1);
    EXPECT_EQ(out, "22");
    EXPECT_EQ(extract_between_markers("x=[1] y=[22]", nullptr, "[", "]", out), 1);
    EXPECT_EQ(out, "1");
    EXPECT_EQ(extract_between_markers("<b>bold</b>", nullptr, "<b>", "</b>", out), 1);
    EXPECT_EQ(out, "bold");
    EXPECT_EQ(extract_between_markers("x=[1", nullptr, "[", "]", out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(extract_between_markers("x=[1]", "z", "[", "]", out), 0);
    EXPECT_EQ(extract_between_markers("x=1]", nullptr, "[", "]", out), 0);
    // The end marker must follow the start marker.
    EXPECT_EQ(extract_between_markers("]a[b", nullptr, "[", "]", out), 0);
}

TEST(Base64Decode, GroupsPaddingAndNoise) {
    bytes_t out{9};
    const char* s = "TWFu";
    EXPECT_EQ(base64_decode_buffer(reinterpret_cast<const std::uint8_t*>(s), 4, out), 1);
    EXPECT_EQ(out, (bytes_t{'M', 'a', 'n'}));
    const char* padded = "TW\r\nE=TQ==";
    base64_decode_buffer(reinterpret_cast<const std::uint8_t*>(padded), static_cast<int>(std::strlen(padded)),
                         out);
    EXPECT_EQ(out, (bytes_t{'M', 'a', 'M'}));
    // Stops at a NUL inside the size.
    const char nul[] = "TWFu\0TWFu";
    base64_decode_buffer(reinterpret_cast<const std::uint8_t*>(nul), sizeof(nul) - 1, out);
    EXPECT_EQ(out.size(), 3u);
    // An unpadded tail of three characters gives two bytes.
    const char* tail = "TWFuTWE";
    base64_decode_buffer(reinterpret_cast<const std::uint8_t*>(tail), 7, out);
    EXPECT_EQ(out, (bytes_t{'M', 'a', 'n', 'M', 'a'}));
    EXPECT_EQ(base64_decode_buffer(nullptr, 4, out), 0);
    EXPECT_EQ(base64_decode_buffer(reinterpret_cast<const std::uint8_t*>(s), 0, out), 0);
}

bytes_t block_bytes(const _16_byte_block& b) { return bytes_t(b.bytes(), b.bytes() + 16); }

TEST(GuidText, LittleEndianGroupsThenTextOrder) {
    const std::string text = "00112233-4455-6677-8899-aabbccddeeff";
    bytes_t expect{0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                   0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    _16_byte_block block;
    EXPECT_EQ(guid_string_to_block(text, block), 1);
    EXPECT_EQ(block_bytes(block), expect);
    bytes_t out;
    EXPECT_EQ(guid_string_to_bytes("00112233-4455-6677-8899-AABBCCDDEEFF", out), 1);
    EXPECT_EQ(out, expect);
    // The text form agrees with the block's own GUID rendering.
    EXPECT_EQ(block.to_string(false), text);
}

TEST(GuidText, OtherFormsAreRefused) {
    const char* bad[] = {
        "",
        "00112233-4455-6677-8899",                 // shorter than a GUID, longer than 22
        "{00112233-4455-6677-8899-aabbccddeeff}",  // braces
        "00112233-4455-6677-8899-aabbccddeef",     // 35 characters
        "00112233-4455-6677-8899-aabbccddeeff0",   // 37 characters
        "00112233x4455-6677-8899-aabbccddeeff",    // dash missing
        "0011223g-4455-6677-8899-aabbccddeeff",    // not hex
        "001122334455-6677-8899-aabbccddeeff-",    // dashes misplaced
    };
    for (const char* t : bad) {
        _16_byte_block block;
        const std::uint8_t ones[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
        block.set(ones);
        bytes_t out{7};
        EXPECT_EQ(guid_string_to_block(t, block), 0) << t;
        EXPECT_EQ(guid_string_to_bytes(t, out), 0) << t;
        EXPECT_EQ(block_bytes(block), bytes_t(16, 1)) << t;
        EXPECT_EQ(out, bytes_t{7}) << t;
    }
}

TEST(Hex32ToBlock, ThirtyTwoDigitsOnly) {
    std::string text = "00112233445566778899aabbccddeeff";
    _16_byte_block block;
    hex32_to_block(block, text);
    EXPECT_EQ(block.to_string(false), "00112233-4455-6677-8899-aabbccddeeff");
    EXPECT_EQ(text, "00112233 4455 6677 8899aabbccddeeff");  // the caller's text changes

    std::string short_text = "0011223344556677";
    const std::uint8_t ones[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    block.set(ones);
    hex32_to_block(block, short_text);
    EXPECT_EQ(block_bytes(block), bytes_t(16, 1));
    EXPECT_EQ(short_text, "0011223344556677");
}

TEST(Comparisons, BlocksAndVectors) {
    _16_byte_block a;
    _16_byte_block b;
    EXPECT_TRUE(blocks_equal(a, b));
    EXPECT_FALSE(blocks_differ(a, b));
    guid_string_to_block("00000000-0000-0000-0000-000000000001", b);
    EXPECT_FALSE(blocks_equal(a, b));
    EXPECT_TRUE(blocks_differ(a, b));
    EXPECT_TRUE(byte_vectors_equal(bytes_t{1, 2}, bytes_t{1, 2}));
    EXPECT_FALSE(byte_vectors_equal(bytes_t{1, 2}, bytes_t{1, 2, 0}));
    EXPECT_FALSE(byte_vectors_equal(bytes_t{1, 3}, bytes_t{1, 2}));
}

}  // namespace
