#include "io/evidence.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/positioned_read.h"

namespace {

// Opens `name` read-only as evidence is opened (without waiting for a writer, without touching its access
// time where the system allows it) and reads its first byte: the descriptor, or -1 when it does not open or
// is a FIFO (which holds no file to read); why it cannot be read in `why` (empty when it reads). A folder
// opens; it is its read that fails.
int open_and_read_first(const std::string& name, std::string& why) {
    why.clear();
    const int fd = uni::open_keeping_access_time(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = errno == ENOENT ? std::string("a link to nothing") : std::strerror(errno);
        return -1;
    }
    struct stat opened;
    std::uint8_t first = 0;
    if (::fstat(fd, &opened) == 0 && S_ISFIFO(opened.st_mode)) {
        why = "it is a FIFO";
        ::close(fd);
        return -1;
    }
    std::uint64_t got = 0;
    if (platform_read_at(fd, &first, 1, 0, &got) != 0) why = std::strerror(errno);
    return fd;
}

}  // namespace

std::string unreadable_reason(const std::string& path) {
    std::string why;
    const int fd = open_and_read_first(path, why);
    if (fd >= 0) ::close(fd);
    return why;
}

bool evidence::open(const std::string& path) {
    close();
    path_ = path;
    names_ = companions_of(path);
    (void)database_.open(path, false, false, false);
    open_companion(wal_, names_.wal, wal_why_);
    open_companion(journal_, names_.journal, journal_why_);
    return database_.is_open();
}

void evidence::close() {
    path_.clear();
    names_ = db_companions();
    database_.close();
    wal_.close();
    journal_.close();
    wal_why_.clear();
    journal_why_.clear();
}

void evidence::open_companion(uni::fileio& file, const std::string& name, std::string& why) {
    why.clear();
    if (name.empty()) return;
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0 && errno == ENOENT) return;  // not there
    // Read as a file read opens it: a folder is there, with nothing to read.
    const int fd = open_and_read_first(name, why);
    if (fd >= 0) file.adopt_descriptor(fd, name);
}

int evidence::companions_readable(std::string* companion, std::string* why) const {
    const std::pair<const std::string*, const std::string*> companions[] = {{&names_.wal, &wal_why_},
                                                                            {&names_.journal, &journal_why_}};
    for (const auto& c : companions) {
        if (c.second->empty()) continue;
        if (companion != nullptr) *companion = *c.first;
        if (why != nullptr) *why = *c.second;
        return 0;
    }
    return 1;
}
