#include "io/option_lookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using args_t = std::vector<std::string>;

TEST(option_lookup, take_value_removes_option_and_value_ignoring_case) {
    args_t args = {"prog", "-OUT", "f.txt", "-x"};
    std::string out;
    EXPECT_TRUE(take_option_value("-out", out, args));
    EXPECT_EQ(out, "f.txt");
    EXPECT_EQ(args, (args_t{"prog", "-x"}));
}

TEST(option_lookup, option_without_its_value_is_left_alone) {
    args_t args = {"prog", "-x", "-out"};
    std::string out = "before";
    EXPECT_FALSE(take_option_value("-out", out, args));
    EXPECT_EQ(out, "before");
    EXPECT_EQ(args, (args_t{"prog", "-x", "-out"}));
}

TEST(option_lookup, first_match_is_taken_and_later_ones_stay) {
    args_t args = {"prog", "-a", "1", "2", "-A", "3"};
    std::string v1, v2;
    EXPECT_TRUE(take_option_values2("-a", v1, v2, args));
    EXPECT_EQ(v1, "1");
    EXPECT_EQ(v2, "2");
    EXPECT_EQ(args, (args_t{"prog", "-A", "3"}));
}

TEST(option_lookup, value_that_looks_like_an_option_is_taken) {
    args_t args = {"prog", "-out", "-quiet", "rest"};
    std::string out;
    EXPECT_TRUE(take_option_value_str(std::string("-Out"), out, args));
    EXPECT_EQ(out, "-quiet");
    EXPECT_EQ(args, (args_t{"prog", "rest"}));
}

TEST(option_lookup, flag_keep_and_remove) {
    args_t args = {"prog", "-V", "x"};
    EXPECT_TRUE(take_option_flag("-v", args, true));
    EXPECT_EQ(args, (args_t{"prog", "-V", "x"}));
    EXPECT_TRUE(take_option_flag("-v", args, false));
    EXPECT_EQ(args, (args_t{"prog", "x"}));
    EXPECT_FALSE(take_option_flag("-v", args, false));
    EXPECT_FALSE(take_option_flag(nullptr, args, false));
}

TEST(option_lookup, has_and_get_respect_skip_first_and_remove_nothing) {
    args_t args = {"-pipe", "x", "-db", "a.db"};
    EXPECT_TRUE(has_option("-PIPE", args, false));
    EXPECT_FALSE(has_option("-pipe", args, true));
    std::string out;
    EXPECT_FALSE(get_option_value("-pipe", out, args, true));
    EXPECT_TRUE(get_option_value("-pipe", out, args, false));
    EXPECT_EQ(out, "x");
    EXPECT_TRUE(get_option_value("-db", out, args, true));
    EXPECT_EQ(out, "a.db");
    EXPECT_EQ(args.size(), 4u);
    args_t last = {"prog", "-db"};
    EXPECT_FALSE(get_option_value("-db", out, last, false));
}

TEST(option_lookup, two_and_three_values) {
    args_t args = {"prog", "-r", "1", "2", "3", "tail"};
    std::string a, b, c;
    args_t copy = args;
    EXPECT_TRUE(take_option_values3("-R", a, b, c, copy));
    EXPECT_EQ(a + b + c, "123");
    EXPECT_EQ(copy, (args_t{"prog", "tail"}));
    EXPECT_TRUE(take_option_values2("-r", a, b, args));
    EXPECT_EQ(a + b, "12");
    EXPECT_EQ(args, (args_t{"prog", "3", "tail"}));
    args_t short_list = {"prog", "-r", "1", "2"};
    EXPECT_FALSE(take_option_values3("-r", a, b, c, short_list));
    EXPECT_EQ(short_list.size(), 4u);
}

TEST(option_lookup, take_word_gives_the_entry_as_written) {
    args_t args = {"prog", "-Carve", "x"};
    std::string word;
    EXPECT_TRUE(take_option_word("-carve", word, args));
    EXPECT_EQ(word, "-Carve");
    EXPECT_EQ(args, (args_t{"prog", "x"}));
}

TEST(option_lookup, packed_name_is_read_from_the_most_significant_byte) {
    const std::uint64_t packed = (std::uint64_t('q') << 32) | (std::uint64_t('u') << 24) |
                                 (std::uint64_t('i') << 16) | (std::uint64_t('e') << 8) | 't';
    args_t args = {"prog", "-QUIET"};
    EXPECT_TRUE(take_packed_option(packed, args, true));
    EXPECT_EQ(args.size(), 2u);
    EXPECT_TRUE(take_packed_option(packed, args, false));
    EXPECT_EQ(args, (args_t{"prog"}));
    // Bytes that are not lower-case letters are skipped, so "-quiet" is found through them too.
    const std::uint64_t noisy = packed | (std::uint64_t('Q') << 56) | (std::uint64_t('1') << 40);
    args_t again = {"prog", "-quiet"};
    EXPECT_TRUE(take_packed_option(noisy, again, false));
}

TEST(option_lookup, equals_nocase_changes_only_on_equal_length) {
    std::string a = "ABC";
    std::string b = "abcd";
    EXPECT_FALSE(equals_nocase(a, b));
    EXPECT_EQ(a, "ABC");
    std::string c = "abc";
    EXPECT_TRUE(equals_nocase(a, c));
    EXPECT_EQ(a, "abc");
    EXPECT_EQ(c, "abc");
    std::string d = "ABD";
    std::string e = "abc";
    EXPECT_FALSE(equals_nocase(d, e));
}

TEST(option_lookup, erase_vector_entry_bounds) {
    args_t args = {"a", "b", "c"};
    EXPECT_FALSE(erase_vector_entry(3, args));
    EXPECT_TRUE(erase_vector_entry(1, args));
    EXPECT_EQ(args, (args_t{"a", "c"}));
}

TEST(option_lookup, argv_forms_search_from_index_one) {
    char p0[] = "-out", p1[] = "-OUT", p2[] = "x.txt", p3[] = "-q", p4[] = "1", p5[] = "2", p6[] = "3",
         p7[] = "4";
    char* array[] = {p0, p1, p2, p3, p4, p5, p6, p7};
    int count = 8;
    std::string out;
    EXPECT_TRUE(get_option_value_argv("-out", out, &count, array));
    EXPECT_EQ(out, "x.txt");
    EXPECT_EQ(count, 8);
    EXPECT_TRUE(has_option_argv("-Q", &count, array));
    EXPECT_EQ(count, 8);
    EXPECT_TRUE(take_option_value_argv("-out", out, &count, array));
    EXPECT_EQ(count, 6);
    EXPECT_STREQ(array[1], "-q");
    std::string a, b, c, d;
    EXPECT_TRUE(take_option_values4_argv("-q", a, b, c, d, &count, array));
    EXPECT_EQ(a + b + c + d, "1234");
    EXPECT_EQ(count, 1);
    EXPECT_STREQ(array[0], "-out");
    // The program name at index 0 is never matched.
    EXPECT_FALSE(take_option_flag_argv("-out", &count, array, false));
}

TEST(option_lookup, argv_forms_need_their_values_below_the_count) {
    char p0[] = "prog", p1[] = "-a", p2[] = "1", p3[] = "2";
    char* array[] = {p0, p1, p2, p3};
    int count = 4;
    std::string a, b, c;
    EXPECT_FALSE(take_option_values3_argv("-a", a, b, c, &count, array));
    EXPECT_EQ(count, 4);
    EXPECT_TRUE(take_option_values2_argv("-a", a, b, &count, array));
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(remove_argv_entry(1, &count, array));
    EXPECT_TRUE(take_option_flag_argv("-x", &count, array, false) == false);
}

}  // namespace
