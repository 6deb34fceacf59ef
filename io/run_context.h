// The run context: created first by the driver and destroyed last. It remembers when the run began, whether
// the status line is in use, where the diagnostics log lives and what to call back at the end; its
// destructor clears the status line and reports the elapsed seconds.
#pragma once

#include <cstdint>
#include <string>

#include "io/cmd_params.h"

class cmdline_ctx {
  public:
    cmdline_ctx();
    cmdline_ctx(const cmdline_ctx&) = delete;
    cmdline_ctx& operator=(const cmdline_ctx&) = delete;
    // report_elapsed_time: clears the status line (when in use), writes "-><seconds> secs" to standard error
    // with "-profile" and appends it to the diagnostics log file when there is one, then calls the callback.
    virtual ~cmdline_ctx();

    bool reserved_flags[4];               // reserved
    bool progress_line;                   // the status line is in use, so it is cleared at the end
    std::uint64_t start_time;             // start of the run as an NTP timestamp; 0 means no timing
    bool print_elapsed;                   // print the elapsed time on standard error
    std::string log_path;                 // diagnostics log file to which the elapsed time is appended
    std::string callback_text;            // handed to the end callback
    void (*callback)(std::string* text);  // end callback, or null
};

// Sets the context up from parsed options; the callback is kept only when "-signal" gave a text.
void init_cmdline_ctx(cmdline_ctx& ctx, cmd_params& options, void (*callback)(std::string* text));
