#include "sqlite_format/page_reach.h"

#include <utility>

#include "io/fileio.h"
#include "sqlite_format/btree.h"
#include "sqlite_format/format.h"

namespace {

std::uint64_t page_offset(std::uint64_t page, std::uint32_t page_size) { return (page - 1) * page_size; }

// The links of every page of one file, read in one pass in page order, and the pages reached through them.
// Pages are numbered from 1; slot 0 of each vector is unused.
class reach_map {
  public:
    reach_map(uni::fileio& file, std::uint32_t page_size, std::uint8_t reserved)
        : page_size_(page_size),
          reserved_(reserved),
          count_(file.size() / page_size),
          btree_(count_ + 1, 0),
          next_(count_ + 1, 0),
          reached_(count_ + 1, 0),
          child_start_(count_ + 2, 0),
          chain_start_(count_ + 2, 0) {
        scan(file);
    }

    std::uint64_t count() const { return count_; }
    bool reached(std::uint64_t page) const { return page != 0 && page <= count_ && reached_[page] != 0; }
    void mark(std::uint64_t page) {
        if (page != 0 && page <= count_) reached_[page] = 1;
    }

    // Walks the b-tree below `root`: every page that reads as a b-tree page is reached, with the overflow
    // chains of its cells. Depth-first with an explicit stack and a depth cap; a page met again ends its
    // branch. `root_marked`: the root is marked already (page 1) and is walked all the same.
    void walk_tree(std::uint64_t root, bool root_marked) {
        std::vector<std::pair<std::uint64_t, std::uint32_t>> stack;  // page, depth
        stack.emplace_back(root, 0);
        while (!stack.empty()) {
            const auto [page, depth] = stack.back();
            stack.pop_back();
            if (page == 0 || page > count_ || depth >= kMaxTreeDepth || btree_[page] == 0) continue;
            if (reached(page) && !(root_marked && depth == 0)) continue;
            mark(page);
            for (std::uint64_t i = child_start_[page]; i < child_start_[page + 1]; ++i)
                stack.emplace_back(children_[i], depth + 1);
            for (std::uint64_t i = chain_start_[page]; i < chain_start_[page + 1]; ++i)
                walk_chain(chains_[i]);
        }
    }

  private:
    // Reads every page once, in order: whether it is a b-tree page and, if so, its children and the first
    // overflow page of each cell that has one; else its first four bytes, an overflow page's link.
    void scan(uni::fileio& file) {
        std::vector<std::uint8_t> buf(page_size_);
        for (std::uint64_t page = 1; page <= count_; ++page) {
            child_start_[page] = children_.size();
            chain_start_[page] = chains_.size();
            if (!read_file_exact(file, page_offset(page, page_size_), page_size_, buf.data())) continue;
            const byte_view view(buf.data(), buf.size());
            btree_page_header head;
            if (read_btree_page_header(head, buf.data(), buf.size(),
                                       btree_header_offset(buf.data(), buf.size()),
                                       page_size_) != page_header_verdict::sound) {
                (void)read_be32(view, 0, &next_[page]);
                continue;
            }
            btree_[page] = 1;
            const bool interior = head.interior();
            const std::size_t pointers = head.cell_pointers();
            // Each cell is read in place: a pass over every page of a large file must not build a cell map
            // per page.
            for (std::size_t i = 0; i < head.cell_count; ++i) {
                std::uint16_t at = 0;
                if (!read_be16(view, pointers + 2 * i, &at)) break;
                if (at >= buf.size()) continue;
                std::uint32_t child = 0;
                if (interior && read_be32(view, at, &child)) children_.push_back(child);
                if (head.type == kPageTableInterior) continue;
                const std::uint32_t first = first_overflow_page(buf, head.type, at);
                if (first != 0) chains_.push_back(first);
            }
            if (interior) children_.push_back(head.right_child);
        }
        child_start_[count_ + 1] = children_.size();
        chain_start_[count_ + 1] = chains_.size();
    }

    // The first overflow page of the cell at offset `at` of `page` (of `type`, not a table interior page);
    // 0 when its payload fits on the page or its header does not decode inside the page.
    std::uint32_t first_overflow_page(const std::vector<std::uint8_t>& page, std::uint8_t type,
                                      std::size_t at) const {
        const std::uint8_t* cell = page.data() + at;
        const std::size_t left = page.size() - at;
        cell_metadata c;
        c.leaf = type == kPageTableLeaf || type == kPageIndexLeaf ? 1 : 0;
        c.table = type == kPageTableLeaf ? 1 : 0;
        std::size_t pos = c.leaf ? 0 : kChildPointerSize;
        std::uint64_t value = 0;
        std::uint32_t used = 0;
        if (pos >= left || !read_sqlite_varint(&value, &used, cell + pos, left - pos)) return 0;
        c.payload_size = value;
        c.payload_size_length = static_cast<std::uint16_t>(used);
        pos += used;
        if (c.table) {
            if (pos >= left || !read_sqlite_varint(&value, &used, cell + pos, left - pos)) return 0;
            c.rowid_length = static_cast<std::uint16_t>(used);
        }
        std::uint32_t local = 0, over = 0, first = 0;
        if (!compute_local_payload(&local, &over, &first, cell, left, c, page_size_, reserved_, false))
            return 0;
        return over != 0 ? first : 0;
    }

    // Marks an overflow chain; it ends at a link of 0, a page out of the file or met before, or a page that
    // reads as a b-tree page (the link was damaged).
    void walk_chain(std::uint64_t page) {
        while (page != 0 && page <= count_ && !reached(page) && btree_[page] == 0) {
            mark(page);
            page = next_[page];
        }
    }

    const std::uint32_t page_size_;
    const std::uint8_t reserved_;
    const std::uint64_t count_;
    std::vector<std::uint8_t> btree_;  // the page reads as a b-tree page
    std::vector<std::uint32_t> next_;  // of any other page, its first four bytes
    std::vector<std::uint8_t> reached_;
    std::vector<std::uint64_t>
        child_start_;  // children of page p: children_[child_start_[p], child_start_[p + 1])
    std::vector<std::uint32_t> children_;
    std::vector<std::uint64_t> chain_start_;  // first overflow pages of page p's cells, likewise
    std::vector<std::uint32_t> chains_;
};

}  // namespace

int find_unreached_pages(std::vector<std::uint64_t>& out, uni::fileio& file, const db_header_bytes& header,
                         const std::vector<std::uint32_t>& roots, const region_map& free_list) {
    out.clear();
    if (!file.is_open() || !starts_with_magic(header.data(), header.size())) return 0;
    const std::uint32_t page_size = db_header_page_size(header.data(), header.size());
    if (page_size == 0) return 0;
    const byte_view h(header.data(), header.size());
    const std::uint8_t reserved = header[kDbReservedOffset];
    reach_map map(file, page_size, reserved);

    // Pages the format sets aside: the lock-byte page, and with auto-vacuum the pointer-map pages (page 2
    // and one after every run of pages one map page describes; one moves past the lock-byte page).
    const std::uint64_t lock_page = kLockByteOffset / page_size + 1;
    map.mark(lock_page);
    map.mark(1);  // the database header's page; its b-tree part is walked below
    std::uint32_t largest_root = 0;
    if (read_be32(h, kDbLargestRootOffset, &largest_root) && largest_root != 0 && page_size > reserved) {
        const std::uint64_t per_map = (page_size - reserved) / kPointerMapEntrySize + 1;
        for (std::uint64_t p = 2; p <= map.count(); p += per_map) map.mark(p == lock_page ? p + 1 : p);
    }

    map.walk_tree(1, true);
    for (const std::uint32_t root : roots) map.walk_tree(root, false);

    for (std::uint64_t p = 1; p <= map.count(); ++p) {
        const std::uint64_t offset = page_offset(p, page_size);
        if (!map.reached(p) && free_list.count(offset) == 0) out.push_back(offset);
    }
    return out.empty() ? 0 : 1;
}
