#include "sqlite_format/format.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<std::uint8_t>;

// The SQLite varint of `v`, most significant group first (the test's own encoder).
bytes encode_varint(std::uint64_t v) {
    if (v > 0x00FFFFFFFFFFFFFFull) {
        bytes out(9);
        out[8] = static_cast<std::uint8_t>(v);
        v >>= 8;
        for (int i = 7; i >= 0; --i) {
            out[i] = static_cast<std::uint8_t>((v & 0x7f) | 0x80);
            v >>= 7;
        }
        return out;
    }
    bytes rev;
    do {
        rev.push_back(static_cast<std::uint8_t>(v & 0x7f));
        v >>= 7;
    } while (v != 0);
    bytes out(rev.rbegin(), rev.rend());
    for (std::size_t i = 0; i + 1 < out.size(); ++i) out[i] |= 0x80;
    return out;
}

void put16(bytes& b, std::size_t off, std::uint16_t v) {
    b[off] = static_cast<std::uint8_t>(v >> 8);
    b[off + 1] = static_cast<std::uint8_t>(v);
}

void put32(bytes& b, std::size_t off, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// A page of `size` bytes with a b-tree header of `type` at `hdr` and cells at the given offsets.
bytes make_page(std::size_t size, std::uint8_t type, const std::vector<std::uint16_t>& cells,
                std::size_t hdr = 0) {
    bytes p(size, 0);
    p[hdr] = type;
    put16(p, hdr + 3, static_cast<std::uint16_t>(cells.size()));
    put16(p, hdr + 5, cells.empty() ? 0 : cells.back());
    const std::size_t array = hdr + ((type & 8) ? 8 : 12);
    for (std::size_t i = 0; i < cells.size(); ++i) put16(p, array + 2 * i, cells[i]);
    return p;
}

// Writes a table-leaf cell (payload size, rowid, payload bytes) at `off`.
void put_leaf_cell(bytes& p, std::size_t off, std::uint64_t payload_size, std::uint64_t rowid,
                   const bytes& payload = {}) {
    bytes c = encode_varint(payload_size);
    bytes r = encode_varint(rowid);
    c.insert(c.end(), r.begin(), r.end());
    c.insert(c.end(), payload.begin(), payload.end());
    std::copy(c.begin(), c.end(), p.begin() + static_cast<std::ptrdiff_t>(off));
}

TEST(Varint, RoundTripsAroundEveryPowerOfTwo) {
    for (int bit = 0; bit < 64; ++bit) {
        for (std::int64_t d = -1; d <= 1; ++d) {
            const std::uint64_t v = (std::uint64_t{1} << bit) + static_cast<std::uint64_t>(d);
            const bytes e = encode_varint(v);
            std::uint64_t got = 0;
            std::uint32_t len = 0;
            ASSERT_EQ(read_sqlite_varint(&got, &len, e.data(), e.size()), 1);
            EXPECT_EQ(got, v) << "bit " << bit;
            EXPECT_EQ(len, e.size());
            ASSERT_TRUE(read_varint_complete(byte_view(e), 0, &got, &len));
            EXPECT_EQ(got, v);
        }
    }
}

TEST(Varint, NineBytesOfFfTakeAllBitsOfTheLast) {
    const bytes e(9, 0xFF);
    std::uint64_t v;
    std::uint32_t n;
    ASSERT_EQ(read_sqlite_varint(&v, &n, e.data(), e.size()), 1);
    EXPECT_EQ(v, ~std::uint64_t{0});
    EXPECT_EQ(n, 9u);
    // Never more than nine bytes, whatever follows.
    const bytes longer(20, 0xFF);
    ASSERT_EQ(read_sqlite_varint(&v, &n, longer.data(), longer.size()), 1);
    EXPECT_EQ(n, 9u);
}

TEST(Varint, TruncationSweepNeverReadsPastTheLimit) {
    const bytes e = encode_varint(0x123456789ABCDEFull);
    for (std::size_t cut = 1; cut < e.size(); ++cut) {
        // A heap copy of exactly `cut` bytes: the sanitizer catches any read past it.
        std::vector<std::uint8_t> part(e.begin(), e.begin() + static_cast<std::ptrdiff_t>(cut));
        std::uint64_t v = 7;
        std::uint32_t n = 7;
        EXPECT_EQ(read_sqlite_varint(&v, &n, part.data(), part.size()), 1);
        EXPECT_EQ(n, cut);
        v = 7;
        n = 7;
        EXPECT_FALSE(read_varint_complete(byte_view(part), 0, &v, &n)) << cut;
        EXPECT_EQ(v, 7u);  // outputs untouched on failure
        EXPECT_EQ(n, 7u);
    }
    std::uint64_t v = 1;
    std::uint32_t n = 1;
    EXPECT_EQ(read_sqlite_varint(&v, &n, nullptr, 4), 0);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(read_sqlite_varint(&v, &n, e.data(), 0), 0);
    EXPECT_FALSE(read_varint_complete(byte_view(e), e.size(), &v, &n));
}

TEST(CheckedReads, RefuseToPassTheEndAndKeepOutputs) {
    const bytes b = {0x01, 0x02, 0x03, 0x04, 0x05};
    const byte_view v(b);
    std::uint16_t s = 9;
    std::uint32_t w = 9;
    std::uint64_t q = 9;
    EXPECT_TRUE(read_be16(v, 3, &s));
    EXPECT_EQ(s, 0x0405);
    EXPECT_FALSE(read_be16(v, 4, &s));
    EXPECT_EQ(s, 0x0405);
    EXPECT_TRUE(read_be32(v, 1, &w));
    EXPECT_EQ(w, 0x02030405u);
    EXPECT_FALSE(read_be32(v, 2, &w));
    EXPECT_FALSE(read_be32(v, std::size_t(-2), &w));  // an offset that would wrap
    EXPECT_TRUE(read_be24(v, 2, &w));
    EXPECT_EQ(w, 0x030405u);
    EXPECT_FALSE(read_be64(v, 0, &q));
    EXPECT_TRUE(read_be_uint(v, 0, 0, &q));
    EXPECT_EQ(q, 0u);
    EXPECT_EQ(read_be32(b.data(), 4), 0x01020304);
    EXPECT_EQ(read_be32(b.data(), 3), -1);
    EXPECT_EQ(read_be32(nullptr, 4), -1);
    // Widths past 8 keep the low 64 bits (serial types 10 and 11 store that many bytes).
    const bytes ten = {0xAA, 0xBB, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_TRUE(read_be_uint(byte_view(ten), 0, 10, &q));
    EXPECT_EQ(q, 0x0102030405060708ull);
}

TEST(SerialTypes, ContentSizes) {
    const std::uint64_t expect[14] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0, 0, 0};
    for (std::uint64_t t = 0; t < 14; ++t) EXPECT_EQ(serial_type_size(t), expect[t]) << t;
    EXPECT_EQ(serial_type_size(14), 1u);
    EXPECT_EQ(serial_type_size(15), 1u);
    EXPECT_EQ(serial_type_size(23), 5u);
    EXPECT_EQ(serial_type_size(0x7FFFFFFF), (0x7FFFFFFFull - 13) / 2);
}

TEST(PageHeader, CellCountBoundsWithAndWithoutPageSize) {
    bytes h(12, 0);
    h[0] = 13;
    put16(h, 3, 512);
    EXPECT_EQ(is_btree_page_header(h.data(), h.size(), 0), 1);
    put16(h, 3, 513);
    EXPECT_EQ(is_btree_page_header(h.data(), h.size(), 0), 0);
    put16(h, 3, 1021);
    EXPECT_EQ(is_btree_page_header(h.data(), h.size(), 4096), 1);
    put16(h, 3, 1022);
    EXPECT_EQ(is_btree_page_header(h.data(), h.size(), 4096), 0);
    put16(h, 3, 1);
    put16(h, 5, 4097);
    EXPECT_EQ(is_btree_page_header(h.data(), h.size(), 4096), 0);
    put16(h, 5, 4000);
    put16(h, 1, 4097);
    EXPECT_EQ(is_btree_page_header(h.data(), h.size(), 4096), 0);
    for (int t = 0; t < 256; ++t) {
        h[0] = static_cast<std::uint8_t>(t);
        const bool known = t == 2 || t == 5 || t == 10 || t == 13;
        EXPECT_EQ(is_btree_page_type(h.data(), 1), known ? 1 : 0) << t;
    }
    h[0] = 13;
    EXPECT_EQ(is_btree_page_header(h.data(), 7, 0), 1);
    EXPECT_EQ(is_btree_page_header(h.data(), 6, 0), 0);  // the content-start field must be there
    EXPECT_EQ(is_btree_page_header(nullptr, 12, 0), 0);
}

// One decode of a page's header gives where it and its pointer array stand, on page 1 and elsewhere, what
// it counts, and whether a page of the size can be one.
TEST(PageHeader, DecodedOnceWhereverItStands) {
    const std::string magic = "SQLite format 3";
    struct header_case {
        const char* name;
        bytes page;
        std::uint32_t page_size;
        page_header_verdict verdict;
        std::size_t at;        // where btree_header_offset places the header
        std::size_t pointers;  // where its cell-pointer array starts
        std::uint32_t right_child;
    };
    bytes interior = make_page(1024, 5, {1000, 900});
    put32(interior, 8, 77);
    bytes page1 = make_page(1024, 5, {1000}, 100);
    std::copy(magic.begin(), magic.end(), page1.begin());
    put32(page1, 108, 9);
    bytes leaf_with_link = make_page(1024, 13, {1000});
    put32(leaf_with_link, 8, 55);  // a leaf's header ends before these bytes: they are no child
    bytes crowded = make_page(1024, 13, {});
    put16(crowded, 3, 254);
    const std::vector<header_case> cases = {
        {"table leaf", make_page(1024, 13, {1000, 900}), 1024, page_header_verdict::sound, 0, 8, 0},
        {"table interior", interior, 1024, page_header_verdict::sound, 0, 12, 77},
        {"page 1", page1, 1024, page_header_verdict::sound, 100, 112, 9},
        {"leaf bytes after the header", leaf_with_link, 1024, page_header_verdict::sound, 0, 8, 0},
        {"more pointers than the page holds", crowded, 1024, page_header_verdict::implausible, 0, 8, 0},
        {"unknown type with the leaf flag", make_page(1024, 8, {1000}), 1024, page_header_verdict::not_btree,
         0, 8, 0},
        {"unknown type without it", make_page(1024, 1, {1000}), 1024, page_header_verdict::not_btree, 0, 12,
         0},
        {"cut before the content start", bytes{13, 0, 0, 0, 1, 3}, 0, page_header_verdict::cut_short, 0, 8,
         0},
    };
    for (const header_case& c : cases) {
        const std::size_t at = btree_header_offset(c.page.data(), c.page.size());
        EXPECT_EQ(at, c.at) << c.name;
        btree_page_header head;
        EXPECT_EQ(read_btree_page_header(head, c.page.data(), c.page.size(), at, c.page_size), c.verdict)
            << c.name;
        EXPECT_EQ(head.cell_pointers(), c.pointers) << c.name;
        EXPECT_EQ(head.right_child, c.right_child) << c.name;
        if (c.verdict == page_header_verdict::cut_short) continue;
        EXPECT_EQ(head.type, c.page[at]) << c.name;
        EXPECT_EQ(head.cell_count, (c.page[at + 3] << 8) | c.page[at + 4]) << c.name;
        EXPECT_EQ(head.content_start, (c.page[at + 5] << 8) | c.page[at + 6]) << c.name;
    }
}

TEST(ParsePage, CellPointerAtPageSizeIsSkippedAndDuplicatesMapOnce) {
    bytes p = make_page(1024, 13, {1000, 1000, 1024, 900});
    put_leaf_cell(p, 1000, 3, 7, {1, 2, 3});
    put_leaf_cell(p, 900, 2, 8, {4, 5});
    cell_map cells;
    ASSERT_EQ(parse_btree_page(cells, p.data(), p.size(), 1024, 0, false), 1);
    ASSERT_EQ(cells.size(), 2u);
    const cell_metadata& hi = cells.at(1000);
    EXPECT_EQ(hi.cell_index, 0u);
    EXPECT_EQ(hi.extent, 24u);
    EXPECT_EQ(hi.payload_size, 3u);
    EXPECT_EQ(hi.rowid, 7u);
    EXPECT_EQ(hi.rowid_length, 1u);
    EXPECT_EQ(hi.leaf, 1);
    EXPECT_EQ(hi.table, 1);
    EXPECT_EQ(hi.overflow, 0);
    const cell_metadata& lo = cells.at(900);
    EXPECT_EQ(lo.cell_index, 3u);
    EXPECT_EQ(lo.extent, 100u);
    EXPECT_EQ(lo.rowid, 8u);
}

TEST(ParsePage, SkipRowidFlagLeavesTheSecondVarintUnread) {
    bytes p = make_page(512, 13, {500});
    put_leaf_cell(p, 500, 2, 300, {1, 2});
    cell_map cells;
    ASSERT_EQ(parse_btree_page(cells, p.data(), p.size(), 512, 0, true), 1);
    EXPECT_EQ(cells.at(500).rowid_length, 0u);
    EXPECT_EQ(cells.at(500).rowid, 0u);
    EXPECT_EQ(cells.at(500).rowid_not_read, 1);
}

TEST(ParsePage, FreeblockBetweenCellsEndsTheLowerExtent) {
    bytes p = make_page(1024, 13, {1000, 800});
    put16(p, 1, 850);  // first freeblock between the two cells
    put_leaf_cell(p, 1000, 1, 1, {9});
    put_leaf_cell(p, 800, 1, 2, {9});
    cell_map cells;
    ASSERT_EQ(parse_btree_page(cells, p.data(), p.size(), 1024, 0, false), 1);
    EXPECT_EQ(cells.at(1000).extent, 24u);
    EXPECT_EQ(cells.at(800).extent, 50u);
}

TEST(ParsePage, NegativePayloadSizeFailsTheWholePage) {
    bytes p = make_page(512, 13, {400, 300});
    const bytes neg = encode_varint(0x80000000u);
    std::copy(neg.begin(), neg.end(), p.begin() + 300);
    put_leaf_cell(p, 400, 1, 1, {1});
    cell_map cells;
    EXPECT_EQ(parse_btree_page(cells, p.data(), p.size(), 512, 0, false), 0);
    EXPECT_TRUE(cells.empty());
}

TEST(ParsePage, InteriorTableCellsCarryChildAndKey) {
    bytes p = make_page(512, 5, {500, 490});
    put32(p, 8, 77);  // right-most child
    put32(p, 500, 3);
    const bytes k = encode_varint(1000);
    std::copy(k.begin(), k.end(), p.begin() + 504);
    put32(p, 490, 2);
    p[494] = 5;
    cell_map cells;
    ASSERT_EQ(parse_btree_page(cells, p.data(), p.size(), 512, 0, false), 1);
    EXPECT_EQ(cells.at(500).left_child, 3u);
    EXPECT_EQ(cells.at(500).key, 1000u);
    EXPECT_EQ(cells.at(500).payload_size, 2u);  // the rowid varint's length
    EXPECT_EQ(cells.at(500).payload_size_length, 2u);
    EXPECT_EQ(cells.at(500).table, 1);
    EXPECT_EQ(cells.at(500).leaf, 0);
    EXPECT_EQ(cells.at(490).key, 5u);
    // No cells: only a non-zero right-most child makes a table-interior page a success.
    bytes empty = make_page(512, 5, {});
    EXPECT_EQ(parse_btree_page(cells, empty.data(), empty.size(), 512, 0, false), 0);
    put32(empty, 8, 4);
    EXPECT_EQ(parse_btree_page(cells, empty.data(), empty.size(), 512, 0, false), 1);
}

TEST(ParsePage, ChildPointerPastTheEndLeavesTheCellEmpty) {
    // Types 2 and 5 with a cell whose 4-byte child pointer runs off the buffer.
    for (std::uint8_t type : {std::uint8_t{2}, std::uint8_t{5}}) {
        bytes p = make_page(64, type, {62});
        p.resize(64);
        cell_map cells;
        ASSERT_EQ(parse_btree_page(cells, p.data(), p.size(), 1024, 0, false), 1) << int(type);
        const cell_metadata& c = cells.at(62);
        EXPECT_EQ(c.left_child, 0u);
        EXPECT_EQ(c.payload_size_length, 0u);
        EXPECT_EQ(c.key, 0u);
    }
}

TEST(ParsePage, CellCountBeyondTheBufferStopsAtItsEnd) {
    // A header claiming 60000 cells in a 40-byte buffer: only the pointers inside are read.
    bytes p(40, 0);
    p[0] = 13;
    put16(p, 3, 60000);
    for (std::size_t off = 8; off + 1 < p.size(); off += 2) put16(p, off, 30);
    cell_map cells;
    EXPECT_EQ(parse_btree_page(cells, p.data(), p.size(), 4096, 0, false), 1);
    EXPECT_EQ(cells.size(), 1u);
}

TEST(ParsePage, CellPointerPastTheBufferGetsAnExtentOnly) {
    // A page size larger than the buffer: the bound for decoding is the smaller of the two.
    bytes p = make_page(100, 13, {3000, 90});
    put_leaf_cell(p, 90, 2, 5, {1, 2});
    cell_map cells;
    ASSERT_EQ(parse_btree_page(cells, p.data(), p.size(), 4096, 0, false), 1);
    EXPECT_EQ(cells.at(3000).extent, 1096u);
    EXPECT_EQ(cells.at(3000).payload_size_length, 0u);
    EXPECT_EQ(cells.at(90).extent, 2910u);
    EXPECT_EQ(cells.at(90).rowid, 5u);
}

TEST(ParsePage, VarintRunningOffTheBufferLeavesTheCellAtZero) {
    bytes p = make_page(64, 13, {60});
    p[60] = 0x81;
    p[61] = 0x82;
    p[62] = 0x83;
    p[63] = 0x84;  // every byte continues: the varint never ends inside the buffer
    cell_map cells;
    ASSERT_EQ(parse_btree_page(cells, p.data(), p.size(), 64, 0, false), 1);
    EXPECT_EQ(cells.at(60).payload_size, 0u);
    EXPECT_EQ(cells.at(60).payload_size_length, 0u);
}

TEST(ParsePage, ShortOrEmptyBuffersFail) {
    cell_map cells;
    bytes p = make_page(512, 13, {500});
    EXPECT_EQ(parse_btree_page(cells, nullptr, 512, 512, 0, false), 0);
    EXPECT_EQ(parse_btree_page(cells, p.data(), 11, 512, 0, false), 0);
    bytes magic(105, 0);
    std::memcpy(magic.data(), "SQLite format 3", 16);
    EXPECT_EQ(parse_btree_page(cells, magic.data(), magic.size(), 512, 0, false), 0);
}

TEST(Overflow, TakenFromTheExtentThenFromThePayloadSplit) {
    // A 4096-byte leaf page with one cell of 5000 payload bytes: K = 489 + (5000 - 489) mod 4092 = 908.
    bytes p = make_page(4096, 13, {3000});
    put_leaf_cell(p, 3000, 5000, 1);
    // Cell: payload-size varint (2 bytes) + rowid (1) + local 908 + pointer (4).
    put32(p, 3000 + 3 + 908, 42);
    put32(p, 4096 - 4, 99);  // what the last four bytes of the extent say
    cell_map cells;
    ASSERT_EQ(parse_btree_page(cells, p.data(), p.size(), 4096, 0, false), 1);
    const cell_metadata& c = cells.at(3000);
    EXPECT_EQ(c.overflow, 1);
    EXPECT_EQ(c.local_payload_size, 908u);
    EXPECT_EQ(c.first_overflow_page, 42u);
    // When the split does not fit the bytes given, the pointer from the extent's last four bytes stands.
    cell_map rough;
    bytes short_page(p.begin(), p.begin() + 3920);
    put32(short_page, 3916, 99);
    ASSERT_EQ(parse_btree_page(rough, short_page.data(), short_page.size(), 3920, 0, false), 1);
    EXPECT_EQ(rough.at(3000).overflow, 1);
    EXPECT_EQ(rough.at(3000).first_overflow_page, 99u);
    EXPECT_EQ(rough.at(3000).local_payload_size, 0u);  // the split for a 3920-byte page does not fit here
    // With page size 0 nothing is mapped at all (every pointer is at or past it).
    EXPECT_EQ(parse_btree_page(cells, p.data(), p.size(), 0, 0, false), 0);
}

TEST(Overflow, LocalPayloadSplitOfTheFormat) {
    bytes cell(4200, 0);
    put32(cell, 3 + 489, 0x01020304);
    cell_metadata c;
    c.leaf = c.table = 1;
    c.payload_size_length = 2;
    c.rowid_length = 1;
    std::uint32_t local, over, page;
    c.payload_size = 4061;
    ASSERT_EQ(compute_local_payload(&local, &over, &page, cell.data(), cell.size(), c, 4096, 0, true), 1);
    EXPECT_EQ(local, 4061u);
    EXPECT_EQ(over, 0u);
    EXPECT_EQ(c.overflow, 0);
    c.payload_size = 4062;
    ASSERT_EQ(compute_local_payload(&local, &over, &page, cell.data(), cell.size(), c, 4096, 0, true), 1);
    EXPECT_EQ(local, 489u);
    EXPECT_EQ(over, 4062u - 489u);
    EXPECT_EQ(page, 0x01020304u);
    EXPECT_EQ(c.overflow, 1);
    EXPECT_EQ(c.local_payload_size, 489u);
    // Index cells use the smaller maximum: (4096 - 12) * 64 / 255 - 23 = 1002.
    c.table = 0;
    c.payload_size = 1002;
    ASSERT_EQ(compute_local_payload(&local, &over, &page, cell.data(), cell.size(), c, 4096, 0, false), 1);
    EXPECT_EQ(local, 1002u);
}

TEST(Overflow, SmallUsableSizeOrForgedSizeFails) {
    bytes cell(64, 0);
    cell_metadata c;
    c.leaf = c.table = 1;
    c.payload_size = 100000;
    std::uint32_t local = 5, over = 5, page = 5;
    for (std::uint32_t ps : {0u, 4u, 35u}) {
        EXPECT_EQ(compute_local_payload(&local, &over, &page, cell.data(), cell.size(), c, ps, 0, false), 0)
            << ps;
    }
    EXPECT_EQ(compute_local_payload(&local, &over, &page, cell.data(), cell.size(), c, 512, 255, false), 0);
    EXPECT_EQ(compute_local_payload(&local, &over, &page, cell.data(), cell.size(), c, 40, 10, false), 0);
    // A payload size forged so that the local part lies past the bytes given.
    c.payload_size = 0x7FFFFFFF;
    EXPECT_EQ(compute_local_payload(&local, &over, &page, cell.data(), cell.size(), c, 65536, 0, true), 0);
    EXPECT_EQ(c.overflow, 0);
    // Local part inside, pointer after it outside.
    c.payload_size = 5000;
    c.payload_size_length = 2;
    c.rowid_length = 1;
    bytes short_cell(489 + 3 + 2, 0);
    EXPECT_EQ(
        compute_local_payload(&local, &over, &page, short_cell.data(), short_cell.size(), c, 4096, 0, false),
        0);
    EXPECT_EQ(local, 0u);
}

bytes make_page1(std::size_t length) {
    bytes p(std::max<std::size_t>(length, 112), 0);
    std::memcpy(p.data(), "SQLite format 3", 16);
    put16(p, 16, 1024);
    p[20] = 0;
    put32(p, 56, 1);
    p[100] = 13;
    put16(p, 103, 1);
    put16(p, 108, 110);
    p.resize(length);
    return p;
}

TEST(BindPage, Page1NeedsAHundredAndTwelveBytes) {
    sqlite_page page;
    bytes p = make_page1(111);
    EXPECT_EQ(bind_sqlite_page(page, p.data(), p.size(), 0, 0), 0);
    EXPECT_EQ(page.parse_result, 0);
    p = make_page1(112);
    p[110] = 0;  // a NULL-only record: payload size 0, rowid 0
    EXPECT_EQ(bind_sqlite_page(page, p.data(), p.size(), 0, 0), 1);
    EXPECT_EQ(page.page_size, 1024u);
    EXPECT_EQ(page.encoding, text_encoding::utf8);
    EXPECT_EQ(page.header[0], 13);
    EXPECT_EQ(page.parse_result, 1);
    ASSERT_EQ(page.cells.size(), 1u);
    // The cell pointer at 108 of page 1 counts from the start of the buffer, header included.
    EXPECT_EQ(page.cells.begin()->first, 110u);
}

TEST(BindPage, PageSizeFieldOfOneMeans65536) {
    bytes p = make_page1(4096);
    put16(p, 16, 1);
    sqlite_page page;
    ASSERT_EQ(bind_sqlite_page(page, p.data(), p.size(), 0, 0), 1);
    EXPECT_EQ(page.page_size, 65536u);
    // A size the format cannot have is not taken as one: the caller's stands, or none.
    put16(p, 16, 1000);
    (void)bind_sqlite_page(page, p.data(), p.size(), 4096, 0);
    EXPECT_EQ(page.page_size, 4096u);
    (void)bind_sqlite_page(page, p.data(), p.size(), 0, 0);
    EXPECT_EQ(page.page_size, 0u);
}

TEST(BindPage, UsesTheHeaderFieldsOfPage1AndTheGivenSizeElsewhere) {
    bytes p = make_page1(1024);
    put32(p, 56, 2);
    p[20] = 8;
    put16(p, 108, 1000);
    put_leaf_cell(p, 1000, 1, 3, {7});
    sqlite_page page;
    ASSERT_EQ(bind_sqlite_page(page, p.data(), p.size(), 4096, 0), 1);
    EXPECT_EQ(page.page_size, 1024u);  // page 1 says so
    EXPECT_EQ(page.reserved, 8);
    EXPECT_EQ(page.encoding, text_encoding::utf16le);
    bytes q = make_page(2048, 13, {2000});
    put_leaf_cell(q, 2000, 1, 4, {7});
    sqlite_page other;
    ASSERT_EQ(bind_sqlite_page(other, q.data(), q.size(), 2048, 0), 1);
    EXPECT_EQ(other.page_size, 2048u);
    EXPECT_EQ(other.cells.at(2000).rowid, 4u);
    sqlite_page kept;
    kept.page_size = 2048;
    ASSERT_EQ(bind_sqlite_page(kept, q.data(), q.size(), 0, 0), 1);
    EXPECT_EQ(kept.page_size, 2048u);
    q[0] = 3;  // not a b-tree page
    EXPECT_EQ(bind_sqlite_page(other, q.data(), q.size(), 2048, 0), 0);
    EXPECT_TRUE(other.cells.empty());
}

// One usable-size rule: page 1 binds with the reserved bytes the decoded header takes, 0 where the field
// leaves fewer than 480 usable bytes.
TEST(BindPage, Page1TakesTheReservedBytesOfTheDecodedHeader) {
    const struct {
        std::uint32_t page_size;
        std::uint8_t field, reserved;
    } cases[] = {{1024, 8, 8}, {512, 32, 32}, {512, 33, 0}, {1024, 255, 255}};
    for (const auto& c : cases) {
        bytes p = make_page1(c.page_size);
        put16(p, 16, static_cast<std::uint16_t>(c.page_size));
        p[20] = c.field;
        sqlite_page page;
        (void)bind_sqlite_page(page, p.data(), p.size(), 0, 0);
        EXPECT_EQ(page.reserved, c.reserved) << c.page_size << " " << int(c.field);
        EXPECT_EQ(decode_database_header(p.data(), p.size()).reserved, c.reserved);
    }
}

TEST(Float, BigEndianIeeeValues) {
    double d = 5;
    EXPECT_EQ(decode_ieee_float_be(&d, {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}), 1);
    EXPECT_EQ(d, 1.0);
    EXPECT_EQ(decode_ieee_float_be(&d, bytes(8, 0)), 1);
    EXPECT_EQ(d, 0.0);
    EXPECT_EQ(decode_ieee_float_be(&d, {0xC0, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18}), 1);
    EXPECT_DOUBLE_EQ(d, -3.141592653589793);
    EXPECT_EQ(decode_ieee_float_be(&d, {0x40, 0x49, 0x0F, 0xDB}), 1);
    EXPECT_FLOAT_EQ(static_cast<float>(d), 3.14159274f);
    EXPECT_EQ(decode_ieee_float_be(&d, {0x7F, 0xF0, 0, 0, 0, 0, 0, 0}), 1);
    EXPECT_TRUE(std::isinf(d));
    EXPECT_EQ(decode_ieee_float_be(&d, {0, 0, 0, 0, 0, 0, 0, 1}), 1);
    EXPECT_EQ(d, 4.9406564584124654e-324);
    EXPECT_EQ(decode_ieee_float_be(&d, {1, 2, 3, 4, 5}), 0);
    EXPECT_EQ(d, 0.0);
}

TEST(Bits, CountsOnlyTheLowSixtyBits) {
    EXPECT_EQ(count_bits60(0), 0);
    EXPECT_EQ(count_bits60(0xF000000000000000ull), 0);
    EXPECT_EQ(count_bits60(0x0FFFFFFFFFFFFFFFull), 60);
    EXPECT_EQ(count_bits60(0x8000000000000005ull), 2);
}

TEST(OtherVarints, LittleEndianFormsAndTheWriter) {
    bytes out;
    EXPECT_EQ(write_sqlite_varint(out, 0x3FFF), 1);
    EXPECT_EQ(out, (bytes{0xFF, 0xFF}));
    EXPECT_EQ(write_sqlite_varint(out, 0), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(write_sqlite_varint(out, ~std::uint64_t{0}), 1);
    EXPECT_EQ(out.size(), 9u);
    std::uint64_t v;
    const bytes le = {0x96, 0x01};
    EXPECT_EQ(read_le_varint64(&v, le.data(), le.size()), 2);
    EXPECT_EQ(v, 150u);
    EXPECT_EQ(read_le_varint64(&v, le.data(), 1), 0);
    EXPECT_EQ(v, 0u);
    const bytes eleven(11, 0xFF);
    EXPECT_EQ(read_le_varint64(&v, eleven.data(), eleven.size()), 11);
    std::uint32_t w;
    EXPECT_EQ(read_le_varint32(&w, le.data(), le.size()), 2);
    EXPECT_EQ(w, 150u);
    const bytes endless(40, 0x80);
    EXPECT_EQ(read_le_varint32(&w, endless.data(), endless.size()), 0);
    EXPECT_EQ(w, 0u);
}

TEST(Journal, HeaderValidityAndChecksum) {
    bytes h(516, 0);
    h[0] = 0xD9;
    h[1] = 0xD5;
    put32(h, 12, 0x1234);
    put32(h, 24, 1024);
    EXPECT_TRUE(rollback_journal_header::valid(h.data(), 512));
    EXPECT_FALSE(rollback_journal_header::valid(h.data(), 511));
    put32(h, 24, 0);  // the database's page size: the journal reader judges it
    EXPECT_TRUE(rollback_journal_header::valid(h.data(), 516));
    put32(h, 24, 1024);
    put32(h, 12, 0);
    EXPECT_FALSE(rollback_journal_header::valid(h.data(), 516));
    put32(h, 16, 3);
    EXPECT_TRUE(rollback_journal_header::valid(h.data(), 516));
    h[0] = h[1] = 0;  // a zeroed header: judged by the first page number
    put32(h, 512, 0);
    EXPECT_FALSE(rollback_journal_header::valid(h.data(), 516));
    put32(h, 512, 0x1FFFFF);
    EXPECT_TRUE(rollback_journal_header::valid(h.data(), 516));
    EXPECT_FALSE(rollback_journal_header::valid(h.data(), 515));
    put32(h, 512, 0x200000);
    EXPECT_FALSE(rollback_journal_header::valid(h.data(), 516));
    h[3] = 1;
    put32(h, 512, 1);
    EXPECT_FALSE(rollback_journal_header::valid(h.data(), 516));

    bytes page(1024, 1);
    put32(h, 12, 100);
    // Offsets 1024 mod 200 = 24, 224, 424, 624, 824: five bytes of 1.
    EXPECT_EQ(journal_page_checksum(h.data(), h.size(), page.data(), page.size()), 105);
    EXPECT_EQ(journal_page_checksum(h.data(), h.size(), page.data(), 1000), -1);
    EXPECT_EQ(journal_page_checksum(h.data(), 20, page.data(), page.size()), -1);
}

TEST(Freeblocks, ChainStopsAtACycleAndAtSmallBlocks) {
    bytes p(1024, 0);
    put16(p, 100, 200);
    put16(p, 102, 10);
    put16(p, 200, 100);  // back to the first: a cycle
    put16(p, 202, 20);
    std::vector<std::uint16_t> offs, sizes;
    ASSERT_EQ(list_freeblocks(offs, sizes, p.data(), p.size(), 1024, 100), 1);
    EXPECT_EQ(offs, (std::vector<std::uint16_t>{100, 200}));
    EXPECT_EQ(sizes, (std::vector<std::uint16_t>{10, 20}));
    put16(p, 202, 3);
    ASSERT_EQ(list_freeblocks(offs, sizes, p.data(), p.size(), 1024, 100), 1);
    EXPECT_EQ(offs.size(), 1u);
    EXPECT_EQ(list_freeblocks(offs, sizes, p.data(), p.size(), 1024, 1023), 0);  // size field past the end
    EXPECT_EQ(list_freeblocks(offs, sizes, p.data(), p.size(), 256, 100), 0);
    EXPECT_EQ(list_freeblocks(offs, sizes, p.data(), p.size(), 1024, 0), 0);
}

TEST(Helpers, PageSizeFromHeaderAndSearches) {
    bytes p = make_page1(1024);
    std::uint32_t ps;
    EXPECT_EQ(read_page_size_from_header(&ps, p.data(), p.size()), 1);
    EXPECT_EQ(ps, 1024u);
    EXPECT_EQ(read_page_size_from_header(&ps, p.data(), 99), 0);
    EXPECT_EQ(ps, 0u);

    bytes run(5000, 0xEE);
    std::memcpy(run.data() + 700, "SQLite format 3", 15);
    put16(run, 716, 8192);
    std::uint64_t off;
    ASSERT_EQ(find_page_header(&ps, &off, run.data(), run.size()), 1);
    EXPECT_EQ(off, 700u);
    EXPECT_EQ(ps, 8192u);
    bytes lone(2000, 0xEE);
    lone[300] = 13;
    put16(lone, 301, 0);
    put16(lone, 303, 2);
    put16(lone, 305, 1500);
    ASSERT_EQ(find_page_header(&ps, &off, lone.data(), lone.size()), 1);
    EXPECT_EQ(off, 300u);
    EXPECT_EQ(ps, 2048u);
    EXPECT_EQ(find_page_header(&ps, &off, lone.data(), 512), 0);

    EXPECT_EQ(match_text_at("abc", reinterpret_cast<const std::uint8_t*>("xxabc"), 5, 2), 1);
    EXPECT_EQ(match_text_at("abc", reinterpret_cast<const std::uint8_t*>("xxabc"), 5, 3), 0);
    EXPECT_EQ(match_text_at("abc", reinterpret_cast<const std::uint8_t*>("xxabc"), 5, std::size_t(-1)), 0);
}

TEST(Helpers, BitsTextFillsTheFirstByteWithTheOddBits) {
    bytes out;
    EXPECT_EQ(bits_text_to_bytes(out, "1011"), 1);
    EXPECT_EQ(out, (bytes{0x0B}));
    EXPECT_EQ(bits_text_to_bytes(out, "110000000001"), 1);
    EXPECT_EQ(out, (bytes{0x0C, 0x01}));
    EXPECT_EQ(bits_text_to_bytes(out, "11111111"), 1);
    EXPECT_EQ(out, (bytes{0xFF}));
    EXPECT_EQ(bits_text_to_bytes(out, ""), 1);
    EXPECT_TRUE(out.empty());
}

TEST(Helpers, PageHeadingAndGuessedPageSize) {
    bytes q = make_page(2048, 13, {2040});
    put_leaf_cell(q, 2040, 3, 1, {1, 2, 3});
    std::ostringstream os;
    ASSERT_EQ(write_page_heading(os, q.data(), q.size(), 2048, 2048 * 41), 1);
    EXPECT_EQ(os.str(),
              "Page Header: 0x002a\n-------------------------\n\nCell data\n-------------------------\n\n");
    std::ostringstream none;
    EXPECT_EQ(write_page_heading(none, q.data(), 11, 2048, 0), 0);
    EXPECT_TRUE(none.str().empty());

    // A cell of 5 bytes (2 varints + 3 payload) ending 1 byte before the page end fits at 2048.
    bytes g = make_page(2048, 13, {2042});
    put_leaf_cell(g, 2042, 3, 1, {1, 2, 3});
    std::uint32_t ps = 0;
    EXPECT_EQ(guess_page_size(&ps, g.data(), g.size()), 1);
    EXPECT_EQ(ps, 512u);  // 512 cannot map the cell and ends the search at once
}

TEST(Hostile, RandomPagesNeverReadOutOfBounds) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t len = 8 + rng() % 700;
        std::vector<std::uint8_t> buf(len);
        for (auto& b : buf) b = static_cast<std::uint8_t>(rng());
        static const std::uint8_t types[] = {2, 5, 10, 13};
        buf[0] = types[rng() % 4];
        if (len > 4) buf[3] = 0, buf[4] = static_cast<std::uint8_t>(rng() % 40);
        const std::uint32_t page_size = (rng() % 2) ? 512u << (rng() % 4) : static_cast<std::uint32_t>(len);
        cell_map cells;
        (void)parse_btree_page(cells, buf.data(), buf.size(), page_size,
                               static_cast<std::uint8_t>(rng() % 40), rng() % 2);
        sqlite_page page;
        (void)bind_sqlite_page(page, buf.data(), buf.size(), page_size, 0);
        for (auto& entry : cells) {
            const cell_metadata& c = entry.second;
            EXPECT_LT(c.cell_offset, page_size);
            EXPECT_LE(static_cast<std::uint64_t>(c.cell_offset) + c.extent, page_size);
            if (c.local_payload_size != 0) {
                EXPECT_LE(c.local_payload_size, len - c.cell_offset);
            }
        }
        std::vector<std::uint16_t> offs, sizes;
        (void)list_freeblocks(offs, sizes, buf.data(), buf.size(), 512,
                              static_cast<std::uint16_t>(rng() % 600));
        std::uint32_t ps;
        (void)guess_page_size(&ps, buf.data(), buf.size());
    }
}

// ---- Real pages made by the SQLite library.

std::string temp_dir() {
    std::string dir = std::string(SELK_TEST_TMP) + "/format_test_" + std::to_string(getpid());
    mkdir(dir.c_str(), 0700);
    return dir;
}

void exec(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
}

// True when the library opens the database at `path` read-only and reads its schema.
bool library_reads(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    const bool read =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return read;
}

// Each header field the library refuses a database for is named with its value and what the library takes,
// and nothing where the library reads the file: each edit of a real header (pages of 512 bytes with 32 of
// them reserved, the least usable size the library takes) is tried on the library itself.
TEST(RealDatabase, TheHeaderRefusalsAreTheLibrarys) {
    const std::string path = temp_dir() + "/header.db";
    std::remove(path.c_str());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    exec(db, "PRAGMA page_size=512; PRAGMA journal_mode=DELETE;");
    int reserve = 32;
    ASSERT_EQ(sqlite3_file_control(db, "main", SQLITE_FCNTL_RESERVE_BYTES, &reserve), SQLITE_OK);
    exec(db, "CREATE TABLE t(a INTEGER PRIMARY KEY, b TEXT); INSERT INTO t VALUES(1, 'one');");
    sqlite3_close(db);
    std::ifstream in(path, std::ios::binary);
    const bytes sound((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(sound.at(20), 32);
    const struct {
        std::size_t at;
        bytes with;
        std::string said;
    } cases[] = {
        {0, {}, ""},
        {15,
         {'A'},
         "the magic in its header is \"SQLite format 3A\" where the library takes only "
         "\"SQLite format 3\\x00\""},
        {18, {3}, ""},
        {19,
         {3},
         "the read version in its header (byte 19) is 3 where the library reads only versions up to 2"},
        {19, {0}, ""},
        {21,
         {65},
         "the payload fractions in its header (bytes 21 to 23) are 65, 32 and 32 where the library "
         "takes only 64, 32 and 32"},
        {22,
         {31},
         "the payload fractions in its header (bytes 21 to 23) are 64, 31 and 32 where the library "
         "takes only 64, 32 and 32"},
        {23,
         {33},
         "the payload fractions in its header (bytes 21 to 23) are 64, 32 and 33 where the library "
         "takes only 64, 32 and 32"},
        {16, {0x0b, 0xb8}, "the page size in its header (3000) is not a valid page size"},
        {20,
         {33},
         "the usable size of its pages is 479 (512 bytes less the 33 reserved at the end of each, byte "
         "20 of its header) where the library takes only 480 or more"},
        {44,
         {0, 0, 0, 5},
         "the schema format number in its header (bytes 44 to 47) is 5 where the library "
         "takes only 1 to 4 (and 0, as 1)"},
        {44, {0, 0, 0, 0}, ""},
    };
    for (const auto& c : cases) {
        bytes edited = sound;
        std::copy(c.with.begin(), c.with.end(), edited.begin() + static_cast<std::ptrdiff_t>(c.at));
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(edited.data()), static_cast<std::streamsize>(edited.size()));
        ASSERT_EQ(library_reads(path), c.said.empty()) << "byte " << c.at << ": " << c.said;
        EXPECT_EQ(library_header_refusal(edited.data(), edited.size()), c.said) << "byte " << c.at;
    }
    EXPECT_EQ(library_header_refusal(sound.data(), kDbHeaderSize - 1), "");
}

TEST(RealDatabase, EveryTableLeafCellMapsToARowidTheLibraryReturns) {
    const std::string path = temp_dir() + "/cells.db";
    std::remove(path.c_str());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    exec(db, "PRAGMA secure_delete=OFF; PRAGMA page_size=1024; PRAGMA journal_mode=DELETE;");
    exec(db, "CREATE TABLE t(a INTEGER PRIMARY KEY, b TEXT, c BLOB);");
    exec(db, "BEGIN;");
    for (int i = 1; i <= 300; ++i) {
        const std::string big =
            (i % 50 == 0) ? std::string(3000, 'x') : std::string(static_cast<std::size_t>(i % 30), 'y');
        exec(db, "INSERT INTO t VALUES(" + std::to_string(i * 3) + ", '" + big + "', x'0102');");
    }
    exec(db, "COMMIT;");
    sqlite3_close(db);

    std::ifstream in(path, std::ios::binary);
    const bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(file.size(), 4096u);
    std::set<std::uint64_t> rowids;
    std::size_t overflowing = 0;
    for (std::size_t off = 0; off + 1024 <= file.size(); off += 1024) {
        sqlite_page page;
        if (!bind_sqlite_page(page, file.data() + off, 1024, 1024, 0)) continue;
        if (page.header[0] != 13) continue;
        for (const auto& entry : page.cells) {
            const cell_metadata& c = entry.second;
            if (off == 0) {
                continue;  // the schema table
            }
            rowids.insert(c.rowid);
            if (c.overflow != 0) {
                ++overflowing;
                EXPECT_GT(c.first_overflow_page, 1u);
                EXPECT_LE(c.first_overflow_page, file.size() / 1024);
                EXPECT_LT(c.local_payload_size, c.payload_size);
            }
        }
    }
    EXPECT_EQ(overflowing, 6u);
    ASSERT_EQ(rowids.size(), 300u);
    EXPECT_EQ(*rowids.begin(), 3u);
    EXPECT_EQ(*rowids.rbegin(), 900u);
}

}  // namespace
