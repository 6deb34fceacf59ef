// Helpers for the tests of the tree check: a table of many leaves, some with overflow chains, and the
// verdict on it with the texts of its spans.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reader_fixtures.h"
#include "sqlite_format/tree_check.h"

namespace tree_fixtures {

namespace rf = reader_fixtures;

// Table t of `rows` rows on 1 KiB pages, every tenth with a payload of two overflow pages: over 300 leaves.
inline std::string make_table(const rf::temp_dir& dir, int rows) {
    const std::string path = dir.file("t.db");
    rf::make_db(
        path, 1024,
        "CREATE TABLE t(a INTEGER PRIMARY KEY, b); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
        "FROM n WHERE i < " +
            std::to_string(rows) +
            ") INSERT INTO t SELECT i, CASE WHEN i % 10 = 3 THEN zeroblob(2500) ELSE printf('%.280c', 'r') "
            "END FROM n;");
    return path;
}

// The root page of the tree the schema table lists as `name`.
inline std::uint32_t root_of(const std::string& path, const std::string& name) {
    return static_cast<std::uint32_t>(std::stoul(
        rf::query(path, "SELECT rootpage FROM sqlite_master WHERE name = '" + name + "';").at(0).at(0)));
}

inline std::uint32_t root_of_t(const std::string& path) {
    return static_cast<std::uint32_t>(
        std::stoul(rf::query(path, "SELECT rootpage FROM sqlite_master;").at(0).at(0)));
}

// The verdict on table t (its root page `root`) of the file at `path`, checked on `threads` threads; with
// `log`, in the committed state its log lays over it.
inline database_verdict check(const std::string& path, std::uint32_t root, unsigned threads,
                              bool log = false) {
    database_source source;
    database_verdict verdict;
    if (!source.open(path)) return verdict;
    (void)check_database_trees(verdict, source, log ? database_view::committed : database_view::file,
                               {listed_tree{root, "t", true}}, threads);
    return verdict;
}

inline std::vector<std::string> texts(const tree_verdict& v) {
    std::vector<std::string> out;
    for (const skipped_span& span : v.spans) out.push_back(skipped_span_text(span));
    return out;
}

}  // namespace tree_fixtures
