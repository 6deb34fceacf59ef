#include "common/utf16_raw.h"

#include "common/encoding.h"
#include "common/path_split.h"

namespace {

constexpr int kUnknownLengthUnits = 500;

// Unit i of a little-endian buffer, read bytewise so that odd addresses are fine.
std::uint16_t unit_at(const void* units, std::size_t i) {
    const auto* b = static_cast<const std::uint8_t*>(units);
    return static_cast<std::uint16_t>(b[2 * i] | (b[2 * i + 1] << 8));
}

bool decode_units(std::wstring& out, const std::vector<std::uint16_t>& run) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(run.size() * 2);
    for (std::uint16_t u : run) {
        bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return utf16_bytes_to_wide(out, bytes) != 0;
}

}  // namespace

int utf16_cstr_to_wstring(const void* units, std::wstring& out, int length) {
    out.clear();
    if (!units || length == 0 || length < -1) return 0;
    const std::size_t limit = length == -1 ? kUnknownLengthUnits : static_cast<std::size_t>(length) / 2;
    std::vector<std::uint16_t> run;
    for (std::size_t i = 0; i < limit; ++i) {
        const std::uint16_t u = unit_at(units, i);
        if (u == 0) break;
        run.push_back(u);
    }
    if (!decode_units(out, run)) {
        // Text that does not decode still comes out, one unit per character.
        out.assign(run.begin(), run.end());
    }
    return static_cast<int>(run.size() * 2);
}

int utf16_cstr_to_utf8(const void* units, std::string& out, int length, bool count_terminator) {
    out.clear();
    std::wstring wide;
    int r = utf16_cstr_to_wstring(units, wide, length);
    if (!wide.empty()) out = wstring_to_utf8(wide);
    if (count_terminator && r != 0 && length >= 0 && r + 2 <= length) r += 2;
    return r;
}

std::string utf16_cstr_to_utf8_string(const void* units) {
    std::string out;
    utf16_cstr_to_utf8(units, out, -1, true);
    return out;
}

std::string& utf16_cstr_to_utf8_into(const void* units, std::string& out) {
    utf16_cstr_to_utf8(units, out, -1, true);
    return out;
}

void utf16_cstr_to_utf8_counted(const void* units, std::string& out, std::uint32_t* bytes, int length) {
    out.clear();
    std::wstring wide;
    const int r = utf16_cstr_to_wstring(units, wide, length);
    if (!wide.empty()) out = wstring_to_utf8(wide);
    if (bytes) *bytes = static_cast<std::uint32_t>(r);
}

int split_utf16_path(const void* units, std::wstring& folder, std::wstring& name) {
    if (!units) return 0;
    std::wstring path;
    utf16_cstr_to_wstring(units, path, -1);
    return split_path_wide(path, folder, name);
}

int utf16_multi_string_to_wstrings(const void* units, std::vector<std::wstring>& out, int length) {
    out.clear();
    if (!units || length <= 0) return 0;
    const std::size_t count = static_cast<std::size_t>(length) / 2;
    std::vector<std::uint16_t> run;
    auto flush = [&]() {
        std::wstring text;
        if (!run.empty() && decode_units(text, run)) out.push_back(text);
        run.clear();
    };
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t u = unit_at(units, i);
        if (u == 0)
            flush();
        else
            run.push_back(u);
    }
    flush();
    return static_cast<int>(count * 2);
}
