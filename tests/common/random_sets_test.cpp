#include "common/random_sets.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>

namespace {

TEST(RandomByte, StaysWithinBoundsGivenInEitherOrder) {
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        int a = random_byte(200, 100);
        int b = random_byte(100, 200);
        ASSERT_GE(a, 100);
        ASSERT_LE(a, 200);
        ASSERT_GE(b, 100);
        ASSERT_LE(b, 200);
        seen.insert(a);
    }
    // Both ends are reachable: the span is inclusive.
    EXPECT_TRUE(seen.count(100) || seen.count(200));
    EXPECT_GT(seen.size(), 50u);
}

TEST(RandomByte, EqualBoundsAndFullRange) {
    for (int i = 0; i < 100; ++i) ASSERT_EQ(random_byte(5, 5), 5);
    std::set<int> seen;
    for (int i = 0; i < 20000; ++i) seen.insert(random_byte(0, 255));
    EXPECT_TRUE(seen.count(0));
    EXPECT_TRUE(seen.count(255));
}

TEST(RandomU32, UsesAllFourBytes) {
    bool high = false;
    bool low = false;
    for (int i = 0; i < 200; ++i) {
        std::uint32_t v = random_u32();
        high = high || (v >> 24) != 0;
        low = low || (v & 0xFF) != 0;
    }
    EXPECT_TRUE(high);
    EXPECT_TRUE(low);
}

TEST(RandomStrings, CharacterClassesAndLengths) {
    for (int round = 0; round < 50; ++round) {
        std::string p = random_printable_string(40);
        ASSERT_EQ(p.size(), 40u);
        for (char c : p) ASSERT_TRUE(c >= 33 && c <= 126) << int(c);
        for (char c : random_upper_string(40)) ASSERT_TRUE(c >= 'A' && c <= 'Z');
        for (char c : random_hex_string(40)) ASSERT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
        for (char c : random_alnum_string(40)) ASSERT_TRUE(std::isalnum(static_cast<unsigned char>(c)));
        std::string d = random_digit_string(12);
        ASSERT_EQ(d.size(), 12u);
        ASSERT_NE(d[0], '0');
        for (char c : d) ASSERT_TRUE(c >= '0' && c <= '9');
    }
    EXPECT_TRUE(random_upper_string(0).empty());
    EXPECT_TRUE(random_hex_string(-3).empty());
}

TEST(RandomStrings, DigitStringHasOneLeadingDigitForZeroLength) {
    for (int i = 0; i < 100; ++i) {
        std::string d = random_digit_string(0);
        ASSERT_EQ(d.size(), 1u);
        ASSERT_TRUE(d[0] >= '1' && d[0] <= '9');
    }
    EXPECT_EQ(random_digit_string(-5).size(), 1u);
}

TEST(NocaseTraits, NarrowComparisons) {
    EXPECT_TRUE(char_eq_nocase('a', 'A'));
    EXPECT_FALSE(char_eq_nocase('a', 'b'));
    EXPECT_TRUE(char_lt_nocase('a', 'B'));
    EXPECT_FALSE(char_lt_nocase('b', 'A'));
    // '_' (0x5F) sorts after upper-case letters, so after 'a' once 'a' is folded up.
    EXPECT_TRUE(char_lt_nocase('a', '_'));
    // A high byte keeps its signed order and is not folded.
    EXPECT_TRUE(char_lt_nocase(static_cast<char>(0xE9), 'a'));
    EXPECT_FALSE(char_eq_nocase(static_cast<char>(0xE9), static_cast<char>(0xC9)));

    const char* s = "xyZabc";
    EXPECT_EQ(char_find_nocase(s, 6, 'z'), s + 2);
    EXPECT_EQ(char_find_nocase(s, 2, 'z'), nullptr);
    EXPECT_EQ(char_find_nocase(nullptr, 2, 'z'), nullptr);
    EXPECT_EQ(char_compare_nocase("HeLLo", "hello", 5), 0);
    EXPECT_EQ(char_compare_nocase("abc", "abd", 3), -1);
    EXPECT_EQ(char_compare_nocase("abd", "ABC", 3), 1);
    EXPECT_EQ(char_compare_nocase("abX", "abY", 2), 0);
}

TEST(NocaseTraits, WideComparisonsAndIntCodes) {
    EXPECT_TRUE(wchar_eq_nocase(L'q', L'Q'));
    EXPECT_TRUE(wchar_lt_nocase(L'a', L'B'));
    const wchar_t* w = L"abcD";
    EXPECT_EQ(wchar_find_nocase(w, 4, L'd'), w + 3);
    EXPECT_EQ(wchar_find_nocase(w, 3, L'd'), nullptr);
    EXPECT_EQ(wchar_compare_nocase(L"ABC", L"abc", 3), 0);
    EXPECT_EQ(wchar_compare_nocase(L"abc", L"abd", 3), -1);
    EXPECT_EQ(wchar_compare_nocase(L"b", L"A", 1), 1);
    EXPECT_TRUE(int_eq_nocase('k', 'K'));
    EXPECT_FALSE(int_eq_nocase('k', 'L'));
    EXPECT_FALSE(int_eq_nocase(-300, 'a'));
    EXPECT_TRUE(int_eq_nocase(100000, 100000));
}

using u64set = std::set<std::uint64_t>;
using u64vec = std::vector<std::uint64_t>;

TEST(SetDifference, RemovesValuesOfSecondSet) {
    u64vec out{99};
    EXPECT_EQ(set_difference_to_vector(out, u64set{1, 2, 3}, u64set{2}), 0);
    EXPECT_EQ(out, (u64vec{1, 3}));
    EXPECT_EQ(set_difference_to_vector(out, u64set{1, 2, 3}, u64set{1, 2, 3, 4}), 1);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(set_difference_to_vector(out, u64set{5, 1ull << 40}, u64set{}), 0);
    EXPECT_EQ(out, (u64vec{5, 1ull << 40}));
    out = {7};
    EXPECT_EQ(set_difference_to_vector(out, u64set{}, u64set{1}), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(set_difference_to_vector(out, u64set{10, 20, 30}, u64set{5, 30, 40}), 0);
    EXPECT_EQ(out, (u64vec{10, 20}));
}

TEST(SetDifference, SymmetricDifference) {
    u64vec out;
    EXPECT_EQ(set_symmetric_difference_to_vector(out, u64set{1, 2}, u64set{2, 3}), 0);
    EXPECT_EQ(out, (u64vec{1, 3}));
    EXPECT_EQ(set_symmetric_difference_to_vector(out, u64set{4, 5}, u64set{4, 5}), 1);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(set_symmetric_difference_to_vector(out, u64set{}, u64set{}), 1);
    EXPECT_EQ(set_symmetric_difference_to_vector(out, u64set{}, u64set{8, 9}), 0);
    EXPECT_EQ(out, (u64vec{8, 9}));
    EXPECT_EQ(set_symmetric_difference_to_vector(out, u64set{6}, u64set{}), 0);
    EXPECT_EQ(out, (u64vec{6}));
}

}  // namespace
