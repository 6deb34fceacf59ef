#include "common/utf16_counted.h"

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <new>
#include <vector>

namespace {

constexpr std::size_t kMaxBytes = 65535;

// Case-insensitive match of `pat` at buffer[i]; the caller guarantees the characters are there.
bool match_nocase_at(const wchar_t* buffer, std::size_t i, const std::wstring& pat) {
    for (std::size_t k = 0; k < pat.size(); ++k) {
        if (std::towlower(static_cast<wint_t>(buffer[i + k])) != std::towlower(static_cast<wint_t>(pat[k])))
            return false;
    }
    return true;
}

// Room for `units` more units after length; grows an owned buffer. False: nothing changed.
bool reserve_units(_UNICODE_STRING_EX& s, std::size_t units) {
    const std::size_t need = 2 * units;
    if (s.buffer != nullptr && s.maximum_length >= s.length &&
        static_cast<std::size_t>(s.maximum_length - s.length) >= need)
        return true;
    if (!s.owns) return false;
    const std::size_t new_size = static_cast<std::size_t>(s.length) + need;
    if (new_size > kMaxBytes) return false;
    std::uint16_t* grown = new (std::nothrow) std::uint16_t[(new_size + 1) / 2];
    if (grown == nullptr) return false;
    if (s.buffer != nullptr && s.length > 0) std::memcpy(grown, s.buffer, s.length);
    if (s.owns) delete[] s.buffer;
    s.buffer = grown;
    s.owns = true;
    s.maximum_length = static_cast<std::uint16_t>(new_size);
    return true;
}

template <typename Char, typename Unit>
_UNICODE_STRING_EX& append_units(_UNICODE_STRING_EX& s, const Char* text, std::size_t n, Unit to_unit) {
    if (!reserve_units(s, n + 1)) return s;
    std::uint16_t* out = s.buffer + s.length / 2;
    for (std::size_t i = 0; i < n; ++i) out[i] = to_unit(text[i]);
    out[n] = 0;
    s.length = static_cast<std::uint16_t>(s.length + 2 * (n + 1));
    return s;
}

}  // namespace

void unicode_string_clear(_UNICODE_STRING_EX& s) {
    s.length = 0;
    if (s.owns) {
        if (s.buffer != nullptr) std::memset(s.buffer, 0, s.maximum_length / 2 * sizeof(std::uint16_t));
    } else {
        // A foreign buffer is never written: the object only lets go of it.
        s.buffer = nullptr;
        s.maximum_length = 0;
    }
}

_UNICODE_STRING_EX& unicode_string_append(_UNICODE_STRING_EX& s, const char* text) {
    if (text == nullptr) return s;
    return append_units(s, text, std::strlen(text),
                        [](char c) { return static_cast<std::uint16_t>(static_cast<unsigned char>(c)); });
}

_UNICODE_STRING_EX& unicode_string_append(_UNICODE_STRING_EX& s, const wchar_t* text) {
    if (text == nullptr) return s;
    return append_units(s, text, std::wcslen(text),
                        [](wchar_t c) { return static_cast<std::uint16_t>(static_cast<std::uint32_t>(c)); });
}

int remove_tagged_sections(wchar_t* buffer, std::size_t size_bytes, const std::wstring& name,
                           std::size_t* remaining) {
    if (buffer == nullptr || size_bytes == 0 || name.empty()) return 0;
    const std::size_t n = size_bytes / sizeof(wchar_t);
    const std::wstring open = L"<" + name;
    const std::wstring close = L"</" + name + L">";
    std::vector<wchar_t> kept;
    kept.reserve(n);
    bool inside = false;
    bool found = false;
    std::size_t i = 0;
    while (i < n) {
        if (n - i < close.size()) {
            // Too short for a closing tag: the tail stays as it is.
            kept.insert(kept.end(), buffer + i, buffer + n);
            break;
        }
        if (!inside) {
            if (match_nocase_at(buffer, i, open)) {
                inside = true;
                found = true;
                i += open.size();
            } else {
                kept.push_back(buffer[i++]);
            }
        } else if (match_nocase_at(buffer, i, close)) {
            inside = false;
            i += close.size();
        } else {
            ++i;
        }
    }
    if (found && !kept.empty()) std::memcpy(buffer, kept.data(), kept.size() * sizeof(wchar_t));
    if (remaining != nullptr) *remaining = found ? kept.size() : n;
    return 1;
}

int find_after(std::size_t& pos, const std::wstring& text, std::size_t start, const wchar_t* needle) {
    if (needle == nullptr || *needle == 0 || start > text.size()) return 0;
    const std::size_t len = std::wcslen(needle);
    const std::size_t hit = text.find(needle, start, len);
    if (hit == std::wstring::npos) return 0;
    pos = hit + len;
    return 1;
}
