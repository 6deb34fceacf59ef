#include "platform/path_text.h"

namespace {

// Length of the well-formed UTF-8 sequence at `i` and its code point; 0 when the byte at `i` does not
// start one (overlong forms, surrogates and values above U+10FFFF are not well-formed).
std::size_t decode_one(const std::string& s, std::size_t i, char32_t* cp) {
    const std::size_t n = s.size();
    const unsigned char b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        *cp = b0;
        return 1;
    }
    std::size_t len = 0;
    char32_t value = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        value = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        value = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        value = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (len > n - i) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        value = (value << 6) | (b & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *cp = value;
    return len;
}

void encode_utf8(char32_t c, std::string* out) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c <= 0x10FFFF) {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// One path character out: an escaped byte goes back as itself.
void put_path_char(char32_t c, std::string* out) {
    if (c >= 0xDC80 && c <= 0xDCFF) {
        out->push_back(static_cast<char>(c - 0xDC00));
    } else {
        encode_utf8(c, out);
    }
}

}  // namespace

std::wstring path_to_wide(const std::string& path) {
    std::wstring out;
    out.reserve(path.size());
    std::size_t i = 0;
    while (i < path.size()) {
        char32_t cp = 0;
        const std::size_t len = decode_one(path, i, &cp);
        if (len == 0) {
            out.push_back(static_cast<wchar_t>(0xDC00 + static_cast<unsigned char>(path[i])));
            ++i;
        } else {
            out.push_back(static_cast<wchar_t>(cp));
            i += len;
        }
    }
    return out;
}

std::string wide_to_path(const std::wstring& path) {
    std::string out;
    out.reserve(path.size());
    for (wchar_t w : path) {
        const std::uint32_t c = static_cast<std::uint32_t>(w);
        put_path_char(static_cast<char32_t>(c), &out);
    }
    return out;
}

std::string utf16_to_path(const std::vector<std::uint16_t>& units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            const char32_t c =
                0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            encode_utf8(c, &out);
            ++i;
        } else {
            put_path_char(u, &out);
        }
    }
    return out;
}

std::string utf16le_bytes_to_path(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 2) return std::string();
    std::vector<std::uint16_t> units(bytes.size() / 2);
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return utf16_to_path(units);
}

std::vector<std::uint16_t> path_to_utf16(const std::string& path) {
    std::vector<std::uint16_t> out;
    out.reserve(path.size());
    for (wchar_t w : path_to_wide(path)) {
        const std::uint32_t c = static_cast<std::uint32_t>(w);
        if (c >= 0x10000) {
            out.push_back(static_cast<std::uint16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<std::uint16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<std::uint16_t>(c));
        }
    }
    return out;
}
