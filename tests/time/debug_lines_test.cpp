#include "time/debug_lines.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "time/time_writers.h"

namespace {

// 1994-11-06 08:49:37 UTC.
constexpr std::uint64_t kFiletime1994 = 124285853770000000ull;

TEST(DebugLines, FieldLinesAndTheirResults) {
    std::ostringstream os;
    EXPECT_EQ(debug_output(os, "size", 0x1Fu, 0x10ull, 12, nullptr, 0), 4u);
    EXPECT_EQ(os.str(), "00000010 : size        : 0000001f\n");
    os.str("");
    EXPECT_EQ(debug_output(os, "big", 0xABull, 0x2ull, 4, "c", 0), 8u);
    EXPECT_EQ(os.str(), "00000002 : big : 00000000000000ab [c]\n");
    os.str("");
    EXPECT_EQ(debug_output(os, "name", std::string("abc"), 0x2ull, 6, nullptr, 0), 8u);
    EXPECT_EQ(debug_output(os, "two", 0x1234u, 0x3ull, 0, nullptr, 2), 2u);
    EXPECT_EQ(os.str(), "00000002 : name  : abc\n00000003 : two: 1234\n");
    os.str("");
    EXPECT_EQ(debug_output(os, nullptr, 1u, 0ull, 4, nullptr, 0), 0u);
    EXPECT_EQ(debug_output_byte(os, "b", 0x0A, 1, 2, "n"), 1u);
    EXPECT_EQ(os.str(), "00000001 : b : 0a [n]\n");
}

TEST(DebugLines, DateCommentsAndTheSink) {
    std::ostringstream os;
    EXPECT_EQ(debug_filetime_line_to(&os, "t", kFiletime1994, 0x20, 2), 8u);
    EXPECT_EQ(os.str(), "00000020 : t : 01b98d5354912680 [1994-11-06 08:49:37.000]\n");
    os.str("");
    // FAT date 2021-03-04 in the low half, 05:06:08 in the high half.
    const std::uint32_t dos = ((41u << 9) | (3u << 5) | 4u) | (((5u << 11) | (6u << 5) | 4u) << 16);
    EXPECT_EQ(debug_dos_time_line_to(&os, "d", dos, 0, 1), 4u);
    EXPECT_EQ(os.str(), "00000000 : d: 28c45264 [2021-03-04 05:06:08.000]\n");
    EXPECT_EQ(debug_dos_time_line_to(nullptr, "d", dos, 0, 1), 0u);

    std::ostringstream sunk;
    debug_sink sink{&sunk, false};
    EXPECT_EQ(debug_filetime_line(sink, "t", kFiletime1994, 0, 2), 0u);
    EXPECT_EQ(debug_dos_time_line(sink, "d", dos, 0, 2), 0u);
    EXPECT_EQ(debug_output_byte(sink, "b", 1, 0, 2, nullptr), 0u);
    write_line_if_enabled(sink, "off");
    EXPECT_TRUE(sunk.str().empty());
    sink.enabled = true;
    write_line_if_enabled(sink, "on");
    EXPECT_EQ(debug_output_byte(sink, "b", 1, 0, 2, nullptr), 1u);
    EXPECT_EQ(sunk.str(), "on\n00000000 : b : 01\n");
    debug_sink no_stream{nullptr, true};
    EXPECT_EQ(debug_filetime_line(no_stream, "t", kFiletime1994, 0, 2), 0u);
}

}  // namespace
