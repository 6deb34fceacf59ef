#include "platform/volume_facts.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void write_text(const std::string& path, const char* text) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(write(fd, text, std::strlen(text)), static_cast<ssize_t>(std::strlen(text)));
    close(fd);
}

class RemovableTree : public ::testing::Test {
  protected:
    // A small copy of the kernel's layout: dev/block/MAJ:MIN links to the disk's folder, partitions below it.
    void SetUp() override {
        std::string templ = std::string(SELK_TEST_TMP) + "/volume_XXXXXX";
        ASSERT_NE(mkdtemp(templ.data()), nullptr) << std::strerror(errno);
        root_ = templ;
        for (const char* d : {"/dev", "/dev/block", "/devices", "/devices/sdb", "/devices/sdb/sdb1",
                              "/devices/sda", "/devices/sda/sda2", "/devices/sdc"}) {
            ASSERT_EQ(mkdir((root_ + d).c_str(), 0755), 0) << d;
        }
        write_text(root_ + "/devices/sdb/removable", "1\n");
        write_text(root_ + "/devices/sda/removable", "0\n");
        write_text(root_ + "/devices/sdc/removable", "?\n");
        ASSERT_EQ(symlink("../../devices/sdb", (root_ + "/dev/block/8:16").c_str()), 0);
        ASSERT_EQ(symlink("../../devices/sdb/sdb1", (root_ + "/dev/block/8:17").c_str()), 0);
        ASSERT_EQ(symlink("../../devices/sda/sda2", (root_ + "/dev/block/8:2").c_str()), 0);
        ASSERT_EQ(symlink("../../devices/sdc", (root_ + "/dev/block/8:32").c_str()), 0);
    }
    void TearDown() override {
        for (const char* f : {"/dev/block/8:16", "/dev/block/8:17", "/dev/block/8:2", "/dev/block/8:32",
                              "/devices/sdb/removable", "/devices/sda/removable", "/devices/sdc/removable"}) {
            unlink((root_ + f).c_str());
        }
        for (const char* d : {"/devices/sdb/sdb1", "/devices/sda/sda2", "/devices/sdb", "/devices/sda",
                              "/devices/sdc", "/devices", "/dev/block", "/dev", ""}) {
            rmdir((root_ + d).c_str());
        }
    }
    std::string root_;
};

TEST_F(RemovableTree, whole_disk_and_partition_read_the_disk_flag) {
    bool removable = false;
    ASSERT_EQ(platform_is_removable_device_at(root_.c_str(), makedev(8, 16), &removable), 0);
    EXPECT_TRUE(removable);
    removable = false;
    ASSERT_EQ(platform_is_removable_device_at(root_.c_str(), makedev(8, 17), &removable), 0);
    EXPECT_TRUE(removable);
    removable = true;
    ASSERT_EQ(platform_is_removable_device_at(root_.c_str(), makedev(8, 2), &removable), 0);
    EXPECT_FALSE(removable);
}

TEST_F(RemovableTree, unknown_anonymous_or_unreadable_devices_give_no_answer) {
    bool removable = true;
    EXPECT_EQ(platform_is_removable_device_at(root_.c_str(), makedev(8, 48), &removable), -1);
    EXPECT_EQ(platform_is_removable_device_at(root_.c_str(), makedev(0, 17), &removable), -1);
    EXPECT_EQ(platform_is_removable_device_at(root_.c_str(), makedev(8, 32), &removable), -1);
    EXPECT_TRUE(removable);  // untouched on every failure
    EXPECT_EQ(platform_is_removable_device_at(root_.c_str(), makedev(8, 16), nullptr), -1);
    EXPECT_EQ(platform_is_removable_device_at(nullptr, makedev(8, 16), &removable), -1);
}

TEST(VolumeFacts, this_hosts_volumes) {
    bool local = false;
    ASSERT_EQ(platform_is_local_volume(SELK_TEST_TMP, &local), 0);
    // The build tree is on a disk of this machine in every setting the tests run in.
    EXPECT_TRUE(local);
    EXPECT_EQ(platform_is_local_volume("/no/such/path/anywhere", &local), -1);
    EXPECT_EQ(platform_is_local_volume(nullptr, &local), -1);
    EXPECT_EQ(platform_is_local_volume(SELK_TEST_TMP, nullptr), -1);

    // The real /sys either answers for the build tree's device or has no entry for it (anonymous devices).
    struct stat st {};
    ASSERT_EQ(stat(SELK_TEST_TMP, &st), 0);
    bool removable = true;
    const int r = platform_is_removable_device(st.st_dev, &removable);
    if (major(st.st_dev) == 0)
        EXPECT_EQ(r, -1);
    else
        EXPECT_TRUE(r == 0 || r == -1);
}

TEST(VolumeFacts, network_file_system_types) {
    EXPECT_TRUE(platform_is_network_fs_type(0x6969));       // NFS
    EXPECT_TRUE(platform_is_network_fs_type(0xFF534D42));   // CIFS
    EXPECT_TRUE(platform_is_network_fs_type(0xFE534D42));   // SMB2
    EXPECT_TRUE(platform_is_network_fs_type(0x65735546));   // FUSE
    EXPECT_FALSE(platform_is_network_fs_type(0xEF53));      // ext4
    EXPECT_FALSE(platform_is_network_fs_type(0x01021994));  // tmpfs
    EXPECT_FALSE(platform_is_network_fs_type(0x9123683E));  // btrfs
    EXPECT_FALSE(platform_is_network_fs_type(0x58465342));  // xfs
}

}  // namespace
