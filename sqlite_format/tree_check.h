// One structural check of the b-trees of a database, which every form of the tool takes before it reads a
// table: the library does not see most damage to a tree (a child that is page 1 or a page of another tree,
// a loop, rowids out of order, an overflow chain that loops or ends early, a payload length nothing can hold)
// and reads on, printing foreign or repeated rows; the own walk is told by it what it must not read. It reads
// cell pointers, rowid and payload-length varints and overflow links, never a value.
//
// A page reached twice is the first reference's: the free list's first, then the schema table's, then those
// of the tables the run reads (in the schema's order), then those of the other trees, each tree depth first
// from its right-most child back to its first, as PRAGMA quick_check walks one. So a tree no form reads never
// takes a page of a table that is read: its link there is its own damage. It also tells each cell the library
// would read past the end of its page (a pointer past the page, a pointer array, payload length, rowid,
// payload or child page number that runs past it): the library reads on into whatever follows the page in its
// memory, which differs from run to run. Passing the check says that none of this damage was found, not that
// the rows are sound: a cell pointer into its page's header or pointer array or repeated, a cell count larger
// than the page holds whose pointer array still lies in it, or a page that is no b-tree page are left to the
// readers, which stop or skip there and say so (the library reads those inside the page, as they stand).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "io/fileio.h"
#include "sqlite_format/btree.h"
#include "sqlite_format/database_source.h"

// "the file is cut short: it holds X bytes where its header counts P pages of S bytes": the one wording of a
// file shorter than its header says.
std::string cut_short_text(std::uint64_t bytes, std::uint64_t pages, std::uint32_t page_size);

// A b-tree the schema lists.
struct listed_tree {
    std::uint32_t root = 0;
    std::string name;
    bool rows = false;  // a table the run reads: its leaves, cells and overflow chains are checked too
};

// The damage found in one table's tree, and what the walk of it must therefore not read.
struct tree_verdict {
    std::vector<skipped_span> spans;        // each damaged link, cell or chain, in the order found
    std::set<std::uint64_t> refused_links;  // file offsets of child pointers not followed (see link_offset)
    std::set<std::uint64_t> refused_cells;  // file offsets of leaf cells whose rows are not handed on
    // Cell file offset -> the payload bytes its damaged overflow chain gives soundly (the row is cut there).
    std::map<std::uint64_t, std::uint64_t> sound_payload;
    bool refused_root = false;  // the root is no table's page: nothing of the tree is read
    bool damaged() const { return !spans.empty(); }
};

// A value per page (0 for a page never set): in a vector for the pages whose bytes are there, in a map for
// those past them that links reach, so that what the check keeps follows the bytes present and a page count
// the file claims costs nothing.
class page_values {
  public:
    explicit page_values(std::uint64_t dense) : dense_(static_cast<std::size_t>(dense) + 1, 0) {}
    std::uint32_t get(std::uint64_t page) const {
        if (page < dense_.size()) return dense_[static_cast<std::size_t>(page)];
        const auto found = sparse_.find(page);
        return found == sparse_.end() ? 0 : found->second;
    }
    void set(std::uint64_t page, std::uint64_t value) {
        const auto v = static_cast<std::uint32_t>(value);
        if (page < dense_.size())
            dense_[static_cast<std::size_t>(page)] = v;
        else
            sparse_[page] = v;
    }

  private:
    std::vector<std::uint32_t> dense_;
    std::map<std::uint64_t, std::uint32_t> sparse_;
};

// Who reached a page first in the check's walks.
struct page_owner {
    enum class kind : std::uint8_t {
        nobody,     // no walk reached it
        free_list,  // a trunk or leaf page of the free list
        tree,       // a page of a b-tree
        overflow,   // an overflow page of a cell of a b-tree
    };
    kind what = kind::nobody;
    int tree = -1;  // of a tree or overflow page: the listed tree's index, -1 for the schema table's
};

// What check_database_trees finds.
struct database_verdict {
    std::vector<tree_verdict>
        trees;  // one per listed tree, in the list's order (empty for trees without rows)
    // For a file shorter than the committed state (its header's page count, or the last commit of a log
    // beside it): which pages are partial or missing that no frame of the log holds, and why ("page 15 is
    // partial: the file is cut short: ..."). Empty otherwise.
    std::string cut_short;
    std::uint64_t pages = 0;  // the pages of the state: the header's count when valid, else the whole pages
    page_values owners{0};    // who reached each page first (owner_of decodes it)

    // Who reached page `page` first.
    page_owner owner_of(std::uint64_t page) const;
};

// Checks the trees of the database in `bytes` (the page size from its header): every b-tree of `trees` for
// its links, and those with `rows` down to their cells, whose leaves up to `threads` threads may check (the
// verdict is the same with any number). Page 1's tree is walked first, then the trees with rows, then the
// others, each group in the list's order: a page that a table the run reads reaches is that table's, and a
// link from another tree to it is that tree's damage. Whatever it keeps per page it keeps densely only for
// the pages whose bytes are there (bytes.present_pages): a page count the file claims costs nothing. Returns
// 1 when it ran; 0 when the header does not read or has no valid page size (`out` then holds no verdict).
// Memory that runs out is thrown (std::bad_alloc), never taken for a verdict.
int check_database_trees(database_verdict& out, const database_bytes& bytes,
                         const std::vector<listed_tree>& trees, unsigned threads = 0);
// The same on `view` of `source`.
int check_database_trees(database_verdict& out, const database_source& source, database_view view,
                         const std::vector<listed_tree>& trees, unsigned threads = 0);
