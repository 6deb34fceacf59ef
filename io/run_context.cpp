#include "io/run_context.h"

#include <cstdio>
#include <sstream>

#include "io/console.h"
#include "io/fileio.h"
#include "time/clock_tz.h"
#include "time/ntp_time.h"

cmdline_ctx::cmdline_ctx()
    : reserved_flags{false, false, false, false},
      progress_line(false),
      start_time(0),
      print_elapsed(false),
      callback(nullptr) {}

cmdline_ctx::~cmdline_ctx() {
    if (progress_line) clear_status_line();
    if (start_time != 0) {
        std::uint64_t now = 0;
        set_current_ntp_time(&now);
        const double seconds = ntp_elapsed_seconds(ntp_from_u64(start_time), ntp_from_u64(now));
        std::ostringstream text;
        text << "->" << seconds << " secs";
        if (print_elapsed) std::fprintf(stderr, "%s\n", text.str().c_str());
        if (!log_path.empty()) {
            uni::fileio log;
            if (log.open(log_path, true, false, false) != 0) {
                log.append_stream(text);
                log.close();
            }
        }
    }
    if (callback != nullptr && !callback_text.empty()) callback(&callback_text);
}

void init_cmdline_ctx(cmdline_ctx& ctx, cmd_params& options, void (*callback)(std::string* text)) {
    if (options.show_progress) ctx.progress_line = true;
    if (options.diagnostics_on && options.diagnostics != nullptr && options.diagnostics->good()) {
        ctx.log_path = options.diagnostics_path;
    }
    ctx.print_elapsed = options.profile;
    if (options.profile || !ctx.log_path.empty()) set_current_ntp_time(&ctx.start_time);
    if (callback != nullptr && !options.signal_text.empty()) {
        ctx.callback = callback;
        ctx.callback_text = options.signal_text;
    }
}
