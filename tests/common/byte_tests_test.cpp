#include "common/byte_tests.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>

#include "common/text_builders.h"

namespace {

using bytes = std::vector<unsigned char>;

std::unique_ptr<unsigned char[]> exact(const std::string& text, std::size_t n) {
    std::unique_ptr<unsigned char[]> p(new unsigned char[n == 0 ? 1 : n]);
    std::memcpy(p.get(), text.data(), n);
    return p;
}

TEST(FirstDifference, index_all_ones_or_zero) {
    auto a = exact("abcdef", 6), b = exact("abcxef", 6);
    EXPECT_EQ(first_difference(a.get(), b.get(), 6), 3u);
    EXPECT_EQ(first_difference(a.get(), a.get(), 6), ~std::uint64_t{0});
    EXPECT_EQ(first_difference(a.get(), b.get(), 3), ~std::uint64_t{0});
    auto c = exact("x", 1);
    EXPECT_EQ(first_difference(a.get(), c.get(), 1), 0u);
    EXPECT_EQ(first_difference(a.get(), b.get(), 0), 0u);
    EXPECT_EQ(first_difference(nullptr, b.get(), 6), 0u);
}

TEST(Orderings, blocks_and_vectors_compare_unsigned_bytes) {
    unsigned char x[16] = {}, y[16] = {};
    y[15] = 0x80;
    _16_byte_block a, b;
    a.set(x);
    b.set(y);
    EXPECT_EQ(block_less(a, b), 1);
    EXPECT_EQ(block_less(b, a), 0);
    EXPECT_EQ(block_less(a, a), 0);
    x[0] = 0xff;
    a.set(x);
    EXPECT_EQ(block_less(b, a), 1);

    EXPECT_EQ(byte_vector_less({1, 2}, {1, 0x90}), 1);
    EXPECT_EQ(byte_vector_less({1, 0x90}, {1, 2}), 0);
    EXPECT_EQ(byte_vector_less({1}, {1, 2}), 0);  // a prefix is not less
    EXPECT_EQ(byte_vector_less({}, {1}), 0);
}

TEST(AllEmptyAndZero, lists_and_vectors) {
    EXPECT_EQ(all_strings_empty({}), 1);
    EXPECT_EQ(all_strings_empty({"", ""}), 1);
    EXPECT_EQ(all_strings_empty({"", "x"}), 0);
    EXPECT_EQ(is_all_zero({}), 1);
    EXPECT_EQ(is_all_zero(bytes(16, 0)), 1);
    EXPECT_EQ(is_all_zero(bytes(9, 0)), 1);
    bytes odd(9, 0);
    odd[8] = 1;
    EXPECT_EQ(is_all_zero(odd), 0);
    bytes words(16, 0);
    words[15] = 1;
    EXPECT_EQ(is_all_zero(words), 0);
}

TEST(FindBytesOffset, base_added_and_output_zeroed) {
    const bytes data = {'x', 'a', 'b', 'c', 'a', 'b'};
    std::uint64_t offset = 99;
    EXPECT_EQ(find_bytes_offset(offset, data, "ab", 1000), 1);
    EXPECT_EQ(offset, 1001u);
    EXPECT_EQ(find_bytes_offset(offset, data, "abd", 1000), 0);
    EXPECT_EQ(offset, 0u);
    EXPECT_EQ(find_bytes_offset(offset, data, "", 5), 0);
    EXPECT_EQ(find_bytes_offset(offset, {}, "a", 5), 0);
    // The pattern ending one byte past the data is not found.
    EXPECT_EQ(find_bytes_offset(offset, {'x', 'a'}, "ab", 0), 0);
}

TEST(ContainsInOrder, second_after_the_first) {
    const bytes data = {'b', 'a', 'x', 'b'};
    const struct {
        bytes first, second;
        int result;
    } cases[] = {
        {{'a'}, {'b'}, 1},      {{'a', 'x'}, {'b'}, 1}, {{'a', 'x', 'b'}, {'b'}, 0},
        {{'b'}, {'a'}, 1},      {{'x'}, {'a'}, 0},      {{}, {'b'}, 1},
        {{'a'}, {}, 1},         {{'q'}, {}, 0},         {{}, {}, 0},
        {bytes(5, 'b'), {}, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(contains_in_order(data, c.first, c.second), c.result);
    EXPECT_EQ(contains_in_order({}, {'a'}, {}), 0);
}

TEST(FindInText, past_from_and_wide) {
    std::size_t pos = 0;
    EXPECT_EQ(find_past(pos, "key=value;key=2", 1, "key="), 1);
    EXPECT_EQ(pos, 14u);
    EXPECT_EQ(find_past(pos, "abc", 0, "x"), 0);
    EXPECT_EQ(pos, std::string::npos);
    EXPECT_EQ(find_past(pos, "abc", 9, "a"), 0);
    EXPECT_EQ(find_from(pos, "abcabc", 1, "a"), 1);
    EXPECT_EQ(pos, 3u);
    EXPECT_EQ(find_from(pos, "abc", 0, nullptr), 0);
    EXPECT_EQ(find_from(pos, "abc", 0, "d"), 0);
    EXPECT_EQ(find_from_wide(pos, L"x\u00e9y\u00e9", 2, L"\u00e9"), 1);
    EXPECT_EQ(pos, 3u);
    EXPECT_EQ(find_from_wide(pos, L"abc", 0, L"C"), 0);
}

TEST(Base64AndHexCharacters, values_and_shapes) {
    const struct {
        int c, value;
    } digits[] = {{'A', 0},  {'Z', 25}, {'a', 26}, {'z', 51}, {'0', 52},
                  {'9', 61}, {'+', 62}, {'/', 63}, {'=', 63}};
    for (const auto& d : digits) EXPECT_EQ(base64_digit_value(d.c), d.value) << char(d.c);

    // Length 8: r = 2 needs a last '='. Length 7 and 4: r = 1 needs '=' last or before last.
    const struct {
        const char* text;
        bool check;
        int result;
    } cases[] = {
        {"abcdefgh", false, 0}, {"abcdefg=", false, 1}, {"abcdef=x", false, 0}, {"abcdef=", false, 1},
        {"abcdefg", false, 0},  {"abcde=g", false, 1},  {"ab=c", false, 1},     {"abcd", false, 0},
        {"abcdef", true, 1},    {"ab$def", true, 0},    {"abc", false, 0},      {"ab=d==x=", true, 0},
        {"abcdefg=", true, 1},
    };
    for (const auto& c : cases) {
        const std::size_t n = std::strlen(c.text);
        auto p = exact(c.text, n);
        EXPECT_EQ(looks_like_base64(reinterpret_cast<const char*>(p.get()), static_cast<int>(n), c.check),
                  c.result)
            << c.text;
    }
    EXPECT_EQ(looks_like_base64(nullptr, 8, false), 0);

    EXPECT_EQ(is_hex_digit('0') + is_hex_digit('f') + is_hex_digit('F') + is_hex_digit('9'), 4);
    EXPECT_EQ(is_hex_digit('g') + is_hex_digit('G') + is_hex_digit(' ') + is_hex_digit('/'), 0);
    EXPECT_EQ(is_hex_digit(0x100 | 'a'), 1);  // the low byte is tested
}

TEST(LetterNibbles, encode_fill_tag_and_back) {
    const unsigned char data[2] = {0x12, 0xfe};
    char out[32];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(bytes_to_letter_nibbles(data, 2, 0x3c, out), 1);
    const std::string text(out, 32);
    EXPECT_EQ(text, "BCPO" + std::string("CACACACACACACACACACACACACA") + "DM");
    std::string back = "old";
    unsigned char tag = 0;
    EXPECT_EQ(letter_nibbles_to_bytes(text, back, tag), 1);
    EXPECT_EQ(back, std::string("\x12\xfe") + std::string(13, ' '));
    EXPECT_EQ(tag, 0x3c);

    unsigned char fifteen[15];
    for (int i = 0; i < 15; ++i) fifteen[i] = static_cast<unsigned char>(i * 17);
    EXPECT_EQ(bytes_to_letter_nibbles(fifteen, 15, 0, out), 1);
    EXPECT_EQ(letter_nibbles_to_bytes(std::string(out, 32), back, tag), 1);
    EXPECT_EQ(back, std::string(reinterpret_cast<const char*>(fifteen), 15));

    std::memset(out, '#', sizeof out);
    EXPECT_EQ(bytes_to_letter_nibbles(fifteen, 16, 0, out), 0);
    EXPECT_EQ(bytes_to_letter_nibbles(nullptr, 1, 0, out), 0);
    EXPECT_EQ(out[0], '#');
    // One character short: refused, outputs unchanged.
    back = "kept";
    EXPECT_EQ(letter_nibbles_to_bytes(text.substr(0, 31), back, tag), 0);
    EXPECT_EQ(back, "kept");
}

const std::map<std::uint64_t, std::string> kNames = {{1, "alpha"}, {2, "beta"}, {3, "Gamma"}};
std::string name_of(std::uint64_t code) {
    auto it = kNames.find(code);
    return it == kNames.end() ? "n" + std::to_string(code) : it->second;
}

TEST(CodesToNames, counts_styles_and_bounds) {
    const std::uint64_t codes[] = {1, 2, 3, 0, 2};
    std::string out = "old";
    EXPECT_EQ(codes_to_names(out, 2 | kWordsBlank | kWordsCapitalizeAll, name_of, codes, 5), 1);
    EXPECT_EQ(out, "Alpha Beta");
    EXPECT_EQ(codes_to_names(out, kWordsUnderscore, name_of, codes, 5), 1);  // leading non-zero codes
    EXPECT_EQ(out, "alpha_beta_Gamma");
    EXPECT_EQ(codes_to_names(out, kWordsCapitalizeFirst | kWordsDot | kWordsBar, name_of, codes, 3), 1);
    EXPECT_EQ(out, "Alpha.beta.Gamma");
    EXPECT_EQ(codes_to_names(out, kWordsLower | kWordsBackslash, name_of, codes + 1, 2), 1);
    EXPECT_EQ(out, "beta\\gamma");
    EXPECT_EQ(codes_to_names(out, kWordsUpper | kWordsSlash, name_of, codes, 1), 1);
    EXPECT_EQ(out, "ALPHA");

    // Refusals leave the output empty: a zero among the counted codes, no leading code, more than ten,
    // and a count beyond the codes given (nothing past them is read).
    EXPECT_EQ(codes_to_names(out, 4, name_of, codes, 5), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(codes_to_names(out, 0, name_of, codes + 3, 2), 0);
    const std::uint64_t eleven[11] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(codes_to_names(out, 0, name_of, eleven, 11), 0);
    EXPECT_EQ(codes_to_names(out, 0, name_of, eleven, 10), 1);
    EXPECT_EQ(codes_to_names(out, 3, name_of, codes, 2), 0);
    EXPECT_EQ(codes_to_names(out, 1, nullptr, codes, 2), 0);
    EXPECT_EQ(codes_to_names(out, 1, name_of, nullptr, 2), 0);
}

TEST(CodesToNames, stream_forms) {
    const std::uint64_t codes[] = {1, 2};
    std::ostringstream os;
    os << "before ";
    EXPECT_EQ(codes_to_names_stream(os, 2 | kNamesKeepStream | kWordsBar, name_of, codes, 2), 1);
    EXPECT_EQ(os.str(), "before alpha|beta");
    EXPECT_EQ(codes_to_names_stream(os, 1, name_of, codes, 2), 1);
    EXPECT_EQ(os.str(), "alpha");

    EXPECT_EQ(codes_to_names_2(os, kWordsDot, name_of, 1, 2), 1);
    EXPECT_EQ(os.str(), "alpha.beta");
    EXPECT_EQ(codes_to_names_3(os, kWordsDot, name_of, 1, 0, 2), 0);
    EXPECT_EQ(os.str(), "");
    EXPECT_EQ(codes_to_names_4(os, kWordsBlank, name_of, 1, 2, 3, 4), 1);
    EXPECT_EQ(os.str(), "alpha beta Gamma n4");
    EXPECT_EQ(codes_to_names_5(os, 0, name_of, 1, 1, 1, 1, 2), 1);
    EXPECT_EQ(os.str(), "alphaalphaalphaalphabeta");
    EXPECT_EQ(codes_to_names_6(os, kWordsUnderscore, name_of, 1, 2, 3, 1, 2, 3), 1);
    EXPECT_EQ(os.str(), "alpha_beta_Gamma_alpha_beta_Gamma");
    EXPECT_EQ(codes_to_names_7(os, kWordsUpper | kWordsBlank, name_of, 7, 6, 5, 4, 3, 2, 1), 1);
    EXPECT_EQ(os.str(), "N7 N6 N5 N4 GAMMA BETA ALPHA");
    // Count bits already in the flags are ORed with the count: 2 | 1 asks for three of two codes.
    EXPECT_EQ(codes_to_names_2(os, 1, name_of, 1, 2), 0);
}

}  // namespace
