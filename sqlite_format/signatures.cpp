#include "sqlite_format/signatures.h"

#include "common/encoding.h"
#include "sqlite_format/format.h"

namespace {

bool is_continuation(std::uint8_t b) { return (b & 0x80) != 0; }

// Reads one whole varint at `off` of a `length`-byte buffer.
bool read_whole_varint(const std::uint8_t* buf, std::uint32_t length, std::uint32_t off, std::uint64_t* value,
                       std::uint32_t* used) {
    return read_varint_complete(byte_view{buf, length}, off, value, used);
}

// The content size of a column the walk steps over; false for the reserved types 10 and 11, which have
// no defined size, so a header holding one places no later column.
bool skip_size(std::uint64_t t, std::uint64_t* size) {
    if (t == 10 || t == 11) return false;
    *size = serial_type_size(t);
    return true;
}

// Steps over the serial types of `columns` columns from `*p`, adding their content sizes to `*offset`.
// With `remaining`, each type's length comes off it and the walk fails once fewer than 2 bytes remain.
bool skip_columns(const std::uint8_t* record, std::uint32_t length, std::uint32_t columns, std::uint32_t* p,
                  std::uint64_t* offset, std::int64_t* remaining) {
    for (std::uint32_t c = 0; c < columns; ++c) {
        std::uint64_t st = 0;
        std::uint32_t used = 0;
        std::uint64_t size = 0;
        if (!read_whole_varint(record, length, *p, &st, &used) || !skip_size(st, &size)) return false;
        *offset += size;
        *p += used;
        if (remaining != nullptr && (*remaining -= used) < 2) return false;
    }
    return true;
}

// The number after an 'x' alternative; 0 (never matching) when it has no hex digit.
std::uint64_t pattern_number(const char* hex) {
    std::uint64_t n = 0;
    for (; *hex; ++hex) {
        const char c = *hex;
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        n = (n << 4) | static_cast<std::uint64_t>(d);
        if (n > 0xFFFFFFFFu) return 0;
    }
    return n;
}

// Tries the alternatives of one pattern at `p`. Forward (`before` unused): `p` is where a serial type
// starts and `length` bytes follow; *move is the bytes matched. Backward: `p` holds a serial type's last
// byte, `before` bytes may be read before it; *move is the offset of the byte before that serial type.
bool match_pattern(const char* pattern, const std::uint8_t* p, std::uint32_t length, std::uint32_t before,
                   bool forward, std::int64_t* move) {
    if (!pattern || (forward && length == 0)) return false;
    for (const char* a = pattern; *a; ++a) {
        const char c = *a;
        if (c >= '0' && c <= '9') {
            if (p[0] == static_cast<std::uint8_t>(c - '0')) {
                *move = forward ? 1 : -1;
                return true;
            }
        } else if (c == '+' || c == '-') {
            const bool text = c == '-';
            const std::int64_t r =
                forward ? static_cast<std::int64_t>(match_typed_varints_fwd(p, length, 1, text))
                        : match_typed_varints_bwd(p, before, 1, text);
            if (r) {
                *move = r;
                return true;
            }
        } else if (c == 'x') {
            // A serial type written out: one byte, or the two-byte varint of a number above 127.
            const std::uint64_t n = pattern_number(a + 1);
            if (n == 0) return false;
            if (n <= 127) {
                if (p[0] != n) return false;
                *move = forward ? 1 : -1;
                return true;
            }
            if (n > 0x3FFF) return false;
            const std::uint8_t high = static_cast<std::uint8_t>(0x80 | (n >> 7));
            const std::uint8_t low = static_cast<std::uint8_t>(n & 0x7F);
            if (forward) {
                if (length < 2 || p[0] != high || p[1] != low) return false;
                *move = 2;
            } else {
                if (before < 1 || p[-1] != high || p[0] != low) return false;
                *move = -2;
            }
            return true;
        }
    }
    return false;
}

bool char_passes(std::uint32_t c, std::uint32_t mask) {
    if ((mask & kTextExemptBreaks) && (c == 9 || c == 10 || c == 13)) return true;
    if ((mask & kTextPrintable) && (c < 32 || c > 126)) return false;
    if ((mask & kTextLowerAlpha) && !(c >= 'a' && c <= 'z')) return false;
    const std::uint32_t lc = (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if ((mask & kTextHexLetter) && !(lc >= 'a' && lc <= 'f')) return false;
    if ((mask & kTextHexDigit) && !((lc >= '0' && lc <= '9') || (lc >= 'a' && lc <= 'f'))) return false;
    return true;
}

std::uint16_t unit_at(const std::uint8_t* bytes, std::uint32_t i, bool big_endian) {
    const std::uint8_t low = bytes[2 * i + (big_endian ? 1 : 0)];
    const std::uint8_t high = bytes[2 * i + (big_endian ? 0 : 1)];
    return static_cast<std::uint16_t>(low | (high << 8));
}

bool units_to_utf8(std::string& out, const std::uint8_t* bytes, std::uint32_t units, bool big_endian) {
    std::vector<std::uint16_t> v(units);
    for (std::uint32_t i = 0; i < units; ++i) v[i] = unit_at(bytes, i, big_endian);
    std::string text;
    if (!utf16_units_to_utf8(text, v.data(), static_cast<std::int32_t>(units * 2))) return false;
    out = text;
    return true;
}

// 1 with `*read_as` the encoding of the first reading that passed: the bytes as they stand, then UTF-16 in
// the orders of `utf16`.
int checked_text(std::string& out, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t mask,
                 std::uint32_t utf16, text_encoding* read_as) {
    text_encoding as = text_encoding::utf8;
    if ((utf16 & kUtf16Only) != 0 || !text_passes_mask(out, bytes, count, mask)) {
        as = text_encoding::utf16le;
        if ((utf16 & kUtf16LittleEndian) == 0 || !utf16_text_passes_mask(out, bytes, count, mask, false)) {
            as = text_encoding::utf16be;
            if ((utf16 & kUtf16BigEndian) == 0 || !utf16_text_passes_mask(out, bytes, count, mask, true)) {
                out.clear();
                return 0;
            }
        }
    }
    if (read_as != nullptr) *read_as = as;
    return 1;
}

int checked_prefix(std::string& out, const std::uint8_t* bytes, std::uint32_t min_chars, std::uint32_t count,
                   std::uint32_t mask, std::uint32_t utf16, text_encoding* read_as) {
    text_encoding as = text_encoding::utf8;
    if ((utf16 & kUtf16Only) != 0 || !text_prefix_passes_mask(out, bytes, min_chars, count, mask)) {
        as = text_encoding::utf16le;
        if ((utf16 & kUtf16LittleEndian) == 0 ||
            !utf16_prefix_passes_mask(out, bytes, min_chars, count, mask, false)) {
            as = text_encoding::utf16be;
            if ((utf16 & kUtf16BigEndian) == 0 ||
                !utf16_prefix_passes_mask(out, bytes, min_chars, count, mask, true)) {
                out.clear();
                return 0;
            }
        }
    }
    if (read_as != nullptr) *read_as = as;
    return 1;
}

int column_text(std::string& out, const std::uint8_t* record, std::uint32_t length, std::uint32_t column,
                std::uint32_t min_chars, std::uint32_t max_chars, std::uint32_t mask,
                std::uint32_t header_size, bool blob, bool truncated, bool accept_prefix, std::uint32_t utf16,
                text_encoding* read_as) {
    out.clear();
    if (!record || length == 0 || column >= length) return 0;
    std::uint64_t hs = header_size;
    std::uint32_t vlen = 1;
    if (header_size == 0 && !read_whole_varint(record, length, 0, &hs, &vlen)) return 0;
    std::int64_t r = static_cast<std::int64_t>(length) - vlen;
    std::uint64_t offset = hs;
    std::uint32_t p = vlen;
    if (!skip_columns(record, length, column, &p, &offset, &r)) return 0;
    std::uint64_t st = 0;
    std::uint32_t used = 0;
    if (!read_whole_varint(record, length, p, &st, &used) || st == 0) return 0;
    std::uint64_t size;
    if (blob) {
        if ((st & 1) || st < 12) return 0;
        size = (st - 12) / 2;
    } else {
        // A text column has an odd serial type of at least 13; anything else is not text.
        if (!(st & 1) || st < 13) return 0;
        size = (st - 13) / 2;
    }
    if (offset > length) return 0;
    if (offset + size > length) {
        if (!truncated) return 0;
        size = length - offset;
    }
    if (static_cast<std::int64_t>(size) > r) return 0;
    const std::uint64_t limit =
        static_cast<std::uint64_t>(r) < max_chars ? static_cast<std::uint64_t>(r) : max_chars;
    const std::uint8_t* value = record + offset;
    if (size <= limit)
        return checked_text(out, value, static_cast<std::uint32_t>(size), mask, utf16, read_as);
    if (!truncated) return 0;
    if (accept_prefix)
        return checked_prefix(out, value, min_chars, static_cast<std::uint32_t>(limit), mask, utf16, read_as);
    return checked_text(out, value, static_cast<std::uint32_t>(limit), mask, utf16, read_as);
}

}  // namespace

std::uint32_t match_typed_varints_fwd(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t count,
                                      bool text) {
    if (!bytes || count == 0 || length < count || bytes[0] < 10) return 0;
    std::uint32_t ended = 0;
    std::uint32_t start = 0;
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint8_t b = bytes[i];
        if (is_continuation(b)) continue;
        if (text != ((b & 1) != 0)) return 0;
        if (i == start && b < (text ? 13 : 12)) return 0;
        ++ended;
        start = i + 1;
        if (ended == count) return i + 1;
    }
    return 0;
}

std::int64_t match_typed_varints_bwd(const std::uint8_t* pos, std::uint32_t available, std::uint32_t count,
                                     bool text) {
    if (!pos || count == 0) return 0;
    if (available >= 1 && !is_continuation(pos[-1]) && pos[0] < 10) return 0;
    const std::int64_t floor = -static_cast<std::int64_t>(available);
    std::int64_t i = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        if (i < floor) return 0;
        const std::uint8_t b = pos[i];
        if (is_continuation(b)) return 0;
        if (text != ((b & 1) != 0)) return 0;
        // Too small to stand alone: only the last byte of a longer varint can hold it.
        if (b < (text ? 13 : 12) && (i - 1 < floor || !is_continuation(pos[i - 1]))) return 0;
        --i;
        while (i >= floor && is_continuation(pos[i])) --i;
    }
    // The varints may begin at the first byte given: the offset then points just before it.
    return i >= floor - 1 ? i : 0;
}

std::int64_t skip_varints_bwd(const std::uint8_t* pos, std::uint32_t available, std::uint32_t count) {
    if (!pos || count == 0) return 0;
    const std::int64_t floor = -static_cast<std::int64_t>(available);
    std::uint32_t found = 0;
    for (std::int64_t i = 0; i >= floor; --i) {
        if (is_continuation(pos[i])) continue;
        if (++found < count) continue;
        --i;
        while (i >= floor && is_continuation(pos[i])) --i;
        return i;
    }
    return 0;
}

std::uint32_t count_serial_types(const std::uint8_t* bytes, std::uint32_t length) {
    if (!bytes || length < 2) return 0;
    const std::uint32_t limit = length - 1;
    std::uint32_t n = 0;
    std::uint32_t p = 0;
    while (p < limit) {
        std::uint64_t v = 0;
        std::uint32_t used = 0;
        if (!read_whole_varint(bytes, limit, p, &v, &used) || static_cast<std::int64_t>(v) < 0) break;
        ++n;
        p += used;
    }
    return n;
}

std::uint32_t match_header_signature_fwd(const std::uint8_t* bytes, std::uint32_t length,
                                         std::uint32_t columns, std::uint32_t first,
                                         const char* const* patterns) {
    if (!bytes || !patterns || columns == 0 || first >= columns || length < columns - first) return 0;
    std::uint32_t pos = 0;
    for (std::uint32_t c = first; c < columns; ++c) {
        std::int64_t advance = 0;
        if (pos >= length || !match_pattern(patterns[c], bytes + pos, length - pos, 0, true, &advance))
            return 0;
        pos += static_cast<std::uint32_t>(advance);
    }
    return pos;
}

std::int64_t match_header_signature_bwd(const std::uint8_t* pos, std::uint32_t available,
                                        std::uint32_t columns, std::uint32_t column,
                                        const char* const* patterns) {
    if (!pos || !patterns || available == 0 || available < column || columns == 0 || column >= columns)
        return 0;
    const std::int64_t floor = -static_cast<std::int64_t>(available);
    std::int64_t i = 0;
    for (std::int64_t c = column; c >= 0; --c) {
        if (i < floor) return 0;
        std::int64_t step = 0;
        const std::uint32_t before = static_cast<std::uint32_t>(available + i);
        if (!match_pattern(patterns[c], pos + i, 0, before, false, &step)) return 0;
        i += step;
    }
    // The header-size varint must end inside the bytes given.
    return i >= floor ? i : 0;
}

std::uint32_t match_header_signature(const std::uint8_t* bytes, std::uint32_t length,
                                     const std::vector<std::string>& patterns) {
    if (!bytes) return 0;
    std::uint32_t pos = 0;
    for (const auto& pattern : patterns) {
        std::int64_t advance = 0;
        if (pos >= length || !match_pattern(pattern.c_str(), bytes + pos, length - pos, 0, true, &advance))
            return 0;
        pos += static_cast<std::uint32_t>(advance);
    }
    return pos;
}

int get_column_text_checked(std::string& out, const std::uint8_t* record, std::uint32_t length,
                            std::uint32_t column, std::uint32_t max_chars, std::uint32_t mask,
                            std::uint32_t header_size, bool blob, bool truncated, std::uint32_t utf16,
                            text_encoding* read_as) {
    return column_text(out, record, length, column, 0, max_chars, mask, header_size, blob, truncated, false,
                       utf16, read_as);
}

int get_column_text_checked_ex(std::string& out, const std::uint8_t* record, std::uint32_t length,
                               std::uint32_t column, std::uint32_t min_chars, std::uint32_t max_chars,
                               std::uint32_t mask, std::uint32_t header_size, bool blob, bool truncated,
                               std::uint32_t utf16, text_encoding* read_as) {
    return column_text(out, record, length, column, min_chars, max_chars, mask, header_size, blob, truncated,
                       true, utf16, read_as);
}

int text_passes_mask(std::string& out, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t mask) {
    out.clear();
    if (!bytes || count == 0) return 0;
    for (std::uint32_t i = 0; i < count; ++i)
        if (!char_passes(bytes[i], mask)) return 0;
    out.assign(reinterpret_cast<const char*>(bytes), count);
    return 1;
}

int utf16_text_passes_mask(std::string& out, const std::uint8_t* bytes, std::uint32_t count,
                           std::uint32_t mask, bool big_endian) {
    out.clear();
    const std::uint32_t units = count / 2;
    if (!bytes || units == 0) return 0;
    for (std::uint32_t i = 0; i < units; ++i)
        if (!char_passes(unit_at(bytes, i, big_endian), mask)) return 0;
    return units_to_utf8(out, bytes, units, big_endian) ? 1 : 0;
}

int text_prefix_passes_mask(std::string& out, const std::uint8_t* bytes, std::uint32_t min_chars,
                            std::uint32_t count, std::uint32_t mask) {
    out.clear();
    if (!bytes) return 0;
    std::uint32_t k = 0;
    while (k < count && char_passes(bytes[k], mask)) ++k;
    // An empty prefix is no text, whatever the minimum.
    if (k == 0 || k < min_chars) return 0;
    out.assign(reinterpret_cast<const char*>(bytes), k);
    return 1;
}

int utf16_prefix_passes_mask(std::string& out, const std::uint8_t* bytes, std::uint32_t min_chars,
                             std::uint32_t count, std::uint32_t mask, bool big_endian) {
    out.clear();
    if (!bytes) return 0;
    const std::uint32_t units = count / 2;
    std::uint32_t k = 0;
    while (k < units && char_passes(unit_at(bytes, k, big_endian), mask)) ++k;
    if (k == 0 || k < min_chars) return 0;
    return units_to_utf8(out, bytes, k, big_endian) ? 1 : 0;
}

std::uint32_t utf16_orders_for(text_encoding encoding) {
    return encoding == text_encoding::utf16be ? kUtf16BigEndian : kUtf16LittleEndian;
}

int check_record_length_bwd(std::uint64_t* payload_size, std::uint64_t* record_length,
                            const std::uint8_t* header, std::uint32_t available, std::uint32_t before) {
    if (payload_size) *payload_size = 0;
    if (record_length) *record_length = 0;
    if (!header || available == 0 || before < 2) return 0;
    // The rowid's last byte is just before the header; the payload size ends before the rowid.
    const std::int64_t rowid_before = -1 + skip_varints_bwd(header - 1, before - 1, 1);
    if (rowid_before == -1) return 0;
    const std::int64_t avail2 = static_cast<std::int64_t>(before) + rowid_before;
    if (avail2 < 0) return 0;
    const std::int64_t r2 = skip_varints_bwd(header + rowid_before, static_cast<std::uint32_t>(avail2), 1);
    if (r2 == 0) return 0;
    const std::int64_t start = rowid_before + r2 + 1;
    std::uint64_t size = 0;
    std::uint32_t used = 0;
    const std::uint32_t span = static_cast<std::uint32_t>(-start);
    if (!read_whole_varint(header + start, span, 0, &size, &used)) return 0;
    std::uint64_t total = header[0];
    const std::uint32_t header_end = header[0] < available ? header[0] : available;
    std::uint32_t p = 1;
    while (p < header_end) {
        std::uint64_t st = 0;
        if (!read_whole_varint(header, header_end, p, &st, &used)) break;
        total += serial_type_size(st);
        p += used;
    }
    if (payload_size) *payload_size = size;
    if (record_length) *record_length = total;
    return size >= 2 && size == total ? 1 : 0;
}

int locate_column(std::uint32_t* position, std::uint32_t* size, std::uint8_t* cut, const std::uint8_t* record,
                  std::uint32_t length, std::uint32_t column) {
    if (!record || length == 0) return 0;
    std::uint64_t hs = 0;
    std::uint32_t p = 0;
    if (!read_whole_varint(record, length, 0, &hs, &p)) return 0;
    std::uint64_t offset = hs;
    if (!skip_columns(record, length, column, &p, &offset, nullptr)) return 0;
    std::uint64_t st = 0;
    std::uint32_t used = 0;
    std::uint64_t n = 0;
    if (!read_whole_varint(record, length, p, &st, &used) || !skip_size(st, &n)) return 0;
    const std::uint32_t at = offset < length ? static_cast<std::uint32_t>(offset) : length;
    if (position) *position = at;
    if (offset + n <= length) {
        if (size) *size = static_cast<std::uint32_t>(n);
        if (cut) *cut = 0;
    } else {
        if (size) *size = length - at;
        if (cut) *cut = 1;
    }
    return 1;
}
