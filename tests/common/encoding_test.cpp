#include "common/encoding.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

std::vector<std::uint8_t> bytes(const std::string& s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

// "A", e-acute (2 bytes), euro (3 bytes), U+1F600 (4 bytes), U+10FFFF (4 bytes).
const std::string kMixedUtf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
const std::wstring kMixedWide = {L'A', wchar_t(0xE9), wchar_t(0x20AC), wchar_t(0x1F600), wchar_t(0x10FFFF)};
const std::vector<std::uint16_t> kMixedUnits = {0x41, 0xE9, 0x20AC, 0xD83D, 0xDE00, 0xDBFF, 0xDFFF};

std::vector<std::uint8_t> le_bytes(const std::vector<std::uint16_t>& units) {
    std::vector<std::uint8_t> out;
    for (std::uint16_t u : units) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return out;
}

}  // namespace

TEST(Utf8Decode, round_trip_with_every_sequence_length) {
    std::wstring w;
    EXPECT_EQ(utf8_to_wide(w, kMixedUtf8), 1);
    EXPECT_EQ(w, kMixedWide);
    EXPECT_EQ(wstring_to_utf8(w), kMixedUtf8);
    EXPECT_EQ(utf8_length(kMixedUtf8), 5u);
    std::vector<std::uint32_t> cps;
    EXPECT_EQ(utf8_to_ucs4(cps, kMixedUtf8), 1);
    EXPECT_EQ(cps, (std::vector<std::uint32_t>{0x41, 0xE9, 0x20AC, 0x1F600, 0x10FFFF}));
    std::string back;
    EXPECT_EQ(ucs4_to_utf8(back, cps), 0);  // the encoder reports 0 even on success
    EXPECT_EQ(back, kMixedUtf8);
}

TEST(Utf8Decode, boundaries_of_each_length) {
    const std::vector<std::uint32_t> edges = {0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0x10000, 0x10FFFF};
    for (std::uint32_t c : edges) {
        std::string enc;
        ucs4_to_utf8(enc, {c});
        std::size_t expect_len = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        EXPECT_EQ(enc.size(), expect_len) << std::hex << c;
        EXPECT_EQ(utf8_to_wstring(enc), std::wstring(1, static_cast<wchar_t>(c))) << std::hex << c;
    }
}

TEST(Utf8Decode, truncated_sequence_keeps_prefix_and_fails) {
    std::wstring w = L"old";
    EXPECT_EQ(utf8_to_wide(w, std::string("ab\xC3")), 0);
    EXPECT_EQ(w, L"ab");
    EXPECT_EQ(utf8_to_wstring("ab\xC3"), L"");
    // Every proper prefix that cuts the 4-byte sequence fails; the whole one succeeds.
    const std::string four = "x\xF0\x9F\x98\x80";
    for (std::size_t n = 2; n < four.size(); ++n) {
        std::wstring p;
        EXPECT_EQ(utf8_to_wide(p, four.substr(0, n)), 0) << n;
        EXPECT_EQ(p, L"x") << n;
        EXPECT_EQ(utf8_length(four.substr(0, n)), 0u) << n;
    }
    EXPECT_EQ(utf8_length(four), 2u);
}

TEST(Utf8Decode, bad_lead_and_bad_continuation_fail) {
    std::wstring w;
    EXPECT_EQ(utf8_to_wide(w, "a\x80z"), 0);  // stray continuation
    EXPECT_EQ(w, L"a");
    EXPECT_EQ(utf8_to_wide(w, "\xF8\x88\x80\x80\x80"), 0);  // 11111xxx lead
    EXPECT_EQ(utf8_to_wide(w, "\xE2\x28\xA1"), 0);          // second byte not a continuation
    EXPECT_EQ(utf8_to_wide(w, "\xE2\x82\x28"), 0);          // third byte not a continuation
    EXPECT_EQ(w, L"");
    std::vector<std::uint32_t> cps;
    EXPECT_EQ(utf8_to_ucs4(cps, "ok\xFF"), 0);
    EXPECT_EQ(cps, (std::vector<std::uint32_t>{'o', 'k'}));
    EXPECT_EQ(utf8_length("\xC3"), 0u);
    EXPECT_EQ(utf8_length(""), 0u);
}

TEST(Utf8Decode, overlong_and_surrogate_forms_decode_to_their_bits) {
    std::wstring w;
    EXPECT_EQ(utf8_to_wide(w, std::string("\xC0\x80", 2)), 1);
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0], L'\0');
    EXPECT_EQ(utf8_to_wide(w, "\xED\xA0\x80"), 1);
    EXPECT_EQ(w, std::wstring(1, wchar_t(0xD800)));
    EXPECT_EQ(utf8_to_wide(w, "\xF7\xBF\xBF\xBF"), 1);
    EXPECT_EQ(w, std::wstring(1, wchar_t(0x1FFFFF)));
}

TEST(Utf8Decode, empty_input_rules) {
    std::wstring w = L"keep";
    EXPECT_EQ(utf8_decode(w, ""), 0);
    EXPECT_EQ(w, L"keep");  // the decoder itself leaves its output on empty input
    EXPECT_EQ(utf8_to_wide(w, ""), 0);
    EXPECT_EQ(w, L"");  // the wrapper always clears
    std::vector<std::uint32_t> cps = {1};
    EXPECT_EQ(utf8_to_ucs4(cps, ""), 0);
    EXPECT_TRUE(cps.empty());
}

TEST(Utf8Decode, byte_vector_forms) {
    std::wstring w;
    EXPECT_EQ(utf8_bytes_to_wide(w, bytes(kMixedUtf8)), 1);
    EXPECT_EQ(w, kMixedWide);
    EXPECT_EQ(utf8_bytes_to_wide(w, {}), 0);
    EXPECT_EQ(utf8_bytes_to_wstring(bytes("a\xE2\x82")), L"");
    EXPECT_EQ(utf8_bytes_to_wstring(bytes("\xE2\x82\xAC")), std::wstring(1, wchar_t(0x20AC)));
}

TEST(Utf8Encode, out_of_range_characters_end_the_text) {
    std::wstring w = {L'a', wchar_t(0x110000), L'b'};
    std::string out = "junk";
    EXPECT_EQ(wide_to_utf8(out, w), 0);
    EXPECT_EQ(out, "a");
    std::wstring neg = {L'x', static_cast<wchar_t>(-23), L'y'};
    EXPECT_EQ(wstring_to_utf8(neg), "x");
    EXPECT_EQ(wstring_to_utf8(L""), "");
    EXPECT_EQ(ucs4_to_utf8(out, {0x41, 0xFFFFFFFF, 0x42}), 0);
    EXPECT_EQ(out, "A");
    // Surrogate values are encoded as three bytes, as they come.
    EXPECT_EQ(wstring_to_utf8(std::wstring(1, wchar_t(0xDC00))), "\xED\xB0\x80");
}

TEST(Utf8Encode, bytes_with_terminator_and_latin1) {
    std::vector<std::uint8_t> v = {9};
    EXPECT_EQ(wide_to_utf8_bytes(v, L""), 0);
    EXPECT_TRUE(v.empty());
    EXPECT_EQ(wide_to_utf8_bytes(v, std::wstring(1, wchar_t(0xE9))), 1);
    EXPECT_EQ(v, (std::vector<std::uint8_t>{0xC3, 0xA9, 0x00}));
    std::string out = "x";
    EXPECT_EQ(latin1_string_to_utf8(out, "\xE9"), 1);
    EXPECT_EQ(out, "\xC3\xA9");
    EXPECT_EQ(latin1_string_to_utf8(out, "a\xFF\x80"), 1);
    EXPECT_EQ(out, "a\xC3\xBF\xC2\x80");
    EXPECT_EQ(latin1_string_to_utf8(out, ""), 0);
    EXPECT_EQ(out, "");
}

TEST(Utf16, units_round_trip_with_surrogate_pairs) {
    std::string out;
    EXPECT_EQ(utf16_units_to_utf8(out, kMixedUnits.data(), static_cast<std::int32_t>(kMixedUnits.size() * 2)),
              1);
    EXPECT_EQ(out, kMixedUtf8);
    std::vector<std::uint16_t> units;
    EXPECT_EQ(utf8_to_utf16(units, kMixedUtf8), 1);
    EXPECT_EQ(units, kMixedUnits);
    std::vector<std::uint32_t> cps;
    EXPECT_EQ(utf16_to_ucs4(cps, kMixedUnits), 1);
    EXPECT_EQ(cps, (std::vector<std::uint32_t>{0x41, 0xE9, 0x20AC, 0x1F600, 0x10FFFF}));
    std::vector<std::uint16_t> again;
    EXPECT_EQ(ucs4_to_utf16(again, cps), 1);
    EXPECT_EQ(again, kMixedUnits);
}

TEST(Utf16, short_counts_leave_output_untouched) {
    std::string out = "keep";
    const std::uint16_t u = 0x41;
    EXPECT_EQ(utf16_units_to_utf8(out, &u, 1), 0);
    EXPECT_EQ(utf16_units_to_utf8(out, &u, 0), 0);
    EXPECT_EQ(utf16_units_to_utf8(out, &u, -6), 0);
    EXPECT_EQ(utf16_units_to_utf8(out, nullptr, 8), 0);
    EXPECT_EQ(out, "keep");
    // An odd byte count converts the whole units only.
    const std::uint16_t two[] = {0x41, 0x42};
    EXPECT_EQ(utf16_units_to_utf8(out, two, 3), 1);
    EXPECT_EQ(out, "A");
}

TEST(Utf16, lone_high_surrogate_fails_without_reading_past_end) {
    // A high surrogate in the very last unit: heap-allocated exactly, so a read past it is caught.
    std::unique_ptr<std::uint16_t[]> units(new std::uint16_t[2]{0x41, 0xD800});
    std::string out;
    EXPECT_EQ(utf16_units_to_utf8(out, units.get(), 4), 0);
    EXPECT_EQ(out, "A");
    const std::uint16_t bad_follow[] = {0xD800, 0x41};
    EXPECT_EQ(utf16_units_to_utf8(out, bad_follow, 4), 0);
    EXPECT_EQ(out, "");
    std::vector<std::uint32_t> cps;
    EXPECT_EQ(utf16_to_ucs4(cps, {0x42, 0xDBFF}), 0);
    EXPECT_EQ(cps, (std::vector<std::uint32_t>{0x42}));
    EXPECT_EQ(utf16le_bytes_to_ucs4(cps, {0x42, 0, 0x00, 0xD8}), 0);
    EXPECT_EQ(cps, (std::vector<std::uint32_t>{0x42}));
    EXPECT_EQ(utf16_bytes_to_utf8(le_bytes({0x41, 0xD800})), "");
    std::wstring w;
    EXPECT_EQ(utf16_bytes_to_wide(w, le_bytes({0x41, 0xD800})), 0);
    EXPECT_EQ(w, L"A");
}

TEST(Utf16, lone_low_surrogate_is_taken_as_is) {
    std::string out;
    const std::uint16_t lone[] = {0xDC00, 0x41};
    EXPECT_EQ(utf16_units_to_utf8(out, lone, 4), 1);
    EXPECT_EQ(out,
              "\xED\xB0\x80"
              "A");
    std::vector<std::uint32_t> cps;
    EXPECT_EQ(utf16_to_ucs4(cps, {0xDC00}), 1);
    EXPECT_EQ(cps, (std::vector<std::uint32_t>{0xDC00}));
}

TEST(Utf16, byte_forms_read_little_endian) {
    const std::vector<std::uint8_t> le = le_bytes(kMixedUnits);
    std::string out;
    EXPECT_EQ(utf16_vector_to_utf8(out, le), 1);
    EXPECT_EQ(out, kMixedUtf8);
    std::vector<std::uint8_t> odd = le;
    odd.push_back(0x41);  // the stray last byte is ignored
    EXPECT_EQ(utf16_vector_to_utf8(out, odd), 1);
    EXPECT_EQ(out, kMixedUtf8);
    EXPECT_EQ(utf16_string_to_utf8(out, std::string(le.begin(), le.end())), 1);
    EXPECT_EQ(out, kMixedUtf8);
    std::string keep = "k";
    EXPECT_EQ(utf16_string_to_utf8(keep, "A"), 0);
    EXPECT_EQ(utf16_vector_to_utf8(keep, {0x41}), 0);
    EXPECT_EQ(keep, "k");
    std::wstring w;
    EXPECT_EQ(utf16_bytes_to_wide(w, le), 1);
    EXPECT_EQ(w, kMixedWide);
    EXPECT_EQ(utf16_bytes_to_wide(w, {0x41}), 0);
    std::vector<std::uint8_t> u8;
    EXPECT_EQ(utf16_bytes_to_utf8_bytes(u8, le), 1);
    EXPECT_EQ(u8, bytes(kMixedUtf8));
    EXPECT_EQ(utf16_bytes_to_utf8(le), kMixedUtf8);
    EXPECT_EQ(utf16_bytes_to_utf8({0x41}), "");
    std::vector<std::uint32_t> cps;
    EXPECT_EQ(utf16le_bytes_to_ucs4(cps, le), 1);
    EXPECT_EQ(cps.size(), 5u);
    EXPECT_EQ(utf16le_bytes_to_ucs4(cps, odd), 0);
    EXPECT_EQ(utf16le_bytes_to_ucs4(cps, {}), 0);
}

TEST(Utf16, unaligned_byte_buffers_are_read_safely) {
    std::vector<std::uint8_t> buf = {0xEE, 0x41, 0x00, 0xAC, 0x20};
    std::vector<std::uint8_t> shifted(buf.begin() + 1, buf.end());
    std::string out;
    EXPECT_EQ(utf16_vector_to_utf8(out, shifted), 1);
    EXPECT_EQ(out, "A\xE2\x82\xAC");
    std::vector<std::uint16_t> units;
    EXPECT_EQ(bytes_to_utf16_units(units, buf.data() + 1, 4), 0);
    EXPECT_EQ(units, (std::vector<std::uint16_t>{0x41, 0x20AC}));
}

TEST(Utf16, encoder_limits) {
    std::vector<std::uint16_t> units;
    EXPECT_EQ(ucs4_to_utf16(units, {0xD7FF, 0xE000, 0xFFFF}), 1);
    EXPECT_EQ(units, (std::vector<std::uint16_t>{0xD7FF, 0xE000, 0xFFFF}));
    EXPECT_EQ(ucs4_to_utf16(units, {0x41, 0xD800, 0x42}), 0);
    EXPECT_EQ(units, (std::vector<std::uint16_t>{0x41}));
    EXPECT_EQ(ucs4_to_utf16(units, {0x110000}), 0);
    EXPECT_EQ(ucs4_to_utf16(units, {0x10000}), 1);
    EXPECT_EQ(units, (std::vector<std::uint16_t>{0xD800, 0xDC00}));
    EXPECT_EQ(ucs4_to_utf16(units, {}), 0);
    // UTF-8 that decodes to a surrogate cannot become UTF-16.
    EXPECT_EQ(utf8_to_utf16(units, "\xED\xA0\x80"), 0);
    EXPECT_EQ(utf8_to_utf16(units, "a\xC3"), 0);
    EXPECT_EQ(utf8_bytes_to_utf16(units, bytes("\xF0\x9F\x98\x80")), 1);
    EXPECT_EQ(units, (std::vector<std::uint16_t>{0xD83D, 0xDE00}));
    EXPECT_EQ(utf8_bytes_to_utf16(units, bytes("\xF0\x9F\x98")), 0);
    EXPECT_EQ(utf8_bytes_to_utf16(units, {}), 0);
}

TEST(Utf16, raw_units_and_wide_widening) {
    std::vector<std::uint16_t> units = {7};
    EXPECT_EQ(bytes_to_utf16_units(units, nullptr, 4), 0);
    EXPECT_EQ(units, (std::vector<std::uint16_t>{7}));
    const std::uint8_t raw[] = {0x34, 0x12, 0xFF};
    EXPECT_EQ(bytes_to_utf16_units(units, raw, 0), 0);
    EXPECT_EQ(units, (std::vector<std::uint16_t>{7}));
    bytes_to_utf16_units(units, raw, 3);
    EXPECT_EQ(units, (std::vector<std::uint16_t>{0x1234}));
    bytes_to_utf16_units(units, std::vector<std::uint8_t>{});
    EXPECT_TRUE(units.empty());
    bytes_to_utf16_units(units, std::vector<std::uint8_t>{0x01, 0x02, 0x03, 0x04});
    EXPECT_EQ(units, (std::vector<std::uint16_t>{0x0201, 0x0403}));

    std::wstring w = {L'a', wchar_t(0x1F600)};
    EXPECT_EQ(wstring_to_utf16_units(w), (std::vector<std::uint16_t>{0x61, 0xF600}));
    EXPECT_EQ(utf16_units_to_wstring({0x61, 0xD83D}), (std::wstring{L'a', wchar_t(0xD83D)}));
    EXPECT_EQ(utf16_units_to_wstring({}), L"");
}

TEST(BytesAndLists, conversions) {
    std::vector<std::uint8_t> v = {1};
    EXPECT_EQ(string_to_bytes(v, ""), 0);
    EXPECT_TRUE(v.empty());
    EXPECT_EQ(string_to_bytes(v, std::string("a\0b", 3)), 1);
    EXPECT_EQ(bytes_to_string(v), std::string("a\0b", 3));
    EXPECT_EQ(bytes_to_string({}), "");

    std::vector<std::wstring> wl = {L"stale"};
    EXPECT_EQ(utf8_list_to_wide(wl, {}), 0);
    EXPECT_TRUE(wl.empty());
    EXPECT_EQ(utf8_list_to_wide(wl, {"a", "b\xC3", "", "\xE2\x82\xAC"}), 1);
    EXPECT_EQ(wl, (std::vector<std::wstring>{L"a", L"b", L"", std::wstring(1, wchar_t(0x20AC))}));
    std::vector<std::string> nl = {"stale"};
    EXPECT_EQ(wide_list_to_utf8(nl, {}), 0);
    EXPECT_TRUE(nl.empty());
    EXPECT_EQ(wide_list_to_utf8(nl, wl), 1);
    EXPECT_EQ(nl, (std::vector<std::string>{"a", "b", "", "\xE2\x82\xAC"}));
}

TEST(ByteOrderMarks, appended_marks_are_recognised_and_short_buffers_refused) {
    using append_fn = std::vector<std::uint8_t>& (*)(std::vector<std::uint8_t>&);
    using test_fn = int (*)(const std::uint8_t*, std::size_t);
    struct mark {
        append_fn append;
        test_fn test;
        std::vector<std::uint8_t> expect;
    };
    const std::vector<mark> marks = {
        {append_bom_utf8, is_bom_utf8, {0xEF, 0xBB, 0xBF}},
        {append_bom_utf16le, is_bom_utf16le, {0xFF, 0xFE}},
        {append_bom_utf16be, is_bom_utf16be, {0xFE, 0xFF}},
        {append_bom_utf32le, is_bom_utf32le, {0xFF, 0xFE, 0x00, 0x00}},
        {append_bom_utf32be, is_bom_utf32be, {0x00, 0x00, 0xFE, 0xFF}},
        {append_bom_utf7, is_bom_utf7, {0x2B, 0x2F, 0x76}},
        {append_bom_utf_ebcdic, is_bom_utf_ebcdic, {0xDD, 0x73, 0x66, 0x73}},
        {append_bom_scsu, is_bom_scsu, {0x0E, 0xFE, 0xFF}},
        {append_bom_bocu1, is_bom_bocu1, {0xFB, 0xEE, 0x28}},
    };
    for (std::size_t i = 0; i < marks.size(); ++i) {
        std::vector<std::uint8_t> v = {0x41};
        std::vector<std::uint8_t>& r = marks[i].append(v);
        EXPECT_EQ(&r, &v);
        std::vector<std::uint8_t> expect = {0x41};
        expect.insert(expect.end(), marks[i].expect.begin(), marks[i].expect.end());
        EXPECT_EQ(v, expect) << i;
        const std::vector<std::uint8_t>& m = marks[i].expect;
        EXPECT_EQ(marks[i].test(m.data(), m.size()), 1) << i;
        // One byte short: refused, and nothing past the given length is read.
        std::unique_ptr<std::uint8_t[]> shorter(new std::uint8_t[m.size() - 1]);
        std::copy(m.begin(), m.end() - 1, shorter.get());
        EXPECT_EQ(marks[i].test(shorter.get(), m.size() - 1), 0) << i;
        EXPECT_EQ(marks[i].test(nullptr, 8), 0) << i;
        std::vector<std::uint8_t> wrong = m;
        wrong.back() ^= 0x01;
        EXPECT_EQ(marks[i].test(wrong.data(), wrong.size()), 0) << i;
    }
    // A UTF-32LE mark also begins with the UTF-16LE mark.
    const std::uint8_t u32[] = {0xFF, 0xFE, 0x00, 0x00};
    EXPECT_EQ(is_bom_utf16le(u32, 4), 1);
}

TEST(Clearing, map_and_lists_are_emptied) {
    std::map<int, std::string> m = {{1, "a"}, {2, "b"}};
    EXPECT_EQ(clear_map_header(m, 1, 2, 3, 4), 0);
    EXPECT_TRUE(m.empty());
    m[3] = "c";
    EXPECT_EQ(clear_map_header(m), 0);
    EXPECT_TRUE(m.empty());
    std::vector<std::string> a = {"x"};
    std::vector<int> b = {1, 2};
    EXPECT_EQ(clear_two_lists(a, b, "ignored"), 0);
    EXPECT_TRUE(a.empty());
    EXPECT_TRUE(b.empty());
}
