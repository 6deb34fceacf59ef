#include "sqlite_format/tree_verdict.h"

page_owner database_verdict::owner_of(std::uint64_t page) const {
    page_owner owner;
    const std::uint32_t code = owners.get(page);
    if (code == kOwnerNobody) return owner;
    if (code == kOwnerFreeList) {
        owner.what = page_owner::kind::free_list;
        return owner;
    }
    owner.what = (code & kOwnerOverflow) != 0 ? page_owner::kind::overflow : page_owner::kind::tree;
    owner.tree = static_cast<int>((code & ~kOwnerOverflow) - kOwnerFirstTree) - 1;
    return owner;
}
