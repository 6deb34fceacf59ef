// Test helpers of the file-object tests: a unique temporary folder below SELK_TEST_TMP, removed with its
// contents afterwards, and small file helpers that use POSIX calls directly (not the code under test).
#pragma once

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace fileio_test {

class temp_folder {
  public:
    explicit temp_folder(const char* tag) {
        std::string templ = std::string(SELK_TEST_TMP) + "/" + tag + "_XXXXXX";
        if (mkdtemp(templ.data()) != nullptr) path_ = templ;
    }
    ~temp_folder() {
        if (path_.empty()) return;
        nftw(path_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    static int remove_entry(const char* p, const struct stat*, int, struct FTW*) {
        ::remove(p);
        return 0;
    }
    std::string path_;
};

inline bool write_file(const std::string& path, const std::string& data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const ssize_t n = ::write(fd, data.data(), data.size());
    ::close(fd);
    return n == static_cast<ssize_t>(data.size());
}

inline std::string read_file(const std::string& path) {
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof(buf));
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

inline std::int64_t file_size(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

// Bytes 0, 1, 2, ... 255, 0, 1, ... so that every offset's byte is known.
inline std::string pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i & 0xFF);
    return s;
}

// Number of descriptors this process has open (to show that nothing leaks).
inline int open_descriptor_count() {
    int count = 0;
    for (int fd = 0; fd < 1024; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) ++count;
    }
    return count;
}

}  // namespace fileio_test
