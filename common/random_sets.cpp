#include "common/random_sets.h"

#include <sys/time.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <iterator>

namespace {

// Set on the first draw and never cleared; the generator is seeded once per process.
bool g_random_seeded = false;

void seed_once() {
    if (g_random_seeded) return;
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    srand(static_cast<unsigned>(tv.tv_usec));
    g_random_seeded = true;
}

// Draws characters in [lo, hi] until `accept` takes one.
template <typename Accept>
char draw_until(std::uint8_t lo, std::uint8_t hi, Accept accept) {
    for (;;) {
        char c = static_cast<char>(random_byte(lo, hi));
        if (accept(c)) return c;
    }
}

template <typename Draw>
std::string draw_string(int n, Draw draw) {
    std::string s;
    if (n < 1) return s;
    s.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) s.push_back(draw());
    return s;
}

// toupper over the character's signed value; values outside the C library's domain
// (negative bytes) are left as they are rather than passed on, which would be undefined.
int upper_narrow(char c) {
    int v = static_cast<signed char>(c);
    return v >= 0 ? std::toupper(v) : v;
}

wint_t upper_wide(wchar_t c) { return std::towupper(static_cast<wint_t>(c)); }

}  // namespace

std::uint8_t random_byte(std::uint8_t lo, std::uint8_t hi) {
    seed_once();
    if (lo > hi) std::swap(lo, hi);
    unsigned span = static_cast<unsigned>(hi - lo) + 1;
    return static_cast<std::uint8_t>(lo + static_cast<unsigned>(rand()) % span);
}

std::uint32_t random_u32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | random_byte(0, 255);
    return v;
}

std::string random_printable_string(int n) {
    return draw_string(n, [] { return static_cast<char>(random_byte(33, 126)); });
}

std::string random_upper_string(int n) {
    return draw_string(n, [] { return static_cast<char>(random_byte(65, 90)); });
}

std::string random_hex_string(int n) {
    return draw_string(n, [] {
        return draw_until(48, 102, [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
    });
}

std::string random_alnum_string(int n) {
    return draw_string(n, [] {
        return draw_until(48, 122, [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        });
    });
}

std::string random_digit_string(int n) {
    std::string s(1, static_cast<char>(random_byte(49, 57)));
    for (int i = 1; i < n; ++i) s.push_back(static_cast<char>(random_byte(48, 57)));
    return s;
}

bool char_lt_nocase(char a, char b) { return upper_narrow(a) < upper_narrow(b); }

bool char_eq_nocase(char a, char b) { return upper_narrow(a) == upper_narrow(b); }

const char* char_find_nocase(const char* text, std::size_t count, char c) {
    if (text == nullptr) return nullptr;
    for (std::size_t i = 0; i < count; ++i)
        if (char_eq_nocase(text[i], c)) return text + i;
    return nullptr;
}

int char_compare_nocase(const char* a, const char* b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        int ua = upper_narrow(a[i]);
        int ub = upper_narrow(b[i]);
        if (ua < ub) return -1;
        if (ua > ub) return 1;
    }
    return 0;
}

bool wchar_lt_nocase(wchar_t a, wchar_t b) { return upper_wide(a) < upper_wide(b); }

bool wchar_eq_nocase(wchar_t a, wchar_t b) { return upper_wide(a) == upper_wide(b); }

const wchar_t* wchar_find_nocase(const wchar_t* text, std::size_t count, wchar_t c) {
    if (text == nullptr) return nullptr;
    for (std::size_t i = 0; i < count; ++i)
        if (wchar_eq_nocase(text[i], c)) return text + i;
    return nullptr;
}

int wchar_compare_nocase(const wchar_t* a, const wchar_t* b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        wint_t ua = upper_wide(a[i]);
        wint_t ub = upper_wide(b[i]);
        if (ua < ub) return -1;
        if (ua > ub) return 1;
    }
    return 0;
}

bool int_eq_nocase(int a, int b) {
    // Only codes the C library defines (EOF and 0..255) go through toupper.
    auto up = [](int v) { return (v == EOF || (v >= 0 && v <= 255)) ? std::toupper(v) : v; };
    return up(a) == up(b);
}

int set_difference_to_vector(std::vector<std::uint64_t>& out, const std::set<std::uint64_t>& a,
                             const std::set<std::uint64_t>& b) {
    out.clear();
    if (a.empty()) return 0;
    if (b.empty()) {
        out.assign(a.begin(), a.end());
        return 0;
    }
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out.empty() ? 1 : 0;
}

int set_symmetric_difference_to_vector(std::vector<std::uint64_t>& out, const std::set<std::uint64_t>& a,
                                       const std::set<std::uint64_t>& b) {
    out.clear();
    if (a.empty() != b.empty()) {
        const std::set<std::uint64_t>& other = a.empty() ? b : a;
        out.assign(other.begin(), other.end());
        return 0;
    }
    std::set_symmetric_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out.empty() ? 1 : 0;
}
