// Column values of SQLite rows turned into typed record fields, with fixed rules for NULL and empty
// values, and two generic row callbacks for sqlite3_exec.
//
// A column reaches these functions either as a C text that is null for an SQL NULL (sqlite3_exec) or as
// bytes with a length (a prepared statement). Every function writes into the caller's out-parameter and
// returns it; none reports failure. Null, empty and unparsable values all end as the empty value of their
// type, so a caller cannot tell "NULL" from "empty" from "0" afterwards. Nothing here reads past the
// length it is given, and nothing keeps a reference to a value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/digest.h"
#include "common/text_runs.h"

// ---------------------------------------------------------------- values from text

// out = the whole C text; empty for null or empty.
std::string& column_to_string(std::string& out, const char* value);
// out = a copy of value (also when empty).
std::string& assign_text(std::string& out, const std::string& value);
// out = cstr_to_u64 of the text: blanks skipped, "0x"/"x" hexadecimal, "o" octal, else decimal; 0 for
// null, empty or unparsable text.
std::uint64_t& column_to_u64(std::uint64_t& out, const char* value);
// out = cstr_to_uint64 of the text: "x" hexadecimal, "o" octal, else signed decimal (its bits as unsigned).
std::uint64_t& column_to_u64_signed(std::uint64_t& out, const char* value);
// out = string_to_u64 of the string.
std::uint64_t& string_value_to_u64(std::uint64_t& out, const std::string& value);
// out = the low 8 bits of cstr_to_uint of the text.
std::uint8_t& column_to_u8(std::uint8_t& out, const char* value);
// out = cstr_to_int of the text, as unsigned 32-bit.
std::uint32_t& column_to_u32(std::uint32_t& out, const char* value);
// out = string_to_int of the string, as unsigned 32-bit.
std::uint32_t& string_value_to_u32(std::uint32_t& out, const std::string& value);
// out = strtod of the string; 0.0 for an empty string.
double& string_value_to_double(double& out, const std::string& value);
// out = every byte of the string.
std::vector<std::uint8_t>& text_to_bytes(std::vector<std::uint8_t>& out, const std::string& value);
// out = the bytes of the C text up to its terminating zero; empty for null.
std::vector<std::uint8_t>& cstr_to_bytes(std::vector<std::uint8_t>& out, const char* value);

// ---------------------------------------------------------------- GUID values

// out = the 16 bytes at `bytes` as they stand (no byte-order change); zero for null. The caller
// guarantees at least 16 readable bytes.
_16_byte_block& guid_from_blob(_16_byte_block& out, const void* bytes);
// out = zero for "null", for an empty string and for 1 to 15 bytes; else the string's first 16 bytes.
_16_byte_block& guid_from_text(_16_byte_block& out, const std::string& value);

// ---------------------------------------------------------------- text from bytes

// Cleans a column for a one-line report field. Byte by byte up to `length`: with stop_at_nul a zero byte
// sets stopped_at_nul and ends the text; with drop_line_breaks CR and LF are dropped and start a run in
// which blanks are dropped when drop_tabs is set; with drop_tabs tabs are dropped; every other byte is
// appended unchanged (zero bytes too when stop_at_nul is clear). Empty for null or length 0.
std::string& column_bytes_to_text(std::string& out, bool& stopped_at_nul, const void* bytes,
                                  std::uint32_t length, bool drop_line_breaks, bool drop_tabs,
                                  bool stop_at_nul);
// The same text handed to `out` in pieces, each a run of the kept bytes where they stand (nothing copied);
// how many bytes it handed on.
std::size_t column_bytes_to_pieces(text_sink& out, bool& stopped_at_nul, const void* bytes,
                                   std::uint32_t length, bool drop_line_breaks, bool drop_tabs,
                                   bool stop_at_nul);
// A blob as readable text: 16 bytes as GUID text; otherwise the bytes with CR/LF, tabs and blanks after a
// line break dropped, ending at a zero byte (stopped_at_nul set); any other control byte turns the whole
// blob into hex pairs joined by "-".
std::string& blob_to_display_text(std::string& out, bool& stopped_at_nul, const void* bytes,
                                  std::uint32_t length);
// A blob shown byte by byte: with as_hex two hex digits and a blank per byte (no trailing blank); without,
// bytes below 32 as "\xNN" and others unchanged. Zero bytes set stopped_at_nul. 16 bytes give GUID text.
// A length of 0xFFFFFFFF asks for a preview of a zero-terminated text: its first byte (1 to 8, else 6)
// gives the byte count, shown as hex followed by "..."; the count never passes the text's end.
std::string& blob_to_display_text_ex(std::string& out, bool& stopped_at_nul, const void* bytes,
                                     std::uint32_t length, bool as_hex);
// A text column that may be UTF-16LE: with may_be_utf16, length >= 3, a non-zero first byte and a zero
// second byte, the bytes are converted from UTF-16LE; otherwise they are copied up to `length` or the first
// zero byte. Empty for null, length 0 or a zero first byte.
std::string& column_text_maybe_utf16(std::string& out, const void* bytes, std::uint32_t length,
                                     bool may_be_utf16);

// ---------------------------------------------------------------- row callbacks for sqlite3_exec

// Context: std::ostream*. Each non-null value followed by an end of line; NULLs skipped. Returns 0.
int print_row_values(void* context, int count, char** values, char** names);
// Context: std::vector<std::string>*. Each value appended, an SQL NULL as empty text. Returns 0.
int collect_row_values(void* context, int count, char** values, char** names);
