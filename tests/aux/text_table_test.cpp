#include "aux/text_table.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(TextTable, columns_take_the_width_of_their_longest_text) {
    cmd_params options;
    std::ostringstream os;
    ASSERT_TRUE(
        write_text_table(os, {"name", "v"}, {{"a", "1"}, {"longer"}}, options, 0, false, nullptr, nullptr));
    EXPECT_EQ(os.str(), " name  | v\na      | 1\nlonger |  \n");
    EXPECT_FALSE(options.header_on);
    ASSERT_EQ(options.header_fields.size(), 2u);
    EXPECT_EQ(options.header_fields[0].width, 6u);

    cmd_params capped;
    std::ostringstream cut;
    ASSERT_TRUE(write_text_table(cut, {"name"}, {{"abcdefgh"}}, capped, 3, true, nullptr, nullptr));
    EXPECT_EQ(cut.str(), "name\nabc\n");
    EXPECT_EQ(capped.header_fields[0].max_length, 3u);

    std::ostringstream none;
    EXPECT_FALSE(write_text_table(none, {}, {{"x"}}, options, 0, false, nullptr, nullptr));
    EXPECT_FALSE(write_text_table(none, {"x"}, {}, options, 0, false, nullptr, nullptr));
}

}  // namespace
