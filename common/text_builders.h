// Report headers and messages built from parts: a column-header line that records each column's width and
// position, a word joiner with one case style and one separator, a cutter of message templates at their
// "%" placeholders, and the lookup of a named argument followed by a counted list of values. Templates are
// cut, never used as printf formats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

// Word style flags shared by join_words_styled and codes_to_names (common/byte_tests.h). Case, the first
// that is set: every word capitalised, the first word capitalised, upper-cased (a-z), lower-cased (A-Z).
// Separator after every word but the last, the first that is set: '_', ' ', '.', '/', '\', '|'.
constexpr std::uint32_t kWordsCapitalizeAll = 0x20000000;
constexpr std::uint32_t kWordsCapitalizeFirst = 0x40000000;
constexpr std::uint32_t kWordsUpper = 0x08000000;
constexpr std::uint32_t kWordsLower = 0x00800000;
constexpr std::uint32_t kWordsUnderscore = 0x10000000;
constexpr std::uint32_t kWordsBlank = 0x80000000;
constexpr std::uint32_t kWordsDot = 0x01000000;
constexpr std::uint32_t kWordsSlash = 0x02000000;
constexpr std::uint32_t kWordsBackslash = 0x04000000;
constexpr std::uint32_t kWordsBar = 0x00200000;
// The low four bits of the flags count the words.
constexpr std::uint32_t kWordsCountMask = 0xF;

// Writes one header line: each name left-justified in its column, padded with blanks to its width and
// followed by the separator; the last separator is replaced by three blanks, and a line end follows with
// end_line. A column's width is the larger of its name's length and widths[i] when widths has one entry per
// name, else the name's length; widths is replaced by the widths used. positions = 0 and, after each column,
// the running total of width + separator length. widths_by_name maps each name, trimmed and lower-cased, to
// its width (the larger one for a repeated name). Returns 1; 0 (positions and map cleared, nothing written)
// when there are no names.
int build_column_header(std::ostream& os, std::vector<std::uint32_t>& positions,
                        std::map<std::string, std::uint32_t>& widths_by_name,
                        std::vector<std::uint32_t>& widths, const std::vector<std::string>& names,
                        const std::string& separator, bool end_line);
// The same for wide names, written as UTF-8 (widths count characters); the line ends without its last
// separator and always with a line end. Map keys are trimmed with trim_wide and lower-cased.
int build_column_header_wide(std::ostream& os, std::vector<std::uint32_t>& positions,
                             std::map<std::wstring, std::uint32_t>& widths_by_name,
                             std::vector<std::uint32_t>& widths, const std::vector<std::wstring>& names,
                             const std::wstring& separator);

// Every word of the list in the style of the flags (the count bits are not consulted).
std::string join_words_styled_list(std::uint32_t flags, const std::vector<std::string>& words);
// The first (flags & kWordsCountMask) of the `available` words at `words`; never reads more than
// `available` of them, and a null word counts as empty. A count of 0 gives the empty text.
std::string join_words_styled_array(std::uint32_t flags, const char* const* words, std::size_t available);
// join_words_styled(flags, "ab", "cd"): the words as C strings. A count in the flags larger than the
// number of words given uses the words given.
template <class... Words>
std::string join_words_styled(std::uint32_t flags, Words... words) {
    const char* list[] = {words..., nullptr};
    return join_words_styled_array(flags, list, sizeof...(Words));
}

// Cuts a message template into segments: the text before the first '%', then per placeholder the
// placeholder and the text after it up to the next '%' (pushed even when empty). A placeholder is '%'
// with one digit 1-9 (and a second 1-9 digit when one follows): numbered receives (its number, segment
// index); else '%' with the next character: lettered receives (that character, segment index). A '%' at the
// very end ends the walk. All outputs are cleared first. 1 when segments is non-empty; 0 for an empty
// template.
int split_placeholders(std::vector<std::string>& segments, std::multimap<int, int>& numbered,
                       std::multimap<char, int>& lettered, const std::string& templ);

// Finds the first argument equal to name ignoring case (compared on copies: no argument changes case),
// takes the next as value and reads it as a count (cstr_to_int); the count arguments after it go to items,
// and the name, the value and those items are removed from args. value and items are cleared first; a
// count that is not a number or not above 0 takes no items. 0 (args unchanged) for a null name, a name not
// found or last, or fewer than count arguments after the value (value is then set, items empty); else 1.
int take_counted_argument(const char* name, std::string& value, std::vector<std::string>& items,
                          std::vector<std::string>& args);
