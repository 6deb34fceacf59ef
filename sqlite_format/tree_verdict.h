// What the tree check finds in a database: for each table the run reads, its damage and what the walks of it
// must therefore not read; and for every page, who owns it. Built once, before any reader of the database
// starts, and only read after.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sqlite_format/btree.h"

enum class database_view : std::uint8_t;

// How page_values codes who owns a page: nobody, the free list, or a tree (kOwnerFirstTree + 1 +
// its index in the check's list, the schema table's being kOwnerFirstTree), with kOwnerOverflow for an
// overflow page of that tree's cells.
constexpr std::uint32_t kOwnerNobody = 0;
constexpr std::uint32_t kOwnerFreeList = 1;
constexpr std::uint32_t kOwnerFirstTree = 2;
constexpr std::uint32_t kOwnerOverflow = 0x80000000u;

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

// Who owns a page, as the check's walks took it.
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
    std::uint64_t pages = 0;  // the pages of the state, as the source counts them
    page_values owners{0};    // who owns each page (owner_of decodes it)
    database_view view{};     // the bytes it judged
    // Links of the free list and of trees no form reads to pages of the tables that are read, which keep
    // them: damage of the linking structure that costs no row ("the free list: trunk page 9 lists page 12,
    // a page of Notification").
    std::vector<std::string> foreign_links;

    // Who owns page `page`.
    page_owner owner_of(std::uint64_t page) const;
};
