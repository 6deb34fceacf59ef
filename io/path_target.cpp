#include "io/path_target.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "io/file_utils.h"
#include "io/fileio.h"

namespace {

// Links followed before a path counts as a loop (the kernel's own limit).
constexpr int kMaxLinkHops = 40;

// "." dropped and each ".." removing the component before it, by text alone (for folders that do not exist).
std::string lexically_normal(const std::string& absolute) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= absolute.size()) {
        std::size_t end = absolute.find('/', start);
        if (end == std::string::npos) end = absolute.size();
        const std::string part = absolute.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& p : parts) out += "/" + p;
    return out.empty() ? "/" : out;
}

std::string absolute_of(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    return get_current_dir() + "/" + path;
}

// The folder part resolved through its links where it exists, by text otherwise.
std::string resolved_folder(const std::string& folder) {
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) != nullptr) return resolved;
    return lexically_normal(folder);
}

}  // namespace

std::string path_target(const std::string& spelled) {
    std::string path = spelled;
    if (path.empty()) return path;
    uni::strip_path_separators(path);
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        const std::string absolute = absolute_of(path);
        const std::size_t slash = absolute.rfind('/');
        const std::string name = absolute.substr(slash + 1);
        if (name.empty() || name == "." || name == "..") return resolved_folder(absolute);
        const std::string folder = resolved_folder(slash == 0 ? "/" : absolute.substr(0, slash));
        const std::string joined = (folder == "/" ? std::string() : folder) + "/" + name;
        struct stat st;
        if (::lstat(joined.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return joined;
        // A link the system resolves although its text names no path ("/dev/stderr" to a pipe, through
        // /proc/self/fd) is kept as it is: only an open through it reaches the file.
        char resolved[PATH_MAX];
        if (::stat(joined.c_str(), &st) == 0 && ::realpath(joined.c_str(), resolved) == nullptr)
            return joined;
        std::vector<char> link(PATH_MAX + 1);
        const ssize_t n = ::readlink(joined.c_str(), link.data(), PATH_MAX);
        if (n <= 0) return joined;
        const std::string to(link.data(), static_cast<std::size_t>(n));
        path = to[0] == '/' ? to : (folder == "/" ? std::string() : folder) + "/" + to;
        // A link's text may end in a slash too; the kernel then wants a folder, which an output never is.
        uni::strip_path_separators(path);
    }
    // A loop: the last link itself, which no open will pass.
    return absolute_of(path);
}
