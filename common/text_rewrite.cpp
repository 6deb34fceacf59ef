#include "common/text_rewrite.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/text_ops.h"

namespace {

template <class S>
S replaced(const S& text, const S& pattern, const S& replacement) {
    S out;
    out.reserve(text.size() + 256);
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(pattern, pos)) != S::npos; pos = hit + pattern.size()) {
        out.append(text, pos, hit - pos);
        out += replacement;
    }
    out.append(text, pos, S::npos);
    return out;
}

// Position of pattern in text, searching a lower-cased copy when asked.
std::size_t find_first(const std::wstring& text, const std::wstring& pattern, bool ignore_case) {
    if (!ignore_case) return text.find(pattern);
    std::wstring lower = text;
    wstring_to_lower(lower);
    return lower.find(pattern);
}

template <class S>
void escape_impl(S& text, const S& set) {
    using C = typename S::value_type;
    S out;
    out.reserve(text.size() + 16);
    for (C c : text) {
        if (set.find(c) != S::npos) out += static_cast<C>('\\');
        out += c;
    }
    text.swap(out);
}

template <class S, class C>
void insert_before_impl(S& text, C c, C x) {
    if (text.find(c) == S::npos) return;
    S out;
    out.reserve(text.size() + 16);
    for (C ch : text) {
        if (ch == c) out += x;
        out += ch;
    }
    text.swap(out);
}

template <class S>
void flatten_impl(S& text, const S& crlf, const S& lfcr, const S& lf_mark, const S& cr_mark) {
    using C = typename S::value_type;
    const C cr = static_cast<C>('\r');
    const C lf = static_cast<C>('\n');
    if (text.find(lf) == S::npos && text.find(cr) == S::npos) return;
    S out;
    out.reserve(text.size() + 50);
    if (text.find(lf) == S::npos) {
        for (C c : text) {
            if (c == cr)
                out += cr_mark;
            else
                out += c;
        }
        text.swap(out);
        return;
    }
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(lf, pos)) != S::npos;) {
        // The CR must lie in the part not yet copied: in LF CR LF it already belongs to "[LFCR]".
        if (hit > pos && text[hit - 1] == cr) {
            out.append(text, pos, hit - 1 - pos);
            out += crlf;
            pos = hit + 1;
        } else if (hit + 1 < text.size() && text[hit + 1] == cr) {
            out.append(text, pos, hit - pos);
            out += lfcr;
            pos = hit + 2;
        } else {
            out.append(text, pos, hit - pos);
            out += lf_mark;
            pos = hit + 1;
        }
    }
    out.append(text, pos, S::npos);
    text.swap(out);
}

template <class S>
int cut_element(S& out, S& text, const S& tag, const S& open_prefix, const S& close_prefix,
                const S& close_suffix) {
    out.clear();
    if (text.empty() || tag.empty()) return 0;
    std::size_t open = text.find(open_prefix + tag);
    if (open == S::npos) return 0;
    const S closing = close_prefix + tag + close_suffix;
    std::size_t close = text.find(closing, open + tag.size());
    if (close == S::npos) return 0;
    std::size_t end = close + closing.size();
    out = text.substr(open, end - open);
    text.erase(open, end - open);
    return 1;
}

}  // namespace

std::string& replace_all(std::string& out, const std::string& text, const std::string& pattern,
                         const std::string& replacement) {
    out.clear();
    if (text.empty() || pattern.empty()) return out;
    out = replaced(text, pattern, replacement);
    return out;
}

std::string& replace_all_in_place(std::string& text, const std::string& pattern,
                                  const std::string& replacement) {
    if (text.empty() || pattern.empty() || text.find(pattern) == std::string::npos) return text;
    text = replaced(text, pattern, replacement);
    return text;
}

std::string& replace_each(std::string& text, const std::vector<std::string>& patterns,
                          const std::vector<std::string>& replacements) {
    if (text.empty() || patterns.empty() || replacements.empty() || patterns.size() != replacements.size())
        return text;
    for (std::size_t i = 0; i < patterns.size(); ++i)
        replace_all_in_place(text, patterns[i], replacements[i]);
    return text;
}

int replace_first_wide(std::wstring& text, std::wstring& pattern, const std::wstring& replacement,
                       bool ignore_case) {
    if (ignore_case) wstring_to_lower(pattern);
    if (pattern.empty()) return 0;
    std::size_t pos = find_first(text, pattern, ignore_case);
    if (pos == std::wstring::npos) return 0;
    text.replace(pos, pattern.size(), replacement);
    return 1;
}

int replace_first_wide_nocase(std::wstring& text, const wchar_t* pattern, const wchar_t* replacement) {
    if (pattern == nullptr || replacement == nullptr) return 0;
    std::wstring p = pattern;
    return replace_first_wide(text, p, replacement, true);
}

int truncate_at_wide(std::wstring& text, const std::wstring& pattern, bool ignore_case) {
    if (pattern.empty()) return 0;
    std::size_t pos = find_first(text, pattern, ignore_case);
    if (pos == std::wstring::npos) return 0;
    text.erase(pos);
    return 1;
}

int remove_first_wide(std::wstring& text, std::wstring& pattern, bool ignore_case) {
    return replace_first_wide(text, pattern, std::wstring(), ignore_case);
}

void escape_chars(std::string& text, const std::string& set) { escape_impl(text, set); }
void escape_chars_wide(std::wstring& text, const std::wstring& set) { escape_impl(text, set); }
void insert_before_char(std::string& text, char c, char x) { insert_before_impl(text, c, x); }
void insert_before_char_wide(std::wstring& text, wchar_t c, wchar_t x) { insert_before_impl(text, c, x); }

void flatten_line_endings(std::string& text) {
    flatten_impl<std::string>(text, "[CRLF]", "[LFCR]", "[LF]", "[CR]");
}

void flatten_line_endings_wide(std::wstring& text) {
    flatten_impl<std::wstring>(text, L"[CRLF]", L"[LFCR]", L"[LF]", L"[CR]");
}

namespace {
bool is_control_byte(unsigned char c) { return c < 0x20 || c == 0x7f; }

// True when the bytes at `i` are a C1 control character (U+0080 to U+009F) in UTF-8: C2 80 to C2 9F.
// A terminal may act on one as it acts on ESC (U+009B opens a control sequence).
bool is_c1_control_at(const std::string& text, std::size_t i) {
    return static_cast<unsigned char>(text[i]) == 0xC2 && i + 1 < text.size() &&
           (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
}
}  // namespace

bool has_control_bytes(const std::string& text) {
    // Every cell of every row passes here: eight bytes at a time, a word looked at byte by byte only when it
    // holds a byte below 0x20, 0x7F or 0xC2 (which may open a C1 control).
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const auto has_zero_byte = [](std::uint64_t v) { return ((v - kOnes) & ~v & kHighs) != 0; };
    const char* const data = text.data();
    const std::size_t n = text.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, data + i, sizeof w);
        const bool below_0x20 = ((w - 0x20 * kOnes) & ~w & kHighs) != 0;
        if (!below_0x20 && !has_zero_byte(w ^ (0x7F * kOnes)) && !has_zero_byte(w ^ (0xC2 * kOnes))) continue;
        for (std::size_t k = i; k < i + 8; ++k)
            if (is_control_byte(static_cast<unsigned char>(data[k])) || is_c1_control_at(text, k))
                return true;
    }
    for (; i < n; ++i)
        if (is_control_byte(static_cast<unsigned char>(data[i])) || is_c1_control_at(text, i)) return true;
    return false;
}

std::size_t first_byte_to_show(const char* bytes, std::size_t n) {
    // Every cell of every row passes here: eight bytes at a time while a word holds only printable ASCII,
    // byte by byte (a character at a time) past the others.
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const unsigned char* const data = reinterpret_cast<const unsigned char*>(bytes);
    std::size_t i = 0;
    while (i < n) {
        while (n - i >= 8) {
            std::uint64_t w;
            std::memcpy(&w, data + i, sizeof w);
            // No byte from 0x80 up, none below 0x20, no 0x7F.
            if ((w & kHighs) != 0 || ((w - 0x20 * kOnes) & kHighs) != 0 ||
                (((w ^ (0x7F * kOnes)) - kOnes) & kHighs) != 0)
                break;
            i += 8;
        }
        // At least a word's worth byte by byte before the next word is tried: in a text of many characters
        // from 0x80 up, most words would fail.
        for (const std::size_t stop = std::min(n, i + 8); i < stop;) {
            const unsigned char c = data[i];
            if (c < 0x80) {
                if (is_control_byte(c)) return i;
                ++i;
                continue;
            }
            // The common characters of two and three bytes first, whose second byte may be any continuation
            // byte; the others (and what is not valid) as utf8_sequence_length takes them.
            if (c >= 0xC3 && c <= 0xDF && n - i >= 2 && (data[i + 1] & 0xC0) == 0x80) {
                i += 2;
                continue;
            }
            if (c >= 0xE1 && c <= 0xEF && c != 0xED && n - i >= 3 && (data[i + 1] & 0xC0) == 0x80 &&
                (data[i + 2] & 0xC0) == 0x80) {
                i += 3;
                continue;
            }
            const int length = utf8_sequence_length(data + i, n - i);
            if (length <= 0 || (c == 0xC2 && data[i + 1] < 0xA0)) return i;
            i += static_cast<std::size_t>(length);
        }
    }
    return n;
}

void show_control_bytes(std::string& text) {
    if (first_byte_to_show(text.data(), text.size()) == text.size()) return;
    flatten_line_endings(text);
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + 16);
    const unsigned char* const data = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        const unsigned char c = static_cast<unsigned char>(ch);
        if (is_c1_control_at(text, i)) {
            const unsigned char code = static_cast<unsigned char>(text[++i]);
            out += "[U+00";
            out += kHex[code >> 4];
            out += kHex[code & 0xF];
            out += ']';
        } else if (c >= 0x80) {
            const int length = utf8_sequence_length(data + i, text.size() - i);
            if (length > 0) {
                out.append(text, i, static_cast<std::size_t>(length));
                i += static_cast<std::size_t>(length) - 1;
            } else {
                out += "[0x";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
                out += ']';
            }
        } else if (!is_control_byte(c)) {
            out += ch;
        } else if (c == '\r') {
            out += "[CR]";
        } else if (c == '\n') {
            out += "[LF]";
        } else {
            out += "[0x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
            out += ']';
        }
    }
    text.swap(out);
}

bool cell_needs_quotes(const std::string& text, const std::string& separator, bool quoted_mode) {
    if (!separator.empty() && text.find(separator) != std::string::npos) return true;
    if (quoted_mode) return text.find_first_of("\"\r\n") != std::string::npos;
    return !text.empty() && text[0] == '"';
}

void quote_cell(std::string& text) {
    std::string out;
    append_quoted_cell(out, text);
    text.swap(out);
}

void append_quoted_cell(std::string& out, const std::string& text) {
    out.reserve(out.size() + text.size() + 2);
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

int cut_xml_element(std::string& out, std::string& text, const std::string& tag) {
    return cut_element<std::string>(out, text, tag, "<", "</", ">");
}

int cut_xml_element_w(std::wstring& out, std::wstring& text, const std::wstring& tag) {
    return cut_element<std::wstring>(out, text, tag, L"<", L"</", L">");
}

int remove_parenthesized(const std::string& text, std::string& out) {
    out.clear();
    if (text.empty() || text.find('(') == std::string::npos) return 0;
    out = text;
    int removed = 0;
    // Each pass removes at least two characters, so the loop ends.
    for (;;) {
        std::size_t open = out.find('(');
        if (open == std::string::npos) break;
        std::size_t close = out.find(')', open + 1);
        if (close == std::string::npos) break;
        out.erase(open, close - open + 1);
        removed = 1;
    }
    return removed;
}

int get_parenthesized(const std::string& text, std::string& out) {
    out.clear();
    std::size_t open = text.find('(');
    std::size_t close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return 0;
    out = text.substr(open + 1, close - open - 1);
    return out.empty() ? 0 : 1;
}

std::string& qp_encode_lines(std::string& out, const std::string& text) {
    out.clear();
    if (text.empty()) return out;
    std::string escaped;
    replace_all(escaped, text, "=", "=3D");
    out.reserve(escaped.size() + escaped.size() / 25 + 16);
    int count = 0;
    for (char c : escaped) {
        if (count == 75) {
            out += "=\r\n";
            count = 0;
            out += c;
            continue;
        }
        out += c;
        if (c == '\r' || c == '\n')
            count = 0;
        else
            ++count;
    }
    return out;
}

std::string& qp_unescape(std::string& out, const std::string& text) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
            continue;
        }
        if (text.size() - i - 1 < 2) break;
        out.append(text, i + 1, 2);
        i += 2;
    }
    return out;
}

void write_quoted_vector_pairs(std::ostream& os, const std::vector<std::string>& keys,
                               const std::vector<std::string>& values, char sep) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i > 0) os << sep << ' ';
        os << '"' << keys[i] << "\":\"" << (i < values.size() ? values[i] : std::string()) << '"';
    }
}

std::string& build_library_subpath(std::string& out, unsigned mask) {
    static const struct {
        unsigned bit;
        const char* name;
    } kParts[] = {{1, "Library"},    {2, "Preferences"}, {4, "SyncedPreferences"},
                  {32, "Calendars"}, {8, "Safari"},      {16, "SystemConfiguration"}};
    out.clear();
    for (const auto& part : kParts) {
        if (mask & part.bit) {
            out += part.name;
            out += '/';
        }
    }
    return out;
}
