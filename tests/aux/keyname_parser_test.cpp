#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "time/keyname_filter.h"

namespace {

std::uint64_t bits(std::initializer_list<unsigned> list) {
    std::uint64_t w = 0;
    for (unsigned b : list) w |= 1ull << b;
    return w;
}

struct parse_case {
    const char* line;
    const char* key_path;
    std::uint64_t flags;
    std::uint32_t digit_count;
};

TEST(KeynameParser, modifiers_set_their_bits_and_leave_the_key_path) {
    const parse_case cases[] = {
        {"Software\\Run !AN !R", "Software\\Run  !R", bits({56}), 0},
        {"Key !AFN(x)", "Key", bits({32}), 0},
        {"Key !AF", "Key", bits({58}), 0},
        {"!AP3", "Library/Preferences/", bits({57}), 0},
        {"!APnot a number", "not a number", bits({57}), 0},
        {"(unnamed)", "(unnamed)", bits({35}), 0},
        {"(all dates)", "(all dates)", bits({20}), 0},
        {"(other fields)", "(other fields)", bits({44}), 0},
        {"K !JC!R!WP!NR!SS!B64!Z!L2TS!DM!DA!DC!DB!DE", "K",
         bits({60, 0, 2, 43, 49, 59, 21, 53, 14, 15, 16, 17, 61}), 0},
        {"K !SKV", "K", bits({55}), 0},
        {"K !SK !SKV", "K  V", bits({52}), 0},
        {"K !TS212", "K", bits({8}), 12},
        {"K !TS1a", "K", bits({8}), 0},
        {"K !TS x", "K  x", bits({8}), 0},
        {"K !TF0", "K", bits({3}), 0},
        {"K !TAH !TAA !TC !TH !TU !TO !TG !TMG !TMZ", "K", bits({19, 9, 11, 10, 4, 5, 6, 7, 12}), 0},
        {"K !BP !BP", "K  !BP", bits({45}), 0},
        {"K !SP7", "K", bits({47}), 7},
        {"K !SC(extra) !SR(a) !SR(b)", "K", bits({48, 46}), 0},
        {"K !SC(open !CT tail", "K", bits({51}), 0},
        {"K !CT (rest", "K", bits({51}), 0},
        {"K !CT(name:val) tail", "K  tail", bits({51}), 0},
        {"K !CT(name) !DM", "K", bits({14}), 0},
        {"K !S(a:1) !S(a:2) !S(b", "K", bits({34}), 0},
        {"K\\n path", "K path", 0, 0},
        // Modifiers at the very end read nothing past the line.
        {"K !TS1", "K", bits({8}), 0},
        {"K !TS2", "K", bits({8}), 0},
        {"K !SP", "K", bits({47}), 0},
        {"K !CT", "K", bits({51}), 0},
        {"K !CT1", "K", bits({51}), 0},
    };
    for (const parse_case& c : cases) {
        keyname_filter f;
        std::string line = c.line;
        EXPECT_TRUE(f.parse(line));
        EXPECT_TRUE(f.is_set) << c.line;
        EXPECT_EQ(f.key_path, c.key_path) << c.line;
        EXPECT_EQ(f.flag_word(), c.flags) << c.line;
        EXPECT_EQ(f.digit_count, c.digit_count) << c.line;
    }
}

TEST(KeynameParser, bracketed_forms_keep_their_texts) {
    keyname_filter f;
    std::string line = "K !SC(extra) !SR(a) !SR(b) !CFN(value) !S(n:1) !S(n:2) !S(m:3)";
    f.parse(line);
    EXPECT_EQ(f.extra_text, "extra");
    EXPECT_EQ(f.sort_texts, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(f.value_name, "value");
    EXPECT_EQ(f.pairs, (std::map<std::string, std::string>{{"n", "1"}, {"m", "3"}}));

    keyname_filter ct;
    std::string ct_line = "K !CT(name:val)";
    ct.parse(ct_line);
    EXPECT_EQ(ct.value_name, "name");
    EXPECT_EQ(ct.extra_text, "val");

    // A second parse starts from a cleared filter.
    std::string plain = "Other";
    ct.parse(plain);
    EXPECT_TRUE(ct.value_name.empty());
    EXPECT_EQ(ct.flag_word(), 0u);
    EXPECT_EQ(ct.reserved_number, -1);
}

TEST(KeynameParser, common_path_needs_a_number) {
    EXPECT_EQ(keyname_filter::get_common_path("3"), "Library/Preferences/");
    EXPECT_EQ(keyname_filter::get_common_path("0x28"), "Calendars/Safari/");
    EXPECT_EQ(keyname_filter::get_common_path("abc"), "");
}

}  // namespace
