#include "io/file_overlay.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/positioned_read.h"

namespace uni {

file_overlay::~file_overlay() {
    for (int fd : sources_) ::close(fd);
}

int file_overlay::add_source(int descriptor) {
    if (descriptor < 0) return -1;
    sources_.reserve(sources_.size() + 1);
    const int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return -1;
    sources_.push_back(fd);
    return static_cast<int>(sources_.size() - 1);
}

bool file_overlay::lay(std::uint64_t at, std::uint64_t length, int source, std::uint64_t from) {
    if (length == 0) return true;
    if (source < -1 || (source >= 0 && static_cast<std::size_t>(source) >= sources_.size())) return false;
    const std::uint64_t end = at + length;
    // A piece that starts before `at` and reaches into it keeps its head; one that runs past the end
    // keeps its tail.
    auto it = map_.lower_bound(at);
    if (it != map_.begin()) {
        auto before = std::prev(it);
        const std::uint64_t before_end = before->first + before->second.length;
        if (before_end > at) {
            if (before_end > end) {
                piece tail = before->second;
                tail.from += end - before->first;
                tail.length = before_end - end;
                map_.emplace(end, tail);
            }
            before->second.length = at - before->first;
        }
    }
    while (it != map_.end() && it->first < end) {
        const std::uint64_t it_end = it->first + it->second.length;
        if (it_end > end) {
            piece tail = it->second;
            tail.from += end - it->first;
            tail.length = it_end - end;
            map_.erase(it);
            map_.emplace(end, tail);
            break;
        }
        it = map_.erase(it);
    }
    map_.emplace(at, piece{source, from, length});
    return true;
}

bool file_overlay::lay_overlay(const file_overlay& other, std::uint64_t length) {
    std::vector<int> taken;
    for (const int fd : other.sources_) {
        const int source = add_source(fd);
        if (source < 0) return false;
        taken.push_back(source);
    }
    for (const auto& entry : other.map_) {
        if (entry.first >= length) break;
        const piece& p = entry.second;
        const int source = p.source < 0 ? -1 : taken[static_cast<std::size_t>(p.source)];
        if (!lay(entry.first, std::min(p.length, length - entry.first), source, p.from)) return false;
    }
    return true;
}

bool file_overlay::read(std::uint8_t* out, std::uint64_t length, std::uint64_t offset) const {
    std::memset(out, 0, static_cast<std::size_t>(length));
    const std::uint64_t end = offset + length;
    auto it = map_.upper_bound(offset);
    if (it != map_.begin()) --it;
    for (; it != map_.end() && it->first < end; ++it) {
        const std::uint64_t piece_end = it->first + it->second.length;
        if (piece_end <= offset || it->second.source < 0) continue;
        const std::uint64_t from = std::max(offset, it->first);
        const std::uint64_t to = std::min(end, piece_end);
        std::uint8_t* dst = out + (from - offset);
        const std::uint64_t source_at = it->second.from + (from - it->first);
        const int fd = sources_[static_cast<std::size_t>(it->second.source)];
        // A source that shrank since leaves zeros, as past its end.
        std::uint64_t got = 0;
        if (platform_read_at(fd, dst, to - from, source_at, &got) != 0) return false;
    }
    return true;
}

}  // namespace uni
