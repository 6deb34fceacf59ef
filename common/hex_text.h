// Hex and number text: byte runs as hex, hex dump lines, numbers in hex or decimal with widths chosen by
// magnitude, durations in words, labelled position lines, and taking back the tail of a string stream.
// Hex digits are always lower case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ios>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

// --- Byte runs to hex ---

// out becomes each byte as two hex digits ("0x" before each when with_0x), with `sep` between bytes and not
// after the last. Returns 0 and leaves out untouched for a null pointer or count <= 0; else 1.
int bytes_to_hex(std::string& out, const unsigned char* data, int count, const std::string& sep,
                 bool with_0x);

// Clears out, then bytes_to_hex over the vector. 0 (out empty) for an empty vector.
int byte_vector_to_hex(std::string& out, const std::vector<unsigned char>& bytes, const std::string& sep,
                       bool with_0x);

// The vector's bytes as hex without "0x", joined by `sep`; empty for an empty vector.
std::string byte_vector_to_hex_string(const std::vector<unsigned char>& bytes, const std::string& sep);

// Writes byte_vector_to_hex_string(bytes, " ") to os.
void write_byte_vector_hex(const std::vector<unsigned char>& bytes, std::ostream& os);

// out becomes two digits per byte, a blank between bytes when `blanks`; empty for a null pointer or
// count <= 0. Returns out.
std::string& bytes_to_hex_spaced(std::string& out, const unsigned char* data, int count, bool blanks);

// Writes the 16 bytes at `bytes` as two-digit hex separated by single blanks (no trailing blank). The stream
// is left in hex, right-aligned, fill '0', as callers that go on writing numbers expect. Nothing for null.
void hex16_to_stream(const unsigned char* bytes, std::ostream& os);
// hex16_to_stream followed by a newline.
void hex16_line_to_stream(const unsigned char* bytes, std::ostream& os);

// Appends dump lines of 16 bytes: "xx " per byte, then two blanks, the bytes as characters (32-126 as they
// are, else '.') and a newline. A last partial line is padded so its characters line up, and has no newline
// unless final_newline (which also adds one after a full last line). Returns 0 (nothing appended) for a null
// pointer or count <= 0, else 1.
int hex_dump_append(std::string& out, const unsigned char* data, int count, bool final_newline);

// --- Numbers ---

// out becomes the decimal digits of value, or with hex "0x" and lower-case digits zero-filled to `width`.
// Width 0 picks it by magnitude: below 255: 2; below 65,535: 4; from 0xFFFFFF up: 8; else 6. Returns out.
std::string& number_to_text(std::string& out, std::uint64_t value, bool hex, unsigned width);

// Sets os to hex, right-aligned, fill '0' and makes prefix "0x" (hex), or to decimal, right-aligned, fill
// blank with an empty prefix. A non-zero width becomes the field width of the next output. Returns prefix.
std::string& prepare_number_stream(std::string& prefix, std::ostream& os, bool hex, unsigned width);

// out becomes value in fixed notation with two digits after the point. Returns out.
std::string& fixed2_to_text(std::string& out, double value);

// Reads an unsigned number with the base bits (dec, oct, hex) of `flags`; no base bit lets the stream pick
// the base from the prefix. Text that holds no number gives 0.
std::uint64_t parse_u64(const std::string& text, std::ios_base::fmtflags flags);
std::uint64_t parse_u64_wide(const std::wstring& text, std::ios_base::fmtflags flags);

// out becomes e.g. "1 day 1 hour 1 min 1 sec": the non-zero parts, plural from 2. Empty for 0 and for
// 4,294,967,295 (the "unknown" value). Returns out.
std::string& seconds_to_text(std::string& out, std::uint32_t seconds);

// "Jan" .. "Dec" for 1..12; empty text for any other number.
std::string month_abbreviation(int month);

// Writes "0x<offset, >= 3 hex digits> : <position, >= 6 hex digits> : " then "label:" left-aligned in a
// blank-filled field of `width`, the value and a newline. The stream keeps hex and left alignment.
// Returns value.size().
std::size_t write_offset_line(std::ostream& os, std::uint64_t offset, std::uint64_t position, unsigned width,
                              const std::string& label, const std::string& value);
// As write_offset_line, but begins "0x<position + offset, >= 6 digits> : <offset, >= 3 digits> : ".
std::size_t write_position_line(std::ostream& os, std::uint64_t offset, std::uint64_t position,
                                unsigned width, const std::string& label, const std::string& value);

// Writes "name: " and number_to_text(value, hex, 2) on both sides of a "/". Nothing for a null name.
void write_name_and_range(std::ostream& os, const char* name, std::uint64_t value);

// --- String streams ---

// Moves the put position back n characters (to the start when fewer were written). With truncate the
// stream then holds exactly the text before that position, NUL bytes inside it included; without it, later
// output overwrites. Returns 0 (stream unchanged) for a failed stream, an untellable position or n < 0.
int erase_stream_tail(std::ostringstream& os, int n, bool truncate);
int erase_stream_tail(std::stringstream& os, int n, bool truncate);
int erase_stream_tail_wide(std::wostringstream& os, int n, bool truncate);
int erase_stream_tail_wide(std::wstringstream& os, int n, bool truncate);

// The move of erase_stream_tail without truncation, on any output stream that can tell its position.
// 0 for a failed stream, an untellable position or n < 0; else 1.
int rewind_stream(std::ostream& os, int n);
int rewind_stream_wide(std::wostream& os, int n);

// The put position, or 0 for a failed stream or an untellable position.
std::uint64_t stream_position(std::ostream& os);
