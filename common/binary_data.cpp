#include "common/binary_data.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>

namespace {

const char kHex[] = "0123456789abcdef";

// Saves the caller's flags, fill and width and puts them back, so a view never leaks hex or '0' fill into
// the caller's later output. Width is 0 while the view writes.
class stream_state_guard {
  public:
    explicit stream_state_guard(std::ostream& os)
        : m_os(os), m_flags(os.flags()), m_fill(os.fill()), m_width(os.width(0)) {}
    ~stream_state_guard() {
        m_os.flags(m_flags);
        m_os.fill(m_fill);
        m_os.width(m_width);
    }
    stream_state_guard(const stream_state_guard&) = delete;
    stream_state_guard& operator=(const stream_state_guard&) = delete;

  private:
    std::ostream& m_os;
    std::ios_base::fmtflags m_flags;
    char m_fill;
    std::streamsize m_width;
};

enum class address_style {
    none,    // no address
    stream,  // [bits 48-63] [bits 32-47] bits 16-31 bits 0-15, four digits each
    string,  // all four groups, or bits 32-47 with 1, 2 or 4 digits, then the lower two
};

void append_hex_digits(std::string& out, std::uint64_t value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out.push_back(kHex[(value >> shift) & 0xf]);
}

// Digits needed to show value in hex (1 for 0).
int hex_digit_count(std::uint64_t value) {
    int digits = 1;
    while (value >>= 4) ++digits;
    return digits;
}

void append_address(std::string& out, std::uint64_t a, address_style style) {
    if (style == address_style::none) return;
    const std::uint64_t g3 = (a >> 48) & 0xffff, g2 = (a >> 32) & 0xffff;
    if (g3 != 0) {
        append_hex_digits(out, g3, 4);
        out.push_back(' ');
    }
    if (style == address_style::stream || g3 != 0) {
        if (g3 != 0 || g2 != 0) {
            append_hex_digits(out, g2, 4);
            out.push_back(' ');
        }
    } else if (g2 != 0) {
        append_hex_digits(out, g2, g2 < 16 ? 1 : (g2 < 256 ? 2 : 4));
        out.push_back(' ');
    }
    append_hex_digits(out, (a >> 16) & 0xffff, 4);
    out.push_back(' ');
    append_hex_digits(out, a & 0xffff, 4);
    out += ":  ";
}

char printable(unsigned char b) { return (b >= 32 && b <= 126) ? static_cast<char>(b) : '.'; }

// One hex row of n (1..16) bytes, without its line end.
void append_hex_row(std::string& out, const unsigned char* p, std::uint32_t n, std::uint64_t address,
                    address_style style) {
    append_address(out, address, style);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (i == 8) out.push_back(' ');
        out.push_back(kHex[p[i] >> 4]);
        out.push_back(kHex[p[i] & 0xf]);
        out.push_back(' ');
    }
    if (n < 16) out.append(n > 8 ? 48 - 3 * n : 49 - 3 * n, ' ');
    out.push_back(' ');
    for (std::uint32_t i = 0; i < n; ++i) out.push_back(printable(p[i]));
}

// Bytes available from start: count clamped to the buffer (0 when start is past the end).
std::uint32_t clamp_count(const qm::binary_data& buf, std::uint32_t start, std::uint32_t count) {
    const std::uint32_t size = buf.get_size();
    if (start >= size) return 0;
    return std::min(count, size - start);
}

std::uint32_t clamp_end(const qm::binary_data& buf, std::uint32_t start, std::uint32_t end) {
    return end > start ? start + clamp_count(buf, start, end - start) : start;
}

// Calls row(text_of_row, row_start) for each row of [start, end); progress after each.
template <typename RowSink>
void for_each_hex_row(const qm::binary_data& buf, std::uint32_t start, std::uint32_t end, std::uint64_t base,
                      address_style style, hex_row_progress progress, void* context, RowSink&& sink) {
    end = clamp_end(buf, start, end);
    std::string row;
    for (std::uint32_t pos = start; pos < end; pos += std::min<std::uint32_t>(16, end - pos)) {
        row.clear();
        append_hex_row(row, buf.get_ptr(pos), std::min<std::uint32_t>(16, end - pos), base + (pos - start),
                       style);
        sink(row);
        if (progress) progress(context, pos, end);
        if (end - pos <= 16) break;  // keeps pos from wrapping at the top of the 32-bit range
    }
}

// One text line: address and up to `width` characters.
void append_text_row(std::string& out, const unsigned char* p, std::uint32_t n, std::uint64_t address,
                     bool spaced) {
    append_address(out, address, address_style::stream);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (spaced && i > 0 && i % 4 == 0) out.push_back(' ');
        if (spaced && (i == 16 || i == 32)) out.append(2, ' ');
        out.push_back(printable(p[i]));
    }
    out.push_back('\n');
}

void write_text_rows(std::ostream& os, const qm::binary_data& buf, std::uint32_t start, std::uint32_t count,
                     std::uint64_t base, bool spaced, bool one_row) {
    const std::uint32_t n = clamp_count(buf, start, count);
    const std::uint32_t width = spaced ? 48 : 64;
    stream_state_guard guard(os);
    std::string row;
    for (std::uint32_t done = 0; done < n; done += std::min(width, n - done)) {
        row.clear();
        append_text_row(row, buf.get_ptr(start + done), std::min(width, n - done), base + done, spaced);
        os << row;
        if (one_row || n - done <= width) break;
    }
}

[[noreturn]] void index_fault() {
    std::fputs("qm_hex_view: assertion failed: index < m_num_data\n", stderr);
    std::abort();
}

}  // namespace

namespace qm {

binary_data::binary_data() = default;

binary_data::binary_data(const unsigned char* data, std::uint32_t count, bool copy) {
    if (!data || count == 0) return;
    m_num_data = count;
    if (copy) {
        m_own.assign(data, data + count);
    } else {
        m_owns = 0;
        m_data = data;
    }
}

binary_data::binary_data(const std::vector<unsigned char>& bytes, bool copy)
    : binary_data(bytes.data(), static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), UINT32_MAX)),
                  copy) {}

binary_data::binary_data(std::uint32_t count, unsigned char fill) : m_num_data(count), m_own(count, fill) {}

binary_data::binary_data(std::uint32_t count) : binary_data(count, 0) {}

binary_data::~binary_data() = default;

int binary_data::clear() {
    if (!m_owns) return 0;
    m_own.clear();
    m_num_data = 0;
    return 1;
}

int binary_data::append(const unsigned char* data, std::uint32_t count) {
    if (!m_owns || !data || count > UINT32_MAX - m_num_data) return 0;
    m_own.insert(m_own.end(), data, data + count);
    m_num_data += count;
    return 1;
}

int binary_data::push_back(unsigned char byte) { return append(&byte, 1); }

int binary_data::erase(std::uint32_t pos, std::uint32_t count) {
    if (!m_owns || pos >= m_num_data) return 0;
    const std::uint32_t n = std::min(count, m_num_data - pos);
    m_own.erase(m_own.begin() + pos, m_own.begin() + pos + n);
    m_num_data -= n;
    return 1;
}

int binary_data::read_file(const std::string& path, std::uint32_t offset, std::uint32_t length) {
    if (!m_owns) return 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size <= static_cast<std::streamoff>(offset)) return 0;
    const std::uint32_t n = static_cast<std::uint32_t>(
        std::min<std::streamoff>(length, size - static_cast<std::streamoff>(offset)));
    std::vector<unsigned char> bytes;
    try {
        bytes.resize(n);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    in.seekg(offset, std::ios::beg);
    if (n > 0) in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(n));
    if (!in || in.gcount() != static_cast<std::streamsize>(n)) return 0;
    m_own.swap(bytes);
    m_num_data = n;
    return 1;
}

unsigned char binary_data::operator[](std::uint32_t index) const { return *get_ptr(index); }

const unsigned char* binary_data::get_ptr(std::uint32_t index) const {
    if (index >= m_num_data) index_fault();
    return data() + index;
}

const unsigned char* binary_data::data() const {
    if (m_num_data == 0) return nullptr;
    return m_owns ? m_own.data() : m_data;
}

void binary_data::output_view(std::ostream& os, std::uint32_t start, std::uint32_t length,
                              std::uint64_t base) const {
    const std::uint32_t n = clamp_count(*this, start, length);
    if (n == 0) return;
    const bool hex = (m_view_flags & kViewHex) != 0;
    const bool addresses = (m_view_flags & kViewAddresses) != 0;
    const bool spaced = (m_view_flags & kViewSpaced) != 0;
    const bool raw = (m_view_flags & kViewRaw) != 0;
    if (!hex) {
        if (!spaced && !raw) return;
        if (addresses)
            text_rows_with_address(os, *this, start, n, base, spaced);
        else
            raw_bytes_to_stream(os, *this, start, n);
    } else if (addresses || spaced) {
        hex_rows_to_stream(os, *this, start, start + n, base, addresses);
    } else {
        plain_hex_to_stream(os, *this, start, n);
    }
}

void binary_data::output_whole_view(std::ostream& os) const {
    const bool addresses = (m_view_flags & kViewAddresses) != 0;
    if ((m_view_flags & kViewHex) == 0) {
        if (addresses)
            text_rows_with_address(os, *this, 0, m_num_data, 0, true);
        else
            raw_bytes_to_stream(os, *this, 0, m_num_data);
    } else if (addresses) {
        hex_rows_to_stream(os, *this, 0, m_num_data, 0, true);
    } else {
        plain_hex_to_stream(os, *this, 0, m_num_data);
    }
}

int binary_data::write_view_to_file(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return 0;
    output_whole_view(out);
    out.flush();
    return out ? 1 : 0;
}

}  // namespace qm

void hex_rows_to_stream(std::ostream& os, const qm::binary_data& buf, std::uint32_t start, std::uint32_t end,
                        std::uint64_t base, bool addresses, hex_row_progress progress, void* context) {
    stream_state_guard guard(os);
    for_each_hex_row(buf, start, end, base, addresses ? address_style::stream : address_style::none, progress,
                     context, [&os](const std::string& row) { os << row << '\n'; });
}

void hex_rows_of_vector(std::ostream& os, const std::vector<unsigned char>& bytes, std::uint32_t start,
                        std::uint64_t base) {
    const qm::binary_data buf(bytes, false);
    hex_rows_to_stream(os, buf, start, buf.get_size(), base, true);
}

int hex_rows_or_run(std::ostream& os, const std::vector<unsigned char>& bytes, std::uint32_t start,
                    std::uint64_t base) {
    if (start >= bytes.size()) return 0;
    const unsigned char value = bytes[start];
    const bool run =
        std::all_of(bytes.begin() + start, bytes.end(), [value](unsigned char b) { return b == value; });
    if (!run) {
        hex_rows_of_vector(os, bytes, start, base);
        return 1;
    }
    const std::uint64_t count = bytes.size() - start;
    std::string line = "0x";
    append_hex_digits(line, base, std::max(6, hex_digit_count(base)));
    line += " : value 0x";
    append_hex_digits(line, value, 2);
    line += " : 0x";
    append_hex_digits(line, count, std::max(2, hex_digit_count(count)));
    line += " bytes\n";
    stream_state_guard guard(os);
    os << line;
    return 1;
}

void hex_rows_of_bytes(std::ostream& os, const unsigned char* data, std::uint32_t count, std::uint32_t start,
                       std::uint64_t base, bool addresses) {
    const qm::binary_data buf(data, count, false);
    hex_rows_to_stream(os, buf, start, buf.get_size(), base, addresses);
}

void hex_rows_to_string(std::string& out, const qm::binary_data& buf, std::uint32_t start, std::uint32_t end,
                        std::uint64_t base, bool addresses, hex_row_progress progress, void* context) {
    for_each_hex_row(buf, start, end, base, addresses ? address_style::string : address_style::none, progress,
                     context, [&out](const std::string& row) {
                         out += row;
                         out += '\n';
                     });
}

void hex_rows_to_string(std::string& out, const unsigned char* data, std::uint32_t count, std::uint32_t start,
                        std::uint32_t end, std::uint64_t base, bool addresses, hex_row_progress progress,
                        void* context) {
    const qm::binary_data buf(data, count, false);
    hex_rows_to_string(out, buf, start, end, base, addresses, progress, context);
}

void hex_rows_to_string(std::string& out, const unsigned char* data, std::uint32_t count, std::uint32_t start,
                        std::uint32_t end, std::uint64_t base, bool addresses) {
    hex_rows_to_string(out, data, count, start, end, base, addresses, nullptr, nullptr);
}

std::string hex_rows_as_string(const unsigned char* data, std::uint32_t count, std::uint32_t start,
                               std::uint32_t end, std::uint64_t base, bool addresses,
                               hex_row_progress progress, void* context) {
    std::string out;
    hex_rows_to_string(out, data, count, start, end, base, addresses, progress, context);
    return out;
}

std::string hex_rows_as_string(const unsigned char* data, std::uint32_t count, std::uint32_t start,
                               std::uint32_t end, std::uint64_t base, bool addresses) {
    return hex_rows_as_string(data, count, start, end, base, addresses, nullptr, nullptr);
}

void hex_rows_string_to_stream(std::ostream& os, const unsigned char* data, std::uint32_t count,
                               std::uint64_t base, bool addresses) {
    const std::string text = hex_rows_as_string(data, count, 0, count, base, addresses);
    stream_state_guard guard(os);
    os << text;
}

void hex_rows_utf16(std::ostream& os, const qm::binary_data& buf, std::uint32_t start, std::uint32_t count,
                    std::uint64_t base) {
    const std::uint32_t n = clamp_count(buf, start, count);
    std::string units;
    for_each_hex_row(buf, start, start + n, base, address_style::stream, nullptr, nullptr,
                     [&units](const std::string& row) {
                         // The row text is ASCII, so each character is one UTF-16LE unit.
                         for (char c : row) {
                             units.push_back(c);
                             units.push_back('\0');
                         }
                         units.append("\r\0\n\0", 4);
                     });
    os.write(units.data(), static_cast<std::streamsize>(units.size()));
}

void text_row_with_address(std::ostream& os, const qm::binary_data& buf, std::uint32_t start,
                           std::uint32_t count, std::uint64_t base, bool spaced) {
    write_text_rows(os, buf, start, count, base, spaced, true);
}

void text_rows_with_address(std::ostream& os, const qm::binary_data& buf, std::uint32_t start,
                            std::uint32_t count, std::uint64_t base, bool spaced) {
    write_text_rows(os, buf, start, count, base, spaced, false);
}

void raw_bytes_to_stream(std::ostream& os, const qm::binary_data& buf, std::uint32_t start,
                         std::uint32_t count) {
    const std::uint32_t n = clamp_count(buf, start, count);
    if (n == 0) return;
    os.write(reinterpret_cast<const char*>(buf.get_ptr(start)), static_cast<std::streamsize>(n));
}

void plain_hex_to_stream(std::ostream& os, const qm::binary_data& buf, std::uint32_t start,
                         std::uint32_t count) {
    const std::uint32_t n = clamp_count(buf, start, count);
    if (n == 0) return;
    std::string text;
    text.reserve(static_cast<std::size_t>(n) * 3 + n / 16 + 1);
    const unsigned char* p = buf.get_ptr(start);
    for (std::uint32_t i = 0; i < n; ++i) {
        text.push_back(kHex[p[i] >> 4]);
        text.push_back(kHex[p[i] & 0xf]);
        text.push_back(' ');
        // Line breaks follow the byte's place in the buffer, not in the view.
        if ((static_cast<std::uint64_t>(start) + i + 1) % 16 == 0) text.push_back('\n');
    }
    text.push_back('\n');
    stream_state_guard guard(os);
    os << text;
}
