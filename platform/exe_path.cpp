#include "platform/exe_path.h"

#include <unistd.h>

#include <cstring>
#include <vector>

int platform_executable_path(char* buffer, std::uint32_t* size) {
    if (buffer == nullptr || size == nullptr) return -1;
    // readlink does not say how long the link is, so grow until the text fits with room to spare.
    std::vector<char> link(256);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", link.data(), link.size());
        if (n < 0) return -1;
        if (static_cast<std::size_t>(n) < link.size()) {
            const std::uint64_t needed = static_cast<std::uint64_t>(n) + 1;
            if (needed > *size) {
                *size = static_cast<std::uint32_t>(needed);
                return -1;
            }
            std::memcpy(buffer, link.data(), static_cast<std::size_t>(n));
            buffer[n] = '\0';
            return 0;
        }
        if (link.size() >= (1u << 20)) return -1;
        link.resize(link.size() * 2);
    }
}
