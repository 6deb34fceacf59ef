#include "io/filter_entry.h"

#include <gtest/gtest.h>

namespace {

filename_filter filled_entry() {
    filename_filter f;
    f.path_text_length = 6;
    f.path_text = L"/users";
    f.pattern = L"*.db:zone*";
    f.name_text = L".db";
    f.stream_text = L"zone";
    f.signature = {0x53, 0x51, 0x4c};
    f.signature_offset = 16;
    f.is_folder = true;
    f.match_all = true;
    f.name_ends_with = true;
    f.name_starts_with = true;
    f.has_stream = true;
    f.any_stream = true;
    f.stream_ends_with = true;
    f.stream_starts_with = true;
    return f;
}

void expect_empty(const filename_filter& f) {
    EXPECT_EQ(f.path_text_length, 0u);
    EXPECT_TRUE(f.path_text.empty());
    EXPECT_TRUE(f.pattern.empty());
    EXPECT_TRUE(f.name_text.empty());
    EXPECT_TRUE(f.stream_text.empty());
    EXPECT_TRUE(f.signature.empty());
    EXPECT_EQ(f.signature_offset, 0u);
    EXPECT_FALSE(f.is_folder);
    EXPECT_FALSE(f.match_all);
    EXPECT_FALSE(f.name_ends_with);
    EXPECT_FALSE(f.name_starts_with);
    EXPECT_FALSE(f.has_stream);
    EXPECT_FALSE(f.any_stream);
    EXPECT_FALSE(f.stream_ends_with);
    EXPECT_FALSE(f.stream_starts_with);
}

void expect_same(const filename_filter& a, const filename_filter& b) {
    EXPECT_EQ(a.path_text_length, b.path_text_length);
    EXPECT_EQ(a.path_text, b.path_text);
    EXPECT_EQ(a.pattern, b.pattern);
    EXPECT_EQ(a.name_text, b.name_text);
    EXPECT_EQ(a.stream_text, b.stream_text);
    EXPECT_EQ(a.signature, b.signature);
    EXPECT_EQ(a.signature_offset, b.signature_offset);
    EXPECT_EQ(a.is_folder, b.is_folder);
    EXPECT_EQ(a.match_all, b.match_all);
    EXPECT_EQ(a.name_ends_with, b.name_ends_with);
    EXPECT_EQ(a.name_starts_with, b.name_starts_with);
    EXPECT_EQ(a.has_stream, b.has_stream);
    EXPECT_EQ(a.any_stream, b.any_stream);
    EXPECT_EQ(a.stream_ends_with, b.stream_ends_with);
    EXPECT_EQ(a.stream_starts_with, b.stream_starts_with);
}

TEST(filename_filter_entry, new_entry_is_empty) {
    filename_filter f;
    expect_empty(f);
}

TEST(filename_filter_entry, clear_resets_every_field) {
    filename_filter f = filled_entry();
    f.clear();
    expect_empty(f);
}

TEST(filename_filter_entry, copy_carries_every_field_and_owns_its_signature) {
    const filename_filter src = filled_entry();
    filename_filter copy(src);
    expect_same(copy, src);
    copy.signature[0] = 0xff;
    EXPECT_EQ(src.signature[0], 0x53);
}

TEST(filename_filter_entry, assignment_replaces_every_field) {
    const filename_filter src = filled_entry();
    filename_filter target;
    target.pattern = L"other";
    target = src;
    expect_same(target, src);
    filename_filter& self = target;
    target = self;
    expect_same(target, src);
    target = filename_filter();
    expect_empty(target);
}

}  // namespace
