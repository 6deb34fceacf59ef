#include "common/small_records.h"

#include <gtest/gtest.h>

namespace {

TEST(ByteListRecord, constructed_and_reset_state) {
    byte_list_record r;
    EXPECT_EQ(r.version, 1);
    r.version = 7;
    r.word = 2;
    r.value_a = r.value_b = 3;
    r.bytes_a = r.bytes_b = r.bytes_c = {1};
    r.byte_lists = {{1}, {2}};
    r.texts = {"x"};
    r.total_a = r.total_b = 9;
    r.reset();
    EXPECT_EQ(r.version, 1);
    EXPECT_EQ(r.word + r.value_a + r.value_b + r.total_a + r.total_b, 0u);
    EXPECT_TRUE(r.bytes_a.empty() && r.bytes_b.empty() && r.bytes_c.empty());
    EXPECT_TRUE(r.byte_lists.empty() && r.texts.empty());
}

TEST(ZeroThreeWords, only_three) {
    std::uint64_t w[4] = {1, 2, 3, 4};
    zero_three_words(w);
    EXPECT_EQ(w[0] + w[1] + w[2], 0u);
    EXPECT_EQ(w[3], 4u);
    zero_three_words(nullptr);
}

// What the callback saw.
struct seen {
    int calls = 0;
    std::string message;
    std::vector<std::string> texts;
    void* extra = nullptr;
    std::uint64_t reserved = 1;
};

int record_call(void* context, const std::string& message, const std::string* first, const std::string* last,
                void* extra, std::uint64_t reserved) {
    seen* s = static_cast<seen*>(context);
    ++s->calls;
    s->message = message;
    s->texts.assign(first, last);
    s->extra = extra;
    s->reserved = reserved;
    return 42;
}

TEST(InvokeTextCallback, calls_with_converted_text_and_extra_on_request) {
    seen s;
    int extra_record = 0;
    text_callback_holder h;
    h.callback = record_call;
    h.callback_context = &s;
    h.callback_extra = &extra_record;
    EXPECT_EQ(invoke_text_callback(h, "msg", L"x", 0), -1);  // not enabled
    h.callback_enabled = true;
    EXPECT_EQ(invoke_text_callback(h, "", L"x", 0), -1);
    EXPECT_EQ(s.calls, 0);

    EXPECT_EQ(invoke_text_callback(h, "msg", L"caf\u00e9", 5), 42);
    EXPECT_EQ(s.calls, 1);
    EXPECT_EQ(s.message, "msg");
    EXPECT_EQ(s.texts, std::vector<std::string>{"caf\xc3\xa9"});
    EXPECT_EQ(s.extra, nullptr);
    EXPECT_EQ(s.reserved, 0u);
    h.pass_extra_alt = true;
    EXPECT_EQ(invoke_text_callback(h, "m", L"", 0), 42);
    EXPECT_EQ(s.extra, &extra_record);
    EXPECT_EQ(s.texts, std::vector<std::string>{""});

    h.callback = nullptr;
    EXPECT_EQ(invoke_text_callback(h, "m", L"", 0), -1);
}

}  // namespace
