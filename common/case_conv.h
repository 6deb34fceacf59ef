// Locale-based upper- and lower-casing of narrow text, in place.
// Each case operation captures its own copy of the global locale at its first call (with a non-empty
// input); later changes of the global locale do not reach an operation already called.
#pragma once

#include <string>

// Upper-cases s in place through the ctype<char> facet of this operation's captured locale.
void string_to_upper(std::string& s);
// Lower-cases s in place; returns s so calls can be chained.
std::string& string_to_lower(std::string& s);
// Lower-cases the first `length` characters of buf. Null buf or length <= 0 does nothing; will not
// touch buf[length] or beyond.
void buffer_to_lower(char* buf, int length);
// Replaces every character that the C library does not classify as alphabetic with '_'.
void replace_non_letters(std::string& s);
