#include "time/macb_output.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>

namespace {

const bool kPinnedUtc = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

macb_output filled() {
    macb_output e;
    e.kind = 8;
    e.filetime = 132521874959025799ull;
    e.event_time = qm::time(132521874959025799ull, qm::type_filetime);
    e.event_time.tags["k"] = 2;
    e.macb = "M..B";
    e.type_text = "Created";
    e.user_value = 42;
    e.letter_texts = {"a", "", "", "b"};
    e.source = "src";
    e.filename = "f";
    e.user = "u";
    e.unprinted_text = "s";
    e.extra = "x";
    e.valid = 1;
    return e;
}

}  // namespace

TEST(MacbOutput, a_new_event_is_cleared) {
    ASSERT_TRUE(kPinnedUtc);
    const macb_output e;
    EXPECT_EQ(e.kind, 1u);
    EXPECT_EQ(e.filetime, 0u);
    EXPECT_EQ(e.user_value, 0u);
    EXPECT_EQ(e.valid, 0);
    EXPECT_FALSE(e.event_time.valid);
    EXPECT_TRUE(e.macb.empty());
    EXPECT_TRUE(e.letter_texts.empty());
}

TEST(MacbOutput, copies_every_field) {
    const macb_output e = filled();
    const macb_output c(e);
    EXPECT_EQ(c.kind, 8u);
    EXPECT_EQ(c.filetime, e.filetime);
    EXPECT_TRUE(c.event_time.valid);
    EXPECT_EQ(c.event_time.filetime, e.filetime);
    EXPECT_EQ(c.event_time.tags.at("k"), 2u);
    EXPECT_EQ(c.macb, "M..B");
    EXPECT_EQ(c.type_text, "Created");
    EXPECT_EQ(c.user_value, 42u);
    EXPECT_EQ(c.letter_texts, e.letter_texts);
    EXPECT_EQ(c.source, "src");
    EXPECT_EQ(c.filename, "f");
    EXPECT_EQ(c.user, "u");
    EXPECT_EQ(c.unprinted_text, "s");
    EXPECT_EQ(c.extra, "x");
    EXPECT_EQ(c.valid, 1);

    std::multimap<std::uint64_t, macb_output> events;
    events.insert(std::make_pair(e.filetime, e));
    events.insert(std::make_pair(e.filetime, e));
    EXPECT_EQ(events.count(e.filetime), 2u);
    EXPECT_EQ(events.begin()->second.source, "src");
}

TEST(MacbOutput, clear_resets_everything) {
    macb_output e = filled();
    e.clear();
    EXPECT_EQ(e.kind, 1u);
    EXPECT_EQ(e.filetime, 0u);
    EXPECT_EQ(e.user_value, 0u);
    EXPECT_EQ(e.valid, 0);
    EXPECT_FALSE(e.event_time.valid);
    EXPECT_EQ(e.event_time.filetime, 0u);
    EXPECT_TRUE(e.event_time.tags.empty());
    for (const std::string* s :
         {&e.macb, &e.type_text, &e.source, &e.filename, &e.user, &e.unprinted_text, &e.extra}) {
        EXPECT_TRUE(s->empty());
    }
    EXPECT_TRUE(e.letter_texts.empty());
}
