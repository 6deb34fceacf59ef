// The rules of the verdict of the tree check: the survey of every tree's links as claims (page_claims.h),
// then the walk of every tree from its root (which link is refused for a page another link keeps, a loop or a
// page of the wrong kind), the keys a parent gives its children, the overflow chains, the leaves' cells (read
// by tree_cells.cpp, on threads where there are many) taken into their tree's verdict in the walk's order,
// and the pages a file cut short lacks.
#include "sqlite_format/tree_check.h"

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
#include "sqlite_format/tree_cells.h"

namespace {

// The codes of who reached a page first (tree_verdict.h).
constexpr std::uint32_t kNobody = kOwnerNobody;
constexpr std::uint32_t kFreeList = kOwnerFreeList;
constexpr std::uint32_t kFirstTree = kOwnerFirstTree;
constexpr std::uint32_t kOverflowPage = kOwnerOverflow;

std::string page_text(std::uint64_t page) { return "page " + std::to_string(page); }

// Reads one varint of the page at `at`; false when it does not end inside the first `end` bytes.
bool varint_at(const std::vector<std::uint8_t>& page, std::size_t at, std::size_t end, std::uint64_t* value,
               std::uint32_t* length) {
    if (at >= end) return false;
    return read_sqlite_varint(value, length, page.data() + at, end - at) != 0;
}

constexpr std::uint32_t kNoDepth = ~0u;

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

// A child link of an interior page: the child, the file offset of its cell, and a table's key.
struct child_link {
    std::uint32_t page;
    std::uint64_t offset;
    bool keyed;
    std::int64_t key;
    std::size_t cell;
};

// The children of an interior page, as the walks read them.
struct child_list {
    std::vector<child_link> links;  // its cells' links
    std::uint32_t right = 0;        // its right-most child
    std::uint16_t cells = 0;
};

bool kind_fits(std::uint8_t type, bool table) {
    return table ? (type == kPageTableInterior || type == kPageTableLeaf)
                 : (type == kPageIndexInterior || type == kPageIndexLeaf);
}

std::string hex(std::uint8_t b) {
    static const char digits[] = "0123456789abcdef";
    return std::string("0x") + digits[b >> 4] + digits[b & 15];
}

std::string child_text(const pending_page& item) { return "child page number " + std::to_string(item.page); }

// Tells `verdict` of the part of page `page` (at file offset `offset`, a page of `page_size` bytes) the walks
// skip: a span of the tree's damage.
void tell_span(tree_verdict& verdict, std::uint32_t page_size, std::uint64_t page, std::uint64_t offset,
               const std::string& what, const std::string& why, const std::string& cells) {
    verdict.spans.push_back(make_skipped_span(page, offset, page_size, what, why, cells));
}

// Reads the links of one interior page at a time, as every walk of the check reads them: each cell's child
// (with the keys its parent's cells give it, of a table), a cell the library would read from past the page or
// a content area that does not add up told to the walk's verdict (when it has one).
class link_reader {
  public:
    link_reader(const state_pages& pages, std::uint32_t page_size, std::uint32_t usable, std::uint64_t count)
        : pages_(pages), page_size_(page_size), usable_(usable), count_(count), buf_(page_size) {}

    // Reads page `page`; its type byte (page 1's after the database header).
    std::uint8_t read(std::uint64_t page) {
        (void)pages_.read(page, buf_.data());
        return buf_[page == 1 ? kDbHeaderSize : 0];
    }

    // The children of the interior page in buf_ (its header at `at`), read as its cells give them; a damaged
    // cell or content area told to `verdict` (when given).
    child_list children(const pending_page& item, std::size_t at, bool table, tree_verdict* verdict) {
        btree_page_header head;
        (void)read_btree_page_header(head, buf_.data(), buf_.size(), at, page_size_);
        child_list children;
        const bool readers_tell = read_child_links(children.links, item, head, table, verdict);
        if (verdict != nullptr && table && !readers_tell && item.page != 1) {
            const std::string fault = content_fault(buf_.data(), head, page_size_, usable_, scratch_);
            if (!fault.empty()) {
                tell(*verdict, item.page, (item.page - 1) * page_size_, "interior page", fault);
                verdict->spans.back().kept = true;
            }
        }
        children.right = head.right_child;
        children.cells = head.cell_count;
        return children;
    }

    // Whether the children are leaves: all are when the right-most one reads as one (every leaf of a sound
    // tree lies at one depth).
    bool unread_leaves(const child_list& children) const {
        return children.right != 0 && children.right <= count_ && leaf_type(children.right);
    }

    // The links of the children of page `item`, its right-most child's last.
    static std::vector<child_link> every_link(const child_list& children, const pending_page& item,
                                              std::uint32_t page_size) {
        std::vector<child_link> links = children.links;
        links.push_back(
            child_link{children.right, right_child_link((item.page - 1) * page_size), false, 0, 0});
        return links;
    }

    // The children `links` of page `item` onto the stack, then its right-most child `right` (when it has one
    // or `cells` cells), so that the right-most pops first: a table's each with the range of keys that its
    // parent's bounding keys give it. All are taken for leaves unread when the right-most one reads as one.
    void push(const pending_page& item, const child_list& children, bool table, tree_verdict* verdict,
              std::vector<pending_page>& stack) {
        const std::vector<child_link>& links = children.links;
        const std::uint32_t right = children.right;
        const std::uint16_t cells = children.cells;
        const std::uint64_t page_offset = (item.page - 1) * page_size_;
        const std::vector<bool> bounds = table ? bounding_keys(links, item, verdict) : std::vector<bool>();
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

  private:
    // Whether page `page` reads as a leaf page (its type byte, page 1's after the database header).
    bool leaf_type(std::uint64_t page) const {
        std::uint8_t type = 0;
        if (!pages_.type_of(page, &type)) return false;
        return type == kPageTableLeaf || type == kPageIndexLeaf;
    }

    // Reads the child links of the interior page in buf_ (its header `head`) into `links`, a table's with
    // their keys, and their cells' byte ranges into scratch_.extents. A child page number the library would
    // read from past the page (from whatever follows the page in its memory, which differs from run to run)
    // is told to `verdict` (when given); the readers skip the cell. A page whose pointer array runs past it
    // is told whole: no reader reads a cell of it. Returns whether a cell is left to the readers, which then
    // tell the page's content.
    bool read_child_links(std::vector<child_link>& links, const pending_page& item,
                          const btree_page_header& head, bool table, tree_verdict* verdict) {
        const byte_view b(buf_.data(), buf_.size());
        const std::uint16_t cells = head.cell_count;
        const std::size_t array = head.cell_pointers();
        const std::uint64_t page_offset = (item.page - 1) * page_size_;
        bool readers_tell =
            array + 2 * cells > usable_;  // a cell the readers skip: the page is theirs to tell
        scratch_.extents.clear();
        const std::string what = item.parent == 0 ? "root page" : "interior page";
        const std::string array_fault = array_past_page(head.at, kInteriorHeaderSize, cells, page_size_);
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
            if (ptr < array + 2 * cells || ptr + kChildPointerSize > usable_ ||
                !take_child_link(links, ptr, i, table, page_offset))
                readers_tell = true;
        }
        if (past_beyond_fit) {
            // Told before its cells, as the readers tell it.
            tell(*verdict, item.page, page_offset, what, count_why, cell_label(fit, cells - 1u));
            std::rotate(verdict->spans.begin() + static_cast<std::ptrdiff_t>(told_before),
                        verdict->spans.end() - 1, verdict->spans.end());
        }
        return readers_tell;
    }

    // The link of cell `cell` of the interior page in buf_, at `ptr` inside its usable bytes, into `links`
    // and its byte range into scratch_.extents; false, taking neither, where it is a table's and its key does
    // not decode inside the usable bytes (the readers skip the cell).
    bool take_child_link(std::vector<child_link>& links, std::uint16_t ptr, std::size_t cell, bool table,
                         std::uint64_t page_offset) {
        std::uint32_t child = 0;
        (void)read_be32(byte_view(buf_.data(), buf_.size()), ptr, &child);
        std::uint64_t key = 0;
        std::uint32_t used = 0;
        const bool keyed = table && varint_at(buf_, ptr + kChildPointerSize, usable_, &key, &used);
        if (table && !keyed) return false;
        scratch_.extents.push_back((std::uint32_t{ptr} << 16) | (ptr + kChildPointerSize + used - 1));
        links.push_back(child_link{child, page_offset + ptr, keyed, static_cast<std::int64_t>(key), cell});
        return true;
    }

    // Which keys of the table links `links` of page `item` bound their children: each in order inside the
    // page's own range. One out of order is told to `verdict` (when given).
    std::vector<bool> bounding_keys(const std::vector<child_link>& links, const pending_page& item,
                                    tree_verdict* verdict) {
        std::vector<bool> bounds(links.size(), false);
        key_range open = item.keys;
        for (std::size_t i = 0; i < links.size(); ++i) {
            if (open.holds(links[i].key)) {
                bounds[i] = true;
                open.low = links[i].key;
                open.has_low = true;
            } else if (verdict != nullptr) {
                tell(*verdict, item.page, (item.page - 1) * page_size_, "interior page",
                     "its key " + std::to_string(links[i].key) + " is out of order: page " +
                         std::to_string(item.page) + " holds the rowids " + item.keys.text(),
                     "cell " + std::to_string(links[i].cell));
            }
        }
        return bounds;
    }

    void tell(tree_verdict& verdict, std::uint64_t page, std::uint64_t offset, const std::string& what,
              const std::string& why, const std::string& cells = std::string()) {
        tell_span(verdict, page_size_, page, offset, what, why, cells);
    }

    const state_pages& pages_;
    const std::uint32_t page_size_;
    const std::uint32_t usable_;
    const std::uint64_t count_;
    std::vector<std::uint8_t> buf_;
    content_scratch scratch_;  // storage content_fault reuses
};

class tree_checker {
  public:
    // `count`: the pages the state has (a claim); the owners and claims are `claims`'.
    tree_checker(const state_pages& pages, std::uint32_t page_size, std::uint32_t usable, std::uint64_t count,
                 const std::vector<listed_tree>& trees, database_verdict& out, page_claims& claims)
        : pages_(pages),
          page_size_(page_size),
          usable_(usable),
          count_(count),
          trees_(trees),
          out_(out),
          claims_(claims),
          links_(pages, page_size, usable, count),
          buf_(page_size) {}

    // Reads the free list from the trunk at `trunk` as claims on its trunk and leaf pages, in the walks'
    // order; a trunk met again ends it. Nothing is owned or told.
    void survey_free_list(std::uint32_t trunk) {
        std::vector<std::uint8_t> page(page_size_);
        std::uint64_t link = kDbFreelistTrunkOffset, parent = 0;
        while (trunk != 0 && trunk <= count_ && claims_.owner(trunk) == kNobody &&
               claims_.claim(page_claim{trunk, parent, link, kFreeListTree, false, key_range(), 0, 0})) {
            if (pages_.read(trunk, page.data()) < kTrunkLeavesOffset) return;
            const byte_view b(page.data(), page.size());
            std::uint32_t next = 0, leaves = 0;
            (void)read_be32(b, kTrunkNextOffset, &next);
            (void)read_be32(b, kTrunkCountOffset, &leaves);
            const std::uint64_t at = (trunk - 1) * page_size_;
            for (std::uint32_t i = 0; i < std::min<std::uint64_t>(leaves, (usable_ - kTrunkLeavesOffset) / 4); ++i) {
                std::uint32_t leaf = 0;
                if (read_be32(b, kTrunkLeavesOffset + 4 * i, &leaf) && leaf != 0 && leaf <= count_ &&
                    claims_.owner(leaf) == kNobody)
                    (void)claims_.claim(page_claim{leaf, trunk, at + kTrunkLeavesOffset + 4 * i,
                                                   kFreeListTree, false, key_range(), 0, 0});
            }
            parent = trunk;
            link = at + kTrunkNextOffset;
            trunk = next;
        }
    }

    // The free list's trunk and leaf pages, from the trunk at `trunk`, but those a tree's link keeps (a page
    // two of them name goes to a tree only where it reads as a page of that tree: page_claims.h): a link of
    // the free list to a page of a tree, or to a page it reached before, is its own damage.
    void mark_free_list(std::uint32_t trunk) {
        std::vector<std::uint8_t> page(page_size_);
        std::string from = "the database header names trunk page";
        std::uint64_t link = kDbFreelistTrunkOffset;
        while (trunk != 0 && trunk <= count_ && claims_.owner(trunk) == kNobody &&
               claims_.keeps(trunk, link)) {
            claims_.own(trunk, kFreeList, 0);
            if (pages_.read(trunk, page.data()) < kTrunkLeavesOffset) return;
            const byte_view b(page.data(), page.size());
            std::uint32_t next = 0, leaves = 0;
            (void)read_be32(b, kTrunkNextOffset, &next);
            (void)read_be32(b, kTrunkCountOffset, &leaves);
            const std::uint32_t fit = (usable_ - kTrunkLeavesOffset) / 4;
            const std::uint64_t at = (trunk - 1) * page_size_;
            for (std::uint32_t i = 0; i < std::min(leaves, fit); ++i) {
                std::uint32_t leaf = 0;
                if (!read_be32(b, kTrunkLeavesOffset + 4 * i, &leaf) || leaf == 0 || leaf > count_) continue;
                const std::string lists = "trunk page " + std::to_string(trunk) + " lists page";
                if (claims_.owner(leaf) == kFreeList)
                    note_second_reference(lists, leaf);
                else if (claims_.owner(leaf) == kNobody &&
                         claims_.keeps(leaf, at + kTrunkLeavesOffset + 4 * i))
                    claims_.own(leaf, kFreeList, 0);
                else
                    note_free_list_link(lists, leaf);
            }
            from = "trunk page " + std::to_string(trunk) + " names trunk page";
            link = at + kTrunkNextOffset;
            trunk = next;
        }
        if (trunk == 0 || trunk > count_) return;
        if (claims_.owner(trunk) == kFreeList)
            note_second_reference(from, trunk);
        else
            note_free_list_link(from, trunk);
    }

    // A free-list link to a page the free list reached before (a loop, or a page listed twice): damage of the
    // free list that costs no row, and would send a reader that follows the list round for ever.
    void note_second_reference(const std::string& link, std::uint64_t page) {
        out_.foreign_links.push_back("the free list: " + link + " " + std::to_string(page) +
                                     ", a page the free list reached before (a second reference)");
    }

    // A free-list link to a page a tree keeps: the page is the tree's, whether its walk took it yet or not.
    void note_free_list_link(const std::string& link, std::uint64_t page) {
        if (claims_.owner(page) != kNobody) {
            note_foreign("the free list", link, page);
            return;
        }
        const page_claim* kept = claims_.keeper(page);
        if (kept != nullptr && kept->tree != kFreeListTree)
            out_.foreign_links.push_back("the free list: " + link + " " + std::to_string(page) +
                                         ", a page of " + tree_name(tree_code(kept->tree)));
    }

    // Every root is its own tree's before any walk: a link to a root is a link to another tree (or a loop).
    void mark_roots() {
        if (count_ >= 1) claims_.own(1, kFirstTree, 0);
        for (std::size_t i = 0; i < trees_.size(); ++i) {
            const std::uint32_t root = trees_[i].root;
            if (root != 0 && root <= count_ && claims_.owner(root) == kNobody)
                claims_.own(root, tree_code(static_cast<int>(i)), 0);
        }
    }

    // Reads the links of tree `index` (-1 for the schema table's, at page 1) from `root` as claims, depth
    // first from the right as the walk goes: below each page its first claim only. Nothing is owned or told.
    void survey(int index, std::uint64_t root) {
        if (root == 0 || root > count_ || claims_.owner(root) != tree_code(index)) return;
        const bool rows = index >= 0 && trees_[static_cast<std::size_t>(index)].rows;
        std::vector<pending_page> stack;
        stack.push_back(pending_page{root, 0, 0, 0, key_range(), 0});
        bool table = true;
        while (!stack.empty()) {
            const pending_page item = stack.back();
            stack.pop_back();
            if (item.parent != 0 && !survey_claim(index, item, table)) continue;
            // A page that two links name may be another tree's: nothing at or below it tells this tree's
            // records.
            const bool contested = item.contested || claims_.named_twice(item.page);
            if (item.leaf) {
                claims_.note_leaf_depth(index, item.depth);
                if (!contested) claims_.note_leaf(index, item.page);
                continue;
            }
            const std::uint8_t type = links_.read(item.page);
            const std::size_t at = item.page == 1 ? kDbHeaderSize : 0;
            if (item.parent == 0)
                table = type == kPageTableInterior || type == kPageTableLeaf ||
                        (rows && type == kPageIndexInterior);
            else if (!kind_fits(type, table))
                continue;
            if (type == kPageTableLeaf || type == kPageIndexLeaf) {
                claims_.note_leaf_depth(index, item.depth);
                if (!contested) claims_.note_leaf(index, item.page);
            }
            if (type != kPageTableInterior && type != kPageIndexInterior) continue;
            const child_list children = links_.children(item, at, table, nullptr);
            if (!rows && links_.unread_leaves(children)) {
                for (const child_link& link : children.links)
                    (void)survey_claim(index,
                                       pending_page{link.page, item.page, link.offset, link.offset,
                                                    key_range(), item.depth + 1, true},
                                       table);
                claims_.note_leaf_depth(index, item.depth + 1);
                continue;
            }
            const std::size_t pushed = stack.size();
            links_.push(item, children, table, nullptr, stack);
            for (std::size_t k = pushed; k < stack.size(); ++k) stack[k].contested = contested;
        }
    }

    // Walks tree `index` (-1 for the schema table's, at page 1) from `root`, depth first from the right.
    void walk(int index, std::uint64_t root) {
        const std::uint32_t code = tree_code(index);
        tree_verdict* verdict = index >= 0 && trees_[static_cast<std::size_t>(index)].rows
                                    ? &out_.trees[static_cast<std::size_t>(index)]
                                    : nullptr;
        if (root == 0 || root > count_ || claims_.owner(root) != code) return;
        std::vector<pending_page> stack;
        stack.push_back(pending_page{root, 0, 0, 0, key_range(), 0});
        walk_state state;
        while (!stack.empty()) {
            const pending_page item = stack.back();
            stack.pop_back();
            if (item.parent != 0) {
                std::string fault = link_fault(item, code);
                if (fault.empty() && item.leaf) fault = keeper_fault(item, code);
                if (!fault.empty()) {
                    refuse(index, verdict, item, code, fault);
                    continue;
                }
            }
            if (item.leaf) {
                // Claimed now, in the walk's order; its cells are checked once every tree is walked.
                claims_.own(item.page, code, item.parent);
                if (verdict != nullptr) take_leaf_job(index, item, *verdict, state.leaf_depth);
                continue;
            }
            walk_page(index, item, code, verdict, state, stack);
        }
    }

    // What the walk of one tree carries from page to page.
    struct walk_state {
        bool table = true;                    // the tree's pages are a table's (its root's kind)
        std::uint32_t leaf_depth = kNoDepth;  // the depth of the tree's first leaf
    };

    // The page of `item`, read: taken for tree `code` where its kind fits and its link keeps it, its children
    // queued or, for a leaf of a tree with rows, its cells.
    void walk_page(int index, const pending_page& item, std::uint32_t code, tree_verdict* verdict,
                   walk_state& state, std::vector<pending_page>& stack) {
        const std::uint8_t type = links_.read(item.page);
        const std::size_t at = item.page == 1 ? kDbHeaderSize : 0;
        if (item.parent == 0) {
            state.table = type == kPageTableInterior || type == kPageTableLeaf;
            if (verdict != nullptr && !state.table &&
                (type == kPageIndexInterior || type == kPageIndexLeaf)) {
                walk_index_root(item, at, type, code, *verdict, state, stack);
                return;
            }
        } else if (!kind_fits(type, state.table)) {
            // A page of the other kind of b-tree: its cells are no rows of this one. A page that is no
            // b-tree page at all is left to the readers, which stop or skip there.
            if (verdict != nullptr && (type == kPageIndexInterior || type == kPageIndexLeaf ||
                                       type == kPageTableInterior || type == kPageTableLeaf)) {
                verdict->refused_links.insert(item.link);
                tell(*verdict, item.parent, item.told_at, "interior page",
                     child_text(item) + " is a page of " + (state.table ? "an index" : "a table") +
                         " (type byte " + hex(type) + ")");
            }
            return;
        } else {
            const std::string fault = keeper_fault(item, code);
            if (!fault.empty()) {
                refuse(index, verdict, item, code, fault);
                return;
            }
        }
        claims_.own(item.page, code, item.parent);
        if (type == kPageTableInterior || type == kPageIndexInterior) {
            queue_children(item, at, type == kPageTableInterior, code, verdict, stack);
        } else if (type == kPageTableLeaf && verdict != nullptr) {
            take_leaf_job(index, item, *verdict, state.leaf_depth);
        }
    }

    // The schema lists a table at a root whose type byte is an index page's: damage. An interior page's
    // cells still lead to the table's leaves; a leaf's cells read as an index's are no rows.
    void walk_index_root(const pending_page& item, std::size_t at, std::uint8_t type, std::uint32_t code,
                         tree_verdict& verdict, walk_state& state, std::vector<pending_page>& stack) {
        const std::uint64_t offset = (item.page - 1) * page_size_;
        tell(verdict, item.page, offset, "root page",
             "its type byte " + hex(type) + " is an index page's, where the schema lists a table");
        if (type == kPageIndexLeaf) {
            verdict.refused_root = true;
            return;
        }
        verdict.spans.back().kept = true;
        state.table = true;
        claims_.own(item.page, code, 0);
        queue_children(item, at, true, code, &verdict, stack);
    }

    // A link of tree `index` not followed, for `fault`: its tree's damage where its rows are read, else
    // its note where it names a page of a table that is read.
    void refuse(int index, tree_verdict* verdict, const pending_page& item, std::uint32_t code,
                const std::string& fault) {
        if (verdict != nullptr) {
            verdict->refused_links.insert(item.link);
            tell(*verdict, item.parent, item.told_at, "interior page", fault);
        } else if (index >= 0) {
            note_foreign(tree_name(code), link_place(item.parent) + ": child page number", item.page);
        }
    }

    // Why the link of `item` does not take its page: another link keeps it (page_claims); empty when this
    // one does.
    std::string keeper_fault(const pending_page& item, std::uint32_t code) const {
        if (claims_.keeps(item.page, item.link)) return std::string();
        const page_claim& kept = *claims_.keeper(item.page);
        const std::uint32_t theirs = tree_code(kept.tree);
        if (theirs != code && claims_.tied(item.page)) return tied_fault(item);
        if (theirs != code) return child_text(item) + " is a page of " + tree_name(theirs);
        return child_text(item) + " is the child of page " + std::to_string(kept.parent) +
               ", whose depth and keys it fits (a page that two links name)";
    }

    // Why the link of `item` does not take its page, where nothing told its keeper's link from it: both links
    // named.
    std::string tied_fault(const pending_page& item) const {
        const page_claim& kept = *claims_.keeper(item.page);
        const std::string theirs = tree_name(tree_code(kept.tree));
        return child_text(item) + " is a page of " + theirs + " or of this table: the link of page " +
               std::to_string(kept.parent) + " at file offset " + std::to_string(kept.link) +
               " names it too, and nothing in its records, depth or keys tells which link is sound (it is "
               "read as " +
               theirs + "'s)";
    }

    // Counts the link of `item` in tree `index` (of a table's pages, with `table`) as a claim; true where
    // the survey goes on below its page. Links that name no page, page 1 or a root name no page to judge.
    bool survey_claim(int index, const pending_page& item, bool table) {
        if (!child_page_fault(item.page, count_).empty() || item.depth >= kMaxTreeDepth || item.page == 1 ||
            claims_.owner(item.page) != kNobody)
            return false;
        return claims_.claim(
            page_claim{item.page, item.parent, item.link, index, table, item.keys, item.depth, 0});
    }

    static std::uint32_t tree_code(int index) { return kFirstTree + static_cast<std::uint32_t>(index + 1); }

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

  private:
    std::string tree_name(std::uint32_t code) const {
        const std::uint32_t tree = code & ~kOverflowPage;
        if (tree == kFreeList) return "the free list";
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
        const std::uint32_t owner = claims_.owner(item.page);
        if (owner == kNobody) return std::string();
        if (owner == kFreeList) return child + " is a page of the free list";
        if ((owner & kOverflowPage) != 0) return child + " is an overflow page of " + tree_name(owner);
        if (owner != code) {
            if (claims_.tied(item.page) && !claims_.keeps(item.page, item.link)) return tied_fault(item);
            const std::size_t i = owner - kFirstTree - 1;
            const bool root = owner != kFirstTree && i < trees_.size() && trees_[i].root == item.page;
            return child + " is " + (root ? "the root page of " : "a page of ") + tree_name(owner);
        }
        // A page of this tree: an ancestor of the page that names it (a loop), or one reached before.
        for (std::uint64_t up = item.parent, steps = 0; up != 0 && steps <= kMaxTreeDepth;
             up = claims_.parent(up), ++steps) {
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
        const child_list children = links_.children(item, at, table, verdict);
        // Of a tree whose rows are not read, leaves are only claimed, unread.
        if (verdict == nullptr && links_.unread_leaves(children)) {
            claim_unread_leaves(link_reader::every_link(children, item, page_size_), item.page, code);
            return;
        }
        links_.push(item, children, table, verdict, stack);
    }

    // The pages `links` of page `parent` name that nobody took before and whose links keep them, claimed
    // for tree `code` unread.
    void claim_unread_leaves(const std::vector<child_link>& links, std::uint64_t parent, std::uint32_t code) {
        for (const child_link& link : links) {
            if (link.page == 0 || link.page > count_) continue;
            if (claims_.owner(link.page) != kNobody || !claims_.keeps(link.page, link.offset)) {
                note_foreign(tree_name(code), link_place(parent) + ": child page number", link.page);
                continue;
            }
            claims_.own(link.page, code, parent);
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
            } else if (claims_.owner(page) == code) {
                *fault = std::find(chain_.begin() + static_cast<std::ptrdiff_t>(before), chain_.end(),
                                   page) != chain_.end()
                             ? "comes back to page " + std::to_string(page) + " (a loop)"
                             : at + ", an overflow page of another cell";
            } else if (claims_.owner(page) == kFreeList) {
                *fault = at + ", a page of the free list";
            } else if (claims_.owner(page) != kNobody) {
                *fault = at + ", a page of " + tree_name(claims_.owner(page));
            }
            std::uint32_t next = 0;
            if (fault->empty() && !pages_.link_of_whole(page, &next))
                *fault = at + ", which the file does not hold whole";
            if (!fault->empty()) break;
            claims_.own(page, code, 0);
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

    // Whether pages of owner `code` hold rows the run reads: the schema table's, or a listed tree's with rows
    // (its overflow pages too).
    bool read_owner(std::uint32_t code) const {
        const std::uint32_t tree = code & ~kOverflowPage;
        if (tree == kFirstTree) return true;
        if (tree < kFirstTree) return false;
        const std::size_t i = tree - kFirstTree - 1;
        return i < trees_.size() && trees_[i].rows;
    }

    std::string link_place(std::uint64_t parent) const {
        return page_text(parent) + " (interior page, file offset " +
               std::to_string((parent - 1) * page_size_) + ")";
    }

    // A link of `what` (the free list, or a tree no form reads) to `page`, which a table the run reads holds:
    // that link is its own damage, said as such; no row is lost for it.
    void note_foreign(const std::string& what, const std::string& link, std::uint64_t page) {
        const std::uint32_t owner = claims_.owner(page);
        if (!read_owner(owner) && !(owner == kFreeList && what != "the free list")) return;
        const std::string held = (owner & kOverflowPage) != 0 ? "an overflow page of " : "a page of ";
        out_.foreign_links.push_back(what + ": " + link + " " + std::to_string(page) + ", " + held +
                                     tree_name(owner));
    }

    void tell(tree_verdict& verdict, std::uint64_t page, std::uint64_t offset, const std::string& what,
              const std::string& why, const std::string& cells = std::string()) {
        tell_span(verdict, page_size_, page, offset, what, why, cells);
    }

    const state_pages& pages_;
    const std::uint32_t page_size_;
    const std::uint32_t usable_;
    const std::uint64_t count_;
    const std::vector<listed_tree>& trees_;
    database_verdict& out_;
    page_claims& claims_;  // who keeps and owns each page
    link_reader links_;
    std::vector<std::uint8_t> buf_;     // a leaf's bytes
    std::vector<std::uint64_t> chain_;  // the pages of the overflow chain being followed
    // The leaves of the trees with rows, in the walks' order; in small blocks, so that no large allocation
    // moves the allocator's threshold for the read that follows.
    std::deque<leaf_job> jobs_;
};

bool tree_checker::check_in_parallel(const database_bytes& bytes, unsigned threads) {
    // The threads share the file through its positioned read, which no read window fills: a window would
    // hold memory the thread keeps.
    const uni::fileio& file = *bytes.file;
    if (bytes.frames != nullptr || file.in_memory || !file.is_open() || file.path.empty()) return false;
    const std::uint32_t page_size = page_size_;
    const std::uint32_t usable = usable_;
    const std::uint64_t count = count_;
    const std::deque<leaf_job>& jobs = jobs_;
    // The leaves of a group are read in windows of up to kRunBytes of the file, in page order: the leaves
    // of a table lie near each other (between its indexes' pages), and one read takes many of them.
    const std::size_t run_pages = std::max<std::size_t>(1, kRunBytes / page_size);
    const auto make_worker = [&]() -> std::function<void(std::size_t&, std::vector<leaf_result>&)> {
        auto buf = std::make_shared<std::vector<std::uint8_t>>(run_pages * page_size);
        auto order = std::make_shared<std::vector<std::pair<std::uint64_t, std::size_t>>>();
        return [&jobs, &file, buf, order, page_size, usable, count, run_pages](
                   std::size_t& group, std::vector<leaf_result>& out) {
            const std::size_t first = group * kGroupLeaves;
            const std::size_t n = std::min(kGroupLeaves, jobs.size() - first);
            out.resize(n);
            order->clear();
            for (std::size_t i = 0; i < n; ++i) order->emplace_back(jobs[first + i].item.page, i);
            std::sort(order->begin(), order->end());
            for (std::size_t i = 0; i < n;) {
                const std::uint64_t start = (*order)[i].first;
                std::size_t last = i;  // the last job the window holds
                while (last + 1 < n && (*order)[last + 1].first < start + run_pages) ++last;
                const std::uint64_t offset = (start - 1) * page_size;
                const std::size_t span =
                    static_cast<std::size_t>((*order)[last].first - start + 1) * page_size;
                const std::size_t have =
                    uni::read_shared(file, buf->data(), static_cast<std::uint32_t>(span), offset);
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

namespace {

// Reads every tree's links and the free list's as claims, in the walks' order (twice where a page that two
// links name is met: the second time their claims are kept whole), then judges the pages two links name.
void survey_trees(tree_checker& checker, page_claims& claims, const std::vector<listed_tree>& trees,
                  std::uint32_t trunk) {
    for (int pass = 0; pass < 2; ++pass) {
        checker.survey(-1, 1);
        for (const bool rows : {true, false}) {
            for (std::size_t i = 0; i < trees.size(); ++i)
                if (trees[i].rows == rows) checker.survey(static_cast<int>(i), trees[i].root);
            if (rows) checker.survey_free_list(trunk);
        }
        if (pass == 1 || !claims.contested()) break;
        claims.record_contested();
    }
    if (claims.contested()) claims.judge();
}

// The trees of the state `bytes` of `pages` pages (a claim) walked, each page taken for its keeper: the
// schema table's tree first, then the trees whose rows the run reads with their overflow chains, then the
// free list from `trunk`, then the other trees.
void walk_trees(database_verdict& out, const database_bytes& bytes, const database_header& header,
                std::uint64_t pages, const std::vector<listed_tree>& trees, unsigned threads) {
    state_pages state(bytes, header.page_size);
    const std::uint64_t present = bytes.present_pages != 0
                                      ? bytes.present_pages
                                      : (bytes.file->size() + header.page_size - 1) / header.page_size;
    page_claims claims(state, header.page_size, header.usable, pages, present, trees);
    tree_checker checker(state, header.page_size, header.usable, pages, trees, out, claims);
    checker.mark_roots();
    survey_trees(checker, claims, trees, header.freelist_trunk);
    checker.walk(-1, 1);
    // The trees whose rows the run reads take their pages, overflow chains included, before the free list
    // and the other trees: neither the free list nor a tree no form reads ever takes a page of a table that
    // is read.
    for (std::size_t i = 0; i < trees.size(); ++i)
        if (trees[i].rows) checker.walk(static_cast<int>(i), trees[i].root);
    checker.check_leaves(bytes, threads);
    checker.mark_free_list(header.freelist_trunk);
    for (std::size_t i = 0; i < trees.size(); ++i)
        if (!trees[i].rows) checker.walk(static_cast<int>(i), trees[i].root);
    out.owners = claims.take_owners();
}

}  // namespace

int check_database_trees(database_verdict& out, const database_source& source, database_view view,
                         const std::vector<listed_tree>& trees, unsigned threads) {
    out = database_verdict();
    const database_header& header = source.header_of(view);
    if (header.length < kDbHeaderSize || header.page_size == 0 || header.usable < kMinUsableSize) return 0;
    committed_state state;
    if (!open_committed_state(state, source, view)) return 0;
    const database_bytes bytes = state.bytes();
    if (bytes.file == nullptr || !bytes.file->is_open()) return 0;
    const std::uint32_t page_size = header.page_size;
    const std::uint64_t count = source.pages(view);
    // The size is judged against the committed state: a log's frames may hold the pages the file lacks.
    const std::uint64_t size = bytes.file->size();
    const wal_frame_map* frames = bytes.frames != nullptr ? bytes.frames : bytes.size_frames;
    std::uint64_t judged = count;
    if (bytes.frames == nullptr && bytes.size_frames != nullptr && bytes.size_pages != 0)
        judged = bytes.size_pages;
    if ((header.count_current || frames != nullptr) && size < judged * page_size)
        out.cut_short = missing_pages(size, judged, page_size, frames);
    out.pages = count;
    out.view = view;
    out.trees.assign(trees.size(), tree_verdict());
    walk_trees(out, bytes, header, count, trees, threads);
    return 1;
}
