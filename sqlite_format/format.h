// Primitives of the SQLite database file format (file format 3), read without the SQLite library:
// checked big-endian reads, varints, serial types, the b-tree page header, the cell-pointer array,
// the four kinds of cell and the split of a payload into its local part and its overflow chain.
// Every routine works on a caller's buffer and never reads a file; every length and offset taken
// from the bytes is checked before use, so a damaged or hostile page gives a failure, never a read
// past the buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "sqlite_format/layout.h"

// True when the `length` bytes at `buf` begin with the database magic: the one test of it every reader makes.
bool starts_with_magic(const std::uint8_t* buf, std::size_t length);

// ---------------------------------------------------------------------------------------------
// Bytes and checked reads.

// A non-owning view of bytes: pointer plus length. Copy freely; it owns nothing.
struct byte_view {
    const std::uint8_t* data = nullptr;  // first byte, may be null when size is 0
    std::size_t size = 0;                // number of readable bytes at data

    byte_view() = default;
    byte_view(const std::uint8_t* d, std::size_t n) : data(d), size(d ? n : 0) {}
    explicit byte_view(const std::vector<std::uint8_t>& v) : data(v.data()), size(v.size()) {}

    // True when `len` bytes at `off` lie inside the view (no wrap-around).
    bool has(std::size_t off, std::size_t len) const { return off <= size && len <= size - off; }
    // The bytes from `off` to the end; empty when `off` is past the end.
    byte_view tail(std::size_t off) const {
        return off <= size ? byte_view(data + off, size - off) : byte_view();
    }
};

// Each reads a big-endian value at `off`; false, with *out untouched, when it would pass the end.
[[nodiscard]] bool read_u8(byte_view b, std::size_t off, std::uint8_t* out);
[[nodiscard]] bool read_be16(byte_view b, std::size_t off, std::uint16_t* out);
[[nodiscard]] bool read_be24(byte_view b, std::size_t off, std::uint32_t* out);
[[nodiscard]] bool read_be32(byte_view b, std::size_t off, std::uint32_t* out);
[[nodiscard]] bool read_be48(byte_view b, std::size_t off, std::uint64_t* out);
[[nodiscard]] bool read_be64(byte_view b, std::size_t off, std::uint64_t* out);
// Reads `n` bytes at `off` as an unsigned big-endian number; n = 0 gives 0. For n > 8 only the
// low 64 bits are kept (the leading bytes fall off), so any stored width is read without overflow.
[[nodiscard]] bool read_be_uint(byte_view b, std::size_t off, std::size_t n, std::uint64_t* out);
// Reads `n` bytes (1 to 8) at `off` as a big-endian two's-complement number, as SQLite stores a record's
// integers (serial types 1 to 6): the top bit of the first byte is the sign. False for any other width.
[[nodiscard]] bool read_be_int(byte_view b, std::size_t off, std::size_t n, std::int64_t* out);

// The BE32 at `p`, or -1 for a null pointer or fewer than 4 bytes.
std::int64_t read_be32(const std::uint8_t* p, std::size_t length);

// ---------------------------------------------------------------------------------------------
// Page sizes. Every page-size field is decoded here.

// Page sizes are kept in 32 bits. `stored` is the page-size field of a database header (16 bits, where 1
// stands for 65536), or a page size taken from elsewhere. Returns the page size, or 0 when it is not a power
// of two from 512 to 65536 (such a file is refused).
std::uint32_t page_size_from_field(std::uint32_t stored);
// The 32-bit page-size field of a write-ahead-log or journal header, where 65536 is written as is and 1
// has no meaning; 0 when not a valid page size.
std::uint32_t page_size_from_wide_field(std::uint32_t stored);
// The page size stored in the database header at `bytes` (kDbPageSizeOffset); 0 when the buffer is too
// short for the field or the size is not valid. The magic is not checked.
std::uint32_t db_header_page_size(const std::uint8_t* bytes, std::size_t length);
// The bytes reserved at the end of every page by the database header at `bytes` (kDbReservedOffset), where
// the usable size they leave its pages is one the format allows (kMinUsableSize and more); else 0: a field
// that large is damage (the library refuses the file), and the pages are read whole. 0 when the buffer is too
// short for the fields or the page size is not valid.
std::uint8_t db_header_reserved(const std::uint8_t* bytes, std::size_t length);

// What the SQLite library refuses in the database header at `header`, in the order it checks page 1 when it
// opens a file and then reads the schema: the magic (all 16 bytes, the zero at 15 too), a read version over
// 2, payload fractions other than 64, 32 and 32, a page size the format cannot have, a usable size (the page
// size less the reserved bytes) under 480, a schema format number over 4 (0 it takes as 1). Says the field,
// its value and what the library takes; empty when the library takes the header or `length` holds none. The
// write version it leaves to writers and the text encoding it takes whatever it says.
std::string library_header_refusal(const std::uint8_t* header, std::size_t length);
// Whether the page-size field of the write-ahead-log header at `header` passes for a file of loose pages:
// its four bytes read little-endian are non-zero with the low nine bits clear. No page size is taken from
// it (loose pages are walked in a step of their own). False when the buffer is too short for the field.
bool loose_wal_page_size_field(const std::uint8_t* header, std::size_t length);

// ---------------------------------------------------------------------------------------------
// Text encodings.

// The encoding a text encoding field names. A value that names none is read as UTF-16le, as the own reader
// has always read it (the schema reader then tries the other encodings).
text_encoding text_encoding_from_field(std::uint32_t field);
// The text encoding field of the database header at `bytes` (kDbTextEncodingOffset) as an encoding; UTF-8
// when the buffer is too short for the field.
text_encoding db_header_text_encoding(const std::uint8_t* bytes, std::size_t length);
// "UTF-8", "UTF-16le" or "UTF-16be".
const char* text_encoding_label(text_encoding encoding);

// ---------------------------------------------------------------------------------------------
// The database header, decoded once: every reader takes its facts from here, none from the bytes.

// The first 100 bytes of a database file.
using db_header_bytes = std::array<std::uint8_t, 100>;

// The first 100 bytes of page 1, decoded.
struct database_header {
    db_header_bytes bytes{};            // as read; zeros past what the file holds
    std::uint32_t length = 0;           // how many of the 100 bytes the file holds
    bool magic = false;                 // they begin with the database magic (starts_with_magic)
    std::uint32_t page_size = 0;        // 0: the field is no valid page size
    std::uint32_t page_size_field = 0;  // the page-size field as stored (16 bits)
    std::uint8_t reserved_field = 0;    // the reserved-bytes field as stored
    // The bytes reserved at the end of every page as the readers take them (db_header_reserved: 0 where the
    // field leaves a usable size the format cannot have), and the usable size they leave; 0 without a page
    // size.
    std::uint8_t reserved = 0;
    std::uint32_t usable = 0;
    std::uint32_t encoding_field = 0;           // as stored: 1 UTF-8, 2 UTF-16le, 3 UTF-16be
    text_encoding texts = text_encoding::utf8;  // the encoding it names (db_header_text_encoding)
    std::uint32_t counted_pages = 0;            // the page-count field
    std::uint32_t freelist_trunk = 0;           // the free list's first trunk page, 0 for none
    std::uint32_t largest_root = 0;             // with auto-vacuum the largest root page, else 0
    bool count_current = false;  // counted_pages is not 0 and was written for the file's change counter
    bool wal_mode = false;       // its write and read versions say write-ahead-log mode

    // A database header a reader takes: the magic and a valid page size.
    bool readable() const { return magic && page_size != 0; }
    // The count of pages a reader of a file of `size` bytes takes the database to have: the header's count
    // where it is kept up to date, else the pages the bytes hold (a last partial page counting). 0 without a
    // page size.
    std::uint64_t pages_for(std::uint64_t size) const;
};
// Decodes the `length` bytes at `bytes` (at most 100 are taken; those missing read as zeros).
database_header decode_database_header(const std::uint8_t* bytes, std::size_t length);
inline database_header decode_database_header(const db_header_bytes& bytes) {
    return decode_database_header(bytes.data(), bytes.size());
}

// ---------------------------------------------------------------------------------------------
// Varints and serial types.

// Reads the SQLite varint at the start of `buf`, using at most `length` bytes (never more than 9).
// A varint cut by the end of the buffer is not an error: the bytes that are there are used and
// *out_length says how many. Returns 1 for a non-null buffer of non-zero length, else 0 with both
// outputs 0.
int read_sqlite_varint(std::uint64_t* value, std::uint32_t* out_length, const std::uint8_t* buf,
                       std::size_t length);

// Reads a whole varint at `off`: true only when it ends (a byte with a clear high bit, or the
// ninth byte) inside the view. On failure the outputs are untouched.
[[nodiscard]] bool read_varint_complete(byte_view b, std::size_t off, std::uint64_t* value,
                                        std::uint32_t* out_length);

// True when a varint value is negative taken as a signed 32-bit number (the format's sizes never are).
inline bool varint_negative32(std::uint64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)) < 0;
}

// Content size in bytes of a record column with this serial type.
std::uint64_t serial_type_size(std::uint64_t serial_type);

// Appends `value` 7 bits at a time, least significant group first, each byte with its high bit
// set, at most 9 bytes (this is not the SQLite varint layout). Clears the vector first; 1 when
// anything was written.
int write_sqlite_varint(std::vector<std::uint8_t>& out, std::uint64_t value);

// Little-endian base-128 integers; each returns the length used, or 0 (value 0) when the ending
// byte lies past `length`.
int read_le_varint64(std::uint64_t* value, const std::uint8_t* buf, std::size_t length);
int read_le_varint32(std::uint32_t* value, const std::uint8_t* buf, std::size_t length);

// Number of set bits among the low 60 bits of `mask`.
int count_bits60(std::uint64_t mask);

// Decodes a big-endian IEEE 754 binary32 (4 bytes) or binary64 (8 bytes); 0 for any other size.
int decode_ieee_float_be(double* out, const std::vector<std::uint8_t>& bytes);

// ---------------------------------------------------------------------------------------------
// Pages and cells.

// One cell found through the cell-pointer array.
struct cell_metadata {
    std::uint32_t cell_offset = 0;          // offset of the cell from the start of the page buffer
    std::uint32_t extent = 0;               // bytes to the next cell, the first freeblock or the page end
    std::uint64_t payload_size = 0;         // payload bytes (type 5: length of the rowid varint)
    std::uint16_t payload_size_length = 0;  // length of the payload-size varint (type 5: rowid varint)
    std::uint64_t rowid = 0;                // value of the second varint
    std::uint16_t rowid_length = 0;         // length of the second varint, 0 when not read
    std::uint8_t leaf = 0;                  // 1 for page types 10 and 13
    std::uint8_t table = 0;                 // 1 for page types 5 and 13
    std::uint8_t overflow = 0;              // 1 when the payload continues on an overflow page
    std::uint32_t first_overflow_page = 0;  // page number of the first overflow page
    std::uint32_t local_payload_size = 0;   // payload bytes on this page, when the split was computed
    std::uint16_t cell_index = 0;           // index in the cell-pointer array
    std::uint32_t left_child = 0;           // left child page (types 2 and 5)
    std::uint64_t key = 0;                  // payload size for type 2, rowid for type 5
    std::uint8_t rowid_not_read = 0;        // 1 when the caller asked to skip the second varint
};

using cell_map = std::map<std::uint64_t, cell_metadata>;

// One bound page: its header bytes and its cells.
struct sqlite_page {
    std::uint8_t header[8] = {};       // first 8 bytes of the b-tree page header
    std::uint8_t header_next[8] = {};  // the 8 bytes after them (right-most child on interior pages)
    cell_map cells;                    // cell offset -> cell
    std::uint32_t page_size = 1024;    // page size used for the bounds
    std::uint8_t reserved = 0;         // bytes reserved at the end of each page
    std::uint8_t parse_result = 0;     // result of the last parse_btree_page
    text_encoding encoding = text_encoding::utf8;  // the database's, from its header on page 1
};

// Where the b-tree page header of the page in `page` stands: after the database header on page 1 (a
// buffer that begins with the magic), else at the page's start.
std::size_t btree_header_offset(const std::uint8_t* page, std::size_t length);

// The b-tree page header of one page, decoded once; every walk reads the header through it.
struct btree_page_header {
    std::size_t at = 0;                 // offset of the header in the page (100 on page 1)
    std::uint8_t type = 0;              // the type byte: 2, 5, 10 or 13 on a b-tree page
    std::uint16_t first_freeblock = 0;  // 0 = none
    std::uint16_t cell_count = 0;       // as stored; the page need not hold that many pointers
    std::uint16_t content_start = 0;    // as stored; 0 stands for 65536
    std::uint32_t right_child = 0;      // right-most child of an interior page, else 0

    bool leaf() const { return type == kPageIndexLeaf || type == kPageTableLeaf; }
    bool interior() const { return type == kPageIndexInterior || type == kPageTableInterior; }
    // The header's size. The leaf flag of the type byte (bit 3) decides, as the format defines it, so a
    // damaged type byte still places the cell pointers somewhere.
    std::size_t size() const { return (type & 8) != 0 ? kLeafHeaderSize : kInteriorHeaderSize; }
    // Offset in the page of the cell-pointer array, and of its end when it holds `cells` pointers.
    std::size_t cell_pointers() const { return at + size(); }
    std::size_t cell_pointers_end(std::size_t cells) const { return cell_pointers() + 2 * cells; }
};

// What the header decode found.
enum class page_header_verdict : std::uint8_t {
    sound,        // a b-tree page type, and counts a page of the size can hold
    implausible,  // a b-tree page type, but counts no page of the size holds
    not_btree,    // the type byte is none of 2, 5, 10 and 13 (the fields are decoded all the same)
    cut_short,    // the buffer ends before the content start (the header's first seven bytes)
};

// Decodes the b-tree page header at `at` of the `length` bytes at `page` into `out`; the right-most
// child is read on a page whose type byte is not a leaf's, when its four bytes are there. A header is
// plausible for `page_size` when its first freeblock and content start lie inside the page and its cells
// fit at four bytes each (pointer and the smallest cell) beside an interior header; with `page_size` 0
// (unknown) when the cell count is under 513.
page_header_verdict read_btree_page_header(btree_page_header& out, const std::uint8_t* page,
                                           std::size_t length, std::size_t at, std::uint32_t page_size);

// True when the b-tree page header at `header` is sound (read_btree_page_header at 0) for a page of
// `page_size` bytes (0 = unknown). Says nothing of the cells themselves.
int is_btree_page_header(const std::uint8_t* header, std::size_t length, std::uint32_t page_size);

// True when the type byte is 2, 5, 10 or 13.
int is_btree_page_type(const std::uint8_t* header, std::size_t length);

// Maps every cell of the page in `buf` (header at 100 when the buffer starts with the database
// magic, else at 0). Cell pointers at or past `page_size` are skipped; cells are decoded only as
// far as `length` allows. Returns 1 when at least one cell was mapped (or for a table-interior
// page without cells whose right-most child is non-zero), 0 otherwise; fails the whole page when a
// payload size is negative as a signed 32-bit number. Reads nothing past `length`.
int parse_btree_page(cell_map& out, const std::uint8_t* buf, std::size_t length, std::uint32_t page_size,
                     std::uint8_t reserved, bool skip_rowid);

// The format's payload split: how many bytes of a payload of `payload` bytes a cell keeps on a page of
// `usable` bytes (`table_leaf` for a table leaf's cell, whose limit is higher), the rest going to its
// overflow chain; all of them when they fit. False when no split is defined: a usable size under 36, or one
// too small for any cell to overflow where this payload would.
bool local_payload_bytes(std::uint64_t payload, std::uint32_t usable, bool table_leaf, std::uint64_t* local);

// The payload split of the format: how many payload bytes of `cell` are stored on its page and
// where its overflow chain starts. `cell_bytes` points at the cell's start and `available` bytes
// may be read there. Returns 1, or 0 when the usable size is under 36 (no split is defined) or
// the local part or its overflow pointer would pass `available`. With `store`, the cell's local
// size, overflow flag and first overflow page are updated.
int compute_local_payload(std::uint32_t* local, std::uint32_t* overflow_bytes,
                          std::uint32_t* first_overflow_page, const std::uint8_t* cell_bytes,
                          std::size_t available, cell_metadata& cell, std::uint32_t page_size,
                          std::uint8_t reserved, bool store);

// Binds the page in `buf`: takes page size, reserved count (as the header's usable size leaves it) and
// encoding from a database header when there is one (decoded once; page 1 needs at least 112 bytes), checks
// the b-tree header, then maps the cells. `page_size` 0 keeps the page's own. The result of parse_btree_page,
// also kept in the page.
int bind_sqlite_page(sqlite_page& page, const std::uint8_t* buf, std::size_t length, std::uint32_t page_size,
                     std::uint8_t reserved);
// The same where the header in `buf` is already decoded (`header`, of page 1; a header without the magic, or
// a default one, binds `buf` as a page whose b-tree header is at its start): the page size, reserved bytes
// and encoding are the header's facts.
int bind_sqlite_page(sqlite_page& page, const std::uint8_t* buf, std::size_t length, std::uint32_t page_size,
                     std::uint8_t reserved, const database_header& header);

// Lists the freeblock chain of a page starting at `first`; the chain stops at a revisit, a
// freeblock under 4 bytes or an offset outside the page. 1 when at least one was listed.
int list_freeblocks(std::vector<std::uint16_t>& offsets, std::vector<std::uint16_t>& sizes,
                    const std::uint8_t* page, std::size_t length, std::uint32_t page_size,
                    std::uint16_t first);

// ---------------------------------------------------------------------------------------------
// Whole-buffer helpers (not used by the tool's own runs).

// Finds the first b-tree page header or database header in the buffer and derives a page size.
int find_page_header(std::uint32_t* page_size, std::uint64_t* offset, const std::uint8_t* buf,
                     std::size_t length);

// The page size of a database header (db_header_page_size, 0 when not valid); 1 when the magic is present
// and length >= 100.
int read_page_size_from_header(std::uint32_t* page_size, const std::uint8_t* buf, std::size_t length);

// Tries page sizes 512 .. 16384 on a page buffer and keeps the first whose cells all fit.
int guess_page_size(std::uint32_t* page_size, const std::uint8_t* buf, std::size_t length);

// Packs a text of '0'/'1' characters into bytes, the first byte taking the odd bits. Always 1.
int bits_text_to_bytes(std::vector<std::uint8_t>& out, const std::string& bits);

// 1 when the bytes of `text` stand at `offset` within the buffer.
int match_text_at(const std::string& text, const std::uint8_t* buf, std::size_t length, std::size_t offset);

// Writes the heading of a page dump when the buffer binds as a page; 1 when it did.
int write_page_heading(std::ostream& os, const std::uint8_t* buf, std::size_t length, std::uint32_t page_size,
                       std::uint64_t file_offset);

// ---------------------------------------------------------------------------------------------
// Rollback journal.

// Checksum of one journal page record: the nonce plus every 200th byte of the page; -1 when the
// header's page size is not valid or larger than `page_length`, or the nonce is 0.
std::int64_t journal_page_checksum(const std::uint8_t* journal_header, std::size_t header_length,
                                   const std::uint8_t* page, std::size_t page_length);

struct rollback_journal_header {
    // True when the first `length` bytes of a journal hold a usable header (see the journal reader, which
    // judges its page size).
    static bool valid(const std::uint8_t* bytes, std::size_t length);
};

// ---------------------------------------------------------------------------------------------
// Page-walk callbacks.

class recovered_record;

// Called by the page walks after the records of a chunk were appended; `options` is the caller's.
using records_callback = int (*)(std::vector<recovered_record>& records, void* options);

// The default records callback: does nothing and returns 0.
int null_records_callback(std::vector<recovered_record>& records, void* options);
