#include "common/line_endings.h"

#include <limits>
#include <new>

#include "common/text_ops.h"

namespace {

constexpr unsigned kCr = 0x0D;
constexpr unsigned kLf = 0x0A;

// Records style `next` into `style`; false when it conflicts with the one already seen.
bool note_pair_style(int& style, int next) {
    if (style == next) return true;
    if (style < kLineEndingNone) return false;
    style = next;
    return true;
}

// The detector for both unit widths; the last unit never starts a match.
template <class T>
int detect(const T* p, std::size_t n) {
    int style = kLineEndingNone;
    if (p == nullptr) return style;
    std::size_t i = 0;
    while (i + 1 < n) {
        unsigned c = p[i];
        unsigned next = p[i + 1];
        if (c == kCr && next == kLf) {
            if (!note_pair_style(style, kLineEndingCrLf)) return kLineEndingMixed;
            i += 2;
        } else if (c == kLf && next == kCr) {
            if (!note_pair_style(style, kLineEndingLfCr)) return kLineEndingMixed;
            i += 2;
        } else if (c == kLf) {
            if (!note_pair_style(style, kLineEndingLf)) return kLineEndingMixed;
            ++i;
        } else if (c == kCr) {
            if (style != kLineEndingCr && style != kLineEndingNone) return kLineEndingMixed;
            style = kLineEndingCr;
            ++i;
        } else {
            ++i;
        }
    }
    return style;
}

bool printable(std::uint8_t b) { return b >= 32 && b <= 126; }

std::size_t bounded_strlen(const std::uint16_t* p, std::size_t limit, bool& terminated) {
    terminated = false;
    std::size_t n = 0;
    while (n < limit) {
        if (p[n] == 0) {
            terminated = true;
            break;
        }
        ++n;
    }
    return n;
}

std::size_t strlen_max512(const std::uint16_t* p, std::size_t max_units) {
    if (p == nullptr) return 0;
    // 513 units are enough to tell "512" from "longer".
    std::size_t limit = max_units < 513 ? max_units : 513;
    bool terminated = false;
    std::size_t n = bounded_strlen(p, limit, terminated);
    if (n > 512) return 0;
    return terminated ? n : 0;
}

void append_latin1(std::string& out, unsigned char b) {
    if (b < 128) {
        out += static_cast<char>(b);
    } else {
        out += static_cast<char>(0xC0 | (b >> 6));
        out += static_cast<char>(0x80 | (b & 63));
    }
}

}  // namespace

_UNICODE_STRING_EX::_UNICODE_STRING_EX(std::uint16_t* buf, std::uint16_t max_length)
    : length(0), maximum_length(max_length), buffer(buf), owns(false) {
    // Only write the terminator when the buffer is said to have room for it.
    if (buffer != nullptr && max_length >= 2) buffer[0] = 0;
}

_UNICODE_STRING_EX::_UNICODE_STRING_EX(std::uint16_t* buf, std::uint16_t len, std::uint16_t max_length)
    : length(len), maximum_length(max_length), buffer(buf), owns(false) {}

_UNICODE_STRING_EX::_UNICODE_STRING_EX(std::size_t count)
    : length(0), maximum_length(0), buffer(nullptr), owns(false) {
    // The byte size must fit the 16-bit maximum length, else the length would understate the buffer.
    if (count == 0 || count > std::numeric_limits<std::uint16_t>::max() / 2) return;
    buffer = new (std::nothrow) std::uint16_t[count];
    if (buffer == nullptr) return;
    buffer[0] = 0;
    owns = true;
    maximum_length = static_cast<std::uint16_t>(count * 2);
}

_UNICODE_STRING_EX::~_UNICODE_STRING_EX() {
    if (owns) delete[] buffer;
}

int detect_line_ending(const std::uint8_t* p, std::uint32_t length) { return detect(p, length); }

int detect_line_ending_utf16(const std::uint16_t* p, std::uint32_t length_bytes) {
    return detect(p, length_bytes / 2);
}

int advance_past_line_break_utf16(const std::uint16_t*& p, std::uint32_t& remaining) {
    if (p == nullptr) return 0;
    std::uint32_t i = 0;
    while (i < remaining) {
        if (p[i] == kCr) {
            if (i + 1 < remaining && p[i + 1] == kLf) {
                p += i + 2;
                remaining -= i + 2;
                return 1;
            }
            i += 2;  // a CR on its own takes the unit after it along
        } else if (p[i] == kLf) {
            p += i;
            remaining -= i;
            return 1;
        } else {
            ++i;
        }
    }
    return 0;
}

int lf_to_crlf(const std::uint8_t* p, std::uint32_t length, std::string& out) {
    if (detect_line_ending(p, length) != kLineEndingLf) return 0;
    out.clear();
    out.reserve(length + length / 8);
    for (std::uint32_t i = 0; i < length; ++i) {
        if (p[i] == kLf) out += '\r';
        out += static_cast<char>(p[i]);
    }
    return 1;
}

int printable_copy(std::string& out, const std::uint8_t* p, int count, bool keep_line_breaks,
                   char replacement) {
    out.clear();
    if (p == nullptr || count <= 0) return 0;
    for (int i = 0; i < count && p[i] != 0; ++i) {
        std::uint8_t b = p[i];
        if (printable(b) || (keep_line_breaks && (b == kLf || b == kCr)))
            out += static_cast<char>(b);
        else if (replacement != 0)
            out += replacement;
    }
    return 1;
}

int leading_printable(const std::uint8_t* p, int count, std::string& out) {
    out.clear();
    if (p == nullptr || count <= 0) return 0;
    int i = 0;
    while (i < count && printable(p[i])) out += static_cast<char>(p[i++]);
    return i;
}

int vector_is_text(const std::vector<std::uint8_t>& v) {
    if (v.empty()) return 0;
    for (std::uint8_t b : v)
        if (!printable(b) && b != '\t' && b != kLf && b != kCr) return 0;
    return 1;
}

int printable_prefix_length(const std::vector<std::uint8_t>& v) {
    int n = 0;
    for (std::uint8_t b : v) {
        if (!printable(b)) break;
        ++n;
    }
    return n;
}

std::size_t utf16_strlen(const std::uint16_t* p) {
    return utf16_strlen(p, std::numeric_limits<std::size_t>::max());
}

std::size_t utf16_strlen(const std::uint16_t* p, std::size_t max_units) {
    if (p == nullptr) return 0;
    bool terminated = false;
    std::size_t n = bounded_strlen(p, max_units, terminated);
    return terminated ? n : 0;
}

std::size_t utf16_strlen_max512(const std::uint16_t* p) {
    return strlen_max512(p, std::numeric_limits<std::size_t>::max());
}

std::size_t utf16_strlen_max512(const std::uint16_t* p, std::size_t max_units) {
    return strlen_max512(p, max_units);
}

unsigned utf16_vector_byte_length(const std::vector<std::uint16_t>& v) {
    std::size_t n = v.size();
    while (n > 0 && v[n - 1] == 0) --n;
    return static_cast<unsigned>(n * 2);
}

unsigned utf16_vector_length(const std::vector<std::uint16_t>& v) {
    if (v.empty()) return 0;
    return static_cast<unsigned>(v.back() == 0 ? v.size() - 1 : v.size());
}

std::wstring utf16z_to_lower_wide(const std::uint16_t* p) {
    return utf16z_to_lower_wide(p, std::numeric_limits<std::size_t>::max());
}

std::wstring utf16z_to_lower_wide(const std::uint16_t* p, std::size_t max_units) {
    std::wstring out;
    if (p == nullptr) return out;
    std::size_t limit = max_units < 768 ? max_units : 768;
    for (std::size_t i = 0; i < limit && p[i] != 0; ++i) out += static_cast<wchar_t>(p[i]);
    wstring_to_lower(out);
    return out;
}

std::string latin1_to_utf8(const char* s) {
    std::string out;
    if (s == nullptr) return out;
    for (; *s != '\0'; ++s) append_latin1(out, static_cast<unsigned char>(*s));
    return out;
}

std::string latin1_char_to_utf8(char c) {
    std::string out;
    append_latin1(out, static_cast<unsigned char>(c));
    return out;
}

std::string utf16_unit_to_utf8(std::uint16_t u) {
    std::string out;
    if (u < 128) {
        out += static_cast<char>(u);
    } else if (u < 2048) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 63));
    } else {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 63));
        out += static_cast<char>(0x80 | (u & 63));
    }
    return out;
}

void narrow_to_wide(const char* s, std::wstring& out) {
    if (s == nullptr || *s == '\0') return;
    cstr_to_wide(s, out);
}

void cstr_to_wide(const char* s, std::wstring& out) {
    out.clear();
    if (s == nullptr) return;
    for (; *s != '\0'; ++s) out += static_cast<wchar_t>(static_cast<signed char>(*s));
}

void string_to_wide(const std::string& s, std::wstring& out) {
    out.clear();
    out.reserve(s.size());
    for (char c : s) out += static_cast<wchar_t>(static_cast<signed char>(c));
}

void wide_to_narrow(const std::wstring& w, std::string& out) {
    out.clear();
    out.reserve(w.size());
    for (wchar_t c : w) out += static_cast<char>(static_cast<std::uint32_t>(c) & 0xFF);
}

std::uint32_t* string_to_u32_array(const std::string& s, std::uint32_t* arr, std::size_t max_count) {
    if (arr == nullptr || max_count == 0) return nullptr;
    arr[0] = 0;
    // The text and its 0 element must both fit in the caller's array.
    if (s.size() >= max_count) return nullptr;
    for (std::size_t i = 0; i < s.size(); ++i)
        arr[i] = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(s[i])));
    arr[s.size()] = 0;
    return arr;
}
