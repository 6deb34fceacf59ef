// Building a UTF-16 string in the style of the Windows counted string (byte length, byte capacity, a
// buffer that the object may or may not own), and two scans of wide text: removing tagged sections from a
// wide buffer and finding the position just after a needle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/line_endings.h"

// The counted string type itself (fields length, maximum_length, buffer, owns and its constructors) is
// declared with the UTF-16 text helpers in common/line_endings.h; these operations build on it.

// length 0. An owned buffer is zero-filled over maximum_length bytes; a foreign one is dropped (buffer
// null, maximum_length 0), never written.
void unicode_string_clear(_UNICODE_STRING_EX& s);
// Appends the text and a zero unit; length grows by both, so successive appends build a list of texts
// separated by zero units. Needs maximum_length - length >= 2 x (n + 1): an owned buffer grows to exactly
// that; a foreign one, or none at all, refuses (unchanged). A size above 65,535 bytes, a failed
// allocation or a null text leave the object unchanged. Narrow characters become units 0-255; wide
// characters keep their low 16 bits. Returns s.
_UNICODE_STRING_EX& unicode_string_append(_UNICODE_STRING_EX& s, const char* text);
_UNICODE_STRING_EX& unicode_string_append(_UNICODE_STRING_EX& s, const wchar_t* text);

// Removes, from the wide buffer of size_bytes / 4 characters, every section from "<" + name up to and
// including "</" + name + ">" (both matched on their characters without regard to case). The remaining
// characters are copied back to the start of the buffer only when a section was found; the rest of the
// buffer keeps its old contents and size_bytes is not changed. `remaining` (when not null) receives the
// number of characters kept (all of them when nothing was found). 1 after a scan; 0 for a null buffer,
// size 0 or an empty name. Never touches the buffer past size_bytes / 4 characters.
int remove_tagged_sections(wchar_t* buffer, std::size_t size_bytes, const std::wstring& name,
                           std::size_t* remaining = nullptr);

// 1 and pos = the position just after the first occurrence of needle in text at or after start; 0 (pos
// untouched) when it does not occur, for a null or empty needle, or a start past the end.
int find_after(std::size_t& pos, const std::wstring& text, std::size_t start, const wchar_t* needle);
