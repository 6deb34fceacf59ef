// String splitting and joining: split_string and its family (to a set, at the first of several
// delimiters, with double-quoted runs kept together, NUL-separated buffers, URL queries, text buffers
// into lines) and join_args_quoted.
#ifndef SELK_COMMON_SPLIT_JOIN_H
#define SELK_COMMON_SPLIT_JOIN_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// Cuts text at every `delim`. Each field is trimmed (blank, TAB, CR, LF) when `trim` is set and then
// appended when non-empty or when `keep_empty` is set (a text ending in the delimiter then gives a
// final empty field). With a delimiter other than NUL the text ends at its first NUL; with NUL as the
// delimiter a string of NUL-terminated strings splits into them. out is cleared first unless `append`.
// 0 for an empty text (out only cleared), else 1.
int split_string(const std::string& text, char delim, std::vector<std::string>& out, bool trim,
                 bool keep_empty, bool append);

// The same cutting and trimming; only non-empty fields are inserted. 0 for an empty text.
int split_string_to_set(const std::string& text, char delim, std::set<std::string>& out, bool trim,
                        bool append);

// Splits at the first of `candidates` (tried in order) that occurs in the text and returns it; when none
// occurs out holds the whole text as one field and the result is 0. 0 with out empty for an empty text.
char split_at_first_delimiter_of(std::vector<std::string>& out, const std::string& text, bool trim,
                                 bool keep_empty, const std::string& candidates);
// The same for wide text, split through its UTF-8 form.
char split_wide_at_first_delimiter_of(std::vector<std::wstring>& out, const std::wstring& text, bool trim,
                                      bool keep_empty, const std::string& candidates);

// Splits at `delim` keeping double-quoted runs together: a field with one double quote opens a run that
// the next field holding a double quote closes; the run's fields are joined with the delimiter. Quotes
// stay in the fields. A run still open at the end is dropped. Without any double quote in the text the
// fields stand as split (untrimmed). 0 for an empty text.
int split_quoted_fields(const std::string& text, char delim, std::vector<std::string>& out, bool trim,
                        bool keep_empty);

// The bytes split at NUL (empty strings dropped). 0 for no bytes.
int split_multi_string(const std::vector<std::uint8_t>& bytes, std::vector<std::string>& out);

// Names and values of the query after the first '?' of the percent-decoded url, in step (a field without
// '=' gives an empty value). 1 when a name was found.
int parse_url_query(std::vector<std::string>& names, std::vector<std::string>& values,
                    const std::string& url);

// out = the arguments joined by single blanks, an argument holding a blank between double quotes.
// 0 for a count of 0 or a null array; else 1 (also for a negative count, out then empty).
int join_args_quoted(std::string& out, int argc, const char* const* argv);

// Splits a text buffer into trimmed lines by its line-ending style (decided from its first 1,024
// bytes): CR LF or LF cut at LF, CR at CR, LF CR at CR with every LF made a blank. Mixed or no line
// endings give 0. Empty runs between breaks are dropped; lines of blanks stay as empty entries.
// 0 for a null buffer or length 0; else 1 when at least one line results.
int split_lines(const std::uint8_t* buf, std::uint32_t length, std::vector<std::string>& out);

#endif  // SELK_COMMON_SPLIT_JOIN_H
