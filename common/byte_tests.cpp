#include "common/byte_tests.h"

#include <initializer_list>

#include "common/byte_search.h"
#include "common/text_builders.h"

namespace {

// At most this many leading non-zero codes are named when the flags give no count.
constexpr std::size_t kMaxLeadingCodes = 10;

// The first occurrence of pattern in [from, size) of bytes; false when none (or for an empty pattern).
bool find_in(const std::vector<unsigned char>& bytes, std::size_t from,
             const std::vector<unsigned char>& pattern, std::size_t& pos) {
    std::uint64_t at = 0;
    if (!find_first_byte_pattern(bytes.data() + from, bytes.size() - from, pattern, at, 0, false))
        return false;
    pos = from + static_cast<std::size_t>(at);
    return true;
}

bool is_base64_character(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

char nibble_letter(unsigned value) { return static_cast<char>('A' + (value & 15)); }

unsigned char letters_to_byte(char high, char low) {
    return static_cast<unsigned char>(((high - 'A') << 4) + (low - 'A'));
}

// The names of the codes the flags select; false when the selection is refused.
bool collect_names(std::vector<std::string>& names, std::uint32_t flags, const code_name_fn& name_of,
                   const std::uint64_t* codes, std::size_t available) {
    if (!name_of || codes == nullptr) return false;
    std::size_t count = flags & kWordsCountMask;
    if (count != 0) {
        if (count > available) return false;
        for (std::size_t i = 0; i < count; ++i)
            if (codes[i] == 0) return false;
    } else {
        while (count < available && count <= kMaxLeadingCodes && codes[count] != 0) ++count;
        if (count < 1 || count > kMaxLeadingCodes) return false;
    }
    for (std::size_t i = 0; i < count; ++i) names.push_back(name_of(codes[i]));
    return true;
}

int codes_to_names_fixed(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                         std::initializer_list<std::uint64_t> codes) {
    out.str("");
    out.clear();
    for (std::uint64_t c : codes)
        if (c == 0) return 0;
    return codes_to_names_stream(out, flags | static_cast<std::uint32_t>(codes.size()), name_of,
                                 codes.begin(), codes.size());
}

}  // namespace

std::uint64_t first_difference(const unsigned char* a, const unsigned char* b, std::uint64_t count) {
    if (a == nullptr || b == nullptr || count == 0) return 0;
    for (std::uint64_t i = 0; i < count; ++i)
        if (a[i] != b[i]) return i;
    return ~std::uint64_t{0};
}

int block_less(const _16_byte_block& a, const _16_byte_block& b) {
    const unsigned char* x = a.bytes();
    const unsigned char* y = b.bytes();
    for (int i = 0; i < 16; ++i)
        if (x[i] != y[i]) return x[i] < y[i] ? 1 : 0;
    return 0;
}

int byte_vector_less(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? 1 : 0;
    return 0;
}

int all_strings_empty(const std::vector<std::string>& strings) {
    for (const std::string& s : strings)
        if (!s.empty()) return 0;
    return 1;
}

int is_all_zero(const std::vector<unsigned char>& bytes) {
    for (unsigned char b : bytes)
        if (b != 0) return 0;
    return 1;
}

int find_bytes_offset(std::uint64_t& offset, const std::vector<unsigned char>& bytes,
                      const std::string& pattern, std::uint64_t base) {
    offset = 0;
    std::uint64_t at = 0;
    if (!find_byte_pattern_first(bytes.data(), bytes.size(), pattern.data(), pattern.size(), at, false))
        return 0;
    offset = base + at;
    return 1;
}

int contains_in_order(const std::vector<unsigned char>& bytes, const std::vector<unsigned char>& first,
                      const std::vector<unsigned char>& second) {
    if ((first.empty() && second.empty()) || bytes.empty()) return 0;
    if (bytes.size() < first.size() || bytes.size() < second.size()) return 0;
    std::size_t from = 0;
    if (!first.empty()) {
        std::size_t pos = 0;
        if (!find_in(bytes, 0, first, pos)) return 0;
        from = pos + first.size();
    }
    std::size_t ignored = 0;
    if (!second.empty() && !find_in(bytes, from, second, ignored)) return 0;
    return 1;
}

int find_past(std::size_t& pos, const std::string& text, std::size_t start, const std::string& pattern) {
    pos = std::string::npos;
    if (pattern.empty()) return 0;
    pos = text.find(pattern, start);
    if (pos == std::string::npos) return 0;
    pos += pattern.size();
    return 1;
}

int find_from(std::size_t& pos, const std::string& text, std::size_t start, const char* pattern) {
    pos = std::string::npos;
    if (pattern == nullptr || *pattern == '\0') return 0;
    pos = text.find(pattern, start);
    return pos == std::string::npos ? 0 : 1;
}

int find_from_wide(std::size_t& pos, const std::wstring& text, std::size_t start, const wchar_t* pattern) {
    pos = std::wstring::npos;
    if (pattern == nullptr || *pattern == L'\0') return 0;
    pos = text.find(pattern, start);
    return pos == std::wstring::npos ? 0 : 1;
}

int base64_digit_value(int c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    return 63;
}

int looks_like_base64(const char* text, int length, bool check_characters) {
    if (text == nullptr || length < 4) return 0;
    const int r = length % 3;
    const char last = text[length - 1];
    if (r == 2 && last != '=') return 0;
    if (r == 1 && last != '=' && text[length - 2] != '=') return 0;
    if (check_characters) {
        for (int i = 0; i < length - r; ++i)
            if (!is_base64_character(text[i])) return 0;
    }
    return 1;
}

int is_hex_digit(int c) {
    const unsigned char b = static_cast<unsigned char>(c);
    return (b >= '0' && b <= '9') || (b >= 'a' && b <= 'f') || (b >= 'A' && b <= 'F') ? 1 : 0;
}

int bytes_to_letter_nibbles(const unsigned char* data, int count, unsigned char tag, char (&out)[32]) {
    if (count > 15 || count < 0 || (count > 0 && data == nullptr)) return 0;
    int at = 0;
    for (int i = 0; i < count; ++i) {
        out[at++] = nibble_letter(data[i] >> 4);
        out[at++] = nibble_letter(data[i]);
    }
    // The filler pair is the form of a blank (0x20).
    while (at < 30) {
        out[at++] = 'C';
        out[at++] = 'A';
    }
    out[30] = nibble_letter(tag >> 4);
    out[31] = nibble_letter(tag);
    return 1;
}

int letter_nibbles_to_bytes(const std::string& text, std::string& out, unsigned char& tag) {
    if (text.size() < 32) return 0;
    out.clear();
    for (int i = 0; i < 30; i += 2) out.push_back(static_cast<char>(letters_to_byte(text[i], text[i + 1])));
    tag = letters_to_byte(text[30], text[31]);
    return 1;
}

int codes_to_names(std::string& out, std::uint32_t flags, const code_name_fn& name_of,
                   const std::uint64_t* codes, std::size_t available) {
    out.clear();
    std::vector<std::string> names;
    if (!collect_names(names, flags, name_of, codes, available)) return 0;
    out = join_words_styled_list(flags, names);
    return 1;
}

int codes_to_names_stream(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                          const std::uint64_t* codes, std::size_t available) {
    if ((flags & kNamesKeepStream) == 0) {
        out.str("");
        out.clear();
    }
    std::vector<std::string> names;
    if (!collect_names(names, flags, name_of, codes, available)) return 0;
    out << join_words_styled_list(flags, names);
    return 1;
}

int codes_to_names_2(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                     std::uint64_t c1, std::uint64_t c2) {
    return codes_to_names_fixed(out, flags, name_of, {c1, c2});
}

int codes_to_names_3(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                     std::uint64_t c1, std::uint64_t c2, std::uint64_t c3) {
    return codes_to_names_fixed(out, flags, name_of, {c1, c2, c3});
}

int codes_to_names_4(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                     std::uint64_t c1, std::uint64_t c2, std::uint64_t c3, std::uint64_t c4) {
    return codes_to_names_fixed(out, flags, name_of, {c1, c2, c3, c4});
}

int codes_to_names_5(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                     std::uint64_t c1, std::uint64_t c2, std::uint64_t c3, std::uint64_t c4,
                     std::uint64_t c5) {
    return codes_to_names_fixed(out, flags, name_of, {c1, c2, c3, c4, c5});
}

int codes_to_names_6(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                     std::uint64_t c1, std::uint64_t c2, std::uint64_t c3, std::uint64_t c4, std::uint64_t c5,
                     std::uint64_t c6) {
    return codes_to_names_fixed(out, flags, name_of, {c1, c2, c3, c4, c5, c6});
}

int codes_to_names_7(std::ostringstream& out, std::uint32_t flags, const code_name_fn& name_of,
                     std::uint64_t c1, std::uint64_t c2, std::uint64_t c3, std::uint64_t c4, std::uint64_t c5,
                     std::uint64_t c6, std::uint64_t c7) {
    return codes_to_names_fixed(out, flags, name_of, {c1, c2, c3, c4, c5, c6, c7});
}
