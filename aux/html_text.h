// A small markup toolkit over 8-bit text (with wide twins of some operations): cutting a markup buffer
// into text runs and tags, normalising tags, turning an HTML file into plain text with light wiki-like
// marks, escaping markup characters, reading attribute values out of tags, collecting "href" and "src"
// links with their byte offsets, and removing script elements or a fixed text from files.
//
// Every scan is bounded by the length it is given: a tag or quoted value that is not closed ends at the
// end of the text, and nothing is read past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// A value found in a buffer with where it lies.
struct string_offset_size {
    string_offset_size() { clear(); }
    // Clears, then sets text, offset and size.
    string_offset_size(const std::string& found, std::uint64_t at, std::uint64_t length);

    // Empties the three texts and zeroes the four numbers.
    void clear();

    std::string text;        // the value found
    std::string text_2;      // not filled here
    std::string text_3;      // not filled here
    std::uint64_t number_1;  // not filled here
    std::uint64_t number_2;  // not filled here
    std::uint64_t offset;    // byte offset in the scanned buffer
    std::uint64_t size;      // bytes covered from offset
};

// Link text -> (offset, size); the first entry for a text stays.
typedef std::map<std::string, std::pair<std::int32_t, std::int32_t>> link_map;

// Writes the text form of the HTML file at input_path to output_path (see html_text.cpp for the marks).
// The output stays empty when it cannot be opened, the input cannot be read or has no tokens. Returns 0
// in every case.
int html_file_to_text(const char* input_path, const char* output_path);

// Cuts `length` bytes into tokens, each a text run or one tag ("<" through ">"), in buffer order. The
// content of a pre or script block stays one text run up to the next "</"; a block opened by "<%" or "<?"
// stays one token up to its closing "%>" or "?>". With `trim` tokens are trimmed and empty ones dropped.
// A text run or tag left open at the end is not pushed. True when there is any token.
bool tokenize_markup(const std::uint8_t* bytes, std::size_t length, std::vector<std::string>& out, bool trim);
// The same rules over UTF-16LE units; `length_bytes` is the byte count (an odd last byte is ignored).
bool tokenize_markup_w(const std::uint16_t* units, std::size_t length_bytes, std::vector<std::wstring>& out);

// Rewrites every tag token: names and attribute names lower-cased, blanks around "=" and repeated blanks
// dropped, an unquoted value put between double quotes (keeping the case of its first character). Tokens
// that are not tags, or are "<?" and "<%" blocks, stay. False for an empty list.
bool normalize_tags(std::vector<std::string>& tokens);
bool normalize_tags_w(std::vector<std::wstring>& tokens);

// out = the first `length` bytes of text with, at each position, the first entry of `find` that matches
// there (case-insensitively with ignore_case) replaced by its entry of `replace`. CR and LF are copied;
// with escape_unprintable a byte outside 0x20-0x7E becomes "%" and two hex digits. Empty find entries
// never match. False for a null or empty text, empty lists or lists of different length.
bool replace_by_table(const char* text, std::size_t length, const std::vector<std::string>& find,
                      const std::vector<std::string>& replace, std::string& out, bool ignore_case,
                      bool escape_unprintable);
bool replace_by_table_w(const wchar_t* text, std::size_t length, const std::vector<std::wstring>& find,
                        const std::vector<std::wstring>& replace, std::wstring& out, bool ignore_case,
                        bool escape_unprintable);

// "<", ">" and "&" as "&lt;", "&gt;", "&amp;" (unprintable bytes escaped), then read as Latin-1 and
// returned as UTF-8. A null text gives an empty result.
std::string escape_markup_chars(const char* text);
std::string escape_markup_chars(const std::string& text);
// The same three replacements over wide text; unprintable characters are kept. The input itself when
// the replacement fails (an empty text).
std::wstring escape_markup_chars_w(const std::wstring& text);
// out = text with "&", "<", ">", '"' and '\'' as "&amp;", "&lt;", "&gt;", "&quot;", "&#39;", then every
// CR LF as "<br />". Empty for an empty text.
void html_escape_text(std::string& out, const std::string& text);

// The value of the first occurrence of `name` in tag[0, length): the text between the two double quotes
// after the first "=" that follows it. False when any part is missing within the length.
bool attribute_value_quoted(const char* tag, std::size_t length, const std::string& name, std::string& out);
// The n-th (from 1) pair of a name and a double-quoted value in a tag that begins with "<" not followed by
// a blank and holds ">": walking from the first blank, earlier "=" are skipped with their quoted values.
// The name has its blanks dropped. False when any part is missing before ">".
bool nth_attribute(const char* tag, std::size_t length, int n, std::string& name, std::string& value);
// The text between the ">" of the first "<" + name start tag and the next "</" + name + ">".
bool element_text(const char* text, std::size_t length, const std::string& name, std::string& out);

// Removes every script element from the file at input_path and writes the rest, up to its first NUL,
// to input_path itself (in_place), to output_path, or, when there is no target or it cannot be opened, to
// standard output. 0 when the input cannot be read, else 1.
int strip_script_elements_file(const char* input_path, const char* output_path, bool in_place);
// Removes every occurrence of `text` from the file and rewrites it. True when rewritten.
bool remove_text_from_file(const std::string& path, const std::string& text, bool ignore_case);

// The value of attribute `name` (matched case-insensitively as a prefix, at most 256 characters) in the
// tag `tag` that lies at buffer offset `tag_offset`. out.offset = tag_offset + the position of the "=",
// out.size = the characters after the "=" through the end of the value (closing quote included). A
// quoted value drops CR and LF; an unquoted one ends at a blank or CR. False when the tag ends first.
bool find_attribute_with_offset(const std::string& tag, std::uint64_t tag_offset, std::size_t length,
                                const std::string& name, string_offset_size& out);
// The same search without offsets.
bool find_attribute_value(const std::string& tag, std::size_t length, const std::string& name,
                          std::string& out);

// For every tag of the buffer its "href" value, else its "src" value, with its offset and size. True when
// the map is not empty.
bool extract_links_with_offsets(const std::uint8_t* bytes, std::size_t length, link_map& out);
// For every tag, the "src", the "href", or the "href" else the "src" value, appended to out. True when
// out is not empty.
bool collect_src_values(const std::uint8_t* bytes, std::size_t length, std::vector<std::string>& out);
bool collect_href_values(const std::uint8_t* bytes, std::size_t length, std::vector<std::string>& out);
bool collect_link_values(const std::uint8_t* bytes, std::size_t length, std::vector<std::string>& out);

// Erases the first occurrence of text from the NUL-terminated buffer, which then holds exactly the
// shortened text. False for a null argument or when nothing was erased.
bool erase_first_in_buffer(char* buffer, const char* text, bool ignore_case);
