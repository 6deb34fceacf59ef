#include "common/binary_values.h"

#include "common/formatters.h"
#include "common/hex_text.h"

namespace {

const char kHexDigits[] = "0123456789abcdef";

// Appends value as exactly `digits` lower-case hex digits.
void append_hex(std::string& out, std::uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out.push_back(kHexDigits[(value >> shift) & 15]);
}

// The 16 bytes of a GUID held as two 64-bit values, each stored little-endian.
void halves_to_bytes(std::uint64_t first, std::uint64_t second, unsigned char bytes[16]) {
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<unsigned char>(first >> (8 * i));
        bytes[8 + i] = static_cast<unsigned char>(second >> (8 * i));
    }
}

std::string initializer_text(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                             const unsigned char data4[8]) {
    std::string out = "0x";
    append_hex(out, data1, 8);
    out += ", 0x";
    append_hex(out, data2, 4);
    out += ", 0x";
    append_hex(out, data3, 4);
    for (int i = 0; i < 8; ++i) {
        out += ", 0x";
        append_hex(out, data4[i], 2);
    }
    return out;
}

std::uint32_t read_le32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// The header of 8 bytes, then four bytes per sub-authority.
constexpr std::uint32_t kSidHeader = 8;
constexpr std::uint32_t kSidMinimum = 12;

int sid_text_impl(std::string& out, const unsigned char* sid, std::uint32_t length, bool strict) {
    out.clear();
    if (sid == nullptr || length < kSidMinimum) return 0;
    const std::uint32_t count = sid[1];
    const std::uint32_t needed = kSidHeader + 4 * count;
    if (length < needed || (strict && length != needed)) return 0;
    // Only the last byte of the 48-bit identifier authority is shown; every well-known authority fits in it.
    out = "S-" + std::to_string(sid[0]) + "-" + std::to_string(sid[7]);
    for (std::uint32_t i = 0; i < count; ++i)
        out += "-" + std::to_string(read_le32(sid + kSidHeader + 4 * i));
    return 1;
}

}  // namespace

int guid_to_text_style(std::string& out, std::uint64_t first, std::uint64_t second, int style) {
    unsigned char bytes[16];
    halves_to_bytes(first, second, bytes);
    switch (style) {
        case 1:
            out = initializer_text(static_cast<std::uint32_t>(first), static_cast<std::uint16_t>(first >> 32),
                                   static_cast<std::uint16_t>(first >> 48), bytes + 8);
            break;
        case 2:
            bytes_to_hex_spaced(out, bytes, 16, true);
            break;
        case 3:
            bytes_to_hex(out, bytes, 16, ", ", true);
            break;
        default:
            out = guid_to_string(bytes);
            break;
    }
    return 1;
}

int guid_to_initializer(std::string& out, const guid_fields& guid) {
    out = initializer_text(guid.data1, guid.data2, guid.data3, guid.data4);
    return 1;
}

int guid_to_initializer_with_number(std::string& out, const guid_fields& guid, std::uint16_t number) {
    out = initializer_text(guid.data1, guid.data2, guid.data3, guid.data4) + ", " + std::to_string(number);
    return 1;
}

void set_guid_word2(guid_fields& guid, std::uint16_t number) { guid.data2 = number; }

void set_guid_word3(guid_fields& guid, std::uint16_t number) { guid.data3 = number; }

int sid_to_text(std::string& out, const unsigned char* sid, std::uint32_t length) {
    return sid_text_impl(out, sid, length, false);
}

int sid_to_text_strict(std::string& out, const unsigned char* sid, std::uint32_t length) {
    return sid_text_impl(out, sid, length, true);
}

std::string sid_text(const unsigned char* sid, std::uint32_t length) {
    std::string out;
    sid_text_impl(out, sid, length, false);
    return out;
}

int ipv6_to_text(const std::uint16_t* units, std::uint32_t length, std::string& out) {
    if (units == nullptr || length == 0) return 0;
    // The units are stored in network order; read them byte by byte.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(units);
    const std::uint32_t count = length / 2;
    std::string text;
    enum { before_run, in_run, after_run } state = before_run;
    bool need_colon = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned value = unsigned{bytes[2 * i]} << 8 | bytes[2 * i + 1];
        if (value == 0 && state != after_run) {
            if (state == before_run) text += "::";
            state = in_run;
            need_colon = false;
            continue;
        }
        if (state == in_run) state = after_run;
        if (need_colon) text.push_back(':');
        char digits[4];
        int n = 0;
        for (unsigned v = value; n == 0 || v != 0; v >>= 4) digits[n++] = kHexDigits[v & 15];
        while (n > 0) text.push_back(digits[--n]);
        need_colon = true;
    }
    out.swap(text);
    return 1;
}

std::uint32_t read_prefixed_string(std::string& out, const unsigned char* data, std::uint32_t available) {
    out.clear();
    if (data == nullptr || available == 0) return 0;
    std::uint32_t header = 1;
    std::uint32_t length = data[0];
    if (length >= 128) {
        if (available < 2) return 0;
        header = 2;
        length = (length & 127) << 8 | data[1];
    }
    const std::uint32_t after = available - header;
    if (after == 0 || length > after) return header;
    out.assign(reinterpret_cast<const char*>(data + header), length);
    return header + length;
}

std::uint32_t read_prefixed_string_vector(std::string& out, const std::vector<unsigned char>& data) {
    out.clear();
    if (data.empty()) return 0;
    // Past 4 GiB the count would wrap; the header can reach at most 32,769 bytes anyway.
    const std::uint32_t available =
        data.size() > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(data.size());
    return read_prefixed_string(out, data.data(), available);
}

std::uint16_t swap16(std::uint16_t value) { return __builtin_bswap16(value); }

std::uint32_t swap32(std::uint32_t value) { return __builtin_bswap32(value); }

std::uint64_t swap64(std::uint64_t value) { return __builtin_bswap64(value); }

int swap32_to(std::uint32_t value, std::uint32_t& out) {
    out = swap32(value);
    return 1;
}

void split_u64(std::uint64_t value, std::uint32_t& high, std::uint32_t& low) {
    high = static_cast<std::uint32_t>(value >> 32);
    low = static_cast<std::uint32_t>(value);
}

std::uint64_t join_u64(std::uint32_t high, std::uint32_t low, std::uint64_t& out) {
    out = std::uint64_t{high} << 32 | low;
    return out;
}

std::uint64_t le_bytes_to_u64(const unsigned char* data, int count) {
    if (data == nullptr || count <= 0) return 0;
    const int n = count < 8 ? count : 8;
    std::uint64_t value = 0;
    for (int i = n - 1; i >= 0; --i) value = value << 8 | data[i];
    return value;
}

std::uint64_t le_vector_to_u64(const std::vector<unsigned char>& data) {
    return le_bytes_to_u64(data.data(), data.size() < 8 ? static_cast<int>(data.size()) : 8);
}

std::uint64_t sum_u64_words(const unsigned char* data, std::uint32_t count) {
    if (data == nullptr || count == 0) return 0;
    std::uint64_t sum = 0;
    std::uint32_t i = 0;
    for (; count - i >= 8; i += 8) sum += le_bytes_to_u64(data + i, 8);
    for (; i < count; ++i) sum += data[i];
    return sum;
}

std::uint64_t collapse_range(std::pair<std::uint64_t, std::uint64_t>& range) {
    range.second = range.first;
    return range.first;
}

int always_true() { return 1; }

int short_path_limit() { return 46; }
