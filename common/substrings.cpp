#include "common/substrings.h"

#include <cstring>
#include <cwchar>

#include "common/case_conv.h"
#include "common/encoding.h"
#include "common/line_endings.h"
#include "common/string_lists.h"

namespace {

std::string lower_copy(const std::string& s) {
    std::string c = s;
    string_to_lower(c);
    return c;
}

// Case-insensitive match of lowered `pat` at data[i] of `lowered`; the caller guarantees the bytes.
bool match_at(const std::string& lowered, std::size_t i, const std::string& pat) {
    return lowered.compare(i, pat.size(), pat) == 0;
}

void close_run(std::string& run, std::uint64_t run_start, const std::string& needle, bool wide,
               std::uint64_t base, std::vector<std::uint64_t>& offsets) {
    if (!run.empty() && run.size() >= needle.size()) {
        string_to_lower(run);
        std::size_t pos = run.find(needle);
        while (pos != std::string::npos) {
            offsets.push_back(base + run_start + (wide ? 2 * pos : pos));
            pos = run.find(needle, pos + 1);
        }
    }
    run.clear();
}

}  // namespace

int replace_first(std::string& text, std::string& old_text, const std::string& new_text, bool nocase) {
    if (old_text.empty()) return 0;
    std::size_t pos;
    if (nocase) {
        string_to_lower(old_text);
        pos = lower_copy(text).find(old_text);
    } else {
        pos = text.find(old_text);
    }
    if (pos == std::string::npos) return 0;
    text.replace(pos, old_text.size(), new_text);
    return 1;
}

int replace_first_cstr_nocase(std::string& text, const char* old_text, const char* new_text) {
    if (old_text == nullptr || new_text == nullptr) return 0;
    std::string o = old_text;
    return replace_first(text, o, std::string(new_text), true);
}

int erase_first(std::string& text, std::string& piece, bool nocase) {
    return replace_first(text, piece, std::string(), nocase);
}

int erase_first_wide_cstr(wchar_t* text, const wchar_t* piece, bool nocase) {
    if (text == nullptr || piece == nullptr) return 0;
    const std::size_t capacity = std::wcslen(text) + 1;
    std::string t;
    std::string p;
    wide_cstr_to_utf8(text, t);
    wide_cstr_to_utf8(piece, p);
    if (!erase_first(t, p, nocase)) return 0;
    // Decoding back (rather than one character per byte) keeps text outside ASCII intact; the result is
    // never longer than what the buffer held.
    const std::wstring back = utf8_to_wstring(t);
    if (back.size() + 1 > capacity) return 0;
    std::wmemcpy(text, back.c_str(), back.size() + 1);
    return 1;
}

int erase_from_substring(std::string& text, const std::string& piece, bool nocase) {
    if (piece.empty()) return 0;
    const std::size_t pos = nocase ? lower_copy(text).find(lower_copy(piece)) : text.find(piece);
    if (pos == std::string::npos) return 0;
    text.erase(pos);
    return 1;
}

int erase_from_char(std::string& text, char c, bool nocase) {
    return erase_from_substring(text, std::string(1, c), nocase);
}

std::ptrdiff_t find_nocase(std::string& text, std::string& needle, bool fold) {
    if (fold) {
        string_to_lower(text);
        string_to_lower(needle);
    }
    const std::size_t pos = text.find(needle);
    return pos == std::string::npos ? -1 : static_cast<std::ptrdiff_t>(pos);
}

const char* find_nocase_cstr(const char* haystack, const char* needle) {
    if (haystack == nullptr || needle == nullptr) return nullptr;
    const std::size_t pos = lower_copy(haystack).find(lower_copy(needle));
    return pos == std::string::npos ? nullptr : haystack + pos;
}

std::string value_after_key(const char* key, const std::string& text, std::string& terminators, bool nocase) {
    if (key == nullptr || text.empty() || *key == 0) return std::string();
    std::string k = key;
    std::size_t pos;
    std::size_t end;
    if (nocase) {
        string_to_lower(terminators);
        const std::string lt = lower_copy(text);
        pos = lt.find(lower_copy(k));
        if (pos == std::string::npos) return std::string();
        end = lt.find_first_of(terminators, pos + k.size());
    } else {
        pos = text.find(k);
        if (pos == std::string::npos) return std::string();
        end = text.find_first_of(terminators, pos + k.size());
    }
    const std::size_t start = pos + k.size();
    if (end == std::string::npos || terminators.empty()) return text.substr(start);
    return text.substr(start, end - start);
}

int equal_prefix_nocase(std::string& a, std::string& b, int n) {
    string_to_lower(a);
    string_to_lower(b);
    if (n < 0) return 0;
    const std::size_t len = static_cast<std::size_t>(n);
    if (a.size() < len || b.size() < len) return 0;
    return a.compare(0, len, b, 0, len) == 0 ? 1 : 0;
}

int equal_prefix_bytes_nocase(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, int n) {
    if (n < 0) return 0;
    const std::size_t len = static_cast<std::size_t>(n);
    if (a.size() < len || b.size() < len) return 0;
    std::string ca(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(len));
    std::string cb(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(len));
    return string_to_lower(ca) == string_to_lower(cb) ? 1 : 0;
}

void lower_all_strings(std::vector<std::string>& strings) {
    for (std::string& s : strings) string_to_lower(s);
}

int month_abbrev_to_number(const char* text) {
    static const char* const kMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};
    if (text == nullptr) return -1;
    std::string first;
    for (int i = 0; i < 3 && text[i] != 0; ++i) first.push_back(text[i]);
    if (first.size() < 3) return -1;
    string_to_lower(first);
    for (int m = 0; m < 12; ++m) {
        if (first == kMonths[m]) return m + 1;
    }
    return -1;
}

int device_path_serial(std::string& name, std::string& short_name, std::string& sep,
                       const std::string& path) {
    name.clear();
    short_name.clear();
    if (path.empty()) return 0;
    const bool device = path.find('#') != std::string::npos;
    if (device) {
        sep = "#";
    } else if (sep.empty()) {
        if (path.find('/') != std::string::npos) {
            sep = "/";
        } else if (path.find('\\') != std::string::npos) {
            sep = "\\";
        } else {
            return 0;
        }
    }
    const std::size_t last = path.rfind(sep);
    if (last == std::string::npos) return 0;
    std::string found;
    if (device) {
        const std::string lowered = lower_copy(path);
        std::size_t at = std::string::npos;
        for (const char* mark : {"pid_", "rev_", "prod_"}) {
            at = lowered.find(mark);
            if (at != std::string::npos) break;
        }
        if (at == std::string::npos) return 0;
        const std::size_t s1 = path.find(sep, at);
        if (s1 == std::string::npos || s1 + sep.size() >= path.size()) return 0;
        const std::size_t begin = s1 + sep.size();
        const std::size_t s2 = path.find(sep, begin);
        found = s2 == std::string::npos ? path.substr(begin) : path.substr(begin, s2 - begin);
    } else if (last + sep.size() < path.size()) {
        found = path.substr(last + sep.size());
    } else {
        // A trailing separator: the name is the component before it.
        if (last == 0) return 0;
        const std::size_t prev = path.rfind(sep, last - 1);
        if (prev == std::string::npos) return 0;
        found = path.substr(prev + sep.size(), last - prev - sep.size());
    }
    if (found.empty()) return 0;
    name = found;
    if (name.size() >= 5 && name[1] != '&') {
        const std::size_t amp = name.rfind('&');
        if (amp != std::string::npos && amp + 3 >= name.size()) short_name = name.substr(0, amp);
    }
    if (short_name.empty()) short_name = name;
    return 1;
}

int find_text_in_ascii_runs(const std::string& needle, const std::uint8_t* data, std::uint64_t length,
                            std::vector<std::uint64_t>& offsets, int base_offset, bool append) {
    if (data == nullptr || length == 0 || needle.empty()) return 0;
    if (!append) offsets.clear();
    const std::string lowered = lower_copy(needle);
    const std::uint64_t base = static_cast<std::uint64_t>(static_cast<std::int64_t>(base_offset));
    std::string run;
    std::uint64_t run_start = 0;
    for (std::uint64_t i = 0; i < length; ++i) {
        const std::uint8_t b = data[i];
        if (b >= 32 && b <= 126) {
            if (run.empty()) {
                if (b == ' ') continue;
                run_start = i;
            }
            run.push_back(static_cast<char>(b));
        } else {
            close_run(run, run_start, lowered, false, base, offsets);
        }
    }
    close_run(run, run_start, lowered, false, base, offsets);
    return offsets.empty() ? 0 : 1;
}

int find_text_in_utf16_runs(const std::string& needle, const std::uint8_t* data, std::uint64_t length,
                            std::vector<std::uint64_t>& offsets, int base_offset, bool append) {
    if (data == nullptr || length == 0 || needle.empty()) return 0;
    if (!append) offsets.clear();
    const std::string lowered = lower_copy(needle);
    const std::uint64_t base = static_cast<std::uint64_t>(static_cast<std::int64_t>(base_offset));
    std::string run;
    std::uint64_t run_start = 0;
    std::uint64_t i = 0;
    while (i + 1 < length) {
        const std::uint8_t b = data[i];
        if (b >= 32 && b <= 126 && data[i + 1] == 0) {
            if (!run.empty() || b != ' ') {
                if (run.empty()) run_start = i;
                run.push_back(static_cast<char>(b));
            }
            i += 2;
        } else {
            // One byte on, so that runs at the other alignment are found too.
            close_run(run, run_start, lowered, true, base, offsets);
            i += 1;
        }
    }
    close_run(run, run_start, lowered, true, base, offsets);
    return 1;
}

int remove_all_in_buffer(std::vector<std::uint8_t>& buffer, std::size_t& size, const char* piece,
                         bool nocase) {
    if (buffer.empty() || size == 0 || piece == nullptr || *piece == 0) return 0;
    const std::size_t n = size < buffer.size() ? size : buffer.size();
    std::string pat = piece;
    std::string hay(reinterpret_cast<const char*>(buffer.data()), n);
    if (nocase) {
        string_to_lower(pat);
        string_to_lower(hay);
    }
    std::vector<std::uint8_t> kept;
    kept.reserve(n);
    bool found = false;
    std::size_t i = 0;
    while (i < n) {
        if (n - i >= pat.size() && match_at(hay, i, pat)) {
            found = true;
            i += pat.size();
        } else {
            kept.push_back(buffer[i++]);
        }
    }
    if (!found) return 1;
    buffer.swap(kept);
    size = buffer.size();
    return 1;
}

int strip_markup_elements(std::uint8_t* buffer, std::size_t& size, const char* tag) {
    if (buffer == nullptr || size == 0 || tag == nullptr || *tag == 0) return 0;
    const std::size_t n = size;
    const std::string open = lower_copy(std::string("<") + tag);
    const std::string close = lower_copy(std::string("</") + tag + ">");
    const std::string hay = lower_copy(std::string(reinterpret_cast<const char*>(buffer), n));
    std::vector<std::uint8_t> kept;
    kept.reserve(n);
    bool inside = false;
    bool found = false;
    int nested = 0;
    std::size_t i = 0;
    while (i < n) {
        if (n - i < close.size()) {
            kept.insert(kept.end(), buffer + i, buffer + n);
            break;
        }
        if (!inside) {
            if (match_at(hay, i, open)) {
                inside = true;
                found = true;
                nested = 0;
                i += open.size();
                // The one character after the name ('>' or a blank) goes with it; a '/' stays so that
                // the "/>" of a self-closing tag is seen.
                if (i < n && buffer[i] != '/') ++i;
            } else {
                kept.push_back(buffer[i++]);
            }
            continue;
        }
        if (match_at(hay, i, close)) {
            inside = false;
            nested = 0;
            i += close.size();
        } else if (buffer[i] == '/' && i + 1 < n && buffer[i + 1] == '>') {
            if (nested == 0) {
                inside = false;
            } else {
                --nested;
            }
            i += 2;
        } else {
            if (buffer[i] == '<') ++nested;
            ++i;
        }
    }
    if (found && !kept.empty()) std::memcpy(buffer, kept.data(), kept.size());
    size = kept.size();
    return 1;
}
