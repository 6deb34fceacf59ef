#include "io/run_context.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "io/diags_log.h"
#include "terminal_capture.h"

namespace {

using terminal_capture::capture_terminal_stderr;
using terminal_capture::captured_terminal_stderr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

const std::string kClear = "\x1b[2K\r" + std::string(27, ' ') + "\r";

std::string g_seen;
int g_calls = 0;
void end_callback(std::string* text) {
    ++g_calls;
    g_seen = *text;
}

std::string make_dir() {
    std::string templ = std::string(SELK_TEST_TMP) + "/run_context_XXXXXX";
    return mkdtemp(&templ[0]) != nullptr ? templ : std::string();
}

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(run_context, quiet_run_without_profile_or_log_writes_nothing) {
    cmd_params o;
    o.show_progress = false;
    CaptureStderr();
    {
        cmdline_ctx ctx;
        init_cmdline_ctx(ctx, o, nullptr);
        EXPECT_FALSE(ctx.progress_line);
        EXPECT_EQ(ctx.start_time, 0u);
    }
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(run_context, progress_line_is_cleared_at_the_end) {
    cmd_params o;
    capture_terminal_stderr();
    {
        cmdline_ctx ctx;
        init_cmdline_ctx(ctx, o, nullptr);
    }
    EXPECT_EQ(captured_terminal_stderr(), kClear);
}

TEST(run_context, profile_reports_seconds_after_the_clear) {
    cmd_params o;
    o.profile = true;
    capture_terminal_stderr();
    {
        cmdline_ctx ctx;
        init_cmdline_ctx(ctx, o, nullptr);
        EXPECT_TRUE(ctx.print_elapsed);
        EXPECT_NE(ctx.start_time, 0u);
    }
    const std::string err = captured_terminal_stderr();
    ASSERT_EQ(err.compare(0, kClear.size(), kClear), 0);
    EXPECT_TRUE(std::regex_match(err.substr(kClear.size()), std::regex("->[0-9.e+-]+ secs\n"))) << err;
}

TEST(run_context, diagnostics_log_gets_the_seconds_without_a_line_end) {
    const std::string path = make_dir() + "/diag.log";
    cmd_params o;
    o.show_progress = false;
    o.diagnostics_path = path;
    o.diagnostics = new std::ofstream(path);
    o.diagnostics_on = true;
    write_log_line(o, "cmd");
    CaptureStderr();
    {
        cmdline_ctx ctx;
        init_cmdline_ctx(ctx, o, nullptr);
        EXPECT_EQ(ctx.log_path, path);
        EXPECT_FALSE(ctx.print_elapsed);
    }
    EXPECT_EQ(GetCapturedStderr(), "");
    const std::string log = read_file(path);
    EXPECT_TRUE(std::regex_match(log, std::regex("->cmd\n->[0-9.e+-]+ secs"))) << log;
}

TEST(run_context, unopenable_log_is_skipped_silently) {
    cmdline_ctx* ctx = new cmdline_ctx();
    ctx->start_time = 1;
    ctx->log_path = make_dir() + "/missing/dir/x.log";
    CaptureStderr();
    delete ctx;
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(run_context, end_callback_needs_both_a_callback_and_a_signal_text) {
    cmd_params o;
    o.show_progress = false;
    o.signal_text = "stop";
    g_calls = 0;
    {
        cmdline_ctx ctx;
        init_cmdline_ctx(ctx, o, nullptr);
        EXPECT_EQ(ctx.callback, nullptr);
    }
    EXPECT_EQ(g_calls, 0);
    {
        cmdline_ctx ctx;
        init_cmdline_ctx(ctx, o, end_callback);
    }
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(g_seen, "stop");
    o.signal_text.clear();
    {
        cmdline_ctx ctx;
        init_cmdline_ctx(ctx, o, end_callback);
    }
    EXPECT_EQ(g_calls, 1);
}

}  // namespace
