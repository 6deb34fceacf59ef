#include "io/console.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

#include "common/text_ops.h"
#include "common/text_rewrite.h"
#include "io/cmd_params.h"
#include "io/diags_log.h"
#include "io/visible_printf.h"

namespace {

const char kEsc = '\x1b';
// Literals, not strings built before main: an allocation that fails there ends the process before it can
// say it ran out of memory. Line clear, then 27 or 4 blanks.
const char kLongClear[] = "\x1b[2K\r                           \r";
const char kShortClear[] = "\x1b[2K\r    \r";
const char kLineClear[] = "\x1b[2K\r";
static_assert(sizeof kLongClear == sizeof kLineClear + 27 + 1 &&
                  sizeof kShortClear == sizeof kLineClear + 4 + 1,
              "the clears keep their widths");

// Length of the escape sequence ESC "[2K" that is dropped before a text goes to the title or the log.
const std::size_t kEscapeLength = 4;

void write_err(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }

// A status text with its clear and carriage return, to standard error where that is a terminal.
void write_err_status(const std::string& text) {
    if (!status_line_on_stderr()) return;
    write_err(text);
    std::fflush(stderr);
}

// Formats with the control bytes of text arguments made visible and writes the whole text to standard
// error; the characters written, 0 when formatting fails.
int write_err_visible(const char* format, va_list args) {
    if (format == nullptr) return 0;
    std::string text;
    if (!format_visible(text, format, args)) return 0;
    write_err(text);
    std::fflush(stderr);
    return static_cast<int>(text.size());
}

void write_out(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// Formats (text arguments with their control bytes made visible) and keeps at most size - 2 characters,
// as a vsnprintf into `size` bytes with a limit of size - 1 would; false when formatting fails.
bool format_limited(std::string& out, std::size_t size, const char* format, va_list args) {
    if (!format_visible(out, format, args)) return false;
    if (size >= 2 && out.size() > size - 2) out.resize(size - 2);
    return true;
}

// A text handed in whole (not through a format) comes from anywhere: its control bytes are shown.
std::string visible(const std::string& text) {
    std::string v = text;
    show_control_bytes(v);
    return v;
}

// The truncated percentage; a total of 0 or a value beyond 32 bits would make the conversion undefined.
std::uint32_t percent_of(std::uint64_t current, std::uint64_t total) {
    if (total == 0) return 0;
    const double p = static_cast<double>(current) / static_cast<double>(total) * 100.0;
    if (!(p >= 0.0)) return 0;
    if (p >= static_cast<double>(std::numeric_limits<std::uint32_t>::max())) {
        return std::numeric_limits<std::uint32_t>::max();
    }
    return static_cast<std::uint32_t>(p);
}

// Steps 2 to 5 of channel output. `cleared` tells whether `line` begins with a clear sequence.
void channel_emit(status_channel& channel, std::string line, bool cleared) {
    if (line.size() > channel.width) line.resize(channel.width);
    if (channel.flags & channel_line) {
        const std::string out = line + "\r";
        if (channel.flags & channel_stderr) {
            write_err_status(out);
        } else if (channel.flags & channel_stdout) {
            std::printf("%s", out.c_str());
            std::fflush(stdout);
        }
    }
    std::string plain = line;
    if (cleared) plain.erase(0, std::min(kEscapeLength, plain.size()));
    if (channel.flags & channel_title) set_terminal_title(plain.c_str());
    // The text was made visible on its way in; what remains raw is this layer's own clear sequence.
    if (channel.flags & channel_log) write_log_line_unchecked_bytes(channel.options, plain);
}

bool channel_active(const status_channel& channel) {
    return (channel.flags & (channel_title | channel_line | channel_log)) != 0;
}

void channel_output(status_channel& channel, const std::string& text) {
    if (!channel_active(channel)) return;
    const bool cleared = (channel.flags & channel_line) != 0;
    channel_emit(channel, cleared ? kShortClear + text : text, cleared);
}

}  // namespace

bool status_line_on_stderr() { return ::isatty(STDERR_FILENO) == 1; }

void clear_status_line() { write_err_status(kLongClear); }

void clear_status_line_if_enabled(cmd_params& options) {
    if (options.show_progress) clear_status_line();
}

void clear_status_line_checked(cmd_params* options) {
    if (options != nullptr) clear_status_line_if_enabled(*options);
}

int clear_status_line_short() {
    if (status_line_on_stderr()) write_err(kShortClear);
    return std::fflush(stderr);
}

int print_status_text(unsigned width, const std::string& text) {
    if (text.empty()) return 0;
    const std::size_t n = std::min<std::size_t>(text.size(), width);
    std::string cut = text.substr(0, n);
    remove_char(cut, '\n');
    show_control_bytes(cut);
    write_err_status(kShortClear + cut + "\r");
    return static_cast<int>(n);
}

int print_percent_done(unsigned width, std::uint64_t current, std::uint64_t total, unsigned step_percent) {
    static std::uint64_t next_threshold = 0;
    static std::uint64_t step = 0;
    if (next_threshold == 0) {
        const double s = (step_percent / 100.0) * static_cast<double>(total);
        step = s >= 18446744073709551615.0 ? std::numeric_limits<std::uint64_t>::max()
                                           : static_cast<std::uint64_t>(s);
        next_threshold = step;
    }
    if (next_threshold > current) return 0;
    next_threshold += step;
    return print_status_text(width, "percent done: " + std::to_string(percent_of(current, total)));
}

void print_status_line(const std::string& text) {
    // Away from a terminal the line is a message of its own, and an empty one says nothing.
    const bool terminal = status_line_on_stderr();
    if (!terminal && text.empty()) return;
    std::string line = terminal ? kShortClear : std::string();
    if (!text.empty()) line += visible(text);
    line += "\n";
    write_err(line);
    std::fflush(stderr);
}

void print_last_status_line(const std::string& text) { write_err_status(kShortClear + visible(text) + "\n"); }

void print_offset_progress(std::uint64_t current, std::uint64_t total) {
    std::string line = kLineClear;
    if (current < total) {
        char buffer[80];
        std::snprintf(buffer, sizeof buffer, " --> 0x%llx of 0x%llx\r",
                      static_cast<unsigned long long>(current), static_cast<unsigned long long>(total));
        line += buffer;
    } else {
        line += std::string(45, ' ');
    }
    write_err_status(line);
}

int set_terminal_title(const char* text) {
    if (text == nullptr) return 0;
    write_out(std::string(1, kEsc) + "]0;" + text + "\a");
    std::fflush(stdout);
    return 1;
}

void title_percent_complete(std::uint64_t current, std::uint64_t total) {
    // A total of 0 has no percentage; nothing is shown rather than dividing by zero.
    if (total == 0) return;
    const std::uint32_t p = static_cast<std::uint32_t>(current * 100 / total);
    set_terminal_title(("percent complete: " + std::to_string(p)).c_str());
}

int title_printf(const char* format, ...) {
    if (format == nullptr) return 0;
    std::string text;
    va_list args;
    va_start(args, format);
    const bool ok = format_limited(text, 256, format, args);
    va_end(args);
    if (!ok) return 0;
    set_terminal_title(text.c_str());
    return static_cast<int>(text.size());
}

int title_text(int width, const std::string& text) {
    const std::size_t n =
        width <= 0 ? 0 : std::min<std::size_t>(text.size(), static_cast<std::size_t>(width));
    set_terminal_title(visible(text.substr(0, n)).c_str());
    return static_cast<int>(n);
}

int title_stream_text(int width, const std::ostringstream& text) { return title_text(width, text.str()); }

int status_vprintf(bool to_stderr, unsigned width, unsigned /*reserved*/, const char* format, va_list args,
                   bool raw) {
    if (format == nullptr) return 0;
    const std::size_t size = width > 256 ? static_cast<std::size_t>(width) + 1 : 256;
    std::string text;
    if (!format_limited(text, size, format, args)) return 0;
    const std::size_t n = std::min<std::size_t>({text.size(), static_cast<std::size_t>(width), size - 1});
    text.resize(n);
    std::string line = text;
    if (!raw) {
        line = kShortClear + text + "\r";
        remove_char(line, '\n');
    }
    if (to_stderr && raw) {
        write_err(line);
        std::fflush(stderr);
    } else if (to_stderr) {
        write_err_status(line);
    } else if (raw) {
        set_terminal_title(line.c_str());
    } else {
        write_out(line);
        std::fflush(stdout);
    }
    return static_cast<int>(n);
}

void status_printf_default(const char* format, ...) {
    va_list args;
    va_start(args, format);
    status_vprintf(true, 60, 0, format, args, false);
    va_end(args);
}

namespace {
int stdout_text(const char* format, ...) __attribute__((format(printf, 1, 2)));
int stdout_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = status_vprintf(false, 60, 0, format, args, false);
    va_end(args);
    return n;
}
}  // namespace

void stdout_stream_printf(const std::ostringstream& text) {
    // The stream's text is printed as text: a '%' in it must not be read as a conversion.
    stdout_text("%s", text.str().c_str());
}

void status_printf(int width, const char* format, ...) {
    const unsigned w = width <= 0 ? 0u : std::min(70u, static_cast<unsigned>(width));
    va_list args;
    va_start(args, format);
    status_vprintf(true, w, 0, format, args, false);
    va_end(args);
}

int stdout_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = status_vprintf(false, 60, 0, format, args, false);
    va_end(args);
    return n;
}

void status_channel_printf(status_channel& channel, const char* format, ...) {
    if (!channel_active(channel) || format == nullptr) return;
    const std::size_t size = static_cast<std::size_t>(channel.width) + 256;
    std::string text;
    va_list args;
    va_start(args, format);
    const bool ok = format_limited(text, size, format, args);
    va_end(args);
    if (!ok) return;
    if (text.size() > channel.width) text.resize(channel.width);
    channel_output(channel, text);
}

void status_channel_stream(status_channel& channel, const std::ostringstream& text) {
    channel_output(channel, visible(text.str()));
}

void status_channel_text(status_channel& channel, const std::string& text) {
    channel_output(channel, visible(text));
}

void status_channel_progress(status_channel& channel, std::uint64_t current) {
    if (!channel_active(channel) || !(channel.flags & channel_progress) || channel.last_percent == 100)
        return;
    const bool cleared = (channel.flags & channel_line) != 0;
    std::string text = cleared ? kLineClear : std::string();
    text += "Percent done: ";
    if (channel.total > current) {
        const std::uint32_t p = static_cast<std::uint32_t>(current * 100 / channel.total);
        if (p == 0) return;
        if (p < channel.step_percent || p - channel.last_percent < channel.step_percent) return;
        channel.last_percent = p;
        text += std::to_string(p) + "%";
    } else {
        channel.last_percent = 100;
        text += "100%";
    }
    channel_emit(channel, text, cleared);
}

int error_printf(const char* format, ...) {
    clear_status_line();
    va_list args;
    va_start(args, format);
    const int written = write_err_visible(format, args);
    va_end(args);
    return written;
}

int message_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = write_err_visible(format, args);
    va_end(args);
    return written;
}

int color_printf(int fg, int bg, int stream, const char* format, ...) {
    std::printf("%c[%d;%d;%dm", kEsc, 1, fg + 30, bg + 40);
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        std::string text;
        format_visible(text, format, args);
        va_end(args);
        write_out(text);
    }
    std::fflush(stdout);
    if (stream == 2) {
        if (status_line_on_stderr()) std::fprintf(stderr, "%c[%d;%d;%dm", kEsc, 0, 37, 40);
        std::fflush(stderr);
    } else {
        std::printf("%c[%d;%d;%dm", kEsc, 0, 37, 40);
        std::fflush(stdout);
    }
    return 0;
}
