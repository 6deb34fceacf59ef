// The flat JSON object record (names and values in parallel, with a case-folded name index) and small
// independent helpers: null-safe string comparison, case-insensitive wide search, taking a prefixed
// argument out of a wide argument list, rounding and decimal text of floating values, errno and the
// root-user test, and two callback slot fillers.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct json_object {
    std::vector<std::string> names;              // member names in their order
    std::vector<std::string> values;             // member values, parallel to names
    std::map<std::string, std::uint32_t> index;  // lower-cased name -> position

    json_object() = default;
    json_object(const json_object&) = default;
    json_object& operator=(const json_object&) = default;
    ~json_object() = default;

    // Empties both lists and the index.
    void clear();
};

// strcmp of a and b (on lower-cased copies with nocase). Nulls order first: both null 0, a null -1, b null 1.
int compare_cstr(const char* a, const char* b, bool nocase);
// wcscmp twin (lower-cased with wstring_to_lower).
int compare_wide_cstr(const wchar_t* a, const wchar_t* b, bool nocase);
// Pointer into haystack at the first case-insensitive occurrence of needle; null when none or for a null
// argument.
const wchar_t* find_wide_nocase(const wchar_t* haystack, const wchar_t* needle);
// 1 when an argument begins with prefix (ignoring case): it is copied to out and removed from args.
// 0 (nothing changed) otherwise, also for a null or empty prefix.
int take_prefixed_wide_argument(const char* prefix, std::wstring& out, std::vector<std::wstring>& args);
// floor(value x 100 + 0.5) / 100 with the product and the sum in single precision. Values that single
// precision cannot hold (not finite, or beyond its range) come back unchanged.
double round_to_hundredths(double value);
// out = the value in decimal: the integer part, then the fraction at `precision` significant digits
// without its leading "0" (3.25 at precision 3 is "3.25"; 7.0 is "7"). A negative value gets a leading
// '-'; NaN gives "nan", infinities "inf" and "-inf". A fraction that rounds up to 1 carries into the
// integer part. Returns out.
std::string& double_to_text(std::string& out, std::uint32_t precision, double value);
// The C library's errno.
int last_errno();
// 1 when the real or the effective user id is 0.
int is_root_user();
// Callback slot fillers: do nothing, return 0.
int noop_cleanup_callback(const std::string& text);
int zero_callback();
