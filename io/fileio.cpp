#include "io/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>

#include "common/text_ops.h"
#include "io/file_overlay.h"
#include "platform/block_device.h"
#include "platform/path_text.h"
#include "platform/positioned_read.h"

namespace uni {

namespace {

constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
// Permissions of a file created for writing (less the umask): reports and logs are never writable by others.
constexpr unsigned int kCreateMode = 0644;

// One read call, repeated only when a signal interrupted it before any byte moved.
ssize_t read_once(int fd, void* buf, std::size_t n) {
    for (;;) {
        const ssize_t r = ::read(fd, buf, n);
        if (r < 0 && errno == EINTR) continue;
        return r;
    }
}

}  // namespace

// ---------------------------------------------------------------- free functions

void clear_stat_record(stat_record* record) {
    if (record == nullptr) return;
    record->device = 0;
    record->mode = 0;
    record->link_count = 0;
    record->inode = 0;
    record->owner = 0;
    record->group = 0;
    record->device_number = 0;
    record->access_time = stat_time{};
    record->modify_time = stat_time{};
    record->change_time = stat_time{};
    record->birth_time = stat_time{};
    record->has_birth_time = false;
    record->size = 0;
}

int stat_descriptor(int descriptor, stat_record* record) {
    if (record == nullptr) return -1;
    clear_stat_record(record);
    return platform_fstat(descriptor, record);
}

int open_keeping_access_time(const std::string& path, int flags, unsigned int mode) {
    const int fd = ::open(path.c_str(), flags | O_NOATIME, static_cast<mode_t>(mode));
    if (fd >= 0 || errno != EPERM) return fd;
    // Only the file's owner or a privileged user may keep the access time; anyone else reads it all the same.
    return ::open(path.c_str(), flags, static_cast<mode_t>(mode));
}

int open_descriptor(const std::string& path, int flags, unsigned int mode) {
    if (path.empty()) return -1;
    // Non-blocking, so that opening a FIFO without a writer returns at once and can be refused.
    const int all = flags | O_NONBLOCK | O_CLOEXEC;
    // What is only read may be evidence.
    const int fd = (flags & O_ACCMODE) == O_RDONLY ? open_keeping_access_time(path, all, mode)
                                                   : ::open(path.c_str(), all, static_cast<mode_t>(mode));
    if (fd < 0) return -1;
    stat_record st;
    if (stat_descriptor(fd, &st) != 0) {
        ::close(fd);
        return -1;
    }
    const std::uint32_t type = st.mode & 0xF000u;
    // A FIFO or a socket would be read forever or not at all: refuse them.
    if (type == 0x1000u || type == 0xC000u) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string& strip_path_separators(std::string& path) {
    const bool rooted = !path.empty() && path[0] == '/';
    if (strip_trailing_slashes(path) == 0 && rooted) path = "/";
    return path;
}

std::wstring& strip_path_separators(std::wstring& path) {
    const bool rooted = !path.empty() && path[0] == L'/';
    if (strip_trailing_slashes_wide(path) == 0 && rooted) path = L"/";
    return path;
}

int open_descriptor(const std::wstring& path, int flags, unsigned int mode) {
    if (path.empty()) return -1;
    return open_descriptor(wide_to_path(path), flags, mode);
}

// ---------------------------------------------------------------- construction and opening

fileio::fileio()
    : descriptor(-1),
      file_size(0),
      write_access(false),
      opened(false),
      text_mode(false),
      in_memory(false),
      position(0) {}

fileio::fileio(const std::string& path, bool write, bool text_mode_flag, bool /*flag*/) : fileio() {
    text_mode = text_mode_flag;
    if (open(path, write, text_mode_flag, true) != 1) set_reset_state();
}

fileio::fileio(const std::wstring& path, bool write, bool text_mode_flag, bool /*flag*/) : fileio() {
    text_mode = text_mode_flag;
    if (open(path, write, text_mode_flag, true) != 1) set_reset_state();
}

fileio::fileio(const std::vector<std::uint8_t>& bytes, bool write, bool text_mode_flag) : fileio() {
    open_memory_copy(bytes, write, text_mode_flag);
}

fileio::~fileio() { close(); }

void fileio::set_reset_state() {
    descriptor = -1;
    file_size = 0;
    write_access = false;
    opened = false;
    text_mode = false;
    path.clear();
    buffer.clear();
    in_memory = false;
    overlay.reset();
    position = 0;
    window_offset_ = 0;
    window_fill_ = 0;
    last_read_end_ = 0;
}

void fileio::drop_stream() {
    if (!stream) return;
    stream->flush();
    // Destroying the stream hands its buffered bytes to this object, which must still be open.
    stream.reset();
}

void fileio::close_for_reopen() {
    if (overlay) set_reset_state();
    if (descriptor == -1) return;
    // Buffered output belongs to the file that is open now; it goes there before the descriptor closes.
    drop_stream();
    ::close(descriptor);
    set_reset_state();
}

int fileio::open(const std::string& narrow_path, bool write, bool text_mode_flag, bool truncate) {
    if (narrow_path.empty()) return 0;
    return open(path_to_wide(narrow_path), write, text_mode_flag, truncate);
}

int fileio::open(const std::wstring& wide_path, bool write, bool text_mode_flag, bool truncate) {
    if (wide_path.empty() || in_memory) return 0;
    std::wstring p = wide_path;
    strip_path_separators(p);
    close_for_reopen();
    text_mode = text_mode_flag;
    write_access = write;
    path = p;
    int flags = O_RDONLY;
    unsigned int mode = 0404;
    if (write) {
        flags = truncate ? (O_RDWR | O_CREAT | O_TRUNC) : O_RDWR;
        mode = kCreateMode;
    }
    const int fd = open_descriptor(wide_to_path(p), flags, mode);
    if (fd == -1) return 0;
    descriptor = fd;
    opened = true;
    file_size = query_size();
    return 1;
}

int fileio::open_wide(const std::string& narrow_path, bool write, bool text_mode_flag, bool truncate) {
    if (narrow_path.empty()) return 0;
    return open(path_to_wide(narrow_path), write, text_mode_flag, truncate);
}

int fileio::open_appending(const std::string& narrow_path, const std::wstring& wide_path,
                           bool text_mode_flag) {
    close_for_reopen();
    text_mode = text_mode_flag;
    write_access = true;
    path = wide_path;
    const int fd = open_descriptor(narrow_path, O_RDWR | O_CREAT | O_APPEND, kCreateMode);
    if (fd == -1) return 0;
    descriptor = fd;
    opened = true;
    file_size = query_size();
    return 1;
}

int fileio::open_append(const std::string& narrow_path, bool text_mode_flag) {
    if (narrow_path.empty() || in_memory) return 0;
    std::string p = narrow_path;
    strip_path_separators(p);
    // The stored wide path must name the same file again, so it is the byte-preserving path form.
    if (open_appending(p, path_to_wide(p), text_mode_flag) != 1) return 0;
    seek_from_end(0);
    return 1;
}

int fileio::open_append_wide(const std::wstring& wide_path, bool text_mode_flag) {
    if (wide_path.empty() || in_memory) return 0;
    std::wstring p = wide_path;
    strip_path_separators(p);
    return open_appending(wide_to_path(p), p, text_mode_flag);
}

int fileio::open_memory(std::uint32_t memory_size, bool write, bool text_mode_flag) {
    // Whatever is open is closed properly first: a descriptor or buffered output must not be lost.
    close();
    try {
        buffer.assign(memory_size, 0);
    } catch (const std::exception&) {
        set_reset_state();
        return 0;
    }
    write_access = write;
    text_mode = text_mode_flag;
    in_memory = true;
    file_size = memory_size;
    position = 0;
    opened = true;
    return 1;
}

int fileio::open_memory_copy(const std::vector<std::uint8_t>& bytes, bool write, bool text_mode_flag) {
    close();
    try {
        buffer = bytes;
    } catch (const std::exception&) {
        set_reset_state();
        return 0;
    }
    write_access = write;
    text_mode = text_mode_flag;
    in_memory = true;
    file_size = buffer.size();
    position = buffer.size();
    opened = true;
    return 1;
}

int fileio::open_duplicate(const fileio& other) {
    if (&other == this) return is_open() ? 1 : 0;
    close();
    if (other.overlay) {
        overlay = other.overlay;
    } else {
        if (other.in_memory || other.descriptor < 0 || !other.opened) return 0;
        const int fd = ::fcntl(other.descriptor, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) return 0;
        descriptor = fd;
    }
    path = other.path;
    file_size = other.file_size;
    position = 0;
    opened = true;
    return 1;
}

void fileio::adopt_descriptor(int fd, const std::string& narrow_path) {
    close();
    std::string p = narrow_path;
    strip_path_separators(p);
    path = path_to_wide(p);
    descriptor = fd;
    opened = true;
    file_size = query_size();
}

int fileio::open_overlay(std::shared_ptr<const file_overlay> pieces) {
    close();
    if (!pieces) return 0;
    overlay = std::move(pieces);
    file_size = overlay->size;
    position = 0;
    opened = true;
    return 1;
}

void fileio::close() {
    drop_stream();
    if (in_memory) {
        std::vector<std::uint8_t>().swap(buffer);
    } else if (descriptor != -1) {
        ::close(descriptor);
    }
    set_reset_state();
}

void fileio::reset() {
    // The descriptor is not closed (it belongs elsewhere now); the stream cannot reach it any more.
    std::unique_ptr<std::ostream> orphan = std::move(stream);
    set_reset_state();
    orphan.reset();
}

// ---------------------------------------------------------------- state

bool fileio::is_open() const { return in_memory || overlay || (descriptor != -1 && opened); }

bool fileio::is_valid() const { return is_open(); }

std::uint64_t fileio::size() const { return is_open() ? file_size : 0; }

std::uint64_t fileio::memory_limit() const {
    return file_size < buffer.size() ? file_size : static_cast<std::uint64_t>(buffer.size());
}

std::uint64_t fileio::query_size() {
    if (!is_open()) return 0;
    if (in_memory) return buffer.size();
    if (overlay) return overlay->size;
    stat_record st;
    // A folder has no contents to read; its end offset is a file-system artefact.
    if (stat_descriptor(descriptor, &st) == 0 && (st.mode & 0xF000u) == 0x4000u) return 0;
    const off_t remembered = lseek(descriptor, 0, SEEK_CUR);
    const off_t end = lseek(descriptor, 0, SEEK_END);
    std::uint64_t result = 0;
    if (end == 0 || end == -1) {
        // A raw device whose end lseek cannot find: ask it for its geometry.
        std::uint64_t count = 0;
        std::uint32_t block = 0;
        if (platform_block_count(descriptor, &count) != 0) count = 0;
        if (platform_block_size(descriptor, &block) != 0) block = 0;
        if (block != 0 && count <= std::numeric_limits<std::uint64_t>::max() / block) result = count * block;
        if (result == std::numeric_limits<std::uint64_t>::max()) result = 0;
    } else {
        result = static_cast<std::uint64_t>(end);
    }
    if (remembered >= 0) lseek(descriptor, remembered, SEEK_SET);
    return result;
}

std::uint64_t fileio::refresh_size() {
    if (!is_open()) return 0;
    file_size = query_size();
    return file_size;
}

int fileio::get_stat(stat_record* record) {
    if (record == nullptr) return 0;
    if (in_memory || overlay) {
        clear_stat_record_all(record);
        record->size = file_size;
        return 1;
    }
    if (descriptor != -1 && opened) return stat_descriptor(descriptor, record) == 0 ? 1 : 0;
    return 0;
}

std::uint64_t fileio::tell() {
    if (!is_open()) return 0;
    if (in_memory || overlay) return position;
    const off_t p = lseek(descriptor, 0, SEEK_CUR);
    return p < 0 ? 0 : static_cast<std::uint64_t>(p);
}

// ---------------------------------------------------------------- positioning

std::int64_t fileio::seek(std::int64_t offset) {
    if (!is_open()) return -1;
    if (!in_memory && !overlay) return lseek(descriptor, offset, SEEK_SET);
    if (offset < 0 || static_cast<std::uint64_t>(offset) > (overlay ? file_size : buffer.size())) return -1;
    position = static_cast<std::uint64_t>(offset);
    return offset;
}

std::int64_t fileio::seek_relative(std::int64_t offset) {
    if (!is_open()) return -1;
    if (!in_memory && !overlay) return lseek(descriptor, offset, SEEK_CUR);
    if (offset < 0) {
        const std::uint64_t back = static_cast<std::uint64_t>(-(offset + 1)) + 1;
        if (back > position) return -1;
        position -= back;
        return offset;
    }
    const std::uint64_t forward = static_cast<std::uint64_t>(offset);
    if (position > file_size || forward > file_size - position) return -1;
    position += forward;
    return offset;
}

std::int64_t fileio::seek_from_end(std::int64_t count) {
    if (!is_open()) return -1;
    if (!in_memory && !overlay) {
        if (count == std::numeric_limits<std::int64_t>::min()) return -1;
        return lseek(descriptor, -count, SEEK_END);
    }
    // Clamped to the contents: before the start is 0, past the end is the end.
    if (count <= 0) {
        position = file_size;
    } else {
        const std::uint64_t back = static_cast<std::uint64_t>(count);
        position = back > file_size ? 0 : file_size - back;
    }
    return static_cast<std::int64_t>(position);
}

// ---------------------------------------------------------------- reading

std::uint64_t fileio::readable_from(std::uint64_t offset) const {
    if (!is_open()) return 0;
    const std::uint64_t end = in_memory ? memory_limit() : file_size;
    return offset < end ? end - offset : 0;
}

bool fileio::positioned_read(void* out, std::uint64_t length, std::uint64_t offset,
                             std::uint64_t* got) const {
    if (got == nullptr) return false;
    *got = 0;
    length = std::min(length, readable_from(offset));
    if (length == 0) return true;
    if (out == nullptr) return false;
    if (in_memory) {
        std::memcpy(out, buffer.data() + offset, static_cast<std::size_t>(length));
        *got = length;
        return true;
    }
    if (overlay) {
        if (!overlay->read(static_cast<std::uint8_t*>(out), length, offset)) return false;
        *got = length;
        return true;
    }
    // Bytes that arrived before a failure are kept: only a read that gave nothing fails.
    return platform_read_at(descriptor, out, length, offset, got) == 0 || *got != 0;
}

int fileio::read_at(void* out, std::uint32_t* length, std::uint64_t offset) {
    if (length == nullptr) return 0;
    const std::uint64_t avail = readable_from(offset);
    if (avail == 0) return 0;
    if (out == nullptr && *length != 0) return 0;
    if (*length > avail) *length = static_cast<std::uint32_t>(avail);
    if (*length == 0 || window_read(out, *length, offset)) return 1;
    std::uint64_t got = 0;
    const bool read = positioned_read(out, *length, offset, &got);
    *length = static_cast<std::uint32_t>(got);
    if (!read) return 0;
    last_read_end_ = offset + got;
    return 1;
}

bool fileio::window_read(void* out, std::uint32_t length, std::uint64_t offset) {
    // Memory needs no cache, and an overlay's reads go where its pieces lie.
    if (write_access || in_memory || overlay || length > kReadWindow / 4) return false;
    const bool inside = offset >= window_offset_ && offset - window_offset_ < window_fill_ &&
                        length <= window_fill_ - (offset - window_offset_);
    if (!inside) {
        const bool follows =
            last_read_end_ != 0 && offset >= last_read_end_ && offset - last_read_end_ < kReadWindow;
        if (!follows) return false;
        if (read_window_.size() != kReadWindow) {
            try {
                read_window_.resize(kReadWindow);
            } catch (const std::exception&) {
                return false;
            }
        }
        std::uint64_t fill = 0;
        (void)positioned_read(read_window_.data(), kReadWindow, offset, &fill);
        window_offset_ = offset;
        window_fill_ = fill;
        if (length > window_fill_) return false;  // a short fill: the file answers this read itself
    }
    std::memcpy(out, read_window_.data() + (offset - window_offset_), length);
    last_read_end_ = offset + length;
    return true;
}

int fileio::read_at64(void* out, std::uint64_t* length, std::uint64_t offset) {
    if (length == nullptr) return 0;
    if (*length > 0xFFFFFFFFull) return 0;
    std::uint32_t len = static_cast<std::uint32_t>(*length);
    const int r = read_at(out, &len, offset);
    *length = r ? len : 0;
    return r;
}

int fileio::read_range(std::vector<std::uint8_t>& out, std::uint64_t count, std::uint64_t offset) {
    if (!is_open() || file_size <= offset) return 0;
    if (count == 0) return 1;
    const std::uint64_t n = std::min(count, readable_from(offset));
    if (n == 0) return 0;
    try {
        out.resize(static_cast<std::size_t>(n));
    } catch (const std::exception&) {
        return 0;
    }
    std::uint64_t got = 0;
    if (!positioned_read(out.data(), n, offset, &got)) {
        out.clear();
        return 0;
    }
    out.resize(static_cast<std::size_t>(got));
    // Ranged reads move the position of the modes that keep one here.
    if (in_memory || overlay) position = offset + n;
    return 1;
}

int fileio::read_range_string(std::string& out, std::uint64_t count, std::uint64_t offset) {
    std::vector<std::uint8_t> bytes;
    const bool had_count = count != 0;
    const int r = read_range(bytes, count, offset);
    // A count of 0 leaves the target as it was, as for the vector form.
    if (r == 1 && had_count) out.assign(bytes.begin(), bytes.end());
    return r;
}

int fileio::read(void* out, std::uint32_t* length) {
    if (length == nullptr || !is_open()) return 0;
    if (*length == 0) return 1;
    if (out == nullptr) return 0;
    if (*length > file_size) *length = static_cast<std::uint32_t>(file_size);
    if (in_memory) {
        // Sequential reads follow the memory position, as they follow the descriptor's position.
        const std::uint64_t limit = memory_limit();
        const std::uint64_t avail = position < limit ? limit - position : 0;
        if (*length > avail) *length = static_cast<std::uint32_t>(avail);
        if (*length != 0) std::memcpy(out, buffer.data() + position, *length);
        position += *length;
        return 1;
    }
    if (overlay) {
        const std::uint64_t avail = position < file_size ? file_size - position : 0;
        if (*length > avail) *length = static_cast<std::uint32_t>(avail);
        if (!overlay->read(static_cast<std::uint8_t*>(out), *length, position)) {
            *length = 0;
            return 0;
        }
        position += *length;
        return 1;
    }
    const ssize_t n = read_once(descriptor, out, *length);
    if (n < 0) {
        *length = 0;
        return 0;
    }
    *length = static_cast<std::uint32_t>(n);
    return 1;
}

int fileio::scan_chunks(chunk_callback callback, void* context, std::uint32_t chunk_length,
                        std::uint32_t overlap, std::uint64_t start) {
    if (!is_open() || callback == nullptr) return 0;
    const std::uint64_t total = query_size();
    if (start >= total || chunk_length == 0) return 1;
    std::uint32_t length = chunk_length;
    std::uint32_t configured_overlap = overlap;
    if (total - start < chunk_length) {
        length = static_cast<std::uint32_t>(total - start);
        configured_overlap = 0;
    }
    std::vector<std::uint8_t> window;
    try {
        window.resize(length);
    } catch (const std::exception&) {
        return 0;
    }
    std::uint64_t offset = start;
    while (offset < total && length > 0) {
        std::uint32_t got = length;
        if (read_at(window.data(), &got, offset) != 1) break;
        // The overlap must leave progress: once it is not below the length read it is dropped for good.
        if (configured_overlap >= got) configured_overlap = 0;
        const std::uint32_t pass_overlap = configured_overlap;
        callback(this, context, window.data(), got, pass_overlap, offset);
        const std::uint64_t next = offset + got - pass_overlap;
        std::uint32_t next_length = got;
        if (next >= total) {
            next_length = 0;
        } else if (got > total - next) {
            next_length = static_cast<std::uint32_t>(total - next);
        }
        offset = next;
        length = next_length;
    }
    return 1;
}

// ---------------------------------------------------------------- writing

bool fileio::write_all(const void* data, std::uint64_t length) {
    const std::uint8_t* p = static_cast<const std::uint8_t*>(data);
    std::uint64_t left = length;
    while (left > 0) {
        const std::size_t ask = left > (1u << 30) ? (1u << 30) : static_cast<std::size_t>(left);
        const ssize_t n = ::write(descriptor, p, ask);
        if (n < 0 && errno == EINTR) continue;
        // A write that moves nothing (full disk, closed pipe) ends the attempt: the caller hears of it.
        if (n <= 0) return false;
        p += n;
        left -= static_cast<std::uint64_t>(n);
    }
    return true;
}

void fileio::update_size_after_write() {
    const off_t end = lseek(descriptor, 0, SEEK_END);
    if (end >= 0) file_size = static_cast<std::uint64_t>(end);
}

int fileio::memory_write_at(const std::uint8_t* data, std::uint64_t length, std::uint64_t offset) {
    const std::uint64_t have = buffer.size();
    try {
        if (offset >= have || length >= have - offset) {
            // Reaches the end: overwrite what lies inside the buffer, append the rest (no gap past the end).
            std::uint64_t inside = 0;
            if (offset < have) {
                inside = have - offset;
                std::memcpy(buffer.data() + offset, data, static_cast<std::size_t>(inside));
            }
            buffer.insert(buffer.end(), data + inside, data + length);
            file_size = buffer.size();
            position = buffer.size();
        } else {
            std::memcpy(buffer.data() + offset, data, static_cast<std::size_t>(length));
            position = offset + length;
        }
    } catch (const std::exception&) {
        return 0;
    }
    return 1;
}

int fileio::write(const void* data, std::uint32_t length) {
    if (!is_open() || data == nullptr) return 0;
    if (length == 0) return 1;
    if (in_memory) return memory_write_at(static_cast<const std::uint8_t*>(data), length, buffer.size());
    if (lseek(descriptor, 0, SEEK_END) < 0) return 0;
    const bool ok = write_all(data, length);
    update_size_after_write();
    return ok ? 1 : 0;
}

int fileio::write_bytes(const std::vector<std::uint8_t>& bytes) {
    if (!is_open() || bytes.empty()) return 0;
    if (in_memory) return memory_write_at(bytes.data(), bytes.size(), buffer.size());
    if (lseek(descriptor, 0, SEEK_END) < 0) return 0;
    const bool ok = write_all(bytes.data(), bytes.size());
    update_size_after_write();
    return ok ? 1 : 0;
}

int fileio::write_fill(std::uint8_t value, std::uint32_t count) {
    if (!is_open() || count == 0) return 0;
    if (count == 1) return write(&value, 1);
    std::vector<std::uint8_t> fill;
    try {
        fill.assign(count, value);
    } catch (const std::exception&) {
        return 0;
    }
    return write_bytes(fill);
}

int fileio::write_at(const void* data, std::uint32_t length, std::int64_t offset) {
    if (!is_open() || data == nullptr) return 0;
    if (length == 0) return 1;
    if (offset < 0) return 0;
    if (in_memory) {
        return memory_write_at(static_cast<const std::uint8_t*>(data), length,
                               static_cast<std::uint64_t>(offset));
    }
    if (lseek(descriptor, offset, SEEK_SET) < 0) return 0;
    const bool ok = write_all(data, length);
    update_size_after_write();
    return ok ? 1 : 0;
}

int fileio::write_bytes_at(const std::vector<std::uint8_t>& bytes, std::int64_t offset) {
    if (!is_open() || bytes.empty() || offset < 0) return 0;
    if (in_memory) return memory_write_at(bytes.data(), bytes.size(), static_cast<std::uint64_t>(offset));
    // A failed seek would put the bytes at whatever position the descriptor had: refuse instead.
    if (lseek(descriptor, offset, SEEK_SET) < 0) return 0;
    const bool ok = write_all(bytes.data(), bytes.size());
    update_size_after_write();
    return ok ? 1 : 0;
}

namespace {

template <class Stream>
int append_text(fileio* f, const Stream& text) {
    if (!f->is_open()) return 0;
    const std::string s = text.str();
    if (s.empty()) return 1;
    const std::vector<std::uint8_t> bytes(s.begin(), s.end());
    return f->write_bytes(bytes);
}

}  // namespace

int fileio::append_stream(const std::ostringstream& text) { return append_text(this, text); }

int fileio::append_stream(const std::stringstream& text) { return append_text(this, text); }

int fileio::printf(const char* format, ...) {
    if (!is_open() || format == nullptr) return 0;
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    char probe = 0;
    const int needed = std::vsnprintf(&probe, 1, format, measure);
    va_end(measure);
    if (needed < 0) {
        va_end(args);
        return 0;
    }
    std::vector<char> text;
    try {
        text.resize(static_cast<std::size_t>(needed) + 1);
    } catch (const std::exception&) {
        va_end(args);
        return 0;
    }
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    if (needed == 0) return 1;
    return write(text.data(), static_cast<std::uint32_t>(needed));
}

void fileio::set_length(std::uint64_t length) {
    if (!is_open()) return;
    if (in_memory) {
        try {
            buffer.resize(static_cast<std::size_t>(length), 0);
        } catch (const std::exception&) {
            return;
        }
        file_size = length;
        position = 0;
        return;
    }
    if (length > kMaxOffset) return;
    if (ftruncate(descriptor, static_cast<off_t>(length)) != 0) return;
}

// ---------------------------------------------------------------- streams

int fileio::flush_stream() {
    if (stream) stream->flush();
    return -1;
}

std::uint32_t read_shared(const fileio& file, std::uint8_t* out, std::uint32_t length, std::uint64_t offset) {
    std::uint64_t got = 0;
    (void)file.positioned_read(out, length, offset, &got);
    return static_cast<std::uint32_t>(got);
}

}  // namespace uni
