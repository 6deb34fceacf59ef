// The parser of key-name filter lines: each "!" modifier found is recorded as a bit of the filter's
// flag word (and, for the bracketed forms, as text) and removed from the line; what remains is the key
// path. Searches are case-sensitive and take the first occurrence anywhere in the line. Every read of
// the characters after a modifier stops at the end of the line.
#include <string>

#include "common/int_parsers.h"
#include "common/text_numbers.h"
#include "common/text_ops.h"
#include "common/text_rewrite.h"
#include "time/keyname_filter.h"

namespace {

constexpr std::size_t npos = std::string::npos;

bool contains(const std::string& line, const char* what) { return line.find(what) != npos; }

// Removes the first occurrence again and again until none is left.
void erase_all(std::string& line, const std::string& what) {
    for (std::size_t p = line.find(what); p != npos; p = line.find(what)) line.erase(p, what.size());
}

void clear_flag(keyname_filter& f, unsigned bit) {
    f.flags[bit / 8] = static_cast<std::uint8_t>(f.flags[bit / 8] & ~(1u << (bit % 8)));
}

// The number written in `count` characters from `at` (fewer when the line ends first); 0 when they are
// not a number.
std::uint32_t read_count(const std::string& line, std::size_t at, std::size_t count) {
    std::uint32_t v = 0;
    if (at >= line.size()) return 0;
    const std::string digits = line.substr(at, count);
    if (!cstr_to_uint(digits.c_str(), &v)) v = 0;
    return v;
}

// A counting modifier at `p` (its text `len` long): the character after it says how many count
// characters follow ("0": none, "1" or "2": that many), and the modifier, that character and the count
// characters are erased. Anything else sets the count 0 and erases the modifier alone.
void take_count(keyname_filter& f, std::string& line, std::size_t p, std::size_t len) {
    const std::size_t after = p + len;
    const char c = after < line.size() ? line[after] : '\0';
    std::size_t erase = len;
    f.digit_count = 0;
    if (c == '0') {
        erase = len + 1;
    } else if (c == '1' || c == '2') {
        const std::size_t n = c == '1' ? 1 : 2;
        f.digit_count = read_count(line, after + 1, n);
        erase = len + 1 + n;
    }
    line.erase(p, erase);  // erase() stops at the end of the line
}

// Erases from `p` up to the next '!' after it, or to the end of the line.
void erase_to_next_bang(std::string& line, std::size_t p) {
    const std::size_t next = line.find('!', p + 1);
    line.erase(p, next == npos ? npos : next - p);
}

// A bracketed form "<opener>text)" at its first occurrence: the text goes to *out (appended to `list`
// when given), the bit is set and the form erased. Without ")" the text from the opener up to the next
// '!' is erased and nothing is stored. False when the opener is absent.
bool take_bracketed(keyname_filter& f, std::string& line, const std::string& opener, unsigned bit,
                    std::string* out, std::vector<std::string>* list) {
    const std::size_t p = line.find(opener);
    if (p == npos) return false;
    const std::size_t start = p + opener.size();
    const std::size_t close = line.find(')', start);
    if (close == npos) {
        erase_to_next_bang(line, p);
        return true;
    }
    const std::string text = line.substr(start, close - start);
    if (out != nullptr) *out = text;
    if (list != nullptr) list->push_back(text);
    f.set_flag(bit);
    line.erase(p, close + 1 - p);
    return true;
}

// Step 2: the whole-line modifiers. True when one applied (nothing else is then parsed).
bool take_whole_line_modifier(keyname_filter& f, std::string& line) {
    if (contains(line, "!AN")) {
        erase_all(line, "!AN");
        f.set_flag(56);
        return true;
    }
    if (!contains(line, "!AFN") && contains(line, "!AF")) {
        erase_all(line, "!AF");
        f.set_flag(58);
        return true;
    }
    if (contains(line, "!AP")) {
        erase_all(line, "!AP");
        if (line.find('/') == npos) {
            const std::string path = keyname_filter::get_common_path(line);
            if (!path.empty()) line = path;
        }
        f.set_flag(57);
        return true;
    }
    return false;
}

void take_plain_switches(keyname_filter& f, std::string& line) {
    struct plain {
        const char* text;
        unsigned bit;
    };
    static const plain kBefore[] = {{"!JC", 60}, {"!R", 0},    {"!WP", 2}, {"!NR", 43},
                                    {"!SS", 49}, {"!B64", 59}, {"!Z", 21}};
    static const plain kAfter[] = {{"!L2TS", 53}, {"!DM", 14}, {"!DA", 15},
                                   {"!DC", 16},   {"!DB", 17}, {"!DE", 61}};
    for (const plain& s : kBefore) {
        if (!contains(line, s.text)) continue;
        f.set_flag(s.bit);
        erase_all(line, s.text);
    }
    const std::size_t sk = line.find("!SK");
    if (sk != npos) {
        if (sk + 3 < line.size() && line[sk + 3] == 'V') {
            f.set_flag(55);
            erase_all(line, "!SKV");
        }
        if (contains(line, "!SK")) {
            f.set_flag(52);
            erase_all(line, "!SK");
        }
    }
    for (const plain& s : kAfter) {
        if (!contains(line, s.text)) continue;
        f.set_flag(s.bit);
        erase_all(line, s.text);
    }
}

// "!CT": a count, then optionally "(name:value)".
void take_ct(keyname_filter& f, std::string& line) {
    const std::size_t p = line.find("!CT");
    if (p == npos) return;
    take_count(f, line, p, 3);
    if (p < line.size() && line[p] == '(') {
        const std::size_t colon = line.find(':', p + 1);
        const std::size_t close = colon == npos ? npos : line.find(')', colon + 1);
        if (close != npos) {
            f.value_name = line.substr(p + 1, colon - p - 1);
            f.extra_text = line.substr(colon + 1, close - colon - 1);
            f.set_flag(51);
            line.erase(p, close + 1 - p);
            return;
        }
        // A "(" form without its ":" or ")" leaves the modifier unrecorded.
        clear_flag(f, 51);
    } else {
        f.set_flag(51);
    }
    // The rest up to the next modifier belongs to the unusable "!CT" form.
    if (p < line.size()) {
        const std::size_t next = line.find('!', p);
        line.erase(p, next == npos ? npos : next - p);
    }
}

// Every "!S(name:value)" form in turn.
void take_pairs(keyname_filter& f, std::string& line) {
    for (std::size_t p = line.find("!S("); p != npos; p = line.find("!S(")) {
        const std::size_t colon = line.find(':', p + 3);
        const std::size_t close = colon == npos ? npos : line.find(')', colon + 1);
        if (close == npos) {
            erase_to_next_bang(line, p);
            continue;
        }
        f.pairs.emplace(line.substr(p + 3, colon - p - 3), line.substr(colon + 1, close - colon - 1));
        f.set_flag(34);
        line.erase(p, close + 1 - p);
    }
}

void take_counting_and_text_modifiers(keyname_filter& f, std::string& line) {
    struct counting {
        const char* text;
        unsigned bit;
    };
    static const counting kCounting[] = {{"!BP", 45}, {"!TS", 8},  {"!TF", 3},  {"!TAH", 19},
                                         {"!TAA", 9}, {"!TC", 11}, {"!TH", 10}, {"!TU", 4},
                                         {"!TO", 5},  {"!TG", 6},  {"!TMG", 7}, {"!TMZ", 12}};
    for (const counting& m : kCounting) {
        const std::size_t p = line.find(m.text);
        if (p == npos) continue;
        const std::string text = m.text;
        f.set_flag(m.bit);
        if (m.bit == 19) {
            line.erase(p, text.size());  // "!TAH" carries no count
        } else {
            take_count(f, line, p, text.size());
        }
    }
    const std::size_t sp = line.find("!SP");
    if (sp != npos) {
        f.digit_count = read_count(line, sp + 3, 1);
        line.erase(sp, 4);
        f.set_flag(47);
    }
    take_bracketed(f, line, "!SC(", 48, &f.extra_text, nullptr);
    while (take_bracketed(f, line, "!SR(", 46, nullptr, &f.sort_texts)) {
    }
    take_bracketed(f, line, "!AFN(", 32, &f.value_name, nullptr);
    take_bracketed(f, line, "!CFN(", 50, &f.value_name, nullptr);
    take_ct(f, line);
    take_pairs(f, line);
}

}  // namespace

std::string keyname_filter::get_common_path(const std::string& text) {
    std::uint64_t mask = 0;
    std::string out;
    if (!cstr_to_u64(text.c_str(), &mask)) return out;
    return build_library_subpath(out, static_cast<unsigned>(mask));
}

bool keyname_filter::parse(std::string& line) {
    clear();
    if (!take_whole_line_modifier(*this, line)) {
        if (line.compare(0, 9, "(unnamed)") == 0) set_flag(35);
        if (line == "(all dates)") set_flag(20);
        if (line == "(other fields)") set_flag(44);
        if (contains(line, "!")) {
            take_plain_switches(*this, line);
            take_counting_and_text_modifiers(*this, line);
        }
    }
    trim_whitespace_ex(line, false);
    const std::size_t nl = line.find("\\n");
    if (nl != npos) line.erase(nl, 2);
    key_path = line;
    is_set = true;
    return true;
}
