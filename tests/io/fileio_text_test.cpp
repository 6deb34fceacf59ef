#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "fileio_test_support.h"
#include "io/fileio.h"

namespace {

using fileio_test::read_file;
using fileio_test::temp_folder;
using fileio_test::write_file;

std::string text_of(const uni::fileio& f) { return std::string(f.buffer.begin(), f.buffer.end()); }

std::string dump(const std::string& bytes, std::uint64_t start, bool text_mode) {
    uni::fileio f;
    EXPECT_EQ(f.open_memory(0, true, text_mode), 1);
    EXPECT_EQ(f.write_hex_dump(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                               static_cast<std::uint32_t>(bytes.size()), start),
              1);
    return text_of(f);
}

TEST(FileioText, hex_dump_layout) {
    EXPECT_EQ(dump("AB\n", 0, false), "0x000000 : 41 42 0a \n");
    EXPECT_EQ(dump("0123456789abcdef", 0, false),
              "0x000000 : 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 0123456789abcdef\n0x000010 : \n");
    EXPECT_EQ(dump(std::string("\x01xyz0123456789abcdefQ", 21), 0x1234567, true),
              "0x1234567 : 01 78 79 7a 30 31 32 33 34 35 36 37 38 39 61 62 .xyz0123456789ab\r\n"
              "0x1234577 : 63 64 65 66 51 \r\n");
    uni::fileio f;
    const std::uint8_t b = 1;
    EXPECT_EQ(f.write_hex_dump(&b, 1, 0), 0);  // not open
    ASSERT_EQ(f.open_memory(0, true, false), 1);
    EXPECT_EQ(f.write_hex_dump(nullptr, 1, 0), 0);
    EXPECT_EQ(f.write_hex_dump(&b, 0, 0), 1);
    EXPECT_EQ(f.write_hex_dump(std::vector<std::uint8_t>{}, 0), 1);
    EXPECT_TRUE(f.buffer.empty());
}

TEST(FileioText, lines_written_to_memory_and_to_a_file) {
    uni::fileio mem;
    EXPECT_EQ(mem.write_lines({"a"}), 0);
    ASSERT_EQ(mem.open_memory(0, true, false), 1);
    EXPECT_EQ(mem.write_lines({}), 0);
    EXPECT_EQ(mem.write_lines({"a", "", "b"}), 1);
    EXPECT_EQ(text_of(mem), "a\r\n\r\nb\r\n");
    EXPECT_EQ(mem.size(), 8u);
    temp_folder dir("fileio_text_w");
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(write_file(dir.file("w.txt"), "x"));
    uni::fileio f(dir.file("w.txt"), true, true, false);
    ASSERT_TRUE(f.is_open());
    EXPECT_EQ(f.write_lines({"one", "two"}), 1);
    EXPECT_EQ(f.size(), 10u);
    f.close();
    EXPECT_EQ(read_file(dir.file("w.txt")), "one\r\ntwo\r\n");  // opening for writing truncated it
}

TEST(FileioText, blocks_of_lines_stop_at_the_last_break) {
    struct Case {
        const char* name;
        std::string text;
        std::uint32_t length;
        std::uint64_t offset;
        int result;
        std::uint32_t length_after;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"not last: the tail waits", "a\r\nbXYZ", 4, 0, 1, 3, {"a"}},
        {"last block: the tail is a line", "a\r\nb", 100, 0, 1, 4, {"a", "b"}},
        {"LF CR is one break, blank lines skipped", " a \n\r\n\n  \nb\n", 12, 0, 1, 12, {"a", "b"}},
        {"no break in a middle block", "abcdef", 3, 1, 1, 0, {}},
        {"offset at the end", "abc", 3, 3, 0, 0, {}},
        {"offset past the end", "abc", 3, 4, 0, 3, {}},
        {"length 0", "abc", 0, 0, 0, 0, {}},
    };
    for (const Case& c : cases) {
        uni::fileio f(std::vector<std::uint8_t>(c.text.begin(), c.text.end()), false, false);
        std::vector<std::string> out;
        std::uint32_t length = c.length;
        EXPECT_EQ(f.read_lines_at(out, &length, c.offset), c.result) << c.name;
        EXPECT_EQ(length, c.length_after) << c.name;
        EXPECT_EQ(out, c.lines) << c.name;
    }
}

TEST(FileioText, all_lines_including_lines_longer_than_a_block) {
    const std::string long_line(200000, 'x');  // three blocks without a break
    const std::string text = "first\r\n" + long_line + "\nmid\r\n" + std::string(70000, 'y');
    uni::fileio f(std::vector<std::uint8_t>(text.begin(), text.end()), false, false);
    std::vector<std::string> out{"stale"};
    ASSERT_TRUE(f.read_all_lines(out));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], "first");
    EXPECT_EQ(out[1], long_line);
    EXPECT_EQ(out[2], "mid");
    EXPECT_EQ(out[3], std::string(70000, 'y'));  // the file ends without a break: the last line is whole
    uni::fileio empty(std::vector<std::uint8_t>{}, false, false);
    EXPECT_FALSE(empty.read_all_lines(out));
    EXPECT_TRUE(out.empty());
}

struct batches {
    std::vector<std::string> lines;
    std::vector<std::uint64_t> offsets;
    int calls = 0;
};

int collect(uni::fileio*, void* context, std::vector<std::string>& lines, std::uint64_t take,
            std::uint64_t offset) {
    batches& b = *static_cast<batches*>(context);
    ++b.calls;
    b.lines.insert(b.lines.end(), lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(take));
    b.offsets.push_back(offset);
    return 0;
}

batches read_text(const std::string& bytes, std::int64_t limit, bool detect_mark, bool text_mode = true,
                  int* result = nullptr) {
    uni::fileio f(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), false, text_mode);
    batches b;
    const int r = f.read_text_lines(collect, &b, true, true, true, limit, detect_mark);
    if (result != nullptr) *result = r;
    return b;
}

void put_unit(std::string& s, std::uint16_t u) {
    s.push_back(static_cast<char>(u & 0xFF));
    s.push_back(static_cast<char>(u >> 8));
}

TEST(FileioText, utf16_file_with_a_surrogate_pair_split_between_blocks) {
    // FF FE, then units so that the high surrogate fills the last two bytes of the first 1 MiB block.
    std::string bytes = "\xFF\xFE";
    const std::size_t xs = (uni::fileio::kTextBlock - 2) / 2 - 2;
    for (std::size_t i = 0; i < xs; ++i) put_unit(bytes, 'x');
    put_unit(bytes, '\n');
    ASSERT_EQ(bytes.size(), uni::fileio::kTextBlock - 2u);
    put_unit(bytes, 0xD83D);  // U+1F600 as a pair, split by the block boundary
    put_unit(bytes, 0xDE00);
    for (char c : std::string("z\r\nend")) put_unit(bytes, static_cast<std::uint16_t>(c));
    put_unit(bytes, 0xD800);  // a lone high surrogate at the very end is dropped
    const batches b = read_text(bytes, -1, true);
    ASSERT_EQ(b.lines.size(), 3u);
    EXPECT_EQ(b.lines[0], std::string(xs, 'x'));
    EXPECT_EQ(b.lines[1], "\xF0\x9F\x98\x80z");
    EXPECT_EQ(b.lines[2], "end");
    EXPECT_EQ(b.offsets, (std::vector<std::uint64_t>{0, uni::fileio::kTextBlock}));
    // Without mark detection the same bytes are not UTF-16.
    EXPECT_NE(read_text(bytes, -1, false).lines.front(), std::string(xs, 'x'));
}

TEST(FileioText, text_lines_marks_limits_and_refusals) {
    EXPECT_EQ(read_text("\xEF\xBB\xBFone\ntwo\n\nthree", -1, true).lines,
              (std::vector<std::string>{"one", "two", "three"}));
    const std::string five = "1\n2\n3\n4\n5\n";
    batches b = read_text(five, 3, false);
    EXPECT_EQ(b.lines, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(b.calls, 1);
    b = read_text(five, 0, false);  // a limit of 0 hands over nothing (and shows 100 percent)
    EXPECT_EQ(b.calls, 0);
    int result = -1;
    b = read_text(five, -1, false, false, &result);
    EXPECT_EQ(result, 0);  // not in text mode
    EXPECT_EQ(b.calls, 0);
    b = read_text("", -1, true, true, &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(b.calls, 0);
}

TEST(FileioText, range_copies_say_how_much_they_copied) {
    const std::string text = "0123456789";
    uni::fileio f(std::vector<std::uint8_t>(text.begin(), text.end()), false, false);
    struct Case {
        std::uint64_t offset;
        std::int64_t count;
        std::uint32_t chunk;
        int result;
        std::string out;
    };
    const Case cases[] = {
        {2, 5, 3, 1, "23456"},
        {7, 100, 2, 1, "789"},  // past the end: what exists
        {0, -1, 0, 1, "0123456789"},
        {10, 5, 4, 1, ""},  // starts at the end: nothing
        {11, 1, 4, 0, ""},  // starts past the end: refused
        {3, 0, 4, 1, ""},
    };
    for (const Case& c : cases) {
        std::ostringstream os;
        std::uint64_t copied = 99;
        EXPECT_EQ(f.copy_range_to_stream(os, c.offset, c.count, c.chunk, true, &copied), c.result)
            << c.offset;
        EXPECT_EQ(os.str(), c.out) << c.offset;
        EXPECT_EQ(copied, c.out.size()) << c.offset;
    }

    temp_folder dir("fileio_text_c");
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(write_file(dir.file("d.bin"), "abcdef"));
    uni::fileio dest(dir.file("d.bin"), true, false, false);
    ASSERT_TRUE(dest.is_open());
    std::uint64_t copied = 0;
    EXPECT_EQ(f.copy_range_to(dest, 6, 10, 2, 3, true, &copied), 1);
    EXPECT_EQ(copied, 4u);
    EXPECT_EQ(f.copy_range_to(dest, 0, 0, 0, 3, false, &copied), 0);
    dest.close();
    EXPECT_EQ(read_file(dir.file("d.bin")), std::string("\0\0"
                                                        "6789",
                                                        6));

    // A copy within one object reads from the source offsets, whatever its writes do to the position.
    uni::fileio self(std::vector<std::uint8_t>{'a', 'b', 'c', 'd'}, true, false);
    EXPECT_EQ(self.copy_range_to(self, 0, 3, 4, 2, false, &copied), 1);
    EXPECT_EQ(copied, 3u);
    EXPECT_EQ(text_of(self), "abcdabc");
    uni::fileio closed;
    std::ostringstream os;
    EXPECT_EQ(closed.copy_range_to_stream(os, 0, 1, 1, false), 0);
}

}  // namespace
