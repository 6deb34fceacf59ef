// The library's one message digest: 16 bytes computed with the MD5 algorithm (RFC 1321), and the 16-byte
// value type that carries digests and GUIDs. Digests are compared as their GUID-form text, so every digest in
// the system is produced and rendered here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Running state of one digest. Belongs to one caller.
struct digest16_context {
    std::uint32_t state[4];      // chaining words
    std::uint32_t bit_count[2];  // message bits absorbed so far, modulo 2^64, low word first
    unsigned char buffer[64];    // partial block not yet compressed
};

// 16 raw bytes held as two 64-bit halves (bytes 0-7, bytes 8-15, each in memory order).
class _16_byte_block {
  public:
    _16_byte_block() = default;
    // Copies the first 16 bytes of a vector holding at least 16; a shorter vector gives all zero bytes.
    explicit _16_byte_block(const std::vector<unsigned char>& bytes);

    void clear() { m_halves[0] = m_halves[1] = 0; }
    void set(const _16_byte_block& other) { *this = other; }
    // Copies the 16 bytes at `bytes` as they stand; nothing for a null pointer.
    void set(const unsigned char* bytes);
    // Copies the 16 bytes at `bytes`; a null pointer sets the block to zero.
    void assign(const unsigned char* bytes);

    // The 16 bytes in memory order.
    const unsigned char* bytes() const { return reinterpret_cast<const unsigned char*>(m_halves); }

    // hex: 32 lower-case hex digits, bytes 0..15 in order. Else the GUID text (lower case, 8-4-4-4-12, first
    // three groups little-endian), the form every digest comparison uses.
    std::string to_string(bool hex) const;

  private:
    std::uint64_t m_halves[2] = {0, 0};
};

// Starts a digest: bit count 0, empty buffer, the RFC 1321 initial chaining values. Nothing for null.
void digest16_init(digest16_context* ctx);
// digest16_init; 0 for a null context, else 1.
int digest16_reset(digest16_context* ctx);
// Absorbs `length` bytes. 0 (nothing changed) for a null context, null data or length 0; else 1.
int digest16_update(digest16_context* ctx, const void* data, std::uint32_t length);
// Pads, writes the 16 digest bytes to out and re-initialises the context. 0 (nothing changed) for a null
// context or output; else 1.
int digest16_final(unsigned char* out, digest16_context* ctx);
// Compresses one 64-byte block into the four chaining words.
void digest16_transform(std::uint32_t state[4], const unsigned char block[64]);

// One-shot digest of `length` bytes at text. 0 for null text or length 0, leaving out as it was; else 1.
int compute_digest16(const void* text, std::uint32_t length, _16_byte_block& out);
