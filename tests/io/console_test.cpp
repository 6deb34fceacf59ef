#include "io/console.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "io/cmd_params.h"
#include "terminal_capture.h"

namespace {

using terminal_capture::capture_terminal_stderr;
using terminal_capture::captured_terminal_stderr;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

const std::string kEsc = "\x1b";
const std::string kLong = kEsc + "[2K\r" + std::string(27, ' ') + "\r";
const std::string kShort = kEsc + "[2K\r    \r";
const std::string kLine = kEsc + "[2K\r";

TEST(console, clear_sequences) {
    EXPECT_EQ(kLong.size(), 33u);
    EXPECT_EQ(kShort.size(), 10u);
    capture_terminal_stderr();
    clear_status_line();
    EXPECT_EQ(captured_terminal_stderr(), kLong);
    capture_terminal_stderr();
    EXPECT_EQ(clear_status_line_short(), 0);
    EXPECT_EQ(captured_terminal_stderr(), kShort);

    cmd_params o;
    capture_terminal_stderr();
    clear_status_line_if_enabled(o);
    clear_status_line_checked(nullptr);
    o.show_progress = false;
    clear_status_line_checked(&o);
    EXPECT_EQ(captured_terminal_stderr(), kLong);
}

TEST(console, status_text_is_cut_and_loses_its_line_feeds) {
    capture_terminal_stderr();
    EXPECT_EQ(print_status_text(40, ""), 0);
    EXPECT_EQ(captured_terminal_stderr(), "");
    capture_terminal_stderr();
    EXPECT_EQ(print_status_text(40, "a\nb\nc"), 5);
    EXPECT_EQ(captured_terminal_stderr(), kShort + "abc\r");
    capture_terminal_stderr();
    EXPECT_EQ(print_status_text(3, "abcdef"), 3);
    EXPECT_EQ(captured_terminal_stderr(), kShort + "abc\r");
}

TEST(console, percent_done_writes_at_each_threshold) {
    // The thresholds are process-wide, so the whole sequence runs in this one test.
    capture_terminal_stderr();
    EXPECT_EQ(print_percent_done(60, 50, 1000, 10), 0);
    EXPECT_EQ(captured_terminal_stderr(), "");
    capture_terminal_stderr();
    EXPECT_EQ(print_percent_done(60, 100, 1000, 10), 16);
    EXPECT_EQ(captured_terminal_stderr(), kShort + "percent done: 10\r");
    capture_terminal_stderr();
    EXPECT_EQ(print_percent_done(60, 150, 1000, 10), 0);
    EXPECT_EQ(print_percent_done(60, 199, 1000, 10), 0);
    EXPECT_EQ(captured_terminal_stderr(), "");
    capture_terminal_stderr();
    EXPECT_EQ(print_percent_done(60, 200, 1000, 10), 16);
    EXPECT_EQ(captured_terminal_stderr(), kShort + "percent done: 20\r");
}

TEST(console, status_line_and_offset_progress) {
    capture_terminal_stderr();
    print_status_line("done");
    print_status_line("");
    EXPECT_EQ(captured_terminal_stderr(), kShort + "done\n" + kShort + "\n");
    capture_terminal_stderr();
    print_last_status_line("rows written: 3\x1b");
    EXPECT_EQ(captured_terminal_stderr(), kShort + "rows written: 3[0x1B]\n");
    capture_terminal_stderr();
    print_offset_progress(16, 256);
    EXPECT_EQ(captured_terminal_stderr(), kLine + " --> 0x10 of 0x100\r");
    capture_terminal_stderr();
    print_offset_progress(256, 256);
    EXPECT_EQ(captured_terminal_stderr(), kLine + std::string(45, ' '));
}

TEST(console, terminal_titles) {
    CaptureStdout();
    EXPECT_EQ(set_terminal_title(nullptr), 0);
    EXPECT_EQ(set_terminal_title("t"), 1);
    title_percent_complete(1, 4);
    title_percent_complete(1, 0);
    EXPECT_EQ(title_text(3, "abcdef"), 3);
    std::ostringstream os;
    os << "xyz";
    EXPECT_EQ(title_stream_text(10, os), 3);
    EXPECT_EQ(title_printf("n=%d", 12), 4);
    EXPECT_EQ(GetCapturedStdout(), kEsc + "]0;t\a" + kEsc + "]0;percent complete: 25\a" + kEsc + "]0;abc\a" +
                                       kEsc + "]0;xyz\a" + kEsc + "]0;n=12\a");
    CaptureStdout();
    const std::string big(400, 'q');
    EXPECT_EQ(title_printf("%s", big.c_str()), 254);
    EXPECT_EQ(GetCapturedStdout(), kEsc + "]0;" + std::string(254, 'q') + "\a");
}

TEST(console, status_printf_cuts_the_width_at_seventy) {
    const std::string big(200, 'w');
    capture_terminal_stderr();
    status_printf(100, "%s", big.c_str());
    EXPECT_EQ(captured_terminal_stderr(), kShort + std::string(70, 'w') + "\r");
    capture_terminal_stderr();
    status_printf_default("a\nb%d", 1);
    EXPECT_EQ(captured_terminal_stderr(), kShort + "ab1\r");
}

TEST(console, stdout_forms) {
    CaptureStdout();
    EXPECT_EQ(stdout_printf("x%dy", 5), 3);
    std::ostringstream os;
    os << "100% done %s";
    stdout_stream_printf(os);
    EXPECT_EQ(GetCapturedStdout(), kShort + "x5y\r" + kShort + "100% done %s\r");
}

int raw_status(bool to_stderr, unsigned width, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = status_vprintf(to_stderr, width, 0, format, args, true);
    va_end(args);
    return n;
}

TEST(console, raw_status_goes_to_the_title_or_unwrapped_to_stderr) {
    CaptureStdout();
    EXPECT_EQ(raw_status(false, 4, "%s", "abcdef"), 4);
    EXPECT_EQ(GetCapturedStdout(), kEsc + "]0;abcd\a");
    capture_terminal_stderr();
    // An argument's line break is shown as text, never written raw.
    EXPECT_EQ(raw_status(true, 300, "%s", "a\nb"), 6);
    EXPECT_EQ(captured_terminal_stderr(), "a[LF]b");
}

TEST(console, error_printf_clears_first_and_writes_long_messages_whole) {
    capture_terminal_stderr();
    EXPECT_EQ(error_printf("prob opening results file: %s for writing\n", "/x/y"), 44);
    EXPECT_EQ(captured_terminal_stderr(), kLong + "prob opening results file: /x/y for writing\n");
    // A path far beyond 4,096 characters, whose ESC bytes grow it further once shown, is still named whole.
    std::string path;
    for (int i = 0; i < 700; ++i) path += "/d\x1b";
    std::string shown;
    for (int i = 0; i < 700; ++i) shown += "/d[0x1B]";
    const std::string want = "prob opening results file: " + shown + " for writing\n";
    capture_terminal_stderr();
    EXPECT_EQ(error_printf("prob opening results file: %s for writing\n", path.c_str()),
              static_cast<int>(want.size()));
    EXPECT_EQ(error_printf(nullptr), 0);
    EXPECT_EQ(captured_terminal_stderr(), kLong + want + kLong);
    capture_terminal_stderr();
    EXPECT_EQ(message_printf("%s\n", path.c_str()), static_cast<int>(shown.size() + 1));
    EXPECT_EQ(message_printf(nullptr), 0);
    EXPECT_EQ(captured_terminal_stderr(), shown + "\n");
}

// Arguments' control bytes are shown as text; every other conversion formats as printf does, and the
// format's own line end and the layer's clear sequence stay raw.
TEST(console, messages_show_the_control_bytes_of_their_arguments) {
    struct message_case {
        std::string got;
        std::string want;
    };
    auto message = [](const char* format, auto... args) {
        capture_terminal_stderr();
        error_printf(format, args...);
        return captured_terminal_stderr();
    };
    char expected[128];
    std::snprintf(expected, sizeof expected, "%5d|%-4x|%08.3f|%llu|%zu|%+ld|%%|%.2s|%*d\n", 42, 255u, 3.14159,
                  18446744073709551615ULL, static_cast<std::size_t>(7), -5L, "abc", 4, 9);
    const std::vector<message_case> cases = {
        {message("path %s: %d\n", "new\nline\x1b[2J.db", 3), kLong + "path new[LF]line[0x1B][2J.db: 3\n"},
        {message("%c%c%s\n", 'a', '\x7f', "cr\rtab\t"), kLong + "a[0x7F]cr[CR]tab[0x09]\n"},
        {message("%5d|%-4x|%08.3f|%llu|%zu|%+ld|%%|%.2s|%*d\n", 42, 255u, 3.14159, 18446744073709551615ULL,
                 static_cast<std::size_t>(7), -5L, "abc", 4, 9),
         kLong + expected},
        {message("%-6s|%3s|\n", "a\x1b", "b"), kLong + "a[0x1B]|  b|\n"},
    };
    for (const message_case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(console, color_printf_resets_on_the_chosen_stream) {
    CaptureStdout();
    capture_terminal_stderr();
    EXPECT_EQ(color_printf(1, 0, 2, "hi %d", 3), 0);
    EXPECT_EQ(captured_terminal_stderr(), kEsc + "[0;37;40m");
    EXPECT_EQ(GetCapturedStdout(), kEsc + "[1;31;40mhi 3");
    CaptureStdout();
    color_printf(2, 1, 1, "x");
    EXPECT_EQ(GetCapturedStdout(), kEsc + "[1;32;41mx" + kEsc + "[0;37;40m");
}

TEST(console, channel_line_is_cut_to_its_width_clear_included) {
    status_channel ch;
    ch.flags = channel_line | channel_stderr;
    ch.width = 20;
    capture_terminal_stderr();
    status_channel_text(ch, "0123456789abcdefghij");
    EXPECT_EQ(captured_terminal_stderr(), kShort + "0123456789\r");
    CaptureStdout();
    ch.flags = channel_line | channel_stdout;
    status_channel_printf(ch, "%d", 42);
    EXPECT_EQ(GetCapturedStdout(), kShort + "42\r");
    ch.flags = channel_stderr;  // neither title, line nor log: nothing
    capture_terminal_stderr();
    status_channel_text(ch, "x");
    EXPECT_EQ(captured_terminal_stderr(), "");
}

TEST(console, channel_title_and_log_drop_the_escape_sequence) {
    std::string templ = std::string(SELK_TEST_TMP) + "/console_XXXXXX";
    ASSERT_NE(mkdtemp(&templ[0]), nullptr);
    const std::string path = templ + "/log.txt";
    cmd_params o;
    o.diagnostics = new std::ofstream(path);
    o.diagnostics_on = true;
    status_channel ch;
    ch.flags = channel_title | channel_log;
    ch.width = 100;
    ch.options = &o;
    CaptureStdout();
    std::ostringstream os;
    os << "plain";
    status_channel_stream(ch, os);
    EXPECT_EQ(GetCapturedStdout(), kEsc + "]0;plain\a");
    ch.flags = channel_title | channel_line | channel_log | channel_stderr;
    CaptureStdout();
    capture_terminal_stderr();
    status_channel_text(ch, "both");
    EXPECT_EQ(captured_terminal_stderr(), kShort + "both\r");
    EXPECT_EQ(GetCapturedStdout(), kEsc + "]0;\r    \rboth\a");
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), "->plain\n->\r    \rboth\n");
}

TEST(console, channel_progress_steps_and_stops_at_one_hundred) {
    status_channel ch;
    ch.flags = channel_line | channel_progress | channel_stderr;
    ch.width = 80;
    ch.total = 200;
    ch.step_percent = 10;
    capture_terminal_stderr();
    status_channel_progress(ch, 1);    // 0%: nothing
    status_channel_progress(ch, 10);   // 5%: below the step
    status_channel_progress(ch, 40);   // 20%
    status_channel_progress(ch, 50);   // 25%: moved by less than the step
    status_channel_progress(ch, 200);  // done
    status_channel_progress(ch, 300);  // after 100: nothing
    EXPECT_EQ(captured_terminal_stderr(), kLine + "Percent done: 20%\r" + kLine + "Percent done: 100%\r");
    EXPECT_EQ(ch.last_percent, 100u);
    status_channel quiet = ch;
    quiet.flags = channel_line | channel_stderr;
    quiet.last_percent = 0;
    capture_terminal_stderr();
    status_channel_progress(quiet, 100);
    EXPECT_EQ(captured_terminal_stderr(), "");
}

// Standard error into a file gets none of the terminal's sequences (no clear, no status text left to be
// overwritten, no colour): only the messages and the lines of print_status_line, as plain lines.
TEST(console, stderr_that_is_no_terminal_gets_only_plain_lines) {
    struct writer_case {
        const char* name;
        void (*write)();
        std::string want;
    };
    const std::vector<writer_case> cases = {
        {"clears",
         [] {
             clear_status_line();
             clear_status_line_short();
         },
         ""},
        {"status text", [] { print_status_text(40, "working"); }, ""},
        {"status line",
         [] {
             print_status_line("done");
             print_status_line("");
         },
         "done\n"},
        {"last status line", [] { print_last_status_line("rows written: 3"); }, ""},
        {"offset progress",
         [] {
             print_offset_progress(16, 256);
             print_offset_progress(256, 256);
         },
         ""},
        {"status printf",
         [] {
             status_printf(40, "percent done: %4.2f", 50.0);
             status_printf_default("x\n");
         },
         ""},
        {"channel",
         [] {
             status_channel ch;
             ch.flags = channel_line | channel_progress | channel_stderr;
             ch.width = 80;
             ch.total = 10;
             ch.step_percent = 10;
             status_channel_text(ch, "text");
             status_channel_progress(ch, 5);
             status_channel_progress(ch, 10);
         },
         ""},
        {"colour",
         [] {
             CaptureStdout();
             color_printf(1, 0, 2, "hi");
             (void)GetCapturedStdout();
         },
         ""},
        {"error", [] { error_printf("prob opening %s for writing\n", "/x\ry"); },
         "prob opening /x[CR]y for writing\n"},
    };
    for (const writer_case& c : cases) {
        CaptureStderr();
        c.write();
        EXPECT_EQ(GetCapturedStderr(), c.want) << c.name;
    }
}

}  // namespace
