// Further operations on the diagnostics members of cmd_params: a level-gated record, a redacted record,
// records of an argument vector and of a labelled position, housekeeping of the log stream, access to the
// in-memory log buffer, and the calls through the run-log callback. Records have the layout of
// io/diags_log.h: "->", the text, a line end, flushed. The log is on when diagnostics_on is set and the
// diagnostics stream is present.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "io/cmd_params.h"

// "->" + text when the log is on and log_level is at least level.
void write_log_line_at_level(cmd_params& options, int level, const std::string& text);
// "->" + message with every occurrence of pattern replaced (when pattern is non-empty and occurs), else
// "->" + message. Only when the log is on.
void write_log_line_redacted(cmd_params& options, const std::string& message, const std::string& pattern,
                             const std::string& replacement);
// "->" + the arguments joined and requoted (quote-all); nothing for a null pointer, an empty vector, a log
// that is off or an empty joined text.
void write_log_arguments(cmd_params* options, const std::vector<std::string>& args);
// "->name: 0x05", then "/0x.." when total is non-zero and " [count]" when count is non-zero. Nothing for a
// null name, a null pointer or a log that is off.
void write_log_position(cmd_params* options, const char* name, std::uint64_t value, std::uint64_t total,
                        std::uint32_t count);

// Flushes the log stream / clears its error state, when the log is on.
void flush_diagnostics(cmd_params& options);
// True when the log is on and a record could not be written whole (each record is flushed as it is
// written, so a full disk shows here).
bool diagnostics_write_failed(const cmd_params& options);
void clear_diagnostics_state(cmd_params& options);
// When the log is on: closes its file, deletes the stream, and turns the log off. Always 1.
int close_diagnostics(cmd_params& options);

// The in-memory log buffer when there is one, else the process-wide discarding stream.
std::ostream& log_stream_or_null(cmd_params& options);
// The in-memory log buffer when there is one, else a process-wide text stream, emptied on every call.
std::ostream& log_stream_or_scratch(cmd_params& options);

// Clears the embedded run-log record.
void clear_run_log(cmd_params& options);

// What the run-log calls return when the callback is off or not set (or the text is empty).
constexpr std::uint64_t kRunLogNotCalled = 4294967295u;
// Calls the run-log callback with (context, text, number, pointer to code 1, null, 0) when it is on and
// set and the text is not empty; returns its result, else kRunLogNotCalled. The second form passes code 2.
std::uint64_t run_log_notify(cmd_params& options, const std::string& text, std::uint64_t number);
std::uint64_t run_log_notify_code2(cmd_params& options, const std::string& text, std::uint64_t number);
// The same with code 4, an empty text and number 0 (called whatever the text).
std::uint64_t run_log_notify_end(cmd_params& options);
// Calls the callback with a pointer to `word` and, when the run-log record holds anything (a flag byte or
// its inode), a pointer to it (else null). kRunLogNotCalled when the text is empty or the callback is off.
std::uint64_t run_log_notify_record(cmd_params& options, const std::string& text, std::uint64_t number,
                                    std::uint32_t word);
