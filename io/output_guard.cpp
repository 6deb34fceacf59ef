#include "io/output_guard.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "io/db_companions.h"
#include "io/fileio.h"
#include "io/path_target.h"
#include "platform/positioned_read.h"

namespace {

constexpr mode_t kCreateMode = 0644;
// Bytes read from the start of a file to tell an earlier report or log of the tool.
constexpr std::size_t kEarlierOutputProbe = 4096;

bool identity_of(const std::string& path, std::uint64_t& device, std::uint64_t& inode) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
    device = static_cast<std::uint64_t>(st.st_dev);
    inode = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

void add_unique(std::vector<std::string>& list, const std::string& item) {
    if (item.empty()) return;
    for (const std::string& have : list) {
        if (have == item) return;
    }
    list.push_back(item);
}

}  // namespace

std::vector<std::string> evidence_family(const std::string& input) {
    std::vector<std::string> family;
    if (input.empty()) return family;
    std::string stripped = input;
    uni::strip_path_separators(stripped);
    for (const char* suffix : {"", "-wal", "-journal", "-shm"}) {
        add_unique(family, input + suffix);
        add_unique(family, stripped + suffix);
    }
    // Where the library finds them: beside the file the path reaches.
    const db_companions beside = companions_of(input);
    for (const std::string* member : {&beside.database, &beside.wal, &beside.journal, &beside.shm})
        add_unique(family, *member);
    return family;
}

std::string family_member_at(const std::string& output, const std::string& input) {
    if (output.empty() || input.empty()) return std::string();
    output_place place;
    place.target = path_target(output);
    place.exists = identity_of(place.target, place.device, place.inode);
    std::vector<std::string> members;
    family_members_at({place}, input, members);
    return members[0];
}

void family_members_at(const std::vector<output_place>& places, const std::string& input,
                       std::vector<std::string>& members) {
    members.resize(places.size());
    if (input.empty()) return;
    bool by_path = false, by_identity = false;
    for (const output_place& place : places) {
        by_path = by_path || !place.target.empty();
        by_identity = by_identity || place.exists;
    }
    for (const std::string& member : evidence_family(input)) {
        const std::string target = by_path ? path_target(member) : std::string();
        std::uint64_t device = 0, inode = 0;
        const bool exists = by_identity && identity_of(member, device, inode);
        for (std::size_t i = 0; i < places.size(); ++i) {
            const output_place& place = places[i];
            if (!members[i].empty()) continue;
            const bool same_path = !place.target.empty() && target == place.target;
            const bool same_file = place.exists && exists && device == place.device && inode == place.inode;
            if (same_path || same_file) members[i] = member;
        }
    }
}

bool paths_reach_same_file(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    if (path_target(a) == path_target(b)) return true;
    std::uint64_t da = 0, ia = 0, db = 0, ib = 0;
    return identity_of(a, da, ia) && identity_of(b, db, ib) && da == db && ia == ib;
}

held_output::~held_output() {
    if (descriptor != -1) ::close(descriptor);
}

int hold_output(held_output& out) {
    drop_held_output(out);
    out.created = false;
    out.target = path_target(out.spelled);
    if (out.target.empty()) {
        errno = ENOENT;
        return 0;
    }
    // The target holds no link at its end (but for a link only the system can follow, see path_target): one
    // found there now was put there meanwhile, and is not followed. Non-blocking, so that a FIFO without a
    // reader cannot hold the run.
    struct stat link_status;
    const bool magic_link = ::lstat(out.target.c_str(), &link_status) == 0 && S_ISLNK(link_status.st_mode);
    const int flags = (magic_link ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_CLOEXEC;
    const char* target = out.target.c_str();
    // Reading the first bytes of a file that may be evidence must not move its access time.
    int fd = uni::open_keeping_access_time(out.target, O_RDWR | flags);
    out.readable = fd != -1;
    if (fd == -1 && errno == EACCES) fd = ::open(target, O_WRONLY | flags);
    if (fd == -1 && errno == ENOENT) {
        // Exclusive: the file is known to be this run's own, to remove again should the run be refused.
        fd = ::open(target, O_RDWR | O_CREAT | O_EXCL | flags, kCreateMode);
        out.created = fd != -1;
        out.readable = fd != -1;
    }
    if (fd == -1) return 0;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int saved = errno;
        ::close(fd);
        if (out.created) ::unlink(out.target.c_str());
        out.created = false;
        errno = saved;
        return 0;
    }
    // Writes block as usual.
    const int status = ::fcntl(fd, F_GETFL);
    if (status != -1) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    out.descriptor = fd;
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.inode = static_cast<std::uint64_t>(st.st_ino);
    out.regular = S_ISREG(st.st_mode);
    return 1;
}

int hold_open_file(held_output& out, int descriptor) {
    drop_held_output(out);
    struct stat st;
    if (::fstat(descriptor, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    // A descriptor of its own, for reading: the one given may be open for writing only.
    const std::string own = "/proc/self/fd/" + std::to_string(descriptor);
    int fd = uni::open_keeping_access_time(own, O_RDONLY | O_CLOEXEC);
    struct stat again;
    if (fd != -1 && (::fstat(fd, &again) != 0 || again.st_dev != st.st_dev || again.st_ino != st.st_ino)) {
        ::close(fd);
        fd = -1;
    }
    out.descriptor = fd;
    out.readable = fd != -1;
    out.created = false;
    out.regular = true;
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.inode = static_cast<std::uint64_t>(st.st_ino);
    return 1;
}

bool held_output_is(const held_output& out, const std::string& path) {
    if (out.device == 0 && out.inode == 0) return false;
    std::uint64_t device = 0, inode = 0;
    return identity_of(path, device, inode) && device == out.device && inode == out.inode;
}

output_place place_of_held(const held_output& out) {
    output_place place;
    place.target = out.target;
    place.exists = out.device != 0 || out.inode != 0;
    place.device = out.device;
    place.inode = out.inode;
    return place;
}

bool held_earlier_output(const held_output& out, const std::string& banner) {
    if (out.created) return true;
    if (out.descriptor == -1 || !out.readable || !out.regular) return false;
    char head[kEarlierOutputProbe];
    std::uint64_t n = 0;
    if (platform_read_at(out.descriptor, head, sizeof(head), 0, &n) != 0) return false;
    const std::string text(head, static_cast<std::size_t>(n));
    if (text.empty()) return true;
    if (!banner.empty() && text.compare(0, banner.size(), banner) == 0) return true;
    if (text.compare(0, 2, "->") != 0) return false;
    // A line cut off by the end of the block read may show only its first '-'.
    for (std::size_t at = text.find('\n'); at != std::string::npos && at + 1 < text.size();
         at = text.find('\n', at + 1)) {
        const std::string next = text.substr(at + 1, 2);
        if (next[0] != '\n' && next != "->" && next != "-") return false;
    }
    return true;
}

const char* held_evidence_header(const held_output& out) {
    if (out.descriptor == -1 || !out.readable || !out.regular) return nullptr;
    unsigned char head[16] = {};
    std::uint64_t n = 0;
    if (platform_read_at(out.descriptor, head, sizeof(head), 0, &n) != 0) return nullptr;
    if (n >= 16 && std::memcmp(head, "SQLite format 3\0", 16) == 0) return "a SQLite database";
    static const unsigned char kJournal[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};
    if (n >= 8 && std::memcmp(head, kJournal, 8) == 0) return "a rollback journal";
    if (n >= 4 && head[0] == 0x37 && head[1] == 0x7f && head[2] == 0x06 && (head[3] & 0xfe) == 0x82) {
        return "a write-ahead log";
    }
    return nullptr;
}

bool named_like_shared_memory(const std::string& path) {
    std::string p = path;
    uni::strip_path_separators(p);
    return p.size() >= 4 && p.compare(p.size() - 4, 4, "-shm") == 0;
}

std::string file_beside_as_companion(const std::string& path) {
    std::string p = path;
    uni::strip_path_separators(p);
    for (const std::string suffix : {"-wal", "-journal", "-shm"}) {
        if (p.size() <= suffix.size() || p.compare(p.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string stem = p.substr(0, p.size() - suffix.size());
        if (stem.back() == '/') continue;
        struct stat st;
        if (::stat(stem.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return stem;
    }
    return std::string();
}

std::string descriptor_target(int descriptor) {
    const std::string own = "/proc/self/fd/" + std::to_string(descriptor);
    std::vector<char> link(PATH_MAX + 1);
    const ssize_t n = ::readlink(own.c_str(), link.data(), PATH_MAX);
    if (n <= 0 || link[0] != '/') return std::string();
    const std::string path(link.data(), static_cast<std::size_t>(n));
    // A removed file is named with " (deleted)" after its old path: only a name that still leads to the
    // open file is its path.
    struct stat named, opened;
    if (::stat(path.c_str(), &named) != 0 || ::fstat(descriptor, &opened) != 0) return std::string();
    if (named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) return std::string();
    return path;
}

void silence_descriptor(int descriptor) {
    const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd == -1) {
        ::close(descriptor);
        return;
    }
    if (null_fd != descriptor) {
        if (::dup2(null_fd, descriptor) == -1) ::close(descriptor);
        ::close(null_fd);
    }
}

int empty_held_output(held_output& out) {
    if (out.descriptor == -1) return 0;
    const bool emptied = !out.regular || ::ftruncate(out.descriptor, 0) == 0;
    ::close(out.descriptor);
    out.descriptor = -1;
    out.created = false;
    return emptied ? 1 : 0;
}

void drop_held_output(held_output& out) {
    if (out.descriptor == -1) return;
    ::close(out.descriptor);
    out.descriptor = -1;
    // Removed only while the name still leads to the file this run made.
    if (out.created && held_output_is(out, out.target)) ::unlink(out.target.c_str());
    out.created = false;
    out.device = out.inode = 0;
}
