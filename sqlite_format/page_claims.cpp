#include "sqlite_format/page_claims.h"

#include <algorithm>
#include <utility>

#include "sqlite_format/btree.h"
#include "sqlite_format/database_source.h"
#include "sqlite_format/format.h"
#include "sqlite_format/layout.h"

namespace {

// How counts_ keeps a page's claims: how many the first survey met (1, or 2 for two and more), and whether
// the second survey met it yet.
constexpr std::uint32_t kClaimCount = 3;
constexpr std::uint32_t kSeenAgain = 4;
constexpr std::uint32_t kNoHeight = ~0u;
// How much of a tree judge() reads for the shape of its records: leaves spread over the tree, records of
// each.
constexpr std::size_t kShapeLeaves = 16;
constexpr std::size_t kShapeRecords = 64;

// The storage class of serial type `type` as a bit: 1 null, 2 integer, 4 real, 8 blob, 16 text; 0 for the
// types no record holds.
std::uint8_t class_bit(std::uint64_t type) {
    if (type == 0) return 1;
    if (type == 7) return 4;
    if (type <= 9) return 2;
    if (type < 12) return 0;
    return type % 2 == 0 ? 8 : 16;
}

// The rowid or key of cell `cell` of the table page in `page` (its header `head`); false where it does not
// decode inside the page.
bool cell_key(const byte_view& page, const btree_page_header& head, std::size_t cell, std::int64_t* key) {
    std::uint16_t ptr = 0;
    std::uint64_t first = 0, value = 0;
    std::uint32_t used = 0, used_value = 0;
    if (!read_be16(page, head.cell_pointers() + 2 * cell, &ptr)) return false;
    if (head.leaf()) {
        // A leaf cell: its payload length, then its rowid.
        if (!read_varint_complete(page, ptr, &first, &used) ||
            !read_varint_complete(page, ptr + used, &value, &used_value))
            return false;
    } else if (!read_varint_complete(page, ptr + kChildPointerSize, &value, &used_value)) {
        return false;
    }
    *key = static_cast<std::int64_t>(value);
    return true;
}

}  // namespace

// What judge() reads of a page that two links name.
struct page_claims::page_facts {
    std::uint8_t type = 0;
    bool keyed = false;                // a table page with cells whose keys all decode
    std::vector<std::int64_t> keys;    // its rowids (a leaf's) or keys (an interior page's)
    std::uint32_t height = kNoHeight;  // levels below it to its leaves: 0 for a leaf
};

bool page_claims::tree_shape::fits(const record_shape& r) const {
    if (std::find(counts.begin(), counts.end(), r.values) == counts.end()) return false;
    for (std::size_t i = 0; i < std::min<std::size_t>(r.values, kShapeColumns); ++i)
        if (r.classes[i] != 1 && (r.classes[i] & classes[i]) == 0) return false;
    return true;
}

page_claims::page_claims(const state_pages& pages, std::uint32_t page_size, std::uint32_t usable,
                         std::uint64_t count, std::uint64_t present, const std::vector<listed_tree>& trees)
    : pages_(pages),
      page_size_(page_size),
      usable_(usable),
      count_(count),
      trees_(trees),
      counts_(std::min(count, present)),
      owners_(std::min(count, present)),
      parents_(std::min(count, present)) {}

bool page_claims::claim(const page_claim& claim) {
    const std::uint32_t held = counts_.get(claim.page);
    if (recording_) {
        if ((held & kClaimCount) >= 2) {
            page_claim kept = claim;
            kept.order = order_++;
            claims_[claim.page].push_back(kept);
        }
        counts_.set(claim.page, held | kSeenAgain);
        return (held & kSeenAgain) == 0;
    }
    const std::uint32_t seen = held & kClaimCount;
    if (seen == 1) contested_ = true;
    counts_.set(claim.page, std::min<std::uint32_t>(seen + 1, 2));
    return seen == 0;
}

void page_claims::note_leaf_depth(int tree, std::uint32_t depth) {
    if (!recording_) leaf_depths_.emplace(tree, depth);
}

bool page_claims::named_twice(std::uint64_t page) const { return (counts_.get(page) & kClaimCount) >= 2; }

void page_claims::note_leaf(int tree, std::uint64_t page) {
    if (!recording_ || tree < 0 || !trees_[static_cast<std::size_t>(tree)].rows || named_twice(page)) return;
    leaves_[tree].push_back(page);
}

void page_claims::record_contested() {
    recording_ = true;
    order_ = 0;
}

page_claims::page_facts page_claims::facts_of(std::uint64_t page) const {
    page_facts facts;
    std::vector<std::uint8_t> bytes(page_size_);
    const std::size_t present = pages_.read(page, bytes.data());
    btree_page_header head;
    (void)read_btree_page_header(head, bytes.data(), present, page == 1 ? kDbHeaderSize : 0, page_size_);
    facts.type = head.type;
    if ((head.type == kPageTableLeaf || head.type == kPageTableInterior) && head.cell_count != 0) {
        // Every key: a page whose first keys fit a link may hold others that do not.
        const byte_view b(bytes.data(), std::min<std::size_t>(present, usable_));
        facts.keys.resize(head.cell_count);
        facts.keyed = true;
        for (std::size_t i = 0; i < head.cell_count && facts.keyed; ++i)
            facts.keyed = cell_key(b, head, i, &facts.keys[i]);
    }
    facts.height = height(page);
    return facts;
}

// Down the right-most children to a leaf: the levels below `page`, kNoHeight where the way down breaks.
std::uint32_t page_claims::height(std::uint64_t page) const {
    std::vector<std::uint8_t> bytes(page_size_);
    for (std::uint32_t levels = 0; levels <= kMaxTreeDepth; ++levels) {
        if (page == 0 || page > count_) return kNoHeight;
        const std::size_t present = pages_.read(page, bytes.data());
        btree_page_header head;
        (void)read_btree_page_header(head, bytes.data(), present, page == 1 ? kDbHeaderSize : 0, page_size_);
        if (head.leaf()) return levels;
        if (!head.interior()) return kNoHeight;
        page = head.right_child;
    }
    return kNoHeight;
}

// The first table leaf below `page`, down its first children; 0 where the way down breaks.
std::uint64_t page_claims::first_leaf_below(std::uint64_t page) const {
    std::vector<std::uint8_t> bytes(page_size_);
    for (std::uint32_t levels = 0; levels <= kMaxTreeDepth; ++levels) {
        if (page == 0 || page > count_) return 0;
        const std::size_t present = pages_.read(page, bytes.data());
        btree_page_header head;
        (void)read_btree_page_header(head, bytes.data(), present, page == 1 ? kDbHeaderSize : 0, page_size_);
        if (head.type == kPageTableLeaf) return page;
        std::uint16_t ptr = 0;
        std::uint32_t child = 0;
        const byte_view b(bytes.data(), std::min<std::size_t>(present, usable_));
        if (head.type != kPageTableInterior || head.cell_count == 0 ||
            !read_be16(b, head.cell_pointers(), &ptr) || !read_be32(b, ptr, &child))
            return 0;
        page = child;
    }
    return 0;
}

// The shapes of up to `most` records of the table leaf `page` into `out`: of those whose header lies whole
// in the cell's bytes on the page.
void page_claims::read_shapes(std::uint64_t page, std::vector<record_shape>& out, std::size_t most) const {
    if (page == 0) return;
    std::vector<std::uint8_t> bytes(page_size_);
    const std::size_t present = pages_.read(page, bytes.data());
    btree_page_header head;
    (void)read_btree_page_header(head, bytes.data(), present, page == 1 ? kDbHeaderSize : 0, page_size_);
    if (head.type != kPageTableLeaf) return;
    const byte_view b(bytes.data(), std::min<std::size_t>(present, usable_));
    for (std::size_t i = 0, taken = 0; i < head.cell_count && taken < most; ++i) {
        std::uint16_t ptr = 0;
        std::uint64_t payload = 0, rowid = 0, header = 0, local = 0;
        std::uint32_t n = 0, m = 0, h = 0;
        if (!read_be16(b, head.cell_pointers() + 2 * i, &ptr)) break;
        if (!read_varint_complete(b, ptr, &payload, &n) || !read_varint_complete(b, ptr + n, &rowid, &m) ||
            !local_payload_bytes(payload, usable_, true, &local))
            continue;
        const std::size_t start = ptr + n + m;
        if (!read_varint_complete(b, start, &header, &h) || header < h || header > local ||
            start + header > b.size)
            continue;
        record_shape shape;
        std::size_t at = start + h;
        for (; at < start + header; ++shape.values) {
            std::uint64_t type = 0;
            std::uint32_t used = 0;
            if (!read_varint_complete(b, at, &type, &used) || class_bit(type) == 0) break;
            if (shape.values < kShapeColumns) shape.classes[shape.values] = class_bit(type);
            at += used;
        }
        if (at != start + header) continue;
        out.push_back(shape);
        ++taken;
    }
}

// The shape of the records of tree `tree` (one with rows): read from leaves spread over its leaves one link
// names; where none is read, the count of columns its schema declares.
const page_claims::tree_shape& page_claims::shape_of(int tree) {
    const auto found = shapes_.find(tree);
    if (found != shapes_.end()) return found->second;
    tree_shape& shape = shapes_[tree];
    const std::vector<std::uint64_t>& leaves = leaves_[tree];
    std::vector<record_shape> records;
    const std::size_t step = std::max<std::size_t>(1, leaves.size() / kShapeLeaves);
    for (std::size_t i = 0; i < leaves.size(); i += step) read_shapes(leaves[i], records, kShapeRecords);
    for (const record_shape& r : records) {
        if (std::find(shape.counts.begin(), shape.counts.end(), r.values) == shape.counts.end())
            shape.counts.push_back(r.values);
        for (std::size_t c = 0; c < kShapeColumns; ++c) shape.classes[c] |= r.classes[c];
    }
    shape.known = !records.empty();
    const std::uint32_t declared = trees_[static_cast<std::size_t>(tree)].columns;
    if (!shape.known && declared != 0) {
        shape.known = true;
        shape.counts.push_back(declared);
        std::fill(std::begin(shape.classes), std::end(shape.classes), std::uint8_t{0xff});
    }
    return shape;
}

// Of the claims `candidates` on `page`, those of the tables that are read whose records the records below
// the page fit best; all of them where no such table's records fit any.
std::vector<const page_claim*> page_claims::shaped(const std::vector<const page_claim*>& candidates,
                                                   std::uint64_t page) {
    std::vector<record_shape> records;
    bool looked = false;
    std::vector<std::size_t> fit(candidates.size(), 0);
    std::size_t best = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const int tree = candidates[i]->tree;
        if (tree < 0 || !trees_[static_cast<std::size_t>(tree)].rows) continue;
        const tree_shape& shape = shape_of(tree);
        if (!shape.known) continue;
        if (!looked) {
            read_shapes(first_leaf_below(page), records, kShapeRecords);
            looked = true;
        }
        for (const record_shape& r : records) fit[i] += shape.fits(r) ? 1 : 0;
        best = std::max(best, fit[i]);
    }
    if (best == 0) return candidates;
    std::vector<const page_claim*> out;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        if (fit[i] == best) out.push_back(candidates[i]);
    return out;
}

bool page_claims::kind_fits(const page_claim& claim, const page_facts& facts) const {
    if (claim.tree == kFreeListTree) return true;
    const bool table = facts.type == kPageTableInterior || facts.type == kPageTableLeaf;
    const bool index = facts.type == kPageIndexInterior || facts.type == kPageIndexLeaf;
    return claim.table ? table : index;
}

void page_claims::judge() {
    for (const auto& entry : claims_) {
        const std::vector<page_claim>& claims = entry.second;
        const page_facts facts = facts_of(entry.first);
        std::vector<const page_claim*> candidates;
        for (const page_claim& c : claims)
            if (kind_fits(c, facts)) candidates.push_back(&c);
        if (candidates.empty()) continue;
        // The depth it implies and every key it gives; then a table the run reads; then the walks' order.
        const auto fits = [&](const page_claim& c) {
            int points = 0;
            const auto depth = leaf_depths_.find(c.tree);
            if (facts.height != kNoHeight && depth != leaf_depths_.end() &&
                c.depth + facts.height == depth->second)
                points += 2;
            if (!c.table || (facts.keyed && std::all_of(facts.keys.begin(), facts.keys.end(),
                                                        [&](std::int64_t key) { return c.keys.holds(key); })))
                points += 2;
            return points;
        };
        const auto read = [&](const page_claim& c) {
            return c.tree == -1 || (c.tree >= 0 && trees_[static_cast<std::size_t>(c.tree)].rows);
        };
        // Against the free list, a tree that is read, or one whose depth and keys the page fits.
        const auto free = std::find_if(candidates.begin(), candidates.end(),
                                       [](const page_claim* c) { return c->tree == kFreeListTree; });
        if (free != candidates.end()) {
            const page_claim* kept = *free;
            std::vector<const page_claim*> trees;
            for (const page_claim* c : candidates)
                if (c->tree != kFreeListTree && (read(*c) || fits(*c) == 4)) trees.push_back(c);
            if (trees.empty()) {
                keepers_.emplace(entry.first, *kept);
                continue;
            }
            candidates = trees;
        }
        // Of two tables that are read, the one whose other leaves' records the records below the page fit.
        candidates = shaped(candidates, entry.first);
        const auto score = [&](const page_claim& c) { return fits(c) + (read(c) ? 1 : 0); };
        const page_claim* best = candidates.front();
        for (const page_claim* c : candidates)
            if (score(*c) > score(*best)) best = c;
        for (const page_claim* c : candidates)
            if (c != best && c->tree != best->tree && score(*c) == score(*best)) tied_.insert(entry.first);
        keepers_.emplace(entry.first, *best);
    }
    claims_.clear();
}

bool page_claims::keeps(std::uint64_t page, std::uint64_t link) const {
    const page_claim* kept = keeper(page);
    return kept == nullptr || kept->link == link;
}

const page_claim* page_claims::keeper(std::uint64_t page) const {
    if (keepers_.empty()) return nullptr;
    const auto found = keepers_.find(page);
    return found == keepers_.end() ? nullptr : &found->second;
}

void page_claims::own(std::uint64_t page, std::uint32_t code, std::uint64_t parent) {
    owners_.set(page, code);
    if (parent != 0) parents_.set(page, parent);
}
