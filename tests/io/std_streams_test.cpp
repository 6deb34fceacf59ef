#include "io/std_streams.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fileio_test_support.h"
#include "platform/path_text.h"

namespace {

using fileio_test::temp_folder;
using fileio_test::write_file;

// Puts `text` behind the process's standard input for one test.
class stdin_fixture : public ::testing::Test {
  protected:
    void feed(const std::string& text) {
        ASSERT_TRUE(dir_.ok());
        const std::string p = dir_.file("input");
        ASSERT_TRUE(write_file(p, text));
        ASSERT_NE(std::freopen(p.c_str(), "r", stdin), nullptr);
    }
    temp_folder dir_{"std_streams"};
};

TEST_F(stdin_fixture, lines_with_and_without_stripping) {
    feed("first\r\nsecond\n\nlast without newline");
    uni::stdin_stream in(false);
    ASSERT_TRUE(in.is_ready());
    std::string line;
    ASSERT_TRUE(in.read(line, true));
    EXPECT_EQ(line, "first");
    ASSERT_TRUE(in.read(line, false));
    EXPECT_EQ(line, "second\n");
    ASSERT_TRUE(in.read(line, true));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(in.read(line, true));
    EXPECT_EQ(line, "last without newline");
    line = "stale";
    EXPECT_FALSE(in.read(line, true));
    EXPECT_EQ(line, "");
}

TEST_F(stdin_fixture, long_line_arrives_in_pieces_of_4095_bytes) {
    feed(std::string(5000, 'q') + "\n");
    uni::stdin_stream in(true);
    std::string line;
    ASSERT_TRUE(in.read(line, true));
    EXPECT_EQ(line.size(), 4095u);
    ASSERT_TRUE(in.read(line, true));
    EXPECT_EQ(line.size(), 905u);
    EXPECT_FALSE(in.read(line, true));
}

TEST_F(stdin_fixture, wide_and_byte_lines_keep_every_byte_of_a_path) {
    feed(
        "/tmp/caf\xc3\xa9.db\n/tmp/\xff"
        "bad.db\r\nraw line\n");
    uni::stdin_stream in(false);
    std::wstring wide;
    ASSERT_TRUE(in.read(wide, true));
    EXPECT_EQ(wide, L"/tmp/caf\u00e9.db");
    ASSERT_TRUE(in.read(wide, true));
    EXPECT_EQ(wide_to_path(wide),
              "/tmp/\xff"
              "bad.db");
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(in.read_bytes(bytes, false));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "raw line\n");
    EXPECT_FALSE(in.read_bytes(bytes, true));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(in.read(wide, true));
}

TEST_F(stdin_fixture, raw_reads_and_waiting) {
    feed("abc\ndef\n");
    uni::stdin_stream in(false);
    EXPECT_TRUE(in.wait_for_input());  // a file is always readable
    char buf[3];
    std::uint32_t len = sizeof(buf);
    ASSERT_TRUE(in.read_raw(buf, &len));
    EXPECT_EQ(len, 2u);
    EXPECT_EQ(std::string(buf), "ab");
    len = 0;
    EXPECT_FALSE(in.read_raw(buf, &len));
    EXPECT_FALSE(in.read_raw(nullptr, &len));
    in.clear();
    EXPECT_FALSE(in.is_ready());
    std::string line;
    EXPECT_FALSE(in.read(line, true));
    EXPECT_FALSE(in.wait_for_input());
    len = sizeof(buf);
    EXPECT_FALSE(in.read_raw(buf, &len));
}

// Runs `body` with standard output sent into a pipe and returns what arrived.
template <class Body>
std::string capture_stdout(Body body) {
    int fds[2];
    if (pipe(fds) != 0) return "<pipe failed>";
    std::fflush(stdout);
    const int saved = dup(1);
    dup2(fds[1], 1);
    body();
    dup2(saved, 1);
    close(saved);
    close(fds[1]);
    std::string out;
    char buf[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buf, sizeof(buf));
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    return out;
}

TEST(StdoutStream, writes_go_straight_to_the_descriptor) {
    uni::stdout_stream out(true);
    ASSERT_TRUE(out.is_ready());
    bool results[7] = {};
    const std::string got = capture_stdout([&] {
        results[0] = out.write("abc", 3);
        results[1] = out.write(std::string("def"));
        results[2] = out.write(std::vector<std::uint8_t>{'g', 'h'});
        results[3] = out.write(std::wstring(L"\u00e9"));
        results[4] = out.write("xyz", 0);
        results[5] = out.write(nullptr, 3);
        results[6] = out.write(std::vector<std::uint8_t>{});
    });
    EXPECT_EQ(got, "abcdefgh\xc3\xa9");
    EXPECT_TRUE(results[0] && results[1] && results[2] && results[3]);
    EXPECT_FALSE(results[4]);
    EXPECT_FALSE(results[5]);
    EXPECT_FALSE(results[6]);
    out.reset();
    EXPECT_FALSE(out.is_ready());
    EXPECT_FALSE(out.write("a", 1));
}

TEST(StdoutStream, a_failed_write_is_reported) {
    uni::stdout_stream out(false);
    std::fflush(stdout);
    const int saved = dup(1);
    ASSERT_GE(saved, 0);
    const int full = open("/dev/full", O_WRONLY);
    if (full < 0) {
        close(saved);
        GTEST_SKIP() << "/dev/full is not available";
    }
    dup2(full, 1);
    const bool ok = out.write("abc", 3);
    dup2(saved, 1);
    close(saved);
    close(full);
    EXPECT_FALSE(ok);
}

}  // namespace
