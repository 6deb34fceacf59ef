#include "common/split_join.h"

#include <climits>
#include <cstring>

#include "common/encoding.h"
#include "common/escapes.h"
#include "common/line_endings.h"
#include "common/text_ops.h"
#include "common/tokenizers.h"

namespace {

// Line-ending style codes of detect_line_ending.
constexpr int kStyleCrLf = 1;
constexpr int kStyleCr = 2;
constexpr int kStyleLf = 3;
constexpr int kStyleLfCr = 4;

// Bytes looked at to decide a buffer's line-ending style.
constexpr std::uint32_t kStyleSample = 1024;

// Calls emit(field) for every field of text cut at delim, after the C-string rule for a non-NUL
// delimiter (the text ends at its first NUL).
template <typename Emit>
void for_each_field(const std::string& text, char delim, Emit emit) {
    std::size_t end = text.size();
    if (delim != '\0') {
        std::size_t nul = text.find('\0');
        if (nul != std::string::npos) end = nul;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t d = text.find(delim, start);
        if (d == std::string::npos || d >= end) {
            emit(text.substr(start, end - start));
            return;
        }
        emit(text.substr(start, d - start));
        start = d + 1;
    }
}

}  // namespace

int split_string(const std::string& text, char delim, std::vector<std::string>& out, bool trim,
                 bool keep_empty, bool append) {
    if (!append) out.clear();
    if (text.empty()) return 0;
    for_each_field(text, delim, [&](std::string field) {
        if (trim) trim_whitespace(field);
        if (keep_empty || !field.empty()) out.push_back(std::move(field));
    });
    return 1;
}

int split_string_to_set(const std::string& text, char delim, std::set<std::string>& out, bool trim,
                        bool append) {
    if (!append) out.clear();
    if (text.empty()) return 0;
    for_each_field(text, delim, [&](std::string field) {
        if (trim) trim_whitespace(field);
        if (!field.empty()) out.insert(std::move(field));
    });
    return 1;
}

char split_at_first_delimiter_of(std::vector<std::string>& out, const std::string& text, bool trim,
                                 bool keep_empty, const std::string& candidates) {
    out.clear();
    if (text.empty()) return 0;
    for (char c : candidates) {
        if (text.find(c) != std::string::npos) {
            split_string(text, c, out, trim, keep_empty, false);
            return c;
        }
    }
    out.push_back(text);
    return 0;
}

char split_wide_at_first_delimiter_of(std::vector<std::wstring>& out, const std::wstring& text, bool trim,
                                      bool keep_empty, const std::string& candidates) {
    out.clear();
    std::vector<std::string> fields;
    char used = split_at_first_delimiter_of(fields, wstring_to_utf8(text), trim, keep_empty, candidates);
    for (const auto& f : fields) out.push_back(utf8_to_wstring(f));
    return used;
}

int split_quoted_fields(const std::string& text, char delim, std::vector<std::string>& out, bool trim,
                        bool keep_empty) {
    std::vector<std::string> fields;
    out.clear();
    if (split_string(text, delim, fields, false, keep_empty, false) == 0) return 0;
    if (text.find('"') == std::string::npos) {
        out.swap(fields);
        return 1;
    }
    std::vector<std::string> result;
    bool in_run = false;
    std::string run;
    for (auto& f : fields) {
        int quotes = count_char(f, '"');
        if (!in_run) {
            if (quotes == 0) {
                result.push_back(f);
            } else if (quotes >= 2) {
                if (trim) trim_whitespace(f);
                if (keep_empty || !f.empty()) result.push_back(f);
            } else {
                in_run = true;
                run = f;
            }
            continue;
        }
        run.push_back(delim);
        run += f;
        if (quotes > 0) {
            if (trim) trim_whitespace(run);
            if (keep_empty || !run.empty()) result.push_back(run);
            in_run = false;
            run.clear();
        }
    }
    out.swap(result);
    return 1;
}

int split_multi_string(const std::vector<std::uint8_t>& bytes, std::vector<std::string>& out) {
    if (bytes.empty()) {
        out.clear();
        return 0;
    }
    std::string text(bytes.begin(), bytes.end());
    return split_string(text, '\0', out, false, false, false);
}

int parse_url_query(std::vector<std::string>& names, std::vector<std::string>& values,
                    const std::string& url) {
    names.clear();
    values.clear();
    if (url.empty()) return 0;
    std::string decoded;
    if (percent_decode(decoded, url, -1, "") == 0) decoded = url;
    std::size_t q = decoded.find('?');
    if (q == std::string::npos || q + 1 >= decoded.size()) return 0;
    std::vector<std::string> fields;
    split_string(decoded.substr(q + 1), '&', fields, true, true, false);
    for (const auto& f : fields) {
        std::size_t eq = f.find('=');
        if (eq == std::string::npos) {
            names.push_back(f);
            values.emplace_back();
        } else {
            names.push_back(f.substr(0, eq));
            values.push_back(f.substr(eq + 1));
        }
    }
    return names.empty() ? 0 : 1;
}

int join_args_quoted(std::string& out, int argc, const char* const* argv) {
    if (argc == 0 || argv == nullptr) return 0;
    out.clear();
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i] != nullptr ? argv[i] : "";
        if (std::strchr(a, ' ') != nullptr) {
            out.push_back('"');
            out += a;
            out.push_back('"');
        } else {
            out += a;
        }
        if (i + 1 < argc) out.push_back(' ');
    }
    return 1;
}

int split_lines(const std::uint8_t* buf, std::uint32_t length, std::vector<std::string>& out) {
    out.clear();
    if (buf == nullptr || length == 0) return 0;
    int style = detect_line_ending(buf, length < kStyleSample ? length : kStyleSample);
    // The tokenizer takes an int length; a longer buffer is cut there rather than wrapped.
    int n = length > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
    unsigned count = 0;
    if (style == kStyleCrLf || style == kStyleLf) {
        split_buffer_at_char(buf, n, '\n', out, count, false);
    } else if (style == kStyleCr) {
        split_buffer_at_char(buf, n, '\r', out, count, false);
    } else if (style == kStyleLfCr) {
        std::vector<std::uint8_t> copy(buf, buf + n);
        for (auto& b : copy)
            if (b == '\n') b = ' ';
        split_buffer_at_char(copy.data(), n, '\r', out, count, false);
    } else {
        return 0;
    }
    for (auto& line : out) trim_whitespace(line);
    return out.empty() ? 0 : 1;
}
