#include "sqlite_format/tree_check.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <utility>

#include "io/fileio.h"
#include "platform/ordered_stage.h"
#include "sqlite_format/file_map.h"
#include "sqlite_format/format.h"
#include "sqlite_format/layout.h"

namespace {

// The codes of who reached a page first (tree_verdict.h).
constexpr std::uint32_t kNobody = kOwnerNobody;
constexpr std::uint32_t kFreeList = kOwnerFreeList;
constexpr std::uint32_t kFirstTree = kOwnerFirstTree;
constexpr std::uint32_t kOverflowPage = kOwnerOverflow;

std::string page_text(std::uint64_t page) { return "page " + std::to_string(page); }

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
    bool leaf = false;  // taken for a leaf unread: its right-most sibling reads as one
};

// Reads one varint of the page at `at`; false when it does not end inside the first `end` bytes.
bool varint_at(const std::vector<std::uint8_t>& page, std::size_t at, std::size_t end, std::uint64_t* value,
               std::uint32_t* length) {
    if (at >= end) return false;
    return read_sqlite_varint(value, length, page.data() + at, end - at) != 0;
}

constexpr std::uint32_t kNoDepth = ~0u;

// Storage content_fault reuses from page to page.
struct content_scratch {
    std::vector<std::uint32_t> extents;  // the byte ranges of a page's cells and free blocks
    std::vector<std::uint16_t> offsets;  // its free blocks, as list_freeblocks lists them
    std::vector<std::uint16_t> sizes;
};

// Leaves checked at a time by one thread, and the fewest leaves worth threads.
constexpr std::size_t kGroupLeaves = 64;
constexpr std::size_t kParallelJobs = 4 * kGroupLeaves;
// The most bytes of consecutive leaves one read takes.
constexpr std::size_t kRunBytes = 64 * 1024;

// A leaf of a tree with rows, waiting for its cells to be checked.
struct leaf_job {
    std::size_t tree = 0;  // its index in the listed trees
    pending_page item;
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

// The most cells the library takes a page of `page_size` bytes to hold (a pointer and four bytes each): it
// refuses a page that counts more before it reads any of its cell pointers.
std::size_t library_cell_limit(std::uint32_t page_size) { return (page_size - 8) / 6; }

// Why the pointer array of a page whose header at `at` counts `cells` runs past the end of the page (of
// `page_size` bytes); empty when it does not.
std::string array_past_page(std::size_t at, std::size_t header, std::size_t cells, std::uint32_t page_size) {
    if (at + header + 2 * cells <= page_size) return std::string();
    return "its cell count " + std::to_string(cells) +
           " is more than the page can hold: its pointer array would run past the end of the page";
}

std::string pointer_past_page(std::uint16_t ptr, std::uint32_t page_size) {
    return "its pointer " + std::to_string(ptr) + " lies past the end of the page (" +
           std::to_string(page_size) + " bytes)";
}

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
                      std::uint64_t count) {
    out.events.clear();
    out.content.clear();
    out.scratch.extents.clear();
    out.array.clear();
    out.array_cells.clear();
    btree_page_header head;
    (void)read_btree_page_header(head, page, page_size, item.page == 1 ? kDbHeaderSize : 0, page_size);
    const std::size_t at = head.at;
    out.type = head.type;
    if (out.type != kPageTableLeaf) return;
    bool readers_tell = false;  // a cell the readers skip: its page's content is theirs to tell
    bool readers_only = false;  // a cell left to the readers: the cells after it are only looked at for
                                // bytes past the page, as their rowids and chains need not be sound
    const byte_view b(page, page_size);
    const std::uint16_t cells = head.cell_count, content_start = head.content_start;
    const std::size_t array = head.cell_pointers();
    out.array = array_past_page(at, kLeafHeaderSize, cells, page_size);
    if (!out.array.empty()) return;  // no walk reads a cell of it
    const std::uint64_t page_offset = (item.page - 1) * page_size;
    const std::uint32_t u = usable;
    // The pointers past `fit` are cell bytes to the readers, which tell them as one span; the library reads
    // them all the same.
    std::string count_why;
    const std::size_t fit = cell_pointers_held(cells, array, content_start, page_size, &count_why);
    const bool library_reads = cells <= library_cell_limit(page_size);
    bool past_beyond_fit = false;
    bool have_previous = false;
    std::int64_t previous = 0;
    std::map<std::uint16_t, std::size_t> first_of;  // pointer -> the first cell that holds it
    for (std::size_t i = 0; i < cells; ++i) {
        std::uint16_t ptr = 0;
        std::uint64_t payload = 0, rowid_bits = 0;
        std::uint32_t n1 = 0, n2 = 0;
        (void)read_be16(b, array + 2 * i, &ptr);
        cell_event e;
        e.cell = i;
        e.offset = page_offset + ptr;
        e.refuse = ptr < page_size;  // a pointer past the page names no cell of it
        bool always = false;         // told whatever the cell count: the readers read the page up to it
        if (ptr >= page_size) {
            e.why = pointer_past_page(ptr, page_size);
        } else if (ptr >= u || !read_sqlite_varint(&payload, &n1, page + ptr, u - ptr) || ptr + n1 >= u ||
                   !read_sqlite_varint(&rowid_bits, &n2, page + ptr + n1, u - ptr - n1)) {
            // Its payload length and rowid are read from past the page.
            e.why = "its rowid at page offset " + std::to_string(ptr) + " does not decode";
        }
        // The check runs on usable sizes of 480 and up, where the split is always defined.
        std::uint64_t local = payload;
        (void)local_payload_bytes(payload, u, true, &local);
        const bool overflows = local < payload;
        const std::uint64_t end =
            std::uint64_t{ptr} + n1 + n2 + local + (overflows ? kOverflowPointerSize : 0);
        if (e.why.empty() && end > u) {
            // Its payload length runs it past its page: the library reads on there (an all-empty row).
            e.why = "its payload of " + std::to_string(payload) + " bytes at page offset " +
                    std::to_string(ptr) + " runs past the end of the page";
            always = true;
        }
        if (!e.why.empty()) {
            readers_tell = true;
            if (i >= fit) {
                past_beyond_fit = past_beyond_fit || library_reads;
            } else if (library_reads || always) {
                out.events.push_back(std::move(e));
            } else {
                readers_only = true;  // the library refuses the page before it reads a cell
            }
            continue;
        }
        if (ptr < array + 2 * cells) {
            // Inside the header or pointer array: the library reads it there as it stands.
            readers_tell = true;
            readers_only = true;
            continue;
        }
        if (readers_only) continue;
        const auto seen = first_of.emplace(ptr, i);
        if (!seen.second) {
            // The library reads the same row again (its rowid twice); the readers skip the repeat, and its
            // offset is the first cell's, whose row is sound: told, never refused.
            e.why = "its pointer " + std::to_string(ptr) + " is that of cell " +
                    std::to_string(seen.first->second);
            e.refuse = false;
            out.events.push_back(std::move(e));
            continue;
        }
        const std::int64_t rowid = static_cast<std::int64_t>(rowid_bits);
        out.scratch.extents.push_back((std::uint32_t{ptr} << 16) |
                                      static_cast<std::uint32_t>(std::max<std::uint64_t>(end, ptr + 4u) - 1));
        const std::uint64_t chain = overflows ? (payload - local + (u - 5)) / (u - 4) : 0;
        if (end > present) {
            e.why = "it runs past the end of the file, which holds " + std::to_string(page_offset + present) +
                    " bytes";
        } else if (!item.keys.holds(rowid)) {
            e.why = "its rowid " + std::to_string(rowid) + " is out of order: page " +
                    std::to_string(item.parent) + " gives this page the rowids " + item.keys.text();
        } else if (have_previous && rowid <= previous) {
            e.why = "its rowid " + std::to_string(rowid) + " does not follow rowid " +
                    std::to_string(previous) + " of the cell before it";
        } else if (chain > count) {
            e.why = "its payload of " + std::to_string(payload) + " bytes needs " + std::to_string(chain) +
                    " overflow pages, more than the file's " + std::to_string(count) + " pages";
        }
        if (e.why.empty()) {
            have_previous = true;
            previous = rowid;
            if (!overflows) continue;
            std::uint32_t first = 0;
            (void)read_be32(b, static_cast<std::size_t>(end - kOverflowPointerSize), &first);
            e.first = first;
            e.chain = chain;
            e.payload = payload;
            e.local = local;
        }
        out.events.push_back(std::move(e));
    }
    if (past_beyond_fit) {
        out.array = count_why;
        out.array_cells = cell_label(fit, cells - 1u);
    }
    if (!readers_tell && present == page_size)
        out.content = content_fault(page, head, page_size, usable, out.scratch);
}

class tree_checker {
  public:
    // `count`: the pages the state has (a claim); `present`: those whose bytes are there.
    tree_checker(const state_pages& pages, std::uint32_t page_size, std::uint8_t reserved,
                 std::uint64_t count, std::uint64_t present, const std::vector<listed_tree>& trees,
                 database_verdict& out)
        : pages_(pages),
          page_size_(page_size),
          usable_(page_size - reserved),
          count_(count),
          trees_(trees),
          out_(out),
          owner_(std::min(count, present)),
          parent_(std::min(count, present)),
          buf_(page_size) {}

    // The free list's trunk and leaf pages, from the trunk at `trunk`: they are no page of a tree.
    void mark_free_list(std::uint32_t trunk) {
        std::vector<std::uint8_t> page(page_size_);
        while (trunk != 0 && trunk <= count_ && owner_.get(trunk) == kNobody) {
            owner_.set(trunk, kFreeList);
            if (pages_.read(trunk, page.data()) < kTrunkLeavesOffset) return;
            const byte_view b(page.data(), page.size());
            std::uint32_t next = 0, leaves = 0;
            (void)read_be32(b, kTrunkNextOffset, &next);
            (void)read_be32(b, kTrunkCountOffset, &leaves);
            const std::uint32_t fit = (usable_ - kTrunkLeavesOffset) / 4;
            for (std::uint32_t i = 0; i < std::min(leaves, fit); ++i) {
                std::uint32_t leaf = 0;
                if (read_be32(b, kTrunkLeavesOffset + 4 * i, &leaf) && leaf != 0 && leaf <= count_ &&
                    owner_.get(leaf) == kNobody)
                    owner_.set(leaf, kFreeList);
            }
            trunk = next;
        }
    }

    // Every root is its own tree's before any walk: a link to a root is a link to another tree (or a loop).
    void mark_roots() {
        if (count_ >= 1) owner_.set(1, kFirstTree);
        for (std::size_t i = 0; i < trees_.size(); ++i) {
            const std::uint32_t root = trees_[i].root;
            if (root != 0 && root <= count_ && owner_.get(root) == kNobody)
                owner_.set(root, kFirstTree + 1 + static_cast<std::uint32_t>(i));
        }
    }

    // Walks tree `index` (-1 for the schema table's, at page 1) from `root`, depth first from the right.
    void walk(int index, std::uint64_t root) {
        const std::uint32_t code = kFirstTree + static_cast<std::uint32_t>(index + 1);
        tree_verdict* verdict = index >= 0 && trees_[static_cast<std::size_t>(index)].rows
                                    ? &out_.trees[static_cast<std::size_t>(index)]
                                    : nullptr;
        if (root == 0 || root > count_ || owner_.get(root) != code) return;
        std::vector<pending_page> stack;
        stack.push_back(pending_page{root, 0, 0, 0, key_range(), 0});
        bool table = true;
        std::uint32_t leaf_depth = kNoDepth;  // the depth of the tree's first leaf
        while (!stack.empty()) {
            const pending_page item = stack.back();
            stack.pop_back();
            if (item.parent != 0) {
                const std::string fault = link_fault(item, code);
                if (!fault.empty()) {
                    if (verdict != nullptr) {
                        verdict->refused_links.insert(item.link);
                        tell(*verdict, item.parent, item.told_at, "interior page", fault);
                    }
                    continue;
                }
            }
            if (item.leaf) {
                // Claimed now, in the walk's order; its cells are checked once every tree is walked.
                owner_.set(item.page, code);
                parent_.set(item.page, item.parent);
                if (verdict != nullptr) take_leaf_job(index, item, *verdict, leaf_depth);
                continue;
            }
            (void)pages_.read(item.page, buf_.data());
            const std::size_t at = item.page == 1 ? kDbHeaderSize : 0;
            const std::uint8_t type = buf_[at];
            if (item.parent == 0) {
                table = type == kPageTableInterior || type == kPageTableLeaf;
                if (verdict != nullptr && !table && (type == kPageIndexInterior || type == kPageIndexLeaf)) {
                    // The schema lists a table here: an index's type byte on its root is damage. An interior
                    // page's cells still lead to the table's leaves; a leaf's cells read as an index's are no
                    // rows.
                    const std::uint64_t offset = (item.page - 1) * page_size_;
                    const std::string why =
                        "its type byte " + hex(type) + " is an index page's, where the schema lists a table";
                    tell(*verdict, item.page, offset, "root page", why);
                    if (type == kPageIndexLeaf) {
                        verdict->refused_root = true;
                        continue;
                    }
                    verdict->spans.back().kept = true;
                    table = true;
                    owner_.set(item.page, code);
                    queue_children(item, at, true, code, verdict, stack);
                    continue;
                }
            } else if (!kind_fits(type, table)) {
                // A page of the other kind of b-tree: its cells are no rows of this one. A page that is no
                // b-tree page at all is left to the readers, which stop or skip there.
                if (type == kPageIndexInterior || type == kPageIndexLeaf || type == kPageTableInterior ||
                    type == kPageTableLeaf) {
                    if (verdict != nullptr) {
                        verdict->refused_links.insert(item.link);
                        tell(*verdict, item.parent, item.told_at, "interior page",
                             child_text(item) + " is a page of " + (table ? "an index" : "a table") +
                                 " (type byte " + hex(type) + ")");
                    }
                }
                continue;
            }
            owner_.set(item.page, code);
            parent_.set(item.page, item.parent);
            if (type == kPageTableInterior || type == kPageIndexInterior) {
                queue_children(item, at, type == kPageTableInterior, code, verdict, stack);
            } else if (type == kPageTableLeaf && verdict != nullptr) {
                take_leaf_job(index, item, *verdict, leaf_depth);
            }
        }
    }

    // Queues a leaf of tree `index` for its cells. Every leaf of a tree lies at one depth: one that does not
    // took the place of a subtree, whose pages no link leads to any more (its own rows are still read).
    void take_leaf_job(int index, const pending_page& item, tree_verdict& verdict,
                       std::uint32_t& leaf_depth) {
        if (leaf_depth == kNoDepth) leaf_depth = item.depth;
        if (item.depth != leaf_depth && item.parent != 0) {
            tell(verdict, item.parent, item.told_at, "interior page",
                 child_text(item) + " is a leaf at depth " + std::to_string(item.depth) +
                     " where the tree's leaves lie at depth " + std::to_string(leaf_depth) +
                     " (the pages below the link it took are lost)");
            verdict.spans.back().kept = true;
        }
        jobs_.push_back(leaf_job{static_cast<std::size_t>(index), item});
    }

    // Checks the cells of every leaf the walks of the trees with rows took, on `threads` threads where the
    // state is a file on disk (each thread reading through a handle of its own), and takes their verdicts in
    // the walks' order on this thread, the overflow chains claiming their pages in that order: the verdict is
    // the same whatever the threads do.
    void check_leaves(const database_bytes& bytes, unsigned threads) {
        if (threads >= 2 && jobs_.size() >= kParallelJobs && check_in_parallel(bytes, threads)) return;
        leaf_result result;
        for (const leaf_job& job : jobs_) {
            const std::size_t present = pages_.read(job.item.page, buf_.data());
            check_leaf_cells(result, buf_.data(), present, job.item, page_size_, usable_, count_);
            take_leaf(job, result);
        }
    }

    // Who reached each page first, for the verdict once every walk is done.
    page_values take_owners() { return std::move(owner_); }

  private:
    // Whether page `page` reads as a leaf page (its type byte, page 1's after the database header).
    bool leaf_type(std::uint64_t page) const {
        std::uint8_t type = 0;
        if (!pages_.type_of(page, &type)) return false;
        return type == kPageTableLeaf || type == kPageIndexLeaf;
    }

    static bool kind_fits(std::uint8_t type, bool table) {
        return table ? (type == kPageTableInterior || type == kPageTableLeaf)
                     : (type == kPageIndexInterior || type == kPageIndexLeaf);
    }

    static std::string hex(std::uint8_t b) {
        static const char digits[] = "0123456789abcdef";
        return std::string("0x") + digits[b >> 4] + digits[b & 15];
    }

    static std::string child_text(const pending_page& item) {
        return "child page number " + std::to_string(item.page);
    }

    std::string tree_name(std::uint32_t code) const {
        const std::uint32_t tree = code & ~kOverflowPage;
        if (tree == kFirstTree) return "the schema table";
        const std::size_t i = tree - kFirstTree - 1;
        return i < trees_.size() ? trees_[i].name : std::string("another b-tree");
    }

    // Why the link of `item` is not followed in tree `code`; empty when it is.
    std::string link_fault(const pending_page& item, std::uint32_t code) const {
        const std::string plain = child_page_fault(item.page, count_);
        if (!plain.empty()) return plain;
        if (item.depth >= kMaxTreeDepth) return "deeper than " + std::to_string(kMaxTreeDepth) + " levels";
        const std::string child = child_text(item);
        if (item.page == 1) return child + " is page 1, the root of the schema table";
        const std::uint32_t owner = owner_.get(item.page);
        if (owner == kNobody) return std::string();
        if (owner == kFreeList) return child + " is a page of the free list";
        if ((owner & kOverflowPage) != 0) return child + " is an overflow page of " + tree_name(owner);
        if (owner != code) {
            const std::size_t i = owner - kFirstTree - 1;
            const bool root = owner != kFirstTree && i < trees_.size() && trees_[i].root == item.page;
            return child + " is " + (root ? "the root page of " : "a page of ") + tree_name(owner);
        }
        // A page of this tree: an ancestor of the page that names it (a loop), or one reached before.
        for (std::uint64_t up = item.parent, steps = 0; up != 0 && steps <= kMaxTreeDepth;
             up = parent_.get(up), ++steps) {
            if (up == item.page)
                return child + (up == item.parent
                                    ? " is the page itself (a loop)"
                                    : " is an ancestor of page " + std::to_string(item.parent) + " (a loop)");
        }
        return child + " was reached before (a page that two links name)";
    }

    // The children of the interior page in buf_ onto the stack, so that the right-most pops first; for a
    // table, each with the keys its parent's cells give it. A key out of order is told and bounds nothing.
    void queue_children(const pending_page& item, std::size_t at, bool table, std::uint32_t code,
                        tree_verdict* verdict, std::vector<pending_page>& stack) {
        const byte_view b(buf_.data(), buf_.size());
        btree_page_header head;
        (void)read_btree_page_header(head, buf_.data(), buf_.size(), at, page_size_);
        const std::uint16_t cells = head.cell_count;
        const std::uint32_t right = head.right_child;
        const std::size_t array = head.cell_pointers();
        const std::uint64_t page_offset = (item.page - 1) * page_size_;
        struct child_link {
            std::uint32_t page;
            std::uint64_t offset;
            bool keyed;
            std::int64_t key;
            std::size_t cell;
        };
        std::vector<child_link> links;
        bool readers_tell =
            array + 2 * cells > usable_;  // a cell the readers skip: the page is theirs to tell
        scratch_.extents.clear();
        // A child page number the library would read from past the page (from whatever follows the page in
        // its memory, which differs from run to run) is told; the readers skip the cell. A page whose pointer
        // array runs past it is told whole: no reader reads a cell of it.
        const std::string what = item.parent == 0 ? "root page" : "interior page";
        const std::string array_fault = array_past_page(at, kInteriorHeaderSize, cells, page_size_);
        if (verdict != nullptr && !array_fault.empty())
            tell(*verdict, item.page, page_offset, what, array_fault);
        std::string count_why;
        const std::size_t fit = cell_pointers_held(cells, array, head.content_start, page_size_, &count_why);
        const bool library_reads = array_fault.empty() && cells <= library_cell_limit(page_size_);
        bool past_beyond_fit = false;
        const std::size_t told_before = verdict != nullptr ? verdict->spans.size() : 0;
        for (std::size_t i = 0; i < cells; ++i) {
            std::uint16_t ptr = 0;
            if (array + 2 * i + 2 > usable_ || !read_be16(b, array + 2 * i, &ptr)) break;
            if (ptr + std::size_t{kChildPointerSize} > page_size_) {
                readers_tell = true;
                if (verdict == nullptr || !library_reads) continue;
                if (i >= fit) {
                    past_beyond_fit = true;
                    continue;
                }
                tell(*verdict, item.page, page_offset, what,
                     ptr >= page_size_ ? pointer_past_page(ptr, page_size_)
                                       : "its child page number at page offset " + std::to_string(ptr) +
                                             " runs past the end of the page",
                     cell_label(i, i));
                continue;
            }
            if (ptr < array + 2 * cells || ptr + kChildPointerSize > usable_) {
                readers_tell = true;
                continue;
            }
            std::uint32_t child = 0;
            (void)read_be32(b, ptr, &child);
            std::uint64_t key = 0;
            std::uint32_t used = 0;
            const bool keyed = table && varint_at(buf_, ptr + kChildPointerSize, usable_, &key, &used);
            if (table && !keyed) {
                readers_tell = true;
                continue;
            }
            scratch_.extents.push_back((std::uint32_t{ptr} << 16) | (ptr + kChildPointerSize + used - 1));
            links.push_back(child_link{child, page_offset + ptr, keyed, static_cast<std::int64_t>(key), i});
        }
        if (past_beyond_fit) {
            // Told before its cells, as the readers tell it.
            tell(*verdict, item.page, page_offset, what, count_why, cell_label(fit, cells - 1u));
            std::rotate(verdict->spans.begin() + static_cast<std::ptrdiff_t>(told_before),
                        verdict->spans.end() - 1, verdict->spans.end());
        }
        if (verdict != nullptr && table && !readers_tell && item.page != 1) {
            const std::string fault = content_fault(buf_.data(), head, page_size_, usable_, scratch_);
            if (!fault.empty()) {
                tell(*verdict, item.page, page_offset, "interior page", fault);
                verdict->spans.back().kept = true;
            }
        }
        // Of a tree whose rows are not read, leaves are only claimed, unread: all children of a page are
        // leaves when its right-most one is (every leaf of a sound tree lies at one depth).
        if (verdict == nullptr && right != 0 && right <= count_ && leaf_type(right)) {
            links.push_back(child_link{right, 0, false, 0, 0});
            for (const child_link& link : links) {
                if (link.page == 0 || link.page > count_ || owner_.get(link.page) != kNobody) continue;
                owner_.set(link.page, code);
                parent_.set(link.page, item.page);
            }
            return;
        }
        // The keys that bound: each in order inside the page's own range.
        std::vector<bool> bounds(links.size(), false);
        if (table) {
            key_range open = item.keys;
            for (std::size_t i = 0; i < links.size(); ++i) {
                if (open.holds(links[i].key)) {
                    bounds[i] = true;
                    open.low = links[i].key;
                    open.has_low = true;
                } else if (verdict != nullptr) {
                    tell(*verdict, item.page, page_offset, "interior page",
                         "its key " + std::to_string(links[i].key) + " is out of order: page " +
                             std::to_string(item.page) + " holds the rowids " + item.keys.text(),
                         "cell " + std::to_string(links[i].cell));
                }
            }
        }
        key_range below = item.keys;  // the range of the next child: above the last bounding key
        for (std::size_t i = 0; i < links.size(); ++i) {
            key_range keys = below;
            if (table) {
                // Up to its own key, or where that is out of order, up to the next key that bounds.
                std::size_t j = i;
                while (j < links.size() && !bounds[j]) ++j;
                if (j < links.size()) {
                    keys.high = links[j].key;
                    keys.has_high = true;
                } else {
                    keys.high = item.keys.high;
                    keys.has_high = item.keys.has_high;
                }
                if (bounds[i]) {
                    below.low = links[i].key;
                    below.has_low = true;
                }
            }
            stack.push_back(pending_page{links[i].page, item.page, links[i].offset, links[i].offset, keys,
                                         item.depth + 1});
        }
        if (right != 0 || cells != 0)
            stack.push_back(pending_page{right, item.page, right_child_link(page_offset), page_offset, below,
                                         item.depth + 1});
        // Leaves are read once, when their cells are checked.
        if (right != 0 && right <= count_ && leaf_type(right)) {
            for (std::size_t i = stack.size() - links.size() - 1; i < stack.size(); ++i) stack[i].leaf = true;
        }
    }

    // Takes the verdict on the cells of one leaf (check_leaf_cells) into its tree's: a page that turned out
    // to be no table leaf is refused where it is of a kind no leaf of a table can be; each damaged overflow
    // chain cuts its row. A page's cells are told one by one up to kToldCellsPerPage, the rest counted.
    void take_leaf(const leaf_job& job, const leaf_result& result) {
        tree_verdict& verdict = out_.trees[job.tree];
        const pending_page& item = job.item;
        if (result.type != kPageTableLeaf) {
            std::string why;
            if (result.type == kPageTableInterior)
                why = child_text(item) + " is an interior page where its siblings are leaves";
            else if (result.type == kPageIndexInterior || result.type == kPageIndexLeaf)
                why = child_text(item) + " is a page of an index (type byte " + hex(result.type) + ")";
            if (!why.empty() && item.parent != 0) {
                verdict.refused_links.insert(item.link);
                tell(verdict, item.parent, item.told_at, "interior page", why);
            }
            return;
        }
        if (!result.content.empty()) {
            skipped_span span = cell_span(item, std::string(), result.content);
            span.kept = true;
            verdict.spans.push_back(span);
        }
        std::vector<skipped_span> told;
        // Told first, as the readers tell it: the page or its cells past what its pointer array can hold.
        if (!result.array.empty()) told.push_back(cell_span(item, result.array_cells, result.array));
        for (const cell_event& e : result.events) {
            const std::string cell = cell_label(e.cell, e.cell);
            if (!e.why.empty()) {
                if (e.refuse) verdict.refused_cells.insert(e.offset);
                told.push_back(cell_span(item, cell, e.why));
                continue;
            }
            std::string fault;
            const std::uint64_t sound = follow_chain(e.first, e.chain, static_cast<int>(job.tree), &fault);
            if (fault.empty()) continue;
            const std::uint64_t bytes = std::min<std::uint64_t>(e.payload, e.local + sound * (usable_ - 4));
            verdict.sound_payload[e.offset] = bytes;
            told.push_back(cell_span(item, cell,
                                     "its overflow chain from page " + std::to_string(e.first) + " " + fault +
                                         ": " + std::to_string(bytes) + " of its " +
                                         std::to_string(e.payload) + " payload bytes are read"));
            told.back().cut = true;
        }
        for (std::size_t i = 0; i < told.size() && i < kToldCellsPerPage; ++i)
            verdict.spans.push_back(told[i]);
        if (told.size() > kToldCellsPerPage) {
            skipped_span more = told[kToldCellsPerPage];
            more.cut = false;
            more.cells = std::to_string(told.size() - kToldCellsPerPage) + " more cells";
            more.why = "damaged as well (only " + std::to_string(kToldCellsPerPage) +
                       " cells of a page are told one by one)";
            verdict.spans.push_back(more);
        }
    }

    bool check_in_parallel(const database_bytes& bytes, unsigned threads);

    // Follows an overflow chain of `chain` pages from `first` for tree `index`: each a whole page of the
    // state that nothing else holds, the last linking to no page. Returns how many of its pages hold the
    // row's bytes; `fault` says why the chain is damaged (empty when it is not).
    std::uint64_t follow_chain(std::uint64_t first, std::uint64_t chain, int index, std::string* fault) {
        const std::uint32_t code = (kFirstTree + static_cast<std::uint32_t>(index + 1)) | kOverflowPage;
        const std::size_t before = chain_.size();
        std::uint64_t page = first;
        std::uint64_t sound = 0;
        for (std::uint64_t k = 0; k < chain && fault->empty(); ++k) {
            const std::string at = "reaches page " + std::to_string(page);
            if (page == 0) {
                *fault = "ends after " + std::to_string(k) + " of its " + std::to_string(chain) + " pages";
            } else if (page > count_) {
                *fault = "leaves the file at page " + std::to_string(page) + " (" + std::to_string(count_) +
                         " pages)";
            } else if (page == 1) {
                *fault = "reaches page 1";
            } else if (owner_.get(page) == code) {
                *fault = std::find(chain_.begin() + static_cast<std::ptrdiff_t>(before), chain_.end(),
                                   page) != chain_.end()
                             ? "comes back to page " + std::to_string(page) + " (a loop)"
                             : at + ", an overflow page of another cell";
            } else if (owner_.get(page) == kFreeList) {
                *fault = at + ", a page of the free list";
            } else if (owner_.get(page) != kNobody) {
                *fault = at + ", a page of " + tree_name(owner_.get(page));
            }
            std::uint32_t next = 0;
            if (fault->empty() && !pages_.link_of_whole(page, &next))
                *fault = at + ", which the file does not hold whole";
            if (!fault->empty()) break;
            owner_.set(page, code);
            chain_.push_back(page);
            page = next;
            sound = k + 1;
        }
        chain_.resize(before);
        if (fault->empty() && page != 0) {
            // The last page links on: it is no chain's end, and its bytes need not be this row's.
            *fault =
                "goes on past its " + std::to_string(chain) + " pages (to page " + std::to_string(page) + ")";
            sound = chain - 1;
        }
        return sound;
    }

    skipped_span cell_span(const pending_page& item, const std::string& cell, const std::string& why) const {
        return make_skipped_span(item.page, (item.page - 1) * page_size_, page_size_, "leaf page", why, cell);
    }

    void tell(tree_verdict& verdict, std::uint64_t page, std::uint64_t offset, const std::string& what,
              const std::string& why, const std::string& cells = std::string()) {
        verdict.spans.push_back(make_skipped_span(page, offset, page_size_, what, why, cells));
    }

    const state_pages& pages_;
    const std::uint32_t page_size_;
    const std::uint32_t usable_;
    const std::uint64_t count_;
    const std::vector<listed_tree>& trees_;
    database_verdict& out_;
    page_values owner_;   // page -> who reached it first
    page_values parent_;  // page -> the page that led to it in its tree's walk
    std::vector<std::uint8_t> buf_;
    std::vector<std::uint64_t> chain_;  // the pages of the overflow chain being followed
    // The leaves of the trees with rows, in the walks' order; in small blocks, so that no large allocation
    // moves the allocator's threshold for the read that follows.
    std::deque<leaf_job> jobs_;
    content_scratch scratch_;  // storage content_fault reuses
};

bool tree_checker::check_in_parallel(const database_bytes& bytes, unsigned threads) {
    uni::fileio& file = *bytes.file;
    if (bytes.frames != nullptr || file.in_memory || !file.is_open() || file.path.empty()) return false;
    // Each thread reads through its own handle: a handle's read window is not shared.
    std::vector<std::unique_ptr<uni::fileio>> handles;
    for (unsigned i = 0; i < threads; ++i) {
        auto handle = std::make_unique<uni::fileio>();
        if (!handle->open_duplicate(file)) return false;
        handles.push_back(std::move(handle));
    }
    const std::uint32_t page_size = page_size_;
    const std::uint32_t usable = usable_;
    const std::uint64_t count = count_;
    const std::deque<leaf_job>& jobs = jobs_;
    std::size_t made = 0;
    // The leaves of a group are read in windows of up to kRunBytes of the file, in page order: the leaves
    // of a table lie near each other (between its indexes' pages), and one read takes many of them.
    const std::size_t run_pages = std::max<std::size_t>(1, kRunBytes / page_size);
    const auto make_worker = [&]() -> std::function<void(std::size_t&, std::vector<leaf_result>&)> {
        uni::fileio* handle = handles[made++ % handles.size()].get();
        auto buf = std::make_shared<std::vector<std::uint8_t>>(run_pages * page_size);
        auto order = std::make_shared<std::vector<std::pair<std::uint64_t, std::size_t>>>();
        return [&jobs, handle, buf, order, page_size, usable, count, run_pages](
                   std::size_t& group, std::vector<leaf_result>& out) {
            const std::size_t first = group * kGroupLeaves;
            const std::size_t n = std::min(kGroupLeaves, jobs.size() - first);
            out.resize(n);
            order->clear();
            for (std::size_t i = 0; i < n; ++i) order->emplace_back(jobs[first + i].item.page, i);
            std::sort(order->begin(), order->end());
            const std::uint64_t size = handle->size();
            for (std::size_t i = 0; i < n;) {
                const std::uint64_t start = (*order)[i].first;
                std::size_t last = i;  // the last job the window holds
                while (last + 1 < n && (*order)[last + 1].first < start + run_pages) ++last;
                const std::uint64_t offset = (start - 1) * page_size;
                const std::size_t span =
                    static_cast<std::size_t>((*order)[last].first - start + 1) * page_size;
                // Straight from the descriptor: a read window would hold memory the thread keeps.
                const ssize_t got =
                    offset < size ? ::pread(handle->descriptor, buf->data(), span, static_cast<off_t>(offset))
                                  : 0;
                const std::size_t have = got > 0 ? static_cast<std::size_t>(got) : 0;
                for (; i <= last; ++i) {
                    const std::size_t at = static_cast<std::size_t>((*order)[i].first - start) * page_size;
                    std::uint8_t* page = buf->data() + at;
                    const std::size_t present = have > at ? std::min<std::size_t>(have - at, page_size) : 0;
                    if (present < page_size) std::memset(page + present, 0, page_size - present);
                    const std::size_t job = (*order)[i].second;
                    check_leaf_cells(out[job], page, present, jobs[first + job].item, page_size, usable,
                                     count);
                }
            }
        };
    };
    ordered_stage<std::size_t, std::vector<leaf_result>> stage(
        3 * threads, make_worker, [this, &jobs](std::size_t& group, std::vector<leaf_result>& results) {
            for (std::size_t i = 0; i < results.size(); ++i)
                take_leaf(jobs[group * kGroupLeaves + i], results[i]);
        });
    (void)stage.start(threads);
    const std::size_t groups = (jobs.size() + kGroupLeaves - 1) / kGroupLeaves;
    for (std::size_t group = 0; group < groups; ++group) {
        stage.next() = group;
        stage.submit();
    }
    stage.end();
    return true;
}

// Which pages of a state of `pages` pages a file of `size` bytes lacks, those in `frames` (when given) not
// counted, said with the file's size ("page 15 is partial and pages 16 to 20 are missing: the file is cut
// short: ..."); empty when it lacks none.
std::string missing_pages(std::uint64_t size, std::uint64_t pages, std::uint32_t page_size,
                          const wal_frame_map* frames) {
    const std::uint64_t whole = size / page_size;
    const auto held = [frames](std::uint64_t page) { return frames != nullptr && frames->count(page) != 0; };
    std::uint64_t partial = size % page_size != 0 && whole + 1 <= pages && !held(whole + 1) ? whole + 1 : 0;
    std::uint64_t first = 0, last = 0, missing = 0;
    const std::uint64_t from = whole + (size % page_size != 0 ? 2 : 1);
    if (frames == nullptr) {
        if (from <= pages) {
            first = from;
            last = pages;
            missing = pages - from + 1;
        }
    } else {
        // The pages of the log at or past `from` are few: count the holes between them.
        std::uint64_t next = from;
        for (auto it = frames->lower_bound(from); next <= pages; ++it) {
            const std::uint64_t stop = it == frames->end() || it->first > pages ? pages + 1 : it->first;
            if (stop > next) {
                if (first == 0) first = next;
                last = stop - 1;
                missing += stop - next;
            }
            next = stop + 1;
            if (it == frames->end()) break;
        }
    }
    std::string which;
    if (partial != 0) which = page_text(partial) + " is partial";
    if (missing != 0) {
        if (!which.empty()) which += " and ";
        if (missing == 1)
            which += page_text(first) + " is missing";
        else if (missing == last - first + 1)
            which += "pages " + std::to_string(first) + " to " + std::to_string(last) + " are missing";
        else
            which += std::to_string(missing) + " pages from " + std::to_string(first) + " to " +
                     std::to_string(last) + " are missing";
    }
    if (which.empty()) return std::string();
    return which + ": " + cut_short_text(size, pages, page_size);
}

}  // namespace

std::string cut_short_text(std::uint64_t bytes, std::uint64_t pages, std::uint32_t page_size) {
    return "the file is cut short: it holds " + std::to_string(bytes) + " bytes where its header counts " +
           std::to_string(pages) + " pages of " + std::to_string(page_size) + " bytes";
}

int check_database_trees(database_verdict& out, const database_bytes& bytes,
                         const std::vector<listed_tree>& trees, unsigned threads) {
    out = database_verdict();
    if (bytes.file == nullptr || !bytes.file->is_open()) return 0;
    std::uint8_t header[kDbHeaderSize] = {};
    {
        // Page 1 as the state holds it: beside a log, its frame.
        std::vector<std::uint8_t> first(kMinPageSize);
        database_bytes small = bytes;
        state_pages probe(small, kMinPageSize);
        if (probe.read(1, first.data()) < kDbHeaderSize) return 0;
        std::memcpy(header, first.data(), kDbHeaderSize);
    }
    const std::uint32_t page_size = db_header_page_size(header, kDbHeaderSize);
    const std::uint8_t reserved = header[kDbReservedOffset];
    if (page_size == 0 || page_size < reserved || page_size - reserved < kMinUsableSize) return 0;
    const byte_view h(header, kDbHeaderSize);
    std::uint32_t counted = 0, counter = 0, valid_for = 0, trunk = 0;
    (void)read_be32(h, kDbPageCountOffset, &counted);
    (void)read_be32(h, kDbChangeCounterOffset, &counter);
    (void)read_be32(h, kDbValidForOffset, &valid_for);
    (void)read_be32(h, kDbFreelistTrunkOffset, &trunk);
    const std::uint64_t size = bytes.file->size();
    const bool header_count = counted != 0 && counter == valid_for;
    std::uint64_t count = size / page_size;
    // The library takes the last commit's size beside a log, else the header's count where it is kept up to
    // date, and reads the bytes missing from the file as zeros.
    if (bytes.frames != nullptr && bytes.log_pages != 0)
        count = bytes.log_pages;
    else if (header_count)
        count = counted;
    // The size is judged against the committed state: a log's frames may hold the pages the file lacks.
    const wal_frame_map* frames = bytes.frames != nullptr ? bytes.frames : bytes.size_frames;
    std::uint64_t judged = count;
    if (bytes.frames == nullptr && bytes.size_frames != nullptr && bytes.size_pages != 0)
        judged = bytes.size_pages;
    if ((header_count || frames != nullptr) && size < judged * page_size)
        out.cut_short = missing_pages(size, judged, page_size, frames);
    out.pages = count;
    out.trees.assign(trees.size(), tree_verdict());
    state_pages pages(bytes, page_size);
    const std::uint64_t present =
        bytes.present_pages != 0 ? bytes.present_pages : (size + page_size - 1) / page_size;
    tree_checker checker(pages, page_size, reserved, count, present, trees, out);
    checker.mark_roots();
    checker.mark_free_list(trunk);
    checker.walk(-1, 1);
    // The trees whose rows the run reads claim their pages before the others: a tree no form reads never
    // takes a page of a table that is read.
    for (const bool rows : {true, false}) {
        for (std::size_t i = 0; i < trees.size(); ++i)
            if (trees[i].rows == rows) checker.walk(static_cast<int>(i), trees[i].root);
    }
    checker.check_leaves(bytes, threads);
    out.owners = checker.take_owners();
    return 1;
}

int check_database_trees(database_verdict& out, const database_source& source, database_view view,
                         const std::vector<listed_tree>& trees, unsigned threads) {
    out = database_verdict();
    committed_state state;
    if (!open_committed_state(state, source, view)) return 0;
    return check_database_trees(out, state.bytes(), trees, threads);
}
