// Runs the built selk executable as a child process with the given arguments and standard input, and
// collects its standard output, standard error and exit status. The executable and the sample database
// are found relative to the test program: both live in the same build tree.
#pragma once

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

// Defined where the address or thread sanitizer is built in: they reserve address space and memory of their
// own, so the tests leave out address-space limits and peak-memory bounds there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SELK_TEST_SANITIZER_MAPS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SELK_TEST_SANITIZER_MAPS 1
#endif
#endif

namespace selk_process {

struct result {
    std::string out;       // standard output
    std::string err;       // standard error
    int status = -1;       // exit status, or -1 when the child did not exit normally
    bool started = false;  // the child could be run at all
    long peak_kb = 0;      // the child's peak resident memory, in KiB
};

// The build tree's root: the test programs live in <root>/tests/notifications.
inline std::string build_root() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return std::string();
    std::string path(buf, static_cast<std::size_t>(n));
    for (int i = 0; i < 3; ++i) {
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos) return std::string();
        path.erase(slash);
    }
    return path;
}

inline std::string selk_path() { return build_root() + "/notifications/selk"; }
inline std::string sample_db_path() { return build_root() + "/notifications/tools/sample_notifications.db"; }

// A pseudo-terminal in raw mode, as an examiner's shell gives it: [0] the side read, [1] the terminal the
// child writes to. False when none can be had.
inline bool open_terminal(int ends[2]) {
    const int side = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (side < 0) return false;
    const int line =
        ::grantpt(side) == 0 && ::unlockpt(side) == 0 ? ::open(::ptsname(side), O_RDWR | O_NOCTTY) : -1;
    termios mode;
    if (line < 0 || ::tcgetattr(line, &mode) != 0) {
        ::close(side);
        if (line >= 0) ::close(line);
        return false;
    }
    ::cfmakeraw(&mode);
    ::tcsetattr(line, TCSANOW, &mode);
    ends[0] = side;
    ends[1] = line;
    return true;
}

// Runs selk with `args` (the program path is added first) and `input` on its standard input; with
// `terminal_stderr` its standard error is a terminal, whose text is collected as the pipe's would be.
inline result run(const std::vector<std::string>& args, const std::string& input = std::string(),
                  const std::string& program = selk_path(), bool terminal_stderr = false) {
    result r;
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (::pipe(in_pipe) != 0) return r;
    if (::pipe(out_pipe) != 0) return r;
    if (terminal_stderr ? !open_terminal(err_pipe) : ::pipe(err_pipe) != 0) return r;
    const pid_t pid = ::fork();
    if (pid < 0) return r;
    if (pid == 0) {
        ::dup2(in_pipe[0], 0);
        ::dup2(out_pipe[1], 1);
        ::dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
            ::close(fd);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    r.started = true;
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    // A child that stops reading must not make the write fail the test program.
    ::signal(SIGPIPE, SIG_IGN);
    std::size_t written = 0;
    while (written < input.size()) {
        const ssize_t w = ::write(in_pipe[1], input.data() + written, input.size() - written);
        if (w <= 0) break;
        written += static_cast<std::size_t>(w);
    }
    ::close(in_pipe[1]);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open_count = 2;
    while (open_count > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            char buf[65536];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof(buf));
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    int status = 0;
    struct rusage usage = {};
    if (::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
    r.peak_kb = usage.ru_maxrss;
    return r;
}

// The lines of a text (without their line breaks); a last line without a break counts too.
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// The cells of a report line split at a separator text.
inline std::vector<std::string> split(const std::string& line, const std::string& sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = line.find(sep, start);
        if (at == std::string::npos) {
            out.push_back(line.substr(start));
            return out;
        }
        out.push_back(line.substr(start, at - start));
        start = at + sep.size();
    }
}

inline std::string trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return std::string();
    const std::size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

}  // namespace selk_process
