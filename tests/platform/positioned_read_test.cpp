#include "platform/positioned_read.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

TEST(PositionedRead, reads_to_the_end_and_fails_with_errno_on_a_bad_descriptor_or_offset) {
    const std::string path = std::string(SELK_TEST_TMP) + "/positioned_read_file";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "0123456789", 10), 10);
    const std::uint64_t max_offset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    struct read_case {
        int fd;
        std::uint64_t offset, length;
        int result, error;  // the errno it leaves (0: untouched)
        std::string bytes;  // what arrives
    };
    const read_case cases[] = {
        {fd, 0, 10, 0, 0, "0123456789"}, {fd, 7, 20, 0, 0, "789"},  // the end of the file ends the read
        {fd, 10, 4, 0, 0, ""},           {fd, 3, 0, 0, 0, ""},     {fd, max_offset, 2, -1, EOVERFLOW, ""},
        {-1, 0, 4, -1, EBADF, ""},
    };
    for (const read_case& c : cases) {
        std::vector<char> out(c.length + 1, '#');
        std::uint64_t got = 99;
        errno = 0;
        ASSERT_EQ(platform_read_at(c.fd, out.data(), c.length, c.offset, &got), c.result) << c.offset;
        EXPECT_EQ(errno, c.error) << c.offset;
        EXPECT_EQ(std::string(out.data(), got), c.bytes) << c.offset;
        EXPECT_EQ(out[got], '#') << c.offset;  // nothing past what arrived
    }
    close(fd);
    unlink(path.c_str());
}

}  // namespace
