#include "sqlite_format/carved_values.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "sqlite_format/record.h"

namespace {

constexpr text_encoding kUtf8 = text_encoding::utf8;

std::vector<std::uint8_t> bytes(std::initializer_list<int> list) {
    std::vector<std::uint8_t> out;
    for (int b : list) out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

TEST(decode_record_values, whole_body_gives_every_kind) {
    // int(2) 0xFFFE, NULL, const 0, const 1, text "abc", real 1.5, blob 01 02
    std::vector<std::uint32_t> codes = {kColInteger, kColNull, kColConst0, kColConst1,
                                        kColText,    kColReal, kColBlob};
    std::vector<std::uint32_t> sizes = {2, 0, 0, 0, 3, 8, 2};
    auto body = bytes({0xFF, 0xFE, 'a', 'b', 'c', 0x3F, 0xF8, 0, 0, 0, 0, 0, 0, 0x01, 0x02});
    std::vector<std::string> values;
    std::uint32_t count = 99;
    std::uint8_t truncated = 0;
    ASSERT_EQ(1, decode_record_values(&count, values, body.data(), static_cast<std::uint32_t>(body.size()),
                                      codes, sizes, nullptr, true, &truncated));
    ASSERT_EQ(7u, values.size());
    EXPECT_EQ("-2", values[0]);
    EXPECT_EQ("", values[1]);
    EXPECT_EQ("0", values[2]);
    EXPECT_EQ("1", values[3]);
    EXPECT_EQ("abc", values[4]);
    EXPECT_EQ("1.5", values[5]);
    EXPECT_EQ(std::string("\x01\x02", 2), values[6]);
    EXPECT_EQ(0, truncated);
    for (auto c : codes) EXPECT_EQ(0u, c & kColTruncatedMark);
}

TEST(decode_record_values, body_ending_inside_text_cuts_it_and_marks_the_rest) {
    std::vector<std::uint32_t> codes = {kColInteger, kColText, kColInteger, kColBlob};
    std::vector<std::uint32_t> sizes = {1, 20, 2, 4};
    auto body = bytes({7, 'h', 'e', 'l', 'l', 'o', 'w', 'o', 'r'});  // text needs 20, 8 remain
    std::vector<std::string> values;
    std::uint32_t count = 0;
    std::uint8_t truncated = 1;
    ASSERT_EQ(1, decode_record_values(&count, values, body.data(), static_cast<std::uint32_t>(body.size()),
                                      codes, sizes, nullptr, true, &truncated));
    EXPECT_EQ(1, truncated);
    ASSERT_EQ(4u, values.size());
    EXPECT_EQ("7", values[0]);
    EXPECT_EQ("hell", values[1]);  // 8 remaining less the last 4
    EXPECT_NE(0u, codes[1] & kColTruncatedMark);
    EXPECT_EQ("", values[2]);
    EXPECT_EQ("", values[3]);
    EXPECT_NE(0u, codes[2] & kColTruncatedMark);
    EXPECT_NE(0u, codes[3] & kColTruncatedMark);
    EXPECT_EQ(0u, codes[0] & kColTruncatedMark);
}

TEST(decode_record_values, refusals_leave_no_values) {
    std::vector<std::uint32_t> codes = {kColInteger, kColText};
    std::vector<std::uint32_t> sizes = {1};
    auto body = bytes({1, 'a'});
    std::vector<std::string> values = {"stale"};
    std::uint8_t truncated = 1;
    EXPECT_EQ(0,
              decode_record_values(nullptr, values, body.data(), 2, codes, sizes, nullptr, true, &truncated));
    EXPECT_TRUE(values.empty());

    // Without truncation allowed a short body fails, and so does a missing one.
    sizes = {1, 5};
    truncated = 0;
    EXPECT_EQ(0,
              decode_record_values(nullptr, values, body.data(), 2, codes, sizes, nullptr, true, &truncated));
    EXPECT_EQ(0, decode_record_values(nullptr, values, nullptr, 0, codes, sizes, nullptr, true, &truncated));
    EXPECT_EQ(0, decode_record_values(nullptr, values, body.data(), 2, codes, sizes, nullptr, true, nullptr));
}

TEST(decode_record_values, number_cut_by_the_end_of_the_body_is_marked) {
    std::vector<std::uint32_t> codes = {kColInteger, kColInteger};
    std::vector<std::uint32_t> sizes = {1, 4};
    auto body = bytes({9, 0x01, 0x02});
    std::vector<std::string> values;
    std::uint8_t truncated = 1;
    ASSERT_EQ(1,
              decode_record_values(nullptr, values, body.data(), 3, codes, sizes, nullptr, true, &truncated));
    ASSERT_EQ(2u, values.size());
    // Its first two bytes are not its value: it is left empty, and the record is cut.
    EXPECT_EQ("", values[1]);
    EXPECT_EQ(1, truncated);
    EXPECT_EQ(0u, codes[0] & kColTruncatedMark);
    EXPECT_NE(0u, codes[1] & kColTruncatedMark);
    // The same for a real number.
    codes = {kColInteger, kColReal};
    sizes = {1, 8};
    truncated = 1;
    ASSERT_EQ(1,
              decode_record_values(nullptr, values, body.data(), 3, codes, sizes, nullptr, true, &truncated));
    ASSERT_EQ(2u, values.size());
    EXPECT_EQ("", values[1]);
    EXPECT_EQ(1, truncated);
}

// Integers are big-endian two's complement in every width SQLite stores: the texts are the library's.
TEST(decode_record_values, integers_read_signed_in_every_width) {
    struct integer_case {
        std::uint32_t width;
        std::int64_t value;
    };
    const std::vector<integer_case> cases = {
        {1, -1},
        {1, -5},
        {1, 127},
        {2, -129},
        {2, 32767},
        {3, -8388608},
        {4, 2147483647},
        {4, -2147483648LL},
        {6, -140737488355328LL},
        {6, 140737488355327LL},
        {8, INT64_MIN},
        {8, INT64_MAX},
        {8, -132521873530000000LL},
    };
    for (const integer_case& c : cases) {
        std::vector<std::uint8_t> body;
        for (std::uint32_t b = c.width; b-- > 0;)
            body.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(c.value) >> (8 * b)));
        std::vector<std::uint32_t> codes = {kColInteger};
        const std::vector<std::uint32_t> sizes = {c.width};
        std::vector<std::string> values;
        std::uint8_t truncated = 0;
        ASSERT_EQ(1, decode_record_values(nullptr, values, body.data(), c.width, codes, sizes, nullptr, true,
                                          &truncated));
        ASSERT_EQ(1u, values.size());
        EXPECT_EQ(std::to_string(c.value), values[0]) << "width " << c.width;
    }
}

TEST(decode_record_values, unknown_codes_are_skipped_and_listing_is_written) {
    std::vector<std::uint32_t> codes = {kColInteger, 9, kColText, kColNull, kColConst1};
    std::vector<std::uint32_t> sizes = {1, 0, 2, 0, 0};
    auto body = bytes({5, 'o', 'k'});
    std::vector<std::string> values;
    std::ostringstream listing;
    std::uint8_t truncated = 0;
    ASSERT_EQ(
        1, decode_record_values(nullptr, values, body.data(), 3, codes, sizes, &listing, true, &truncated));
    ASSERT_EQ(4u, values.size());
    EXPECT_EQ("5", values[0]);
    EXPECT_EQ("ok", values[1]);
    EXPECT_EQ("val:0x01 : 5\nstr:0x02 : ok\nnul:0x00 : -\ncst:0x00 : 1\n", listing.str());
}

TEST(decode_record_values, blob_without_raw_flag_is_a_hex_view_of_sixteen_bytes) {
    std::vector<std::uint32_t> codes = {kColBlob};
    std::vector<std::uint32_t> sizes = {20};
    std::vector<std::uint8_t> body(20);
    for (int i = 0; i < 20; ++i) body[i] = static_cast<std::uint8_t>(0xA0 + i);
    std::vector<std::string> values;
    std::uint8_t truncated = 0;
    ASSERT_EQ(
        1, decode_record_values(nullptr, values, body.data(), 20, codes, sizes, nullptr, false, &truncated));
    ASSERT_EQ(1u, values.size());
    EXPECT_NE(std::string::npos, values[0].find("a0"));
    EXPECT_NE(std::string::npos, values[0].find("af"));
    EXPECT_EQ(std::string::npos, values[0].find("b0"));  // byte 16 is not shown
    EXPECT_EQ(" ...", values[0].substr(values[0].size() - 4));
}

// A blob reads the same whichever decoder gives it: a carved record's cell and a table row's cell show one
// line, the same text.
TEST(decode_record_values, blob_view_is_that_of_a_table_row) {
    for (const std::uint32_t n : {1u, 15u, 16u, 17u, 20u, 100u}) {
        std::vector<std::uint8_t> blob(n);
        for (std::uint32_t i = 0; i < n; ++i) blob[i] = static_cast<std::uint8_t>(0x0A + 7 * i);
        std::vector<std::uint32_t> codes = {kColBlob};
        std::vector<std::uint32_t> sizes = {n};
        std::vector<std::string> carved;
        std::uint8_t truncated = 0;
        ASSERT_EQ(1, decode_record_values(nullptr, carved, blob.data(), n, codes, sizes, nullptr, false,
                                          &truncated));
        // The same blob as a stored record: header size, serial type 12 + 2n (one byte for n < 58, else two).
        std::vector<std::uint8_t> record;
        const std::uint32_t serial = 12 + 2 * n;
        if (serial < 0x80) {
            record = {2, static_cast<std::uint8_t>(serial)};
        } else {
            record = {3, static_cast<std::uint8_t>(0x80 | (serial >> 7)),
                      static_cast<std::uint8_t>(serial & 0x7f)};
        }
        record.insert(record.end(), blob.begin(), blob.end());
        std::vector<std::string> row;
        std::vector<std::uint32_t> row_codes, row_sizes;
        ASSERT_EQ(
            1, decode_record_values(row, row_codes, row_sizes, record.data(), record.size(), false, kUtf8));
        ASSERT_EQ(1u, carved.size()) << n;
        ASSERT_EQ(1u, row.size()) << n;
        EXPECT_EQ(carved[0], row[0]) << n;
        EXPECT_EQ(std::string::npos, carved[0].find('\n')) << n;
    }
}

TEST(decode_record_values, truncation_sweep_never_reads_past_the_body) {
    std::vector<std::uint32_t> base_codes = {kColInteger, kColReal, kColText, kColBlob, kColInteger};
    std::vector<std::uint32_t> sizes = {4, 8, 10, 10, 6};
    std::vector<std::uint8_t> full(38, 0x41);
    for (std::uint32_t len = 0; len <= full.size(); ++len) {
        // An exact-size heap copy lets the sanitizer catch any read past the end.
        std::vector<std::uint8_t> body(full.begin(), full.begin() + len);
        auto codes = base_codes;
        std::vector<std::string> values;
        std::uint8_t truncated = 1;
        ASSERT_EQ(1, decode_record_values(nullptr, values, body.empty() ? nullptr : body.data(), len, codes,
                                          sizes, nullptr, true, &truncated))
            << len;
        EXPECT_EQ(base_codes.size(), values.size()) << len;
        // Whatever the cut, a short body never passes for a whole record.
        bool marked = false;
        for (auto c : codes) marked = marked || (c & kColTruncatedMark) != 0;
        EXPECT_EQ(len < full.size(), truncated == 1 || marked) << len;
        if (len == full.size()) {
            EXPECT_EQ(0, truncated);
        }
    }
}

}  // namespace
