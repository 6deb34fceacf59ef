#include "time/keyname_filter.h"

#include <gtest/gtest.h>

TEST(KeynameFilter, new_entry_is_cleared) {
    const keyname_filter f;
    EXPECT_FALSE(f.is_set);
    EXPECT_EQ(f.reserved_number, -1);
    EXPECT_EQ(f.flag_word(), 0u);
    EXPECT_EQ(f.digit_count, 0u);
    EXPECT_TRUE(f.key_path.empty());
}

TEST(KeynameFilter, flag_bytes_read_as_one_little_endian_word) {
    keyname_filter f;
    f.set_flag(3);
    f.set_flag(13);
    f.set_flag(61);
    f.set_flag(64);  // out of range: ignored
    EXPECT_EQ(f.flags[0], 0x08);
    EXPECT_EQ(f.flags[1], 0x20);
    EXPECT_EQ(f.flags[7], 0x20);
    EXPECT_EQ(f.flag_word(), (1ull << 3) | (1ull << 13) | (1ull << 61));
    EXPECT_TRUE(f.has_flag(13));
    EXPECT_FALSE(f.has_flag(12));
    EXPECT_FALSE(f.has_flag(64));
}

TEST(KeynameFilter, copy_is_member_wise) {
    keyname_filter f;
    f.key_path = "Library/Preferences";
    f.value_name = "v";
    f.reserved_number = 7;
    f.set_flag(knf_bit_tu);
    f.is_set = true;
    f.reserved_count = 3;
    f.digit_count = 2;
    f.pairs["a"] = "b";
    f.sort_texts = {"x", "y"};
    f.extra_text = "e";
    const keyname_filter c(f);
    EXPECT_EQ(c.key_path, f.key_path);
    EXPECT_EQ(c.value_name, "v");
    EXPECT_EQ(c.reserved_number, 7);
    EXPECT_EQ(c.flag_word(), 1ull << knf_bit_tu);
    EXPECT_TRUE(c.is_set);
    EXPECT_EQ(c.reserved_count, 3u);
    EXPECT_EQ(c.digit_count, 2u);
    EXPECT_EQ(c.pairs.at("a"), "b");
    EXPECT_EQ(c.sort_texts, f.sort_texts);
    EXPECT_EQ(c.extra_text, "e");
    keyname_filter d;
    d = c;
    EXPECT_EQ(d.pairs.size(), 1u);
}
