#include "common/line_endings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <memory>

namespace {

int detect(const std::string& s) {
    return detect_line_ending(reinterpret_cast<const std::uint8_t*>(s.data()),
                              static_cast<std::uint32_t>(s.size()));
}

std::vector<std::uint16_t> units(const std::string& s) {
    return std::vector<std::uint16_t>(s.begin(), s.end());
}

int detect16(const std::string& s) {
    std::vector<std::uint16_t> u = units(s);
    return detect_line_ending_utf16(u.data(), static_cast<std::uint32_t>(u.size() * 2));
}

// A heap copy of exactly the given units, so that a read past the end is caught by the sanitizer.
std::unique_ptr<std::uint16_t[]> exact(const std::vector<std::uint16_t>& v) {
    std::unique_ptr<std::uint16_t[]> p(new std::uint16_t[v.size()]);
    std::copy(v.begin(), v.end(), p.get());
    return p;
}

}  // namespace

TEST(DetectLineEnding, styles_of_both_widths) {
    const struct {
        const char* text;
        int style;
    } cases[] = {
        {"a\r\nb", 1},   {"a\nb", 3},  {"a\n\rb", 4},  {"a\rb", 2},      {"a\r\nb\nc", 6}, {"a\n", 7},
        {"", 7},         {"abc", 7},   {"a\rb\rc", 2}, {"a\nb\r\nc", 6}, {"a\rb\nc", 6},   {"a\r\nb\r\nc", 1},
        {"\n\r\n\r", 4}, {"a\n\n", 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(detect(c.text), c.style) << c.text;
        EXPECT_EQ(detect16(c.text), c.style) << c.text;
    }
    EXPECT_EQ(detect_line_ending(nullptr, 10), 7);
    EXPECT_EQ(detect_line_ending_utf16(nullptr, 10), 7);
    // An odd byte count covers the whole units only.
    std::vector<std::uint16_t> u = units("a\nb");
    EXPECT_EQ(detect_line_ending_utf16(u.data(), 5), 7);  // two units: the LF is the last one
    EXPECT_EQ(detect_line_ending_utf16(u.data(), 6), 3);
}

TEST(DetectLineEnding, last_byte_is_never_read_as_pair_start) {
    std::unique_ptr<std::uint8_t[]> one(new std::uint8_t[1]{'\r'});
    EXPECT_EQ(detect_line_ending(one.get(), 1), 7);
    std::unique_ptr<std::uint8_t[]> two(new std::uint8_t[2]{'x', '\r'});
    EXPECT_EQ(detect_line_ending(two.get(), 2), 7);
}

TEST(AdvanceLineBreak, crlf_moves_past_pair_and_lone_lf_stays_on_it) {
    std::vector<std::uint16_t> v = units("ab\r\ncd\nef");
    auto buf = exact(v);
    const std::uint16_t* p = buf.get();
    std::uint32_t rem = static_cast<std::uint32_t>(v.size());
    EXPECT_EQ(advance_past_line_break_utf16(p, rem), 1);
    EXPECT_EQ(p, buf.get() + 4);
    EXPECT_EQ(rem, v.size() - 4);
    EXPECT_EQ(advance_past_line_break_utf16(p, rem), 1);
    EXPECT_EQ(p, buf.get() + 6);  // on the LF
    EXPECT_EQ(*p, u'\n');
    EXPECT_EQ(rem, v.size() - 6);
    ++p;
    --rem;
    EXPECT_EQ(advance_past_line_break_utf16(p, rem), 0);  // "ef" has no break
    EXPECT_EQ(p, buf.get() + 7);
    EXPECT_EQ(rem, 2u);
}

TEST(AdvanceLineBreak, lone_cr_skips_next_unit_and_unterminated_lines_fail_safely) {
    // CR followed by a non-LF takes that unit with it: the LF after "\rx" is still found.
    std::vector<std::uint16_t> v = units("a\rx\nb");
    auto buf = exact(v);
    const std::uint16_t* p = buf.get();
    std::uint32_t rem = static_cast<std::uint32_t>(v.size());
    EXPECT_EQ(advance_past_line_break_utf16(p, rem), 1);
    EXPECT_EQ(p, buf.get() + 3);
    // In "a CR CR LF b" the first CR swallows the second, so the LF after them stands alone.
    std::vector<std::uint16_t> w = units("a\r\r\nb");
    auto wb = exact(w);
    p = wb.get();
    rem = static_cast<std::uint32_t>(w.size());
    EXPECT_EQ(advance_past_line_break_utf16(p, rem), 1);
    EXPECT_EQ(p, wb.get() + 3);  // left on that LF
    // A CR in the last unit, or a CR whose skip runs past the end: no break, nothing read past end.
    for (const char* text : {"abc\r", "ab\rc", "\r", "abc"}) {
        std::vector<std::uint16_t> t = units(text);
        auto tb = exact(t);
        const std::uint16_t* q = tb.get();
        std::uint32_t r = static_cast<std::uint32_t>(t.size());
        EXPECT_EQ(advance_past_line_break_utf16(q, r), 0) << text;
        EXPECT_EQ(q, tb.get());
        EXPECT_EQ(r, t.size());
    }
    const std::uint16_t* null_p = nullptr;
    std::uint32_t r = 5;
    EXPECT_EQ(advance_past_line_break_utf16(null_p, r), 0);
}

TEST(LfToCrlf, converts_only_lf_text) {
    std::string out = "keep";
    const std::string lf = "a\nb\n";
    EXPECT_EQ(lf_to_crlf(reinterpret_cast<const std::uint8_t*>(lf.data()), 4, out), 1);
    EXPECT_EQ(out, "a\r\nb\r\n");
    out = "keep";
    const std::string crlf = "a\r\nb";
    EXPECT_EQ(lf_to_crlf(reinterpret_cast<const std::uint8_t*>(crlf.data()), 4, out), 0);
    EXPECT_EQ(out, "keep");
    EXPECT_EQ(lf_to_crlf(nullptr, 4, out), 0);
}

TEST(Printable, copy_filters_and_stops_at_nul) {
    const std::uint8_t raw[] = {'a', '\n', 0x01, '\r', 0xE9, 'b', 0, 'c'};
    std::string out = "x";
    EXPECT_EQ(printable_copy(out, raw, 8, true, '.'), 1);
    EXPECT_EQ(out, "a\n.\r.b");
    EXPECT_EQ(printable_copy(out, raw, 8, false, '?'), 1);
    EXPECT_EQ(out, "a???\?b");
    EXPECT_EQ(printable_copy(out, raw, 8, false, 0), 1);
    EXPECT_EQ(out, "ab");
    EXPECT_EQ(printable_copy(out, raw, 1, false, 0), 1);
    EXPECT_EQ(out, "a");
    EXPECT_EQ(printable_copy(out, nullptr, 3, true, '.'), 0);
    EXPECT_EQ(printable_copy(out, raw, 0, true, '.'), 0);
    EXPECT_EQ(printable_copy(out, raw, -1, true, '.'), 0);
    EXPECT_EQ(out, "");
}

TEST(Printable, prefix_and_text_tests) {
    const std::uint8_t raw[] = {'a', 'b', ' ', '~', 0x7F, 'c'};
    std::string out = "x";
    EXPECT_EQ(leading_printable(raw, 6, out), 4);
    EXPECT_EQ(out, "ab ~");
    EXPECT_EQ(leading_printable(raw, 2, out), 2);
    EXPECT_EQ(out, "ab");
    EXPECT_EQ(leading_printable(nullptr, 2, out), 0);
    EXPECT_EQ(leading_printable(raw, -3, out), 0);
    EXPECT_EQ(vector_is_text({'a', '\t', '\r', '\n', '~'}), 1);
    EXPECT_EQ(vector_is_text({'a', 0}), 0);
    EXPECT_EQ(vector_is_text({'a', 0x80}), 0);
    EXPECT_EQ(vector_is_text({}), 0);
    EXPECT_EQ(printable_prefix_length({'a', 'b', '\t', 'c'}), 2);
    EXPECT_EQ(printable_prefix_length({}), 0);
}

TEST(Utf16Length, terminated_bounded_and_capped) {
    const std::uint16_t text[] = {'a', 'b', 'c', 0, 'd'};
    EXPECT_EQ(utf16_strlen(text), 3u);
    EXPECT_EQ(utf16_strlen(nullptr), 0u);
    EXPECT_EQ(utf16_strlen(text + 3), 0u);
    EXPECT_EQ(utf16_strlen(text, 5), 3u);
    EXPECT_EQ(utf16_strlen(text, 3), 0u);  // no terminator within the bound: failure
    std::vector<std::uint16_t> long_text(513, 'x');
    long_text.push_back(0);
    EXPECT_EQ(utf16_strlen(long_text.data()), 513u);
    EXPECT_EQ(utf16_strlen_max512(long_text.data()), 0u);
    long_text[512] = 0;
    EXPECT_EQ(utf16_strlen_max512(long_text.data()), 512u);
    EXPECT_EQ(utf16_strlen_max512(nullptr), 0u);
    auto unterminated = exact(std::vector<std::uint16_t>(4, 'x'));
    EXPECT_EQ(utf16_strlen_max512(unterminated.get(), 4), 0u);
    EXPECT_EQ(utf16_strlen(unterminated.get(), 4), 0u);
}

TEST(Utf16Length, vector_lengths) {
    EXPECT_EQ(utf16_vector_byte_length({'a', 'b', 0, 0}), 4u);
    EXPECT_EQ(utf16_vector_byte_length({0, 0}), 0u);
    EXPECT_EQ(utf16_vector_byte_length({}), 0u);
    EXPECT_EQ(utf16_vector_byte_length({'a', 0, 'b'}), 6u);
    EXPECT_EQ(utf16_vector_length({'a', 'b', 0}), 2u);
    EXPECT_EQ(utf16_vector_length({'a', 0, 0}), 2u);
    EXPECT_EQ(utf16_vector_length({'a', 'b'}), 2u);
    EXPECT_EQ(utf16_vector_length({}), 0u);
}

TEST(Utf16Lower, stops_at_nul_or_768_units) {
    std::setlocale(LC_ALL, "C.UTF-8");
    const std::uint16_t text[] = {'A', 0xC9, 'b', 0, 'Z'};
    EXPECT_EQ(utf16z_to_lower_wide(text), (std::wstring{L'a', wchar_t(0xE9), L'b'}));
    EXPECT_EQ(utf16z_to_lower_wide(nullptr), L"");
    std::vector<std::uint16_t> big(800, 'Q');
    EXPECT_EQ(utf16z_to_lower_wide(big.data()), std::wstring(768, L'q'));
    auto unterminated = exact({'X', 'Y'});
    EXPECT_EQ(utf16z_to_lower_wide(unterminated.get(), 2), L"xy");
}

TEST(CharConversions, latin1_and_utf16_units) {
    EXPECT_EQ(latin1_to_utf8("\xE9"), "\xC3\xA9");
    EXPECT_EQ(latin1_to_utf8("a\x80\xFF"), "a\xC2\x80\xC3\xBF");
    EXPECT_EQ(latin1_to_utf8(nullptr), "");
    EXPECT_EQ(latin1_char_to_utf8('\xE9'), "\xC3\xA9");
    EXPECT_EQ(latin1_char_to_utf8('z'), "z");
    EXPECT_EQ(utf16_unit_to_utf8(8364), "\xE2\x82\xAC");
    EXPECT_EQ(utf16_unit_to_utf8(0x7F), "\x7F");
    EXPECT_EQ(utf16_unit_to_utf8(0x80), "\xC2\x80");
    EXPECT_EQ(utf16_unit_to_utf8(0x7FF), "\xDF\xBF");
    EXPECT_EQ(utf16_unit_to_utf8(0x800), "\xE0\xA0\x80");
    EXPECT_EQ(utf16_unit_to_utf8(0xD800), "\xED\xA0\x80");
    EXPECT_EQ(utf16_unit_to_utf8(0xFFFF), "\xEF\xBF\xBF");
}

TEST(CharConversions, narrow_wide_sign_extension) {
    std::wstring out = L"keep";
    narrow_to_wide(nullptr, out);
    narrow_to_wide("", out);
    EXPECT_EQ(out, L"keep");
    narrow_to_wide("a\xE9", out);
    EXPECT_EQ(out, (std::wstring{L'a', static_cast<wchar_t>(-23)}));
    cstr_to_wide("", out);
    EXPECT_EQ(out, L"");
    out = L"keep";
    cstr_to_wide(nullptr, out);
    EXPECT_EQ(out, L"");
    cstr_to_wide("xy", out);
    EXPECT_EQ(out, L"xy");
    string_to_wide(std::string("a\0\x80", 3), out);
    EXPECT_EQ(out, (std::wstring{L'a', L'\0', static_cast<wchar_t>(-128)}));
    std::string n;
    wide_to_narrow(std::wstring{L'a', wchar_t(0x1E9), static_cast<wchar_t>(-23)}, n);
    EXPECT_EQ(n, "a\xE9\xE9");
}

TEST(CharConversions, u32_array_refuses_what_does_not_fit) {
    std::uint32_t arr[4] = {9, 9, 9, 9};
    EXPECT_EQ(string_to_u32_array("ab\xFF", arr, 4), arr);
    EXPECT_EQ(arr[0], 'a');
    EXPECT_EQ(arr[1], 'b');
    EXPECT_EQ(arr[2], 0xFFFFFFFFu);
    EXPECT_EQ(arr[3], 0u);
    std::uint32_t small[3] = {9, 9, 9};
    EXPECT_EQ(string_to_u32_array("abc", small, 3), nullptr);  // the terminator would not fit
    EXPECT_EQ(small[0], 0u);
    EXPECT_EQ(small[1], 9u);
    EXPECT_EQ(string_to_u32_array("", small, 1), small);
    EXPECT_EQ(small[0], 0u);
    EXPECT_EQ(string_to_u32_array("a", nullptr, 4), nullptr);
    EXPECT_EQ(string_to_u32_array("a", small, 0), nullptr);
}

TEST(UnicodeStringEx, constructors_and_ownership) {
    std::uint16_t buf[4] = {7, 7, 7, 7};
    _UNICODE_STRING_EX a(buf, 8);
    EXPECT_EQ(a.length, 0);
    EXPECT_EQ(a.maximum_length, 8);
    EXPECT_EQ(a.buffer, buf);
    EXPECT_FALSE(a.owns);
    EXPECT_EQ(buf[0], 0);
    buf[0] = 7;
    _UNICODE_STRING_EX b(buf, 4, 8);
    EXPECT_EQ(b.length, 4);
    EXPECT_EQ(buf[0], 7);
    _UNICODE_STRING_EX none(nullptr, 8);  // must not write through a null buffer
    EXPECT_EQ(none.buffer, nullptr);
    _UNICODE_STRING_EX owned(static_cast<std::size_t>(10));
    ASSERT_NE(owned.buffer, nullptr);
    EXPECT_TRUE(owned.owns);
    EXPECT_EQ(owned.maximum_length, 20);
    EXPECT_EQ(owned.length, 0);
    EXPECT_EQ(owned.buffer[0], 0);
    _UNICODE_STRING_EX zero(static_cast<std::size_t>(0));
    EXPECT_EQ(zero.buffer, nullptr);
    EXPECT_FALSE(zero.owns);
    _UNICODE_STRING_EX too_big(static_cast<std::size_t>(40000));
    EXPECT_EQ(too_big.buffer, nullptr);
    EXPECT_EQ(too_big.maximum_length, 0);
    _UNICODE_STRING_EX largest(static_cast<std::size_t>(32767));
    EXPECT_EQ(largest.maximum_length, 65534);
}
