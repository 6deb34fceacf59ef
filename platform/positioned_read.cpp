#include "platform/positioned_read.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace {

constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
// Bytes asked of one call: a call may not be asked for more than SSIZE_MAX, and a system gives less at once.
constexpr std::uint64_t kMaxPiece = 268435456;

}  // namespace

int platform_read_at(int fd, void* out, std::uint64_t length, std::uint64_t offset, std::uint64_t* got) {
    if (got == nullptr || (out == nullptr && length != 0)) {
        errno = EINVAL;
        return -1;
    }
    *got = 0;
    if (length == 0) return 0;
    if (offset > kMaxOffset || length > kMaxOffset - offset) {
        errno = EOVERFLOW;
        return -1;
    }
    auto* bytes = static_cast<unsigned char*>(out);
    while (*got < length) {
        const std::uint64_t ask = std::min(length - *got, kMaxPiece);
        const ssize_t n =
            ::pread(fd, bytes + *got, static_cast<std::size_t>(ask), static_cast<off_t>(offset + *got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;  // the end of the file
        *got += static_cast<std::uint64_t>(n);
    }
    return 0;
}
