// Report text from collected data: a file's zone information, a byte buffer as hex or as the strings in
// it, the lines of a text that begin with a prefix, and the difference of two string lists. Writers
// append to the caller's stream; nothing reads past the length given.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

// zone_info={"key":"value";...} in ascending key order; nothing for an empty map. With annotate, a key
// that begins with "ZoneId" whose value reads (cstr_to_uint) as 0-4 gets the zone's name inside the value's
// closing quote: " [local machine]", " [intranet]", " [trusted]", " [internet]", " [untrusted]".
void write_zone_info(std::ostream& os, const std::map<std::string, std::string>& zone, bool annotate);

// Without `strings`: every byte as two hex digits, a blank between bytes (the stream is left in hex,
// right-aligned, fill '0'). With it: the printable ASCII strings (no TAB, CR, LF) and UTF-16LE strings of
// at least min_length characters, in the order found when only one kind is found, else by offset (ASCII
// first at equal offsets), separated by `separator`. 1 when something was written; 0 for null bytes, a
// length of 0, with `strings` a length below min_length, or no string found.
int write_bytes_or_strings(std::ostream& os, const std::uint8_t* bytes, std::uint32_t length, bool strings,
                           std::uint32_t min_length, const std::string& separator);

// The text is the first length - 1 bytes of the buffer, cut at CR LF when it holds one, else at LF (a text
// with neither gives 0). Lines that begin with the prefix (ignoring case, over the prefix's length) are
// appended to out without their separator; without `all` the first one ends the search. 1 when a line
// matched; 0 for a null buffer or prefix or a zero length.
int find_prefixed_lines(const std::uint8_t* buffer, std::uint32_t length, const char* prefix,
                        std::vector<std::string>& out, bool all);

// Appends to out (not cleared), in ascending byte order with duplicates kept, the strings of a left after
// every string equal to one of b is removed. With nocase, both sides are compared, and appended, in their
// lower-cased forms. Returns 1.
int string_multiset_difference(const std::vector<std::string>& a, const std::vector<std::string>& b,
                               std::vector<std::string>& out, bool nocase);
