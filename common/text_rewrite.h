// Whole-text rewriting: substring substitution, escaping, visible line-break markers, cutting an XML
// element, parenthesised parts, a soft-line-break encoding and a few fixed-text builders.
// Narrow operations work on bytes; the wide twins on 4-byte characters.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// ---- Substitution ----

// out = text with every non-overlapping occurrence of pattern (left to right) replaced; out stays empty
// when text or pattern is empty. Returns out.
std::string& replace_all(std::string& out, const std::string& text, const std::string& pattern,
                         const std::string& replacement);
// As replace_all, the result stored in text; text unchanged when it or pattern is empty or pattern does
// not occur. Returns text.
std::string& replace_all_in_place(std::string& text, const std::string& pattern,
                                  const std::string& replacement);
// replace_all_in_place for each pair in order (later patterns see earlier results). Nothing happens for
// an empty text, an empty vector or vectors of different sizes. Returns text.
std::string& replace_each(std::string& text, const std::vector<std::string>& patterns,
                          const std::vector<std::string>& replacements);
// Replaces the first occurrence of pattern; 0 when there is none (or pattern is empty). With
// ignore_case the search runs on a lower-cased copy of text and pattern is lower-cased in place
// (the caller's pattern changes); the replacement goes into text itself.
int replace_first_wide(std::wstring& text, std::wstring& pattern, const std::wstring& replacement,
                       bool ignore_case);
// replace_first_wide with ignore_case; 0 for a null pattern or replacement.
int replace_first_wide_nocase(std::wstring& text, const wchar_t* pattern, const wchar_t* replacement);
// Erases from the first occurrence of pattern to the end; 0 when there is none. With ignore_case only a
// lower-cased copy of text is searched; the pattern is used as given.
int truncate_at_wide(std::wstring& text, const std::wstring& pattern, bool ignore_case);
// Erases the first occurrence; ignore_case as in replace_first_wide (pattern lower-cased in place).
int remove_first_wide(std::wstring& text, std::wstring& pattern, bool ignore_case);

// ---- Escaping ----

// Puts a '\' before every character of text that is in set.
void escape_chars(std::string& text, const std::string& set);
void escape_chars_wide(std::wstring& text, const std::wstring& set);
// Inserts x before every occurrence of c.
void insert_before_char(std::string& text, char c, char x);
void insert_before_char_wide(std::wstring& text, wchar_t c, wchar_t x);

// ---- Line breaks ----

// Replaces line breaks with visible markers: "[CRLF]", "[LFCR]", "[LF]"; a CR not next to an LF stays,
// unless the text holds no LF at all, when every CR becomes "[CR]". CR LF is tested before LF CR, so
// CR LF CR gives "[CRLF]" and a plain CR.
void flatten_line_endings(std::string& text);
void flatten_line_endings_wide(std::wstring& text);

// ---- Control bytes and delimited cells ----

// Makes every control byte of a text from data or a path visible, so that none reaches a terminal or
// splits a line: line breaks as flatten_line_endings writes them, a CR left over as "[CR]", and every
// other byte below 0x20 and 0x7F as "[0x" + two upper-case hex digits + "]" (ESC is "[0x1B]"), and a C1
// control character in UTF-8 (C2 80 to C2 9F) as "[U+00" + two hex digits + "]" ("[U+009B]"). Every byte
// that is not part of a valid UTF-8 character (utf8_sequence_length) is written as a control byte is
// ("[0x82]"), each on its own, so that the text becomes valid UTF-8; valid UTF-8 passes as it is.
void show_control_bytes(std::string& text);
// True when the text holds a control byte (below 0x20, 0x7F, a C1 control character in UTF-8) that
// show_control_bytes would rewrite; bytes that are not valid UTF-8 do not count.
bool has_control_bytes(const std::string& text);
// The index of the first byte of `n` at `bytes` that show_control_bytes would rewrite; `n` when none.
std::size_t first_byte_to_show(const char* bytes, std::size_t n);

// The length (1 to 4) of the valid UTF-8 character that begins at the first of the `n` bytes at `bytes`
// (n > 0): no overlong form, no surrogate, nothing above U+10FFFF. 0 when no valid character begins there;
// -1 when the bytes begin one that runs past them.
// Inline: every character of every cell from 0x80 up passes here.
inline int utf8_sequence_length(const unsigned char* bytes, std::size_t n) {
    const unsigned lead = bytes[0];
    if (lead < 0x80) return 1;
    // The second byte's range excludes the overlong forms (after E0, F0), the surrogates (after ED) and what
    // lies above U+10FFFF (after F4).
    std::size_t length;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (k >= n) return -1;
        const unsigned next = bytes[k];
        if (next < low || next > high) return 0;
        low = 0x80;
        high = 0xBF;
    }
    return static_cast<int>(length);
}

// Whether a delimited cell must be quoted to read back whole. Quoted mode: when it holds the
// separator, a double quote, CR or LF. Plain mode: when it holds the separator or begins with a
// double quote (a reader would take it for a quoted field). An empty separator never matches.
bool cell_needs_quotes(const std::string& text, const std::string& separator, bool quoted_mode);
// Wraps the text in double quotes, each double quote inside doubled (RFC 4180).
void quote_cell(std::string& text);
// The same, appended to `out` (which must not be `text` itself).
void append_quoted_cell(std::string& out, const std::string& text);

// ---- XML and parentheses ----

// Clears out; 0 when text or tag is empty. Finds the first "<" + tag (any tag beginning with the name)
// and after it the first "</" + tag + ">"; when both are there the element goes to out, is removed from
// text, and the result is 1; else 0 with text unchanged.
int cut_xml_element(std::string& out, std::string& text, const std::string& tag);
int cut_xml_element_w(std::wstring& out, std::wstring& text, const std::wstring& tag);
// Clears out; 0 for an empty text or one without '('. Else out = text with, repeatedly, the span from
// the first '(' to the first ')' after it removed (parentheses do not nest: "a(b(c)d)e" gives "ad)e");
// 1 when something was removed.
int remove_parenthesized(const std::string& text, std::string& out);
// out = the text between the first '(' and the last ')' when both exist in that order; 1 when out is
// non-empty.
int get_parenthesized(const std::string& text, std::string& out);

// ---- Encodings and builders ----

// Every '=' becomes "=3D", then a soft break "=\r\n" goes before any character met when 75 characters
// have been counted on the line (that character is not counted); CR or LF restart the count.
std::string& qp_encode_lines(std::string& out, const std::string& text);
// Copies text; each '=' is dropped and the two characters after it copied as they are (no hex
// decoding). An '=' with fewer than two characters after it ends the copy.
std::string& qp_unescape(std::string& out, const std::string& text);
// "key":"value" pairs separated by sep and a blank; a key without a value gets "".
void write_quoted_vector_pairs(std::ostream& os, const std::vector<std::string>& keys,
                               const std::vector<std::string>& values, char sep);
// "Library/" (1), "Preferences/" (2), "SyncedPreferences/" (4), "Calendars/" (32), "Safari/" (8),
// "SystemConfiguration/" (16), in that order, for the bits set in mask.
std::string& build_library_subpath(std::string& out, unsigned mask);
