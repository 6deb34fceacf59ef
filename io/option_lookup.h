// Finding options by name in argument lists, without regard to case; "take" forms remove what they find.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Removes entry `index` of `list`, keeping the order of the rest. False when index is not below the size.
bool erase_vector_entry(std::size_t index, std::vector<std::string>& list);
// Removes entry `index` of the C argument array: later pointers move down and *count drops by one.
// False when index is not below *count (or count/array is null).
bool remove_argv_entry(int index, int* count, char** array);

// False when the lengths differ (nothing changed); otherwise lower-cases both in place and compares them.
bool equals_nocase(std::string& a, std::string& b);

// Vector form: the search starts at element 0 unless a skip_first flag says otherwise; every operation
// stops at the first matching entry. An entry too near the end for its values gives false with the list
// unchanged.

// True when `name` is present; the entry is removed unless keep is set.
bool take_option_flag(const char* name, std::vector<std::string>& args, bool keep);
// Takes the entry after `name` into out and removes both.
bool take_option_value(const char* name, std::string& out, std::vector<std::string>& args);
bool take_option_value_str(const std::string& name, std::string& out, std::vector<std::string>& args);
// Takes the two (three) entries after `name` and removes all three (four).
bool take_option_values2(const char* name, std::string& out1, std::string& out2,
                         std::vector<std::string>& args);
bool take_option_values3(const char* name, std::string& out1, std::string& out2, std::string& out3,
                         std::vector<std::string>& args);
// Gives the matching entry as written (its own case) and removes it.
bool take_option_word(const char* name, std::string& out, std::vector<std::string>& args);
// The name is '-' followed by the letters 'a'-'z' among the eight bytes of `packed`, most significant first.
bool take_packed_option(std::uint64_t packed, std::vector<std::string>& args, bool keep);
// Gives the entry after `name`; removes nothing.
bool get_option_value(const char* name, std::string& out, const std::vector<std::string>& args,
                      bool skip_first);
// True when `name` is present; removes nothing.
bool has_option(const char* name, const std::vector<std::string>& args, bool skip_first);

// C array form: the search starts at index 1 (index 0 is the program name).
bool take_option_flag_argv(const char* name, int* count, char** array, bool keep);
bool has_option_argv(const char* name, int* count, char** array);
bool take_option_value_argv(const char* name, std::string& out, int* count, char** array);
bool get_option_value_argv(const char* name, std::string& out, int* count, char** array);
bool take_option_values2_argv(const char* name, std::string& out1, std::string& out2, int* count,
                              char** array);
bool take_option_values3_argv(const char* name, std::string& out1, std::string& out2, std::string& out3,
                              int* count, char** array);
bool take_option_values4_argv(const char* name, std::string& out1, std::string& out2, std::string& out3,
                              std::string& out4, int* count, char** array);
