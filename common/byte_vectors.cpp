#include "common/byte_vectors.h"

#include <algorithm>

namespace {

const std::size_t kMaxCounted = 32768;  // first value a length prefix cannot hold

void append_prefix(std::vector<unsigned char>& out, std::size_t value) {
    if (value < 128) {
        out.push_back(static_cast<unsigned char>(value));
    } else {
        out.push_back(static_cast<unsigned char>(0x80 | (value >> 8)));
        out.push_back(static_cast<unsigned char>(value & 0xff));
    }
}

// Reads a length prefix at buf[pos] without passing `length`; returns its size in bytes, 0 when truncated.
std::uint32_t read_prefix(const unsigned char* buf, std::uint32_t length, std::uint32_t pos,
                          std::uint32_t& value) {
    if (pos >= length) return 0;
    const unsigned char first = buf[pos];
    if ((first & 0x80) == 0) {
        value = first;
        return 1;
    }
    if (length - pos < 2) return 0;
    value = (static_cast<std::uint32_t>(first & 0x7f) << 8) | buf[pos + 1];
    return 2;
}

// Appends one code point as UTF-16 units: a pair above U+FFFF, U+FFFD above U+10FFFF.
template <typename Sink>
void put_code_point(std::uint32_t cp, Sink&& sink) {
    if (cp > 0x10FFFF) {
        sink(0xFFFD);
    } else if (cp > 0xFFFF) {
        cp -= 0x10000;
        sink(static_cast<std::uint16_t>(0xD800 | (cp >> 10)));
        sink(static_cast<std::uint16_t>(0xDC00 | (cp & 0x3FF)));
    } else {
        sink(static_cast<std::uint16_t>(cp));
    }
}

std::uint16_t* wide_to_utf16_crlf(std::vector<std::uint16_t>& out, const wchar_t* text, std::size_t n) {
    out.clear();
    if (!text || n == 0) return nullptr;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t cp = static_cast<std::uint32_t>(text[i]);
        if (cp == L'\n') out.push_back(0x0D);
        put_code_point(cp, [&out](std::uint16_t u) { out.push_back(u); });
    }
    out.push_back(0);
    return out.data();
}

std::uint16_t* bytes_to_utf16_crlf(std::vector<std::uint16_t>& out, const char* text, std::size_t n) {
    out.clear();
    if (!text || n == 0) return nullptr;
    out.reserve(n + 1);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b == '\n') out.push_back(0x0D);
        out.push_back(b);
    }
    out.push_back(0);
    return out.data();
}

}  // namespace

void construct_byte_vector(std::vector<unsigned char>& v, const unsigned char* data, std::size_t length) {
    if (!data) {
        v.clear();
        return;
    }
    v.assign(data, data + length);
}

void copy_byte_vector(std::vector<unsigned char>& v, const std::vector<unsigned char>& source) { v = source; }

void assign_32_bytes(std::vector<unsigned char>& v, const unsigned char* data) {
    construct_byte_vector(v, data, data ? 32 : 0);
}
void assign_20_bytes(std::vector<unsigned char>& v, const unsigned char* data) {
    construct_byte_vector(v, data, data ? 20 : 0);
}
void assign_16_bytes(std::vector<unsigned char>& v, const unsigned char* data) {
    construct_byte_vector(v, data, data ? 16 : 0);
}

void zero_bytes_32(std::vector<unsigned char>& v) { v.assign(32, 0); }
void zero_bytes_20(std::vector<unsigned char>& v) { v.assign(20, 0); }
void zero_bytes_16(std::vector<unsigned char>& v) { v.assign(16, 0); }
void zero_bytes(std::vector<unsigned char>& v, int count) {
    v.assign(count > 0 ? static_cast<std::size_t>(count) : 0, 0);
}
void construct_zero_bytes(std::vector<unsigned char>& v, std::size_t count) { v.assign(count, 0); }

void assign_bytes(std::vector<unsigned char>& v, const unsigned char* data, int count) {
    if (!data || count <= 0) {
        v.clear();
        return;
    }
    v.assign(data, data + count);
}

std::vector<unsigned char>& string_to_byte_vector(std::vector<unsigned char>& out, const std::string& text) {
    out.assign(text.begin(), text.end());
    return out;
}

std::size_t remove_byte_value(std::vector<unsigned char>& v, unsigned char value) {
    const std::size_t before = v.size();
    v.erase(std::remove(v.begin(), v.end(), value), v.end());
    return before - v.size();
}

void erase_byte_value(std::vector<unsigned char>& v, unsigned char value) { remove_byte_value(v, value); }

int trim_trailing_zero_bytes(std::vector<unsigned char>& v) {
    while (!v.empty() && v.back() == 0) v.pop_back();
    return 1;
}

int trim_trailing_zero_units(std::vector<std::uint16_t>& v) {
    while (!v.empty() && v.back() == 0) v.pop_back();
    return 1;
}

int encode_counted_string(std::vector<unsigned char>& out, const std::string& text, bool append) {
    if (!append) out.clear();
    if (text.size() >= kMaxCounted) return 0;
    append_prefix(out, text.size());
    out.insert(out.end(), text.begin(), text.end());
    return 1;
}

int encode_counted_string_list(std::vector<unsigned char>& out, const std::vector<std::string>& list,
                               bool append) {
    if (!append) out.clear();
    if (list.size() >= kMaxCounted) return 0;
    for (const std::string& s : list)
        if (s.size() >= kMaxCounted) return 0;
    append_prefix(out, list.size());
    for (const std::string& s : list) encode_counted_string(out, s, true);
    return 1;
}

std::uint32_t decode_counted_string_list(std::vector<std::string>& out, const unsigned char* buf,
                                         std::uint32_t length) {
    out.clear();
    if (!buf || length == 0) return 0;
    std::uint32_t count = 0;
    const std::uint32_t prefix = read_prefix(buf, length, 0, count);
    if (prefix == 0) return 0;
    std::uint32_t pos = prefix;
    if (pos >= length || count > length - pos) return prefix;
    out.resize(count);
    for (std::uint32_t i = 0; i < count && pos < length; ++i) {
        std::uint32_t len = 0;
        const std::uint32_t p = read_prefix(buf, length, pos, len);
        if (p == 0) break;  // a two-byte prefix cut by the end: nothing more to read
        pos += p;
        if (len > length - pos) continue;  // entry runs past the end: keep it empty, consume only its prefix
        out[i].assign(reinterpret_cast<const char*>(buf + pos), len);
        pos += len;
    }
    return pos;
}

int decode_varint_msb_first(std::uint64_t& value, const unsigned char* buf, int length) {
    value = 0;
    if (!buf || length <= 0) return 0;
    std::uint64_t v = 0;
    const int limit = length < 9 ? length : 9;
    for (int i = 0; i < limit; ++i) {
        const unsigned char b = buf[i];
        if (i == 8) {
            v = (v << 8) | b;
            break;
        }
        v = (v << 7) | (b & 0x7f);
        if ((b & 0x80) == 0) break;
    }
    value = v;
    return 1;
}

int decode_varint_lsb_first(std::uint64_t& value, const unsigned char* buf, int length) {
    value = 0;
    if (!buf || length <= 0) return 0;
    std::uint64_t v = 0;
    const int limit = length < 9 ? length : 9;
    for (int i = 0; i < limit; ++i) {
        const unsigned char b = buf[i];
        if (i == 8) {
            v |= static_cast<std::uint64_t>(b) << 56;
            break;
        }
        v |= static_cast<std::uint64_t>(b & 0x7f) << (7 * i);
        if ((b & 0x80) == 0) break;
    }
    value = v;
    return 1;
}

void wstrings_to_utf16_multi_string(const std::vector<std::wstring>& strings,
                                    std::vector<unsigned char>& out) {
    out.clear();
    auto put = [&out](std::uint16_t u) {
        out.push_back(static_cast<unsigned char>(u & 0xff));
        out.push_back(static_cast<unsigned char>(u >> 8));
    };
    for (const std::wstring& s : strings) {
        for (wchar_t c : s) put_code_point(static_cast<std::uint32_t>(c), put);
        put(0);
    }
    if (!out.empty()) put(0);
}

std::uint16_t* text_to_utf16_crlf(std::vector<std::uint16_t>& out, const char* text) {
    return bytes_to_utf16_crlf(out, text, text ? std::char_traits<char>::length(text) : 0);
}

std::uint16_t* string_to_utf16_crlf(std::vector<std::uint16_t>& out, const std::string& text) {
    return bytes_to_utf16_crlf(out, text.data(), text.size());
}

std::uint16_t* wtext_to_utf16_crlf(std::vector<std::uint16_t>& out, const wchar_t* text) {
    return wide_to_utf16_crlf(out, text, text ? std::char_traits<wchar_t>::length(text) : 0);
}

std::uint16_t* wstring_to_utf16_crlf(std::vector<std::uint16_t>& out, const std::wstring& text) {
    return wide_to_utf16_crlf(out, text.data(), text.size());
}

std::size_t escape_utf16_units(std::vector<std::uint16_t>& units, const std::wstring& chars) {
    if (chars.empty() || units.empty()) return 0;
    std::vector<std::uint16_t> result;
    result.reserve(units.size());
    std::size_t inserted = 0;
    for (std::uint16_t u : units) {
        if (chars.find(static_cast<wchar_t>(u)) != std::wstring::npos) {
            result.push_back(0x5C);
            ++inserted;
        }
        result.push_back(u);
    }
    if (inserted) units.swap(result);
    return inserted;
}

int count_lines(unsigned& lines, int& longest, const std::string& text) {
    unsigned n = 1;
    std::size_t best = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n') {
            best = std::max(best, i - start);
            if (i < text.size()) ++n;
            start = i + 1;
        }
    }
    lines = n;
    longest = static_cast<int>(std::min<std::size_t>(best, INT32_MAX));
    return 1;
}

int column_widths_of_rows(std::vector<std::uint32_t>& widths,
                          const std::vector<std::vector<std::string>>& rows) {
    widths.clear();
    for (const auto& row : rows) {
        if (widths.size() < row.size()) widths.resize(row.size(), 0);
        for (std::size_t j = 0; j < row.size(); ++j) {
            const std::uint32_t len =
                static_cast<std::uint32_t>(std::min<std::size_t>(row[j].size(), UINT32_MAX));
            widths[j] = std::max(widths[j], len);
        }
    }
    return widths.empty() ? 0 : 1;
}

int update_column_widths(std::vector<std::uint32_t>& widths, const std::vector<std::string>& row,
                         unsigned max_width) {
    if (row.empty()) return 0;
    for (std::size_t j = 0; j < row.size(); ++j) {
        const std::uint32_t len = static_cast<std::uint32_t>(std::min<std::size_t>(row[j].size(), max_width));
        if (j < widths.size()) {
            widths[j] = std::max(widths[j], len);
        } else {
            widths.push_back(len);
        }
    }
    return 1;
}
