// Character replacement and small value-to-text formatters: GUID text, decimal text of integers, and printf
// formatting into a NUL-terminated UTF-16 buffer with CR LF line ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Replaces every `from` in text by `to`. With nocase both the lower- and upper-case forms of `from` are
// replaced. Nothing changes when from == to (compared as passed, before folding).
void replace_char(std::string& text, char from, char to, bool nocase);

// Sets every element of the first `length` that equals `from` (with nocase: whose lower-case form equals
// that of `from`) to `to`. Nothing for a null buffer or length < 1.
void replace_byte_in_buffer(unsigned char* buf, int length, unsigned char from, unsigned char to,
                            bool nocase);
void replace_wchar_in_buffer(wchar_t* buf, int length, wchar_t from, wchar_t to, bool nocase);

// The GUID at `guid` (16 bytes in memory order) as "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x": the
// first three fields little-endian numbers, the last eight bytes in order. Empty text for a null pointer.
std::string guid_to_string(const unsigned char* guid);

// out becomes guid_to_string(guid); 0 and an empty out for a null pointer, else 1.
int guid_ptr_to_string(std::string& out, const unsigned char* guid);

// Writes the GUID text into dest (NUL-terminated). With size >= 42 it is followed by a blank and four tag
// characters from the GUID's first four bytes ('0'..'z' as themselves, any other byte '.'). 0 for a null
// destination or GUID, or a size below 37; else 1.
int guid_to_cstr_with_tag(char* dest, std::size_t size, const unsigned char* guid);

// out becomes the decimal text of value. Always 1.
int int_to_string(std::int32_t value, std::string& out);
int u64_to_string(std::uint64_t value, std::string& out);

// out becomes the printf-formatted text as one unit per byte, each LF as CR LF, ended by a zero unit.
// Returns out.data(), or null (out empty) for a null format, an empty result or a formatting error.
std::uint16_t* format_utf16_crlf(std::vector<std::uint16_t>& out, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
