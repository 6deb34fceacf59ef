#include "io/os_version.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {

void expect_cleared(const os_version_info& v) {
    EXPECT_FALSE(v.valid);
    EXPECT_FALSE(v.is_64bit);
    EXPECT_TRUE(v.name.empty());
    EXPECT_TRUE(v.version.empty());
    EXPECT_TRUE(v.release.empty());
    EXPECT_TRUE(v.node_name.empty());
    EXPECT_FALSE(v.short_release);
    EXPECT_TRUE(v.program_path.empty());
    EXPECT_TRUE(v.program_name.empty());
    EXPECT_EQ(v.file_id, 0u);
    EXPECT_TRUE(v.note.empty());
    EXPECT_FALSE(v.on_nonlocal_volume);
    EXPECT_FALSE(v.on_removable_media);
}

TEST(os_version, fresh_and_cleared_records_are_equal_and_empty) {
    const os_version_info fresh;
    expect_cleared(fresh);
    os_version_info used;
    used.valid = used.is_64bit = used.short_release = true;
    used.on_nonlocal_volume = used.on_removable_media = true;
    used.name = used.version = used.release = used.node_name = "x";
    used.program_path = used.program_name = used.note = "y";
    used.file_id = 77;
    used.clear();
    expect_cleared(used);
}

// The guard is used through base pointers and never copied; it carries nothing to undo.
static_assert(std::has_virtual_destructor<wow64_redirect_adt>::value, "guard is destroyed through its base");
static_assert(!std::is_copy_constructible<wow64_redirect_adt>::value, "a guard is not copied");
static_assert(std::is_polymorphic<wow64_redirect_adt>::value, "guard has a virtual table");

}  // namespace
