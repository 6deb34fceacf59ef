// Conversions for file paths only. Linux file names are bytes and need not be valid UTF-8, so a path that
// crosses between its narrow, wide and UTF-16 forms must come back byte for byte. Well-formed UTF-8
// sequences become their code points; every byte that is not part of one becomes the character
// U+DC00 + byte (U+DC80 to U+DCFF), a lone surrogate that well-formed text cannot hold, and turns back
// into that byte on the way out. General text keeps the strict converters of the encoding unit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Narrow path bytes to a wide path; never fails (an empty input gives an empty output).
std::wstring path_to_wide(const std::string& path);

// Wide path to narrow path bytes: U+DC80 to U+DCFF become single bytes, everything else is UTF-8 encoded
// (surrogates as three bytes); characters above U+10FFFF, which no path holds, are dropped.
std::string wide_to_path(const std::wstring& path);

// UTF-16 path units to narrow path bytes: surrogate pairs are combined; a lone unit U+DC80 to U+DCFF becomes
// that byte; any other lone surrogate is encoded as three bytes.
std::string utf16_to_path(const std::vector<std::uint16_t>& units);

// UTF-16 little-endian path bytes to narrow path bytes; an odd last byte is ignored; fewer than 2 bytes
// give an empty path.
std::string utf16le_bytes_to_path(const std::vector<std::uint8_t>& bytes);

// Narrow path bytes to UTF-16 units, the escaped bytes as the lone units U+DC80 to U+DCFF.
std::vector<std::uint16_t> path_to_utf16(const std::string& path);
