#include "io/std_streams.h"

#include <sys/select.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "common/encoding.h"
#include "common/text_ops.h"
#include "platform/path_text.h"

namespace uni {

stdin_stream::stdin_stream(bool flag_value)
    : line_buffer(nullptr),
      input(stdin),
      ready(false),
      flag(false),
      buffer_length(kLineBuffer),
      second_counter(0) {
    if (input == nullptr) return;
    line_buffer = new (std::nothrow) char[kLineBuffer];
    if (line_buffer == nullptr) return;
    line_buffer[0] = '\0';
    flag = flag_value;
    ready = true;
}

stdin_stream::~stdin_stream() { clear(); }

bool stdin_stream::next_line() {
    if (!ready || line_buffer == nullptr || input == nullptr) return false;
    return std::fgets(line_buffer, static_cast<int>(kLineBuffer), input) != nullptr;
}

bool stdin_stream::read(std::string& line, bool strip) {
    line.clear();
    if (!next_line()) return false;
    line.assign(line_buffer);
    if (strip) strip_line_ending(line);
    return true;
}

bool stdin_stream::read(std::wstring& line, bool strip) {
    line.clear();
    if (!next_line()) return false;
    std::string narrow(line_buffer);
    if (strip) strip_line_ending(narrow);
    // Lines are paths: every byte must survive, valid UTF-8 or not.
    line = path_to_wide(narrow);
    return true;
}

bool stdin_stream::read_bytes(std::vector<std::uint8_t>& line, bool strip) {
    line.clear();
    if (!next_line()) return false;
    std::string narrow(line_buffer);
    if (strip) strip_line_ending(narrow);
    line.assign(narrow.begin(), narrow.end());
    return true;
}

bool stdin_stream::read_raw(char* out, std::uint32_t* length) {
    if (!ready || out == nullptr || length == nullptr || input == nullptr) return false;
    // fgets takes an int size; a size of 0 could not even hold the terminating NUL.
    if (*length == 0) return false;
    const int size = *length > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(*length);
    if (std::fgets(out, size, input) == nullptr) return false;
    *length = static_cast<std::uint32_t>(std::strlen(out));
    return true;
}

bool stdin_stream::wait_for_input() {
    if (!ready) return false;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(0, &readable);
    struct timeval wait {};
    wait.tv_sec = 2;
    wait.tv_usec = 0;
    return select(1, &readable, nullptr, nullptr, &wait) > 0 && FD_ISSET(0, &readable);
}

void stdin_stream::clear() {
    delete[] line_buffer;
    line_buffer = nullptr;
    input = nullptr;
    ready = false;
}

void stdin_stream::reset() {
    line_buffer = nullptr;
    input = nullptr;
    ready = false;
    buffer_length = 0;
    second_counter = 0;
}

stdout_stream::stdout_stream(bool flag_value)
    : descriptor(-1), output(stdout), ready(false), flag(false), counter(0) {
    if (output == nullptr) return;
    descriptor = fileno(output);
    if (descriptor < 0) {
        descriptor = -1;
        return;
    }
    flag = flag_value;
    ready = true;
}

stdout_stream::~stdout_stream() { reset(); }

bool stdout_stream::write(const void* data, std::int32_t count) {
    if (!ready || data == nullptr || count <= 0) return false;
    const char* p = static_cast<const char*>(data);
    std::size_t left = static_cast<std::size_t>(count);
    while (left > 0) {
        const ssize_t n = ::write(descriptor, p, left);
        if (n < 0 && errno == EINTR) continue;
        // A write that moves nothing would repeat forever: it is a failure like -1.
        if (n <= 0) return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool stdout_stream::write(const std::string& text) {
    if (text.size() > 0x7FFFFFFFu) return false;
    return write(text.data(), static_cast<std::int32_t>(text.size()));
}

bool stdout_stream::write(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty() || bytes.size() > 0x7FFFFFFFu) return false;
    return write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

bool stdout_stream::write(const std::wstring& text) { return write(wstring_to_utf8(text)); }

void stdout_stream::reset() {
    descriptor = -1;
    output = nullptr;
    ready = false;
    counter = 0;
}

}  // namespace uni
