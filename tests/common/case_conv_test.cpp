#include "common/case_conv.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(CaseConv, lower_returns_same_object_and_chains) {
    std::string s = "MixedCASE.DB";
    std::string& r = string_to_lower(s);
    EXPECT_EQ(&r, &s);
    EXPECT_EQ(s, "mixedcase.db");
    std::string t = "AbC";
    EXPECT_EQ(string_to_lower(t).size(), 3u);
    EXPECT_EQ(t, "abc");
    std::string e;
    EXPECT_EQ(&string_to_lower(e), &e);
    EXPECT_TRUE(e.empty());
}

TEST(CaseConv, upper_maps_ascii_letters_only) {
    std::string s = "sel_k-1.db";
    string_to_upper(s);
    EXPECT_EQ(s, "SEL_K-1.DB");
    std::string e;
    string_to_upper(e);
    EXPECT_TRUE(e.empty());
}

TEST(CaseConv, high_bytes_pass_through_unchanged) {
    // The global locale of a test program is "C" unless changed, so bytes from 0x80 keep their value.
    std::string s = "A\x80\xc3\x89\xff";
    string_to_lower(s);
    EXPECT_EQ(s, "a\x80\xc3\x89\xff");
    std::string u = "a\x80\xe9";
    string_to_upper(u);
    EXPECT_EQ(u, "A\x80\xe9");
}

TEST(CaseConv, buffer_to_lower_changes_only_prefix) {
    char buf[] = "ABCDEF";
    buffer_to_lower(buf, 3);
    EXPECT_STREQ(buf, "abcDEF");
    buffer_to_lower(buf, 0);
    buffer_to_lower(buf, -4);
    EXPECT_STREQ(buf, "abcDEF");
    buffer_to_lower(nullptr, 5);      // must not crash
    char exact[3] = {'X', 'Y', 'Z'};  // no terminator: only `length` bytes may be touched
    buffer_to_lower(exact, 3);
    EXPECT_EQ(std::memcmp(exact, "xyz", 3), 0);
}

TEST(CaseConv, replace_non_letters_keeps_only_letters) {
    std::string s = "a-1 b";
    replace_non_letters(s);
    EXPECT_EQ(s, "a___b");
    std::string t = "Zz09_.";
    replace_non_letters(t);
    EXPECT_EQ(t, "Zz____");
    std::string e;
    replace_non_letters(e);
    EXPECT_TRUE(e.empty());
}
