#include "common/utf16_counted.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::uint16_t> units(const _UNICODE_STRING_EX& s) {
    return std::vector<std::uint16_t>(s.buffer, s.buffer + s.length / 2);
}

TEST(UnicodeStringEx, capacity_zero_has_no_buffer_and_appends_chain) {
    _UNICODE_STRING_EX s(std::size_t{0});
    EXPECT_EQ(s.buffer, nullptr);
    EXPECT_EQ(s.maximum_length, 0);
    EXPECT_EQ(s.length, 0);
    EXPECT_FALSE(s.owns);
    // Nothing owned to grow: the append is refused.
    EXPECT_EQ(&unicode_string_append(s, "a"), &s);
    EXPECT_EQ(s.length, 0);
    EXPECT_EQ(s.buffer, nullptr);
}

TEST(UnicodeStringEx, appends_build_zero_separated_list_and_grow_owned_buffer) {
    _UNICODE_STRING_EX s(std::size_t{4});
    ASSERT_NE(s.buffer, nullptr);
    EXPECT_EQ(s.maximum_length, 8);
    EXPECT_EQ(s.buffer[0], 0);
    unicode_string_append(s, "ab");
    EXPECT_EQ(s.length, 6);
    EXPECT_EQ(units(s), (std::vector<std::uint16_t>{'a', 'b', 0}));
    unicode_string_append(s, L"c");
    EXPECT_EQ(s.length, 10);
    EXPECT_EQ(s.maximum_length, 10);
    EXPECT_EQ(units(s), (std::vector<std::uint16_t>{'a', 'b', 0, 'c', 0}));
}

TEST(UnicodeStringEx, null_text_and_high_characters) {
    _UNICODE_STRING_EX s(std::size_t{8});
    unicode_string_append(s, static_cast<const char*>(nullptr));
    unicode_string_append(s, static_cast<const wchar_t*>(nullptr));
    EXPECT_EQ(s.length, 0);
    unicode_string_append(s, "\xE9");
    unicode_string_append(s, L"\x1F600");
    EXPECT_EQ(units(s), (std::vector<std::uint16_t>{0xE9, 0, 0xF600, 0}));
}

TEST(UnicodeStringEx, foreign_buffer_without_room_refuses_and_clear_drops_it) {
    std::uint16_t foreign[3] = {'x', 0, 0x7777};
    _UNICODE_STRING_EX s(foreign, 4, 6);
    unicode_string_append(s, "yz");
    EXPECT_EQ(s.length, 4);
    EXPECT_EQ(s.buffer, foreign);
    EXPECT_EQ(foreign[2], 0x7777);
    unicode_string_clear(s);
    EXPECT_EQ(s.buffer, nullptr);
    EXPECT_EQ(s.maximum_length, 0);
    EXPECT_EQ(foreign[0], 'x');
}

TEST(UnicodeStringEx, clear_zero_fills_owned_buffer_and_size_limit_holds) {
    _UNICODE_STRING_EX s(std::size_t{4});
    unicode_string_append(s, "abc");
    unicode_string_clear(s);
    EXPECT_EQ(s.length, 0);
    EXPECT_EQ(s.buffer[0], 0);
    EXPECT_EQ(s.buffer[2], 0);
    // Growth past 65,535 bytes is refused and leaves the object as it was.
    std::string big(40000, 'q');
    unicode_string_append(s, big.c_str());
    EXPECT_EQ(s.length, 0);
    EXPECT_EQ(s.maximum_length, 8);
    // Appends chain on the same object.
    EXPECT_EQ(&unicode_string_append(unicode_string_append(s, "a"), L"b"), &s);
    EXPECT_EQ(s.length, 8);
}

TEST(RemoveTaggedSections, removes_section_and_keeps_tail_contents) {
    std::wstring text = L"x<b>y</b>z";
    std::vector<wchar_t> buf(text.begin(), text.end());
    std::size_t kept = 0;
    EXPECT_EQ(remove_tagged_sections(buf.data(), buf.size() * sizeof(wchar_t), L"b", &kept), 1);
    EXPECT_EQ(kept, 2u);
    EXPECT_EQ(std::wstring(buf.data(), 2), L"xz");
    // The rest of the buffer keeps what it held.
    EXPECT_EQ(std::wstring(buf.data() + 2, buf.size() - 2), text.substr(2));
}

TEST(RemoveTaggedSections, case_insensitive_several_sections_and_no_match) {
    std::wstring text = L"a<SCRIPT s=1>q</Script>b<script>r</script>cdefgh";
    std::vector<wchar_t> buf(text.begin(), text.end());
    std::size_t kept = 0;
    ASSERT_EQ(remove_tagged_sections(buf.data(), buf.size() * sizeof(wchar_t), L"script", &kept), 1);
    EXPECT_EQ(std::wstring(buf.data(), kept), L"abcdefgh");

    std::wstring plain = L"nothing here";
    std::vector<wchar_t> pbuf(plain.begin(), plain.end());
    ASSERT_EQ(remove_tagged_sections(pbuf.data(), pbuf.size() * sizeof(wchar_t), L"b", &kept), 1);
    EXPECT_EQ(kept, plain.size());
    EXPECT_EQ(std::wstring(pbuf.begin(), pbuf.end()), plain);
    EXPECT_EQ(remove_tagged_sections(pbuf.data(), 0, L"b", &kept), 0);
    EXPECT_EQ(remove_tagged_sections(nullptr, 8, L"b", &kept), 0);
}

TEST(FindAfter, position_after_needle) {
    std::size_t pos = 99;
    EXPECT_EQ(find_after(pos, L"xxabyy", 0, L"ab"), 1);
    EXPECT_EQ(pos, 4u);
    EXPECT_EQ(find_after(pos, L"abxxab", 1, L"ab"), 1);
    EXPECT_EQ(pos, 6u);
    pos = 7;
    EXPECT_EQ(find_after(pos, L"xxabyy", 3, L"ab"), 0);
    EXPECT_EQ(find_after(pos, L"xxabyy", 0, nullptr), 0);
    EXPECT_EQ(find_after(pos, L"xx", 10, L"x"), 0);
    EXPECT_EQ(pos, 7u);
}

}  // namespace
