// Tests and searches over byte runs and short texts: first difference, orderings of 16-byte blocks and
// byte vectors, all-empty and all-zero tests, pattern positions, Base64 and hex character tests, a
// letter-nibble text form of up to 15 bytes, and lists of names built from codes. Nothing here reads past
// the length it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/digest.h"

// ---- Byte runs ----

// The index of the first byte that differs; all ones when the runs are equal; 0 for a null pointer or a
// count of 0 (the same as a difference at byte 0).
std::uint64_t first_difference(const unsigned char* a, const unsigned char* b, std::uint64_t count);
// 1 when a sorts before b, comparing bytes 0 to 15 as unsigned bytes; 0 when equal or after.
int block_less(const _16_byte_block& a, const _16_byte_block& b);
// The same over the common length only: a vector that is a prefix of the other is not less.
int byte_vector_less(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b);
// 1 when every string is empty (also for no strings).
int all_strings_empty(const std::vector<std::string>& strings);
// 1 for an empty vector or one whose bytes are all 0.
int is_all_zero(const std::vector<unsigned char>& bytes);
// offset = 0; when the pattern's bytes occur in the vector, offset = base + the first position and 1.
// 0 for an empty pattern or vector.
int find_bytes_offset(std::uint64_t& offset, const std::vector<unsigned char>& bytes,
                      const std::string& pattern, std::uint64_t base);
// 1 when the first pattern (if not empty) occurs and the second (if not empty) occurs after the end of
// that first occurrence (anywhere when the first is empty). 0 when both are empty, the vector is empty or
// shorter than either pattern.
int contains_in_order(const std::vector<unsigned char>& bytes, const std::vector<unsigned char>& first,
                      const std::vector<unsigned char>& second);

// ---- Positions in text ----

// pos = the first occurrence of pattern in text from start; 1 with pos moved past it, or 0 (pos = npos).
// 0 for an empty pattern.
int find_past(std::size_t& pos, const std::string& text, std::size_t start, const std::string& pattern);
// pos = the first occurrence from start; 1 when found, 0 (pos = npos) when not, and for a null or empty
// pattern.
int find_from(std::size_t& pos, const std::string& text, std::size_t start, const char* pattern);
int find_from_wide(std::size_t& pos, const std::wstring& text, std::size_t start, const wchar_t* pattern);

// ---- Base64, hex and letter forms ----

// 'A'-'Z' 0-25, 'a'-'z' 26-51, '0'-'9' 52-61, '+' 62, anything else 63.
int base64_digit_value(int c);
// 0 for a null pointer or a length below 4. With r = length mod 3: r 2 needs a last '='; r 1 with a last
// character other than '=' needs '=' before it. With check_characters the first length - r characters must
// be letters, digits, '+' or '/'. Else 1. Reads `length` characters.
int looks_like_base64(const char* text, int length, bool check_characters);
// 1 for '0'-'9', 'a'-'f', 'A'-'F' in the low byte of c.
int is_hex_digit(int c);
// Each of `count` bytes becomes 'A' + high nibble, 'A' + low nibble; the pair "CA" fills up to position 30;
// positions 30 and 31 hold the tag in the same form. No terminator. 0 (out unchanged) when count is above
// 15, negative, or not 0 with a null pointer; else 1.
int bytes_to_letter_nibbles(const unsigned char* data, int count, unsigned char tag, char (&out)[32]);
// The inverse: out = the fifteen bytes of the first 30 letters (filler pairs included), tag from the
// last two. 0 (outputs unchanged) for a text shorter than 32 characters; else 1.
int letter_nibbles_to_bytes(const std::string& text, std::string& out, unsigned char& tag);

// ---- Names from codes ----

// Gives the name of one code.
using code_name_fn = std::function<std::string(std::uint64_t code)>;

// The names of codes joined in the style of the flags (kWords* in common/text_builders.h). The low four
// bits give the number of codes, each of which must be non-zero; when they are 0, the count is the number of
// leading non-zero codes, which must be 1 to 10. Never reads more than `available` codes: a count beyond
// them fails. On failure (also a null callback or codes) out is left empty and 0 is returned; else 1.
int codes_to_names(std::string& out, std::uint32_t flags, const code_name_fn& name_of,
                   const std::uint64_t* codes, std::size_t available);
// The same into a string stream, which is emptied first unless flag 0x400000 is set.
int codes_to_names_stream(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                          const std::uint64_t* codes, std::size_t available);
constexpr std::uint32_t kNamesKeepStream = 0x400000;
// Empty the stream; 0 at once when any code is 0; else codes_to_names_stream with flags | the count.
int codes_to_names_2(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                     std::uint64_t c1, std::uint64_t c2);
int codes_to_names_3(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                     std::uint64_t c1, std::uint64_t c2, std::uint64_t c3);
int codes_to_names_4(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                     std::uint64_t c1, std::uint64_t c2, std::uint64_t c3, std::uint64_t c4);
int codes_to_names_5(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                     std::uint64_t c1, std::uint64_t c2, std::uint64_t c3, std::uint64_t c4,
                     std::uint64_t c5);
int codes_to_names_6(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                     std::uint64_t c1, std::uint64_t c2, std::uint64_t c3, std::uint64_t c4, std::uint64_t c5,
                     std::uint64_t c6);
int codes_to_names_7(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                     std::uint64_t c1, std::uint64_t c2, std::uint64_t c3, std::uint64_t c4, std::uint64_t c5,
                     std::uint64_t c6, std::uint64_t c7);
