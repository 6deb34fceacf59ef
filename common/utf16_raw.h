// NUL-terminated UTF-16LE text read out of raw record data: one string (wide or UTF-8), the bytes it
// occupied, and runs of several NUL-separated strings. `units` points at little-endian 16-bit units
// as stored (any alignment); `length` is in bytes, and -1 means unknown: then at most 500 units are
// read, so the caller must hold that many. Nothing is read past `length` when it is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Clears out; reads units up to the first 0 unit or the limit (length / 2, or 500 for -1) and
// decodes them; text that does not decode is taken one unit per character. Returns the units read
// times 2; 0 for null units or a zero (or negative, other than -1) length.
int utf16_cstr_to_wstring(const void* units, std::wstring& out, int length);

// As utf16_cstr_to_wstring, into UTF-8. With count_terminator the result grows by 2 for the
// terminator when that still lies within `length` (never for -1).
int utf16_cstr_to_utf8(const void* units, std::string& out, int length, bool count_terminator);

// The UTF-8 text (length -1, terminator counted).
std::string utf16_cstr_to_utf8_string(const void* units);
// out filled as by utf16_cstr_to_utf8 (length -1, terminator counted); returns out.
std::string& utf16_cstr_to_utf8_into(const void* units, std::string& out);
// out as UTF-8 and *bytes as utf16_cstr_to_wstring returns it.
void utf16_cstr_to_utf8_counted(const void* units, std::string& out, std::uint32_t* bytes, int length);

// Splits the text (read with length -1) into folder and name; 0 for null units.
int split_utf16_path(const void* units, std::wstring& folder, std::wstring& name);

// Every non-empty NUL-separated run of length / 2 units that decodes, in order. Returns the bytes
// walked (length rounded down to even); 0 for null units or a length of 0 or less.
int utf16_multi_string_to_wstrings(const void* units, std::vector<std::wstring>& out, int length);
