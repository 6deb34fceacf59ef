// Trimming, character removal, case mapping, case-insensitive comparison, joining and padding of
// narrow text (std::string, bytes) and wide text (std::wstring, 4-byte characters).
// Operations that work in place modify their first argument; results are 1/0 unless said otherwise.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

// ---- Trimming (in place) ----

// Removes leading and trailing blank, TAB, CR and LF. 0 when the text is empty or becomes empty, else 1.
int trim_whitespace(std::string& s);
// As trim_whitespace; with keep_trailing_blanks the trailing side removes only TAB, CR and LF.
// The "nothing but whitespace" test still uses the full set.
int trim_whitespace_ex(std::string& s, bool keep_trailing_blanks);
// Removes leading and trailing CR and LF; a text of only CR/LF becomes empty.
void trim_line_breaks(std::string& s);
// Removes trailing NULs, unless the text is made only of NULs (then it is left as it is). Always 1.
int trim_trailing_nul(std::string& s);
// Removes, one class at a time: blanks at both ends, TABs at both ends, trailing CRs, trailing LFs.
// 0 (and an empty text) when only blanks, or after that only TABs, were present; else 1.
// Because the classes go one by one, "x\r\n" keeps its CR while "x\n\r" loses both.
int trim_wide(std::wstring& s);
// Removes trailing NUL characters. Always 1.
int trim_trailing_nul_wide(std::wstring& s);
// Removes the trailing run of CR and LF; returns how many characters went.
int strip_line_ending(std::string& s);
// Remove the trailing run of '/' and '\'; 1 when text remains, 0 when nothing is left.
int strip_trailing_slashes(std::string& s);
int strip_trailing_slashes_wide(std::wstring& s);
// Erase the last n characters (the whole text when shorter). 0 (nothing done) for an empty text or n <= 0.
int erase_last_chars(std::string& s, int n);
int erase_last_chars_wide(std::wstring& s, int n);

// ---- Characters ----

// Remove every c in place; return how many were removed.
int remove_char(std::string& s, char c);
int remove_char_wide(std::wstring& s, wchar_t c);
// A copy of s without any c; when that copy would be empty, s itself is returned unchanged.
std::string copy_without_char(const std::string& s, char c);
// Occurrences of c in s.
int count_char(const std::string& s, char c);
// 1 when s is non-empty and holds no byte 0-31 (except TAB, LF, CR), 127 or 128-255.
int is_plain_text(const std::string& s);
// 0 for an empty text. Else trims whitespace, then drops one leading and (independently) one trailing
// single or double quote character. Returns 1.
int strip_quotes(std::string& s);
// out = the characters of in that are '-', '.', digits, letters or '_'; each run of other characters
// becomes one '_' before the next kept character (never at the start or the end). Returns out.
std::string& sanitize_to_identifier(std::string& out, const std::string& in);

// ---- Case ----

// Per-character lower/upper mapping of the C library in the current locale.
wchar_t wchar_to_lower(wchar_t c);
wchar_t wchar_to_upper(wchar_t c);
void wstring_to_lower(std::wstring& s);
void wstring_to_upper(std::wstring& s);
// out = str with 'A'-'Z' mapped to 'a'-'z' only; a null str leaves out cleared. Returns out.
std::string& ascii_lower_copy(std::string& out, const char* str);
// Position of the first occurrence of pattern in text, or -1 (also for an empty pattern).
// With ignore_case both arguments are lower-cased in place first: the caller's strings change.
std::ptrdiff_t find_wide(std::wstring& text, std::wstring& pattern, bool ignore_case);
// Lower-cases a and b in place (always), then 1 when both hold at least n characters and the
// first n agree; else 0.
int wide_prefix_equal_nocase(std::wstring& a, std::wstring& b, int n);
// 0 when the lengths differ (nothing changed); else lower-cases both in place and compares.
int wide_equal_nocase(std::wstring& a, std::wstring& b);

// ---- Joining ----

// out = items joined, with sep after every item but the last. With skip_empty, empty items add
// neither text nor separator, and a final character equal to sep's first character is removed.
std::string& join_strings(std::string& out, const std::vector<std::string>& items, const std::string& sep,
                          bool skip_empty);
std::wstring& join_wide_strings(std::wstring& out, const std::vector<std::wstring>& items,
                                const std::wstring& sep, bool skip_empty);
// count = items.size(); 0 (out cleared) for none. Non-empty items joined by single blanks, an item
// holding a blank written between double quotes; the result trimmed. Returns 1 otherwise.
int join_quoted(std::string& out, int& count, const std::vector<std::string>& items);
int join_quoted_wide(std::wstring& out, int& count, const std::vector<std::wstring>& items);
// As join_quoted, but an argument with a blank first loses its own double quotes. With quote_all an
// argument without a blank is wrapped too (after the same removal), unless it is the first one or
// begins with '-'.
int join_args_requoted(std::string& out, int& count, const std::vector<std::string>& args, bool quote_all);

// ---- Padding ----

// Writes n blanks; leaves the stream's fill character as a blank.
void write_indent(std::ostream& os, unsigned n);
// out = n blanks (empty for n <= 0). Returns out.
std::string& blank_string(std::string& out, int n);
// out = n '-' characters. Returns out.
std::string& dash_string(std::string& out, unsigned n);
