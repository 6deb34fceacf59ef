#include "common/text_ops.h"

#include <cwctype>

namespace {

bool is_ws(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_tab_crlf(char c) { return c == '\t' || c == '\r' || c == '\n'; }

// Erases every character before `first` and after `last` (inclusive bounds kept).
template <class S>
void keep_range(S& s, std::size_t first, std::size_t last) {
    if (last + 1 < s.size()) s.erase(last + 1);
    if (first > 0) s.erase(0, first);
}

// Removes c from both ends of s.
void trim_wide_char_both(std::wstring& s, wchar_t c) {
    std::size_t first = s.find_first_not_of(c);
    if (first == std::wstring::npos) {
        s.clear();
        return;
    }
    keep_range(s, first, s.find_last_not_of(c));
}

void trim_wide_char_trailing(std::wstring& s, wchar_t c) {
    std::size_t last = s.find_last_not_of(c);
    s.erase(last == std::wstring::npos ? 0 : last + 1);
}

template <class S, class C>
int trailing_slashes(S& s, C slash, C backslash) {
    std::size_t n = s.size();
    while (n > 0 && (s[n - 1] == slash || s[n - 1] == backslash)) --n;
    s.erase(n);
    return s.empty() ? 0 : 1;
}

template <class S>
int erase_last(S& s, int n) {
    if (s.empty() || n <= 0) return 0;
    std::size_t k = static_cast<std::size_t>(n);
    s.erase(k >= s.size() ? 0 : s.size() - k);
    return 1;
}

template <class S, class C>
int remove_all(S& s, C c) {
    std::size_t before = s.size();
    std::size_t w = 0;
    for (std::size_t r = 0; r < s.size(); ++r)
        if (s[r] != c) s[w++] = s[r];
    s.erase(w);
    return static_cast<int>(before - w);
}

template <class S>
S& join_impl(S& out, const std::vector<S>& items, const S& sep, bool skip_empty) {
    out.clear();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (skip_empty && items[i].empty()) continue;
        out += items[i];
        if (!sep.empty() && i + 1 < items.size()) out += sep;
    }
    if (skip_empty && !sep.empty() && !out.empty() && out.back() == sep[0]) out.pop_back();
    return out;
}

}  // namespace

int trim_whitespace(std::string& s) { return trim_whitespace_ex(s, false); }

int trim_whitespace_ex(std::string& s, bool keep_trailing_blanks) {
    if (s.empty()) return 0;
    std::size_t first = 0;
    while (first < s.size() && is_ws(s[first])) ++first;
    if (first == s.size()) {
        s.clear();
        return 0;
    }
    std::size_t last = s.size() - 1;
    while (last > first && (keep_trailing_blanks ? is_tab_crlf(s[last]) : is_ws(s[last]))) --last;
    keep_range(s, first, last);
    return 1;
}

void trim_line_breaks(std::string& s) {
    std::size_t first = s.find_first_not_of("\r\n");
    if (first == std::string::npos) {
        s.clear();
        return;
    }
    keep_range(s, first, s.find_last_not_of("\r\n"));
}

int trim_trailing_nul(std::string& s) {
    std::size_t last = s.find_last_not_of('\0');
    if (last != std::string::npos) s.erase(last + 1);
    return 1;
}

int trim_wide(std::wstring& s) {
    trim_wide_char_both(s, L' ');
    if (s.empty()) return 0;
    trim_wide_char_both(s, L'\t');
    if (s.empty()) return 0;
    trim_wide_char_trailing(s, L'\r');
    trim_wide_char_trailing(s, L'\n');
    return 1;
}

int trim_trailing_nul_wide(std::wstring& s) {
    trim_wide_char_trailing(s, L'\0');
    return 1;
}

int strip_line_ending(std::string& s) {
    std::size_t n = s.size();
    while (n > 0 && (s[n - 1] == '\r' || s[n - 1] == '\n')) --n;
    int removed = static_cast<int>(s.size() - n);
    s.erase(n);
    return removed;
}

int strip_trailing_slashes(std::string& s) { return trailing_slashes(s, '/', '\\'); }
int strip_trailing_slashes_wide(std::wstring& s) { return trailing_slashes(s, L'/', L'\\'); }
int erase_last_chars(std::string& s, int n) { return erase_last(s, n); }
int erase_last_chars_wide(std::wstring& s, int n) { return erase_last(s, n); }

int remove_char(std::string& s, char c) { return remove_all(s, c); }
int remove_char_wide(std::wstring& s, wchar_t c) { return remove_all(s, c); }

std::string copy_without_char(const std::string& s, char c) {
    std::string copy = s;
    remove_all(copy, c);
    return copy.empty() ? s : copy;
}

int count_char(const std::string& s, char c) {
    int n = 0;
    for (char x : s)
        if (x == c) ++n;
    return n;
}

int is_plain_text(const std::string& s) {
    if (s.empty()) return 0;
    for (char x : s) {
        unsigned char b = static_cast<unsigned char>(x);
        if (b == '\t' || b == '\n' || b == '\r') continue;
        if (b < 32 || b >= 127) return 0;
    }
    return 1;
}

int strip_quotes(std::string& s) {
    if (s.empty()) return 0;
    trim_whitespace(s);
    if (!s.empty() && (s.front() == '"' || s.front() == '\'')) s.erase(0, 1);
    if (!s.empty() && (s.back() == '"' || s.back() == '\'')) s.pop_back();
    return 1;
}

std::string& sanitize_to_identifier(std::string& out, const std::string& in) {
    out.clear();
    bool pending = false;
    for (char c : in) {
        bool keep = c == '-' || c == '.' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                    (c >= 'a' && c <= 'z');
        if (!keep) {
            pending = true;
            continue;
        }
        if (pending && !out.empty()) out += '_';
        pending = false;
        out += c;
    }
    return out;
}

wchar_t wchar_to_lower(wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c))); }
wchar_t wchar_to_upper(wchar_t c) { return static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(c))); }

void wstring_to_lower(std::wstring& s) {
    for (wchar_t& c : s) c = wchar_to_lower(c);
}

void wstring_to_upper(std::wstring& s) {
    for (wchar_t& c : s) c = wchar_to_upper(c);
}

std::string& ascii_lower_copy(std::string& out, const char* str) {
    out.clear();
    if (str == nullptr) return out;
    out = str;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::ptrdiff_t find_wide(std::wstring& text, std::wstring& pattern, bool ignore_case) {
    if (ignore_case) {
        wstring_to_lower(text);
        wstring_to_lower(pattern);
    }
    if (pattern.empty()) return -1;
    std::size_t pos = text.find(pattern);
    return pos == std::wstring::npos ? -1 : static_cast<std::ptrdiff_t>(pos);
}

int wide_prefix_equal_nocase(std::wstring& a, std::wstring& b, int n) {
    wstring_to_lower(a);
    wstring_to_lower(b);
    if (n <= 0) return 1;
    std::size_t k = static_cast<std::size_t>(n);
    if (a.size() < k || b.size() < k) return 0;
    return a.compare(0, k, b, 0, k) == 0 ? 1 : 0;
}

int wide_equal_nocase(std::wstring& a, std::wstring& b) {
    if (a.size() != b.size()) return 0;
    wstring_to_lower(a);
    wstring_to_lower(b);
    return a == b ? 1 : 0;
}

std::string& join_strings(std::string& out, const std::vector<std::string>& items, const std::string& sep,
                          bool skip_empty) {
    return join_impl(out, items, sep, skip_empty);
}

std::wstring& join_wide_strings(std::wstring& out, const std::vector<std::wstring>& items,
                                const std::wstring& sep, bool skip_empty) {
    return join_impl(out, items, sep, skip_empty);
}

int join_quoted(std::string& out, int& count, const std::vector<std::string>& items) {
    out.clear();
    count = static_cast<int>(items.size());
    if (items.empty()) return 0;
    for (const std::string& item : items) {
        if (item.empty()) continue;
        if (!out.empty()) out += ' ';
        if (item.find(' ') != std::string::npos)
            out += '"' + item + '"';
        else
            out += item;
    }
    trim_whitespace(out);
    return 1;
}

int join_quoted_wide(std::wstring& out, int& count, const std::vector<std::wstring>& items) {
    out.clear();
    count = static_cast<int>(items.size());
    if (items.empty()) return 0;
    for (const std::wstring& item : items) {
        if (item.empty()) continue;
        if (!out.empty()) out += L' ';
        if (item.find(L' ') != std::wstring::npos)
            out += L'"' + item + L'"';
        else
            out += item;
    }
    trim_wide(out);
    return 1;
}

int join_args_requoted(std::string& out, int& count, const std::vector<std::string>& args, bool quote_all) {
    out.clear();
    count = static_cast<int>(args.size());
    if (args.empty()) return 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.empty()) continue;
        bool has_blank = arg.find(' ') != std::string::npos;
        bool wrap = has_blank || (quote_all && i != 0 && arg[0] != '-');
        if (!out.empty()) out += ' ';
        if (wrap) {
            std::string bare = arg;
            remove_all(bare, '"');
            out += '"' + bare + '"';
        } else {
            out += arg;
        }
    }
    trim_whitespace(out);
    return 1;
}

void write_indent(std::ostream& os, unsigned n) {
    os.fill(' ');
    for (unsigned i = 0; i < n; ++i) os.put(' ');
}

std::string& blank_string(std::string& out, int n) {
    out.assign(n > 0 ? static_cast<std::size_t>(n) : 0, ' ');
    return out;
}

std::string& dash_string(std::string& out, unsigned n) {
    out.assign(n, '-');
    return out;
}
