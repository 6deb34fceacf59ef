#include "time/format_word.h"

#include <gtest/gtest.h>

TEST(FormatWord, default_patterns_give_the_documented_word) {
    date_time_format f;
    ASSERT_TRUE(parse_date_time_format(f, "yyyy-mm-dd", "hh:mm:ss.xxx", false));
    EXPECT_EQ(f.flags, 0x6862du);
    EXPECT_EQ(f.min_year, 1900);
    EXPECT_EQ(f.max_year, 2600);
    EXPECT_EQ(f.reserved, 0u);
    EXPECT_EQ(f.separator(), '-');
    EXPECT_EQ(f.fraction_digits(), 3u);
    ASSERT_TRUE(parse_date_time_format(f, "yyyy-mm-dd", "hh:mm:ss.xxx", true));
    EXPECT_EQ(f.flags, 0x7862du);
}

TEST(FormatWord, field_orders_and_month_forms) {
    date_time_format f;
    ASSERT_TRUE(parse_date_time_format(f, "mmm dd, yyyy", "", false));
    EXPECT_EQ(f.flags,
              static_cast<std::uint32_t>(' ') | dtf_month_name | dtf_year4 | dtf_comma | dtf_order_mdy);
    ASSERT_TRUE(parse_date_time_format(f, "dd/mm/yyyy", "", false));
    EXPECT_EQ(f.flags, static_cast<std::uint32_t>('/') | dtf_month_number | dtf_year4 | dtf_order_dmy);
    ASSERT_TRUE(parse_date_time_format(f, "dd-mmm-yyyy", "", false));
    EXPECT_TRUE(f.flags & dtf_order_dmy);
    EXPECT_TRUE(f.flags & dtf_month_name);
    ASSERT_TRUE(parse_date_time_format(f, "mm/dd/yy", "", false));
    EXPECT_EQ(f.flags, static_cast<std::uint32_t>('/') | dtf_month_number | dtf_year2 | dtf_order_mdy);
    ASSERT_TRUE(parse_date_time_format(f, "yyyy mmm dd", "", false));
    EXPECT_TRUE(f.flags & dtf_order_ymd);
    ASSERT_TRUE(parse_date_time_format(f, "dd.mm.yyyy", "", false));
    EXPECT_EQ(f.separator(), '\0');
    EXPECT_TRUE(f.flags & dtf_order_dmy);
}

// A pattern that does not compile leaves a zero word, so the formatters fall back to the defaults instead
// of printing a separator with no date around it.
TEST(FormatWord, failures_leave_a_zero_word) {
    date_time_format f;
    EXPECT_FALSE(parse_date_time_format(f, "yyyy/dd/mm", "hh:mm:ss.xxx", true));
    EXPECT_EQ(f.flags, 0u);
    EXPECT_EQ(f.min_year, 1900);
    EXPECT_FALSE(parse_date_time_format(f, "yyyy-mm", "", false));
    EXPECT_EQ(f.flags, 0u);
    EXPECT_FALSE(parse_date_time_format(f, "yyyy-dd", "", false));
    EXPECT_FALSE(parse_date_time_format(f, "mm-dd", "", false));
    EXPECT_EQ(f.flags, 0u);
}

TEST(FormatWord, fraction_digits_from_the_time_pattern) {
    date_time_format f;
    ASSERT_TRUE(parse_date_time_format(f, "", "hh:mm:ss.xxxxxxxxxxxx", false));
    EXPECT_EQ(f.fraction_digits(), 9u);
    ASSERT_TRUE(parse_date_time_format(f, "", "hh:mm:ss.xx", false));
    EXPECT_EQ(f.flags, 0u);
    ASSERT_TRUE(parse_date_time_format(f, "", "hh:mm:ss.xxx x", false));
    EXPECT_EQ(f.fraction_digits(), 5u);
    ASSERT_TRUE(parse_date_time_format(f, "", "hh:mm:ss.xxxxxx", false));
    EXPECT_EQ(f.fraction_digits(), 6u);
    ASSERT_TRUE(parse_date_time_format(f, "", "", false));
    EXPECT_EQ(f.flags, 0u);
}

TEST(FormatWord, pattern_validators) {
    unsigned int len = 99;
    EXPECT_TRUE(validate_date_pattern(len, "yyyy-mm-dd"));
    EXPECT_EQ(len, 10u);
    EXPECT_TRUE(validate_date_pattern(len, "yy-mm-dd"));
    EXPECT_EQ(len, 8u);
    EXPECT_FALSE(validate_date_pattern(len, "yyyymmddd"));
    EXPECT_EQ(len, 0u);
    EXPECT_TRUE(is_valid_date_pattern("mm/dd/yyyy"));
    EXPECT_FALSE(is_valid_date_pattern(""));

    EXPECT_TRUE(validate_time_pattern(len, "hh:mm:ss"));
    EXPECT_EQ(len, 8u);
    EXPECT_TRUE(validate_time_pattern(len, "hh:mm:ss.xxx"));
    EXPECT_EQ(len, 12u);
    EXPECT_TRUE(is_valid_time_pattern("hh:mm:ss.xxxxxxxxx"));
    EXPECT_FALSE(is_valid_time_pattern("hh:mm:ss.xxxxxxxxxx"));  // 19
    EXPECT_FALSE(is_valid_time_pattern("hh:mm:ss.x"));           // 10
    EXPECT_FALSE(is_valid_time_pattern("hh:mm:ss.xx0"));         // 12 without ".xxx"
    EXPECT_FALSE(validate_time_pattern(len, "hhmmss.xxxxx"));    // no ':'
    EXPECT_EQ(len, 0u);
}
