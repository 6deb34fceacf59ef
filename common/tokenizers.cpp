#include "common/tokenizers.h"

#include <cstring>

#include "common/encoding.h"
#include "common/text_ops.h"

namespace {

// Units looked at when a UTF-16 size asks for "up to the first NUL".
constexpr std::uint32_t kMaxUnitsForNul = 513;

void finish_piece(std::string& piece, bool trim, std::vector<std::string>& out) {
    if (trim) trim_whitespace(piece);
    if (!piece.empty()) out.push_back(piece);
    piece.clear();
}

void finish_wide_piece(std::wstring& piece, bool trim, std::vector<std::wstring>& out) {
    if (trim) trim_wide(piece);
    if (!piece.empty()) out.push_back(piece);
    piece.clear();
}

// Position of the first NUL among the first kMaxUnitsForNul units, or 0 when there is none.
std::uint32_t units_up_to_nul(const std::uint16_t* buf) {
    for (std::uint32_t i = 0; i < kMaxUnitsForNul; ++i)
        if (buf[i] == 0) return i;
    return 0;
}

std::string units_to_utf8(const std::vector<std::uint16_t>& units) {
    std::string s;
    if (!units.empty()) utf16_units_to_utf8(s, units.data(), static_cast<std::int32_t>(units.size() * 2));
    return s;
}

bool matches_at(const std::uint8_t* buf, unsigned len, unsigned pos, const char* marker) {
    std::size_t n = std::strlen(marker);
    return pos <= len && n <= len - pos && std::memcmp(buf + pos, marker, n) == 0;
}

}  // namespace

int split_buffer_at_char(const std::uint8_t* buf, int len, std::uint8_t delim, std::vector<std::string>& out,
                         unsigned& delim_count, bool trim) {
    if (buf == nullptr || len <= 0) return 0;
    std::string piece;
    for (int i = 0; i < len; ++i) {
        if (buf[i] == delim) {
            ++delim_count;
            finish_piece(piece, trim, out);
        } else {
            piece.push_back(static_cast<char>(buf[i]));
        }
    }
    finish_piece(piece, trim, out);
    return len;
}

int split_wide_buffer(const wchar_t* buf, int len, wchar_t delim, std::vector<std::wstring>& out,
                      unsigned& delim_count, bool trim) {
    if (buf == nullptr || len <= 0) return 0;
    std::wstring piece;
    for (int i = 0; i < len; ++i) {
        if (buf[i] == delim) {
            ++delim_count;
            finish_wide_piece(piece, trim, out);
        } else {
            piece.push_back(buf[i]);
        }
    }
    finish_wide_piece(piece, trim, out);
    return len;
}

int split_at_byte_pair(const std::uint8_t* buf, int len, std::uint16_t pair, std::vector<std::string>& out,
                       bool trim) {
    if (buf == nullptr || len <= 0) return 0;
    const std::uint8_t first = static_cast<std::uint8_t>(pair & 0xFF);
    const std::uint8_t second = static_cast<std::uint8_t>(pair >> 8);
    std::string piece;
    int i = 0;
    while (i < len) {
        if (i + 1 < len && buf[i] == first && buf[i + 1] == second) {
            finish_piece(piece, trim, out);
            i += 2;
        } else {
            piece.push_back(static_cast<char>(buf[i]));
            ++i;
        }
    }
    finish_piece(piece, trim, out);
    return i;
}

int split_buffer_lines(unsigned& end_of_lines, std::vector<std::string>& out, const std::uint8_t* buf,
                       unsigned len, bool trim, bool skip_empty) {
    out.clear();
    end_of_lines = 0;
    if (buf == nullptr || len == 0) return 0;
    unsigned start = 0;
    for (unsigned i = 0; i < len; ++i) {
        if (buf[i] != '\n') continue;
        unsigned s = start;
        while (s < i && buf[s] == '\r') ++s;
        unsigned e = i;
        if (e > s && buf[e - 1] == '\r') --e;
        std::string line(reinterpret_cast<const char*>(buf + s), e - s);
        if (trim) trim_whitespace(line);
        if (!(line.empty() && skip_empty)) out.push_back(line);
        start = i + 1;
        end_of_lines = start;
    }
    return out.empty() ? 0 : 1;
}

int split_byte_lines(const std::vector<std::uint8_t>& buf, std::vector<std::string>& out) {
    out.clear();
    if (buf.empty()) return 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < buf.size(); ++i) {
        if (buf[i] != '\n') continue;
        std::size_t s = start;
        while (s < i && buf[s] == '\r') ++s;
        std::string line(reinterpret_cast<const char*>(buf.data() + s), i - s);
        trim_whitespace(line);
        out.push_back(line);
        start = i + 1;
    }
    if (start == 0) {
        std::string whole(buf.begin(), buf.end());
        trim_whitespace(whole);
        out.push_back(whole);
    } else if (buf.size() - start >= 2) {
        std::string rest(buf.begin() + static_cast<std::ptrdiff_t>(start), buf.end());
        trim_whitespace(rest);
        out.push_back(rest);
    }
    return out.empty() ? 0 : 1;
}

int split_utf16_lines(const std::vector<std::uint16_t>& units, std::vector<std::wstring>& out) {
    out.clear();
    if (units.empty()) return 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i] != '\n') continue;
        std::size_t s = start;
        while (s < i && units[s] == '\r') ++s;
        std::wstring line;
        for (std::size_t k = s; k < i; ++k) line.push_back(static_cast<wchar_t>(units[k]));
        trim_wide(line);
        out.push_back(line);
        start = i + 1;
    }
    return out.empty() ? 0 : 1;
}

int split_text_buffer_lines(std::vector<std::string>& out, const std::uint8_t* buf, unsigned len, bool trim,
                            bool skip_empty) {
    out.clear();
    if (buf == nullptr || len < 2) return 0;
    bool utf16 = buf[0] == 0 || buf[1] == 0 || (len >= 4 && (buf[2] == 0 || buf[3] == 0));

    auto emit = [&](std::string line) {
        if (line.empty() && skip_empty) return;
        if (trim) trim_whitespace(line);
        out.push_back(line);
    };

    if (!utf16) {
        std::string line;
        for (unsigned i = 0; i < len && buf[i] != 0; ++i) {
            if (buf[i] == '\n') {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                emit(line);
                line.clear();
            } else {
                line.push_back(static_cast<char>(buf[i]));
            }
        }
    } else {
        std::vector<std::uint16_t> line;
        for (unsigned i = 0; i + 1 < len; i += 2) {
            std::uint16_t u = static_cast<std::uint16_t>(buf[i] | (buf[i + 1] << 8));
            if (u == '\n') {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                emit(units_to_utf8(line));
                line.clear();
            } else {
                line.push_back(u);
            }
        }
    }
    return out.empty() ? 0 : 1;
}

std::string& read_utf16_logical_line(std::string& out, const std::uint16_t*& cursor, std::uint32_t& remaining,
                                     bool continuation) {
    out.clear();
    if (cursor == nullptr) return out;
    std::vector<std::uint16_t> line;
    std::uint32_t i = 0;
    while (i < remaining) {
        std::uint16_t u = cursor[i];
        if (u == '\\' && continuation && i + 1 < remaining &&
            (cursor[i + 1] == '\r' || cursor[i + 1] == '\n')) {
            ++i;  // dropped; the CR or LF after it decides
            continue;
        }
        if (u == '\n') {
            ++i;
            break;
        }
        if (u == '\r') {
            bool joined = continuation && i > 0 && cursor[i - 1] == '\\';
            ++i;
            if (i < remaining && cursor[i] == '\n') ++i;
            if (joined) continue;
            break;
        }
        line.push_back(u);
        ++i;
    }
    // Without a line end the whole rest was read: the cursor goes to the end as well, so that a
    // caller reading until the count is 0 cannot loop on the same final text.
    cursor += i;
    remaining -= i;
    out = units_to_utf8(line);
    return out;
}

void split_nul_separated(const std::uint8_t* buf, std::vector<std::string>& out, int len) {
    if (buf == nullptr) return;
    std::size_t n =
        len == -1 ? std::strlen(reinterpret_cast<const char*>(buf)) : (len > 0 ? std::size_t(len) : 0);
    std::string piece;
    for (std::size_t i = 0; i < n; ++i) {
        if (buf[i] == 0) {
            out.push_back(piece);
            piece.clear();
        } else {
            piece.push_back(static_cast<char>(buf[i]));
        }
    }
    if (!piece.empty()) out.push_back(piece);
}

int split_utf16_nul_separated(std::vector<std::wstring>& out, const std::uint16_t* buf,
                              std::uint32_t size_bytes) {
    out.clear();
    if (buf == nullptr) return 0;
    std::uint32_t n = size_bytes == 0xFFFFFFFFu ? units_up_to_nul(buf) : size_bytes / 2;
    std::wstring piece;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (buf[i] == 0) {
            out.push_back(piece);
            piece.clear();
        } else {
            piece.push_back(static_cast<wchar_t>(buf[i]));
        }
    }
    if (!piece.empty()) out.push_back(piece);
    return out.empty() ? 0 : 1;
}

void split_utf16_multi_string(const std::uint16_t* buf, std::vector<std::wstring>& out, int size_bytes,
                              bool stop_at_double_nul) {
    out.clear();
    if (buf == nullptr) return;
    std::uint32_t n =
        size_bytes == -1 ? units_up_to_nul(buf) : (size_bytes > 0 ? std::uint32_t(size_bytes) / 2 : 0);
    std::wstring piece;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (buf[i] != 0) {
            piece.push_back(static_cast<wchar_t>(buf[i]));
            continue;
        }
        if (piece.empty()) {
            if (stop_at_double_nul) return;
            continue;
        }
        out.push_back(piece);
        piece.clear();
    }
    if (!piece.empty()) out.push_back(piece);
}

int extract_markup_tags(const std::uint8_t* buf, int len, std::vector<std::string>& out) {
    if (buf == nullptr || len < 1) return 0;
    std::vector<std::pair<std::string, std::uint64_t>> tags;
    extract_markup_tags_with_offsets(buf, len, tags);
    for (auto& t : tags) out.push_back(std::move(t.first));
    return out.empty() ? 0 : 1;
}

int extract_markup_tags_with_offsets(const std::uint8_t* buf, int len,
                                     std::vector<std::pair<std::string, std::uint64_t>>& out) {
    if (buf == nullptr || len < 1) return 0;
    bool in_tag = false;
    std::string piece;
    std::uint64_t offset = 0;
    for (int i = 0; i < len; ++i) {
        char c = static_cast<char>(buf[i]);
        if (!in_tag) {
            if (c == '<') {
                in_tag = true;
                piece.assign(1, c);
                offset = static_cast<std::uint64_t>(i) + 1;
            } else if (c == '>') {
                out.emplace_back(std::string(), 0);
            }
            continue;
        }
        piece.push_back(c);
        if (c == '>') {
            out.emplace_back(piece, offset);
            piece.clear();
            in_tag = false;
        }
    }
    return out.empty() ? 0 : 1;
}

int extract_text_outside_tags(const std::uint8_t* buf, int len, std::vector<std::string>& out) {
    if (buf == nullptr || len < 1) return 0;
    bool in_tag = false;
    std::string text;
    for (int i = 0; i < len; ++i) {
        char c = static_cast<char>(buf[i]);
        if (c == '>') {
            trim_line_breaks(text);
            trim_whitespace(text);
            if (!text.empty()) out.push_back(text);
            text.clear();
            in_tag = false;
        } else if (c == '<') {
            in_tag = true;
        } else if (!in_tag) {
            text.push_back(c);
        }
    }
    return out.empty() ? 0 : 1;
}

bool is_xml_text(const std::uint8_t* buf, unsigned len) {
    if (buf == nullptr || len < 16) return false;
    if (matches_at(buf, len, 0, "<?xml ve")) return true;
    if (!matches_at(buf, len, 0, "<!--")) return false;
    bool in_comment = false;
    unsigned i = 0;
    while (i < len) {
        if (in_comment) {
            if (matches_at(buf, len, i, "-->")) {
                in_comment = false;
                i += 3;
            } else {
                ++i;
            }
        } else if (buf[i] != '\n' && matches_at(buf, len, i, "<!--")) {
            in_comment = true;
            i += 4;
        } else if (buf[i] != '\n' && matches_at(buf, len, i, "<?xml ve")) {
            return true;
        } else {
            ++i;
        }
    }
    return false;
}
