// Light readers and writers of small structured texts, none of them a full parser: the month-name table
// of the date parsers, key=value lines, a splitter of a JSON array text into its top-level objects,
// value extraction from a JSON object text by string search, JSON arrays into json_object records, and a
// writer of a string map as quoted pairs.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "common/json_record.h"

// Fills "jan" 1 to "dec" 12 when the map is empty; a map holding anything is left alone.
void init_month_name_map(std::map<std::string, int>& months);
// Empties out; for each trimmed line holding '=' (split_byte_lines) the text before the first '=' maps
// to the text after it; the first line naming a key wins. 1 when the map holds an entry.
int parse_key_value_lines(std::map<std::string, std::string>& out, const std::vector<std::uint8_t>& bytes);
// Empties out. Text without '[' (or whose first '{' comes before its first '['): the whole text is the
// one entry; '[' without '{': nothing. Otherwise each balanced top-level {...} group, braces inside
// quoted strings counted like any others; a '}' with no group open is ignored. 1 when out is non-empty.
int split_json_objects(std::vector<std::string>& out, const std::string& text);
// out gets one entry per key: the key's value (quotes stripped) found by searching a lower-cased copy of
// json for the quoted key and the value's end by the separators after it; empty for a key not found.
// 1 after a search; 0 (out emptied) for an empty text or key list.
int extract_json_values(std::vector<std::string>& out, const std::vector<std::string>& keys,
                        const std::string& json);
// The same for values that are arrays of objects: the text from '[' through ']'.
int extract_json_array_values(std::vector<std::string>& out, const std::vector<std::string>& keys,
                              const std::string& json);
// One json_object per object of the array text, its values those of the keys (extract_json_values) and
// its names the keys. Empties out first; 1 when at least one object was read.
int read_json_objects(std::vector<json_object>& out, const std::vector<std::string>& keys,
                      const std::string& text);
// "key":"value" for each pair in key order, separator and a blank between pairs; nothing for an empty map.
void write_quoted_pairs(std::ostream& os, const std::map<std::string, std::string>& pairs, char separator);
