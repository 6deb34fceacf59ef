#include "sqlite_format/page_reach.h"

#include <utility>

#include "io/fileio.h"
#include "sqlite_format/btree.h"
#include "sqlite_format/format.h"

namespace {

std::uint64_t page_offset(std::uint64_t page, std::uint32_t page_size) { return (page - 1) * page_size; }

// The pages of one file already reached, by page number (1-based; slot 0 unused).
class reach_map {
 public:
  reach_map(uni::fileio& file, std::uint32_t page_size, std::uint8_t reserved)
      : file_(file), page_size_(page_size), reserved_(reserved), count_(file.size() / page_size),
        reached_(count_ + 1, 0), buf_(page_size) {}

  std::uint64_t count() const { return count_; }
  bool reached(std::uint64_t page) const { return page != 0 && page <= count_ && reached_[page] != 0; }
  void mark(std::uint64_t page) {
    if (page != 0 && page <= count_) reached_[page] = 1;
  }

  // Walks the b-tree below `root`: every page that reads as a b-tree page is reached, with the overflow
  // chains of its cells. Depth-first with an explicit stack; a page met again ends its branch.
  // `root_marked`: the root is marked already (page 1) and is walked all the same.
  void walk_tree(std::uint64_t root, bool root_marked) {
    std::vector<std::pair<std::uint64_t, std::uint32_t>> stack;  // page, depth
    stack.emplace_back(root, 0);
    cell_map cells;
    while (!stack.empty()) {
      const auto [page, depth] = stack.back();
      stack.pop_back();
      if (page == 0 || page > count_ || depth >= kMaxTreeDepth) continue;
      if (reached(page) && !(root_marked && depth == 0)) continue;
      if (!read_file_exact(file_, page_offset(page, page_size_), page_size_, buf_.data())) continue;
      const std::size_t header = starts_with_magic(buf_.data(), buf_.size()) ? kDbHeaderSize : 0;
      if (!is_btree_page_header(buf_.data() + header, buf_.size() - header, page_size_)) continue;
      mark(page);
      const std::uint8_t type = buf_[header + kPageTypeOffset];
      const bool interior = type == kPageTableInterior || type == kPageIndexInterior;
      (void)parse_btree_page(cells, buf_.data(), buf_.size(), page_size_, reserved_, false);
      std::vector<std::uint32_t> chains;
      for (const auto& entry : cells) {
        const cell_metadata& c = entry.second;
        if (interior) stack.emplace_back(c.left_child, depth + 1);
        if (c.overflow && c.first_overflow_page != 0) chains.push_back(c.first_overflow_page);
      }
      if (interior) {
        std::uint32_t right = 0;
        if (read_be32(byte_view(buf_.data(), buf_.size()), header + kRightChildOffset, &right))
          stack.emplace_back(right, depth + 1);
      }
      for (const std::uint32_t first : chains) walk_chain(first);
    }
  }

 private:
  // Marks an overflow chain; it ends at a link of 0, a page out of the file or met before, a failed read,
  // or a page that reads as a b-tree page (the link was damaged).
  void walk_chain(std::uint64_t page) {
    std::uint8_t head[kLeafHeaderSize] = {};
    while (page != 0 && page <= count_ && !reached(page)) {
      if (!read_file_exact(file_, page_offset(page, page_size_), sizeof head, head)) return;
      if (is_btree_page_header(head, sizeof head, page_size_)) return;
      mark(page);
      std::uint32_t next = 0;
      (void)read_be32(byte_view(head, sizeof head), 0, &next);
      page = next;
    }
  }

  uni::fileio& file_;
  const std::uint32_t page_size_;
  const std::uint8_t reserved_;
  const std::uint64_t count_;
  std::vector<std::uint8_t> reached_;
  std::vector<std::uint8_t> buf_;
};

}  // namespace

int find_unreached_pages(std::vector<std::uint64_t>& out, uni::fileio& file, const db_header_bytes& header,
                         const std::vector<std::uint32_t>& roots, const region_map& free_list) {
  out.clear();
  const byte_view h(header.data(), header.size());
  std::uint16_t stored = 0;
  if (!file.is_open() || !starts_with_magic(header.data(), header.size()) || !read_be16(h, kDbPageSizeOffset, &stored))
    return 0;
  const std::uint32_t page_size = page_size_from_field(stored);
  if (page_size == 0) return 0;
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
