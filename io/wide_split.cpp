#include "io/wide_split.h"

#include <cstring>

#include "common/encoding.h"
#include "common/line_endings.h"
#include "common/split_join.h"
#include "common/text_ops.h"
#include "common/tokenizers.h"

namespace {

// Line-ending style codes of the detectors.
const int kStyleCrLf = 1;
const int kStyleCr = 2;
const int kStyleLf = 3;
const int kStyleLfCr = 4;
const int kStyleUnused5 = 5;

// Characters examined for the line-ending style of a wide buffer.
const std::size_t kStyleSample = 1024;

void add_piece(std::wstring piece, std::vector<std::wstring>& out, bool trim, bool keep_empty) {
    if (trim) trim_wide(piece);
    if (!piece.empty() || keep_empty) out.push_back(piece);
}

// Splits wide characters at `delim` with the common wide splitter, then trims every line.
bool split_wide_lines(const std::vector<wchar_t>& chars, wchar_t delim, std::vector<std::wstring>& out) {
    if (chars.empty()) return false;
    unsigned delimiters = 0;
    split_wide_buffer(chars.data(), static_cast<int>(chars.size()), delim, out, delimiters, false);
    for (std::wstring& line : out) trim_wide(line);
    return !out.empty();
}

}  // namespace

bool split_wstring(const std::wstring& text, wchar_t delimiter, std::vector<std::wstring>& out, bool trim,
                   bool keep_empty) {
    out.clear();
    if (text.empty()) return false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != delimiter) continue;
        if (i != 0) add_piece(text.substr(start, i - start), out, trim, keep_empty);
        start = i + 1;
    }
    add_piece(text.substr(start), out, trim, false);
    if (keep_empty && text.back() == delimiter) out.emplace_back();
    return true;
}

bool split_wstring_plain(const std::wstring& text, wchar_t delimiter, std::vector<std::wstring>& out) {
    return split_wstring(text, delimiter, out, false, false);
}

bool split_wide_multistring(const std::vector<wchar_t>& chars, std::vector<std::wstring>& out) {
    const std::wstring text(chars.begin(), chars.end());
    return split_wstring(text, L'\0', out, false, false);
}

bool split_utf16_multistring(const std::vector<std::uint16_t>& units, std::vector<std::wstring>& out) {
    if (units.empty()) {
        out.clear();
        return false;
    }
    std::wstring text;
    text.reserve(units.size());
    for (std::uint16_t u : units) text.push_back(static_cast<wchar_t>(u));
    return split_wstring(text, L'\0', out, false, false);
}

bool split_text_lines(const std::uint8_t* data, std::uint32_t length, std::vector<std::wstring>& out) {
    out.clear();
    if (data == nullptr || length < 2) return false;

    const bool eight_bit = data[0] != 0 && data[1] != 0 && (length < 4 || (data[2] != 0 && data[3] != 0));
    if (eight_bit) {
        std::vector<std::string> lines;
        const int result = split_lines(data, length, lines);
        for (const std::string& line : lines) out.push_back(utf8_to_wstring(line));
        return result != 0;
    }

    // Wide text: length / 4 characters, read without assuming alignment.
    const std::size_t count = length / 4;
    std::vector<wchar_t> chars(count);
    if (count != 0) std::memcpy(chars.data(), data, count * sizeof(wchar_t));

    // The style is judged on the characters themselves, one 16-bit unit per character; judging the raw
    // 16-bit halves of 4-byte characters would put a zero unit between CR and LF and call CR LF text mixed.
    const std::size_t sample = count < kStyleSample ? count : kStyleSample;
    std::vector<std::uint16_t> units(sample);
    for (std::size_t i = 0; i < sample; ++i) {
        const std::uint32_t c = static_cast<std::uint32_t>(chars[i]);
        units[i] = c > 0xffff ? 0xfffd : static_cast<std::uint16_t>(c);
    }
    const int style = detect_line_ending_utf16(units.data(), static_cast<std::uint32_t>(sample * 2));

    if (style == kStyleCrLf || style == kStyleLf || style == kStyleUnused5)
        return split_wide_lines(chars, L'\n', out);
    if (style == kStyleCr) return split_wide_lines(chars, L'\r', out);
    if (style == kStyleLfCr) {
        for (wchar_t& c : chars) {
            if (c == L'\n') c = L' ';
        }
        return split_wide_lines(chars, L'\r', out);
    }
    return false;
}
