#include "common/text_builders.h"

#include <iomanip>
#include <sstream>

#include "common/case_conv.h"
#include "common/encoding.h"
#include "common/hex_text.h"
#include "common/int_parsers.h"
#include "common/text_ops.h"

namespace {

// What replaces the last separator of a header line.
const char kHeaderTail[] = "   ";

template <class Text>
std::uint32_t length_of(const Text& text) {
    return static_cast<std::uint32_t>(text.size());
}

// The widths used and the positions after each column, shared by the narrow and the wide header.
template <class Text>
void column_layout(std::vector<std::uint32_t>& positions, std::vector<std::uint32_t>& widths,
                   const std::vector<Text>& names, std::uint32_t separator_length) {
    const bool given = widths.size() == names.size();
    std::vector<std::uint32_t> used;
    used.reserve(names.size());
    positions.push_back(0);
    std::uint32_t total = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::uint32_t width = length_of(names[i]);
        if (given && widths[i] > width) width = widths[i];
        used.push_back(width);
        total += width + separator_length;
        positions.push_back(total);
    }
    widths.swap(used);
}

template <class Map, class Key>
void keep_larger(Map& map, const Key& key, std::uint32_t width) {
    auto it = map.find(key);
    if (it == map.end()) {
        map.emplace(key, width);
    } else if (width > it->second) {
        it->second = width;
    }
}

bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }

void capitalize(std::string& word) {
    if (!word.empty() && is_lower(word[0])) word[0] = static_cast<char>(word[0] - 'a' + 'A');
}

char word_separator(std::uint32_t flags) {
    if (flags & kWordsUnderscore) return '_';
    if (flags & kWordsBlank) return ' ';
    if (flags & kWordsDot) return '.';
    if (flags & kWordsSlash) return '/';
    if (flags & kWordsBackslash) return '\\';
    if (flags & kWordsBar) return '|';
    return 0;
}

void apply_case(std::string& word, std::uint32_t flags, bool first) {
    if (flags & kWordsCapitalizeAll) {
        capitalize(word);
    } else if (flags & kWordsCapitalizeFirst) {
        if (first) capitalize(word);
    } else if (flags & kWordsUpper) {
        for (char& c : word)
            if (is_lower(c)) c = static_cast<char>(c - 'a' + 'A');
    } else if (flags & kWordsLower) {
        for (char& c : word)
            if (is_upper(c)) c = static_cast<char>(c - 'A' + 'a');
    }
}

bool is_placeholder_digit(char c) { return c >= '1' && c <= '9'; }

bool same_nocase(const std::string& a, const char* b) {
    std::string x = a;
    std::string y = b;
    if (x.size() != y.size()) return false;
    return string_to_lower(x) == string_to_lower(y);
}

}  // namespace

int build_column_header(std::ostream& os, std::vector<std::uint32_t>& positions,
                        std::map<std::string, std::uint32_t>& widths_by_name,
                        std::vector<std::uint32_t>& widths, const std::vector<std::string>& names,
                        const std::string& separator, bool end_line) {
    positions.clear();
    widths_by_name.clear();
    if (names.empty()) return 0;
    column_layout(positions, widths, names, length_of(separator));
    std::ostringstream line;
    for (std::size_t i = 0; i < names.size(); ++i) {
        line << std::left << std::setw(static_cast<int>(widths[i])) << names[i] << separator;
        std::string key = names[i];
        trim_whitespace(key);
        keep_larger(widths_by_name, string_to_lower(key), widths[i]);
    }
    // The whole last separator goes, even one longer than the blanks that take its place.
    erase_stream_tail(line, static_cast<int>(separator.size()), true);
    line << kHeaderTail;
    if (end_line) line << '\n';
    os << line.str();
    return 1;
}

int build_column_header_wide(std::ostream& os, std::vector<std::uint32_t>& positions,
                             std::map<std::wstring, std::uint32_t>& widths_by_name,
                             std::vector<std::uint32_t>& widths, const std::vector<std::wstring>& names,
                             const std::wstring& separator) {
    positions.clear();
    widths_by_name.clear();
    if (names.empty()) return 0;
    column_layout(positions, widths, names, length_of(separator));
    const std::string separator_utf8 = wstring_to_utf8(separator);
    std::string line;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) line += separator_utf8;
        line += wstring_to_utf8(names[i]);
        // Padding counts characters, not UTF-8 bytes, so columns line up with the recorded positions.
        line.append(widths[i] - length_of(names[i]), ' ');
        std::wstring key = names[i];
        trim_wide(key);
        wstring_to_lower(key);
        keep_larger(widths_by_name, key, widths[i]);
    }
    line += '\n';
    os << line;
    return 1;
}

std::string join_words_styled_list(std::uint32_t flags, const std::vector<std::string>& words) {
    const char separator = word_separator(flags);
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string word = words[i];
        apply_case(word, flags, i == 0);
        out += word;
        if (separator != 0 && i + 1 < words.size()) out.push_back(separator);
    }
    return out;
}

std::string join_words_styled_array(std::uint32_t flags, const char* const* words, std::size_t available) {
    std::size_t count = flags & kWordsCountMask;
    if (words == nullptr) count = 0;
    if (count > available) count = available;
    std::vector<std::string> list;
    for (std::size_t i = 0; i < count; ++i) list.emplace_back(words[i] != nullptr ? words[i] : "");
    return join_words_styled_list(flags, list);
}

int split_placeholders(std::vector<std::string>& segments, std::multimap<int, int>& numbered,
                       std::multimap<char, int>& lettered, const std::string& templ) {
    segments.clear();
    numbered.clear();
    lettered.clear();
    if (templ.empty()) return 0;
    std::size_t pos = templ.find('%');
    segments.push_back(templ.substr(0, pos));
    while (pos != std::string::npos && pos + 1 < templ.size()) {
        const int index = static_cast<int>(segments.size());
        std::size_t length = 2;
        if (is_placeholder_digit(templ[pos + 1])) {
            if (pos + 2 < templ.size() && is_placeholder_digit(templ[pos + 2])) length = 3;
            std::int32_t number = 0;
            const std::string digits = templ.substr(pos + 1, length - 1);
            cstr_to_int(digits.c_str(), &number);
            numbered.emplace(number, index);
        } else {
            lettered.emplace(templ[pos + 1], index);
        }
        segments.push_back(templ.substr(pos, length));
        const std::size_t after = pos + length;
        pos = templ.find('%', after);
        segments.push_back(templ.substr(after, pos == std::string::npos ? std::string::npos : pos - after));
    }
    return segments.empty() ? 0 : 1;
}

int take_counted_argument(const char* name, std::string& value, std::vector<std::string>& items,
                          std::vector<std::string>& args) {
    value.clear();
    items.clear();
    if (name == nullptr) return 0;
    std::size_t at = 0;
    while (at < args.size() && !same_nocase(args[at], name)) ++at;
    if (at + 1 >= args.size()) return 0;
    value = args[at + 1];
    std::int32_t count = 0;
    cstr_to_int(value.c_str(), &count);
    const std::size_t following = args.size() - (at + 2);
    const std::size_t taken = count > 0 ? static_cast<std::size_t>(count) : 0;
    if (taken > following) return 0;
    items.assign(args.begin() + static_cast<std::ptrdiff_t>(at + 2),
                 args.begin() + static_cast<std::ptrdiff_t>(at + 2 + taken));
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(at),
               args.begin() + static_cast<std::ptrdiff_t>(at + 2 + taken));
    return 1;
}
