#include "time/macb.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class Macb : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

const std::uint64_t kT1 = kFiletimeUnix + 1600000000ull * kTicksPerSecond;  // 2020-09-13 12:26:40
const std::uint64_t kT2 = kT1 + 3600 * kTicksPerSecond;

TEST_F(Macb, clear_and_labels) {
    macb_input in;
    EXPECT_EQ(in.kind, 1u);
    in.set_times_raw(1, 2, 3, 4, 8);
    in.set_default_labels();
    in.description = "d";
    in.user_value = 9;
    in.add_event(5, "a", "b", "c");
    EXPECT_EQ(in.labels[2], "Metadata Changed");
    EXPECT_EQ(in.times[3], 4u);
    EXPECT_EQ(in.kind, 8u);
    in.clear();
    EXPECT_EQ(in.times[3], 0u);
    EXPECT_EQ(in.labels[0], "");
    EXPECT_EQ(in.description, "");
    EXPECT_EQ(in.kind, 1u);
    EXPECT_EQ(in.user_value, 0u);
    EXPECT_TRUE(in.event_times.empty());
    EXPECT_TRUE(in.event_texts[0].empty());
}

TEST_F(Macb, set_times_converts_to_unix_seconds) {
    macb_input in;
    in.set_times(0, kT1, kT1 + 10000000, 0, 1);
    EXPECT_EQ(in.times[0], 0u);
    EXPECT_EQ(in.times[1], 1600000000u);
    EXPECT_EQ(in.times[2], 1600000001u);
    EXPECT_EQ(in.times[3], 0u);
    EXPECT_EQ(in.kind, 8u);
    in.set_times(kT1 / 10, 0, 0, 0, 2);
    EXPECT_EQ(in.times[0], 1600000000u);
    in.set_times(1600000000ull * 1000000, 0, 0, 0, 4);
    EXPECT_EQ(in.times[0], 1600000000u);
    // Safari 0 is never converted; Safari 1 is 2001-01-01 00:00:01.
    in.set_times(0, 1, 0, 0, 0x40000);
    EXPECT_EQ(in.times[0], 0u);
    EXPECT_EQ(in.times[1], 978307201u);
    in.set_times(5, 6, 7, 8, 8);
    EXPECT_EQ(in.times[3], 8u);
    // An unknown kind changes nothing, the kind included.
    in.kind = 8;
    in.set_times(1, 1, 1, 1, 0x80000);
    EXPECT_EQ(in.times[0], 5u);
}

TEST_F(Macb, set_times_before_1970_gives_zero) {
    macb_input in;
    // 1601-01-02 and 1969-12-31 as FILETIME; Chrome and Firefox values before 1970; a Chrome value whose
    // FILETIME would not fit.
    in.set_times(kTicksPerDay, kFiletimeUnix - kTicksPerSecond, 1, 0, 1);
    EXPECT_EQ(in.times[0], 0u);
    EXPECT_EQ(in.times[1], 0u);
    EXPECT_EQ(in.times[2], 0u);
    in.set_times(kTicksPerDay / 10, 0x7FFFFFFFFFFFFFFFull, 0, 0, 2);
    EXPECT_EQ(in.times[0], 0u);
    EXPECT_EQ(in.times[1], 0u);
    in.set_times(static_cast<std::uint64_t>(-1000000000ll), 0, 0, 0, 4);
    EXPECT_EQ(in.times[0], 0u);
}

TEST_F(Macb, add_event_merges_texts_at_same_time) {
    macb_input in;
    in.add_event(kT1, "a", "x", "");
    in.add_event(kT1, "b", "", "z");
    ASSERT_EQ(in.event_times.size(), 1u);
    EXPECT_EQ(in.event_texts[0][0], "a; b");
    EXPECT_EQ(in.event_texts[1][0], "x");
    EXPECT_EQ(in.event_texts[2][0], "z");
    in.add_event(kT1, "a", "", "");
    EXPECT_EQ(in.event_texts[0][0], "a; b");
    in.add_event(kT2, "c", "", "");
    EXPECT_EQ(in.event_times.size(), 2u);
    EXPECT_EQ(in.event_used, (std::vector<unsigned char>{0, 0}));
}

TEST_F(Macb, equal_times_make_one_output_with_all_letters) {
    macb_input in;
    in.set_times_raw(kT1, kT1, kT1, kT1, 1);
    in.set_default_labels();
    in.user_value = 42;
    std::multimap<std::uint64_t, macb_output> out;
    build_macb_outputs(out, in, 1, 0);
    ASSERT_EQ(out.size(), 1u);
    const macb_output& o = out.begin()->second;
    EXPECT_EQ(out.begin()->first, kT1);
    EXPECT_EQ(o.macb, "MACB");
    EXPECT_EQ(o.type_text, "Last Modified; Last Access; Metadata Changed; Created");
    EXPECT_EQ(o.user_value, 42u);
    EXPECT_EQ(o.filetime, kT1);
    EXPECT_TRUE(o.event_time.valid);
    EXPECT_EQ(o.valid, 1);
}

TEST_F(Macb, groups_with_description_and_events) {
    macb_input in;
    in.description = "file.txt";
    in.set_times_raw(1600000000, 1600003600, 0, 1600000000, 8);
    in.add_event(kT1, "evt", "s", "f");
    in.add_event(kT1 + 5, "lonely", "s2", "f2");
    std::multimap<std::uint64_t, macb_output> out;
    build_macb_outputs(out, in, 8, 0);
    ASSERT_EQ(out.size(), 3u);
    const auto mb = out.find(1600000000);
    ASSERT_NE(mb, out.end());
    EXPECT_EQ(mb->second.macb, "M..B");
    EXPECT_EQ(mb->second.type_text, "file.txt [M..B; evt]");
    EXPECT_EQ(mb->second.source, "s");
    EXPECT_EQ(mb->second.filename, "f");
    EXPECT_EQ(mb->second.kind, 8u);
    EXPECT_EQ(mb->second.event_time.filetime, kT1);
    const auto a = out.find(1600003600);
    ASSERT_NE(a, out.end());
    EXPECT_EQ(a->second.macb, ".A..");
    EXPECT_EQ(a->second.type_text, "file.txt [.A..]");
    const auto lone = out.find(kT1 + 5);
    ASSERT_NE(lone, out.end());
    EXPECT_EQ(lone->second.macb, "..C.");
    EXPECT_EQ(lone->second.type_text, "lonely");
    EXPECT_EQ(lone->second.source, "s2");
}

TEST_F(Macb, invalid_times_make_no_group) {
    macb_input in;
    in.set_times_raw(0, 0, 1600000000, 0, 8);
    in.description = "x";
    std::multimap<std::uint64_t, macb_output> out;
    build_macb_outputs(out, in, 8, 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out.begin()->second.macb, "..C.");
    EXPECT_EQ(out.begin()->second.type_text, "x [..C.]");
}

}  // namespace
