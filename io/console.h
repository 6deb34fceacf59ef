// The terminal status line on standard error, progress counters, the terminal title, colour output and
// the error printer. Status texts are written after a sequence that clears the line and end with a
// carriage return, so each new text overwrites the last. Standard error that is not a terminal (a file, a
// pipe) gets none of this: no clear sequence, no status text left to be overwritten, no colour; messages
// and the lines of print_status_line reach it as plain lines.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <sstream>
#include <string>

class cmd_params;

// One text sent at once to the terminal line, the terminal title and the diagnostics log.
struct status_channel {
    std::uint64_t reserved = 0;      // no use here
    std::uint32_t width = 0;         // the most characters written
    std::uint64_t flags = 0;         // status_channel_flags
    std::uint64_t total = 0;         // the count that means 100 percent
    std::uint32_t last_percent = 0;  // the percentage shown last
    std::uint32_t step_percent = 0;  // the smallest change worth showing
    cmd_params* options = nullptr;   // for the diagnostics log (not owned)
};

enum status_channel_flags : std::uint64_t {
    channel_title = 1,     // terminal title
    channel_line = 2,      // terminal line: short clear before, CR after
    channel_log = 4,       // diagnostics log
    channel_progress = 8,  // progress on
    channel_stderr = 16,   // line to standard error
    channel_stdout = 32,   // line to standard output
};

// Long clear (ESC "[2K", CR, 27 blanks, CR) to standard error; flushed.
void clear_status_line();
// clear_status_line when show_progress is set.
void clear_status_line_if_enabled(cmd_params& options);
// The same; nothing for a null pointer.
void clear_status_line_checked(cmd_params* options);
// Short clear (ESC "[2K", CR, 4 blanks, CR) to standard error; returns the flush result.
int clear_status_line_short();
// Short clear + the first min(length, width) characters without their LFs + CR; returns that count.
// An empty text writes nothing and returns 0.
int print_status_text(unsigned width, const std::string& text);
// "percent done: N" each time current reaches the next threshold (thresholds step_percent apart, shared by
// every caller for the life of the process). Returns the written length, or 0 when nothing was written.
int print_percent_done(unsigned width, std::uint64_t current, std::uint64_t total, unsigned step_percent);
// Short clear + text (when not empty) + LF to standard error.
void print_status_line(const std::string& text);
// The status line lives on a terminal: standard error into a file or a pipe gets neither the sequences that
// clear it nor the texts that are left to be overwritten, only the messages, as lines. Asked at each write,
// since standard error may be pointed elsewhere during the run.
bool status_line_on_stderr();
// Short clear + text + LF where standard error is a terminal, nothing elsewhere: the status line's last
// text, which stays on the screen.
void print_last_status_line(const std::string& text);
// Line clear, then " --> 0x<current> of 0x<total>" + CR while current < total, else 45 blanks.
void print_offset_progress(std::uint64_t current, std::uint64_t total);

// ESC "]0;" text BEL on standard output. 0 for a null text, else 1.
int set_terminal_title(const char* text);
// Title "percent complete: N"; nothing for a total of 0.
void title_percent_complete(std::uint64_t current, std::uint64_t total);
// Formats at most 254 characters into the title; 0 and no title when formatting fails, else the length.
int title_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The title with the text cut to width; returns the length written.
int title_text(int width, const std::string& text);
int title_stream_text(int width, const std::ostringstream& text);

// Formats a status text cut to width; unless raw it is wrapped in a short clear and a CR with its LFs
// removed. Goes to standard error, else (raw) to the terminal title, else to standard output. Returns the
// count of formatted characters kept, 0 when formatting fails.
int status_vprintf(bool to_stderr, unsigned width, unsigned reserved, const char* format, va_list args,
                   bool raw);
// Standard error, width 60.
void status_printf_default(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Standard output, width 60, the stream's text printed as it stands.
void stdout_stream_printf(const std::ostringstream& text);
// Standard error, width cut to at most 70.
void status_printf(int width, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Standard output, width 60.
int stdout_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Channel output of a formatted text, a stream's text or a text (see status_channel).
void status_channel_printf(status_channel& channel, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void status_channel_stream(status_channel& channel, const std::ostringstream& text);
void status_channel_text(status_channel& channel, const std::string& text);
// "Percent done: N%" through the channel when the progress moved by at least step_percent.
void status_channel_progress(status_channel& channel, std::uint64_t current);

// Clears the status line, then writes the formatted message to standard error, whole whatever its length
// (a long path must still be named). Returns its length; 0 for no format or a failed formatting.
int error_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The formatted message to standard error as it stands (no clear), text arguments with their control bytes
// made visible. Returns its length; 0 for no format or a failed formatting (nothing written then).
int message_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The text in colour (bold, fg + 30, bg + 40) on standard output, then the colour reset on standard error
// when stream is 2, else on standard output. Returns 0.
int color_printf(int fg, int bg, int stream, const char* format, ...) __attribute__((format(printf, 4, 5)));
