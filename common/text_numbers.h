// Small parsers that turn option values and table cells into numbers, word lists and byte patterns:
// unsigned 64-bit and floating values, words with double-quoted runs kept together, argument lists
// re-split, and hexadecimal byte patterns with wildcards and gaps. Failures are silent: false (or 0)
// with the output zeroed or cleared where stated.
#ifndef SELK_COMMON_TEXT_NUMBERS_H
#define SELK_COMMON_TEXT_NUMBERS_H

#include <cstdint>
#include <string>
#include <vector>

// Byte-pattern cells: 0x00-0xFF a literal byte; kPatternAny any byte ("??"); kPatternGap a gap marker,
// always followed by one cell holding the gap length (0-255).
constexpr std::uint16_t kPatternAny = 0xFFFF;
constexpr std::uint16_t kPatternGap = 0xFFFE;

// out = 0 first. Leading blanks are skipped; a blank after the value, more than 30 characters in all
// or nothing after the blanks fail. "0x"-like (any character then 'x') or "x" prefixes with at least
// one more character: at most 16 hex digits; "o": at most 22 octal digits; else at most 20 characters
// read in decimal. Reading is stream extraction: the leading digits are read (a leading sign is taken
// as the stream takes it, so "-5" wraps); no digit, or a value that does not fit, leaves 0 and still
// succeeds.
bool cstr_to_u64(const char* text, std::uint64_t* out);
bool string_to_u64(const std::string& text, std::uint64_t* out);
bool wstring_to_u64(const std::wstring& text, std::uint64_t* out);

// false for null or empty text; else out = atof(text).
bool cstr_to_double(const char* text, double* out);
bool wide_cstr_to_double(const wchar_t* text, double* out);
// false for null; else out = atof(text) as float (0.0 for empty text; out of float range gives infinity).
bool cstr_to_float(const char* text, float* out);
bool wide_cstr_to_float(const wchar_t* text, float* out);

// Reads hexadecimal floating text such as -0x1.8p3 (lower-cases the caller's text). out = 0 first;
// false for texts shorter than 3, without "0x" after the optional '-', or with a non-hex digit.
bool hex_float_text_to_double(std::string& text, double* out);

// The first blank-delimited word; false for empty text.
bool first_word(const std::string& text, std::string* word);
// first_word, then the word's first occurrence is erased from text (blanks around it stay).
bool pop_first_word(std::string* text, std::string* word);

// Reads up to max_words white-space separated words (0 = no limit) and appends them to out; with
// join_quotes a double-quoted run of words becomes one word without its quotes (an unclosed run is
// appended as gathered, ending in a blank). Returns the number of words read, not appended.
std::uint32_t split_words_quoted(const char* text, std::uint32_t max_words, std::vector<std::string>* out,
                                 bool join_quotes);
// false for empty text; else split_words_quoted(text, 0, out, true) > 0.
bool split_quoted_tokens(const std::string& text, std::vector<std::string>* out);

// Joins the arguments into one line (join_args_quoted) and splits it again: at `sep` (no trimming, no
// empty fields) or, for a blank, into words with quoted runs kept together. out is cleared.
bool resplit_args(std::vector<std::string>* out, std::uint32_t argc, const char* const* argv, char sep);

// out cleared; each token (split_quoted_tokens) that cstr_to_uint accepts gives one byte (low 8 bits).
// true when out is non-empty.
bool parse_token_byte_list(const std::string& text, std::vector<std::uint8_t>* out);

// Blank-separated words into 16-bit cells: "??" any byte, "*N" a gap of N (hex, at most 2 digits),
// else exactly two hex digits. Trailing wildcards and gaps are removed; a gap must not be followed by
// a wildcard or another gap. true when cells remain. out is cleared first; a failure midway leaves the
// cells read so far.
bool parse_byte_pattern16(const std::string& text, std::vector<std::uint16_t>* out);
// Blank-separated words into bytes: "??" gives 0xFF 0xFF, other words hex up to 255; a word of 3 or
// more characters fails. true at the end of the text (also for empty text). out is cleared first.
bool parse_byte_pattern8(const std::string& text, std::vector<std::uint8_t>* out);

// Rewrites text with each TAB replaced by blanks up to the next multiple of tab_width (0 means 4).
// The line end (CR LF when present anywhere, else LF, else CR) restarts the column count. With `utf16`
// and a TAB unit (09 00) present, the work goes to expand_tabs_utf16. 1 when the text held a TAB and
// out holds the rewritten text; 0 otherwise (out unchanged).
int expand_tabs(const std::uint8_t* buf, std::uint32_t size, std::uint32_t tab_width, std::string& out,
                bool utf16);
// The same over UTF-16LE units (whole units at even offsets); out receives UTF-16LE bytes.
int expand_tabs_utf16(const std::uint8_t* buf, std::uint32_t size, std::uint32_t tab_width, std::string& out);

// Reads in_path whole (byte mode), expands its tabs (expand_tabs with `utf16`) and writes the result to
// out_path (byte mode, truncating); text without a TAB is written unchanged. Returns whether the output
// was written in full; false when in_path cannot be read, and (with a TAB) when there is no out_path.
// Without a TAB and without out_path nothing is written and the result is true.
bool expand_tabs_in_file(const char* in_path, const char* out_path, std::uint32_t tab_width, bool utf16);

#endif  // SELK_COMMON_TEXT_NUMBERS_H
