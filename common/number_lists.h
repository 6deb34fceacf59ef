// Parsers that turn one line of text into several numbers: delimited lists of bytes, 64-bit values
// and ranges, 16-byte values (GUID text, 32 hex digits or 16 blank-separated bytes), hexadecimal dump
// text, MAC-style byte lists, dotted-quad (IPv4) and IPv6 text. None reads past the end of its text.
#ifndef SELK_COMMON_NUMBER_LISTS_H
#define SELK_COMMON_NUMBER_LISTS_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/digest.h"

// out = one byte per field of text split at `delim` (trimmed, empty fields dropped): with `hex` read in
// base 16 ("0x" allowed), else with cstr_to_int; the low 8 bits; 0 for a field that does not parse.
std::vector<std::uint8_t>& parse_byte_list(std::vector<std::uint8_t>& out, const std::string& text,
                                           char delim, bool hex);

// Fills the 16-byte value from GUID text (when the text holds '-'), 32 hex digits, or 47 characters of
// 16 blank-separated hex bytes. Any other text (or one that does not read whole) leaves it unchanged.
void parse_16_bytes(_16_byte_block& out, const std::string& text);

// out cleared; the first of `candidates` that occurs splits the text (else one field); each field that
// cstr_to_u64 reads is appended. Returns the delimiter used, 0 when none (also for empty text).
char parse_u64_list(std::vector<std::uint64_t>& out, const std::string& text, bool trim, bool keep_empty,
                    const std::string& candidates);

// out cleared; each field (split at delim, trimmed) gives one (low, high) pair: "a<range>b", or a lone
// value as low = high; a side that does not parse is 0. 0 for empty text, else 1.
int parse_range_list(std::vector<std::pair<std::uint64_t, std::uint64_t>>& out, const std::string& text,
                     char delim, char range_char);

// out cleared; white-space tokens (double-quoted runs kept together) read with string_to_int64.
// 1 when out holds a value.
int parse_int64_tokens(const std::string& text, std::vector<std::int64_t>& out);
// A blank delimiter is parse_int64_tokens; otherwise fields split at delim, trimmed and read with
// string_to_int64 are appended (out not cleared). 1 when out holds a value.
int parse_int64_list(const std::string& text, std::vector<std::int64_t>& out, char delim);

// Reads the bytes of hexadecimal view text (offset, two blanks, hex bytes, two blanks, characters):
// the byte column found in the first line is cut from every line; its two-digit hex tokens become
// bytes. 1 when out holds a byte; 0 for empty text or a first line without the column.
int parse_hex_dump_text(std::vector<std::uint8_t>& out, const std::string& text);

// out = every two characters read as one hex byte (first pair first), a last single character alone;
// a pair that is not hex gives 0. Returns out.
std::vector<std::uint8_t>& hex_string_to_bytes(std::vector<std::uint8_t>& out, const std::string& text);

// MAC-style or dotted byte lists ("de:ad:be:ef", "10.20.30.40", "01-02"): the delimiter is '.', else
// ':', else '-'; fields hold hex when any holds a letter a-f (unless the first starts like "x1f"/"0x1f");
// each read with cstr_to_uint, its low byte kept. 0 for text of 81 characters or more, no delimiter,
// no field or a field that does not parse.
int parse_separated_bytes(const char* text, std::vector<std::uint8_t>& out);
// parse_separated_bytes; 1 (bytes copied to buf) only when exactly `count` bytes result.
int parse_separated_bytes_fixed(const char* text, std::uint8_t* buf, int count);
int parse_separated_bytes_fixed_wide(const wchar_t* text, std::uint8_t* buf, int count);

// Hex bytes split at the first of blank, ',', ':' and '-' that occurs; without any, a text of 2
// characters or one holding 'x' and shorter than 5 is one field, and other text fails (out unchanged).
// Each field (the text after its 'x' when it has one) is read in base 16, its low byte kept.
// 1 when out holds a byte.
int parse_hex_byte_list(const std::string& text, std::vector<std::uint8_t>& out);
// A blank after every second character, then parse_hex_byte_list.
int hex_digits_to_bytes(const std::string& text, std::vector<std::uint8_t>& out);

// Four fields split at '.', ':' or '-', each read with cstr_to_uint and added at 24, 16, 8 and 0 bits
// (unmasked); with swap the four bytes are reversed. 0 (out 0) on any failure.
int dotted_quad_to_u32(const char* text, std::uint32_t* out, bool swap);

// IPv6 text to bytes, "::" widened to the missing groups; each group (empty = 0) gives two bytes, high
// first. Empty text gives 16 zero bytes. 1 when a group was read.
int ipv6_text_to_bytes(const std::string& text, std::vector<std::uint8_t>& out);

#endif  // SELK_COMMON_NUMBER_LISTS_H
