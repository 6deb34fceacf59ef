#include "common/int_parsers.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <locale>

#include "common/case_conv.h"
#include "common/string_lists.h"
#include "common/text_numbers.h"
#include "common/text_ops.h"

namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// The C library's unsigned long conversion (64-bit here): leading blanks and a sign accepted, a
// negative value wrapped, saturation on overflow.
unsigned long read_unsigned(const std::string& digits, int base) {
    return std::strtoul(digits.c_str(), nullptr, base);
}

// Narrows each character to its low byte.
std::string low_bytes(const std::wstring& text) {
    std::string s;
    s.reserve(text.size());
    for (wchar_t c : text) s.push_back(static_cast<char>(static_cast<std::uint32_t>(c) & 0xFF));
    return s;
}

// Whether the value of number text, as cstr_to_u64 reads it, starts with a digit of its base. That
// reader takes a text with no digit (such as "abc") as 0; a formatter must not print such text as a
// number.
bool has_leading_digit(const std::string& text) {
    std::size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return false;
    std::string w = text.substr(start);
    auto is_x = [](char c) { return c == 'x' || c == 'X'; };
    if (w.size() >= 3 && (is_x(w[1]) || is_x(w[0]))) {
        char d = is_x(w[1]) ? w[2] : w[1];
        return std::isxdigit(static_cast<unsigned char>(d)) != 0;
    }
    if (w[0] == 'o' || w[0] == 'O') return w.size() >= 2 && w[1] >= '0' && w[1] <= '7';
    return std::isdigit(static_cast<unsigned char>(w[0])) != 0;
}

}  // namespace

int cstr_to_uint(const char* text, std::uint32_t* out) {
    if (out != nullptr) *out = 0;
    if (text == nullptr || *text == '\0' || out == nullptr) return 0;
    std::string t = text;
    trim_whitespace(t);
    if (t.empty()) return 0;
    unsigned long v = 0;
    if (t.size() >= 2 && lower(t[1]) == 'x') {
        v = read_unsigned(t.substr(2), 16);
    } else if (lower(t[0]) == 'x') {
        v = read_unsigned(t.substr(1), 16);
    } else if (lower(t[0]) == 'o') {
        v = read_unsigned(t.substr(1), 8);
    } else if (t[0] == '+' || t[0] == '-' || std::isdigit(static_cast<unsigned char>(t[0]))) {
        v = read_unsigned(t, 10);
    } else if (t.size() == 3 && t[0] == '\'' && t[2] == '\'') {
        v = static_cast<unsigned char>(t[1]);
    } else {
        return 0;
    }
    *out = static_cast<std::uint32_t>(v);
    return 1;
}

int string_to_uint(const std::string& text, std::uint32_t* out) { return cstr_to_uint(text.c_str(), out); }

int wstring_to_uint(const std::wstring& text, std::uint32_t* out) {
    return cstr_to_uint(low_bytes(text).c_str(), out);
}

int wide_cstr_to_uint(const wchar_t* text, std::uint32_t* out) {
    if (text == nullptr) return cstr_to_uint(nullptr, out);
    std::string utf8;
    return cstr_to_uint(wide_cstr_to_utf8(text, utf8).c_str(), out);
}

int cstr_to_int(const char* text, std::int32_t* out) {
    if (text == nullptr || *text == '\0' || out == nullptr) return 0;
    std::string t = text;
    trim_whitespace(t);
    string_to_lower(t);
    if (t.empty()) return 0;
    std::size_t x = t.find('x');
    std::size_t o = t.find('o');
    if (x != std::string::npos) {
        *out = static_cast<std::int32_t>(static_cast<std::uint32_t>(read_unsigned(t.substr(x + 1), 16)));
    } else if (o != std::string::npos) {
        *out = static_cast<std::int32_t>(static_cast<std::uint32_t>(read_unsigned(t.substr(o + 1), 8)));
    } else if (t[0] == '+' || t[0] == '-' || std::isdigit(static_cast<unsigned char>(t[0]))) {
        // As atoi, but through strtol so that an out-of-range text is defined: the low 32 bits of the
        // saturated value.
        *out = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(static_cast<unsigned long>(std::strtol(t.c_str(), nullptr, 10))));
    } else {
        return 0;
    }
    return 1;
}

int string_to_int(const std::string& text, std::int32_t* out) { return cstr_to_int(text.c_str(), out); }

int wide_cstr_to_int(const wchar_t* text, std::int32_t* out) {
    if (text == nullptr) return 0;
    std::string utf8;
    return cstr_to_int(wide_cstr_to_utf8(text, utf8).c_str(), out);
}

int wstring_to_int(const std::wstring& text, std::int32_t* out) {
    return wide_cstr_to_int(text.c_str(), out);
}

int string_to_int64(std::string& text, std::int64_t* out) {
    if (text.empty() || out == nullptr) return 0;
    trim_whitespace(text);
    string_to_lower(text);
    if (text.empty()) return 0;
    int base = 10;
    std::size_t x = text.find('x');
    std::size_t o = text.find('o');
    if (x != std::string::npos) {
        text = text.substr(x + 1);
        base = 16;
    } else if (o != std::string::npos) {
        text = text.substr(o + 1);
        base = 8;
    } else if (!(text[0] == '+' || text[0] == '-' || std::isdigit(static_cast<unsigned char>(text[0])))) {
        return 0;
    }
    *out = static_cast<std::int64_t>(std::strtol(text.c_str(), nullptr, base));
    return 1;
}

int cstr_to_uint64(const char* text, std::uint64_t* out) {
    if (text == nullptr || out == nullptr) return 0;
    std::string copy = text;
    std::int64_t v = 0;
    if (string_to_int64(copy, &v) == 0) return 0;
    *out = static_cast<std::uint64_t>(v);
    return 1;
}

int wstring_to_int64(const std::wstring& text, std::int64_t* out) {
    std::string copy = low_bytes(text);
    return string_to_int64(copy, out);
}

std::string& format_number_text(std::string& out, const std::string& number_text, bool hex, unsigned width) {
    std::uint64_t v = 0;
    if (!string_to_u64(number_text, &v) || !has_leading_digit(number_text)) {
        out = "NaN";
        return out;
    }
    char buf[32];
    if (!hex) {
        std::snprintf(buf, sizeof(buf), "%llu", static_cast<unsigned long long>(v));
        out = buf;
        return out;
    }
    std::snprintf(buf, sizeof(buf), "%llx", static_cast<unsigned long long>(v));
    std::string digits = buf;
    unsigned w = width;
    // By magnitude; the bounds are exclusive, so 255 itself takes 4 digits.
    if (w == 0) w = v < 255 ? 2 : v < 65535 ? 4 : v < 16777215 ? 6 : 8;
    if (digits.size() < w) digits.insert(0, w - digits.size(), '0');
    out = "0x" + digits;
    return out;
}

int is_locale_name_valid(const char* name) {
    if (name == nullptr) return 0;
    try {
        std::locale loc(name);
        (void)loc;
        return 1;
    } catch (...) {
        return 0;
    }
}
