// Binary values met in Windows artefacts as text and numbers: GUIDs in four text styles, security
// identifiers, IPv6 addresses, strings with a one- or two-byte length prefix, byte order swaps, 64-bit
// halves and little-endian numbers from byte runs. Nothing here reads past the length it is given.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A GUID as Windows declares it: a 32-bit field, two 16-bit fields and eight bytes.
struct guid_fields {
    std::uint32_t data1 = 0;     // first field
    std::uint16_t data2 = 0;     // second field
    std::uint16_t data3 = 0;     // third field
    std::uint8_t data4[8] = {};  // last eight bytes, in order
};

// ---- Identifiers as text (lower-case, zero-filled hex) ----

// The GUID whose 16 bytes are `first` then `second`, each as a little-endian 64-bit value in memory:
// style 1 "0x%08x, 0x%04x, 0x%04x" then ", 0x%02x" per last byte; style 2 the 16 bytes as two digits
// separated by blanks; style 3 the 16 bytes as "0x%02x" separated by ", "; style 0 and any other the
// 8-4-4-4-12 form (first three fields little-endian). Returns 1.
int guid_to_text_style(std::string& out, std::uint64_t first, std::uint64_t second, int style);
// Style 1 of a GUID held in fields; the second form appends ", " and the number in decimal. Return 1.
int guid_to_initializer(std::string& out, const guid_fields& guid);
int guid_to_initializer_with_number(std::string& out, const guid_fields& guid, std::uint16_t number);
void set_guid_word2(guid_fields& guid, std::uint16_t number);
void set_guid_word3(guid_fields& guid, std::uint16_t number);

// out = "S-" revision (byte 0) "-" the authority's last byte (byte 7), then "-" and each sub-authority
// (little-endian 32-bit values from byte 8; byte 1 counts them). out is emptied first. 0 for a null
// pointer, a length below 12 or below 8 + 4 x count; else 1. Reads at most `length` bytes.
int sid_to_text(std::string& out, const unsigned char* sid, std::uint32_t length);
// As sid_to_text, but 0 also unless length is exactly 8 + 4 x count.
int sid_to_text_strict(std::string& out, const unsigned char* sid, std::uint32_t length);
// The text of sid_to_text, empty on failure.
std::string sid_text(const unsigned char* sid, std::uint32_t length);

// length / 2 big-endian units in lower-case hex without leading zeros, separated by ':'; the first run of
// zero units becomes "::" and later zero units "0". out is replaced. 0 (out unchanged) for a null pointer
// or a length of 0; else 1. Reads `length` rounded down to even bytes.
int ipv6_to_text(const std::uint16_t* units, std::uint32_t length, std::string& out);

// ---- Length-prefixed strings ----

// A first byte below 128 is the length (one-byte header); from 128 the length is
// ((first & 127) << 8) + second byte (two-byte header). out = the length bytes after the header, emptied
// first. Returns the bytes consumed: header + length; only the header (out empty) when no byte follows it
// or the length passes `available`; 0 for a null pointer, nothing available or a two-byte header cut off.
std::uint32_t read_prefixed_string(std::string& out, const unsigned char* data, std::uint32_t available);
std::uint32_t read_prefixed_string_vector(std::string& out, const std::vector<unsigned char>& data);

// ---- Byte order and numbers ----

std::uint16_t swap16(std::uint16_t value);
std::uint32_t swap32(std::uint32_t value);
std::uint64_t swap64(std::uint64_t value);
// out = swap32(value). Returns 1.
int swap32_to(std::uint32_t value, std::uint32_t& out);
// The 32-bit halves of value.
void split_u64(std::uint64_t value, std::uint32_t& high, std::uint32_t& low);
// out = high << 32 | low; returns it.
std::uint64_t join_u64(std::uint32_t high, std::uint32_t low, std::uint64_t& out);
// The first min(count, 8) bytes as a little-endian number; 0 for a null pointer or count <= 0.
std::uint64_t le_bytes_to_u64(const unsigned char* data, int count);
std::uint64_t le_vector_to_u64(const std::vector<unsigned char>& data);
// The sum modulo 2^64 of the whole little-endian 8-byte words, plus each remaining byte as a number.
// 0 for a null pointer or count 0.
std::uint64_t sum_u64_words(const unsigned char* data, std::uint32_t count);
// Sets the second value to the first; returns the first.
std::uint64_t collapse_range(std::pair<std::uint64_t, std::uint64_t>& range);
// Always 1.
int always_true();
// 46: from this path length on the path normalisers treat a path as long.
int short_path_limit();
