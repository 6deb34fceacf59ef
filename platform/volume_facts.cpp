#include "platform/volume_facts.h"

#include <fcntl.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

// statfs f_type values of file systems whose data does not live on a local disk.
constexpr std::uint64_t kNetworkTypes[] = {
    0x6969,      // NFS
    0x517B,      // SMB
    0xFF534D42,  // CIFS
    0xFE534D42,  // SMB2
    0x73757245,  // Coda
    0x564C,      // NCP
    0x5346414F,  // AFS (kAFS)
    0x6B414653,  // AFS (OpenAFS)
    0x00C36400,  // Ceph
    0x01021997,  // 9P
    0x65735546,  // FUSE (sshfs and other user-space mounts)
    0x01161970,  // GFS2
    0x7461636F,  // OCFS2
    0x0BD00BD0,  // Lustre
    0x47504653,  // GPFS
    0x20030528,  // OrangeFS
    0x786F4256,  // VirtualBox shared folder
};

// Reads the first byte of a small sysfs file; -1 when it cannot be read.
int read_flag_file(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char c = 0;
    const ssize_t n = read(fd, &c, 1);
    close(fd);
    if (n != 1) return -1;
    if (c == '0') return 0;
    if (c == '1') return 1;
    return -1;
}

}  // namespace

bool platform_is_network_fs_type(std::uint64_t fs_type) {
    for (std::uint64_t t : kNetworkTypes) {
        if (t == fs_type) return true;
    }
    return false;
}

int platform_is_local_volume(const char* path, bool* local) {
    if (path == nullptr || local == nullptr) return -1;
    struct statfs fs {};
    if (statfs(path, &fs) != 0) return -1;
    // f_type is a signed word on some ABIs; the magic numbers are 32-bit patterns.
    const std::uint64_t type = static_cast<std::uint32_t>(fs.f_type);
    *local = !platform_is_network_fs_type(type);
    return 0;
}

int platform_is_removable_device_at(const char* sys_root, std::uint64_t device, bool* removable) {
    if (sys_root == nullptr || removable == nullptr) return -1;
    const unsigned int major_no = major(static_cast<dev_t>(device));
    const unsigned int minor_no = minor(static_cast<dev_t>(device));
    // Major 0 is the kernel's anonymous block devices: no disk behind them.
    if (major_no == 0) return -1;
    const std::string entry =
        std::string(sys_root) + "/dev/block/" + std::to_string(major_no) + ":" + std::to_string(minor_no);
    // A whole disk has the flag itself; a partition's entry sits below its disk's.
    int flag = read_flag_file(entry + "/removable");
    if (flag < 0) flag = read_flag_file(entry + "/../removable");
    if (flag < 0) return -1;
    *removable = (flag == 1);
    return 0;
}

int platform_is_removable_device(std::uint64_t device, bool* removable) {
    return platform_is_removable_device_at("/sys", device, removable);
}
