#include "notifications/table_checks.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "notifications/database_state.h"
#include "notifications/records.h"
#include "sqlite_format/tree_check.h"
#include "sqlite_format/tree_verdict.h"

table_checks check_tables(const selk_run& run, const database_source& source, database_view view,
                          const std::uint64_t masks[4]) {
    static const tree_verdict kSound;
    table_checks checks;
    for (const tree_verdict*& table : checks.tables) table = &kSound;
    const table_layout& layout = run.layout;
    std::vector<listed_tree> trees;
    for (std::size_t i = 0; i < layout.tree_roots.size() && i < layout.tree_names.size(); ++i)
        trees.push_back(listed_tree{layout.tree_roots[i], layout.tree_names[i], false});
    int tree_of[4] = {-1, -1, -1, -1};
    for (int slot = 0; slot < 4; ++slot) {
        if (masks[slot] == 0 || layout.roots[slot].page == 0) continue;
        for (std::size_t i = 0; i < trees.size() && tree_of[slot] < 0; ++i) {
            if (trees[i].root != layout.roots[slot].page) continue;
            trees[i].rows = true;
            trees[i].columns = static_cast<std::uint32_t>(layout.schemas[slot].fields.size());
            tree_of[slot] = static_cast<int>(i);
        }
    }
    // The notification table's tree is listed first: where another table the run reads names one of its
    // pages and nothing else (kind, the shape of the records, depth, keys) tells the two links apart, the
    // walks' order gives it to the table whose rows the report holds, and the other's link is its damage.
    const int first = tree_of[kSchemaNotification];
    if (first > 0) {
        std::rotate(trees.begin(), trees.begin() + first, trees.begin() + first + 1);
        for (int& tree : tree_of)
            if (tree >= 0 && tree < first) ++tree;
        tree_of[kSchemaNotification] = 0;
    }
    auto verdict = std::make_shared<database_verdict>();
    if (!check_database_trees(*verdict, source, view, trees, run.threads.checkers)) return checks;
    checks.verdict = verdict;
    const database_verdict& taken = *verdict;
    checks.cut_short = taken.cut_short;
    checks.foreign_links = taken.foreign_links;
    for (int slot = 0; slot < 4; ++slot) {
        if (tree_of[slot] >= 0) checks.tables[slot] = &taken.trees[static_cast<std::size_t>(tree_of[slot])];
    }
    return checks;
}
