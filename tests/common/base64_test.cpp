#include "common/base64.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/escapes.h"

namespace {

std::string encode(const std::string& bytes, bool wrap, bool terminate, bool crlf) {
    std::vector<char> out{'x'};
    const int ok = base64_encode(reinterpret_cast<const unsigned char*>(bytes.data()),
                                 static_cast<int>(bytes.size()), out, wrap, terminate, crlf);
    EXPECT_EQ(ok, 1);
    return std::string(out.begin(), out.end());
}

TEST(Base64Encode, rfc4648_vectors_plain_and_line_split) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"f", "Zg=="},        {"fo", "Zm8="},        {"foo", "Zm9v"},
                 {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
                 {"abc", "YWJj"},      {"\xff", "/w=="},      {"\xff\xfe", "//4="}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(encode(c.in, false, false, false), c.out);
        EXPECT_EQ(encode(c.in, true, false, false), c.out);
        EXPECT_EQ(encode(c.in, true, false, true), std::string(c.out) + "\r\n");
        EXPECT_EQ(encode(c.in, false, false, true), std::string(c.out) + "\r\n");
        EXPECT_EQ(encode(c.in, false, true, false), std::string(c.out) + '\0');
    }
}

TEST(Base64Encode, empty_or_null_input_fails_with_empty_output) {
    std::vector<char> out{'x'};
    const unsigned char byte = 1;
    EXPECT_EQ(base64_encode(nullptr, 3, out, true, true, true), 0);
    EXPECT_TRUE(out.empty());
    out.push_back('x');
    EXPECT_EQ(base64_encode(&byte, 0, out, true, true, true), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(base64_encode(&byte, -1, out, false, false, false), 0);
}

TEST(Base64Encode, lines_of_76_characters) {
    const std::string line76 = encode(std::string(57, 'a'), false, false, false);
    ASSERT_EQ(line76.size(), 76u);
    EXPECT_EQ(encode(std::string(57, 'a'), true, false, true), line76 + "\r\n\r\n");
    EXPECT_EQ(encode(std::string(58, 'a'), true, false, true), line76 + "\r\nYQ==\r\n");
    // Wrapping without CR LF inserts nothing.
    EXPECT_EQ(encode(std::string(58, 'a'), true, false, false), line76 + "YQ==");
    // 56 bytes (18 groups and a tail) stay on one line ended once.
    const std::string one_line = encode(std::string(56, 'a'), true, false, true);
    EXPECT_EQ(one_line.find("\r\n"), 76u);
    EXPECT_EQ(one_line.size(), 78u);

    const std::string long_text = encode(std::string(200, 'z'), true, true, true);
    ASSERT_EQ(long_text.back(), '\0');
    std::vector<std::size_t> lengths;
    for (std::size_t start = 0, end; (end = long_text.find("\r\n", start)) != std::string::npos;
         start = end + 2)
        lengths.push_back(end - start);
    EXPECT_EQ(lengths, (std::vector<std::size_t>{76, 76, 76, 40}));  // 200 bytes give 268 characters
}

TEST(Base64Encode, random_buffers_round_trip_at_every_length) {
    std::mt19937 rng(21);
    for (int n = 0; n <= 300; ++n) {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(n));
        for (auto& b : bytes) b = static_cast<unsigned char>(rng());
        for (int form = 0; form < 2; ++form) {
            const bool split = form == 1;
            std::vector<char> text;
            const int ok = base64_encode(bytes.data(), n, text, split, false, split);
            ASSERT_EQ(ok, n == 0 ? 0 : 1) << n;
            EXPECT_EQ(text.size(), n == 0 ? 0u : 4u * ((n + 2) / 3) + (split ? 2u * (n / 57 + 1) : 0u)) << n;
            std::vector<std::uint8_t> back;
            if (n > 0) {
                ASSERT_EQ(base64_decode_buffer(reinterpret_cast<const std::uint8_t*>(text.data()),
                                               static_cast<int>(text.size()), back),
                          1);
            }
            EXPECT_EQ(back, bytes) << "length " << n << " split " << split;
        }
    }
}

}  // namespace
