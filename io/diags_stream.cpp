#include "io/diags_stream.h"

#include <sstream>

#include "common/hex_text.h"
#include "common/text_ops.h"
#include "common/text_rewrite.h"
#include "io/diags_log.h"
#include "io/null_stream.h"

namespace {

bool log_is_on(const cmd_params& options) { return options.diagnostics_on && options.diagnostics != nullptr; }

bool callback_ready(const cmd_params& options) {
    return options.run_log_callback_on && options.run_log_callback != nullptr;
}

std::uint64_t notify_with_code(cmd_params& options, const std::string& text, std::uint64_t number,
                               std::uint32_t code) {
    if (!callback_ready(options) || text.empty()) return kRunLogNotCalled;
    return options.run_log_callback(options.run_log_callback_context, text, number, &code, nullptr, 0);
}

}  // namespace

void write_log_line_at_level(cmd_params& options, int level, const std::string& text) {
    if (!log_is_on(options)) return;
    if (static_cast<std::int64_t>(options.log_level) < static_cast<std::int64_t>(level)) return;
    write_log_line(options, text);
}

void write_log_line_redacted(cmd_params& options, const std::string& message, const std::string& pattern,
                             const std::string& replacement) {
    if (!log_is_on(options)) return;
    std::string text = message;
    replace_all_in_place(text, pattern, replacement);
    write_log_line(options, text);
}

void write_log_arguments(cmd_params* options, const std::vector<std::string>& args) {
    if (options == nullptr || args.empty() || !log_is_on(*options)) return;
    std::string joined;
    int count = 0;
    join_args_requoted(joined, count, args, true);
    if (!joined.empty()) write_log_line(*options, joined);
}

void write_log_position(cmd_params* options, const char* name, std::uint64_t value, std::uint64_t total,
                        std::uint32_t count) {
    if (name == nullptr || options == nullptr || !options->diagnostics_on) return;
    std::ostringstream text;
    std::string number;
    text << name << ": " << number_to_text(number, value, true, 2);
    if (total != 0) text << '/' << number_to_text(number, total, true, 2);
    if (count != 0) text << " [" << count << ']';
    write_log_line_from_stream_checked(options, text);
}

void flush_diagnostics(cmd_params& options) {
    if (log_is_on(options)) options.diagnostics->flush();
}

bool diagnostics_write_failed(const cmd_params& options) {
    return log_is_on(options) && options.diagnostics->fail();
}

void clear_diagnostics_state(cmd_params& options) {
    if (log_is_on(options)) options.diagnostics->clear();
}

int close_diagnostics(cmd_params& options) {
    if (!log_is_on(options)) return 1;
    options.diagnostics->close();
    delete options.diagnostics;
    options.diagnostics = nullptr;
    options.diagnostics_on = false;
    return 1;
}

std::ostream& log_stream_or_null(cmd_params& options) {
    if (options.log_buffer != nullptr) return *options.log_buffer;
    return null_out;
}

std::ostream& log_stream_or_scratch(cmd_params& options) {
    if (options.log_buffer != nullptr) return *options.log_buffer;
    static std::ostringstream scratch;
    scratch.str(std::string());
    scratch.clear();
    return scratch;
}

void clear_run_log(cmd_params& options) { options.run_log.clear(); }

std::uint64_t run_log_notify(cmd_params& options, const std::string& text, std::uint64_t number) {
    return notify_with_code(options, text, number, 1);
}

std::uint64_t run_log_notify_code2(cmd_params& options, const std::string& text, std::uint64_t number) {
    return notify_with_code(options, text, number, 2);
}

std::uint64_t run_log_notify_end(cmd_params& options) {
    if (!callback_ready(options)) return kRunLogNotCalled;
    std::uint32_t code = 4;
    return options.run_log_callback(options.run_log_callback_context, std::string(), 0, &code, nullptr, 0);
}

std::uint64_t run_log_notify_record(cmd_params& options, const std::string& text, std::uint64_t number,
                                    std::uint32_t word) {
    if (text.empty() || !callback_ready(options)) return kRunLogNotCalled;
    const log_record& r = options.run_log;
    const bool filled = r.is_folder || r.folder_wanted || r.raw_read != 0 || r.inode != 0;
    return options.run_log_callback(options.run_log_callback_context, text, number, &word,
                                    filled ? &options.run_log : nullptr, 0);
}
