#include "common/digest.h"

#include <cstring>

#include "common/formatters.h"
#include "common/hex_text.h"

namespace {

// RFC 1321 additive constants, one per step.
const std::uint32_t kAdd[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

// Rotation amounts, four per round.
const unsigned kRotate[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

std::uint32_t rotl(std::uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

std::uint32_t load_le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void store_le32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

}  // namespace

_16_byte_block::_16_byte_block(const std::vector<unsigned char>& bytes) {
    if (bytes.size() >= 16) std::memcpy(m_halves, bytes.data(), 16);
}

void _16_byte_block::set(const unsigned char* bytes) {
    if (bytes) std::memcpy(m_halves, bytes, 16);
}

void _16_byte_block::assign(const unsigned char* bytes) {
    if (bytes)
        std::memcpy(m_halves, bytes, 16);
    else
        clear();
}

std::string _16_byte_block::to_string(bool hex) const {
    if (!hex) return guid_to_string(bytes());
    std::string out;
    bytes_to_hex(out, bytes(), 16, "", false);
    return out;
}

void digest16_init(digest16_context* ctx) {
    if (!ctx) return;
    ctx->bit_count[0] = ctx->bit_count[1] = 0;
    std::memset(ctx->buffer, 0, sizeof ctx->buffer);
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xefcdab89;
    ctx->state[2] = 0x98badcfe;
    ctx->state[3] = 0x10325476;
}

int digest16_reset(digest16_context* ctx) {
    if (!ctx) return 0;
    digest16_init(ctx);
    return 1;
}

void digest16_transform(std::uint32_t state[4], const unsigned char block[64]) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i) m[i] = load_le32(block + 4 * i);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (unsigned i = 0; i < 64; ++i) {
        const unsigned round = i / 16;
        std::uint32_t f;
        unsigned g;
        switch (round) {
            case 0:
                f = (b & c) | (~b & d);
                g = i;
                break;
            case 1:
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
                break;
            case 2:
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
                break;
            default:
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
                break;
        }
        const std::uint32_t next_d = c;
        const std::uint32_t next_b = b + rotl(a + f + kAdd[i] + m[g], kRotate[round][i % 4]);
        a = d;
        d = next_d;
        c = b;
        b = next_b;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

int digest16_update(digest16_context* ctx, const void* data, std::uint32_t length) {
    if (!ctx || !data || length == 0) return 0;
    const unsigned char* in = static_cast<const unsigned char*>(data);
    std::uint32_t index = (ctx->bit_count[0] >> 3) & 63;
    const std::uint32_t low_before = ctx->bit_count[0];
    ctx->bit_count[0] += length << 3;
    if (ctx->bit_count[0] < low_before) ++ctx->bit_count[1];
    ctx->bit_count[1] += length >> 29;

    const std::uint32_t part = 64 - index;
    std::uint32_t pos = 0;
    if (length >= part) {
        std::memcpy(ctx->buffer + index, in, part);
        digest16_transform(ctx->state, ctx->buffer);
        // Whole blocks go straight from the caller's bytes; start + 63 < length, written without overflow.
        for (pos = part; length - pos >= 64; pos += 64) digest16_transform(ctx->state, in + pos);
        index = 0;
    }
    std::memcpy(ctx->buffer + index, in + pos, length - pos);
    return 1;
}

int digest16_final(unsigned char* out, digest16_context* ctx) {
    if (!ctx || !out) return 0;
    static const unsigned char kPadding[64] = {0x80};
    unsigned char count[8];
    store_le32(count, ctx->bit_count[0]);
    store_le32(count + 4, ctx->bit_count[1]);
    const std::uint32_t index = (ctx->bit_count[0] >> 3) & 63;
    const std::uint32_t pad = index < 56 ? 56 - index : 120 - index;
    digest16_update(ctx, kPadding, pad);
    digest16_update(ctx, count, 8);
    for (int i = 0; i < 4; ++i) store_le32(out + 4 * i, ctx->state[i]);
    digest16_init(ctx);
    return 1;
}

int compute_digest16(const void* text, std::uint32_t length, _16_byte_block& out) {
    digest16_context ctx;
    digest16_init(&ctx);
    if (!digest16_update(&ctx, text, length)) return 0;
    unsigned char bytes[16];
    digest16_final(bytes, &ctx);
    out.set(bytes);
    return 1;
}
