#include "platform/block_device.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace {

TEST(BlockDevice, regular_file_and_character_device_are_not_block_devices) {
    const std::string path = std::string(SELK_TEST_TMP) + "/block_device_plain_file";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "12345678", 8), 8);
    std::uint64_t count = 77;
    std::uint32_t size = 77;
    EXPECT_EQ(platform_block_count(fd, &count), -1);
    EXPECT_EQ(platform_block_size(fd, &size), -1);
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(size, 77u);
    close(fd);
    unlink(path.c_str());

    const int null_fd = open("/dev/null", O_RDONLY);
    ASSERT_GE(null_fd, 0);
    EXPECT_EQ(platform_block_count(null_fd, &count), -1);
    close(null_fd);
    EXPECT_EQ(platform_block_count(-1, &count), -1);
    EXPECT_EQ(platform_block_count(0, nullptr), -1);
    EXPECT_EQ(platform_block_size(0, nullptr), -1);
}

// Looks for a block device node this process may open read-only; empty when there is none.
std::string find_readable_block_device() {
    DIR* d = opendir("/sys/dev/block");
    if (d == nullptr) return std::string();
    std::string found;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        const std::string uevent = "/sys/dev/block/" + name + "/uevent";
        const int fd = open(uevent.c_str(), O_RDONLY);
        if (fd < 0) continue;
        char buf[512] = {};
        const ssize_t n = read(fd, buf, sizeof(buf) - 1);
        close(fd);
        if (n <= 0) continue;
        const std::string text(buf, static_cast<std::size_t>(n));
        const std::size_t at = text.find("DEVNAME=");
        if (at == std::string::npos) continue;
        const std::string dev = "/dev/" + text.substr(at + 8, text.find('\n', at) - at - 8);
        const int probe = open(dev.c_str(), O_RDONLY | O_NONBLOCK);
        if (probe < 0) continue;
        close(probe);
        found = dev;
        break;
    }
    closedir(d);
    return found;
}

TEST(BlockDevice, count_times_size_is_the_devices_length) {
    const std::string dev = find_readable_block_device();
    if (dev.empty()) GTEST_SKIP() << "no block device can be opened here";
    const int fd = open(dev.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    std::uint64_t count = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(platform_block_count(fd, &count), 0) << dev;
    ASSERT_EQ(platform_block_size(fd, &size), 0) << dev;
    EXPECT_GE(size, 512u);
    EXPECT_EQ(size & (size - 1), 0u);
    const off_t end = lseek(fd, 0, SEEK_END);
    close(fd);
    EXPECT_EQ(count * size, static_cast<std::uint64_t>(end)) << dev;
}

}  // namespace
