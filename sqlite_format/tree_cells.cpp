#include "sqlite_format/tree_cells.h"

#include <algorithm>
#include <map>
#include <utility>

#include "sqlite_format/btree.h"
#include "sqlite_format/layout.h"

std::string content_fault(const std::uint8_t* page, const btree_page_header& head, std::uint32_t page_size,
                          std::uint32_t usable, content_scratch& scratch) {
    const std::uint32_t start = head.content_start == 0 ? 65536u : head.content_start;
    const auto misplaced = [](std::uint32_t f) {
        return "its free block at offset " + std::to_string(f) +
               " lies outside its content area or out of order";
    };
    std::vector<std::uint32_t>& extents = scratch.extents;
    if (head.first_freeblock != 0) {
        (void)list_freeblocks(scratch.offsets, scratch.sizes, page, usable, page_size, head.first_freeblock);
        // The walker lists a block only where its header lies inside the usable bytes and counts 4 bytes or
        // more, and stops at a link out of the page or back to a block listed: the first block it could not
        // list is the one that is damaged.
        std::uint32_t next = head.first_freeblock;
        const byte_view b(page, usable);
        for (std::size_t i = 0; i < scratch.offsets.size(); ++i) {
            const std::uint32_t f = scratch.offsets[i], size = scratch.sizes[i];
            std::uint16_t link = 0;
            (void)read_be16(b, f, &link);
            if (f < start || f + size > usable || (link != 0 && link <= f + size)) return misplaced(f);
            extents.push_back((f << 16) | (f + size - 1));
            next = link;
        }
        if (next != 0) return misplaced(next);
    }
    std::sort(extents.begin(), extents.end());
    std::uint32_t previous = start - 1;
    std::uint32_t fragments = 0;
    for (const std::uint32_t x : extents) {
        if ((x >> 16) <= previous)
            return "byte " + std::to_string(x >> 16) +
                   " of its content is used twice (by its cells or free blocks)";
        fragments += (x >> 16) - previous - 1;
        previous = x & 0xffffu;
    }
    fragments += usable - previous - 1;
    const std::uint8_t counted = page[head.at + kFragmentedOffset];
    if (fragments != counted)
        return std::to_string(fragments) +
               " bytes of its content belong to no cell or free block, where its header counts " +
               std::to_string(counted) + " (cells hidden or cut short)";
    return std::string();
}

std::size_t library_cell_limit(std::uint32_t page_size) { return (page_size - 8) / 6; }

std::string array_past_page(std::size_t at, std::size_t header, std::size_t cells, std::uint32_t page_size) {
    if (at + header + 2 * cells <= page_size) return std::string();
    return "its cell count " + std::to_string(cells) +
           " is more than the page can hold: its pointer array would run past the end of the page";
}

std::string pointer_past_page(std::uint16_t ptr, std::uint32_t page_size) {
    return "its pointer " + std::to_string(ptr) + " lies past the end of the page (" +
           std::to_string(page_size) + " bytes)";
}

namespace {

// Where one cell of a table leaf lies, as the library reads its payload length and rowid.
struct leaf_cell {
    std::uint16_t ptr = 0;  // its page offset
    std::uint64_t payload = 0;
    std::uint64_t rowid_bits = 0;
    std::uint64_t local = 0;  // the payload bytes on the page
    std::uint64_t end = 0;    // the page offset past it, its first overflow page number included
    bool overflows = false;
};

// One table leaf as its cells are read in turn: the page, and what the cells before tell the next.
struct leaf_scan {
    leaf_scan(const std::uint8_t* bytes, const btree_page_header& head, std::uint32_t size, std::uint32_t u,
              std::uint64_t offset)
        : page(bytes),
          b(bytes, size),
          page_size(size),
          usable(u),
          cells(head.cell_count),
          array(head.cell_pointers()),
          fit(cell_pointers_held(cells, array, head.content_start, size, &count_why)),
          library_reads(cells <= library_cell_limit(size)),
          page_offset(offset) {}

    const std::uint8_t* page;
    const byte_view b;
    const std::uint32_t page_size;
    const std::uint32_t usable;
    const std::uint16_t cells;
    const std::size_t array;  // the page offset of its pointer array
    // The pointers past `fit` are cell bytes to the readers, which tell them as one span (why: count_why);
    // the library reads them all the same.
    std::string count_why;
    const std::size_t fit;
    const bool library_reads;
    const std::uint64_t page_offset;
    bool readers_tell = false;     // a cell the readers skip: its page's content is theirs to tell
    bool readers_only = false;     // a cell left to the readers: the cells after it are only looked at for
                                   // bytes past the page, as their rowids and chains need not be sound
    bool past_beyond_fit = false;  // a cell past `fit` the library would read past the page
    bool have_previous = false;
    std::int64_t previous = 0;                      // the rowid of the last sound cell
    std::map<std::uint16_t, std::size_t> first_of;  // pointer -> the first cell that holds it
};

// Reads the payload length and rowid of `cell` (its pointer read) and where it ends, and says in `why`
// (empty on entry) why the library would read it from past the page: its pointer past the page, its payload
// length and rowid or its payload running past it; leaves it empty when it would not. `always` is set where
// the cell is told whatever the cell count (the readers read the page up to it).
void read_leaf_cell(leaf_cell& cell, const leaf_scan& s, std::string& why, bool* always) {
    const std::uint16_t ptr = cell.ptr;
    const std::uint32_t u = s.usable;
    std::uint32_t n1 = 0, n2 = 0;
    if (ptr >= s.page_size) {
        why = pointer_past_page(ptr, s.page_size);
    } else if (ptr >= u || !read_sqlite_varint(&cell.payload, &n1, s.page + ptr, u - ptr) || ptr + n1 >= u ||
               !read_sqlite_varint(&cell.rowid_bits, &n2, s.page + ptr + n1, u - ptr - n1)) {
        // Its payload length and rowid are read from past the page.
        why = "its rowid at page offset " + std::to_string(ptr) + " does not decode";
    }
    // The check runs on usable sizes of 480 and up, where the split is always defined.
    cell.local = cell.payload;
    (void)local_payload_bytes(cell.payload, u, true, &cell.local);
    cell.overflows = cell.local < cell.payload;
    cell.end = std::uint64_t{ptr} + n1 + n2 + cell.local + (cell.overflows ? kOverflowPointerSize : 0);
    if (why.empty() && cell.end > u) {
        // Its payload length runs it past its page: the library reads on there (an all-empty row).
        why = "its payload of " + std::to_string(cell.payload) + " bytes at page offset " +
              std::to_string(ptr) + " runs past the end of the page";
        *always = true;
    }
}

// Says in `why` (empty on entry) why the row of `cell`, which the library reads inside its page, is
// refused: it runs past the end of the file (of which the page holds `present` bytes), its rowid lies outside
// the keys `item` gives or does not follow the one before, or its overflow chain of `chain` pages is longer
// than the file's `count` pages. Leaves it empty when it is not (the common case, which builds no text).
void leaf_row_fault(std::string& why, const leaf_cell& cell, std::uint64_t chain, const leaf_scan& s,
                    std::size_t present, const pending_page& item, std::uint64_t count) {
    const std::int64_t rowid = static_cast<std::int64_t>(cell.rowid_bits);
    if (cell.end > present)
        why = "it runs past the end of the file, which holds " + std::to_string(s.page_offset + present) +
              " bytes";
    else if (!item.keys.holds(rowid))
        why = "its rowid " + std::to_string(rowid) + " is out of order: page " + std::to_string(item.parent) +
              " gives this page the rowids " + item.keys.text();
    else if (s.have_previous && rowid <= s.previous)
        why = "its rowid " + std::to_string(rowid) + " does not follow rowid " + std::to_string(s.previous) +
              " of the cell before it";
    else if (chain > count)
        why = "its payload of " + std::to_string(cell.payload) + " bytes needs " + std::to_string(chain) +
              " overflow pages, more than the file's " + std::to_string(count) + " pages";
}

// Checks cell `i` of the leaf `s` reads, for check_leaf_cells: an event into `out` for a cell the verdict
// must hear of, its byte range into out.scratch where the library reads it inside the page.
void check_leaf_cell(leaf_result& out, leaf_scan& s, std::size_t i, std::size_t present,
                     const pending_page& item, std::uint64_t count) {
    leaf_cell cell;
    (void)read_be16(s.b, s.array + 2 * i, &cell.ptr);
    const std::uint16_t ptr = cell.ptr;
    cell_event e;
    e.cell = i;
    e.offset = s.page_offset + ptr;
    e.refuse = ptr < s.page_size;  // a pointer past the page names no cell of it
    bool always = false;
    read_leaf_cell(cell, s, e.why, &always);
    if (!e.why.empty()) {
        s.readers_tell = true;
        if (i >= s.fit)
            s.past_beyond_fit = s.past_beyond_fit || s.library_reads;
        else if (s.library_reads || always)
            out.events.push_back(std::move(e));
        else
            s.readers_only = true;  // the library refuses the page before it reads a cell
        return;
    }
    if (ptr < s.array + 2 * s.cells) {
        // Inside the header or pointer array: the library reads it there as it stands.
        s.readers_tell = true;
        s.readers_only = true;
        return;
    }
    if (s.readers_only) return;
    const auto seen = s.first_of.emplace(ptr, i);
    if (!seen.second) {
        // The library reads the same row again (its rowid twice); the readers skip the repeat, and its
        // offset is the first cell's, whose row is sound: told, never refused.
        e.why =
            "its pointer " + std::to_string(ptr) + " is that of cell " + std::to_string(seen.first->second);
        e.refuse = false;
        out.events.push_back(std::move(e));
        return;
    }
    out.scratch.extents.push_back(
        (std::uint32_t{ptr} << 16) |
        static_cast<std::uint32_t>(std::max<std::uint64_t>(cell.end, ptr + 4u) - 1));
    const std::uint32_t u = s.usable;
    const std::uint64_t chain = cell.overflows ? (cell.payload - cell.local + (u - 5)) / (u - 4) : 0;
    leaf_row_fault(e.why, cell, chain, s, present, item, count);
    if (e.why.empty()) {
        s.have_previous = true;
        s.previous = static_cast<std::int64_t>(cell.rowid_bits);
        if (!cell.overflows) return;
        std::uint32_t first = 0;
        (void)read_be32(s.b, static_cast<std::size_t>(cell.end - kOverflowPointerSize), &first);
        e.first = first;
        e.chain = chain;
        e.payload = cell.payload;
        e.local = cell.local;
    }
    out.events.push_back(std::move(e));
}

}  // namespace

void check_leaf_cells(leaf_result& out, const std::uint8_t* page, std::size_t present,
                      const pending_page& item, std::uint32_t page_size, std::uint32_t usable,
                      std::uint64_t count) {
    out.events.clear();
    out.content.clear();
    out.scratch.extents.clear();
    out.array.clear();
    out.array_cells.clear();
    btree_page_header head;
    (void)read_btree_page_header(head, page, page_size, item.page == 1 ? kDbHeaderSize : 0, page_size);
    out.type = head.type;
    if (out.type != kPageTableLeaf) return;
    out.array = array_past_page(head.at, kLeafHeaderSize, head.cell_count, page_size);
    if (!out.array.empty()) return;  // no walk reads a cell of it
    leaf_scan s(page, head, page_size, usable, (item.page - 1) * page_size);
    for (std::size_t i = 0; i < s.cells; ++i) check_leaf_cell(out, s, i, present, item, count);
    if (s.past_beyond_fit) {
        out.array = s.count_why;
        out.array_cells = cell_label(s.fit, s.cells - 1u);
    }
    if (!s.readers_tell && present == page_size)
        out.content = content_fault(page, head, page_size, usable, out.scratch);
}
