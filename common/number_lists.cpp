#include "common/number_lists.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "common/escapes.h"
#include "common/int_parsers.h"
#include "common/split_join.h"
#include "common/string_lists.h"
#include "common/text_numbers.h"
#include "common/text_ops.h"

namespace {

// Longest MAC-style list parse_separated_bytes accepts.
constexpr std::size_t kMaxSeparatedText = 80;

bool is_hex_digit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool all_hex(const std::string& s) {
    for (char c : s)
        if (!is_hex_digit(c)) return false;
    return !s.empty();
}

// '.' when present, else ':', else '-'; 0 when the text has none of them.
char address_delimiter(const std::string& text) {
    for (char c : {'.', ':', '-'})
        if (text.find(c) != std::string::npos) return c;
    return 0;
}

}  // namespace

std::vector<std::uint8_t>& parse_byte_list(std::vector<std::uint8_t>& out, const std::string& text,
                                           char delim, bool hex) {
    out.clear();
    std::vector<std::string> fields;
    split_string(text, delim, fields, true, false, false);
    for (const auto& f : fields) {
        unsigned long v = 0;
        if (hex) {
            v = std::strtoul(f.c_str(), nullptr, 16);
        } else {
            std::int32_t i = 0;
            if (cstr_to_int(f.c_str(), &i)) v = static_cast<std::uint32_t>(i);
        }
        out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    return out;
}

void parse_16_bytes(_16_byte_block& out, const std::string& text) {
    if (text.find('-') != std::string::npos) {
        guid_string_to_block(text, out);
        return;
    }
    std::uint8_t b[16];
    if (text.size() == 32) {
        if (!all_hex(text)) return;
        for (int i = 0; i < 16; ++i)
            b[i] = static_cast<std::uint8_t>(std::strtoul(text.substr(2 * i, 2).c_str(), nullptr, 16));
        out.set(b);
    } else if (text.size() == 47 && text.find(' ') != std::string::npos) {
        std::vector<std::uint8_t> bytes;
        parse_byte_list(bytes, text, ' ', true);
        if (bytes.size() != 16) return;
        out.set(bytes.data());
    }
}

char parse_u64_list(std::vector<std::uint64_t>& out, const std::string& text, bool trim, bool keep_empty,
                    const std::string& candidates) {
    out.clear();
    if (text.empty()) return 0;
    char used = 0;
    for (char c : candidates) {
        if (text.find(c) != std::string::npos) {
            used = c;
            break;
        }
    }
    std::vector<std::string> fields;
    if (used == 0 || split_string(text, used, fields, trim, keep_empty, false) == 0) fields.assign(1, text);
    for (const auto& f : fields) {
        std::uint64_t v = 0;
        if (cstr_to_u64(f.c_str(), &v)) out.push_back(v);
    }
    return used;
}

int parse_range_list(std::vector<std::pair<std::uint64_t, std::uint64_t>>& out, const std::string& text,
                     char delim, char range_char) {
    out.clear();
    if (text.empty()) return 0;
    std::vector<std::string> fields;
    split_string(text, delim, fields, false, false, false);
    for (auto& f : fields) {
        trim_whitespace(f);
        std::uint64_t lo = 0;
        std::uint64_t hi = 0;
        std::size_t r = f.find(range_char);
        if (r != std::string::npos) {
            cstr_to_u64(f.substr(0, r).c_str(), &lo);
            cstr_to_u64(f.substr(r + 1).c_str(), &hi);
        } else {
            cstr_to_u64(f.c_str(), &lo);
            hi = lo;
        }
        out.emplace_back(lo, hi);
    }
    return 1;
}

int parse_int64_tokens(const std::string& text, std::vector<std::int64_t>& out) {
    out.clear();
    std::vector<std::string> tokens;
    split_quoted_tokens(text, &tokens);
    for (auto& t : tokens) {
        std::int64_t v = 0;
        if (string_to_int64(t, &v)) out.push_back(v);
    }
    return out.empty() ? 0 : 1;
}

int parse_int64_list(const std::string& text, std::vector<std::int64_t>& out, char delim) {
    if (delim == ' ') return parse_int64_tokens(text, out);
    std::vector<std::string> fields;
    split_string(text, delim, fields, false, false, false);
    for (auto& f : fields) {
        std::int64_t v = 0;
        if (string_to_int64(f, &v)) out.push_back(v);  // trims the field itself
    }
    return out.empty() ? 0 : 1;
}

int parse_hex_dump_text(std::vector<std::uint8_t>& out, const std::string& text) {
    out.clear();
    if (text.empty()) return 0;
    std::vector<std::string> lines;
    split_string(text, '\n', lines, true, false, false);
    if (lines.empty()) return 0;
    std::size_t gap = lines[0].find("  ");
    if (gap == std::string::npos) return 0;
    std::size_t start = gap + 2;
    std::size_t end = lines[0].find("  ", start);
    if (end == std::string::npos) return 0;
    std::size_t width = end - start;
    for (const auto& line : lines) {
        if (line.size() <= start) continue;
        std::vector<std::string> tokens;
        split_string(line.substr(start, width), ' ', tokens, true, false, false);
        for (const auto& t : tokens)
            if (t.size() == 2 && all_hex(t))
                out.push_back(static_cast<std::uint8_t>(std::strtoul(t.c_str(), nullptr, 16)));
    }
    return out.empty() ? 0 : 1;
}

std::vector<std::uint8_t>& hex_string_to_bytes(std::vector<std::uint8_t>& out, const std::string& text) {
    out.clear();
    out.reserve((text.size() + 1) / 2);
    // Each pair is read on its own copy, so a sign or "0x" cannot make the reading run on.
    for (std::size_t i = 0; i < text.size(); i += 2) {
        std::string pair = text.substr(i, 2);
        out.push_back(static_cast<std::uint8_t>(std::strtol(pair.c_str(), nullptr, 16) & 0xFF));
    }
    return out;
}

int parse_separated_bytes(const char* text, std::vector<std::uint8_t>& out) {
    out.clear();
    if (text == nullptr) return 0;
    std::string t(text, strnlen(text, kMaxSeparatedText + 1));
    if (t.size() > kMaxSeparatedText) return 0;
    char d = address_delimiter(t);
    if (d == 0) return 0;
    std::vector<std::string> fields;
    split_string(t, d, fields, false, false, false);
    if (fields.empty()) return 0;
    const std::string& first = fields[0];
    bool prefixed = (!first.empty() && (first[0] == 'x' || first[0] == 'X')) ||
                    (first.size() >= 2 && (first[1] == 'x' || first[1] == 'X'));
    if (!prefixed) {
        bool letters = false;
        for (const auto& f : fields)
            for (char c : f)
                if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) letters = true;
        if (letters)
            for (auto& f : fields) f.insert(0, "0x");
    }
    std::vector<std::uint8_t> bytes;
    for (const auto& f : fields) {
        std::uint32_t v = 0;
        if (!cstr_to_uint(f.c_str(), &v)) return 0;
        bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    out.swap(bytes);
    return 1;
}

int parse_separated_bytes_fixed(const char* text, std::uint8_t* buf, int count) {
    std::vector<std::uint8_t> bytes;
    if (buf == nullptr || count < 0 || !parse_separated_bytes(text, bytes)) return 0;
    if (bytes.size() != static_cast<std::size_t>(count)) return 0;
    if (!bytes.empty()) std::memcpy(buf, bytes.data(), bytes.size());
    return 1;
}

int parse_separated_bytes_fixed_wide(const wchar_t* text, std::uint8_t* buf, int count) {
    if (text == nullptr) return 0;
    std::string utf8;
    return parse_separated_bytes_fixed(wide_cstr_to_utf8(text, utf8).c_str(), buf, count);
}

int parse_hex_byte_list(const std::string& text, std::vector<std::uint8_t>& out) {
    char d = 0;
    for (char c : {' ', ',', ':', '-'}) {
        if (text.find(c) != std::string::npos) {
            d = c;
            break;
        }
    }
    std::vector<std::string> fields;
    if (d != 0) {
        split_string(text, d, fields, false, false, false);
    } else if (text.size() == 2 || (text.find('x') != std::string::npos && text.size() < 5)) {
        fields.push_back(text);
    } else {
        return 0;
    }
    out.clear();
    for (const auto& f : fields) {
        std::size_t x = f.find('x');
        std::string digits = x != std::string::npos ? f.substr(x + 1) : f;
        if (f.empty()) continue;
        out.push_back(static_cast<std::uint8_t>(std::strtoul(digits.c_str(), nullptr, 16) & 0xFF));
    }
    return out.empty() ? 0 : 1;
}

int hex_digits_to_bytes(const std::string& text, std::vector<std::uint8_t>& out) {
    std::string spaced;
    for (std::size_t i = 0; i < text.size(); ++i) {
        spaced.push_back(text[i]);
        if (i % 2 == 1) spaced.push_back(' ');
    }
    return parse_hex_byte_list(spaced, out);
}

int dotted_quad_to_u32(const char* text, std::uint32_t* out, bool swap) {
    if (out != nullptr) *out = 0;
    if (text == nullptr || out == nullptr) return 0;
    std::string t = text;
    char d = address_delimiter(t);
    if (d == 0) return 0;
    std::vector<std::string> fields;
    split_string(t, d, fields, false, false, false);
    if (fields.size() != 4) return 0;
    std::uint32_t v[4];
    for (int i = 0; i < 4; ++i)
        if (!cstr_to_uint(fields[static_cast<std::size_t>(i)].c_str(), &v[i])) return 0;
    std::uint32_t r = (v[0] << 24) + (v[1] << 16) + (v[2] << 8) + v[3];
    if (swap) r = ((r & 0xFF) << 24) | ((r & 0xFF00) << 8) | ((r >> 8) & 0xFF00) | (r >> 24);
    *out = r;
    return 1;
}

int ipv6_text_to_bytes(const std::string& text, std::vector<std::uint8_t>& out) {
    out.clear();
    if (text.empty()) {
        out.assign(16, 0);
        return 1;
    }
    std::string t = text;
    int colons = count_char(t, ':');
    std::size_t dc = t.find("::");
    if (colons <= 6 && dc != std::string::npos) t.insert(dc + 2, static_cast<std::size_t>(7 - colons), ':');
    std::vector<std::string> groups;
    split_string(t, ':', groups, false, true, false);
    for (const auto& g : groups) {
        unsigned long v = g.empty() ? 0 : std::strtoul(g.c_str(), nullptr, 16);
        out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    return groups.empty() ? 0 : 1;
}
