#include "platform/block_device.h"

#include <linux/fs.h>
#include <stddef.h>  // the BLKGETSIZE64 request number names size_t
#include <sys/ioctl.h>

int platform_block_size(int descriptor, std::uint32_t* size) {
    if (size == nullptr) return -1;
    int block = 0;
    if (ioctl(descriptor, BLKSSZGET, &block) != 0 || block <= 0) return -1;
    *size = static_cast<std::uint32_t>(block);
    return 0;
}

int platform_block_count(int descriptor, std::uint64_t* count) {
    if (count == nullptr) return -1;
    std::uint64_t bytes = 0;
    if (ioctl(descriptor, BLKGETSIZE64, &bytes) != 0) return -1;
    std::uint32_t block = 0;
    if (platform_block_size(descriptor, &block) != 0) return -1;
    *count = bytes / block;
    return 0;
}
