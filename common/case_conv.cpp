#include "common/case_conv.h"

#include <cctype>
#include <locale>

// Each operation keeps its own static locale, built on first use, so that a locale change made later
// by the program does not alter how names already being compared are folded.

void string_to_upper(std::string& s) {
    if (s.empty()) return;
    static const std::locale loc;
    const std::ctype<char>& facet = std::use_facet<std::ctype<char>>(loc);
    for (char& c : s) c = facet.toupper(c);
}

std::string& string_to_lower(std::string& s) {
    if (s.empty()) return s;
    static const std::locale loc;
    const std::ctype<char>& facet = std::use_facet<std::ctype<char>>(loc);
    for (char& c : s) c = facet.tolower(c);
    return s;
}

void buffer_to_lower(char* buf, int length) {
    if (buf == nullptr || length <= 0) return;
    static const std::locale loc;
    const std::ctype<char>& facet = std::use_facet<std::ctype<char>>(loc);
    for (int i = 0; i < length; ++i) buf[i] = facet.tolower(buf[i]);
}

void replace_non_letters(std::string& s) {
    for (char& c : s)
        if (!std::isalpha(static_cast<unsigned char>(c))) c = '_';
}
