#include "common/key_value.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(MonthNameMap, fills_only_an_empty_map) {
    std::map<std::string, int> months;
    init_month_name_map(months);
    ASSERT_EQ(months.size(), 12u);
    EXPECT_EQ(months["jan"], 1);
    EXPECT_EQ(months["sep"], 9);
    EXPECT_EQ(months["dec"], 12);
    std::map<std::string, int> other = {{"x", 5}};
    init_month_name_map(other);
    EXPECT_EQ(other.size(), 1u);
}

TEST(KeyValueLines, first_key_wins_and_value_keeps_equals) {
    const std::string text = "a=1\r\nb=x=y\njunk\na=2\n";
    std::map<std::string, std::string> out = {{"stale", "1"}};
    EXPECT_EQ(parse_key_value_lines(out, std::vector<std::uint8_t>(text.begin(), text.end())), 1);
    EXPECT_EQ(out, (std::map<std::string, std::string>{{"a", "1"}, {"b", "x=y"}}));
    EXPECT_EQ(parse_key_value_lines(out, {}), 0);
    EXPECT_TRUE(out.empty());
    const std::string none = "no pairs\nhere\n";
    EXPECT_EQ(parse_key_value_lines(out, std::vector<std::uint8_t>(none.begin(), none.end())), 0);
}

TEST(SplitJsonObjects, top_level_groups_with_nesting) {
    std::vector<std::string> out;
    EXPECT_EQ(split_json_objects(out, "[{\"a\":1}, {\"b\":{\"c\":2}}]"), 1);
    EXPECT_EQ(out, (std::vector<std::string>{"{\"a\":1}", "{\"b\":{\"c\":2}}"}));
    EXPECT_EQ(split_json_objects(out, "{\"a\":[1]}"), 1);
    EXPECT_EQ(out, (std::vector<std::string>{"{\"a\":[1]}"}));
    EXPECT_EQ(split_json_objects(out, "plain"), 1);
    EXPECT_EQ(out, (std::vector<std::string>{"plain"}));
    EXPECT_EQ(split_json_objects(out, "[1,2]"), 0);
    EXPECT_TRUE(out.empty());
    // A stray closing brace and an unclosed group add nothing.
    EXPECT_EQ(split_json_objects(out, "[}{\"x\":1},{\"y\":2"), 1);
    EXPECT_EQ(out, (std::vector<std::string>{"{\"x\":1}"}));
}

TEST(ExtractJsonValues, case_insensitive_keys_values_in_original_case) {
    std::vector<std::string> out;
    const std::string json = "{\"Name\":\"Alpha Beta\",\"Count\":12,\"Note\":\"a, b\",\"Last\":true}";
    EXPECT_EQ(extract_json_values(out, {"name", "COUNT", "note", "last", "missing", ""}, json), 1);
    EXPECT_EQ(out, (std::vector<std::string>{"Alpha Beta", "12", "a, b", "true", "", ""}));
    EXPECT_EQ(extract_json_values(out, {}, json), 0);
    EXPECT_EQ(extract_json_values(out, {"a"}, ""), 0);
    EXPECT_TRUE(out.empty());
    // A value holding a comma in quotes, with no further quoted key after it.
    EXPECT_EQ(extract_json_values(out, {"k"}, "{\"k\":\"x,y\", 5}"), 1);
    EXPECT_EQ(out, (std::vector<std::string>{"x,y"}));
}

TEST(ExtractJsonArrayValues, arrays_of_objects_only) {
    std::vector<std::string> out;
    const std::string json = "{\"items\": [{\"a\":1},{\"b\":2}], \"nums\":[1,2,3,4,5,6,7,8,9]}";
    EXPECT_EQ(extract_json_array_values(out, {"ITEMS", "nums"}, json), 1);
    EXPECT_EQ(out, (std::vector<std::string>{"[{\"a\":1},{\"b\":2}]", ""}));
}

TEST(ReadJsonObjects, one_record_per_object) {
    std::vector<json_object> out;
    EXPECT_EQ(read_json_objects(out, {"id", "Text"}, "[{\"id\":1,\"text\":\"x\"},{\"ID\":2,\"TEXT\":\"y\"}]"),
              1);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].values, (std::vector<std::string>{"2", "y"}));
    EXPECT_EQ(out[0].names, (std::vector<std::string>{"id", "Text"}));
    EXPECT_EQ(out[0].index.at("text"), 1u);
    EXPECT_EQ(read_json_objects(out, {"id"}, "[1,2]"), 0);
    EXPECT_TRUE(out.empty());
}

TEST(WriteQuotedPairs, separator_between_pairs_only) {
    std::ostringstream os;
    write_quoted_pairs(os, {{"b", "2"}, {"a", "1"}}, ',');
    EXPECT_EQ(os.str(), "\"a\":\"1\", \"b\":\"2\"");
    std::ostringstream empty;
    write_quoted_pairs(empty, {}, ',');
    EXPECT_EQ(empty.str(), "");
}

}  // namespace
