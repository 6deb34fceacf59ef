#include "sqlite_binding/column_values.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string text_of(const char* bytes, std::uint32_t n, bool lines, bool tabs, bool nul, bool* stopped) {
    std::string out = "stale";
    bool flag = true;
    column_bytes_to_text(out, flag, bytes, n, lines, tabs, nul);
    *stopped = flag;
    return out;
}

TEST(ColumnValues, NullAndEmptyValuesGiveTheEmptyValueOfTheirType) {
    std::string s = "old";
    EXPECT_EQ("", column_to_string(s, nullptr));
    s = "old";
    EXPECT_EQ("", column_to_string(s, ""));
    EXPECT_EQ("abc", column_to_string(s, "abc"));

    std::uint64_t u = 99;
    EXPECT_EQ(0u, column_to_u64(u, nullptr));
    u = 99;
    EXPECT_EQ(0u, column_to_u64(u, ""));
    std::uint8_t b = 9;
    EXPECT_EQ(0u, column_to_u8(b, nullptr));
    std::uint32_t w = 9;
    EXPECT_EQ(0u, column_to_u32(w, nullptr));
    double d = 1.5;
    EXPECT_EQ(0.0, string_value_to_double(d, ""));
    std::vector<std::uint8_t> bytes = {1, 2};
    EXPECT_TRUE(cstr_to_bytes(bytes, nullptr).empty());
}

TEST(ColumnValues, NumbersFollowTheirParsers) {
    std::uint64_t u = 0;
    EXPECT_EQ(42u, column_to_u64(u, "  42"));
    EXPECT_EQ(16u, column_to_u64(u, "0x10"));
    EXPECT_EQ(0u, column_to_u64(u, "junk"));
    EXPECT_EQ(131977524155617560ull, column_to_u64(u, "131977524155617560"));
    EXPECT_EQ(static_cast<std::uint64_t>(-5), column_to_u64_signed(u, "-5"));
    EXPECT_EQ(255u, string_value_to_u64(u, "0xff"));

    std::uint8_t b = 0;
    EXPECT_EQ(0x34u, column_to_u8(b, "0x1234"));
    std::uint32_t w = 0;
    EXPECT_EQ(77u, column_to_u32(w, "77"));
    EXPECT_EQ(static_cast<std::uint32_t>(-2), string_value_to_u32(w, "-2"));
    double d = 0;
    EXPECT_DOUBLE_EQ(2.25, string_value_to_double(d, "2.25"));

    std::vector<std::uint8_t> bytes;
    const std::string with_nul("a\0b", 3);
    EXPECT_EQ(3u, text_to_bytes(bytes, with_nul).size());
    EXPECT_EQ(1u, cstr_to_bytes(bytes, "a").size());
    std::string s;
    EXPECT_EQ(with_nul, assign_text(s, with_nul));
}

TEST(ColumnValues, GuidFromBlobAndText) {
    const unsigned char raw[17] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 99};
    _16_byte_block g;
    guid_from_blob(g, raw);
    EXPECT_EQ(0, std::memcmp(g.bytes(), raw, 16));
    guid_from_blob(g, nullptr);
    EXPECT_EQ(std::string(32, '0'), g.to_string(true));

    guid_from_text(g, "null");
    EXPECT_EQ(std::string(32, '0'), g.to_string(true));
    guid_from_text(g, std::string(15, 'x'));
    EXPECT_EQ(std::string(32, '0'), g.to_string(true));
    guid_from_text(g, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(0, std::memcmp(g.bytes(), "ABCDEFGHIJKLMNOP", 16));
    guid_from_text(g, "nul1");  // four characters but not "null"
    EXPECT_EQ(std::string(32, '0'), g.to_string(true));
}

TEST(ColumnValues, BytesToTextFlattensAPayloadToOneLine) {
    bool stopped = true;
    const char payload[] = "a\r\n   b\tc";
    EXPECT_EQ("abc", text_of(payload, 9, true, true, true, &stopped));
    EXPECT_FALSE(stopped);

    const char with_nul[] = {'a', 'b', 0, 'c', 'd'};
    EXPECT_EQ("ab", text_of(with_nul, 5, true, true, true, &stopped));
    EXPECT_TRUE(stopped);
    // Without stopping, the zero byte is kept like any other and nothing is cut.
    EXPECT_EQ(std::string(with_nul, 5), text_of(with_nul, 5, true, true, false, &stopped));
    EXPECT_FALSE(stopped);

    // Tabs alone: a line feed and the blanks after it stay.
    EXPECT_EQ("a\n  b", text_of("a\n  \tb", 6, false, true, true, &stopped));
    // Line breaks alone: the blanks after a break stay.
    EXPECT_EQ("a  b", text_of("a\n  b", 5, true, false, true, &stopped));
    // Blanks and tabs after a break go until the first other byte; blanks later in the line stay.
    EXPECT_EQ("ab cd", text_of("a\n\t b c\r \t d", 13, true, true, true, &stopped));
    // High bytes are kept, and nothing is read past the length.
    EXPECT_EQ("\xE9", text_of("\xE9xyz", 1, true, true, true, &stopped));
    EXPECT_EQ("", text_of(nullptr, 5, true, true, true, &stopped));
    EXPECT_EQ("", text_of("abc", 0, true, true, true, &stopped));
}

TEST(ColumnValues, BlobDisplayTextPrefersGuidThenTextThenHex) {
    std::string out;
    bool stopped = true;
    blob_to_display_text(out, stopped, "ABCDEFGHIJKLMNOP", 16);
    EXPECT_EQ("44434241-4645-4847-494a-4b4c4d4e4f50", out);
    EXPECT_FALSE(stopped);

    const unsigned char binary[] = {'a', 1, 0xFF};
    blob_to_display_text(out, stopped, binary, 3);
    EXPECT_EQ("61-01-ff", out);

    blob_to_display_text(out, stopped, "x\n  y\tz", 7);
    EXPECT_EQ("xyz", out);

    const char nul[] = {'o', 'k', 0, 1};
    blob_to_display_text(out, stopped, nul, 4);
    EXPECT_EQ("ok", out);
    EXPECT_TRUE(stopped);
}

TEST(ColumnValues, BlobDisplayTextExShowsEveryByte) {
    std::string out;
    bool stopped = false;
    const unsigned char bytes[] = {0x41, 0x00, 0xFF};
    blob_to_display_text_ex(out, stopped, bytes, 3, true);
    EXPECT_EQ("41 00 ff", out);
    EXPECT_TRUE(stopped);
    blob_to_display_text_ex(out, stopped, bytes, 3, false);
    EXPECT_EQ(std::string("A\\x00\xFF"), out);
    EXPECT_TRUE(stopped);
    blob_to_display_text_ex(out, stopped, "ABCDEFGHIJKLMNOP", 16, true);
    EXPECT_EQ("44434241-4645-4847-494a-4b4c4d4e4f50", out);
}

TEST(ColumnValues, PreviewNeverReadsPastTheText) {
    std::string out;
    bool stopped = false;
    // First byte 3 asks for three bytes.
    const char three[] = "\x03xyzw";
    blob_to_display_text_ex(out, stopped, three, 0xFFFFFFFFu, false);
    EXPECT_EQ("03 78 79...", out);
    // First byte 'A' (not 1-8) asks for 6 bytes.
    blob_to_display_text_ex(out, stopped, "ABCDEFGH", 0xFFFFFFFFu, false);
    EXPECT_EQ("41 42 43 44 45 46...", out);
    // First byte 8 asks for 8, but the text holds only two: the count stops at its end (the sanitizers
    // would flag a read past the array).
    const char short_text[3] = {8, 'q', 0};
    blob_to_display_text_ex(out, stopped, short_text, 0xFFFFFFFFu, false);
    EXPECT_EQ("08 71...", out);
    blob_to_display_text_ex(out, stopped, "", 0xFFFFFFFFu, false);
    EXPECT_EQ("", out);
}

TEST(ColumnValues, TextThatMayBeUtf16) {
    std::string out;
    const char utf16[] = {'h', 0, 'i', 0, 0, 0};
    column_text_maybe_utf16(out, utf16, 6, true);
    EXPECT_EQ("hi", out);
    column_text_maybe_utf16(out, utf16, 6, false);
    EXPECT_EQ("h", out);
    // Narrow text stops at the length even without a terminator.
    column_text_maybe_utf16(out, "abcdef", 3, true);
    EXPECT_EQ("abc", out);
    column_text_maybe_utf16(out, "abcdef", 4, false);
    EXPECT_EQ("abcd", out);
    column_text_maybe_utf16(out, "", 1, true);
    EXPECT_EQ("", out);
    column_text_maybe_utf16(out, "abc", 0, true);
    EXPECT_EQ("", out);
}

TEST(ColumnValues, RowCallbacksThroughTheLibrary) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(":memory:", &db));
    std::vector<std::string> collected;
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "select NULL, 'x';", collect_row_values, &collected, nullptr));
    EXPECT_EQ((std::vector<std::string>{"", "x"}), collected);

    std::ostringstream printed;
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "select 'a', NULL, 3;", print_row_values, &printed, nullptr));
    EXPECT_EQ("a\n3\n", printed.str());
    sqlite3_close(db);
}

}  // namespace
