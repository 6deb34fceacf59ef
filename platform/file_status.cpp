#include "platform/file_status.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

namespace {

stat_time from_timespec(const struct timespec& t) {
    stat_time out;
    out.seconds = static_cast<std::int64_t>(t.tv_sec);
    out.nanoseconds = static_cast<std::int64_t>(t.tv_nsec);
    return out;
}

stat_time from_statx_time(const struct statx_timestamp& t) {
    stat_time out;
    out.seconds = static_cast<std::int64_t>(t.tv_sec);
    out.nanoseconds = static_cast<std::int64_t>(t.tv_nsec);
    return out;
}

void fill_from_stat(const struct stat& st, stat_record* record) {
    record->device = static_cast<std::uint64_t>(st.st_dev);
    record->mode = static_cast<std::uint32_t>(st.st_mode);
    record->link_count = static_cast<std::uint64_t>(st.st_nlink);
    record->inode = static_cast<std::uint64_t>(st.st_ino);
    record->owner = static_cast<std::uint32_t>(st.st_uid);
    record->group = static_cast<std::uint32_t>(st.st_gid);
    record->device_number = static_cast<std::uint64_t>(st.st_rdev);
    record->access_time = from_timespec(st.st_atim);
    record->modify_time = from_timespec(st.st_mtim);
    record->change_time = from_timespec(st.st_ctim);
    record->size = st.st_size < 0 ? 0 : static_cast<std::uint64_t>(st.st_size);
    record->blocks = st.st_blocks < 0 ? 0 : static_cast<std::uint64_t>(st.st_blocks);
    record->block_size = static_cast<std::uint32_t>(st.st_blksize);
}

void fill_from_statx(const struct statx& sx, stat_record* record) {
    record->device = static_cast<std::uint64_t>(makedev(sx.stx_dev_major, sx.stx_dev_minor));
    record->mode = sx.stx_mode;
    record->link_count = sx.stx_nlink;
    record->inode = sx.stx_ino;
    record->owner = sx.stx_uid;
    record->group = sx.stx_gid;
    record->device_number = static_cast<std::uint64_t>(makedev(sx.stx_rdev_major, sx.stx_rdev_minor));
    record->access_time = from_statx_time(sx.stx_atime);
    record->modify_time = from_statx_time(sx.stx_mtime);
    record->change_time = from_statx_time(sx.stx_ctime);
    record->size = sx.stx_size;
    record->blocks = sx.stx_blocks;
    record->block_size = sx.stx_blksize;
    // Many file systems (tmpfs, NFS, older kernels) keep no birth time; it then stays 0.
    if ((sx.stx_mask & STATX_BTIME) != 0) {
        record->birth_time = from_statx_time(sx.stx_btime);
        record->has_birth_time = true;
    }
}

// statx gives the birth time; where the kernel lacks it (ENOSYS) the plain calls stand in.
int stat_with_flags(const char* path, stat_record* record, bool follow) {
    if (path == nullptr || record == nullptr) {
        if (record != nullptr) clear_stat_record_all(record);
        return -1;
    }
    clear_stat_record_all(record);
    struct statx sx {};
    const int flags = AT_STATX_SYNC_AS_STAT | (follow ? 0 : AT_SYMLINK_NOFOLLOW);
    if (statx(AT_FDCWD, path, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
        fill_from_statx(sx, record);
        return 0;
    }
    if (errno != ENOSYS) return -1;
    struct stat st {};
    const int r = follow ? stat(path, &st) : lstat(path, &st);
    if (r != 0) return -1;
    fill_from_stat(st, record);
    return 0;
}

}  // namespace

void clear_stat_record_all(stat_record* record) {
    if (record == nullptr) return;
    *record = stat_record{};
}

int platform_fstat(int descriptor, stat_record* record) {
    if (record == nullptr) return -1;
    clear_stat_record_all(record);
    struct stat st {};
    if (fstat(descriptor, &st) != 0) return -1;
    fill_from_stat(st, record);
    return 0;
}

int platform_stat(const char* path, stat_record* record) { return stat_with_flags(path, record, true); }

int platform_lstat(const char* path, stat_record* record) { return stat_with_flags(path, record, false); }
