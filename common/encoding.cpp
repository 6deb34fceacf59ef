#include "common/encoding.h"

#include <new>

namespace {

// Decodes the sequence that starts at p[i] (i < n) into cp and moves i past it. False when the lead
// byte is not a lead byte, or a continuation byte is missing or wrong; i is then left unchanged.
// A whole sequence is checked to be present before any of it is used.
bool decode_one(const unsigned char* p, std::size_t n, std::size_t& i, std::uint32_t& cp) {
    unsigned char lead = p[i];
    std::size_t extra;
    std::uint32_t value;
    if (lead < 0x80) {
        cp = lead;
        ++i;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        value = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        value = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        value = lead & 0x07u;
    } else {
        return false;  // stray continuation byte or 11111xxx
    }
    if (extra > n - i - 1) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
        unsigned char c = p[i + k];
        if ((c & 0xC0) != 0x80) return false;
        value = (value << 6) | (c & 0x3Fu);
    }
    cp = value;
    i += extra + 1;
    return true;
}

// Calls sink(cp) for each code point of in; false at the first malformed sequence.
template <class Sink>
bool decode_utf8(const std::string& in, Sink sink) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(in.data());
    std::size_t n = in.size();
    std::size_t i = 0;
    while (i < n) {
        std::uint32_t cp = 0;
        if (!decode_one(p, n, i, cp)) return false;
        sink(cp);
    }
    return true;
}

// Appends the UTF-8 form of cp; false (nothing appended) for 0x110000 and above.
bool encode_one(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        return false;
    }
    return true;
}

bool is_high(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
std::uint32_t combine(std::uint32_t high, std::uint32_t low) { return (high << 10) + low - 0x35FDC00u; }

// Walks n UTF-16 units given by unit(i), calling sink(cp). False at a high surrogate that is not
// followed by a low one (a high surrogate in the last unit included). Never asks for unit(n).
template <class Unit, class Sink>
bool decode_utf16(std::size_t n, Unit unit, Sink sink) {
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t u = unit(i);
        if (is_high(u)) {
            if (i + 1 >= n) return false;
            std::uint32_t low = unit(i + 1);
            if (!is_low(low)) return false;
            sink(combine(u, low));
            ++i;
        } else {
            sink(u);
        }
    }
    return true;
}

// Units held little-endian in a byte buffer; read byte by byte since the buffer need not be aligned.
struct le_units {
    const std::uint8_t* p;
    std::uint32_t operator()(std::size_t i) const {
        return static_cast<std::uint32_t>(p[2 * i]) | (static_cast<std::uint32_t>(p[2 * i + 1]) << 8);
    }
};

int utf16le_to_utf8(std::string& out, const std::uint8_t* p, std::size_t byte_count) {
    out.clear();
    std::size_t n = byte_count / 2;
    out.reserve(n + 256);
    bool ok = decode_utf16(n, le_units{p}, [&](std::uint32_t cp) { encode_one(out, cp); });
    return ok ? 1 : 0;
}

int bom_matches(const std::uint8_t* buf, std::size_t len, const std::uint8_t* mark, std::size_t mark_len) {
    if (buf == nullptr || len < mark_len) return 0;
    for (std::size_t i = 0; i < mark_len; ++i)
        if (buf[i] != mark[i]) return 0;
    return 1;
}

const std::uint8_t kBomUtf8[] = {0xEF, 0xBB, 0xBF};
const std::uint8_t kBomUtf16le[] = {0xFF, 0xFE};
const std::uint8_t kBomUtf16be[] = {0xFE, 0xFF};
const std::uint8_t kBomUtf32le[] = {0xFF, 0xFE, 0x00, 0x00};
const std::uint8_t kBomUtf32be[] = {0x00, 0x00, 0xFE, 0xFF};
const std::uint8_t kBomUtf7[] = {0x2B, 0x2F, 0x76};
const std::uint8_t kBomUtfEbcdic[] = {0xDD, 0x73, 0x66, 0x73};
const std::uint8_t kBomScsu[] = {0x0E, 0xFE, 0xFF};
const std::uint8_t kBomBocu1[] = {0xFB, 0xEE, 0x28};

template <std::size_t N>
std::vector<std::uint8_t>& append_mark(std::vector<std::uint8_t>& v, const std::uint8_t (&mark)[N]) {
    v.insert(v.end(), mark, mark + N);
    return v;
}

}  // namespace

// ---- Decoding UTF-8 ----

int utf8_decode(std::wstring& out, const std::string& in) {
    if (in.empty()) return 0;
    out.clear();
    bool ok = decode_utf8(in, [&](std::uint32_t cp) { out += static_cast<wchar_t>(cp); });
    return ok ? 1 : 0;
}

int utf8_to_wide(std::wstring& out, const std::string& in) {
    out.clear();
    if (in.empty()) return 0;
    return utf8_decode(out, in);
}

std::wstring utf8_to_wstring(const std::string& in) {
    std::wstring out;
    if (!utf8_to_wide(out, in)) out.clear();
    return out;
}

int utf8_bytes_to_wide(std::wstring& out, const std::vector<std::uint8_t>& in) {
    if (in.empty()) return 0;
    return utf8_decode(out, std::string(in.begin(), in.end()));
}

std::wstring utf8_bytes_to_wstring(const std::vector<std::uint8_t>& in) {
    std::wstring out;
    if (!utf8_bytes_to_wide(out, in)) out.clear();
    return out;
}

int utf8_to_ucs4(std::vector<std::uint32_t>& out, const std::string& in) {
    out.clear();
    if (in.empty()) return 0;
    bool ok = decode_utf8(in, [&](std::uint32_t cp) { out.push_back(cp); });
    return ok ? 1 : 0;
}

std::uint32_t utf8_length(const std::string& in) {
    std::uint32_t count = 0;
    bool ok = decode_utf8(in, [&](std::uint32_t) { ++count; });
    return ok ? count : 0;
}

// ---- Encoding UTF-8 ----

int wide_to_utf8(std::string& out, const std::wstring& in) {
    out.clear();
    try {
        out.reserve(in.size());
        for (wchar_t c : in)
            if (!encode_one(out, static_cast<std::uint32_t>(c))) break;
    } catch (const std::bad_alloc&) {
        // Keep what was produced; the caller only looks at out.
    }
    return 0;
}

std::string wstring_to_utf8(const std::wstring& in) {
    std::string out;
    wide_to_utf8(out, in);
    return out;
}

int ucs4_to_utf8(std::string& out, const std::vector<std::uint32_t>& in) {
    out.clear();
    for (std::uint32_t c : in)
        if (!encode_one(out, c)) break;
    return 0;
}

int wide_to_utf8_bytes(std::vector<std::uint8_t>& out, const std::wstring& in) {
    out.clear();
    if (in.empty()) return 0;
    std::string text;
    wide_to_utf8(text, in);
    out.assign(text.begin(), text.end());
    out.push_back(0);
    return 1;
}

int latin1_string_to_utf8(std::string& out, const std::string& in) {
    out.clear();
    if (in.empty()) return 0;
    for (char ch : in) encode_one(out, static_cast<unsigned char>(ch));
    return 1;
}

// ---- UTF-16 ----

int utf16_units_to_utf8(std::string& out, const std::uint16_t* units, std::int32_t byte_count) {
    if (units == nullptr || byte_count < 2) return 0;
    out.clear();
    std::size_t n = static_cast<std::size_t>(byte_count) / 2;
    out.reserve(n + 256);
    bool ok = decode_utf16(
        n, [units](std::size_t i) { return static_cast<std::uint32_t>(units[i]); },
        [&](std::uint32_t cp) { encode_one(out, cp); });
    return ok ? 1 : 0;
}

int utf16_string_to_utf8(std::string& out, const std::string& in) {
    if (in.size() < 2) return 0;
    return utf16le_to_utf8(out, reinterpret_cast<const std::uint8_t*>(in.data()), in.size());
}

int utf16_vector_to_utf8(std::string& out, const std::vector<std::uint8_t>& in) {
    if (in.size() < 2) return 0;
    return utf16le_to_utf8(out, in.data(), in.size() & ~static_cast<std::size_t>(1));
}

int utf16_bytes_to_wide(std::wstring& out, const std::vector<std::uint8_t>& in) {
    if (in.size() < 2) return 0;
    out.clear();
    std::string text;
    int ok = utf16_vector_to_utf8(text, in);
    if (!text.empty()) utf8_decode(out, text);
    // A broken surrogate pair is a failure even though the text before it came out.
    return ok && !out.empty() ? 1 : 0;
}

int utf16_bytes_to_utf8_bytes(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& in) {
    out.clear();
    std::string text;
    int ok = utf16_vector_to_utf8(text, in);
    out.assign(text.begin(), text.end());
    return ok;
}

std::string utf16_bytes_to_utf8(const std::vector<std::uint8_t>& in) {
    std::string text;
    if (!utf16_vector_to_utf8(text, in)) text.clear();
    return text;
}

int utf16_to_ucs4(std::vector<std::uint32_t>& out, const std::vector<std::uint16_t>& in) {
    out.clear();
    if (in.empty()) return 0;
    bool ok = decode_utf16(
        in.size(), [&in](std::size_t i) { return static_cast<std::uint32_t>(in[i]); },
        [&](std::uint32_t cp) { out.push_back(cp); });
    return ok ? 1 : 0;
}

int utf16le_bytes_to_ucs4(std::vector<std::uint32_t>& out, const std::vector<std::uint8_t>& in) {
    out.clear();
    if (in.empty() || in.size() % 2 != 0) return 0;
    bool ok = decode_utf16(in.size() / 2, le_units{in.data()}, [&](std::uint32_t cp) { out.push_back(cp); });
    return ok ? 1 : 0;
}

int ucs4_to_utf16(std::vector<std::uint16_t>& out, const std::vector<std::uint32_t>& in) {
    out.clear();
    if (in.empty()) return 0;
    for (std::uint32_t c : in) {
        if (c < 0xD800 || (c >= 0xE000 && c <= 0xFFFF)) {
            out.push_back(static_cast<std::uint16_t>(c));
        } else if (c >= 0x10000 && c <= 0x10FFFF) {
            out.push_back(static_cast<std::uint16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<std::uint16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            return 0;
        }
    }
    return 1;
}

int utf8_to_utf16(std::vector<std::uint16_t>& out, const std::string& in) {
    out.clear();
    std::vector<std::uint32_t> cps;
    if (!utf8_to_ucs4(cps, in)) return 0;
    return ucs4_to_utf16(out, cps);
}

int utf8_bytes_to_utf16(std::vector<std::uint16_t>& out, const std::vector<std::uint8_t>& in) {
    out.clear();
    if (in.empty()) return 0;
    std::wstring check;
    if (!utf8_bytes_to_wide(check, in)) return 0;
    return utf8_to_utf16(out, std::string(in.begin(), in.end()));
}

int bytes_to_utf16_units(std::vector<std::uint16_t>& out, const std::uint8_t* bytes, std::uint32_t count) {
    if (bytes == nullptr || count == 0) return 0;
    std::size_t n = count / 2;
    out.resize(n);
    le_units unit{bytes};
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint16_t>(unit(i));
    return 0;
}

int bytes_to_utf16_units(std::vector<std::uint16_t>& out, const std::vector<std::uint8_t>& in) {
    out.clear();
    if (in.empty()) return 0;
    std::size_t n = in.size() / 2;
    out.resize(n);
    le_units unit{in.data()};
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint16_t>(unit(i));
    return 0;
}

std::vector<std::uint16_t> wstring_to_utf16_units(const std::wstring& in) {
    std::vector<std::uint16_t> out;
    out.reserve(in.size());
    for (wchar_t c : in) out.push_back(static_cast<std::uint16_t>(static_cast<std::uint32_t>(c) & 0xFFFF));
    return out;
}

std::wstring utf16_units_to_wstring(const std::vector<std::uint16_t>& in) {
    std::wstring out;
    out.reserve(in.size());
    for (std::uint16_t u : in) out += static_cast<wchar_t>(u);
    return out;
}

// ---- Bytes and strings ----

int string_to_bytes(std::vector<std::uint8_t>& out, const std::string& in) {
    out.clear();
    if (in.empty()) return 0;
    out.assign(in.begin(), in.end());
    return 1;
}

std::string bytes_to_string(const std::vector<std::uint8_t>& in) { return std::string(in.begin(), in.end()); }

// ---- Lists ----

int utf8_list_to_wide(std::vector<std::wstring>& out, const std::vector<std::string>& in) {
    out.clear();
    if (in.empty()) return 0;
    for (const std::string& s : in) {
        std::wstring w;
        utf8_to_wide(w, s);  // a malformed element still gives its decoded prefix
        out.push_back(w);
    }
    return 1;
}

int wide_list_to_utf8(std::vector<std::string>& out, const std::vector<std::wstring>& in) {
    out.clear();
    if (in.empty()) return 0;
    for (const std::wstring& w : in) out.push_back(wstring_to_utf8(w));
    return 1;
}

// ---- Byte-order marks ----

std::vector<std::uint8_t>& append_bom_utf8(std::vector<std::uint8_t>& v) { return append_mark(v, kBomUtf8); }
std::vector<std::uint8_t>& append_bom_utf16le(std::vector<std::uint8_t>& v) {
    return append_mark(v, kBomUtf16le);
}
std::vector<std::uint8_t>& append_bom_utf16be(std::vector<std::uint8_t>& v) {
    return append_mark(v, kBomUtf16be);
}
std::vector<std::uint8_t>& append_bom_utf32le(std::vector<std::uint8_t>& v) {
    return append_mark(v, kBomUtf32le);
}
std::vector<std::uint8_t>& append_bom_utf32be(std::vector<std::uint8_t>& v) {
    return append_mark(v, kBomUtf32be);
}
std::vector<std::uint8_t>& append_bom_utf7(std::vector<std::uint8_t>& v) { return append_mark(v, kBomUtf7); }
std::vector<std::uint8_t>& append_bom_utf_ebcdic(std::vector<std::uint8_t>& v) {
    return append_mark(v, kBomUtfEbcdic);
}
std::vector<std::uint8_t>& append_bom_scsu(std::vector<std::uint8_t>& v) { return append_mark(v, kBomScsu); }
std::vector<std::uint8_t>& append_bom_bocu1(std::vector<std::uint8_t>& v) {
    return append_mark(v, kBomBocu1);
}

int is_bom_utf8(const std::uint8_t* b, std::size_t n) { return bom_matches(b, n, kBomUtf8, sizeof kBomUtf8); }
int is_bom_utf16le(const std::uint8_t* b, std::size_t n) {
    return bom_matches(b, n, kBomUtf16le, sizeof kBomUtf16le);
}
int is_bom_utf16be(const std::uint8_t* b, std::size_t n) {
    return bom_matches(b, n, kBomUtf16be, sizeof kBomUtf16be);
}
int is_bom_utf32le(const std::uint8_t* b, std::size_t n) {
    return bom_matches(b, n, kBomUtf32le, sizeof kBomUtf32le);
}
int is_bom_utf32be(const std::uint8_t* b, std::size_t n) {
    return bom_matches(b, n, kBomUtf32be, sizeof kBomUtf32be);
}
int is_bom_utf7(const std::uint8_t* b, std::size_t n) { return bom_matches(b, n, kBomUtf7, sizeof kBomUtf7); }
int is_bom_utf_ebcdic(const std::uint8_t* b, std::size_t n) {
    return bom_matches(b, n, kBomUtfEbcdic, sizeof kBomUtfEbcdic);
}
int is_bom_scsu(const std::uint8_t* b, std::size_t n) { return bom_matches(b, n, kBomScsu, sizeof kBomScsu); }
int is_bom_bocu1(const std::uint8_t* b, std::size_t n) {
    return bom_matches(b, n, kBomBocu1, sizeof kBomBocu1);
}
