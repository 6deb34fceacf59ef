// Cutting wide text into lists: at a delimiter, NUL-separated lists and text buffers into lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// out is emptied first in every case. False only for an empty text; otherwise the pieces between
// delimiters (a delimiter at the very start yields no piece). With trim each piece loses blanks at both
// ends, then TABs at both ends, then a trailing CR, then a trailing LF. Empty pieces are kept only with
// keep_empty; with keep_empty a text ending in the delimiter also gets a final empty piece.
bool split_wstring(const std::wstring& text, wchar_t delimiter, std::vector<std::wstring>& out, bool trim,
                   bool keep_empty);
// split_wstring without trim and without empty pieces.
bool split_wstring_plain(const std::wstring& text, wchar_t delimiter, std::vector<std::wstring>& out);
// The pieces of a NUL-separated list of wide characters (empty pieces dropped).
bool split_wide_multistring(const std::vector<wchar_t>& chars, std::vector<std::wstring>& out);
// The same for 16-bit units, each taken as one character (surrogate pairs are not combined); false for an
// empty vector.
bool split_utf16_multistring(const std::vector<std::uint16_t>& units, std::vector<std::wstring>& out);
// Empties out and splits a text buffer (8-bit UTF-8, or 4-byte wide characters when a NUL appears among
// the first bytes) into trimmed lines. False for a null buffer, fewer than 2 bytes, mixed or missing line
// endings, or when no line results. Reads no more than `length` bytes.
bool split_text_lines(const std::uint8_t* data, std::uint32_t length, std::vector<std::wstring>& out);
