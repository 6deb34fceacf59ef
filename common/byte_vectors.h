// Byte vectors and compact encodings: small operations on vectors of bytes and of 16-bit units, strings and
// string lists with a one- or two-byte length prefix, 7-bit varints in both byte orders, UTF-16 forms of
// text, and two measures for laying out text tables.
//
// Length prefix: a value below 128 is one byte; 128 to 32,767 is two bytes, 0x80 | high 7 bits, then the low
// 8 bits. Larger values cannot be encoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The vector holds `length` bytes copied from data (empty for a null pointer).
void construct_byte_vector(std::vector<unsigned char>& v, const unsigned char* data, std::size_t length);
void copy_byte_vector(std::vector<unsigned char>& v, const std::vector<unsigned char>& source);

// The vector holds the first 32, 20 or 16 bytes at data; a null pointer leaves it empty.
void assign_32_bytes(std::vector<unsigned char>& v, const unsigned char* data);
void assign_20_bytes(std::vector<unsigned char>& v, const unsigned char* data);
void assign_16_bytes(std::vector<unsigned char>& v, const unsigned char* data);

// The vector holds 32, 20, 16 or count zero bytes (count <= 0: empty).
void zero_bytes_32(std::vector<unsigned char>& v);
void zero_bytes_20(std::vector<unsigned char>& v);
void zero_bytes_16(std::vector<unsigned char>& v);
void zero_bytes(std::vector<unsigned char>& v, int count);
void construct_zero_bytes(std::vector<unsigned char>& v, std::size_t count);

// The vector holds count bytes copied from data; empty for a null pointer or count <= 0.
void assign_bytes(std::vector<unsigned char>& v, const unsigned char* data, int count);

// out holds the string's bytes. Returns out.
std::vector<unsigned char>& string_to_byte_vector(std::vector<unsigned char>& out, const std::string& text);

// Removes every byte equal to value; returns how many there were.
std::size_t remove_byte_value(std::vector<unsigned char>& v, unsigned char value);
void erase_byte_value(std::vector<unsigned char>& v, unsigned char value);

// Drop trailing zero elements. Always 1.
int trim_trailing_zero_bytes(std::vector<unsigned char>& v);
int trim_trailing_zero_units(std::vector<std::uint16_t>& v);

// Writes the length prefix and the bytes, appending or (append clear) into an emptied vector. 0 when the
// string is 32,768 bytes or longer; the vector is then emptied (unless appending) and nothing written.
int encode_counted_string(std::vector<unsigned char>& out, const std::string& text, bool append);

// Writes the entry-count prefix and each entry as a counted string. 0 when the list has 32,768 entries or
// more, or when any entry is too long to encode (a count that did not match its entries would corrupt the
// list); nothing is then written, and the vector is emptied unless appending.
int encode_counted_string_list(std::vector<unsigned char>& out, const std::vector<std::string>& list,
                               bool append);

// Reads a counted string list from at most `length` bytes at buf into out (emptied first). Returns the
// number of bytes consumed. A count larger than the bytes that follow yields an empty list and consumes only
// the prefix; an entry whose length passes the end stays empty and consumes only its prefix. Never reads past
// buf + length.
std::uint32_t decode_counted_string_list(std::vector<std::string>& out, const unsigned char* buf,
                                         std::uint32_t length);

// Reads a varint of at most 9 bytes and at most `length` bytes: of the first eight bytes only the low 7 bits
// count, a ninth counts whole. MSB-first puts the first group at the most significant end (the SQLite form);
// LSB-first at the least significant end, with a ninth byte's 8 bits at bits 56-63. A buffer that ends
// first ends the value. 1, or 0 with value 0 for a null buffer or length <= 0.
int decode_varint_msb_first(std::uint64_t& value, const unsigned char* buf, int length);
int decode_varint_lsb_first(std::uint64_t& value, const unsigned char* buf, int length);

// out becomes a UTF-16LE multi-string: each string's units and a NUL unit, then one more NUL unit when
// anything was written. Code points above U+FFFF become surrogate pairs; above U+10FFFF, U+FFFD.
void wstrings_to_utf16_multi_string(const std::vector<std::wstring>& strings,
                                    std::vector<unsigned char>& out);

// out becomes one unit per byte of the text (0-255), each LF as CR LF, and a zero unit at the end. Returns
// out.data(), or null (out empty) for a null or empty text. The string twin converts every byte of the
// string.
std::uint16_t* text_to_utf16_crlf(std::vector<std::uint16_t>& out, const char* text);
std::uint16_t* string_to_utf16_crlf(std::vector<std::uint16_t>& out, const std::string& text);

// The wide twins: one unit per character (a surrogate pair above U+FFFF, U+FFFD above U+10FFFF), LF as
// CR LF, and a zero unit at the end. Null (out empty) when nothing results.
std::uint16_t* wtext_to_utf16_crlf(std::vector<std::uint16_t>& out, const wchar_t* text);
std::uint16_t* wstring_to_utf16_crlf(std::vector<std::uint16_t>& out, const std::wstring& text);

// Inserts a backslash unit before every unit equal to a character of `chars`; returns how many.
std::size_t escape_utf16_units(std::vector<std::uint16_t>& units, const std::wstring& chars);

// lines = number of LFs + 1; longest = longest run between LFs (or before the first / after the last).
int count_lines(unsigned& lines, int& longest, const std::string& text);

// widths[j] becomes the longest cell at position j over all rows. 1 when at least one width results.
int column_widths_of_rows(std::vector<std::uint32_t>& widths,
                          const std::vector<std::vector<std::string>>& rows);

// Raises widths[j] to the length of row[j] capped at max_width, appending missing widths. 0 for an empty row.
int update_column_widths(std::vector<std::uint32_t>& widths, const std::vector<std::string>& row,
                         unsigned max_width);
