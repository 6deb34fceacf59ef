// Finding, replacing and removing a piece of text, mostly with an option to ignore case: first-occurrence
// edits, cuts from a piece to the end, the value after a key, prefix tests, word search in the printable
// runs of a raw buffer (ASCII or UTF-16LE), removal from byte buffers and the serial part of a device
// instance path. Case folding always goes through string_to_lower. Several operations lower-case their
// arguments in place when asked to ignore case; each comment says which.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// 1 when the first occurrence of old_text was replaced by new_text, else 0 (also for an empty old_text).
// With nocase, old_text is lower-cased in place and searched in a lower-cased copy of text; the
// replacement goes into text at that position, the rest of text keeping its case.
int replace_first(std::string& text, std::string& old_text, const std::string& new_text, bool nocase);
// replace_first with nocase on copies; 0 for a null argument.
int replace_first_cstr_nocase(std::string& text, const char* old_text, const char* new_text);
// 1 when the first occurrence of piece was erased; with nocase, piece is lower-cased in place.
int erase_first(std::string& text, std::string& piece, bool nocase);
// erase_first on the UTF-8 forms; on success the result is written back into the caller's NUL-terminated
// buffer (never more characters than it held). 0 for a null argument or when nothing was erased.
int erase_first_wide_cstr(wchar_t* text, const wchar_t* piece, bool nocase);
// 1 when text was cut from the first occurrence of piece to its end. With nocase the search runs on
// lower-cased copies (the caller's piece is not changed).
int erase_from_substring(std::string& text, const std::string& piece, bool nocase);
int erase_from_char(std::string& text, char c, bool nocase);
// Position of the first occurrence of needle, or -1. With fold, both are lower-cased in place first.
std::ptrdiff_t find_nocase(std::string& text, std::string& needle, bool fold);
// Pointer into haystack at the first case-insensitive occurrence of needle; null when none or for a null
// argument.
const char* find_nocase_cstr(const char* haystack, const char* needle);
// The text after the first occurrence of key up to (not including) the first character of terminators
// after it, or to the end; "" when key is null, text is empty or key is not found. With nocase the search
// runs on lower-cased copies of key and text and terminators is lower-cased in place; the value is cut
// from text as passed.
std::string value_after_key(const char* key, const std::string& text, std::string& terminators, bool nocase);
// Lower-cases a and b in place, then 1 when both hold at least n characters and the first n agree.
int equal_prefix_nocase(std::string& a, std::string& b, int n);
// 1 when both hold at least n bytes and the first n agree ignoring case (copies are compared).
int equal_prefix_bytes_nocase(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, int n);
// Every string lower-cased in place.
void lower_all_strings(std::vector<std::string>& strings);
// 1 to 12 when the first three characters equal "Jan" to "Dec" ignoring case, else -1 (also for null).
int month_abbrev_to_number(const char* text);
// The serial (name) and its short form from a device instance path ('#'-separated) or another path ('/'
// or '\'); sep is in/out. 1 with both outputs, or 0 (outputs cleared).
int device_path_serial(std::string& name, std::string& short_name, std::string& sep, const std::string& path);
// Searches the printable ASCII runs (bytes 32-126, a leading blank skipped) of data for needle ignoring
// case; each match appends base_offset + its position in data. offsets is cleared unless append. 1 when
// offsets is non-empty; 0 for null data, length 0 or an empty needle.
int find_text_in_ascii_runs(const std::string& needle, const std::uint8_t* data, std::uint64_t length,
                            std::vector<std::uint64_t>& offsets, int base_offset, bool append);
// The same over UTF-16LE runs (a unit 32-126 followed by a zero byte), at either byte alignment. 1 (also
// when nothing matched); 0 for null data, length 0 or an empty needle. Never reads a unit that does not
// lie wholly within length.
int find_text_in_utf16_runs(const std::string& needle, const std::uint8_t* data, std::uint64_t length,
                            std::vector<std::uint64_t>& offsets, int base_offset, bool append);
// Removes every occurrence of piece from the first `size` bytes of buffer (ignoring case with nocase).
// When something was removed, buffer becomes a new array of the bytes kept and size its length; else
// buffer (its storage too) is left as it was. 1; 0 for an empty buffer, size 0 or a null or empty piece.
// A size larger than the buffer counts as the buffer's size.
int remove_all_in_buffer(std::vector<std::uint8_t>& buffer, std::size_t& size, const char* piece,
                         bool nocase);
// Removes every element of one tag (matched ignoring case) from its opening tag with its attributes
// through its closing tag, and every self-closing tag of that name, in place. size becomes the number of
// bytes kept. 1; 0 for a null buffer, size 0 or a null or empty tag name.
int strip_markup_elements(std::uint8_t* buffer, std::size_t& size, const char* tag);
