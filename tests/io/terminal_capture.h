// Standard error on a pseudo-terminal, for the tests of what is written where the status line is shown.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace terminal_capture {

// Standard error on a pseudo-terminal in raw mode, as an examiner's shell gives it: what the status line
// writes there is read back from the terminal's other side once standard error is restored.
inline int g_terminal = -1;
inline int g_saved_stderr = -1;

inline void capture_terminal_stderr() {
    std::fflush(stderr);
    g_terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(g_terminal, 0);
    ASSERT_EQ(::grantpt(g_terminal), 0);
    ASSERT_EQ(::unlockpt(g_terminal), 0);
    const int line = ::open(::ptsname(g_terminal), O_RDWR | O_NOCTTY);
    ASSERT_GE(line, 0);
    termios mode;
    ASSERT_EQ(::tcgetattr(line, &mode), 0);
    ::cfmakeraw(&mode);
    ASSERT_EQ(::tcsetattr(line, TCSANOW, &mode), 0);
    g_saved_stderr = ::dup(STDERR_FILENO);
    ::dup2(line, STDERR_FILENO);
    ::close(line);
}

inline std::string captured_terminal_stderr() {
    std::fflush(stderr);
    // Once its last writer is gone the terminal gives what was written, then an error: the wait needs no
    // time limit, which a busy machine could pass before the terminal hands the text on.
    ::dup2(g_saved_stderr, STDERR_FILENO);
    ::close(g_saved_stderr);
    std::string text;
    char buf[4096];
    pollfd ready{g_terminal, POLLIN, 0};
    while (::poll(&ready, 1, -1) > 0) {
        const ssize_t n = ::read(g_terminal, buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(g_terminal);
    return text;
}

}  // namespace terminal_capture
