#include "common/hex_text.h"

#include <charconv>
#include <iomanip>
#include <locale>

namespace {

const char kHexDigits[] = "0123456789abcdef";

void append_hex_byte(std::string& out, unsigned char b) {
    out.push_back(kHexDigits[b >> 4]);
    out.push_back(kHexDigits[b & 0x0f]);
}

char printable_or_dot(unsigned char b) { return (b >= 32 && b <= 126) ? static_cast<char>(b) : '.'; }

// Shared by the narrow and wide twins: only the stream type differs.
template <typename Stream>
int move_put_back(Stream& os, int n, typename Stream::pos_type* new_pos) {
    if (n < 0 || os.fail()) return 0;
    const typename Stream::pos_type cur = os.tellp();
    if (cur == typename Stream::pos_type(-1)) return 0;
    const typename Stream::off_type back = n;
    const typename Stream::off_type cur_off = cur;
    const typename Stream::pos_type target = cur_off >= back ? cur_off - back : 0;
    os.seekp(target);
    if (os.fail()) return 0;
    if (new_pos) *new_pos = target;
    return 1;
}

template <typename Stream>
int erase_tail(Stream& os, int n, bool truncate) {
    typename Stream::pos_type pos;
    if (!move_put_back(os, n, &pos)) return 0;
    if (!truncate) return 1;
    // Keep the whole text before the position: a NUL inside it is data, not an end.
    const typename Stream::off_type keep = pos;
    auto text = os.str();
    if (static_cast<std::size_t>(keep) < text.size()) text.resize(static_cast<std::size_t>(keep));
    os.str(decltype(text)());
    os << text;
    return os.fail() ? 0 : 1;
}

template <typename Char>
std::uint64_t parse_u64_impl(const std::basic_string<Char>& text, std::ios_base::fmtflags flags) {
    std::basic_istringstream<Char> in(text);
    in.imbue(std::locale::classic());
    in.setf(flags & std::ios_base::basefield, std::ios_base::basefield);
    unsigned long long value = 0;
    in >> value;
    // A text without a number leaves 0; an overflowing one leaves the stream's maximum.
    return value;
}

void write_labelled_tail(std::ostream& os, unsigned width, const std::string& label,
                         const std::string& value) {
    os << std::left << std::setfill(' ') << std::setw(static_cast<int>(width)) << (label + ":") << value
       << '\n';
}

}  // namespace

int bytes_to_hex(std::string& out, const unsigned char* data, int count, const std::string& sep,
                 bool with_0x) {
    if (!data || count <= 0) return 0;
    std::string text;
    text.reserve(static_cast<std::size_t>(count) * (2 + sep.size() + (with_0x ? 2 : 0)));
    for (int i = 0; i < count; ++i) {
        if (i > 0) text += sep;
        if (with_0x) text += "0x";
        append_hex_byte(text, data[i]);
    }
    out.swap(text);
    return 1;
}

int byte_vector_to_hex(std::string& out, const std::vector<unsigned char>& bytes, const std::string& sep,
                       bool with_0x) {
    out.clear();
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT32_MAX)) return 0;
    return bytes_to_hex(out, bytes.data(), static_cast<int>(bytes.size()), sep, with_0x);
}

std::string byte_vector_to_hex_string(const std::vector<unsigned char>& bytes, const std::string& sep) {
    std::string out;
    byte_vector_to_hex(out, bytes, sep, false);
    return out;
}

void write_byte_vector_hex(const std::vector<unsigned char>& bytes, std::ostream& os) {
    os << byte_vector_to_hex_string(bytes, " ");
}

std::string& bytes_to_hex_spaced(std::string& out, const unsigned char* data, int count, bool blanks) {
    out.clear();
    if (!data || count <= 0) return out;
    for (int i = 0; i < count; ++i) {
        if (blanks && i > 0) out.push_back(' ');
        append_hex_byte(out, data[i]);
    }
    return out;
}

void hex16_to_stream(const unsigned char* bytes, std::ostream& os) {
    os << std::hex << std::right << std::setfill('0');
    if (!bytes) return;
    for (int i = 0; i < 16; ++i) {
        if (i > 0) os << ' ';
        os << std::setw(2) << static_cast<unsigned>(bytes[i]);
    }
}

void hex16_line_to_stream(const unsigned char* bytes, std::ostream& os) {
    hex16_to_stream(bytes, os);
    os << '\n';
}

int hex_dump_append(std::string& out, const unsigned char* data, int count, bool final_newline) {
    if (!data || count <= 0) return 0;
    for (int line = 0; line < count; line += 16) {
        const int r = (count - line < 16) ? count - line : 16;
        for (int i = 0; i < r; ++i) {
            append_hex_byte(out, data[line + i]);
            out.push_back(' ');
        }
        out.append(static_cast<std::size_t>(3 * (16 - r)), ' ');
        out.append(2, ' ');
        for (int i = 0; i < r; ++i) out.push_back(printable_or_dot(data[line + i]));
        if (r == 16) out.push_back('\n');
    }
    if (final_newline) out.push_back('\n');
    return 1;
}

std::string& number_to_text(std::string& out, std::uint64_t value, bool hex, unsigned width) {
    // Digits straight into the text: report digits never take a locale's grouping.
    char digits[24];
    if (!hex) {
        const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, value);
        out.assign(digits, static_cast<std::size_t>(r.ptr - digits));
        return out;
    }
    if (width == 0) {
        if (value < 255)
            width = 2;
        else if (value < 65535)
            width = 4;
        else if (value >= 0xFFFFFF)
            width = 8;
        else
            width = 6;
    }
    const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, value, 16);
    const std::size_t n = static_cast<std::size_t>(r.ptr - digits);
    out.assign("0x");
    // The width as a stream field takes it: a width past the int range is no width.
    const int w = static_cast<int>(width);
    if (w > 0 && n < static_cast<std::size_t>(w)) out.append(static_cast<std::size_t>(w) - n, '0');
    out.append(digits, n);
    return out;
}

std::string& prepare_number_stream(std::string& prefix, std::ostream& os, bool hex, unsigned width) {
    if (hex) {
        os << std::hex << std::right << std::setfill('0');
        prefix = "0x";
    } else {
        os << std::dec << std::right << std::setfill(' ');
        prefix.clear();
    }
    if (width != 0) os.width(static_cast<std::streamsize>(width));
    return prefix;
}

std::string& fixed2_to_text(std::string& out, double value) {
    std::ostringstream os;
    os.imbue(std::locale::classic());
    os << std::fixed << std::setprecision(2) << value;
    out = os.str();
    return out;
}

std::uint64_t parse_u64(const std::string& text, std::ios_base::fmtflags flags) {
    return parse_u64_impl(text, flags);
}

std::uint64_t parse_u64_wide(const std::wstring& text, std::ios_base::fmtflags flags) {
    return parse_u64_impl(text, flags);
}

std::string& seconds_to_text(std::string& out, std::uint32_t seconds) {
    out.clear();
    if (seconds == 0 || seconds == 0xFFFFFFFFu) return out;
    struct part_t {
        std::uint32_t n;
        const char* unit;
    };
    const part_t parts[] = {{seconds / 86400, " day"},
                            {(seconds / 3600) % 24, " hour"},
                            {(seconds / 60) % 60, " min"},
                            {seconds % 60, " sec"}};
    std::ostringstream os;
    os.imbue(std::locale::classic());
    for (const part_t& p : parts) {
        if (p.n == 0) continue;
        os << p.n << p.unit << (p.n >= 2 ? "s" : "") << ' ';
    }
    erase_stream_tail(os, 1, true);
    out = os.str();
    return out;
}

std::string month_abbreviation(int month) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (month < 1 || month > 12) return std::string();
    return kMonths[month - 1];
}

std::size_t write_offset_line(std::ostream& os, std::uint64_t offset, std::uint64_t position, unsigned width,
                              const std::string& label, const std::string& value) {
    os << "0x" << std::hex << std::right << std::setfill('0') << std::setw(3) << offset << " : "
       << std::setw(6) << position << " : ";
    write_labelled_tail(os, width, label, value);
    return value.size();
}

std::size_t write_position_line(std::ostream& os, std::uint64_t offset, std::uint64_t position,
                                unsigned width, const std::string& label, const std::string& value) {
    os << "0x" << std::hex << std::right << std::setfill('0') << std::setw(6) << (position + offset) << " : "
       << std::setw(3) << offset << " : ";
    write_labelled_tail(os, width, label, value);
    return value.size();
}

void write_name_and_range(std::ostream& os, const char* name, std::uint64_t value) {
    if (!name) return;
    std::string text;
    number_to_text(text, value, true, 2);
    os << name << ": " << text << "/" << text;
}

int erase_stream_tail(std::ostringstream& os, int n, bool truncate) { return erase_tail(os, n, truncate); }
int erase_stream_tail(std::stringstream& os, int n, bool truncate) { return erase_tail(os, n, truncate); }
int erase_stream_tail_wide(std::wostringstream& os, int n, bool truncate) {
    return erase_tail(os, n, truncate);
}
int erase_stream_tail_wide(std::wstringstream& os, int n, bool truncate) {
    return erase_tail(os, n, truncate);
}

int rewind_stream(std::ostream& os, int n) { return move_put_back(os, n, nullptr); }
int rewind_stream_wide(std::wostream& os, int n) { return move_put_back(os, n, nullptr); }

std::uint64_t stream_position(std::ostream& os) {
    if (os.fail()) return 0;
    const std::ostream::pos_type pos = os.tellp();
    if (pos == std::ostream::pos_type(-1)) return 0;
    return static_cast<std::uint64_t>(static_cast<std::streamoff>(pos));
}
