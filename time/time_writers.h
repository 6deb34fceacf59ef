// Small fixed-layout writers of a qm::time, a FILETIME or a related value onto a stream or into a string:
// file-name-safe dates with underscores, the date alone, a US-style date with time and milliseconds, hex
// text of 64-bit values, 16.16 fixed-point seconds and one-byte debug lines. All print the UTC parts.
//
// Each stream writer sets decimal, zero fill and its widths, writes, restores the fill character and then
// ORs the stream's previous format flags back in (the decimal base it set stays set as well).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "time/debug_lines.h"
#include "time/qm_time.h"

// yyyy_mm_dd, then "_hhmm" (with_hhmm), "_ss" (with_seconds), "_mmm" (with_ms): 2020_01_31_1230_45_123.
// An invalid FILETIME prints zeros.
std::ostream& write_filetime_underscored(std::ostream& os, std::uint64_t filetime, bool with_hhmm,
                                         bool with_seconds, bool with_ms);
std::ostream& write_filetime_underscored(std::ostream& os, std::uint64_t filetime, bool all);
// The same text, wide, into out.
void filetime_underscored_w(std::wstring& out, std::uint64_t filetime, bool all);

// yyyy-mm-dd.
std::ostream& write_date(std::ostream& os, const qm::time& t);
// mm/dd/yyyy, then unless date_only " : hh:mm:ss [ mmm ms ]".
std::ostream& write_date_time_us(std::ostream& os, const qm::time& t, bool date_only);
std::wostream& write_date_time_us(std::wostream& os, const qm::time& t, bool date_only);

// "0x", the high and the low 32 bits in hex without width (0x0000000100000002 gives 0x12).
std::ostream& write_hex_u64(std::ostream& os, std::uint64_t v);
// "0x" and both halves zero-filled to 8 digits each. Returns out.
std::string& u64_to_hex_text(std::string& out, std::uint64_t v);
// v[0] " : " v[1].
std::ostream& write_u16_pair(std::ostream& os, const std::uint16_t v[2]);
// v[0] + v[1] / 65536 as a double, then " secs" (3, 32768 gives 3.5 secs).
std::ostream& write_fixed_seconds(std::ostream& os, const std::uint16_t v[2]);

// The text and a line end when the sink is on and has a stream.
void write_line_if_enabled(const debug_sink& sink, const char* text);
// Each string followed by a line end.
std::ostream& write_lines(std::ostream& os, const std::vector<std::string>& lines);

// The byte as two hex digits, handed to debug_output as a string of size 1; returns its result.
unsigned debug_output_byte(std::ostream& os, const char* label, std::uint8_t value, std::uint64_t offset,
                           std::uint32_t width, const char* note);
// The same when the sink is on and has a stream; else 0.
unsigned debug_output_byte(const debug_sink& sink, const char* label, std::uint8_t value,
                           std::uint64_t offset, std::uint32_t width, const char* note);
