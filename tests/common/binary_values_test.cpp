#include "common/binary_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<unsigned char>;

// A heap copy of exactly the first n bytes, so that a read past them trips the address sanitizer.
std::unique_ptr<unsigned char[]> exact(const bytes& b, std::size_t n) {
    std::unique_ptr<unsigned char[]> p(new unsigned char[n == 0 ? 1 : n]);
    for (std::size_t i = 0; i < n; ++i) p[i] = b[i];
    return p;
}

const bytes kSid = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 33, 2, 0, 0};

TEST(GuidToTextStyle, four_styles) {
    const std::uint64_t first = 0x0706050403020100ull, second = 0x0f0e0d0c0b0a0908ull;
    std::string out;
    EXPECT_EQ(guid_to_text_style(out, first, second, 0), 1);
    EXPECT_EQ(out, "03020100-0504-0706-0809-0a0b0c0d0e0f");
    guid_to_text_style(out, first, second, 9);
    EXPECT_EQ(out, "03020100-0504-0706-0809-0a0b0c0d0e0f");
    guid_to_text_style(out, first, second, 1);
    EXPECT_EQ(out, "0x03020100, 0x0504, 0x0706, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f");
    guid_to_text_style(out, first, second, 2);
    EXPECT_EQ(out, "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f");
    guid_to_text_style(out, 0, 0xff, 3);
    EXPECT_EQ(
        out,
        "0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00");
}

TEST(GuidToInitializer, fields_words_and_number) {
    guid_fields g;
    g.data1 = 0xabc;
    for (int i = 0; i < 8; ++i) g.data4[i] = static_cast<std::uint8_t>(0xf0 + i);
    set_guid_word2(g, 0x12);
    set_guid_word3(g, 0xbeef);
    std::string out;
    EXPECT_EQ(guid_to_initializer(out, g), 1);
    EXPECT_EQ(out, "0x00000abc, 0x0012, 0xbeef, 0xf0, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7");
    EXPECT_EQ(guid_to_initializer_with_number(out, g, 65535), 1);
    EXPECT_EQ(out, "0x00000abc, 0x0012, 0xbeef, 0xf0, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 65535");
}

TEST(SidToText, well_known_sid_and_short_buffers) {
    std::string out = "old";
    auto full = exact(kSid, 16);
    EXPECT_EQ(sid_to_text(out, full.get(), 16), 1);
    EXPECT_EQ(out, "S-1-5-32-545");
    EXPECT_EQ(sid_to_text_strict(out, full.get(), 16), 1);
    EXPECT_EQ(sid_text(full.get(), 16), "S-1-5-32-545");

    auto short_by_one = exact(kSid, 15);
    EXPECT_EQ(sid_to_text(out, short_by_one.get(), 15), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(sid_text(short_by_one.get(), 15), "");
    EXPECT_EQ(sid_to_text(out, nullptr, 16), 0);
    auto eleven = exact(kSid, 11);
    EXPECT_EQ(sid_to_text(out, eleven.get(), 11), 0);

    // A longer buffer is accepted, except by the strict form.
    bytes longer = kSid;
    longer.push_back(7);
    EXPECT_EQ(sid_to_text(out, longer.data(), 17), 1);
    EXPECT_EQ(out, "S-1-5-32-545");
    EXPECT_EQ(sid_to_text_strict(out, longer.data(), 17), 0);
    // No sub-authority; a large one is unsigned.
    const bytes none = {1, 0, 0, 0, 0, 0, 0, 18, 9, 9, 9, 9};
    EXPECT_EQ(sid_text(none.data(), 12), "S-1-18");
    const bytes big = {1, 1, 0, 0, 0, 0, 0, 5, 0xff, 0xff, 0xff, 0xff};
    EXPECT_EQ(sid_text(big.data(), 12), "S-1-5-4294967295");
}

std::string ipv6(const std::vector<std::uint16_t>& host_units) {
    bytes b;
    for (auto u : host_units) {
        b.push_back(static_cast<unsigned char>(u >> 8));
        b.push_back(static_cast<unsigned char>(u));
    }
    std::vector<std::uint16_t> stored(host_units.size());
    std::memcpy(stored.data(), b.data(), b.size());
    std::string out;
    EXPECT_EQ(ipv6_to_text(stored.data(), static_cast<std::uint32_t>(b.size()), out), 1);
    return out;
}

TEST(Ipv6ToText, first_zero_run_compressed) {
    EXPECT_EQ(ipv6({0xfe80, 0, 0, 0, 1, 2, 3, 4}), "fe80::1:2:3:4");
    EXPECT_EQ(ipv6({0, 0, 0, 0, 0, 0, 0, 0}), "::");
    EXPECT_EQ(ipv6({0, 0, 0, 0, 0, 0, 0, 1}), "::1");
    EXPECT_EQ(ipv6({0x2001, 0xdb8, 0, 0, 1, 0, 0, 0xabcd}), "2001:db8::1:0:0:abcd");
    EXPECT_EQ(ipv6({1, 0, 2, 0}), "1::2:0");
    EXPECT_EQ(ipv6({0xffff, 0x10, 0}), "ffff:10::");
    std::string out = "kept";
    const std::uint16_t unit = 0;
    EXPECT_EQ(ipv6_to_text(nullptr, 16, out), 0);
    EXPECT_EQ(ipv6_to_text(&unit, 0, out), 0);
    EXPECT_EQ(out, "kept");
    // An address ending one byte early reads seven units; an odd length drops the half unit.
    const bytes loopback = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    auto fifteen = exact(loopback, 15);
    EXPECT_EQ(ipv6_to_text(reinterpret_cast<const std::uint16_t*>(fifteen.get()), 15, out), 1);
    EXPECT_EQ(out, "::");
    auto odd = exact({0x12, 0x34, 0x56}, 3);
    EXPECT_EQ(ipv6_to_text(reinterpret_cast<const std::uint16_t*>(odd.get()), 3, out), 1);
    EXPECT_EQ(out, "1234");
}

TEST(ReadPrefixedString, one_and_two_byte_headers) {
    // The second case ends one byte early; the fifth lacks the second header byte.
    const struct {
        bytes data;
        std::uint32_t available;
        std::string text;
        std::uint32_t used;
    } cases[] = {
        {{3, 'a', 'b', 'c'}, 4, "abc", 4},
        {{3, 'a', 'b', 'c'}, 3, "", 1},
        {{3}, 1, "", 1},
        {{0, 'x'}, 2, "", 1},
        {{0x81}, 1, "", 0},
        {{0x80, 0x02, 'h', 'i'}, 4, "hi", 4},
        {{0x80, 0x02, 'h'}, 3, "", 2},
        {{0x80, 0x00}, 2, "", 2},
    };
    for (const auto& c : cases) {
        auto p = exact(c.data, c.available);
        std::string out = "old";
        EXPECT_EQ(read_prefixed_string(out, p.get(), c.available), c.used);
        EXPECT_EQ(out, c.text);
    }
    bytes long_one = {0x80, 0x80};
    long_one.insert(long_one.end(), 128, 'z');
    std::string out;
    EXPECT_EQ(read_prefixed_string_vector(out, long_one), 130u);
    EXPECT_EQ(out, std::string(128, 'z'));
    bytes b256 = {0x81, 0x00};
    b256.insert(b256.end(), 256, 'q');
    EXPECT_EQ(read_prefixed_string_vector(out, b256), 258u);
    EXPECT_EQ(out.size(), 256u);
    b256.pop_back();
    EXPECT_EQ(read_prefixed_string_vector(out, b256), 2u);
    EXPECT_EQ(out, "");
    EXPECT_EQ(read_prefixed_string_vector(out, {}), 0u);
    EXPECT_EQ(read_prefixed_string(out, nullptr, 4), 0u);
}

TEST(ByteOrder, swaps_halves_and_little_endian_numbers) {
    EXPECT_EQ(swap16(0x1234), 0x3412);
    EXPECT_EQ(swap32(0x12345678u), 0x78563412u);
    EXPECT_EQ(swap64(0x0102030405060708ull), 0x0807060504030201ull);
    std::uint32_t s = 0;
    EXPECT_EQ(swap32_to(0xaabbccddu, s), 1);
    EXPECT_EQ(s, 0xddccbbaau);
    std::uint32_t hi = 0, lo = 0;
    split_u64(0x1122334455667788ull, hi, lo);
    EXPECT_EQ(hi, 0x11223344u);
    EXPECT_EQ(lo, 0x55667788u);
    std::uint64_t joined = 0;
    EXPECT_EQ(join_u64(hi, lo, joined), 0x1122334455667788ull);
    EXPECT_EQ(joined, 0x1122334455667788ull);

    const bytes nine = {1, 0, 0, 0, 0, 0, 0, 0, 5};
    auto p = exact(nine, 9);
    EXPECT_EQ(sum_u64_words(p.get(), 9), 6u);
    EXPECT_EQ(sum_u64_words(p.get(), 8), 1u);
    EXPECT_EQ(sum_u64_words(p.get(), 0), 0u);
    EXPECT_EQ(sum_u64_words(nullptr, 9), 0u);
    const bytes wrap = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 2};
    EXPECT_EQ(sum_u64_words(wrap.data(), 9), 1u);

    const bytes le = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    auto three = exact(le, 3);
    EXPECT_EQ(le_bytes_to_u64(three.get(), 3), 0x030201u);
    EXPECT_EQ(le_bytes_to_u64(le.data(), 20), 0x0807060504030201ull);
    EXPECT_EQ(le_bytes_to_u64(le.data(), 0), 0u);
    EXPECT_EQ(le_bytes_to_u64(le.data(), -1), 0u);
    EXPECT_EQ(le_bytes_to_u64(nullptr, 4), 0u);
    EXPECT_EQ(le_vector_to_u64(le), 0x0807060504030201ull);
    EXPECT_EQ(le_vector_to_u64({0x34, 0x12}), 0x1234u);
    EXPECT_EQ(le_vector_to_u64({}), 0u);

    std::pair<std::uint64_t, std::uint64_t> range{7, 9};
    EXPECT_EQ(collapse_range(range), 7u);
    EXPECT_EQ(range.second, 7u);
    EXPECT_EQ(always_true(), 1);
    EXPECT_EQ(short_path_limit(), 46);
}

}  // namespace
