// File status for the file layer: one record that carries what the file layer reads of a file (type, size,
// identity and four times, birth time included where the file system keeps one).
#pragma once

#include <cstdint>

// Seconds and nanoseconds since 1970-01-01 00:00:00 UTC.
struct stat_time {
    std::int64_t seconds = 0;      // whole seconds (negative before 1970)
    std::int64_t nanoseconds = 0;  // 0 to 999,999,999
};

// What a status call reports. The type bits of `mode` (mode & 0xF000) use the usual POSIX values:
// 0x1000 FIFO, 0x2000 character device, 0x4000 folder, 0x6000 block device, 0x8000 regular file,
// 0xA000 symbolic link, 0xC000 socket.
struct stat_record {
    std::uint64_t device = 0;         // device of the file system holding the file
    std::uint32_t mode = 0;           // type and permission bits
    std::uint64_t link_count = 0;     // hard links
    std::uint64_t inode = 0;          // inode number
    std::uint32_t owner = 0;          // user id
    std::uint32_t group = 0;          // group id
    std::uint64_t device_number = 0;  // the device itself, for character and block devices
    stat_time access_time;            // last access
    stat_time modify_time;            // last change of the contents
    stat_time change_time;            // last change of the status
    stat_time birth_time;             // creation; zero when the file system does not keep it
    std::uint64_t size = 0;           // bytes
    std::uint64_t blocks = 0;         // 512-byte blocks allocated
    std::uint32_t block_size = 0;     // preferred I/O size
    bool has_birth_time = false;      // birth_time was reported by the file system
};

// Sets every field of `record` to zero; does nothing for a null pointer.
void clear_stat_record_all(stat_record* record);

// Status of an open descriptor (no birth time: it stays 0). Returns 0, or -1 when the descriptor cannot be
// read or `record` is null; on failure `record` is left cleared.
int platform_fstat(int descriptor, stat_record* record);

// Status of a path, following symbolic links, with the birth time where the file system keeps one.
// Returns 0, or -1 for a null path or record or when the path cannot be read (then `record` is cleared).
int platform_stat(const char* path, stat_record* record);

// As platform_stat, but a symbolic link is reported itself rather than followed.
int platform_lstat(const char* path, stat_record* record);
