#include "common/wide_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An argument array over owned wide strings; entries() gives what the array holds now.
struct wide_argv {
    explicit wide_argv(std::vector<std::wstring> args) : storage(std::move(args)) {
        for (auto& s : storage) pointers.push_back(&s[0]);
        count = static_cast<int>(pointers.size());
    }
    std::vector<std::wstring> entries() const {
        std::vector<std::wstring> out;
        for (int i = 0; i < count; ++i) out.emplace_back(pointers[static_cast<std::size_t>(i)]);
        return out;
    }
    std::vector<std::wstring> storage;
    std::vector<wchar_t*> pointers;
    int count = 0;
};

using wlist = std::vector<std::wstring>;

TEST(RemoveArgEntry, shifts_down_and_refuses_out_of_range) {
    wide_argv a({L"prog", L"a", L"b"});
    EXPECT_EQ(remove_arg_entry(1, &a.count, a.pointers.data()), 1);
    EXPECT_EQ(a.entries(), (wlist{L"prog", L"b"}));
    EXPECT_EQ(remove_arg_entry(2, &a.count, a.pointers.data()), 0);
    EXPECT_EQ(remove_arg_entry(-1, &a.count, a.pointers.data()), 0);
    EXPECT_EQ(remove_arg_entry(0, nullptr, a.pointers.data()), 0);
    EXPECT_EQ(a.count, 2);

    wide_argv u({L"prog", L"x"});
    std::uint32_t count = 2;
    EXPECT_EQ(remove_arg_entry(std::uint32_t{2}, &count, u.pointers.data()), 0);
    EXPECT_EQ(remove_arg_entry(std::uint32_t{0}, &count, u.pointers.data()), 1);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(std::wstring(u.pointers[0]), L"x");
}

TEST(TakeWideSwitch, found_from_index_1_and_paths_keep_their_case) {
    wide_argv a({L"-V", L"C:\\Dir", L"-V", L"D:\\X"});
    EXPECT_EQ(take_wide_switch(L"-v", &a.count, a.pointers.data()), 1);
    EXPECT_EQ(a.entries(), (wlist{L"-V", L"C:\\Dir", L"D:\\X"}));
    EXPECT_EQ(take_wide_switch(L"-v", &a.count, a.pointers.data()), 0);
    // A path as long as the switch is compared but not lower-cased.
    wide_argv b({L"prog", L"AB", L"-q"});
    EXPECT_EQ(take_wide_switch(L"-Q", &b.count, b.pointers.data()), 1);
    EXPECT_EQ(b.entries(), (wlist{L"prog", L"AB"}));
    EXPECT_EQ(take_wide_switch(nullptr, &b.count, b.pointers.data()), 0);
}

TEST(TakeWideSwitch, values_taken_or_refused_at_the_end) {
    wide_argv a({L"prog", L"-in", L"C:\\A", L"rest"});
    std::wstring value = L"old";
    EXPECT_EQ(take_wide_switch_value(L"-IN", value, &a.count, a.pointers.data()), 1);
    EXPECT_EQ(value, L"C:\\A");
    EXPECT_EQ(a.entries(), (wlist{L"prog", L"rest"}));

    wide_argv last({L"prog", L"-in"});
    EXPECT_EQ(take_wide_switch_value(L"-in", value, &last.count, last.pointers.data()), 0);
    EXPECT_EQ(value, L"");
    EXPECT_EQ(last.count, 2);

    wide_argv four({L"prog", L"-r", L"1", L"2", L"3", L"4", L"x"});
    std::wstring v1, v2, v3, v4 = L"kept";
    EXPECT_EQ(take_wide_switch_values4(L"-r", v1, v2, v3, v4, &four.count, four.pointers.data()), 1);
    EXPECT_EQ((wlist{v1, v2, v3, v4}), (wlist{L"1", L"2", L"3", L"4"}));
    EXPECT_EQ(four.entries(), (wlist{L"prog", L"x"}));

    wide_argv short_one({L"prog", L"-r", L"1", L"2"});
    v1 = v2 = v3 = L"kept";
    EXPECT_EQ(take_wide_switch_values3(L"-r", v1, v2, v3, &short_one.count, short_one.pointers.data()), 0);
    EXPECT_EQ(short_one.count, 4);
    EXPECT_EQ(v1, L"kept");
    EXPECT_EQ(take_wide_switch_values2(L"-r", v1, v2, &short_one.count, short_one.pointers.data()), 1);
    EXPECT_EQ((wlist{v1, v2}), (wlist{L"1", L"2"}));
    EXPECT_EQ(short_one.entries(), (wlist{L"prog"}));
}

}  // namespace
