#include "io/diags_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <new>

#include "common/text_ops.h"
#include "common/text_rewrite.h"
#include "io/visible_printf.h"

namespace {

bool log_is_on(const cmd_params& options) { return options.diagnostics_on && options.diagnostics != nullptr; }

// A message of level L is written only when the run's "-l2"/"-l3" level is at least L.
bool level_reached(const cmd_params& options, int level) {
    return static_cast<std::int64_t>(options.log_level) >= static_cast<std::int64_t>(level);
}

// One record: "->", the optional tag and " : ", the text, the optional ": " and suffix, a line end; flushed
// so that the log is complete even when the run stops early.
void write_raw_record(const cmd_params& options, const char* tag, const std::string& text,
                      const char* suffix) {
    std::ostream& os = *options.diagnostics;
    os << "->";
    if (tag != nullptr) os << tag << " : ";
    os << text;
    if (suffix != nullptr) os << ": " << suffix;
    os << '\n';
    os.flush();
}

std::string visible(const char* text) {
    std::string v = text;
    show_control_bytes(v);
    return v;
}

// As write_raw_record with the text's, tag's and suffix's control bytes made visible.
void write_record(const cmd_params& options, const char* tag, const std::string& text, const char* suffix) {
    std::string shown = text;
    show_control_bytes(shown);
    const std::string tag_shown = tag != nullptr ? visible(tag) : std::string();
    const std::string suffix_shown = suffix != nullptr ? visible(suffix) : std::string();
    write_raw_record(options, tag != nullptr ? tag_shown.c_str() : nullptr, shown,
                     suffix != nullptr ? suffix_shown.c_str() : nullptr);
}

// Formats with the text arguments' control bytes made visible; keeps at most the format's length plus
// 254 characters, as a buffer of the format's length plus 256 bytes with a limit of size - 1 would.
std::string format_text(const char* format, va_list args) {
    std::string text;
    format_visible(text, format, args);
    const std::size_t keep = std::strlen(format) + 254;
    if (text.size() > keep) text.resize(keep);
    return text;
}

std::string hex_dump_text(const std::uint8_t* bytes, std::int32_t count, std::uint64_t base) {
    std::ostringstream os;
    os << std::hex << std::setfill('0') << std::right;
    os << "[0x" << count << "]\n";
    os << "0x" << std::setw(8) << base << " : ";
    std::string chars;
    const std::uint32_t n = static_cast<std::uint32_t>(count);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint8_t b = bytes[i];
        os << std::setw(2) << static_cast<unsigned>(b) << ' ';
        chars += (b >= 0x20 && b <= 0x7e) ? static_cast<char>(b) : '.';
        if ((i + 1) % 16 == 0) {
            os << "  " << chars << '\n';
            os << "0x" << std::setw(8) << (base + i + 1) << " : ";
            chars.clear();
        }
    }
    if (n % 16 != 0) {
        os << std::string(3 * (16 - n % 16), ' ') << "  " << chars << '\n';
    }
    return os.str();
}

}  // namespace

void write_log_line(const cmd_params& options, const std::string& text) {
    if (!log_is_on(options)) return;
    write_record(options, nullptr, text, nullptr);
}

void write_log_line_checked(const cmd_params* options, const std::string& text) {
    if (options == nullptr || text.empty()) return;
    write_log_line(*options, text);
}

void write_log_line_unchecked_bytes(const cmd_params* options, const std::string& text) {
    if (options == nullptr || text.empty() || !log_is_on(*options)) return;
    write_raw_record(*options, nullptr, text, nullptr);
}

void write_log_line_from_stream(const cmd_params& options, const std::ostringstream& text) {
    write_log_line(options, text.str());
}

void write_log_line_from_stream(const cmd_params& options, const std::stringstream& text) {
    write_log_line(options, text.str());
}

void write_log_line_from_stream_checked(const cmd_params* options, const std::ostringstream& text) {
    if (options == nullptr) return;
    write_log_line(*options, text.str());
}

void write_log_line_from_stream_checked(const cmd_params* options, const std::stringstream& text) {
    if (options == nullptr) return;
    write_log_line(*options, text.str());
}

void write_log_line_from_stream_at_level(const cmd_params& options, int level,
                                         const std::ostringstream& text) {
    if (!level_reached(options, level)) return;
    write_log_line(options, text.str());
}

void write_log_line_from_stream_at_level(const cmd_params& options, int level,
                                         const std::stringstream& text) {
    if (!level_reached(options, level)) return;
    write_log_line(options, text.str());
}

void write_log_list(const cmd_params& options, const std::vector<std::string>& items) {
    if (!log_is_on(options)) return;
    std::string joined;
    join_strings(joined, items, "; ", false);
    write_record(options, nullptr, joined, nullptr);
}

void write_log_hex_dump(const cmd_params& options, const std::uint8_t* bytes, std::int32_t count,
                        std::uint64_t base_offset) {
    // A negative count would be taken as a huge length: nothing is dumped for it.
    if (!log_is_on(options) || bytes == nullptr || count <= 0) return;
    // The dump's own line breaks stay; its character column shows no control byte.
    write_raw_record(options, nullptr, hex_dump_text(bytes, count, base_offset), nullptr);
}

void write_log_hex_dump_at_level(const cmd_params& options, int level, const std::uint8_t* bytes,
                                 std::int32_t count, std::uint64_t base_offset) {
    if (!level_reached(options, level)) return;
    write_log_hex_dump(options, bytes, count, base_offset);
}

// The formatted records: the arguments were made visible by format_text; the format is the program's own.
void diag_printf(const cmd_params* options, const char* format, ...) {
    if (options == nullptr || !log_is_on(*options) || format == nullptr) return;
    va_list args;
    va_start(args, format);
    const std::string text = format_text(format, args);
    va_end(args);
    write_raw_record(*options, nullptr, text, nullptr);
}

void diag_printf_ex(const cmd_params& options, const char* format, ...) {
    if (!log_is_on(options) || format == nullptr) return;
    va_list args;
    va_start(args, format);
    const std::string text = format_text(format, args);
    va_end(args);
    write_raw_record(options, nullptr, text, nullptr);
}

void diag_printf_at_level(const cmd_params& options, int level, const char* format, ...) {
    if (!log_is_on(options) || format == nullptr) return;
    if (!level_reached(options, level)) return;
    va_list args;
    va_start(args, format);
    const std::string text = format_text(format, args);
    va_end(args);
    write_raw_record(options, nullptr, text, nullptr);
}

void diag_printf_tagged(const cmd_params& options, const char* tag, const char* suffix, const char* format,
                        ...) {
    if (!log_is_on(options) || format == nullptr) return;
    va_list args;
    va_start(args, format);
    const std::string text = format_text(format, args);
    va_end(args);
    write_record(options, tag, text, suffix);
}

void diag_printf_list(const cmd_params& options, const std::vector<std::string>& items, const char* format,
                      ...) {
    if (!log_is_on(options) || format == nullptr) return;
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);
    std::string joined;
    join_strings(joined, items, ";", false);
    show_control_bytes(joined);
    text += ": ";
    text += joined;
    write_raw_record(options, nullptr, text, nullptr);
}
