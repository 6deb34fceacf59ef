// Test helpers of the folder-listing, folder-walk and path-source tests: a unique temporary folder below
// SELK_TEST_TMP, removed with its contents afterwards (links are removed, never followed), and file and
// listing helpers that use POSIX calls directly rather than the code under test.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace pdir_test {

class temp_tree {
  public:
    explicit temp_tree(const char* tag) {
        std::string templ = std::string(SELK_TEST_TMP) + "/" + tag + "_XXXXXX";
        if (mkdtemp(templ.data()) != nullptr) root_ = templ;
    }
    ~temp_tree() {
        if (root_.empty()) return;
        // Folders made read-only by a test must be writable again before their contents can go.
        nftw(root_.c_str(), unlock_entry, 16, FTW_PHYS);
        nftw(root_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }
    temp_tree(const temp_tree&) = delete;
    temp_tree& operator=(const temp_tree&) = delete;

    bool ok() const { return !root_.empty(); }
    const std::string& root() const { return root_; }
    std::string at(const std::string& rel) const { return root_ + "/" + rel; }

    bool dir(const std::string& rel) const { return ::mkdir(at(rel).c_str(), 0755) == 0; }
    bool file(const std::string& rel, const std::string& data = "x") const {
        const int fd = ::open(at(rel).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return false;
        const ssize_t n = ::write(fd, data.data(), data.size());
        ::close(fd);
        return n == static_cast<ssize_t>(data.size());
    }
    bool link(const std::string& target, const std::string& rel) const {
        return ::symlink(target.c_str(), at(rel).c_str()) == 0;
    }

  private:
    static int unlock_entry(const char* p, const struct stat* st, int type, struct FTW*) {
        if (type == FTW_D || type == FTW_DNR) ::chmod(p, (st->st_mode & 07777) | 0700);
        return 0;
    }
    static int remove_entry(const char* p, const struct stat*, int, struct FTW*) {
        ::remove(p);
        return 0;
    }
    std::string root_;
};

// One folder as readdir gives it (without "." and ".."): names in readdir order, and whether each is a
// folder by lstat.
struct raw_entry {
    std::string name;
    bool is_dir;
};

inline std::vector<raw_entry> raw_listing(const std::string& folder) {
    std::vector<raw_entry> out;
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr) return out;
    while (struct dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        const bool is_dir = ::lstat((folder + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        out.push_back({name, is_dir});
    }
    ::closedir(d);
    return out;
}

inline bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

inline bool is_folder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

inline std::string read_all(const std::string& path) {
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

}  // namespace pdir_test
