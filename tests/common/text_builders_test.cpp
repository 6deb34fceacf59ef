#include "common/text_builders.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using u32s = std::vector<std::uint32_t>;

TEST(BuildColumnHeader, widths_positions_and_tail) {
    std::ostringstream os;
    u32s positions{9}, widths{5, 2};
    std::map<std::string, std::uint32_t> by_name{{"old", 1}};
    EXPECT_EQ(build_column_header(os, positions, by_name, widths, {"Id", "Name"}, " | ", false), 1);
    EXPECT_EQ(os.str(), "Id    | Name   ");
    EXPECT_EQ(positions, (u32s{0, 8, 15}));
    EXPECT_EQ(widths, (u32s{5, 4}));
    EXPECT_EQ(by_name, (std::map<std::string, std::uint32_t>{{"id", 5}, {"name", 4}}));

    // Widths that do not match the names are not used; a repeated name keeps its larger width; a
    // separator longer than the tail is removed whole.
    std::ostringstream os2;
    widths = {30};
    EXPECT_EQ(build_column_header(os2, positions, by_name, widths, {" A ", "Bb", "a"}, "<-->", true), 1);
    EXPECT_EQ(os2.str(), " A <-->Bb<-->a   \n");
    EXPECT_EQ(positions, (u32s{0, 7, 13, 18}));
    EXPECT_EQ(widths, (u32s{3, 2, 1}));
    EXPECT_EQ(by_name, (std::map<std::string, std::uint32_t>{{"a", 3}, {"bb", 2}}));

    std::ostringstream none;
    EXPECT_EQ(build_column_header(none, positions, by_name, widths, {}, " | ", true), 0);
    EXPECT_TRUE(positions.empty());
    EXPECT_TRUE(by_name.empty());
    EXPECT_EQ(none.str(), "");
}

TEST(BuildColumnHeaderWide, utf8_text_without_last_separator) {
    std::ostringstream os;
    u32s positions, widths{3, 0};
    std::map<std::wstring, std::uint32_t> by_name;
    EXPECT_EQ(build_column_header_wide(os, positions, by_name, widths, {L"\u00e9", L"Nom "}, L"|"), 1);
    EXPECT_EQ(os.str(), "\xc3\xa9  |Nom \n");
    EXPECT_EQ(positions, (u32s{0, 4, 9}));
    EXPECT_EQ(widths, (u32s{3, 4}));
    EXPECT_EQ(by_name, (std::map<std::wstring, std::uint32_t>{{L"\u00e9", 3}, {L"nom", 4}}));
    EXPECT_EQ(build_column_header_wide(os, positions, by_name, widths, {}, L"|"), 0);
}

TEST(JoinWordsStyled, case_styles_and_separators) {
    EXPECT_EQ(join_words_styled(kWordsUnderscore | kWordsUpper | 3, "ab", "cd", "ef"), "AB_CD_EF");
    EXPECT_EQ(join_words_styled(kWordsCapitalizeAll | kWordsDot | 2, "ab", "cd"), "Ab.Cd");
    EXPECT_EQ(join_words_styled(kWordsCapitalizeFirst | kWordsUpper | kWordsBlank | 2, "ab", "cd"), "Ab cd");
    EXPECT_EQ(join_words_styled(kWordsLower | kWordsSlash | kWordsBar | 2, "AbC", "D1"), "abc/d1");
    EXPECT_EQ(join_words_styled(kWordsBackslash | 2, "a", "B"), "a\\B");
    EXPECT_EQ(join_words_styled(kWordsBar | 3, "a", "", "c"), "a||c");
    EXPECT_EQ(join_words_styled(kWordsCapitalizeAll | 2, "", "1x"), "1x");
    EXPECT_EQ(join_words_styled(kWordsUnderscore | 0, "a", "b"), "");
    EXPECT_EQ(join_words_styled(2, "a", "b", "c"), "ab");
    // A count larger than the words given reads no further than they go.
    EXPECT_EQ(join_words_styled(kWordsDot | 15, "a", "b"), "a.b");
    const char* words[] = {"x", nullptr};
    EXPECT_EQ(join_words_styled_array(kWordsDot | 2, words, 2), "x.");
    EXPECT_EQ(join_words_styled_array(2, nullptr, 2), "");
}

TEST(SplitPlaceholders, segments_and_maps) {
    std::vector<std::string> segments{"old"};
    std::multimap<int, int> numbered{{9, 9}};
    std::multimap<char, int> lettered{{'z', 9}};
    EXPECT_EQ(split_placeholders(segments, numbered, lettered, "a%1b%sc"), 1);
    EXPECT_EQ(segments, (std::vector<std::string>{"a", "%1", "b", "%s", "c"}));
    EXPECT_EQ(numbered, (std::multimap<int, int>{{1, 1}}));
    EXPECT_EQ(lettered, (std::multimap<char, int>{{'s', 3}}));

    const struct {
        const char* templ;
        std::vector<std::string> segments;
        std::multimap<int, int> numbered;
        std::multimap<char, int> lettered;
    } cases[] = {
        {"%10", {"", "%1", "0"}, {{1, 1}}, {}},
        {"%12%1x", {"", "%12", "", "%1", "x"}, {{1, 3}, {12, 1}}, {}},
        {"no marks", {"no marks"}, {}, {}},
        {"end%", {"end"}, {}, {}},
        {"%d%%%s", {"", "%d", "", "%%", "", "%s", ""}, {}, {{'%', 3}, {'d', 1}, {'s', 5}}},
        {"x%0y", {"x", "%0", "y"}, {}, {{'0', 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.templ);
        EXPECT_EQ(split_placeholders(segments, numbered, lettered, c.templ), 1);
        EXPECT_EQ(segments, c.segments);
        EXPECT_EQ(numbered, c.numbered);
        EXPECT_EQ(lettered, c.lettered);
    }
    EXPECT_EQ(split_placeholders(segments, numbered, lettered, ""), 0);
    EXPECT_TRUE(segments.empty());
}

TEST(TakeCountedArgument, takes_name_count_and_items) {
    std::vector<std::string> args{"prog", "-x", "2", "A", "b", "c"};
    std::string value;
    std::vector<std::string> items{"old"};
    EXPECT_EQ(take_counted_argument("-X", value, items, args), 1);
    EXPECT_EQ(value, "2");
    EXPECT_EQ(items, (std::vector<std::string>{"A", "b"}));
    EXPECT_EQ(args, (std::vector<std::string>{"prog", "c"}));

    // Other arguments keep their case, also those as long as the name.
    std::vector<std::string> paths{"/A/B", "-LIST", "x", "/C/D"};
    EXPECT_EQ(take_counted_argument("-list", value, items, paths), 1);
    EXPECT_EQ(value, "x");
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(paths, (std::vector<std::string>{"/A/B", "/C/D"}));

    std::vector<std::string> short_list{"-n", "3", "a", "b"};
    EXPECT_EQ(take_counted_argument("-n", value, items, short_list), 0);
    EXPECT_EQ(short_list.size(), 4u);
    EXPECT_TRUE(items.empty());
    std::vector<std::string> last{"a", "-n"};
    EXPECT_EQ(take_counted_argument("-n", value, items, last), 0);
    EXPECT_EQ(take_counted_argument("-m", value, items, short_list), 0);
    EXPECT_EQ(take_counted_argument(nullptr, value, items, short_list), 0);
    std::vector<std::string> negative{"-n", "-1", "a"};
    EXPECT_EQ(take_counted_argument("-n", value, items, negative), 1);
    EXPECT_EQ(negative, (std::vector<std::string>{"a"}));
}

}  // namespace
