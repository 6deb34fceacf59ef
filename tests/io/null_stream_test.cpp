#include "io/null_stream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

// Exposes overflow so it can be called with end-of-file directly.
class probe_buf : public null_out_buf {
  public:
    int_type call_overflow(int_type c) { return overflow(c); }
    std::streamsize call_xsputn(const char* s, std::streamsize n) { return xsputn(s, n); }
};

TEST(NullStream, program_wide_stream_stays_good_and_writes_nothing) {
    // Standard output goes to a pipe for the duration, so anything that leaked would be seen.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::fflush(stdout);
    std::cout.flush();
    const int saved = dup(1);
    ASSERT_GE(saved, 0);
    ASSERT_EQ(dup2(fds[1], 1), 1);

    null_out << std::string(100000, 'x') << 12345 << 3.5 << 'c' << std::endl;
    null_out.write("abc", 3).put('d').flush();
    const bool good = null_out.good();

    std::fflush(stdout);
    std::cout.flush();
    ASSERT_EQ(dup2(saved, 1), 1);
    close(saved);
    close(fds[1]);
    char buf[16];
    const ssize_t n = read(fds[0], buf, sizeof(buf));
    close(fds[0]);
    EXPECT_TRUE(good);
    EXPECT_EQ(n, 0);
}

TEST(NullStream, buffer_accepts_every_count_and_end_of_file) {
    probe_buf b;
    EXPECT_EQ(b.call_overflow(std::char_traits<char>::eof()), std::char_traits<char>::eof());
    EXPECT_EQ(b.call_overflow('a'), 'a');
    EXPECT_EQ(b.call_xsputn("abcdef", 6), 6);
    EXPECT_EQ(b.call_xsputn("", 0), 0);
}

TEST(NullStream, program_wide_texts) {
    EXPECT_EQ(null_stream_newline, "\n");
    EXPECT_TRUE(null_stream_empty.empty());
    EXPECT_TRUE(null_stream_text.str().empty());
    null_out_stream local;
    local << "text" << 1;
    EXPECT_TRUE(local.good());
    EXPECT_NE(local.rdbuf(), nullptr);
}

}  // namespace
