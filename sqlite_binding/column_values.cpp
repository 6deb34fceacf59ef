#include "sqlite_binding/column_values.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "common/formatters.h"
#include "common/hex_text.h"
#include "common/int_parsers.h"
#include "common/text_numbers.h"
#include "common/utf16_raw.h"

namespace {

bool has_text(const char* value) { return value != nullptr && value[0] != '\0'; }

void append_hex_byte(std::string& out, std::uint8_t b) {
    static const char kDigits[] = "0123456789abcdef";
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
}

}  // namespace

// ---------------------------------------------------------------- values from text

std::string& column_to_string(std::string& out, const char* value) {
    out.clear();
    if (has_text(value)) out.assign(value);
    return out;
}

std::string& assign_text(std::string& out, const std::string& value) {
    out = value;
    return out;
}

std::uint64_t& column_to_u64(std::uint64_t& out, const char* value) {
    out = 0;
    if (has_text(value)) cstr_to_u64(value, &out);
    return out;
}

std::uint64_t& column_to_u64_signed(std::uint64_t& out, const char* value) {
    out = 0;
    if (has_text(value) && !cstr_to_uint64(value, &out)) out = 0;
    return out;
}

std::uint64_t& string_value_to_u64(std::uint64_t& out, const std::string& value) {
    out = 0;
    if (!value.empty()) string_to_u64(value, &out);
    return out;
}

std::uint8_t& column_to_u8(std::uint8_t& out, const char* value) {
    out = 0;
    std::uint32_t v = 0;
    if (has_text(value) && cstr_to_uint(value, &v)) out = static_cast<std::uint8_t>(v & 0xFF);
    return out;
}

std::uint32_t& column_to_u32(std::uint32_t& out, const char* value) {
    out = 0;
    std::int32_t v = 0;
    if (has_text(value) && cstr_to_int(value, &v)) out = static_cast<std::uint32_t>(v);
    return out;
}

std::uint32_t& string_value_to_u32(std::uint32_t& out, const std::string& value) {
    out = 0;
    std::int32_t v = 0;
    if (!value.empty() && string_to_int(value, &v)) out = static_cast<std::uint32_t>(v);
    return out;
}

double& string_value_to_double(double& out, const std::string& value) {
    out = 0.0;
    if (!value.empty()) out = std::strtod(value.c_str(), nullptr);
    return out;
}

std::vector<std::uint8_t>& text_to_bytes(std::vector<std::uint8_t>& out, const std::string& value) {
    out.assign(value.begin(), value.end());
    return out;
}

std::vector<std::uint8_t>& cstr_to_bytes(std::vector<std::uint8_t>& out, const char* value) {
    out.clear();
    if (value != nullptr) out.assign(value, value + std::strlen(value));
    return out;
}

// ---------------------------------------------------------------- GUID values

_16_byte_block& guid_from_blob(_16_byte_block& out, const void* bytes) {
    out.clear();
    if (bytes != nullptr) out.set(static_cast<const unsigned char*>(bytes));
    return out;
}

_16_byte_block& guid_from_text(_16_byte_block& out, const std::string& value) {
    out.clear();
    if (value.size() == 4 && value == "null") return out;
    if (value.size() >= 16) out.set(reinterpret_cast<const unsigned char*>(value.data()));
    return out;
}

// ---------------------------------------------------------------- text from bytes

std::size_t column_bytes_to_pieces(text_sink& out, bool& stopped_at_nul, const void* bytes,
                                   std::uint32_t length, bool drop_line_breaks, bool drop_tabs,
                                   bool stop_at_nul) {
    stopped_at_nul = false;
    if (bytes == nullptr || length == 0) return 0;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    const char* text = static_cast<const char*>(bytes);
    bool after_break = false;
    std::size_t kept = 0;
    // Kept bytes are handed on in runs, up to each byte that is dropped.
    std::uint32_t run = 0;
    const auto keep = [&](std::uint32_t end) {
        if (end > run) out.put(text + run, end - run);
        kept += end - run;
    };
    for (std::uint32_t i = 0; i < length; ++i) {
        // Outside the blanks after a break only bytes below a blank need a look: eight at a time are passed
        // over while none of them is one.
        if (!after_break) {
            while (length - i >= 8) {
                std::uint64_t w;
                std::memcpy(&w, p + i, 8);
                if (((w - 0x2020202020202020ull) & ~w & 0x8080808080808080ull) != 0) break;
                i += 8;
            }
            if (i >= length) break;
        }
        const std::uint8_t b = p[i];
        if (b > ' ' || (b == ' ' && !after_break)) {
            after_break = false;
            continue;
        }
        if (stop_at_nul && b == 0) {
            stopped_at_nul = true;
            keep(i);
            return kept;
        }
        bool drop = false;
        if (drop_line_breaks && (b == '\n' || b == '\r')) {
            after_break = true;
            drop = true;
        } else if (drop_tabs && (b == '\t' || (b == ' ' && after_break))) {
            drop = true;
        } else {
            after_break = false;
        }
        if (drop) {
            keep(i);
            run = i + 1;
        }
    }
    keep(length);
    return kept;
}

std::string& column_bytes_to_text(std::string& out, bool& stopped_at_nul, const void* bytes,
                                  std::uint32_t length, bool drop_line_breaks, bool drop_tabs,
                                  bool stop_at_nul) {
    out.clear();
    if (bytes != nullptr) out.reserve(length);
    string_text_sink to_out(out);
    (void)column_bytes_to_pieces(to_out, stopped_at_nul, bytes, length, drop_line_breaks, drop_tabs,
                                 stop_at_nul);
    return out;
}

std::string& blob_to_display_text(std::string& out, bool& stopped_at_nul, const void* bytes,
                                  std::uint32_t length) {
    out.clear();
    stopped_at_nul = false;
    if (bytes == nullptr || length == 0) return out;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    if (length == 16) {
        out = guid_to_string(p);
        return out;
    }
    out.reserve(length);
    bool after_break = false;
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint8_t b = p[i];
        if (b == 0) {
            stopped_at_nul = true;
            return out;
        }
        if (b == '\n' || b == '\r') {
            after_break = true;
            continue;
        }
        if (b == '\t' || (b == ' ' && after_break)) continue;
        if (b < 32) {
            // Binary data: show every byte rather than a text that hides part of it.
            out.clear();
            bytes_to_hex(out, p, static_cast<int>(length > INT_MAX ? INT_MAX : length), "-", false);
            return out;
        }
        out.push_back(static_cast<char>(b));
        after_break = false;
    }
    return out;
}

std::string& blob_to_display_text_ex(std::string& out, bool& stopped_at_nul, const void* bytes,
                                     std::uint32_t length, bool as_hex) {
    out.clear();
    stopped_at_nul = false;
    if (bytes == nullptr || length == 0) return out;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    bool preview = false;
    if (length == 0xFFFFFFFFu) {
        // Preview of a zero-terminated text. Its first byte asks for a count, but the count is kept within
        // the text: the bytes after the terminator are not ours to read.
        const std::size_t text_len = std::strlen(reinterpret_cast<const char*>(p));
        if (text_len == 0) return out;
        length = (p[0] >= 1 && p[0] <= 8) ? p[0] : 6;
        if (length > text_len) length = static_cast<std::uint32_t>(text_len);
        as_hex = true;
        preview = true;
    }
    if (length == 16 && !preview) {
        out = guid_to_string(p);
        return out;
    }
    out.reserve(as_hex ? static_cast<std::size_t>(length) * 3 : length);
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint8_t b = p[i];
        if (b == 0) stopped_at_nul = true;
        if (as_hex) {
            append_hex_byte(out, b);
            out.push_back(' ');
        } else if (b < 32) {
            out += "\\x";
            append_hex_byte(out, b);
        } else {
            out.push_back(static_cast<char>(b));
        }
    }
    if (as_hex && !out.empty()) out.pop_back();
    if (preview) out += "...";
    return out;
}

std::string& column_text_maybe_utf16(std::string& out, const void* bytes, std::uint32_t length,
                                     bool may_be_utf16) {
    out.clear();
    // A length of 0 gives nothing: even the first byte is not ours to look at.
    if (bytes == nullptr || length == 0) return out;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    if (p[0] == 0) return out;
    if (may_be_utf16 && length >= 3 && p[1] == 0) {
        const int limit = length > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
        utf16_cstr_to_utf8(p, out, limit, false);
        return out;
    }
    // Copy up to the length or the first zero byte; never past the length, whichever flag is given.
    const void* nul = std::memchr(p, 0, length);
    const std::size_t n =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - p) : length;
    out.assign(reinterpret_cast<const char*>(p), n);
    return out;
}

// ---------------------------------------------------------------- row callbacks

int print_row_values(void* context, int count, char** values, char** /*names*/) {
    auto* os = static_cast<std::ostream*>(context);
    if (os == nullptr || values == nullptr) return 0;
    for (int i = 0; i < count; ++i) {
        if (values[i] != nullptr) *os << values[i] << '\n';
    }
    return 0;
}

int collect_row_values(void* context, int count, char** values, char** /*names*/) {
    auto* out = static_cast<std::vector<std::string>*>(context);
    if (out == nullptr || values == nullptr) return 0;
    for (int i = 0; i < count; ++i) out->emplace_back(values[i] != nullptr ? values[i] : "");
    return 0;
}
