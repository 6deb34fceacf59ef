#include "sqlite_format/format.h"

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <set>

const char kSqliteMagic[] = "SQLite format 3";

bool starts_with_magic(const std::uint8_t* buf, std::size_t length) {
    return buf && length >= kDbMagicLength && std::memcmp(buf, kSqliteMagic, kDbMagicLength) == 0;
}

// ---------------------------------------------------------------------------------------------
// Checked reads. All big-endian assembly of the reader happens here.

bool read_be_uint(byte_view b, std::size_t off, std::size_t n, std::uint64_t* out) {
    if (!b.has(off, n)) return false;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = (v << 8) | b.data[off + i];
    *out = v;
    return true;
}

bool read_be_int(byte_view b, std::size_t off, std::size_t n, std::int64_t* out) {
    std::uint64_t v = 0;
    if (n == 0 || n > 8 || !read_be_uint(b, off, n, &v)) return false;
    // Sign-extend from the stored width; the conversion of a value above INT64_MAX is modular (C++20, and
    // every compiler this builds with).
    if (n < 8 && (v >> (8 * n - 1)) != 0) v |= ~std::uint64_t{0} << (8 * n);
    *out = static_cast<std::int64_t>(v);
    return true;
}

bool read_u8(byte_view b, std::size_t off, std::uint8_t* out) {
    if (!b.has(off, 1)) return false;
    *out = b.data[off];
    return true;
}

bool read_be16(byte_view b, std::size_t off, std::uint16_t* out) {
    std::uint64_t v;
    if (!read_be_uint(b, off, 2, &v)) return false;
    *out = static_cast<std::uint16_t>(v);
    return true;
}

bool read_be24(byte_view b, std::size_t off, std::uint32_t* out) {
    std::uint64_t v;
    if (!read_be_uint(b, off, 3, &v)) return false;
    *out = static_cast<std::uint32_t>(v);
    return true;
}

bool read_be32(byte_view b, std::size_t off, std::uint32_t* out) {
    std::uint64_t v;
    if (!read_be_uint(b, off, 4, &v)) return false;
    *out = static_cast<std::uint32_t>(v);
    return true;
}

bool read_be48(byte_view b, std::size_t off, std::uint64_t* out) { return read_be_uint(b, off, 6, out); }

bool read_be64(byte_view b, std::size_t off, std::uint64_t* out) { return read_be_uint(b, off, 8, out); }

std::int64_t read_be32(const std::uint8_t* p, std::size_t length) {
    std::uint32_t v;
    if (!p || !read_be32(byte_view(p, length), 0, &v)) return -1;
    return v;
}

// ---------------------------------------------------------------------------------------------
// Page sizes.

std::uint32_t page_size_from_field(std::uint32_t stored) {
    const std::uint32_t size = stored == 1 ? kMaxPageSize : stored;
    if (size < kMinPageSize || size > kMaxPageSize || (size & (size - 1)) != 0) return 0;
    return size;
}

std::uint32_t page_size_from_wide_field(std::uint32_t stored) {
    return stored == 1 ? 0 : page_size_from_field(stored);
}

std::uint32_t db_header_page_size(const std::uint8_t* bytes, std::size_t length) {
    std::uint16_t stored = 0;
    if (!read_be16(byte_view(bytes, length), kDbPageSizeOffset, &stored)) return 0;
    return page_size_from_field(stored);
}

std::uint8_t db_header_reserved(const std::uint8_t* bytes, std::size_t length) {
    const std::uint32_t page_size = db_header_page_size(bytes, length);
    std::uint8_t reserved = 0;
    if (page_size == 0 || !read_u8(byte_view(bytes, length), kDbReservedOffset, &reserved)) return 0;
    return page_size - reserved >= kMinUsableSize ? reserved : 0;
}

namespace {

// Header bytes as a quoted text: printable ASCII as it is, every other byte (and a quote or backslash) as
// \xHH.
std::string quoted_header_bytes(const std::uint8_t* bytes, std::size_t count) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        if (b >= 0x20 && b < 0x7f && b != '"' && b != '\\') {
            out += static_cast<char>(b);
        } else {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out + "\"";
}

}  // namespace

std::string library_header_refusal(const std::uint8_t* header, std::size_t length) {
    if (header == nullptr || length < kDbHeaderSize) return std::string();
    // The magic with its terminating zero, as the library compares it.
    const std::uint8_t* const magic = reinterpret_cast<const std::uint8_t*>(kSqliteMagic);
    if (std::memcmp(header, magic, kDbMagicLength + 1) != 0)
        return "the magic in its header is " + quoted_header_bytes(header, kDbMagicLength + 1) +
               " where the library takes only " + quoted_header_bytes(magic, kDbMagicLength + 1);
    const unsigned read_version = header[kDbReadVersionOffset];
    if (read_version > 2)
        return "the read version in its header (byte 19) is " + std::to_string(read_version) +
               " where the library reads only versions up to 2";
    const std::uint8_t* const fractions = header + kDbPayloadFractionsOffset;
    if (fractions[0] != 64 || fractions[1] != 32 || fractions[2] != 32)
        return "the payload fractions in its header (bytes 21 to 23) are " + std::to_string(fractions[0]) +
               ", " + std::to_string(fractions[1]) + " and " + std::to_string(fractions[2]) +
               " where the library takes only 64, 32 and 32";
    const std::uint32_t page_size = db_header_page_size(header, length);
    if (page_size == 0)
        return "the page size in its header (" +
               std::to_string((header[kDbPageSizeOffset] << 8) | header[kDbPageSizeOffset + 1]) +
               ") is not a valid page size";
    const unsigned reserved = header[kDbReservedOffset];
    if (page_size - reserved < 480)
        return "the usable size of its pages is " + std::to_string(page_size - reserved) + " (" +
               std::to_string(page_size) + " bytes less the " + std::to_string(reserved) +
               " reserved at the end of each, byte 20 of its header) where the library takes only 480 or "
               "more";
    std::uint32_t schema_format = 0;
    (void)read_be32(byte_view(header, length), kDbSchemaFormatOffset, &schema_format);
    if (schema_format > 4)
        return "the schema format number in its header (bytes 44 to 47) is " + std::to_string(schema_format) +
               " where the library takes only 1 to 4 (and 0, as 1)";
    return std::string();
}

bool loose_wal_page_size_field(const std::uint8_t* header, std::size_t length) {
    if (header == nullptr || length < kWalPageSizeOffset + 4) return false;
    std::uint32_t field = 0;
    for (int i = 3; i >= 0; --i)
        field = (field << 8) | header[kWalPageSizeOffset + static_cast<std::size_t>(i)];
    return field != 0 && (field & 0x1FF) == 0;
}

// ---------------------------------------------------------------------------------------------
// Text encodings.

text_encoding text_encoding_from_field(std::uint32_t field) {
    switch (field) {
        case 1:
            return text_encoding::utf8;
        case 3:
            return text_encoding::utf16be;
        default:
            return text_encoding::utf16le;
    }
}

text_encoding db_header_text_encoding(const std::uint8_t* bytes, std::size_t length) {
    std::uint32_t field = 0;
    if (!read_be32(byte_view(bytes, length), kDbTextEncodingOffset, &field)) return text_encoding::utf8;
    return text_encoding_from_field(field);
}

const char* text_encoding_label(text_encoding encoding) {
    switch (encoding) {
        case text_encoding::utf16le:
            return "UTF-16le";
        case text_encoding::utf16be:
            return "UTF-16be";
        default:
            return "UTF-8";
    }
}

// ---------------------------------------------------------------------------------------------
// The database header.

database_header decode_database_header(const std::uint8_t* bytes, std::size_t length) {
    database_header h;
    h.length = static_cast<std::uint32_t>(std::min<std::size_t>(length, kDbHeaderSize));
    if (bytes != nullptr && h.length != 0) std::memcpy(h.bytes.data(), bytes, h.length);
    const std::uint8_t* b = h.bytes.data();
    const byte_view v(b, kDbHeaderSize);
    h.magic = starts_with_magic(b, h.length);
    std::uint16_t page_size_field = 0;
    if (h.length >= kDbPageSizeOffset + 2 && read_be16(v, kDbPageSizeOffset, &page_size_field)) {
        h.page_size_field = page_size_field;
        h.page_size = page_size_from_field(page_size_field);
    }
    h.reserved_field = b[kDbReservedOffset];
    h.reserved = db_header_reserved(b, kDbHeaderSize);
    h.usable = h.page_size > h.reserved ? h.page_size - h.reserved : 0;
    h.texts = db_header_text_encoding(b, kDbHeaderSize);
    std::uint32_t counter = 0, valid_for = 0;
    (void)read_be32(v, kDbTextEncodingOffset, &h.encoding_field);
    (void)read_be32(v, kDbPageCountOffset, &h.counted_pages);
    (void)read_be32(v, kDbFreelistTrunkOffset, &h.freelist_trunk);
    (void)read_be32(v, kDbLargestRootOffset, &h.largest_root);
    (void)read_be32(v, kDbChangeCounterOffset, &counter);
    (void)read_be32(v, kDbValidForOffset, &valid_for);
    h.count_current = h.counted_pages != 0 && counter == valid_for;
    h.wal_mode = b[kDbWriteVersionOffset] == kDbWalVersion || b[kDbReadVersionOffset] == kDbWalVersion;
    return h;
}

std::uint64_t database_header::pages_for(std::uint64_t size) const {
    if (page_size == 0) return 0;
    return count_current ? counted_pages : (size + page_size - 1) / page_size;
}

// ---------------------------------------------------------------------------------------------
// Varints.

int read_sqlite_varint(std::uint64_t* value, std::uint32_t* out_length, const std::uint8_t* buf,
                       std::size_t length) {
    *value = 0;
    *out_length = 0;
    if (!buf || length == 0) return 0;
    std::uint64_t v = 0;
    std::size_t i = 0;
    bool ended = false;
    while (i < length && i < 8) {
        const std::uint8_t c = buf[i++];
        v = (v << 7) | (c & 0x7f);
        if ((c & 0x80) == 0) {
            ended = true;
            break;
        }
    }
    // Eight continuation bytes: the ninth byte counts whole.
    if (!ended && i == 8 && i < length) v = (v << 8) | buf[i++];
    *value = v;
    *out_length = static_cast<std::uint32_t>(i);
    return 1;
}

bool read_varint_complete(byte_view b, std::size_t off, std::uint64_t* value, std::uint32_t* out_length) {
    if (off >= b.size) return false;
    const byte_view rest = b.tail(off);
    std::uint64_t v;
    std::uint32_t n;
    if (!read_sqlite_varint(&v, &n, rest.data, rest.size)) return false;
    // Complete when the last byte used ends the varint: a clear high bit, or the ninth byte.
    if (n < 9 && (rest.data[n - 1] & 0x80) != 0) return false;
    *value = v;
    *out_length = n;
    return true;
}

std::uint64_t serial_type_size(std::uint64_t t) {
    switch (t) {
        case 0:
            return 0;
        case 1:
        case 2:
        case 3:
        case 4:
            return t;
        case 5:
            return 6;
        case 6:
        case 7:
            return 8;
        case 8:
        case 9:
        case 10:
        case 11:
            return 0;
        default:
            return (t & 1) ? (t - 13) / 2 : (t - 12) / 2;
    }
}

int write_sqlite_varint(std::vector<std::uint8_t>& out, std::uint64_t value) {
    out.clear();
    while (value != 0 && out.size() < 9) {
        out.push_back(static_cast<std::uint8_t>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    return out.empty() ? 0 : 1;
}

int read_le_varint64(std::uint64_t* value, const std::uint8_t* buf, std::size_t length) {
    *value = 0;
    if (!buf) return 0;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i <= 10; ++i) {
        if (i >= length) {
            *value = 0;
            return 0;
        }
        const std::uint8_t c = buf[i];
        const unsigned shift = static_cast<unsigned>(7 * i);
        if ((c & 0x80) != 0 && i < 10) {
            if (shift < 64) v |= static_cast<std::uint64_t>(c & 0x7f) << shift;
            continue;
        }
        if (shift < 64) v |= static_cast<std::uint64_t>(c) << shift;
        *value = v;
        return static_cast<int>(i + 1);
    }
    return 0;
}

int read_le_varint32(std::uint32_t* value, const std::uint8_t* buf, std::size_t length) {
    *value = 0;
    if (!buf) return 0;
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t c = buf[i];
        const std::size_t shift = 7 * i;
        if (shift < 32) v += static_cast<std::uint32_t>(c & 0x7f) << shift;
        if ((c & 0x80) == 0) {
            *value = v;
            return static_cast<int>(i + 1);
        }
    }
    return 0;
}

int count_bits60(std::uint64_t mask) {
    mask &= (std::uint64_t{1} << 60) - 1;
    int n = 0;
    for (; mask != 0; mask &= mask - 1) ++n;
    return n;
}

int decode_ieee_float_be(double* out, const std::vector<std::uint8_t>& bytes) {
    *out = 0.0;
    const byte_view b(bytes);
    if (bytes.size() == 8) {
        std::uint64_t bits;
        if (!read_be64(b, 0, &bits)) return 0;
        double d;
        std::memcpy(&d, &bits, sizeof d);  // the format stores the IEEE 754 bit pattern itself
        *out = d;
        return 1;
    }
    if (bytes.size() == 4) {
        std::uint32_t bits;
        if (!read_be32(b, 0, &bits)) return 0;
        float f;
        std::memcpy(&f, &bits, sizeof f);
        *out = f;
        return 1;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Page header and cells.

int is_btree_page_type(const std::uint8_t* header, std::size_t length) {
    if (!header || length < 1) return 0;
    const std::uint8_t t = header[0];
    return (t < 16 && ((0x2424u >> t) & 1u)) ? 1 : 0;
}

std::size_t btree_header_offset(const std::uint8_t* page, std::size_t length) {
    return starts_with_magic(page, length) ? kDbHeaderSize : 0;
}

page_header_verdict read_btree_page_header(btree_page_header& out, const std::uint8_t* page,
                                           std::size_t length, std::size_t at, std::uint32_t page_size) {
    out = btree_page_header();
    out.at = at;
    const byte_view b(page, length);
    if (!read_u8(b, at + kPageTypeOffset, &out.type) ||
        !read_be16(b, at + kFirstFreeblockOffset, &out.first_freeblock) ||
        !read_be16(b, at + kCellCountOffset, &out.cell_count) ||
        !read_be16(b, at + kContentStartOffset, &out.content_start))
        return page_header_verdict::cut_short;
    if (out.size() == kInteriorHeaderSize && !read_be32(b, at + kRightChildOffset, &out.right_child))
        out.right_child = 0;
    if (!is_btree_page_type(page + at, length - at)) return page_header_verdict::not_btree;
    const bool fits = page_size == 0 ? out.cell_count < 513
                                     : out.first_freeblock <= page_size && out.content_start <= page_size &&
                                           static_cast<std::uint64_t>(out.cell_count) * 4 + 12 <= page_size;
    return fits ? page_header_verdict::sound : page_header_verdict::implausible;
}

int is_btree_page_header(const std::uint8_t* header, std::size_t length, std::uint32_t page_size) {
    btree_page_header h;
    return read_btree_page_header(h, header, length, 0, page_size) == page_header_verdict::sound ? 1 : 0;
}

namespace {

// Decodes one cell whose offset lies inside the buffer. Returns false when the page must fail
// (a payload size that is negative as a signed 32-bit number).
bool decode_cell(cell_metadata& c, byte_view page, std::uint8_t type, bool skip_rowid) {
    const std::size_t off = c.cell_offset;
    std::uint64_t v;
    std::uint32_t n;
    switch (type) {
        case kPageTableLeaf:
        case kPageIndexLeaf: {
            if (!read_varint_complete(page, off, &v, &n)) return true;  // left at zero, page goes on
            if (varint_negative32(v)) return false;
            c.leaf = 1;
            c.table = type == kPageTableLeaf ? 1 : 0;
            c.payload_size = v;
            c.payload_size_length = static_cast<std::uint16_t>(n);
            break;
        }
        case kPageIndexInterior: {
            std::uint32_t child;
            if (!read_be32(page, off, &child)) return true;
            if (!read_varint_complete(page, off + 4, &v, &n)) return true;
            if (varint_negative32(v)) return false;
            c.left_child = child;
            c.leaf = 0;
            c.table = 0;
            c.payload_size = v;
            c.payload_size_length = static_cast<std::uint16_t>(n);
            c.key = v;
            break;
        }
        case kPageTableInterior: {
            std::uint32_t child;
            if (!read_be32(page, off, &child)) return true;
            if (!read_varint_complete(page, off + 4, &v, &n)) return true;
            c.left_child = child;
            c.leaf = 0;
            c.table = 1;
            c.overflow = 0;
            c.payload_size = n;
            c.payload_size_length = static_cast<std::uint16_t>(n);
            c.key = v;
            // The rowid is also kept where the other kinds keep theirs, so walks read it in one place.
            c.rowid = v;
            c.rowid_length = static_cast<std::uint16_t>(n);
            return true;
        }
        default:
            return true;
    }
    // The second varint: the rowid of a table leaf; for index cells the value after the payload size.
    const std::size_t second = off + (type == kPageIndexInterior ? 4 : 0) + c.payload_size_length;
    if (skip_rowid) {
        c.rowid_length = 0;
        c.rowid_not_read = 1;
    } else if (read_varint_complete(page, second, &v, &n)) {
        c.rowid = v;
        c.rowid_length = static_cast<std::uint16_t>(n);
    }
    return true;
}

}  // namespace

int parse_btree_page(cell_map& out, const std::uint8_t* buf, std::size_t length, std::uint32_t page_size,
                     std::uint8_t reserved, bool skip_rowid) {
    out.clear();
    if (!buf || length < 12) return 0;
    const byte_view page(buf, length);
    btree_page_header head;
    if (read_btree_page_header(head, buf, length, btree_header_offset(buf, length), page_size) ==
        page_header_verdict::cut_short)
        return 0;
    const std::uint8_t type = head.type;
    const std::uint16_t cell_count = head.cell_count;
    const bool leaf = head.size() == kLeafHeaderSize;
    if (cell_count == 0) return (type == kPageTableInterior && head.right_child != 0) ? 1 : 0;
    // The cell-pointer array lies inside the buffer; entries past its end are not read.
    const std::size_t array_start = head.cell_pointers();
    for (std::size_t i = 0; i < cell_count; ++i) {
        std::uint16_t ptr;
        if (!read_be16(page, array_start + 2 * i, &ptr)) break;
        if (ptr >= page_size) continue;
        cell_metadata c;
        c.cell_offset = ptr;
        c.cell_index = static_cast<std::uint16_t>(i);
        c.leaf = leaf ? 1 : 0;
        out.emplace(ptr, c);  // a repeated offset keeps its first entry
    }
    if (out.empty()) return 0;

    std::uint32_t boundary = page_size;
    std::uint32_t freeblock = head.first_freeblock;
    for (auto it = out.rbegin(); it != out.rend(); ++it) {
        cell_metadata& c = it->second;
        if (freeblock > c.cell_offset && freeblock < boundary) {
            c.extent = freeblock - c.cell_offset;
            freeblock = 0;  // used up
        } else {
            c.extent = boundary - c.cell_offset;
        }
        boundary = c.cell_offset;
        if (c.cell_offset >= length) continue;
        if (!decode_cell(c, page, type, skip_rowid)) {
            out.clear();
            return 0;
        }
        const bool decoded = c.payload_size_length != 0;
        if (type == kPageTableInterior || !decoded) continue;
        if (c.payload_size != 0 && c.payload_size > c.extent && c.extent > 4) {
            c.overflow = 1;
            std::uint32_t next = 0;
            if (read_be32(page, static_cast<std::size_t>(c.cell_offset) + c.extent - 4, &next))
                c.first_overflow_page = next;
            if (page_size != 0) {
                // The split is computed for the page size, not the buffer length: a buffer longer than
                // one page (or a short one) must not change the format's split.
                std::uint32_t local, over, first;
                if (compute_local_payload(&local, &over, &first, buf + c.cell_offset, length - c.cell_offset,
                                          c, page_size, reserved, false)) {
                    c.overflow = over != 0 ? 1 : 0;
                    c.first_overflow_page = first;
                    c.local_payload_size = local;
                }
            }
        }
    }
    return 1;
}

bool local_payload_bytes(std::uint64_t payload, std::uint32_t usable, bool table_leaf, std::uint64_t* local) {
    // Below 36 usable bytes the split has no meaning (and U - 4 could reach zero).
    if (usable < 36) return false;
    const std::int64_t u = usable;
    const std::int64_t max_local = table_leaf ? u - 35 : (u - 12) * 64 / 255 - 23;
    const std::int64_t min_local = (u - 12) * 32 / 255 - 23;
    if (max_local >= 0 && payload <= static_cast<std::uint64_t>(max_local)) {
        *local = payload;
        return true;
    }
    if (min_local < 0) return false;  // a usable size this small cannot hold an overflowing cell
    const std::uint64_t m = static_cast<std::uint64_t>(min_local);
    const std::uint64_t k = m + (payload - m) % static_cast<std::uint64_t>(u - 4);
    *local = (max_local >= 0 && k <= static_cast<std::uint64_t>(max_local)) ? k : m;
    return true;
}

int compute_local_payload(std::uint32_t* local, std::uint32_t* overflow_bytes,
                          std::uint32_t* first_overflow_page, const std::uint8_t* cell_bytes,
                          std::size_t available, cell_metadata& cell, std::uint32_t page_size,
                          std::uint8_t reserved, bool store) {
    *local = 0;
    *overflow_bytes = 0;
    *first_overflow_page = 0;
    const std::uint64_t p = cell.payload_size;
    std::uint64_t loc = 0;
    if (page_size < reserved || !local_payload_bytes(p, page_size - reserved, cell.leaf && cell.table, &loc))
        return 0;
    if (loc == p) {
        if (p > available) return 0;  // the whole payload would lie past the bytes given
        *local = static_cast<std::uint32_t>(p);
        if (store) {
            cell.overflow = 0;
            cell.first_overflow_page = 0;
        }
        return 1;
    }
    if (loc > available) return 0;
    // The local bytes follow the cell's header parts: an index interior cell's child pointer and payload
    // size, a table leaf cell's payload size and rowid, an index leaf cell's payload size alone (the value
    // decode_cell reads after it is part of the payload).
    const std::size_t parts = cell.leaf ? cell.payload_size_length + (cell.table ? cell.rowid_length : 0u)
                                        : kChildPointerSize + cell.payload_size_length;
    const std::size_t ptr_at = parts + static_cast<std::size_t>(loc);
    std::uint32_t first;
    if (!cell_bytes || !read_be32(byte_view(cell_bytes, available), ptr_at, &first)) return 0;
    *local = static_cast<std::uint32_t>(loc);
    const std::uint64_t over = p - loc;
    *overflow_bytes = over > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(over);
    *first_overflow_page = first;
    if (store) {
        cell.local_payload_size = *local;
        cell.first_overflow_page = first;
        cell.overflow = 1;
    }
    return 1;
}

int bind_sqlite_page(sqlite_page& page, const std::uint8_t* buf, std::size_t length, std::uint32_t page_size,
                     std::uint8_t reserved, const database_header& header) {
    page.reserved = reserved;
    page.cells.clear();
    page.parse_result = 0;
    if (!buf || length < 12) return 0;
    if (header.magic) {
        if (length < kPage1MinSize) return 0;
        // A header page size that is not valid leaves the caller's (0: none, and no cell is read).
        page.page_size = header.page_size != 0 ? header.page_size : page_size;
        page.reserved = header.reserved;
        page.encoding = header.texts;
        std::memset(page.header, 0, sizeof page.header);
        std::memset(page.header_next, 0, sizeof page.header_next);
        const std::size_t n = std::min<std::size_t>(16, length - kDbHeaderSize);
        for (std::size_t i = 0; i < n; ++i)
            (i < 8 ? page.header[i] : page.header_next[i - 8]) = buf[kDbHeaderSize + i];
    } else {
        if (!is_btree_page_header(buf, length, page_size)) return 0;
        std::memset(page.header_next, 0, sizeof page.header_next);
        const std::size_t n = std::min<std::size_t>(16, length);
        for (std::size_t i = 0; i < n; ++i) (i < 8 ? page.header[i] : page.header_next[i - 8]) = buf[i];
        if (page_size != 0) page.page_size = page_size;
    }
    const int r = parse_btree_page(page.cells, buf, length, page.page_size, page.reserved, false);
    page.parse_result = static_cast<std::uint8_t>(r);
    return r;
}

int bind_sqlite_page(sqlite_page& page, const std::uint8_t* buf, std::size_t length, std::uint32_t page_size,
                     std::uint8_t reserved) {
    // Only a buffer that begins with the magic is decoded as a header; any other is bound as a page.
    const database_header header =
        starts_with_magic(buf, length) ? decode_database_header(buf, length) : database_header();
    return bind_sqlite_page(page, buf, length, page_size, reserved, header);
}

int list_freeblocks(std::vector<std::uint16_t>& offsets, std::vector<std::uint16_t>& sizes,
                    const std::uint8_t* page, std::size_t length, std::uint32_t page_size,
                    std::uint16_t first) {
    offsets.clear();
    sizes.clear();
    if (!page || page_size < 512 || first == 0 || first > page_size) return 0;
    const byte_view b(page, std::min<std::size_t>(length, page_size));
    std::set<std::uint16_t> seen;
    std::uint16_t off = first;
    for (;;) {
        std::uint16_t size, next;
        if (!read_be16(b, static_cast<std::size_t>(off) + 2, &size) || !read_be16(b, off, &next)) break;
        if (size < 4) break;
        seen.insert(off);
        offsets.push_back(off);
        sizes.push_back(size);
        if (next == 0 || next >= page_size || seen.count(next)) break;  // a cycle ends the walk
        off = next;
    }
    return offsets.empty() ? 0 : 1;
}

// ---------------------------------------------------------------------------------------------
// Whole-buffer helpers.

int read_page_size_from_header(std::uint32_t* page_size, const std::uint8_t* buf, std::size_t length) {
    *page_size = 0;
    if (length < kDbHeaderSize || !starts_with_magic(buf, length)) return 0;
    *page_size = db_header_page_size(buf, length);
    return 1;
}

int find_page_header(std::uint32_t* page_size, std::uint64_t* offset, const std::uint8_t* buf,
                     std::size_t length) {
    *page_size = 0;
    *offset = 0;
    if (!buf) return 0;
    for (std::size_t o = 0; o + 512 < length; ++o) {
        btree_page_header head;
        if (read_btree_page_header(head, buf, length, o, 0) == page_header_verdict::sound &&
            head.content_start != 0) {
            std::uint32_t ps = 512;
            while (ps <= head.content_start) ps <<= 1;  // content < 65536, so this ends at 65536 at most
            *page_size = ps;
            *offset = o;
            return 1;
        }
        if (starts_with_magic(buf + o, length - o)) {  // o + 512 < length: the field is there
            *page_size = db_header_page_size(buf + o, length - o);
            *offset = o;
            return 1;
        }
    }
    return 0;
}

int guess_page_size(std::uint32_t* page_size, const std::uint8_t* buf, std::size_t length) {
    *page_size = 1024;
    std::uint8_t type = 0;
    if (!buf || !read_u8(byte_view(buf, length), btree_header_offset(buf, length), &type)) return 0;
    bool cell_check_failed = false;
    for (std::uint32_t trial = 512; trial < 32768; trial <<= 1) {
        cell_map cells;
        if (!parse_btree_page(cells, buf, length, trial, 0, false)) {
            if (cell_check_failed) continue;
            *page_size = trial;
            return 1;
        }
        bool fits = true;
        for (auto it = cells.rbegin(); it != cells.rend() && fits; ++it) {
            const cell_metadata& c = it->second;
            const std::int64_t slack = static_cast<std::int64_t>(c.extent) -
                                       static_cast<std::int64_t>(c.payload_size + c.payload_size_length);
            fits = (slack >= 1 && slack <= 5) || (type == kPageIndexLeaf && slack == 0) ||
                   (type == kPageTableInterior && slack == 5);
        }
        if (fits) {
            *page_size = trial;
            return 1;
        }
        cell_check_failed = true;
    }
    *page_size = 1024;
    return 0;
}

int bits_text_to_bytes(std::vector<std::uint8_t>& out, const std::string& bits) {
    out.clear();
    const std::size_t n = bits.size();
    std::size_t i = 0;
    std::size_t group = n % 8 ? n % 8 : 8;
    while (i < n) {
        std::uint8_t byte = 0;
        for (std::size_t k = 0; k < group; ++k, ++i) {
            if (bits[i] == '1') byte = static_cast<std::uint8_t>(byte + 1);
            if (k + 1 < group) byte = static_cast<std::uint8_t>(byte << 1);
        }
        out.push_back(byte);
        group = 8;
    }
    return 1;
}

int match_text_at(const std::string& text, const std::uint8_t* buf, std::size_t length, std::size_t offset) {
    if (!buf || !byte_view(buf, length).has(offset, text.size())) return 0;
    return std::memcmp(buf + offset, text.data(), text.size()) == 0 ? 1 : 0;
}

int write_page_heading(std::ostream& os, const std::uint8_t* buf, std::size_t length, std::uint32_t page_size,
                       std::uint64_t file_offset) {
    if (!buf || length < 12) return 0;
    sqlite_page page;
    if (!bind_sqlite_page(page, buf, length, page_size, 0)) return 0;
    const std::uint32_t ps = page_size != 0 ? page_size : page.page_size;
    const std::uint64_t number = ps != 0 ? file_offset / ps + 1 : 1;  // a zero page size must not divide
    const std::string rule(25, '-');
    const char old_fill = os.fill('0');
    const std::ios::fmtflags old_flags = os.flags();
    os << "Page Header: 0x" << std::right << std::hex << std::setw(4) << number << "\n";
    os.flags(old_flags);
    os.fill(old_fill);
    os << rule << "\n\nCell data\n" << rule << "\n\n";
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Rollback journal.

std::int64_t journal_page_checksum(const std::uint8_t* journal_header, std::size_t header_length,
                                   const std::uint8_t* page, std::size_t page_length) {
    const byte_view h(journal_header, header_length);
    std::uint32_t p, nonce;
    if (!journal_header || !page || !read_be32(h, kJournalPageSizeOffset, &p) ||
        !read_be32(h, kJournalNonceOffset, &nonce))
        return -1;
    p = page_size_from_wide_field(p);
    if (p == 0 || nonce == 0 || p > page_length) return -1;
    std::uint32_t sum = nonce;
    for (std::size_t i = p % kJournalChecksumStride; i < p; i += kJournalChecksumStride) sum += page[i];
    return sum;
}

bool rollback_journal_header::valid(const std::uint8_t* bytes, std::size_t length) {
    if (!bytes || length < kJournalFirstRecordOffset) return false;
    const byte_view b(bytes, length);
    std::uint32_t nonce = 0, initial = 0;
    if (!read_be32(b, kJournalNonceOffset, &nonce) || !read_be32(b, kJournalInitialSizeOffset, &initial))
        return false;
    // The page size is the reader's to judge: 0 stands for the database's own.
    if (nonce == 0 && initial == 0) return false;
    if (bytes[0] == kJournalMagic0 && bytes[1] == kJournalMagic1) return true;
    for (std::size_t i = 0; i < kJournalMagicLength; ++i)
        if (bytes[i] != 0) return false;
    std::uint32_t first_page;
    if (length < kJournalFirstRecordOffset + kJournalPageNumberSize ||
        !read_be32(b, kJournalFirstRecordOffset, &first_page))
        return false;
    return first_page >= 1 && first_page <= 0x1FFFFF;
}

int null_records_callback(std::vector<recovered_record>& /*records*/, void* /*options*/) { return 0; }
