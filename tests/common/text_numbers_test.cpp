#include "common/text_numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

using strings = std::vector<std::string>;
using cells = std::vector<std::uint16_t>;
using bytes_t = std::vector<std::uint8_t>;

TEST(CstrToU64, FormsThatParse) {
    std::uint64_t v = 9;
    EXPECT_TRUE(cstr_to_u64("  42", &v));
    EXPECT_EQ(v, 42u);
    EXPECT_TRUE(cstr_to_u64("0x1F", &v));
    EXPECT_EQ(v, 31u);
    EXPECT_TRUE(cstr_to_u64("x1F", &v));
    EXPECT_EQ(v, 31u);
    EXPECT_TRUE(cstr_to_u64("0XffffFFFFffffFFFF", &v));
    EXPECT_EQ(v, 0xFFFFFFFFFFFFFFFFull);
    EXPECT_TRUE(cstr_to_u64("o17", &v));
    EXPECT_EQ(v, 15u);
    EXPECT_TRUE(cstr_to_u64("12ab", &v));
    EXPECT_EQ(v, 12u);
    EXPECT_TRUE(cstr_to_u64("18446744073709551615", &v));
    EXPECT_EQ(v, 0xFFFFFFFFFFFFFFFFull);
    v = 9;
    EXPECT_TRUE(cstr_to_u64("abc", &v));
    EXPECT_EQ(v, 0u);
}

TEST(CstrToU64, OverflowAndShortPrefixesLeaveZero) {
    std::uint64_t v = 9;
    EXPECT_TRUE(cstr_to_u64("18446744073709551616", &v));
    EXPECT_EQ(v, 0u);
    v = 9;
    EXPECT_TRUE(cstr_to_u64("0x", &v));  // read as decimal text: the leading 0
    EXPECT_EQ(v, 0u);
    v = 9;
    EXPECT_TRUE(cstr_to_u64("x1", &v));  // too short for a prefix, no decimal digit
    EXPECT_EQ(v, 0u);
    v = 9;
    EXPECT_TRUE(cstr_to_u64("0xzz", &v));
    EXPECT_EQ(v, 0u);
    v = 9;
    EXPECT_TRUE(cstr_to_u64("-", &v));
    EXPECT_EQ(v, 0u);
}

TEST(CstrToU64, Failures) {
    std::uint64_t v = 9;
    EXPECT_FALSE(cstr_to_u64("4 2", &v));
    EXPECT_EQ(v, 0u);
    EXPECT_FALSE(cstr_to_u64("0x1ffffffffffffffff", &v));       // 17 hex digits
    EXPECT_FALSE(cstr_to_u64("o77777777777777777777777", &v));  // 23 octal digits
    EXPECT_FALSE(cstr_to_u64("123456789012345678901", &v));     // 21 characters
    EXPECT_FALSE(cstr_to_u64(std::string(31, '1').c_str(), &v));
    EXPECT_FALSE(cstr_to_u64((std::string(11, ' ') + std::string(20, '1')).c_str(), &v));  // blanks count
    EXPECT_TRUE(cstr_to_u64((std::string(10, ' ') + std::string(20, '1')).c_str(), &v));
    EXPECT_EQ(v, 11111111111111111111ull);
    EXPECT_FALSE(cstr_to_u64("", &v));
    EXPECT_FALSE(cstr_to_u64("   ", &v));
    EXPECT_FALSE(cstr_to_u64(nullptr, &v));
    EXPECT_FALSE(cstr_to_u64("7 ", &v));
}

TEST(CstrToU64, AgreesWithStreamExtraction) {
    // The number after the prefix is read as an unsigned stream extraction reads it; signs, trailing text,
    // leading zeros, tabs and embedded prefixes included.
    struct text_case {
        const char* text;
        int base;
        std::size_t skip;
    };
    const text_case cases[] = {
        {"-7", 10, 0},
        {"+7", 10, 0},
        {"-9223372036854775809", 10, 0},
        {"-0", 10, 0},
        {"007", 10, 0},
        {"1607713895.25", 10, 0},
        {"12e5", 10, 0},
        {"\t9", 10, 0},
        {"-x", 10, 0},
        {".5", 10, 0},
        {"9999999999999999999", 10, 0},
        {"18446744073709551616", 10, 0},
        {"0x0x1f", 16, 2},
        {"0x00ff", 16, 2},
        {"0x-1", 16, 2},
        {"0x1g", 16, 2},
        {"0xFFFFFFFFFFFFFFFF", 16, 2},
        {"xAb", 16, 1},
        {"o08", 8, 1},
        {"o-17", 8, 1},
        {"o0777", 8, 1},
        {"FALSE", 10, 0},
        {"-\\t5", 10, 0},
        {"+", 10, 0},
    };
    for (const text_case& c : cases) {
        std::istringstream in(std::string(c.text).substr(c.skip));
        unsigned long long want = 0;
        in >> (c.base == 16 ? std::hex : c.base == 8 ? std::oct : std::dec) >> want;
        if (in.fail()) want = 0;
        std::uint64_t v = 1;
        EXPECT_TRUE(cstr_to_u64(c.text, &v)) << c.text;
        EXPECT_EQ(v, want) << c.text;
    }
}

TEST(CstrToU64, Fronts) {
    std::uint64_t v = 0;
    EXPECT_TRUE(string_to_u64("0x100000000", &v));
    EXPECT_EQ(v, 0x100000000ull);
    EXPECT_TRUE(wstring_to_u64(L"o10", &v));
    EXPECT_EQ(v, 8u);
    EXPECT_FALSE(wstring_to_u64(L"1 2", &v));
}

TEST(FloatingText, DoublesAndFloats) {
    double d = 1;
    EXPECT_TRUE(cstr_to_double("2.5e3", &d));
    EXPECT_DOUBLE_EQ(d, 2500.0);
    EXPECT_FALSE(cstr_to_double("", &d));
    EXPECT_FALSE(cstr_to_double(nullptr, &d));
    EXPECT_TRUE(wide_cstr_to_double(L"-0.25", &d));
    EXPECT_DOUBLE_EQ(d, -0.25);
    float f = 1;
    EXPECT_TRUE(cstr_to_float("", &f));
    EXPECT_EQ(f, 0.0f);
    EXPECT_TRUE(cstr_to_float("1.5", &f));
    EXPECT_EQ(f, 1.5f);
    EXPECT_TRUE(cstr_to_float("1e300", &f));
    EXPECT_TRUE(std::isinf(f));
    EXPECT_TRUE(cstr_to_float("-1e300", &f));
    EXPECT_TRUE(std::isinf(f) && f < 0);
    EXPECT_FALSE(cstr_to_float(nullptr, &f));
    EXPECT_TRUE(wide_cstr_to_float(L"3", &f));
    EXPECT_EQ(f, 3.0f);
}

TEST(HexFloatText, MantissaFractionExponent) {
    double d = 7;
    std::string t = "0x1.8p3";
    EXPECT_TRUE(hex_float_text_to_double(t, &d));
    EXPECT_DOUBLE_EQ(d, 12.0);
    t = "-0X1.8";
    EXPECT_TRUE(hex_float_text_to_double(t, &d));
    EXPECT_DOUBLE_EQ(d, -1.5);
    EXPECT_EQ(t, "-0x1.8");  // lower-cased in place
    t = "0x10p-1";
    EXPECT_TRUE(hex_float_text_to_double(t, &d));
    EXPECT_DOUBLE_EQ(d, 8.0);
    t = "0xA.Cp1";
    EXPECT_TRUE(hex_float_text_to_double(t, &d));
    EXPECT_DOUBLE_EQ(d, 21.5);
    t = "0xG";
    EXPECT_FALSE(hex_float_text_to_double(t, &d));
    EXPECT_EQ(d, 0.0);
    t = "1x5";
    EXPECT_FALSE(hex_float_text_to_double(t, &d));
    t = "0x";
    EXPECT_FALSE(hex_float_text_to_double(t, &d));
    t = "-0x";
    EXPECT_TRUE(hex_float_text_to_double(t, &d));
    EXPECT_EQ(d, 0.0);
    t = "0x1p99999999999";
    EXPECT_TRUE(hex_float_text_to_double(t, &d));
    EXPECT_TRUE(std::isinf(d));
}

TEST(Words, FirstAndPop) {
    std::string w;
    EXPECT_TRUE(first_word("  alpha beta", &w));
    EXPECT_EQ(w, "alpha");
    EXPECT_FALSE(first_word("", &w));
    std::string text = " go fast go";
    EXPECT_TRUE(pop_first_word(&text, &w));
    EXPECT_EQ(w, "go");
    EXPECT_EQ(text, "  fast go");
}

TEST(SplitWordsQuoted, RunsAndCounts) {
    strings out;
    EXPECT_EQ(split_words_quoted("a \"b c\" d", 0, &out, true), 4u);
    EXPECT_EQ(out, (strings{"a", "b c", "d"}));
    out.clear();
    EXPECT_EQ(split_words_quoted("a \"b c", 0, &out, true), 3u);
    EXPECT_EQ(out, (strings{"a", "b c "}));
    out.clear();
    EXPECT_EQ(split_words_quoted("\"one\" \" two \" x", 0, &out, true), 5u);
    EXPECT_EQ(out, (strings{"one", " two ", "x"}));  // a lone opening quote starts the run with a blank
    out.clear();
    EXPECT_EQ(split_words_quoted("a \"b c\" d", 2, &out, true), 2u);
    EXPECT_EQ(out, (strings{"a", "b "}));
    out = {"kept"};
    EXPECT_EQ(split_words_quoted("\"x y\"", 0, &out, false), 2u);
    EXPECT_EQ(out, (strings{"kept", "\"x", "y\""}));
    EXPECT_EQ(split_words_quoted(nullptr, 0, &out, true), 0u);

    strings tokens;
    EXPECT_TRUE(split_quoted_tokens("p \"q r\"", &tokens));
    EXPECT_EQ(tokens, (strings{"p", "q r"}));
    EXPECT_FALSE(split_quoted_tokens("", &tokens));
    EXPECT_FALSE(split_quoted_tokens("   ", &tokens));
}

TEST(ResplitArgs, BySeparatorOrWords) {
    const char* argv[] = {"-f", "a,b", "c d"};
    strings out{"stale"};
    EXPECT_TRUE(resplit_args(&out, 3, argv, ','));
    EXPECT_EQ(out, (strings{"-f a", "b \"c d\""}));
    EXPECT_TRUE(resplit_args(&out, 3, argv, ' '));
    EXPECT_EQ(out, (strings{"-f", "a,b", "c d"}));
    EXPECT_FALSE(resplit_args(&out, 0, argv, ' '));
}

TEST(TokenByteList, AcceptedTokensOnly) {
    bytes_t out{1};
    EXPECT_TRUE(parse_token_byte_list("0x41 junk 'B' 300 \"o7\"", &out));
    EXPECT_EQ(out, (bytes_t{0x41, 'B', 300 & 0xFF, 7}));
    EXPECT_FALSE(parse_token_byte_list("junk", &out));
    EXPECT_TRUE(out.empty());
}

TEST(BytePattern16, WildcardsGapsAndCleanup) {
    cells out;
    EXPECT_TRUE(parse_byte_pattern16("4D 5A ?? ??", &out));
    EXPECT_EQ(out, (cells{0x4D, 0x5A}));
    EXPECT_TRUE(parse_byte_pattern16("4D *10 ??", &out));
    EXPECT_EQ(out, (cells{0x4D}));
    EXPECT_FALSE(parse_byte_pattern16("4D *10 ?? 5A", &out));
    EXPECT_TRUE(parse_byte_pattern16("4D *10 5A", &out));
    EXPECT_EQ(out, (cells{0x4D, kPatternGap, 0x10, 0x5A}));
    EXPECT_TRUE(parse_byte_pattern16("?? 4d * ff", &out));
    EXPECT_EQ(out, (cells{kPatternAny, 0x4D, kPatternGap, 0, 0xFF}));
    EXPECT_FALSE(parse_byte_pattern16("4D *10 *2 5A", &out));
    EXPECT_FALSE(parse_byte_pattern16("4D *100 5A", &out));
    EXPECT_FALSE(parse_byte_pattern16("4D 5", &out));
    EXPECT_EQ(out, (cells{0x4D}));  // partial list kept
    EXPECT_FALSE(parse_byte_pattern16("4D 123", &out));
    EXPECT_FALSE(parse_byte_pattern16("-1", &out));
    EXPECT_FALSE(parse_byte_pattern16("?? *4", &out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(parse_byte_pattern16("", &out));
}

TEST(BytePattern8, WildcardsAndLimits) {
    bytes_t out{9};
    EXPECT_TRUE(parse_byte_pattern8("4D ??", &out));
    EXPECT_EQ(out, (bytes_t{0x4D, 0xFF, 0xFF}));
    EXPECT_TRUE(parse_byte_pattern8("f 0a", &out));
    EXPECT_EQ(out, (bytes_t{0x0F, 0x0A}));
    EXPECT_FALSE(parse_byte_pattern8("100", &out));
    EXPECT_FALSE(parse_byte_pattern8("-1", &out));
    EXPECT_TRUE(parse_byte_pattern8("", &out));
    EXPECT_TRUE(out.empty());
}

std::string expand(const std::string& text, std::uint32_t width, bool utf16 = false) {
    std::string out = "unchanged";
    if (!expand_tabs(reinterpret_cast<const std::uint8_t*>(text.data()),
                     static_cast<std::uint32_t>(text.size()), width, out, utf16))
        return "no tab: " + out;
    return out;
}

TEST(ExpandTabs, TabStopsPerLine) {
    EXPECT_EQ(expand("a\tb", 4), "a   b");
    EXPECT_EQ(expand("a\tb", 0), "a   b");  // width 0 means 4
    EXPECT_EQ(expand("\tx", 4), "    x");
    EXPECT_EQ(expand("abcd\te\t\tf", 4), "abcd    e       f");
    EXPECT_EQ(expand("ab\tc", 8), "ab      c");
    EXPECT_EQ(expand("plain text", 4), "no tab: unchanged");
    // Each line starts at column 0 again; CR LF is kept.
    EXPECT_EQ(expand("abc\r\n\tx\r\nab\ty", 4), "abc\r\n    x\r\nab  y");
    // With CR LF present, a lone LF does not end a line.
    EXPECT_EQ(expand("a\r\nb\nc\td", 4), "a\r\nb\nc d");
    EXPECT_EQ(expand("ab\rc\td", 4), "ab\rc   d");
}

TEST(ExpandTabs, Utf16Units) {
    const std::string text("a\0\t\0b\0\r\0\n\0\t\0", 12);
    const std::string expect("a\0 \0 \0 \0b\0\r\0\n\0 \0 \0 \0 \0", 22);
    EXPECT_EQ(expand(text, 4, true), expect);
    std::string out;
    EXPECT_EQ(expand_tabs_utf16(reinterpret_cast<const std::uint8_t*>(text.data()), 12, 4, out), 1);
    EXPECT_EQ(out, expect);
    // The bytes 09 00 across two units are not a TAB unit.
    const std::string straddle("A\t\0B", 4);
    out = "kept";
    EXPECT_EQ(expand_tabs_utf16(reinterpret_cast<const std::uint8_t*>(straddle.data()), 4, 4, out), 0);
    EXPECT_EQ(out, "kept");
    // Without a TAB unit the byte form runs and finds the TAB byte.
    EXPECT_EQ(expand(straddle, 4, true), std::string("A   \0B", 6));
}

class ExpandTabsInFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = std::string(SELK_TEST_TMP) + "/expand_tabs_XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        ASSERT_NE(mkdtemp(buf.data()), nullptr);
        dir_ = buf.data();
    }
    void TearDown() override {
        std::remove((dir_ + "/in").c_str());
        std::remove((dir_ + "/out").c_str());
        std::remove(dir_.c_str());
    }
    void write(const std::string& data) {
        std::ofstream f(dir_ + "/in", std::ios::binary);
        f << data;
    }
    std::string read_out() {
        std::ifstream f(dir_ + "/out", std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    }
    std::string dir_;
};

TEST_F(ExpandTabsInFile, WritesExpandedText) {
    write("k\tv\r\n");
    EXPECT_TRUE(expand_tabs_in_file((dir_ + "/in").c_str(), (dir_ + "/out").c_str(), 0, false));
    EXPECT_EQ(read_out(), "k   v\r\n");
}

TEST_F(ExpandTabsInFile, TextWithoutTabIsCopiedNotEmptied) {
    write("no tabs here\n");
    EXPECT_TRUE(expand_tabs_in_file((dir_ + "/in").c_str(), (dir_ + "/out").c_str(), 4, false));
    EXPECT_EQ(read_out(), "no tabs here\n");
    EXPECT_TRUE(expand_tabs_in_file((dir_ + "/in").c_str(), nullptr, 4, false));
}

TEST_F(ExpandTabsInFile, MissingInputOrOutput) {
    EXPECT_FALSE(expand_tabs_in_file((dir_ + "/absent").c_str(), (dir_ + "/out").c_str(), 4, false));
    write("a\tb");
    EXPECT_FALSE(expand_tabs_in_file((dir_ + "/in").c_str(), nullptr, 4, false));
    EXPECT_FALSE(expand_tabs_in_file((dir_ + "/in").c_str(), (dir_ + "/no_such_dir/out").c_str(), 4, false));
    EXPECT_FALSE(expand_tabs_in_file(nullptr, (dir_ + "/out").c_str(), 4, false));
}

}  // namespace
