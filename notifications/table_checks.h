// The tree check of one database for the tables the run reads (check_database_trees, in the bytes the
// read takes): each table's verdict by schema slot, and which pages of a file cut short are missing. The
// verdict, with who owns each page, is built once before any reader of the database starts, and shared
// with them (the carver asks its owners too), never written after.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sqlite_format/database_source.h"

class selk_run;
struct tree_verdict;
struct database_verdict;

// The tree check of one database for the tables the run reads: each one's verdict by schema slot, and the
// file's shortfall.
struct table_checks {
    const tree_verdict* tables[4];  // the verdict on each, or one of no damage
    std::string cut_short;  // which pages of a file cut short are partial or missing; empty when none is
    // Links of the free list and of trees no form reads to pages of the tables read (database_verdict).
    std::vector<std::string> foreign_links;
    std::shared_ptr<const database_verdict> verdict;  // the whole verdict; null where the check could not run
};

// Checks the trees of `view` of `source` for the tables of the run's layout with a mask in `masks` (by
// schema slot) and a root. Where the check cannot run (no valid page size), every table is taken as sound.
table_checks check_tables(const selk_run& run, const database_source& source, database_view view,
                          const std::uint64_t masks[4]);
