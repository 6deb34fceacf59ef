#include "io/file_kind.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

TEST(FileKind, type_bits_of_the_mode) {
    const struct {
        std::uint64_t mode;
        int fifo, socket;
    } cases[] = {{0x1000 | 0644, 1, 0},
                 {0xC000 | 0755, 0, 1},
                 {0x8000 | 0644, 0, 0},
                 {0x4000, 0, 0},
                 {0xA000, 0, 0},
                 {0x3000, 0, 0},
                 {0, 0, 0}};
    for (const auto& c : cases) {
        file_stats s;
        s.mode = c.mode;
        EXPECT_EQ(is_fifo(s), c.fifo) << std::hex << c.mode;
        EXPECT_EQ(is_socket(s), c.socket) << std::hex << c.mode;
    }
}

TEST(FileKind, a_real_fifo) {
    std::string dir = std::string(SELK_TEST_TMP) + "/file_kind_XXXXXX";
    ASSERT_NE(mkdtemp(&dir[0]), nullptr);
    const std::string path = dir + "/pipe";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    log_record record;
    ASSERT_TRUE(fill_file_stats_narrow(record, path, ""));
    EXPECT_EQ(is_fifo(record), 1);
    EXPECT_EQ(is_socket(record), 0);
    unlink(path.c_str());
    rmdir(dir.c_str());
}

}  // namespace
