#include "common/formatters.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwctype>

#include "common/byte_vectors.h"

namespace {

char lower_char(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
char upper_char(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

unsigned le16(const unsigned char* p) {
    return static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8);
}

// Formats the GUID text into buf (size >= 37); returns snprintf's result.
int format_guid(char* buf, std::size_t size, const unsigned char* g) {
    return std::snprintf(buf, size, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", le32(g), le16(g + 4),
                         le16(g + 6), g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
}

}  // namespace

void replace_char(std::string& text, char from, char to, bool nocase) {
    if (from == to) return;
    const char a = nocase ? lower_char(from) : from;
    const char b = nocase ? upper_char(from) : from;
    if (a == b) {
        // One character to look for: the library's search skips the stretches without it.
        for (void* at = std::memchr(&text[0], a, text.size()); at != nullptr;) {
            char* c = static_cast<char*>(at);
            *c = to;
            const std::size_t next = static_cast<std::size_t>(c - &text[0]) + 1;
            at = std::memchr(c + 1, a, text.size() - next);
        }
        return;
    }
    for (char& c : text)
        if (c == a || c == b) c = to;
}

void replace_byte_in_buffer(unsigned char* buf, int length, unsigned char from, unsigned char to,
                            bool nocase) {
    if (!buf || length < 1) return;
    const int from_low = std::tolower(from);
    for (int i = 0; i < length; ++i) {
        if (nocase ? std::tolower(buf[i]) == from_low : buf[i] == from) buf[i] = to;
    }
}

void replace_wchar_in_buffer(wchar_t* buf, int length, wchar_t from, wchar_t to, bool nocase) {
    if (!buf || length < 1) return;
    const std::wint_t from_low = std::towlower(static_cast<std::wint_t>(from));
    for (int i = 0; i < length; ++i) {
        if (nocase ? std::towlower(static_cast<std::wint_t>(buf[i])) == from_low : buf[i] == from)
            buf[i] = to;
    }
}

std::string guid_to_string(const unsigned char* guid) {
    if (!guid) return std::string();
    char scratch[80];
    format_guid(scratch, sizeof scratch, guid);
    return scratch;
}

int guid_ptr_to_string(std::string& out, const unsigned char* guid) {
    out.clear();
    if (!guid) return 0;
    out = guid_to_string(guid);
    return 1;
}

int guid_to_cstr_with_tag(char* dest, std::size_t size, const unsigned char* guid) {
    if (!dest || !guid || size < 37) return 0;
    format_guid(dest, size, guid);
    if (size >= 42) {
        dest[36] = ' ';
        for (int i = 0; i < 4; ++i) {
            const unsigned char b = guid[i];
            dest[37 + i] = (b >= '0' && b <= 'z') ? static_cast<char>(b) : '.';
        }
        dest[41] = '\0';
    }
    return 1;
}

int int_to_string(std::int32_t value, std::string& out) {
    out = std::to_string(value);
    return 1;
}

int u64_to_string(std::uint64_t value, std::string& out) {
    out = std::to_string(value);
    return 1;
}

std::uint16_t* format_utf16_crlf(std::vector<std::uint16_t>& out, const char* format, ...) {
    out.clear();
    if (!format) return nullptr;
    char scratch[30];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(scratch, sizeof scratch, format, args);
    va_end(args);
    std::uint16_t* result = nullptr;
    if (needed >= 0 && static_cast<std::size_t>(needed) < sizeof scratch) {
        result = text_to_utf16_crlf(out, scratch);
    } else if (needed >= 0) {
        std::vector<char> big(static_cast<std::size_t>(needed) + 10);
        if (std::vsnprintf(big.data(), big.size(), format, again) >= 0)
            result = text_to_utf16_crlf(out, big.data());
    }
    va_end(again);
    return result;
}
