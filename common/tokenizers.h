// Splitters that cut raw buffers (bytes, 16-bit units, wide characters) into lists of strings: at a
// delimiter, at NUL separators, into lines, into markup tags and the text between them; and a test
// that recognises XML text. They take a pointer and a length and never read past that length (except
// where a size of "all bits set" / -1 asks them to look for a terminator, documented per function).
// None empties its out vector unless its comment says so.
#ifndef SELK_COMMON_TOKENIZERS_H
#define SELK_COMMON_TOKENIZERS_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Cuts the buffer at every `delim` byte; counts the delimiters into delim_count; each piece is
// trimmed (trim_whitespace) when `trim` is set; empty pieces are never appended.
// Returns the number of bytes examined; 0 for a null or empty buffer.
int split_buffer_at_char(const std::uint8_t* buf, int len, std::uint8_t delim, std::vector<std::string>& out,
                         unsigned& delim_count, bool trim);

// The same over wide characters, trimming with trim_wide.
int split_wide_buffer(const wchar_t* buf, int len, wchar_t delim, std::vector<std::wstring>& out,
                      unsigned& delim_count, bool trim);

// Cuts at every two-byte delimiter (first byte in the low half of `pair`), only where both bytes lie
// inside the buffer. Returns the position reached; 0 for a null or empty buffer.
int split_at_byte_pair(const std::uint8_t* buf, int len, std::uint16_t pair, std::vector<std::string>& out,
                       bool trim);

// Empties out. Every LF ends a line (CR bytes at the line's start and one CR before the LF are dropped).
// Text after the last LF is not returned: end_of_lines receives the offset just past the last LF.
// 1 when at least one line results; 0 for a null buffer or length 0.
int split_buffer_lines(unsigned& end_of_lines, std::vector<std::string>& out, const std::uint8_t* buf,
                       unsigned len, bool trim, bool skip_empty);

// Empties out. Every LF ends a line (leading CRs skipped); lines are trimmed and kept even when empty.
// Text after the last LF is kept only when it is at least two bytes long; a buffer without LF is one line.
int split_byte_lines(const std::vector<std::uint8_t>& buf, std::vector<std::string>& out);

// Empties out. Every LF unit ends a line (leading CR units skipped); units are widened one by one and
// the line trimmed with trim_wide, empty lines kept. Text after the last LF is not returned.
int split_utf16_lines(const std::vector<std::uint16_t>& units, std::vector<std::wstring>& out);

// Empties out. UTF-16LE when one of the first two bytes (or, for 4 bytes and more, of bytes 2 and 3)
// is 0, else bytes. Lines end at LF, a CR before it dropped; in byte text a NUL ends the text; UTF-16
// lines are converted to UTF-8. Text after the last line end is not returned. 0 for a null buffer or
// fewer than 2 bytes; 1 when at least one line results.
int split_text_buffer_lines(std::vector<std::string>& out, const std::uint8_t* buf, unsigned len, bool trim,
                            bool skip_empty);

// Reads one line of units at `cursor` (at most `remaining`) into out as UTF-8. LF ends the line; CR
// ends it too, with a LF right after it. With `continuation`, a backslash directly before CR or LF is
// dropped and a backslash-CR(-LF) joins the next line on. The cursor and count move past the units
// consumed; when the units run out before a line end, the text read is delivered and the cursor moves
// to the end (remaining becomes 0) so that a caller looping until the count is 0 stops.
std::string& read_utf16_logical_line(std::string& out, const std::uint16_t*& cursor, std::uint32_t& remaining,
                                     bool continuation);

// Appends the runs of bytes between NUL bytes (empty runs included; a last run not ended by a NUL only
// when non-empty). A length of -1 means up to the first NUL.
void split_nul_separated(const std::uint8_t* buf, std::vector<std::string>& out, int len);

// Empties out. size_bytes of all bits set means up to the first NUL unit among the first 513 units
// (nothing when none is there); else size_bytes / 2 units. Pieces between NUL units are appended,
// empty ones included. 1 when at least one string results.
int split_utf16_nul_separated(std::vector<std::wstring>& out, const std::uint16_t* buf,
                              std::uint32_t size_bytes);

// Empties out. Size -1 as above; else size_bytes / 2 units. With stop_at_double_nul, the walk ends at
// a NUL that follows a NUL (or at a leading NUL); without it, runs of NULs are skipped. Empty pieces
// never result.
void split_utf16_multi_string(const std::uint16_t* buf, std::vector<std::wstring>& out, int size_bytes,
                              bool stop_at_double_nul);

// Every run from '<' through the next '>' becomes one entry; a '>' outside a tag appends an empty
// entry; an unclosed tag at the end is dropped. 1 when out is non-empty; 0 for a null buffer or len < 1.
int extract_markup_tags(const std::uint8_t* buf, int len, std::vector<std::string>& out);

// The same, each tag with the offset of the character after its '<' (0 for a stray '>').
int extract_markup_tags_with_offsets(const std::uint8_t* buf, int len,
                                     std::vector<std::pair<std::string, std::uint64_t>>& out);

// The text outside tags, cut at each '>': CR and LF removed at both ends, then trimmed; non-empty
// pieces appended. Text after the last '>' is not returned.
int extract_text_outside_tags(const std::uint8_t* buf, int len, std::vector<std::string>& out);

// True when the buffer (at least 16 bytes) begins with "<?xml ve", or begins with comments
// ("<!--" ... "-->") after which "<?xml ve" follows.
bool is_xml_text(const std::uint8_t* buf, unsigned len);

#endif  // SELK_COMMON_TOKENIZERS_H
