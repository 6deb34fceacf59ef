// Parsers of one integer written as text (unsigned 32-bit with "0x", "x" and "o" prefixes and quoted
// characters; signed 32-bit; signed 64-bit), their fronts for the other string kinds, a formatter of
// number text into canonical decimal or hexadecimal, and a check of locale names.
// Parsers return 1 on success and 0 on failure; none reports overflow: the value is the C library
// conversion's result cut to the out-parameter's width. None reads past the end of its text.
#ifndef SELK_COMMON_INT_PARSERS_H
#define SELK_COMMON_INT_PARSERS_H

#include <cstdint>
#include <string>

// out = 0 first. The text, trimmed, is read as hexadecimal after "0x"-like prefixes (any first character
// and an 'x' second) or a leading 'x', octal after a leading 'o' (prefixes in either case), decimal when
// it starts with a sign or digit, or as the code of a character between single quotes ('A').
// Reading stops at the first non-digit; no digit gives 0 (success). Fails for null, empty or other text.
int cstr_to_uint(const char* text, std::uint32_t* out);
int string_to_uint(const std::string& text, std::uint32_t* out);
// The low byte of each character, then cstr_to_uint.
int wstring_to_uint(const std::wstring& text, std::uint32_t* out);
// The UTF-8 form, then cstr_to_uint.
int wide_cstr_to_uint(const wchar_t* text, std::uint32_t* out);

// Trimmed and lower-cased: hexadecimal after the first 'x' anywhere, else octal after the first 'o',
// else decimal when it starts with a sign or digit (low 32 bits). out untouched on failure.
int cstr_to_int(const char* text, std::int32_t* out);
int string_to_int(const std::string& text, std::int32_t* out);
int wide_cstr_to_int(const wchar_t* text, std::int32_t* out);
int wstring_to_int(const std::wstring& text, std::int32_t* out);

// Trims and lower-cases the caller's string, then reads it as cstr_to_int does, with the signed 64-bit
// conversion (saturating at the signed limits). Fails for empty or other text (out untouched).
int string_to_int64(std::string& text, std::int64_t* out);
// string_to_int64 on a copy; the value's bits as unsigned.
int cstr_to_uint64(const char* text, std::uint64_t* out);
// The low byte of each character, then string_to_int64.
int wstring_to_int64(const std::wstring& text, std::int64_t* out);

// out = the number text (cstr_to_u64) in decimal, or "0x" and lower-case hex zero-padded to `width`
// (0: 2, 4, 6 or 8 digits by magnitude); "NaN" when the text does not parse or has no digit to read
// (cstr_to_u64 takes "abc" as 0, but it is not a number). Returns out.
std::string& format_number_text(std::string& out, const std::string& number_text, bool hex, unsigned width);

// 1 when a standard locale of that name can be made, else 0.
int is_locale_name_valid(const char* name);

#endif  // SELK_COMMON_INT_PARSERS_H
