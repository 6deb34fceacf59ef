// Reading the cells of one b-tree page for the tree check (tree_check.h): what a worker thread runs on one
// leaf of a table whose rows are read, from the page's bytes alone, and the checks of a page's pointers, its
// pointer array and its content area that the walk of the interior pages shares. It judges no link between
// pages and claims no page: who owns a page, the overflow chains and the verdict are tree_check.cpp's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sqlite_format/format.h"

// A range of rowids a parent gives a child: above `low` (when `has_low`) and up to `high` (when `has_high`).
struct key_range {
    std::int64_t low = 0;
    std::int64_t high = 0;
    bool has_low = false;
    bool has_high = false;

    bool holds(std::int64_t key) const { return (!has_low || key > low) && (!has_high || key <= high); }
    std::string text() const {
        if (has_low && has_high) return "above " + std::to_string(low) + " up to " + std::to_string(high);
        if (has_low) return "above " + std::to_string(low);
        if (has_high) return "up to " + std::to_string(high);
        return "of any value";
    }
};

// A page waiting in a tree's walk, with the link that led to it.
struct pending_page {
    std::uint64_t page = 0;
    std::uint64_t parent = 0;  // 0 for the root
    std::uint64_t link = 0;  // file offset of the pointer that named it (right_child_link for a right child)
    std::uint64_t told_at = 0;  // the offset a damaged link is told at: the cell's, or the parent page's
    key_range keys;
    std::uint32_t depth = 0;
    bool leaf = false;       // taken for a leaf unread: its right-most sibling reads as one
    bool contested = false;  // in the survey: at or below a page that two links name
};

// Storage content_fault reuses from page to page.
struct content_scratch {
    std::vector<std::uint32_t> extents;  // the byte ranges of a page's cells and free blocks
    std::vector<std::uint16_t> offsets;  // its free blocks, as list_freeblocks lists them
    std::vector<std::uint16_t> sizes;
};

// One cell of a leaf that the verdict must hear of: refused (why), or one whose overflow chain is to be
// followed (why empty).
struct cell_event {
    std::size_t cell = 0;
    std::uint64_t offset = 0;  // the cell's file offset
    std::string why;
    bool refuse = true;  // of a refused cell: its offset names a cell of the page (not a pointer past it)
    std::uint64_t first =
        0;  // of a chain: its first page, its length in pages, the payload and its local part
    std::uint64_t chain = 0;
    std::uint64_t payload = 0;
    std::uint64_t local = 0;
};

// What the cells of one leaf show: the page's type byte, and the cells the verdict must hear of.
struct leaf_result {
    std::uint8_t type = 0;
    std::vector<cell_event> events;
    // Why its pointer array leads past the page, and the cells that says (empty for the whole page); empty
    // when it does not.
    std::string array;
    std::string array_cells;
    std::string content;      // why its content area does not add up (content_fault); empty when it does
    content_scratch scratch;  // storage content_fault reuses
};

// Whether the cells of a page (their byte ranges in scratch.extents, each start << 16 | end) and its free
// blocks (the one free-block walker's, list_freeblocks, inside the usable bytes) account for its content area
// as PRAGMA quick_check counts it: no byte used twice, the free blocks in order inside the area, and the
// bytes left over the fragments its header (`head`, at `head.at` of the page) counts. Why not; empty when
// they do.
std::string content_fault(const std::uint8_t* page, const btree_page_header& head, std::uint32_t page_size,
                          std::uint32_t usable, content_scratch& scratch);

// The most cells the library takes a page of `page_size` bytes to hold (a pointer and four bytes each): it
// refuses a page that counts more before it reads any of its cell pointers.
std::size_t library_cell_limit(std::uint32_t page_size);

// Why the pointer array of a page whose header at `at` counts `cells` runs past the end of the page (of
// `page_size` bytes); empty when it does not.
std::string array_past_page(std::size_t at, std::size_t header, std::size_t cells, std::uint32_t page_size);

// Why cell pointer `ptr` names no byte of a page of `page_size` bytes.
std::string pointer_past_page(std::uint16_t ptr, std::uint32_t page_size);

// Checks the cells of the table leaf `page` (page_size bytes, `present` of them the state's) that `item`
// led to, in a file of `count` pages: a pointer array that runs past the page, a cell the library would read
// past the page (its pointer past it, its payload length and rowid or its payload running past it: the
// library reads on into whatever follows the page in its memory, which differs from run to run), a rowid
// outside the keys its parent gives or not above the one before, a cell past the end of the file, a payload
// no chain of the file can hold; every other overflowing cell is handed on for its chain. A cell the library
// reads inside the page as it stands (a pointer into the header or pointer array) is left to the readers,
// which skip it and say so. Reads only the page: any thread may run it.
void check_leaf_cells(leaf_result& out, const std::uint8_t* page, std::size_t present,
                      const pending_page& item, std::uint32_t page_size, std::uint32_t usable,
                      std::uint64_t count);
