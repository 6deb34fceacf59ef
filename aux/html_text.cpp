#include "aux/html_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <type_traits>

#include "common/line_endings.h"
#include "common/substrings.h"
#include "common/text_ops.h"
#include "common/text_rewrite.h"
#include "common/tokenizers.h"
#include "io/file_utils.h"
#include "io/fileio.h"

namespace {

// Files are read whole, up to the largest size the file layer reads at once.
constexpr std::uint32_t kMaxFileBytes = 0xFFFFFFFFu;
// Heading marks stop at the deepest heading level HTML has, whatever number a tag carries.
constexpr unsigned kMaxHeadingLevel = 6;
// Attribute names longer than this are refused.
constexpr std::size_t kMaxAttributeName = 256;

template <typename Ch>
Ch ascii_lower(Ch c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<Ch>(c - 'A' + 'a') : c;
}

template <typename Str>
bool starts_with_nocase(const Str& text, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (ascii_lower(text[i]) != static_cast<typename Str::value_type>(prefix[i])) return false;
    }
    return true;
}

bool starts_with(const std::string& text, std::size_t at, const char* prefix) {
    return text.compare(at, std::strlen(prefix), prefix) == 0;
}

template <typename Ch>
bool is_blank(Ch c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void trim_token(std::string& s) { trim_whitespace(s); }
void trim_token(std::wstring& s) {
    const std::size_t b = s.find_first_not_of(L" \t\r\n");
    if (b == std::wstring::npos) {
        s.clear();
        return;
    }
    s = s.substr(b, s.find_last_not_of(L" \t\r\n") - b + 1);
}

template <typename Str>
void push_token(std::vector<Str>& out, Str& token, bool trim) {
    if (trim) {
        trim_token(token);
        if (token.empty()) return;
    }
    out.push_back(token);
}

// The tokenizer over any character type; characters are widened into Str one by one.
template <typename Ch, typename Str>
bool tokenize(const Ch* p, std::size_t n, std::vector<Str>& out, bool trim) {
    if (p == nullptr || n == 0) return false;
    Str run;
    Str tag;
    bool in_tag = false;
    bool raw = false;
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<typename Str::value_type>(p[i]);
        bool ordinary = true;
        if (c == '<') {
            const auto next = i + 1 < n ? static_cast<typename Str::value_type>(p[i + 1]) : 0;
            if (!(raw && next != '/')) {
                ordinary = false;
                if (!raw && (next == '%' || next == '?')) {
                    out.push_back(run);  // pushed even when empty: the block starts a new token
                    raw = true;
                } else {
                    push_token(out, run, trim);
                    raw = false;
                }
                run.clear();
                in_tag = true;
                tag.assign(1, c);
            }
        }
        if (ordinary) (in_tag ? tag : run).push_back(c);
        if (c != '>') continue;
        if (tag.empty()) {
            in_tag = false;
            continue;
        }
        if (raw) {
            const auto before = tag.size() >= 2 ? tag[tag.size() - 2] : 0;
            if (before != '%' && before != '?') continue;  // a "<%" or "<?" block runs on
            raw = false;
        } else if (starts_with_nocase(tag, "<pre>") || starts_with_nocase(tag, "<script")) {
            raw = true;
        } else if (starts_with_nocase(tag, "</pre>") || starts_with_nocase(tag, "</script")) {
            raw = false;
        }
        push_token(out, tag, trim);
        tag.clear();
        in_tag = false;
    }
    return !out.empty();
}

template <typename Str>
void normalize_tag(Str& token) {
    typedef typename Str::value_type Ch;
    Str out;
    bool dq = false;
    bool sq = false;
    bool after_eq = false;
    bool in_blanks = false;
    bool unquoted = false;
    for (Ch c : token) {
        if (is_blank(c)) {
            if (unquoted) {
                out.push_back('"');
                unquoted = false;
            }
            if (in_blanks || after_eq) continue;
            out.push_back(c);
            in_blanks = true;
            continue;
        }
        if (c == '"' && !sq) {
            dq = !dq;
            after_eq = false;
            in_blanks = false;
            out.push_back(c);
            continue;
        }
        if (c == '\'' && !dq) {
            sq = !sq;
            after_eq = false;
            in_blanks = false;
            out.push_back(c);
            continue;
        }
        if (c == '=' && !dq && !sq) {
            if (in_blanks && !out.empty()) out.pop_back();
            in_blanks = false;
            after_eq = true;
            out.push_back(c);
            continue;
        }
        in_blanks = false;
        if (c == '>' && unquoted) {
            out.push_back('"');
            unquoted = false;
        }
        if (dq || sq) {
            out.push_back(c);
        } else if (after_eq && c != '>') {
            out.push_back('"');
            out.push_back(c);  // the first character of an unquoted value keeps its case
            after_eq = false;
            unquoted = true;
        } else {
            out.push_back(ascii_lower(c));
        }
    }
    if (unquoted) out.push_back('"');
    token.swap(out);
}

template <typename Str>
bool normalize_all(std::vector<Str>& tokens) {
    if (tokens.empty()) return false;
    for (Str& token : tokens) {
        if (token.empty() || token[0] != '<') continue;
        if (token.size() >= 2 && (token[1] == '?' || token[1] == '%')) continue;
        normalize_tag(token);
    }
    return true;
}

template <typename Ch>
bool same_at(const Ch* text, std::size_t length, std::size_t at, const std::basic_string<Ch>& what,
             bool nocase) {
    if (what.empty() || what.size() > length - at) return false;
    for (std::size_t k = 0; k < what.size(); ++k) {
        Ch a = text[at + k];
        Ch b = what[k];
        if (nocase) {
            a = ascii_lower(a);
            b = ascii_lower(b);
        }
        if (a != b) return false;
    }
    return true;
}

template <typename Ch>
bool replace_table(const Ch* text, std::size_t length, const std::vector<std::basic_string<Ch>>& find,
                   const std::vector<std::basic_string<Ch>>& replace, std::basic_string<Ch>& out,
                   bool ignore_case, bool escape_unprintable) {
    out.clear();
    if (text == nullptr || length == 0 || find.empty() || find.size() != replace.size()) return false;
    for (std::size_t i = 0; i < length;) {
        const Ch c = text[i];
        if (c == '\r' || c == '\n') {
            out.push_back(c);
            ++i;
            continue;
        }
        const auto code = static_cast<std::uint32_t>(static_cast<typename std::make_unsigned<Ch>::type>(c));
        if (escape_unprintable && (code < 0x20 || code > 0x7E)) {
            char hex[12];
            std::snprintf(hex, sizeof hex, "%%%02x", static_cast<unsigned>(code));
            for (const char* h = hex; *h != '\0'; ++h) out.push_back(static_cast<Ch>(*h));
            ++i;
            continue;
        }
        bool matched = false;
        for (std::size_t k = 0; k < find.size(); ++k) {
            if (!same_at(text, length, i, find[k], ignore_case)) continue;
            out += replace[k];
            i += find[k].size();
            matched = true;
            break;
        }
        if (!matched) {
            out.push_back(c);
            ++i;
        }
    }
    return true;
}

// Digits at `at` as a heading level, capped at kMaxHeadingLevel; 0 when there are none.
unsigned heading_level(const std::string& tag, std::size_t at) {
    unsigned level = 0;
    for (std::size_t i = at; i < tag.size() && tag[i] >= '0' && tag[i] <= '9'; ++i) {
        level = level * 10 + static_cast<unsigned>(tag[i] - '0');
        if (level >= kMaxHeadingLevel) return kMaxHeadingLevel;
    }
    return level;
}

struct list_state {
    bool ordered = false;  // inside an ordered list
    int counter = 0;       // items of the ordered list so far
};

// The text that one tag (from its "<") becomes; empty for a tag that matches no rule.
std::string convert_tag(const std::string& t, list_state& list) {
    if (starts_with(t, 0, "<h")) return std::string(heading_level(t, 2), '=');
    if (starts_with(t, 0, "</h")) return std::string(heading_level(t, 3), '=');
    if (starts_with(t, 0, "<pre")) return "[%";
    if (starts_with(t, 0, "<p")) return "\n";
    if (starts_with(t, 0, "<br/>")) return "// ";
    if (starts_with(t, 0, "<blockquote")) return "[\"";
    if (starts_with(t, 0, "</blockquote")) return "\"]";
    if (starts_with(t, 0, "</pre")) return "%]";
    if (starts_with(t, 0, "<i>") || starts_with(t, 0, "<strong>") || starts_with(t, 0, "</i>") ||
        starts_with(t, 0, "</strong>"))
        return "*";
    if (starts_with(t, 0, "<b>") || starts_with(t, 0, "</b>")) return "_";
    if (starts_with(t, 0, "<sup") || starts_with(t, 0, "</sup")) return "^";
    if (starts_with(t, 0, "<sub") || starts_with(t, 0, "</sub")) return "~";
    if (starts_with(t, 0, "<code") || starts_with(t, 0, "</code")) return "%";
    if (starts_with(t, 0, "<img ")) {
        std::string src;
        std::string alt;
        std::string out = "[";
        if (attribute_value_quoted(t.data(), t.size(), "src", src)) out += src;
        out += ", ";
        if (attribute_value_quoted(t.data(), t.size(), "alt", alt)) out += alt;
        return out + "]";
    }
    if (starts_with(t, 0, "<ul")) {
        list.ordered = false;
        return std::string();
    }
    if (starts_with(t, 0, "<ol")) {
        list.ordered = true;
        list.counter = 0;
        return std::string();
    }
    if (starts_with(t, 0, "<li")) {
        if (!list.ordered) return "*";
        return std::to_string(++list.counter) + ". ";
    }
    return std::string();
}

bool write_file(const std::string& path, const std::string& text) {
    uni::fileio out(path, true, false, true);
    if (!out.is_open()) return false;
    const bool ok = text.empty() || out.write(text.data(), static_cast<std::uint32_t>(text.size())) == 1;
    out.close();
    return ok;
}

// Position of the first occurrence of `what` in text[from, length), or npos.
std::size_t find_within(const char* text, std::size_t length, std::size_t from, const std::string& what) {
    if (what.empty() || from > length || what.size() > length - from) return std::string::npos;
    for (std::size_t i = from; i + what.size() <= length; ++i) {
        if (std::memcmp(text + i, what.data(), what.size()) == 0) return i;
    }
    return std::string::npos;
}

std::size_t find_char_within(const char* text, std::size_t length, std::size_t from, char c) {
    for (std::size_t i = from; i < length; ++i) {
        if (text[i] == c) return i;
    }
    return std::string::npos;
}

// The attribute search shared by find_attribute_with_offset and find_attribute_value. `eq` receives the
// position of the "=" and `size` the characters after it through the end of the value.
bool find_attribute(const std::string& tag, std::size_t length, const std::string& name, std::string& value,
                    std::size_t& eq, std::size_t& size) {
    value.clear();
    if (name.empty() || name.size() > kMaxAttributeName) return false;
    length = std::min(length, tag.size());
    const std::string lower_name = [&] {
        std::string s = name;
        for (char& c : s) c = ascii_lower(c);
        return s;
    }();
    std::size_t at = std::string::npos;
    for (std::size_t p = 0; p + name.size() <= length && at == std::string::npos; ++p) {
        if (same_at(tag.data(), length, p, lower_name, true)) at = p;
    }
    if (at == std::string::npos) return false;
    eq = find_char_within(tag.data(), length, at, '=');
    if (eq == std::string::npos) return false;
    std::size_t i = eq + 1;
    while (i < length && tag[i] == ' ') ++i;
    if (i >= length) return false;
    const char quote = tag[i];
    if (quote == '"' || quote == '\'') {
        for (++i; i < length; ++i) {
            if (tag[i] == quote) {
                size = i - eq;
                return true;
            }
            if (tag[i] != '\r' && tag[i] != '\n') value.push_back(tag[i]);
        }
        return false;
    }
    for (; i < length; ++i) {
        if (tag[i] == ' ' || tag[i] == '\r') {
            size = i - eq - 1;
            return true;
        }
        value.push_back(tag[i]);
    }
    return false;
}

typedef std::vector<std::pair<std::string, std::uint64_t>> tag_list;

bool markup_tags(const std::uint8_t* bytes, std::size_t length, tag_list& tags) {
    if (bytes == nullptr || length == 0) return false;
    // The tag scanner counts in int; a larger buffer is scanned up to that limit.
    const int n = length > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(length);
    return extract_markup_tags_with_offsets(bytes, n, tags) != 0;
}

bool collect_values(const std::uint8_t* bytes, std::size_t length, std::vector<std::string>& out,
                    const char* first, const char* second) {
    tag_list tags;
    if (markup_tags(bytes, length, tags)) {
        for (const auto& t : tags) {
            std::string v;
            if (find_attribute_value(t.first, t.first.size(), first, v) ||
                (second != nullptr && find_attribute_value(t.first, t.first.size(), second, v)))
                out.push_back(v);
        }
    }
    return !out.empty();
}

}  // namespace

// ---------------------------------------------------------------- string_offset_size

string_offset_size::string_offset_size(const std::string& found, std::uint64_t at, std::uint64_t length) {
    clear();
    text = found;
    offset = at;
    size = length;
}

void string_offset_size::clear() {
    text.clear();
    text_2.clear();
    text_3.clear();
    number_1 = number_2 = offset = size = 0;
}

// ---------------------------------------------------------------- tokens

bool tokenize_markup(const std::uint8_t* bytes, std::size_t length, std::vector<std::string>& out,
                     bool trim) {
    return tokenize<std::uint8_t, std::string>(bytes, length, out, trim);
}

bool tokenize_markup_w(const std::uint16_t* units, std::size_t length_bytes, std::vector<std::wstring>& out) {
    return tokenize<std::uint16_t, std::wstring>(units, length_bytes / 2, out, false);
}

bool normalize_tags(std::vector<std::string>& tokens) { return normalize_all(tokens); }
bool normalize_tags_w(std::vector<std::wstring>& tokens) { return normalize_all(tokens); }

// ---------------------------------------------------------------- replacing and escaping

bool replace_by_table(const char* text, std::size_t length, const std::vector<std::string>& find,
                      const std::vector<std::string>& replace, std::string& out, bool ignore_case,
                      bool escape_unprintable) {
    return replace_table(text, length, find, replace, out, ignore_case, escape_unprintable);
}

bool replace_by_table_w(const wchar_t* text, std::size_t length, const std::vector<std::wstring>& find,
                        const std::vector<std::wstring>& replace, std::wstring& out, bool ignore_case,
                        bool escape_unprintable) {
    return replace_table(text, length, find, replace, out, ignore_case, escape_unprintable);
}

std::string escape_markup_chars(const char* text) {
    static const std::vector<std::string> kFind = {"<", ">", "&"};
    static const std::vector<std::string> kReplace = {"&lt;", "&gt;", "&amp;"};
    if (text == nullptr) return std::string();
    std::string out;
    if (!replace_by_table(text, std::strlen(text), kFind, kReplace, out, true, true))
        return latin1_to_utf8(text);
    return latin1_to_utf8(out.c_str());
}

std::string escape_markup_chars(const std::string& text) { return escape_markup_chars(text.c_str()); }

std::wstring escape_markup_chars_w(const std::wstring& text) {
    static const std::vector<std::wstring> kFind = {L"<", L">", L"&"};
    static const std::vector<std::wstring> kReplace = {L"&lt;", L"&gt;", L"&amp;"};
    std::wstring out;
    if (!replace_by_table_w(text.c_str(), text.size(), kFind, kReplace, out, true, false)) return text;
    return out;
}

void html_escape_text(std::string& out, const std::string& text) {
    static const std::vector<std::string> kFind = {"&", "<", ">", "\"", "'"};
    static const std::vector<std::string> kReplace = {"&amp;", "&lt;", "&gt;", "&quot;", "&#39;"};
    out.clear();
    if (text.empty()) return;
    if (!replace_by_table(text.data(), text.size(), kFind, kReplace, out, false, false)) out = text;
    replace_all_in_place(out, "\r\n", "<br />");
}

// ---------------------------------------------------------------- attributes and elements

bool attribute_value_quoted(const char* tag, std::size_t length, const std::string& name, std::string& out) {
    out.clear();
    if (tag == nullptr) return false;
    const std::size_t at = find_within(tag, length, 0, name);
    if (at == std::string::npos) return false;
    const std::size_t eq = find_char_within(tag, length, at + name.size(), '=');
    if (eq == std::string::npos) return false;
    const std::size_t open = find_char_within(tag, length, eq + 1, '"');
    if (open == std::string::npos) return false;
    const std::size_t close = find_char_within(tag, length, open + 1, '"');
    if (close == std::string::npos) return false;
    out.assign(tag + open + 1, close - open - 1);
    return true;
}

bool nth_attribute(const char* tag, std::size_t length, int n, std::string& name, std::string& value) {
    name.clear();
    value.clear();
    if (tag == nullptr || n < 1 || length < 2 || tag[0] != '<' || tag[1] == ' ') return false;
    const std::size_t gt = find_char_within(tag, length, 1, '>');
    if (gt == std::string::npos) return false;
    std::size_t pos = find_char_within(tag, gt, 1, ' ');
    if (pos == std::string::npos) return false;
    for (int k = 1;; ++k) {
        const std::size_t eq = find_char_within(tag, gt, pos, '=');
        if (eq == std::string::npos) return false;
        const std::size_t open = find_char_within(tag, gt, eq + 1, '"');
        const std::size_t close = open == std::string::npos ? open : find_char_within(tag, gt, open + 1, '"');
        if (close == std::string::npos) return false;
        if (k == n) {
            for (std::size_t i = pos; i < eq; ++i) {
                if (tag[i] != ' ') name.push_back(tag[i]);
            }
            value.assign(tag + open + 1, close - open - 1);
            return true;
        }
        pos = close + 1;
    }
}

bool element_text(const char* text, std::size_t length, const std::string& name, std::string& out) {
    out.clear();
    if (text == nullptr || name.empty()) return false;
    const std::size_t start = find_within(text, length, 0, "<" + name);
    if (start == std::string::npos) return false;
    const std::size_t gt = find_char_within(text, length, start, '>');
    if (gt == std::string::npos) return false;
    const std::size_t end = find_within(text, length, gt + 1, "</" + name + ">");
    if (end == std::string::npos) return false;
    out.assign(text + gt + 1, end - gt - 1);
    return true;
}

bool find_attribute_with_offset(const std::string& tag, std::uint64_t tag_offset, std::size_t length,
                                const std::string& name, string_offset_size& out) {
    out.clear();
    std::size_t eq = 0;
    std::size_t size = 0;
    std::string value;
    if (!find_attribute(tag, length, name, value, eq, size)) return false;
    out.text = value;
    out.offset = tag_offset + eq;
    out.size = size;
    return true;
}

bool find_attribute_value(const std::string& tag, std::size_t length, const std::string& name,
                          std::string& out) {
    std::size_t eq = 0;
    std::size_t size = 0;
    return find_attribute(tag, length, name, out, eq, size);
}

// ---------------------------------------------------------------- links

bool extract_links_with_offsets(const std::uint8_t* bytes, std::size_t length, link_map& out) {
    tag_list tags;
    if (markup_tags(bytes, length, tags)) {
        for (const auto& t : tags) {
            string_offset_size found;
            if (find_attribute_with_offset(t.first, t.second, t.first.size(), "href", found) ||
                find_attribute_with_offset(t.first, t.second, t.first.size(), "src", found)) {
                out.emplace(found.text, std::make_pair(static_cast<std::int32_t>(found.offset),
                                                       static_cast<std::int32_t>(found.size)));
            }
        }
    }
    return !out.empty();
}

bool collect_src_values(const std::uint8_t* bytes, std::size_t length, std::vector<std::string>& out) {
    return collect_values(bytes, length, out, "src", nullptr);
}
bool collect_href_values(const std::uint8_t* bytes, std::size_t length, std::vector<std::string>& out) {
    return collect_values(bytes, length, out, "href", nullptr);
}
bool collect_link_values(const std::uint8_t* bytes, std::size_t length, std::vector<std::string>& out) {
    return collect_values(bytes, length, out, "href", "src");
}

bool erase_first_in_buffer(char* buffer, const char* text, bool ignore_case) {
    if (buffer == nullptr || text == nullptr) return false;
    std::string s = buffer;
    std::string token = text;
    if (!erase_first(s, token, ignore_case)) return false;
    std::memcpy(buffer, s.c_str(), s.size() + 1);  // shorter than what the buffer held
    return true;
}

// ---------------------------------------------------------------- files

// Marks written for the tags of an HTML file (after normalize_tags, so names are lower case): "=" per
// heading level, "[%" "%]" around pre, a line feed for p, "// " for br, [" "] around blockquote, "*"
// for i and strong, "_" for b, "^" sup, "~" sub, "%" code, "[src, alt]" for img, "N. " or "*" for li.
// Behind the converted text every token is written once more as it stands.
int html_file_to_text(const char* input_path, const char* output_path) {
    if (input_path == nullptr || output_path == nullptr) return 0;
    uni::fileio out(std::string(output_path), true, false, true);
    if (!out.is_open()) return 0;
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> tokens;
    if (!read_file_to_vector(bytes, input_path, kMaxFileBytes) ||
        !tokenize_markup(bytes.data(), bytes.size(), tokens, false)) {
        out.close();
        return 0;
    }
    normalize_tags(tokens);
    std::string text;
    list_state list;
    for (const std::string& token : tokens) {
        const std::size_t lt = token.find('<');
        if (lt == std::string::npos) {
            text += token;
        } else {
            text += convert_tag(token.substr(lt), list);
        }
    }
    for (const std::string& token : tokens) text += token;
    if (!text.empty()) (void)out.write(text.data(), static_cast<std::uint32_t>(text.size()));
    out.close();
    return 0;
}

int strip_script_elements_file(const char* input_path, const char* output_path, bool in_place) {
    if (input_path == nullptr) return 0;
    std::vector<std::uint8_t> bytes;
    if (!read_file_to_vector(bytes, input_path, kMaxFileBytes)) return 0;
    std::size_t size = bytes.size();
    (void)strip_markup_elements(bytes.data(), size, "script");
    const std::string kept(reinterpret_cast<const char*>(bytes.data()),
                           strnlen(reinterpret_cast<const char*>(bytes.data()), size));
    const char* target = in_place ? input_path : output_path;
    uni::fileio out;
    if (target != nullptr) (void)out.open(std::string(target), true, false, true);
    if (!kept.empty()) {
        if (out.is_open()) {
            (void)out.write(kept.data(), static_cast<std::uint32_t>(kept.size()));
        } else {
            std::printf("%s", kept.c_str());
        }
    }
    out.close();
    return 1;
}

bool remove_text_from_file(const std::string& path, const std::string& text, bool ignore_case) {
    std::vector<std::uint8_t> bytes;
    if (!read_file_to_vector(bytes, path, kMaxFileBytes)) return false;
    std::size_t size = bytes.size();
    if (!remove_all_in_buffer(bytes, size, text.c_str(), ignore_case)) return false;
    return write_file(path,
                      std::string(reinterpret_cast<const char*>(bytes.data()), std::min(size, bytes.size())));
}
