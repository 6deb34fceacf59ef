// What the tree check keeps per page: dense for the pages present, in a map for those past them; and who owns
// a page, decoded from its code.
#include "sqlite_format/tree_verdict.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(PageValues, ThePagesPresentAndThosePastThemKeepWhatIsSet) {
    page_values values(4);
    // A page never set reads 0, within the dense part and past it alike.
    for (const std::uint64_t page : {0ull, 1ull, 4ull, 5ull, 1ull << 40})
        EXPECT_EQ(values.get(page), 0u) << page;
    values.set(4, 7);
    values.set(5, 8);
    values.set(1ull << 40, 9);
    EXPECT_EQ(values.get(4), 7u);
    EXPECT_EQ(values.get(5), 8u);
    EXPECT_EQ(values.get(1ull << 40), 9u);
    EXPECT_EQ(values.get(3), 0u);
}

TEST(DatabaseVerdict, OwnerOfDecodesWhoReachedAPageFirst) {
    database_verdict verdict;
    verdict.owners = page_values(8);
    verdict.owners.set(1, kOwnerFirstTree);                           // the schema table's
    verdict.owners.set(2, kOwnerFreeList);                            // the free list's
    verdict.owners.set(3, kOwnerFirstTree + 1 + 2);                   // the third listed tree's
    verdict.owners.set(100, (kOwnerFirstTree + 1) | kOwnerOverflow);  // an overflow page of the first's
    struct owner_case {
        std::uint64_t page;
        page_owner::kind what;
        int tree;
    };
    for (const owner_case& c :
         {owner_case{1, page_owner::kind::tree, -1}, owner_case{2, page_owner::kind::free_list, -1},
          owner_case{3, page_owner::kind::tree, 2}, owner_case{100, page_owner::kind::overflow, 0},
          owner_case{4, page_owner::kind::nobody, -1}}) {
        const page_owner owner = verdict.owner_of(c.page);
        EXPECT_EQ(owner.what, c.what) << c.page;
        EXPECT_EQ(owner.tree, c.tree) << c.page;
    }
}

}  // namespace
