// Conversions between UTF-8 (std::string or byte vectors), wide text (std::wstring, one code point per
// 4-byte character), UTF-16 (16-bit unit vectors, or bytes holding the units little-endian) and code
// point vectors; byte-order marks.
// Decoders are strict: a malformed sequence fails the conversion (0) and keeps what was decoded before
// it. Encoders are plain: no normalisation, no replacement characters. Nothing reads past the end of its
// input, whatever the input holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---- Decoding UTF-8 ----

// 0 for empty input (out untouched). Else clears out and decodes; 0 at the first malformed sequence with
// the characters decoded so far left in out; else 1. Overlong forms, surrogates and values up to
// 0x1FFFFF are not rejected: they decode to what their bits give.
int utf8_decode(std::wstring& out, const std::string& in);
// Clears out; 0 for empty input; else utf8_decode.
int utf8_to_wide(std::wstring& out, const std::string& in);
// The decoded string; empty for empty or malformed input.
std::wstring utf8_to_wstring(const std::string& in);
// 0 for an empty vector; else the bytes decoded as by utf8_decode.
int utf8_bytes_to_wide(std::wstring& out, const std::vector<std::uint8_t>& in);
// Decoded bytes, or an empty string on failure.
std::wstring utf8_bytes_to_wstring(const std::vector<std::uint8_t>& in);
// Decodes into code points; 0 on empty or malformed input (decoded prefix kept).
int utf8_to_ucs4(std::vector<std::uint32_t>& out, const std::string& in);
// Number of code points when the whole string is well-formed, else 0 (also for empty input).
std::uint32_t utf8_length(const std::string& in);

// ---- Encoding UTF-8 ----

// Clears out and encodes every character; a character of 0x110000 or more (or negative) ends the
// conversion there. The result is 0 in every case: callers use out.
int wide_to_utf8(std::string& out, const std::wstring& in);
// The UTF-8 text of in (empty for empty input).
std::string wstring_to_utf8(const std::wstring& in);
// Clears out and encodes; a code point of 0x110000 or more ends the conversion. Always 0.
int ucs4_to_utf8(std::string& out, const std::vector<std::uint32_t>& in);
// Clears out; 0 for empty input; else out holds the UTF-8 bytes followed by one zero byte (so its data
// can serve as a C path) and the result is 1.
int wide_to_utf8_bytes(std::vector<std::uint8_t>& out, const std::wstring& in);
// ISO-8859-1 to UTF-8. Clears out; 0 for empty input, else 1.
int latin1_string_to_utf8(std::string& out, const std::string& in);

// ---- UTF-16 ----

// Converts byte_count / 2 host-order units at `units` to UTF-8. byte_count < 2 (or a null pointer)
// returns 0 with out untouched. A high surrogate must be followed by a low one, else 0 (the text before
// it stays in out); a lone low surrogate is encoded like any other unit. Otherwise 1.
int utf16_units_to_utf8(std::string& out, const std::uint16_t* units, std::int32_t byte_count);
// The same over bytes holding UTF-16LE (an odd last byte is ignored); under 2 bytes gives 0.
int utf16_string_to_utf8(std::string& out, const std::string& in);
int utf16_vector_to_utf8(std::string& out, const std::vector<std::uint8_t>& in);
// UTF-16LE bytes to wide text; 1 when the result is non-empty.
int utf16_bytes_to_wide(std::wstring& out, const std::vector<std::uint8_t>& in);
// UTF-16LE bytes to UTF-8 bytes; 0 when the conversion failed.
int utf16_bytes_to_utf8_bytes(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& in);
// UTF-16LE bytes to UTF-8; empty for fewer than 2 bytes or a failed conversion.
std::string utf16_bytes_to_utf8(const std::vector<std::uint8_t>& in);
// Units to code points; 0 for empty input or a high surrogate without a following low one (decoded
// prefix kept). A lone low surrogate is taken unchanged.
int utf16_to_ucs4(std::vector<std::uint32_t>& out, const std::vector<std::uint16_t>& in);
// The same over UTF-16LE bytes; 0 for an empty or odd-length vector.
int utf16le_bytes_to_ucs4(std::vector<std::uint32_t>& out, const std::vector<std::uint8_t>& in);
// Code points to units (surrogate pairs above 0xFFFF). 0 for empty input, and at a surrogate code point
// or one of 0x110000 and above (units produced so far stay); else 1.
int ucs4_to_utf16(std::vector<std::uint16_t>& out, const std::vector<std::uint32_t>& in);
// UTF-8 to UTF-16 units through code points.
int utf8_to_utf16(std::vector<std::uint16_t>& out, const std::string& in);
// 0 for an empty vector or bytes that are not valid UTF-8; else utf8_to_utf16.
int utf8_bytes_to_utf16(std::vector<std::uint16_t>& out, const std::vector<std::uint8_t>& in);
// out = count / 2 units read little-endian (an odd last byte is ignored). A null pointer or count 0
// leaves out untouched. Always 0: callers use out.
int bytes_to_utf16_units(std::vector<std::uint16_t>& out, const std::uint8_t* bytes, std::uint32_t count);
// Clears out, then as above over the vector. Always 0.
int bytes_to_utf16_units(std::vector<std::uint16_t>& out, const std::vector<std::uint8_t>& in);
// One unit per character: its low 16 bits (no surrogate pairs).
std::vector<std::uint16_t> wstring_to_utf16_units(const std::wstring& in);
// Each unit widened to one character (no surrogate decoding).
std::wstring utf16_units_to_wstring(const std::vector<std::uint16_t>& in);

// ---- Bytes and strings ----

// 0 for an empty string; else out holds its bytes and the result is 1.
int string_to_bytes(std::vector<std::uint8_t>& out, const std::string& in);
std::string bytes_to_string(const std::vector<std::uint8_t>& in);

// ---- Lists ----

// Clears out; 0 for an empty input; else each element converted (a malformed one contributes its
// decoded prefix) and appended in order; 1.
int utf8_list_to_wide(std::vector<std::wstring>& out, const std::vector<std::string>& in);
int wide_list_to_utf8(std::vector<std::string>& out, const std::vector<std::wstring>& in);

// ---- Byte-order marks ----
// Appenders add the mark to the end of v and return v. Tests return 1 when the first bytes of the
// buffer are the mark; a null buffer or one shorter than the mark gives 0 (nothing is read past len).

std::vector<std::uint8_t>& append_bom_utf8(std::vector<std::uint8_t>& v);
std::vector<std::uint8_t>& append_bom_utf16le(std::vector<std::uint8_t>& v);
std::vector<std::uint8_t>& append_bom_utf16be(std::vector<std::uint8_t>& v);
std::vector<std::uint8_t>& append_bom_utf32le(std::vector<std::uint8_t>& v);
std::vector<std::uint8_t>& append_bom_utf32be(std::vector<std::uint8_t>& v);
std::vector<std::uint8_t>& append_bom_utf7(std::vector<std::uint8_t>& v);
std::vector<std::uint8_t>& append_bom_utf_ebcdic(std::vector<std::uint8_t>& v);
std::vector<std::uint8_t>& append_bom_scsu(std::vector<std::uint8_t>& v);
std::vector<std::uint8_t>& append_bom_bocu1(std::vector<std::uint8_t>& v);

int is_bom_utf8(const std::uint8_t* buf, std::size_t len);
int is_bom_utf16le(const std::uint8_t* buf, std::size_t len);
int is_bom_utf16be(const std::uint8_t* buf, std::size_t len);
int is_bom_utf32le(const std::uint8_t* buf, std::size_t len);
int is_bom_utf32be(const std::uint8_t* buf, std::size_t len);
int is_bom_utf7(const std::uint8_t* buf, std::size_t len);
int is_bom_utf_ebcdic(const std::uint8_t* buf, std::size_t len);
int is_bom_scsu(const std::uint8_t* buf, std::size_t len);
int is_bom_bocu1(const std::uint8_t* buf, std::size_t len);

// ---- Operations that only empty their outputs ----

// Empties the map and returns 0; the further values are not consulted.
template <class Map, class A, class B, class C, class D>
int clear_map_header(Map& m, const A&, const B&, const C&, const D&) {
    m.clear();
    return 0;
}
template <class Map>
int clear_map_header(Map& m) {
    m.clear();
    return 0;
}
// Empties both vectors and returns 0, whatever the text.
template <class T>
int clear_two_lists(std::vector<std::string>& a, std::vector<T>& b, const std::string& /*text*/) {
    a.clear();
    b.clear();
    return 0;
}
