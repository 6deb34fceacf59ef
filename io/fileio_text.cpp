// The file object's operations on text: hex dumps, lines written and read, a text file read in batches of
// lines, and byte ranges copied to a stream or into another file object.
#include <cstdio>
#include <cstring>
#include <exception>
#include <sstream>

#include "common/encoding.h"
#include "common/text_ops.h"
#include "common/tokenizers.h"
#include "io/console.h"
#include "io/fileio.h"

namespace uni {

namespace {

// A block of read_all_lines stops growing here; a line without a break over this length is taken as it
// stands, so that the reading always moves on.
constexpr std::uint32_t kMaxLineBlock = 64u << 20;

void append_line(std::vector<std::string>& out, const std::uint8_t* p, std::size_t n) {
    std::string line(reinterpret_cast<const char*>(p), n);
    trim_whitespace(line);
    if (!line.empty()) out.push_back(line);
}

// Appends the lines of p[0, n); CR, LF, CR LF and LF CR each end a line. Returns the bytes consumed: up to
// and including the last break, or all of them for the last block (whose tail is a line of its own).
std::size_t split_line_block(const std::uint8_t* p, std::size_t n, bool last, std::vector<std::string>& out) {
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t c = p[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        append_line(out, p + start, i - start);
        std::size_t next = i + 1;
        if (next < n && (p[next] == '\r' || p[next] == '\n') && p[next] != c) ++next;
        start = i = next;
    }
    if (!last) return start;
    if (start < n) append_line(out, p + start, n - start);
    return n;
}

bool is_high_surrogate(std::uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; }

// Moves the whole UTF-16LE units of `pending` into `text` as UTF-8. Unless `last`, a trailing high
// surrogate waits for the low one in the next block; at the end of the file it has none and is dropped.
// An odd byte always waits. False when the units do not convert.
bool drain_utf16(std::vector<std::uint8_t>& pending, std::string& text, bool last) {
    std::size_t usable = pending.size() & ~static_cast<std::size_t>(1);
    std::size_t convert = usable;
    if (usable >= 2) {
        const std::uint16_t tail =
            static_cast<std::uint16_t>(pending[usable - 2] | (pending[usable - 1] << 8));
        if (is_high_surrogate(tail)) {
            convert -= 2;
            if (!last) usable -= 2;
        }
    }
    if (convert == 0) {
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(usable));
        return true;
    }
    std::vector<std::uint16_t> units;
    bytes_to_utf16_units(units, pending.data(), static_cast<std::uint32_t>(convert));
    std::string utf8;
    if (!utf16_units_to_utf8(utf8, units.data(), static_cast<std::int32_t>(convert))) return false;
    text += utf8;
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(usable));
    return true;
}

int percent(std::uint64_t part, std::uint64_t whole) {
    return whole == 0 ? 100 : static_cast<int>(part * 100 / whole);
}

}  // namespace

int fileio::write_hex_dump(const std::uint8_t* data, std::uint32_t length, std::uint64_t start) {
    if (!is_open() || data == nullptr) return 0;
    if (length == 0) return 1;
    const char* eol = text_mode ? "\r\n" : "\n";
    std::ostringstream os;
    char cell[32];
    auto address = [&](std::uint64_t a) {
        std::snprintf(cell, sizeof cell, "0x%06llx : ", static_cast<unsigned long long>(a));
        os << cell;
    };
    address(start);
    for (std::uint32_t i = 0; i < length; ++i) {
        std::snprintf(cell, sizeof cell, "%02x ", static_cast<unsigned>(data[i]));
        os << cell;
        if ((i + 1) % 16 != 0) continue;
        for (std::uint32_t k = i - 15; k <= i; ++k)
            os << (data[k] >= 32 && data[k] <= 126 ? static_cast<char>(data[k]) : '.');
        os << eol;
        address(start + i + 1);
    }
    os << eol;
    return append_stream(os);
}

int fileio::write_hex_dump(const std::vector<std::uint8_t>& bytes, std::uint64_t start) {
    if (!is_open()) return 0;
    if (bytes.empty()) return 1;
    return write_hex_dump(bytes.data(), static_cast<std::uint32_t>(bytes.size()), start);
}

int fileio::write_lines(const std::vector<std::string>& lines) {
    if (!is_open() || lines.empty()) return 0;
    int written = 0;
    for (const std::string& line : lines) {
        const std::string text = line + "\r\n";
        if (write(text.data(), static_cast<std::uint32_t>(text.size())) != 1) break;
        written = 1;
    }
    return written;
}

int fileio::read_lines_at(std::vector<std::string>& out, std::uint32_t* length, std::uint64_t offset) {
    if (!is_open() || length == nullptr || *length == 0 || offset > file_size) return 0;
    bool last = false;
    if (*length >= file_size - offset) {
        *length = static_cast<std::uint32_t>(file_size - offset);
        last = true;
    }
    std::vector<std::uint8_t> bytes;
    if (read_range(bytes, *length, offset) != 1 || bytes.empty()) return 0;
    *length = static_cast<std::uint32_t>(split_line_block(bytes.data(), bytes.size(), last, out));
    return 1;
}

bool fileio::read_all_lines(std::vector<std::string>& out) {
    out.clear();
    if (!is_open()) return false;
    std::uint64_t offset = 0;
    std::uint32_t block = kLineBlock;
    while (offset < file_size) {
        std::uint32_t length = block;
        if (read_lines_at(out, &length, offset) != 1) break;
        if (length != 0) {
            offset += length;
            block = kLineBlock;
            continue;
        }
        // No line break in the whole block: grow it until the line ends or the block reaches the file's end.
        if (block < kMaxLineBlock) {
            block *= 2;
            continue;
        }
        std::vector<std::uint8_t> bytes;
        if (read_range(bytes, block, offset) != 1 || bytes.empty()) break;
        append_line(out, bytes.data(), bytes.size());
        offset += bytes.size();
        block = kLineBlock;
    }
    return !out.empty();
}

int fileio::read_text_lines(lines_callback callback, void* context, bool trim, bool skip_empty, bool progress,
                            std::int64_t line_limit, bool detect_mark) {
    if (!is_open() || !text_mode) return 0;
    const std::uint64_t total = query_size();
    const std::uint32_t block = total < kTextBlock ? static_cast<std::uint32_t>(total) : kTextBlock;
    std::vector<std::uint8_t> buf;
    try {
        buf.resize(block);
    } catch (const std::exception&) {
        return 0;
    }
    bool utf16 = false;
    std::vector<std::uint8_t> pending;  // UTF-16 bytes not converted yet
    std::string carry;                  // text after the last line feed, not a whole line yet
    std::uint64_t delivered = 0;
    bool stop = false;
    for (std::uint64_t offset = 0; block != 0 && offset < total && !stop; offset += block) {
        std::uint32_t len = block;
        if (read_at(buf.data(), &len, offset) != 1 || len == 0) break;
        const bool last = len >= total - offset;
        const std::uint8_t* p = buf.data();
        std::uint32_t n = len;
        if (offset == 0 && detect_mark && n >= 3) {
            if (p[0] == 0xFF && p[1] == 0xFE) {
                utf16 = true;
                p += 2;
                n -= 2;
            } else if (p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
                p += 3;
                n -= 3;
            }
        }
        std::string text;
        text.swap(carry);
        if (utf16) {
            pending.insert(pending.end(), p, p + n);
            if (!drain_utf16(pending, text, last)) break;
        } else {
            text.append(reinterpret_cast<const char*>(p), n);
        }
        std::vector<std::string> lines;
        unsigned end = 0;
        if (!text.empty()) {
            split_buffer_lines(end, lines, reinterpret_cast<const std::uint8_t*>(text.data()),
                               static_cast<unsigned>(text.size()), trim, skip_empty);
        }
        carry = text.substr(end);
        if (last && !carry.empty()) {
            if (trim) trim_whitespace(carry);
            if (!(carry.empty() && skip_empty)) lines.push_back(carry);
            carry.clear();
        }
        if (lines.empty()) continue;
        std::uint64_t take = lines.size();
        if (line_limit >= 0) {
            const std::uint64_t limit = static_cast<std::uint64_t>(line_limit);
            if (delivered + take > limit) {
                take = limit - delivered;
                stop = true;
            }
        }
        if (take > 0 && callback != nullptr) callback(this, context, lines, take, offset);
        delivered += take;
        if (progress) {
            const int done = line_limit >= 0 ? percent(delivered, static_cast<std::uint64_t>(line_limit))
                                             : percent(offset + len, total);
            status_printf_default("percent done %d\n", done);
        }
    }
    if (progress) clear_status_line();
    return 1;
}

namespace {

// The shared frame of the two range copies: positions, sizes the range, and runs `put` on each chunk read.
// `put` returns false to stop. Returns 1 once the loop could start.
template <class Put>
int copy_range(fileio& file, std::uint64_t offset, std::int64_t count, std::uint32_t chunk, bool progress,
               unsigned progress_every, std::uint64_t* copied, Put put) {
    if (copied != nullptr) *copied = 0;
    if (!file.is_open() || offset > static_cast<std::uint64_t>(INT64_MAX)) return 0;
    if (file.seek(static_cast<std::int64_t>(offset)) < 0) return 0;
    const std::uint64_t total = file.query_size();
    // A range that starts past the end holds nothing; one that passes the end is cut to it.
    if (total == 0 || offset > total) return 0;
    std::uint64_t n = total - offset;
    if (count >= 0 && static_cast<std::uint64_t>(count) < n) n = static_cast<std::uint64_t>(count);
    if (chunk == 0) chunk = fileio::kCopyChunk;
    if (n < chunk) chunk = static_cast<std::uint32_t>(n);
    if (chunk == 0) return 1;
    std::vector<std::uint8_t> buf;
    try {
        buf.resize(chunk);
    } catch (const std::exception&) {
        return 0;
    }
    std::uint64_t done = 0;
    for (std::uint64_t index = 0; done < n; ++index) {
        std::uint32_t len = n - done < chunk ? static_cast<std::uint32_t>(n - done) : chunk;
        // Positioned reads: a copy into the same object moves its position, and must not move the source.
        if (file.read_at(buf.data(), &len, offset + done) != 1 || len == 0) break;
        if (!put(buf.data(), len)) break;
        done += len;
        if (progress && index % progress_every == 0)
            status_printf_default("percent done %4.2f",
                                  static_cast<double>(done) * 100.0 / static_cast<double>(n));
    }
    if (copied != nullptr) *copied = done;
    return 1;
}

}  // namespace

int fileio::copy_range_to_stream(std::ostream& os, std::uint64_t offset, std::int64_t count,
                                 std::uint32_t chunk, bool progress, std::uint64_t* copied) {
    return copy_range(*this, offset, count, chunk, progress, 71, copied,
                      [&](const std::uint8_t* p, std::uint32_t n) {
                          os.write(reinterpret_cast<const char*>(p), n);
                          return static_cast<bool>(os);
                      });
}

int fileio::copy_range_to(fileio& destination, std::uint64_t offset, std::int64_t count,
                          std::uint64_t dest_offset, std::uint32_t chunk, bool progress,
                          std::uint64_t* copied) {
    if (copied != nullptr) *copied = 0;
    if (count == 0) return 0;
    const int result = copy_range(
        *this, offset, count, chunk, progress, 31, copied, [&](const std::uint8_t* p, std::uint32_t n) {
            if (dest_offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
            if (destination.write_at(p, n, static_cast<std::int64_t>(dest_offset)) != 1) return false;
            dest_offset += n;
            return true;
        });
    if (result == 1 && progress) clear_status_line();
    return result;
}

}  // namespace uni
