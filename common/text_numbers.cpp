#include "common/text_numbers.h"

#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "common/byte_search.h"
#include "common/case_conv.h"
#include "common/encoding.h"
#include "common/int_parsers.h"
#include "common/split_join.h"
#include "common/string_lists.h"

namespace {

// Longest text cstr_to_u64 accepts, leading blanks included.
constexpr std::size_t kMaxU64Text = 30;
constexpr std::size_t kMaxHexDigits = 16;
constexpr std::size_t kMaxOctalDigits = 22;
constexpr std::size_t kMaxDecimalText = 20;

// Stream extraction of an unsigned 64-bit value in the given base; 0 when it fails.
std::uint64_t stream_extract_u64(const std::string& digits, int base) {
    std::istringstream in(digits);
    unsigned long long v = 0;
    in >> (base == 16 ? std::hex : base == 8 ? std::oct : std::dec) >> v;
    return in.fail() ? 0 : static_cast<std::uint64_t>(v);
}

// The value of one digit in `base` (8, 10 or 16); -1 for any other character.
int digit_value(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

// The value of `n` characters as stream extraction in `base` reads them, without a stream for the usual
// forms: an optional sign, then digits (in base 10 up to the first other character, in 8 and 16 to the end;
// a minus negates modulo 2^64). Other forms (blanks before, prefixes) go through a stream. 0 when it fails,
// also on overflow.
std::uint64_t extract_u64(const char* p, std::size_t n, int base) {
    std::size_t i = 0;
    const bool negative = n != 0 && p[0] == '-';
    if (n != 0 && (p[0] == '-' || p[0] == '+')) ++i;
    std::size_t end = i;
    if (base == 10) {
        // Up to 19 digits cannot overflow: they are summed without checks (the usual case by far).
        std::uint64_t value = 0;
        while (end < n && end - i < 19 && static_cast<unsigned char>(p[end] - '0') < 10) {
            value = value * 10 + static_cast<std::uint64_t>(p[end] - '0');
            ++end;
        }
        if (end > i && (end == n || static_cast<unsigned char>(p[end] - '0') >= 10))
            return negative ? 0 - value : value;
        end = i;
    }
    while (end < n && digit_value(p[end], base) >= 0) ++end;
    // No digit where the number must start: the extraction fails, unless blanks it would skip come first.
    if (end == i && n != 0 && !std::isspace(static_cast<unsigned char>(p[0]))) return 0;
    if (end == i || (base != 10 && end != n)) return stream_extract_u64(std::string(p, n), base);
    const std::uint64_t b = static_cast<std::uint64_t>(base);
    std::uint64_t value = 0;
    for (; i < end; ++i) {
        const std::uint64_t d = static_cast<std::uint64_t>(digit_value(p[i], base));
        if (__builtin_mul_overflow(value, b, &value) || __builtin_add_overflow(value, d, &value)) return 0;
    }
    return negative ? 0 - value : value;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::vector<std::string> blank_words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

// strtoul in base 16 over the whole word; false when it is not a byte value.
bool hex_byte(const std::string& word, unsigned long* v) {
    *v = std::strtoul(word.c_str(), nullptr, 16);
    return *v <= 255;
}

// Tab stops every this many columns when the caller gives 0.
constexpr std::uint32_t kDefaultTabWidth = 4;

// The line end of a text, decided once: CR LF when it occurs anywhere, else LF, else CR, else none.
// `unit` is 1 for bytes and 2 for UTF-16LE units (matched at even offsets only).
std::string detect_tab_line_end(const std::uint8_t* buf, std::uint32_t size, std::uint32_t unit) {
    auto has = [&](const std::string& pattern) {
        for (std::uint32_t i = 0; i + pattern.size() <= size; i += unit)
            if (std::memcmp(buf + i, pattern.data(), pattern.size()) == 0) return true;
        return false;
    };
    const std::string crlf = unit == 1 ? std::string("\r\n") : std::string("\r\0\n\0", 4);
    const std::string lf = unit == 1 ? std::string("\n") : std::string("\n\0", 2);
    const std::string cr = unit == 1 ? std::string("\r") : std::string("\r\0", 2);
    for (const std::string* p : {&crlf, &lf, &cr})
        if (has(*p)) return *p;
    return std::string();
}

// Copies the text and widens every unit at the given TAB offsets to blanks up to the next tab stop.
std::string expand_at(const std::uint8_t* buf, std::uint32_t size, std::uint32_t width, std::uint32_t unit,
                      const std::vector<std::uint32_t>& tabs) {
    const std::string line_end = detect_tab_line_end(buf, size, unit);
    const std::string blank = unit == 1 ? std::string(" ") : std::string(" \0", 2);
    std::string out;
    std::uint64_t column = 0;
    std::size_t next_tab = 0;
    std::uint32_t i = 0;
    while (i < size) {
        if (next_tab < tabs.size() && tabs[next_tab] == i) {
            std::uint64_t n = width - column % width;
            for (std::uint64_t k = 0; k < n; ++k) out += blank;
            column += n;
            ++next_tab;
            i += unit;
        } else if (!line_end.empty() && size - i >= line_end.size() &&
                   std::memcmp(buf + i, line_end.data(), line_end.size()) == 0) {
            out += line_end;
            column = 0;
            i += static_cast<std::uint32_t>(line_end.size());
        } else {
            std::uint32_t n = size - i < unit ? size - i : unit;  // an odd last byte is copied alone
            out.append(reinterpret_cast<const char*>(buf + i), n);
            ++column;
            i += n;
        }
    }
    return out;
}

bool write_file(const char* path, const std::string& data) {
    if (path == nullptr) return false;
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
    f.close();
    return f.good();
}

}  // namespace

bool cstr_to_u64(const char* text, std::uint64_t* out) {
    if (out != nullptr) *out = 0;
    if (text == nullptr || out == nullptr) return false;
    // The usual text, a column's integer: up to 19 digits after an optional minus, and nothing else. It
    // passes every check below and reads as the decimal branch reads it.
    {
        const char* p = text + (text[0] == '-' ? 1 : 0);
        std::uint64_t value = 0;
        int digits = 0;
        while (digits < 19 && static_cast<unsigned char>(p[digits] - '0') < 10) {
            value = value * 10 + static_cast<std::uint64_t>(p[digits] - '0');
            ++digits;
        }
        if (digits != 0 && p[digits] == '\0') {
            *out = text[0] == '-' ? 0 - value : value;
            return true;
        }
    }
    const std::size_t total = strnlen(text, kMaxU64Text + 1);
    if (total > kMaxU64Text) return false;
    std::size_t start = 0;
    while (start < total && text[start] == ' ') ++start;
    const char* w = text + start;
    const std::size_t len = total - start;
    if (len == 0 || std::memchr(w, ' ', len) != nullptr) return false;

    if (len >= 3 && (w[1] == 'x' || w[1] == 'X' || w[0] == 'x' || w[0] == 'X')) {
        const std::size_t skip = (w[1] == 'x' || w[1] == 'X') ? 2 : 1;
        if (len - skip > kMaxHexDigits) return false;
        *out = extract_u64(w + skip, len - skip, 16);
    } else if (w[0] == 'o' || w[0] == 'O') {
        if (len - 1 > kMaxOctalDigits) return false;
        *out = extract_u64(w + 1, len - 1, 8);
    } else {
        if (len > kMaxDecimalText) return false;
        *out = extract_u64(w, len, 10);
    }
    return true;
}

bool string_to_u64(const std::string& text, std::uint64_t* out) { return cstr_to_u64(text.c_str(), out); }

bool wstring_to_u64(const std::wstring& text, std::uint64_t* out) {
    return cstr_to_u64(wstring_to_utf8(text).c_str(), out);
}

bool cstr_to_double(const char* text, double* out) {
    if (text == nullptr || *text == '\0' || out == nullptr) return false;
    *out = std::atof(text);
    return true;
}

bool wide_cstr_to_double(const wchar_t* text, double* out) {
    if (text == nullptr) return false;
    std::string utf8;
    return cstr_to_double(wide_cstr_to_utf8(text, utf8).c_str(), out);
}

bool cstr_to_float(const char* text, float* out) {
    if (text == nullptr || out == nullptr) return false;
    double d = std::atof(text);
    // Narrowing a double outside the float range is undefined; such values become infinities.
    if (d > FLT_MAX)
        *out = HUGE_VALF;
    else if (d < -FLT_MAX)
        *out = -HUGE_VALF;
    else
        *out = static_cast<float>(d);
    return true;
}

bool wide_cstr_to_float(const wchar_t* text, float* out) {
    if (text == nullptr) return false;
    std::string utf8;
    return cstr_to_float(wide_cstr_to_utf8(text, utf8).c_str(), out);
}

bool hex_float_text_to_double(std::string& text, double* out) {
    if (out != nullptr) *out = 0;
    if (out == nullptr || text.size() < 3) return false;
    string_to_lower(text);
    std::string t = text;
    bool negative = false;
    if (t[0] == '-') {
        negative = true;
        t.erase(0, 1);
    }
    if (t.size() < 2 || t[0] != '0' || t[1] != 'x') return false;
    t.erase(0, 2);

    long exponent = 0;
    std::string mantissa = t;
    std::size_t p = t.find('p');
    if (p != std::string::npos) {
        // atoi's reading, through strtol so that a huge exponent is defined.
        exponent = std::strtol(t.c_str() + p + 1, nullptr, 10);
        mantissa = t.substr(0, p);
    }
    std::string int_digits = mantissa;
    std::string frac_digits;
    std::size_t dot = mantissa.find('.');
    if (dot != std::string::npos) {
        int_digits = mantissa.substr(0, dot);
        frac_digits = mantissa.substr(dot + 1);
    }
    double value = 0;
    for (char c : int_digits) {
        int d = hex_digit(c);
        if (d < 0) return false;
        value = value * 16 + d;
    }
    double weight = 1.0 / 16;
    for (char c : frac_digits) {
        int d = hex_digit(c);
        if (d < 0) return false;
        value += d * weight;
        weight /= 16;
    }
    if (exponent > INT_MAX) exponent = INT_MAX;
    if (exponent < INT_MIN) exponent = INT_MIN;
    value = std::ldexp(value, static_cast<int>(exponent));
    *out = negative ? -value : value;
    return true;
}

bool first_word(const std::string& text, std::string* word) {
    if (text.empty() || word == nullptr) return false;
    word->clear();
    std::istringstream in(text);
    in >> *word;
    return true;
}

bool pop_first_word(std::string* text, std::string* word) {
    if (text == nullptr || !first_word(*text, word)) return false;
    std::size_t pos = text->find(*word);
    if (pos != std::string::npos) text->erase(pos, word->size());
    return true;
}

std::uint32_t split_words_quoted(const char* text, std::uint32_t max_words, std::vector<std::string>* out,
                                 bool join_quotes) {
    if (text == nullptr || out == nullptr) return 0;
    std::istringstream in(text);
    std::vector<std::string> words;
    std::string w;
    while ((max_words == 0 || words.size() < max_words) && in >> w) words.push_back(w);
    const std::uint32_t read = static_cast<std::uint32_t>(words.size());

    if (!join_quotes || words.size() < 2) {
        out->insert(out->end(), words.begin(), words.end());
        return read;
    }
    bool in_run = false;
    std::string run;
    for (const auto& word : words) {
        if (!in_run) {
            if (word[0] != '"') {
                out->push_back(word);
            } else if (word.size() > 1 && word.back() == '"') {
                out->push_back(word.substr(1, word.size() - 2));
            } else {
                in_run = true;
                run = word.substr(1) + " ";
            }
            continue;
        }
        if (word.back() != '"') {
            run += word + " ";
            continue;
        }
        if (word.size() > 1) run += word.substr(0, word.size() - 1);
        out->push_back(run);
        in_run = false;
        run.clear();
    }
    if (in_run) out->push_back(run);
    return read;
}

bool split_quoted_tokens(const std::string& text, std::vector<std::string>* out) {
    if (text.empty()) return false;
    return split_words_quoted(text.c_str(), 0, out, true) > 0;
}

bool resplit_args(std::vector<std::string>* out, std::uint32_t argc, const char* const* argv, char sep) {
    if (out == nullptr) return false;
    std::string line;
    if (argc > static_cast<std::uint32_t>(INT_MAX) ||
        join_args_quoted(line, static_cast<int>(argc), argv) == 0)
        return false;
    out->clear();
    if (sep != ' ') return split_string(line, sep, *out, false, false, false) != 0;
    return split_words_quoted(line.c_str(), 0, out, true) > 0;
}

bool parse_token_byte_list(const std::string& text, std::vector<std::uint8_t>* out) {
    if (out == nullptr) return false;
    out->clear();
    std::vector<std::string> tokens;
    split_quoted_tokens(text, &tokens);
    for (const auto& t : tokens) {
        std::uint32_t v = 0;
        if (cstr_to_uint(t.c_str(), &v)) out->push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    return !out->empty();
}

bool parse_byte_pattern16(const std::string& text, std::vector<std::uint16_t>* out) {
    if (out == nullptr) return false;
    out->clear();
    for (std::string word : blank_words(text)) {
        if (word == "??") {
            out->push_back(kPatternAny);
        } else if (word[0] == '*') {
            out->push_back(kPatternGap);
            word.erase(0, 1);
            if (word.size() > 2) return false;
            out->push_back(static_cast<std::uint16_t>(std::strtoul(word.c_str(), nullptr, 16) & 0xFF));
        } else {
            unsigned long v = 0;
            if (word.size() != 2 || !hex_byte(word, &v)) return false;
            out->push_back(static_cast<std::uint16_t>(v));
        }
    }
    // A pattern cannot end in a wildcard or a gap: they match nothing after the last literal byte.
    for (;;) {
        std::size_t n = out->size();
        if (n >= 1 && (*out)[n - 1] == kPatternAny) {
            out->pop_back();
        } else if (n >= 2 && (*out)[n - 1] < kPatternAny && (*out)[n - 2] == kPatternGap) {
            out->resize(n - 2);
        } else {
            break;
        }
    }
    for (std::size_t i = 0; i < out->size(); ++i) {
        if ((*out)[i] != kPatternGap) continue;
        if (i + 2 < out->size() && ((*out)[i + 2] == kPatternAny || (*out)[i + 2] == kPatternGap))
            return false;
        ++i;  // the gap length is never a marker
    }
    return !out->empty();
}

bool parse_byte_pattern8(const std::string& text, std::vector<std::uint8_t>* out) {
    if (out == nullptr) return false;
    out->clear();
    for (const std::string& word : blank_words(text)) {
        if (word.size() >= 3) return false;
        if (word == "??") {
            out->push_back(0xFF);
            out->push_back(0xFF);
            continue;
        }
        unsigned long v = 0;
        if (!hex_byte(word, &v)) return false;
        out->push_back(static_cast<std::uint8_t>(v));
    }
    return true;
}

int expand_tabs(const std::uint8_t* buf, std::uint32_t size, std::uint32_t tab_width, std::string& out,
                bool utf16) {
    if (buf == nullptr || size == 0) return 0;
    if (utf16 && expand_tabs_utf16(buf, size, tab_width, out)) return 1;
    const std::uint8_t tab = '\t';
    std::vector<std::uint32_t> tabs;
    if (!find_all_byte_pattern_u32(buf, size, &tab, 1, tabs, false, false)) return 0;
    out = expand_at(buf, size, tab_width == 0 ? kDefaultTabWidth : tab_width, 1, tabs);
    return 1;
}

int expand_tabs_utf16(const std::uint8_t* buf, std::uint32_t size, std::uint32_t tab_width,
                      std::string& out) {
    if (buf == nullptr || size < 2) return 0;
    const std::uint8_t tab[2] = {'\t', 0};
    std::vector<std::uint32_t> found;
    find_all_byte_pattern_u32(buf, size, tab, 2, found, false, false);
    // Only whole units count: a TAB byte pair straddling two units is not a TAB.
    std::vector<std::uint32_t> tabs;
    for (std::uint32_t pos : found)
        if (pos % 2 == 0) tabs.push_back(pos);
    if (tabs.empty()) return 0;
    out = expand_at(buf, size, tab_width == 0 ? kDefaultTabWidth : tab_width, 2, tabs);
    return 1;
}

bool expand_tabs_in_file(const char* in_path, const char* out_path, std::uint32_t tab_width, bool utf16) {
    if (in_path == nullptr) return false;
    std::ifstream in(in_path, std::ios::binary);
    if (!in) return false;
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() > 0xFFFFFFFFu) return false;
    std::string text;
    if (expand_tabs(reinterpret_cast<const std::uint8_t*>(data.data()),
                    static_cast<std::uint32_t>(data.size()), tab_width, text, utf16))
        return write_file(out_path, text);
    // Nothing to expand: the output is the input as it stands, never an empty file.
    if (out_path == nullptr) return true;
    return write_file(out_path, data);
}
