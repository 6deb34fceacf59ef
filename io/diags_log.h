// Writers of the "-diags" diagnostics log: each message is one record, "->" + text + line end, flushed at
// once. Nothing is written unless the log is on (diagnostics_on set and the diagnostics stream present).
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "io/cmd_params.h"

// Every text and formatted argument written here has its control bytes made visible (show_control_bytes):
// a path or a value from a database never puts a raw control byte into the log.

// "->" + text, even for an empty text.
void write_log_line(const cmd_params& options, const std::string& text);
// As write_log_line, but nothing for a null pointer or an empty text.
void write_log_line_checked(const cmd_params* options, const std::string& text);
// As write_log_line_checked for the console layer, whose text is already visible but for its own status
// line sequences: the bytes are written as they stand.
void write_log_line_unchecked_bytes(const cmd_params* options, const std::string& text);
// "->" + the stream's text.
void write_log_line_from_stream(const cmd_params& options, const std::ostringstream& text);
void write_log_line_from_stream(const cmd_params& options, const std::stringstream& text);
// As write_log_line_from_stream; nothing for a null pointer.
void write_log_line_from_stream_checked(const cmd_params* options, const std::ostringstream& text);
void write_log_line_from_stream_checked(const cmd_params* options, const std::stringstream& text);
// Only when log_level is at least level.
void write_log_line_from_stream_at_level(const cmd_params& options, int level,
                                         const std::ostringstream& text);
void write_log_line_from_stream_at_level(const cmd_params& options, int level, const std::stringstream& text);
// "->" + the items joined with "; " (empty items kept).
void write_log_list(const cmd_params& options, const std::vector<std::string>& items);
// "->" + a hex dump of count bytes, rows of 16 headed by base_offset + position. Nothing for null bytes
// or a count of 0 or less; reads exactly count bytes from bytes.
void write_log_hex_dump(const cmd_params& options, const std::uint8_t* bytes, std::int32_t count,
                        std::uint64_t base_offset);
void write_log_hex_dump_at_level(const cmd_params& options, int level, const std::uint8_t* bytes,
                                 std::int32_t count, std::uint64_t base_offset);

// Formatted records. The text keeps at most the format's length plus 254 characters.
void diag_printf(const cmd_params* options, const char* format, ...) __attribute__((format(printf, 2, 3)));
void diag_printf_ex(const cmd_params& options, const char* format, ...) __attribute__((format(printf, 2, 3)));
void diag_printf_at_level(const cmd_params& options, int level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// "->" + tag + " : " (when tag is given) + text + ": " + suffix (when suffix is given).
void diag_printf_tagged(const cmd_params& options, const char* tag, const char* suffix, const char* format,
                        ...) __attribute__((format(printf, 4, 5)));
// "->" + text + ": " + the items joined with ";".
void diag_printf_list(const cmd_params& options, const std::vector<std::string>& items, const char* format,
                      ...) __attribute__((format(printf, 3, 4)));
