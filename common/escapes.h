// Conversions between bytes and their common text forms: percent escapes, IPv4/MAC/EUI-64 address
// text, byte runs as C array initialisers, Base64 decoding of a raw buffer, GUID text into 16 bytes,
// comparisons of 16-byte blocks and byte vectors, and a text cut out between two markers.
#ifndef SELK_COMMON_ESCAPES_H
#define SELK_COMMON_ESCAPES_H

#include <cstdint>
#include <string>
#include <vector>

#include "common/digest.h"

// Decodes %XX escapes. An escaped percent sign (%25) followed by two more characters collapses with
// them into one escape. A decoded character below 32 or above 127 stays escaped as written; one equal
// to `special` is written as `replacement`. A '%' with fewer than two characters after it is copied
// with the rest. 1 when the text held a '%' (out = the decoded text); else 0 with out empty.
int percent_decode(std::string& out, const std::string& text, int special, const std::string& replacement);

// Length 8: eight colon-separated hex pairs (EUI-64); 6: a MAC address; 4: dotted decimal IPv4.
// 1 for those lengths; otherwise (or for null bytes) out = "" and 0.
int format_address_bytes(const std::uint8_t* bytes, int length, std::string& out);

// The address's bytes from the most to the least significant as "%d.%d.%d.%d". Always 1.
int ipv4_to_string(std::uint32_t address, std::string& out);
int ipv4_to_wstring(std::uint32_t address, std::wstring& out);

// out = "const byte NAME[] = {0x01, 0xab};" on one line. 0 (out unchanged) for a null name or no bytes.
int bytes_to_c_array(const char* name, const std::vector<std::uint8_t>& bytes, std::string& out);

// Searches after the first `lead` marker (when given), then for `start_marker`; out = the text after
// the whole start marker up to the next `end_marker`, exclusive. 1 when found, else 0 with out empty.
int extract_between_markers(const char* text, const char* lead, const char* start_marker,
                            const char* end_marker, std::string& out);

// Decodes the Base64 characters (RFC 4648 alphabet and '=') of `size` bytes, stopping at a NUL; other
// bytes are skipped. A last incomplete group of 2 or 3 characters gives 1 or 2 bytes. out is replaced.
// 0 for a null input or size below 1, else 1.
int base64_decode_buffer(const std::uint8_t* in, int size, std::vector<std::uint8_t>& out);

// Reads a 32-digit GUID text without dashes into the block (GUID byte layout). Only a text of exactly 32
// characters is used: blanks are inserted into it after characters 8, 12 and 16 (the caller's text
// changes). Other texts leave the block unchanged.
void hex32_to_block(_16_byte_block& block, std::string& text);

// Reads GUID text of exactly 36 characters, 8-4-4-4-12 hex digits joined by dashes (no braces): the
// first three groups little-endian, the last two in text order. Any other length or form gives 0 and
// leaves the target unchanged.
int guid_string_to_bytes(const std::string& text, std::vector<std::uint8_t>& out);
int guid_string_to_block(const std::string& text, _16_byte_block& block);

bool blocks_equal(const _16_byte_block& a, const _16_byte_block& b);
bool blocks_differ(const _16_byte_block& a, const _16_byte_block& b);
// Same length and same bytes.
bool byte_vectors_equal(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);

#endif  // SELK_COMMON_ESCAPES_H
