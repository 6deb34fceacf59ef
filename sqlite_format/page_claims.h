// Who owns each page of a database: the claims the links of its trees and of its free list make on pages,
// judged before any page is owned, and the owners the walks of the tree check then take (tree_check.h).
//
// Every link of every tree (the schema table's, those of the tables the run reads, those of the trees no
// form reads) and every entry of the free list (the header's first trunk, each trunk's next trunk and its
// leaves) is first read as a claim on the page it names: the page that holds it, the keys it gives, the
// depth it implies and the kind of page it expects. A page one link names is that link's. A page that two
// name is judged, kind before everything:
//   1. a tree's link whose kind of b-tree page the page is not loses (a free list's link fits any page);
//   2. against the free list, a tree keeps the page only where it is a table the run reads (or the schema
//      table), or where the page fits the depth and every key its link gives: a free page keeps whatever a
//      tree wrote there before, and only the free list has it walked whole;
//   3. of two tables that are read, the one whose other leaves hold records of the page's shape (their count
//      of values and storage classes);
//   4. the depth its link implies and every key it gives (2 points each), a table the run reads (1 point);
//   5. the first in the walks' order, said where the links' trees differ.
// The walks then take each page through its keeper's link only: every other link to it is its own
// structure's damage, whichever of them the walk met first. An overflow chain takes only pages no tree
// keeps and that read as no b-tree page: a tree's link to one of its pages is of a kind that does not fit.
// The carver asks the same owners which pages no walk reaches (page_reach.h).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sqlite_format/tree_cells.h"
#include "sqlite_format/tree_verdict.h"

class state_pages;

// The `tree` of a claim of the free list (a trunk or leaf entry, or the header's first trunk).
constexpr int kFreeListTree = -2;

// A b-tree the schema lists.
struct listed_tree {
    std::uint32_t root = 0;
    std::string name;
    bool rows = false;  // a table the run reads: its leaves, cells and overflow chains are checked too
    // The columns of the table its schema declares (0: not known): where two tables that are read claim one
    // page, the records below it tell whose page it is.
    std::uint32_t columns = 0;
};

// One link read as a claim on the page it names.
struct page_claim {
    std::uint64_t page = 0;    // the page it names
    std::uint64_t parent = 0;  // the interior page that holds it
    std::uint64_t link = 0;    // its file offset (right_child_link for a right child)
    int tree =
        -1;  // the tree whose walk read it: its index in the list, -1 the schema table's, kFreeListTree
    bool table = true;        // it expects a table's page, else an index's
    key_range keys;           // of a table's link: the rowids it gives the page
    std::uint32_t depth = 0;  // the depth it implies (the root's children lie at 1)
    std::uint64_t order = 0;  // in the walks' order
};

class page_claims {
  public:
    // Over `pages` of `page_size` bytes (`usable` of them the cells'), `count` pages in all (a claim: it
    // sizes nothing) of which `present` are there, for the trees `trees`.
    page_claims(const state_pages& pages, std::uint32_t page_size, std::uint32_t usable, std::uint64_t count,
                std::uint64_t present, const std::vector<listed_tree>& trees);

    // The survey, in the walks' order: counts `claim` on its page. True when the walk reading the links is
    // to go on below the page (its first claim). With record_contested(), a claim on a page that two links
    // name is kept whole, for judge().
    bool claim(const page_claim& claim);
    // The depth at which the survey met tree `tree`'s first leaf (the depth of its leaves).
    void note_leaf_depth(int tree, std::uint32_t depth);
    // A leaf `page` the survey met in tree `tree`, not below a page that two links name: with
    // record_contested(), those one link names are kept, for judge() to read the shape of the tree's
    // records from.
    void note_leaf(int tree, std::uint64_t page);
    // Whether the first survey met two links naming page `page`.
    bool named_twice(std::uint64_t page) const;
    // Whether a page that two links name was met: its claims are then read again, kept whole.
    bool contested() const { return contested_; }
    // Starts the survey again, keeping whole every claim on a page the first survey found two links name.
    void record_contested();
    // Judges each page that two links name from all of its claims: its keeper.
    void judge();

    // Whether the link at file offset `link` keeps page `page`: any link to a page one link names, only its
    // keeper's to one that two name.
    bool keeps(std::uint64_t page, std::uint64_t link) const;
    // The keeper of a page that two links name; null for any other page.
    const page_claim* keeper(std::uint64_t page) const;
    // Whether nothing told the keeper of `page` from another of its claims (its records, depth and keys fit
    // both alike): it is the keeper for coming first in the walks' order alone.
    bool tied(std::uint64_t page) const { return tied_.count(page) != 0; }

    // Who took page `page` in the walks (kOwnerNobody before any), and the page whose link led there.
    std::uint32_t owner(std::uint64_t page) const { return owners_.get(page); }
    std::uint64_t parent(std::uint64_t page) const { return parents_.get(page); }
    void own(std::uint64_t page, std::uint32_t code, std::uint64_t parent);
    page_values take_owners() { return std::move(owners_); }

  private:
    struct page_facts;
    // A record's count of values, and the storage class of each of the first kShapeColumns as a bit
    // (1 null, 2 integer, 4 real, 8 blob, 16 text).
    static constexpr std::size_t kShapeColumns = 32;
    struct record_shape {
        std::uint32_t values = 0;
        std::uint8_t classes[kShapeColumns] = {};
    };
    // What the records of a tree's leaves hold: the counts of values met, and the classes met in each column.
    struct tree_shape {
        bool known = false;  // records were read
        std::vector<std::uint32_t> counts;
        std::uint8_t classes[kShapeColumns] = {};
        bool fits(const record_shape& r) const;
    };
    page_facts facts_of(std::uint64_t page) const;
    bool kind_fits(const page_claim& claim, const page_facts& facts) const;
    std::uint32_t height(std::uint64_t page) const;
    std::uint64_t first_leaf_below(std::uint64_t page) const;
    void read_shapes(std::uint64_t page, std::vector<record_shape>& out, std::size_t most) const;
    const tree_shape& shape_of(int tree);
    std::vector<const page_claim*> shaped(const std::vector<const page_claim*>& candidates,
                                          std::uint64_t page);

    const state_pages& pages_;
    const std::uint32_t page_size_;
    const std::uint32_t usable_;
    const std::uint64_t count_;
    const std::vector<listed_tree>& trees_;
    page_values counts_;  // page -> claims met on it (1, or 2 for two or more)
    bool contested_ = false;
    bool recording_ = false;
    std::uint64_t order_ = 0;
    std::map<std::uint64_t, std::vector<page_claim>> claims_;  // of the pages two links name
    std::map<std::uint64_t, page_claim> keepers_;
    std::map<int, std::uint32_t> leaf_depths_;
    std::map<int, std::vector<std::uint64_t>> leaves_;  // the leaves one link names, of the trees with rows
    std::map<int, tree_shape> shapes_;
    std::set<std::uint64_t> tied_;
    page_values owners_;
    page_values parents_;
};
