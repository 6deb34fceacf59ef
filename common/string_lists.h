// String lists and argument vectors: argument arrays to string lists, lists back to one command
// line, lists as C arrays, entry removal, de-duplication, narrow/wide list conversion (UTF-8), and
// switches with their values taken out of wide argument lists.
#ifndef SELK_COMMON_STRING_LISTS_H
#define SELK_COMMON_STRING_LISTS_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// A named pair of lists, filled only as a whole by set_named_lists.
struct named_lists_record {
    std::string name;                 // the lists' name
    std::uint8_t valid = 0;           // 1 once the lists were set
    std::vector<std::string> names;   // one name per value
    std::vector<std::string> values;  // one value per name
};

// Appends one string per array entry (an empty string for a null entry) without emptying out first.
// A null array appends nothing. 1 when out is non-empty.
int cstr_array_to_vector(std::vector<std::string>& out, unsigned count, const char* const* argv);
// The same for wide entries, each converted to UTF-8.
int wcstr_array_to_vector(std::vector<std::string>& out, unsigned count, const wchar_t* const* argv);
// Appends each entry converted to wide text (an empty string for a null entry). 1 when out is non-empty.
int cstr_array_to_wvector(std::vector<std::wstring>& out, int count, const char* const* argv);

// out becomes the converted list, same length and order.
void strings_to_wstrings(std::vector<std::wstring>& out, const std::vector<std::string>& in);
void convert_strings_to_wstrings(const std::vector<std::string>& in, std::vector<std::wstring>& out);
void wstrings_to_strings(std::vector<std::string>& out, const std::vector<std::wstring>& in);
void convert_wstrings_to_strings(const std::vector<std::wstring>& in, std::vector<std::string>& out);

// The UTF-8 form of a wide C string ("" for null).
std::string wide_cstr_to_string(const wchar_t* text);
// out is emptied, then becomes the UTF-8 form of text (empty for null). Returns out.
std::string& wide_cstr_to_utf8(const wchar_t* text, std::string& out);

// Removes the entry at index, keeping the order of the rest. 0 when the index is not below the size;
// a negative index removes nothing and gives 1.
int erase_vector_entry(int index, std::vector<std::string>& v);
int erase_wvector_entry(int index, std::vector<std::wstring>& v);

// out = the entries joined by one blank; an entry holding a blank is written between two `quote`
// characters (quotes inside entries are copied as they are). Always 1.
int join_command_line(std::string& out, const std::vector<std::string>& args, int quote);

// out = the entries in set order, `sep` after each but the last. With skip_empty, empty entries are
// left out and a final character equal to sep's first character is removed. Returns out.
std::string& join_set(std::string& out, const std::set<std::string>& items, const std::string& sep,
                      bool skip_empty);

// One slot per entry in both outputs: its length, and a pointer into the entry's own storage (null for
// an empty entry). The pointers stay valid only while `in` is unchanged. 1 when there is an entry.
int strings_to_c_arrays(std::vector<const char*>& ptrs, std::vector<std::uint32_t>& lengths,
                        const std::vector<std::string>& in);

// out is emptied; when the lists have the same length: for each index the name, then the value when
// non-empty; an empty name empties out and stops. 1 when out is non-empty.
int interleave_name_value_lists(std::vector<std::string>& out, const std::vector<std::string>& names,
                                const std::vector<std::string>& values);

// Removes later duplicates (exact comparison), keeping first occurrences in first-seen order.
void dedupe_strings_keep_order(std::vector<std::string>& v);
void dedupe_wstrings_keep_order(std::vector<std::wstring>& v);

// Finds the first entry equal to the switch ignoring case; removes it unless `keep`. 1 when found.
int take_switch(const char* name, std::vector<std::wstring>& args, bool keep);
// Finds the switch; when an entry follows, out = that entry and both are removed (1); else 0, list unchanged.
int take_switch_with_value(const char* name, std::wstring& out, std::vector<std::wstring>& args);
// Finds the switch; when two entries follow, they go to the outs and all three are removed (1); else 0.
int take_switch_with_two_values(const char* name, std::wstring& out1, std::wstring& out2,
                                std::vector<std::wstring>& args);
// 1 when some entry equals the switch ignoring case; with skip_first the first entry is not examined.
int has_switch(const char* name, const std::vector<std::wstring>& args, bool skip_first);
// The switch "-" + the code's letters (up to eight, first in the most significant byte; only 'a'-'z'
// bytes are used), then as take_switch.
int take_packed_switch(std::uint64_t code, std::vector<std::wstring>& args, bool keep);
// Always 0; the list is not changed.
int check_vmdk_switch(const void* unused, std::vector<std::wstring>& args);

// When names is non-empty and as long as values, sets the record's name and lists and marks it valid;
// else leaves it unchanged. Always 0.
int set_named_lists(named_lists_record& record, const std::string& name,
                    const std::vector<std::string>& names, const std::vector<std::string>& values);

#endif  // SELK_COMMON_STRING_LISTS_H
