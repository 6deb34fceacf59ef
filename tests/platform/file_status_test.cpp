#include "platform/file_status.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class FileStatusTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = std::string(SELK_TEST_TMP) + "/file_status_XXXXXX";
        ASSERT_NE(mkdtemp(templ.data()), nullptr) << std::strerror(errno);
        dir_ = templ;
    }
    void TearDown() override {
        for (const char* name : {"/f", "/fifo", "/sock", "/link", "/sub"}) {
            std::string p = dir_ + name;
            unlink(p.c_str());
            rmdir(p.c_str());
        }
        std::string bad = dir_ +
                          "/\xff"
                          "name";
        unlink(bad.c_str());
        rmdir(dir_.c_str());
    }
    std::string make_file(const std::string& name, const std::string& data) {
        const std::string p = dir_ + "/" + name;
        const int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
        close(fd);
        return p;
    }
    std::string dir_;
};

TEST_F(FileStatusTest, regular_file_reports_size_type_and_set_times) {
    const std::string p = make_file("f", std::string(1234, 'x'));
    struct timespec times[2];
    times[0].tv_sec = 1000000000;  // access
    times[0].tv_nsec = 5;
    times[1].tv_sec = 1234567890;  // modify
    times[1].tv_nsec = 700;
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);

    stat_record r;
    ASSERT_EQ(platform_stat(p.c_str(), &r), 0);
    EXPECT_EQ(r.size, 1234u);
    EXPECT_EQ(r.mode & 0xF000u, 0x8000u);
    EXPECT_EQ(r.access_time.seconds, 1000000000);
    EXPECT_EQ(r.access_time.nanoseconds, 5);
    EXPECT_EQ(r.modify_time.seconds, 1234567890);
    EXPECT_EQ(r.modify_time.nanoseconds, 700);
    EXPECT_GT(r.change_time.seconds, 1234567890);
    EXPECT_NE(r.inode, 0u);
    EXPECT_EQ(r.link_count, 1u);
    if (r.has_birth_time)
        EXPECT_GT(r.birth_time.seconds, 0);
    else
        EXPECT_EQ(r.birth_time.seconds, 0);

    struct stat st {};
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(r.inode, static_cast<std::uint64_t>(st.st_ino));
    EXPECT_EQ(r.device, static_cast<std::uint64_t>(st.st_dev));
    EXPECT_EQ(r.mode, static_cast<std::uint32_t>(st.st_mode));
    EXPECT_EQ(r.blocks, static_cast<std::uint64_t>(st.st_blocks));

    const int fd = open(p.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    stat_record viafd;
    ASSERT_EQ(platform_fstat(fd, &viafd), 0);
    close(fd);
    EXPECT_EQ(viafd.inode, r.inode);
    EXPECT_EQ(viafd.size, 1234u);
    EXPECT_EQ(viafd.modify_time.seconds, 1234567890);
    EXPECT_FALSE(viafd.has_birth_time);
    EXPECT_EQ(viafd.birth_time.seconds, 0);
}

TEST_F(FileStatusTest, failures_return_minus_one_and_leave_record_cleared) {
    stat_record r;
    r.size = 99;
    r.mode = 7;
    const std::string missing = dir_ + "/missing";
    EXPECT_EQ(platform_stat(missing.c_str(), &r), -1);
    EXPECT_EQ(r.size, 0u);
    EXPECT_EQ(r.mode, 0u);
    EXPECT_EQ(platform_stat(nullptr, &r), -1);
    EXPECT_EQ(platform_stat(missing.c_str(), nullptr), -1);
    r.inode = 5;
    EXPECT_EQ(platform_fstat(-1, &r), -1);
    EXPECT_EQ(r.inode, 0u);
    EXPECT_EQ(platform_fstat(0, nullptr), -1);
    clear_stat_record_all(nullptr);  // must not crash
}

TEST_F(FileStatusTest, file_types_of_folder_fifo_socket_and_link) {
    const std::string sub = dir_ + "/sub";
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    const std::string fifo = dir_ + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const std::string sock = dir_ + "/sock";
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(sock.size(), sizeof(addr.sun_path));
    std::memcpy(addr.sun_path, sock.c_str(), sock.size() + 1);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    const std::string target = make_file("f", "abc");
    const std::string link = dir_ + "/link";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);

    stat_record r;
    ASSERT_EQ(platform_stat(sub.c_str(), &r), 0);
    EXPECT_EQ(r.mode & 0xF000u, 0x4000u);
    ASSERT_EQ(platform_stat(fifo.c_str(), &r), 0);
    EXPECT_EQ(r.mode & 0xF000u, 0x1000u);
    ASSERT_EQ(platform_stat(sock.c_str(), &r), 0);
    EXPECT_EQ(r.mode & 0xF000u, 0xC000u);
    ASSERT_EQ(platform_stat(link.c_str(), &r), 0);
    EXPECT_EQ(r.mode & 0xF000u, 0x8000u);
    EXPECT_EQ(r.size, 3u);
    ASSERT_EQ(platform_lstat(link.c_str(), &r), 0);
    EXPECT_EQ(r.mode & 0xF000u, 0xA000u);
    EXPECT_EQ(r.size, target.size());
    close(s);
}

TEST_F(FileStatusTest, name_that_is_not_utf8_is_read) {
    const std::string p = make_file(
        "\xff"
        "name",
        "12345");
    stat_record r;
    ASSERT_EQ(platform_stat(p.c_str(), &r), 0);
    EXPECT_EQ(r.size, 5u);
}

TEST_F(FileStatusTest, character_device_reports_its_device_number) {
    stat_record r;
    ASSERT_EQ(platform_stat("/dev/null", &r), 0);
    EXPECT_EQ(r.mode & 0xF000u, 0x2000u);
    struct stat st {};
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_EQ(r.device_number, static_cast<std::uint64_t>(st.st_rdev));
    EXPECT_NE(r.device_number, 0u);
}

}  // namespace
