// Random bytes, numbers and strings from the C library generator; case-insensitive character
// comparisons for narrow and wide text; difference and symmetric difference of sorted sets.
#ifndef SELK_COMMON_RANDOM_SETS_H
#define SELK_COMMON_RANDOM_SETS_H

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

// Draws one value between the two bounds, both included; the bounds may come in either order.
// The process-wide generator is seeded from the clock's microseconds on the first draw.
// Not synchronised: concurrent draws may repeat values.
std::uint8_t random_byte(std::uint8_t lo, std::uint8_t hi);

// Four random bytes; the first one drawn becomes the most significant byte.
std::uint32_t random_u32();

// n characters from 33 to 126; empty for n below 1.
std::string random_printable_string(int n);
// n characters 'A' to 'Z'; empty for n below 1.
std::string random_upper_string(int n);
// n characters from '0'-'9' and 'a'-'f'; empty for n below 1.
std::string random_hex_string(int n);
// n characters from '0'-'9', 'A'-'Z' and 'a'-'z'; empty for n below 1.
std::string random_alnum_string(int n);
// n decimal digits, the first never '0'; one digit even when n is below 1.
std::string random_digit_string(int n);

// Case-insensitive comparisons: both characters are upper-cased before they are compared.
// Narrow characters keep their signed order, so bytes 0x80 and above sort before ASCII.
bool char_lt_nocase(char a, char b);
bool char_eq_nocase(char a, char b);
// First of `count` characters at `text` equal to `c` ignoring case, or null (also for a null text).
const char* char_find_nocase(const char* text, std::size_t count, char c);
// -1, 0 or 1 by the first of `count` character pairs that differ ignoring case.
int char_compare_nocase(const char* a, const char* b, std::size_t count);

bool wchar_lt_nocase(wchar_t a, wchar_t b);
bool wchar_eq_nocase(wchar_t a, wchar_t b);
const wchar_t* wchar_find_nocase(const wchar_t* text, std::size_t count, wchar_t c);
int wchar_compare_nocase(const wchar_t* a, const wchar_t* b, std::size_t count);

// Two character codes equal after upper-casing both.
bool int_eq_nocase(int a, int b);

// out = the values of a that b lacks, ascending. Returns 1 only when a is non-empty, b is
// non-empty and every value of a lies in b; 0 otherwise (an empty a gives an empty out, an
// empty b gives all of a).
int set_difference_to_vector(std::vector<std::uint64_t>& out, const std::set<std::uint64_t>& a,
                             const std::set<std::uint64_t>& b);

// out = the values in exactly one of the sets, ascending. Returns 1 when out is empty because
// the sets are equal (also both empty); 0 otherwise (when exactly one set is empty, out is the other).
int set_symmetric_difference_to_vector(std::vector<std::uint64_t>& out, const std::set<std::uint64_t>& a,
                                       const std::set<std::uint64_t>& b);

#endif  // SELK_COMMON_RANDOM_SETS_H
