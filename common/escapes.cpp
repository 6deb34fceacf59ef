#include "common/escapes.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// Two characters read as hexadecimal as far as they are hex digits: "4G" is 4, "G4" is 0.
int read_hex_pair(char a, char b) {
    if (!is_hex(a)) return 0;
    if (!is_hex(b)) return hex_value(a);
    return hex_value(a) * 16 + hex_value(b);
}

int base64_value(std::uint8_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Parses a checked 8-4-4-4-12 GUID text into its 16 bytes; false when the text has any other form.
bool parse_guid_text(const std::string& text, std::uint8_t out[16]) {
    static const std::size_t kDashes[] = {8, 13, 18, 23};
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool dash_place = i == kDashes[0] || i == kDashes[1] || i == kDashes[2] || i == kDashes[3];
        if (dash_place ? text[i] != '-' : !is_hex(text[i])) return false;
    }
    auto byte_at = [&](std::size_t pos) {
        return static_cast<std::uint8_t>(hex_value(text[pos]) * 16 + hex_value(text[pos + 1]));
    };
    // Groups 1-3 are little-endian numbers: their bytes come in reverse text order.
    for (int i = 0; i < 4; ++i) out[i] = byte_at(6 - 2 * i);
    for (int i = 0; i < 2; ++i) out[4 + i] = byte_at(11 - 2 * i);
    for (int i = 0; i < 2; ++i) out[6 + i] = byte_at(16 - 2 * i);
    for (int i = 0; i < 2; ++i) out[8 + i] = byte_at(19 + 2 * i);
    for (int i = 0; i < 6; ++i) out[10 + i] = byte_at(24 + 2 * i);
    return true;
}

}  // namespace

int percent_decode(std::string& out, const std::string& text, int special, const std::string& replacement) {
    out.clear();
    std::size_t p = text.find('%');
    if (text.empty() || p == std::string::npos) return 0;
    out.assign(text, 0, p);
    const std::size_t n = text.size();
    while (p != std::string::npos) {
        if (n - p - 1 < 2) {
            out.append(text, p, std::string::npos);
            return 1;
        }
        std::size_t digits = p + 1;  // position of the two hex characters last read
        int c = read_hex_pair(text[digits], text[digits + 1]);
        while (c == 0x25 && n - (digits + 2) >= 2) {
            digits += 2;
            c = read_hex_pair(text[digits], text[digits + 1]);
        }
        if (c < 32 || c > 127) {
            out.push_back('%');
            out.append(text, digits, 2);
        } else if (c == special) {
            out += replacement;
        } else {
            out.push_back(static_cast<char>(c));
        }
        std::size_t after = digits + 2;
        p = text.find('%', after);
        out.append(text, after, p == std::string::npos ? std::string::npos : p - after);
    }
    return 1;
}

int format_address_bytes(const std::uint8_t* b, int length, std::string& out) {
    char buf[64];
    if (b != nullptr && length == 8) {
        std::snprintf(buf, sizeof(buf), "%02x:%02x:%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3],
                      b[4], b[5], b[6], b[7]);
    } else if (b != nullptr && length == 6) {
        std::snprintf(buf, sizeof(buf), "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
    } else if (b != nullptr && length == 4) {
        std::snprintf(buf, sizeof(buf), "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
    } else {
        out.clear();
        return 0;
    }
    out = buf;
    return 1;
}

int ipv4_to_string(std::uint32_t a, std::string& out) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%d.%d.%d.%d", int(a >> 24), int((a >> 16) & 0xFF), int((a >> 8) & 0xFF),
                  int(a & 0xFF));
    out = buf;
    return 1;
}

int ipv4_to_wstring(std::uint32_t a, std::wstring& out) {
    std::string narrow;
    ipv4_to_string(a, narrow);
    out.assign(narrow.begin(), narrow.end());
    return 1;
}

int bytes_to_c_array(const char* name, const std::vector<std::uint8_t>& bytes, std::string& out) {
    if (name == nullptr || bytes.empty()) return 0;
    static const char kHex[] = "0123456789abcdef";
    std::string s = "const byte ";
    s += name;
    s += "[] = {";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) s += ", ";
        s += "0x";
        s.push_back(kHex[bytes[i] >> 4]);
        s.push_back(kHex[bytes[i] & 0xF]);
    }
    s += "};";
    out = s;
    return 1;
}

int extract_between_markers(const char* text, const char* lead, const char* start_marker,
                            const char* end_marker, std::string& out) {
    out.clear();
    if (text == nullptr || start_marker == nullptr || end_marker == nullptr || *start_marker == '\0' ||
        *end_marker == '\0')
        return 0;
    const char* from = text;
    if (lead != nullptr && *lead != '\0') {
        const char* l = std::strstr(text, lead);
        if (l == nullptr) return 0;
        from = l + std::strlen(lead);
    }
    const char* s = std::strstr(from, start_marker);
    if (s == nullptr) return 0;
    // The whole start marker is skipped, so a marker such as "<b>" does not leak into the text.
    const char* begin = s + std::strlen(start_marker);
    const char* e = std::strstr(begin, end_marker);
    if (e == nullptr) return 0;
    out.assign(begin, e);
    return 1;
}

int base64_decode_buffer(const std::uint8_t* in, int size, std::vector<std::uint8_t>& out) {
    if (in == nullptr || size < 1) return 0;
    std::vector<std::uint8_t> kept;
    for (int i = 0; i < size && in[i] != 0; ++i)
        if (in[i] == '=' || base64_value(in[i]) >= 0) kept.push_back(in[i]);

    std::vector<std::uint8_t> result;
    for (std::size_t g = 0; g < kept.size(); g += 4) {
        std::size_t have = kept.size() - g < 4 ? kept.size() - g : 4;
        int v[4] = {0, 0, 0, 0};
        std::size_t data = 0;  // leading characters of the group that carry data
        while (data < have && kept[g + data] != '=') {
            v[data] = base64_value(kept[g + data]);
            ++data;
        }
        std::uint32_t bits = (std::uint32_t(v[0]) << 18) | (std::uint32_t(v[1]) << 12) |
                             (std::uint32_t(v[2]) << 6) | std::uint32_t(v[3]);
        // Two data characters give one byte, three give two, four give three.
        if (data >= 2) result.push_back(static_cast<std::uint8_t>(bits >> 16));
        if (data >= 3) result.push_back(static_cast<std::uint8_t>(bits >> 8));
        if (data >= 4) result.push_back(static_cast<std::uint8_t>(bits));
    }
    out.swap(result);
    return 1;
}

void hex32_to_block(_16_byte_block& block, std::string& text) {
    if (text.size() != 32) return;
    block.clear();
    text.insert(16, 1, ' ');
    text.insert(12, 1, ' ');
    text.insert(8, 1, ' ');
    // Each group is read as one hexadecimal number, as far as it holds hex digits.
    auto group = [&](std::size_t pos, std::size_t len) {
        std::string g = text.substr(pos, len);
        return static_cast<unsigned long long>(std::strtoull(g.c_str(), nullptr, 16));
    };
    unsigned long long g1 = group(0, 8);
    unsigned long long g2 = group(9, 4);
    unsigned long long g3 = group(14, 4);
    unsigned long long g4 = group(19, 16);
    std::uint8_t b[16];
    for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(g1 >> (8 * i));
    for (int i = 0; i < 2; ++i) b[4 + i] = static_cast<std::uint8_t>(g2 >> (8 * i));
    for (int i = 0; i < 2; ++i) b[6 + i] = static_cast<std::uint8_t>(g3 >> (8 * i));
    for (int i = 0; i < 8; ++i) b[8 + i] = static_cast<std::uint8_t>(g4 >> (8 * (7 - i)));
    block.assign(b);
}

int guid_string_to_bytes(const std::string& text, std::vector<std::uint8_t>& out) {
    std::uint8_t b[16];
    if (!parse_guid_text(text, b)) return 0;
    out.assign(b, b + 16);
    return 1;
}

int guid_string_to_block(const std::string& text, _16_byte_block& block) {
    std::uint8_t b[16];
    if (!parse_guid_text(text, b)) return 0;
    block.assign(b);
    return 1;
}

bool blocks_equal(const _16_byte_block& a, const _16_byte_block& b) {
    return std::memcmp(a.bytes(), b.bytes(), 16) == 0;
}

bool blocks_differ(const _16_byte_block& a, const _16_byte_block& b) { return !blocks_equal(a, b); }

bool byte_vectors_equal(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    return a == b;
}
