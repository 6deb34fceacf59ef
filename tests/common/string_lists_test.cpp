#include "common/string_lists.h"

#include <gtest/gtest.h>

namespace {

using strings = std::vector<std::string>;
using wstrings = std::vector<std::wstring>;

TEST(ArgumentArrays, AppendWithNullEntries) {
    const char* argv[] = {"prog", nullptr, "h\xC3\xA9"};
    strings out{"already"};
    EXPECT_EQ(cstr_array_to_vector(out, 3, argv), 1);
    EXPECT_EQ(out, (strings{"already", "prog", "", "h\xC3\xA9"}));
    strings none;
    EXPECT_EQ(cstr_array_to_vector(none, 0, argv), 0);
    EXPECT_EQ(cstr_array_to_vector(none, 5, nullptr), 0);

    const wchar_t* wargv[] = {L"w\x00e9", nullptr};
    strings narrow;
    EXPECT_EQ(wcstr_array_to_vector(narrow, 2, wargv), 1);
    EXPECT_EQ(narrow, (strings{"w\xC3\xA9", ""}));

    wstrings wide;
    EXPECT_EQ(cstr_array_to_wvector(wide, 3, argv), 1);
    EXPECT_EQ(wide, (wstrings{L"prog", L"", L"h\x00e9"}));
}

TEST(ListConversion, NarrowAndWideRoundTrip) {
    strings in{"a", "", "\xE2\x98\xBA"};
    wstrings w{L"stale"};
    strings_to_wstrings(w, in);
    EXPECT_EQ(w, (wstrings{L"a", L"", L"\x263A"}));
    wstrings w2{L"x", L"y", L"z", L"q"};
    convert_strings_to_wstrings(in, w2);
    EXPECT_EQ(w2, w);
    strings back{"stale", "stale"};
    wstrings_to_strings(back, w);
    EXPECT_EQ(back, in);
    strings back2{"x"};
    convert_wstrings_to_strings(w, back2);
    EXPECT_EQ(back2, in);

    std::string out = "old";
    EXPECT_EQ(wide_cstr_to_utf8(L"\x00fc", out), "\xC3\xBC");
    EXPECT_EQ(wide_cstr_to_utf8(nullptr, out), "");
    EXPECT_EQ(wide_cstr_to_string(L"ok"), "ok");
    EXPECT_EQ(wide_cstr_to_string(nullptr), "");
}

TEST(EraseEntry, IndexChecks) {
    strings v{"a", "b", "c"};
    EXPECT_EQ(erase_vector_entry(1, v), 1);
    EXPECT_EQ(v, (strings{"a", "c"}));
    EXPECT_EQ(erase_vector_entry(2, v), 0);
    EXPECT_EQ(erase_vector_entry(-1, v), 1);
    EXPECT_EQ(v.size(), 2u);
    wstrings w{L"x", L"y"};
    EXPECT_EQ(erase_wvector_entry(0, w), 1);
    EXPECT_EQ(w, (wstrings{L"y"}));
    EXPECT_EQ(erase_wvector_entry(1, w), 0);
}

TEST(JoinCommandLine, QuotesEntriesWithBlanks) {
    std::string out = "stale";
    EXPECT_EQ(join_command_line(out, {"a", "b c", "d"}, '\''), 1);
    EXPECT_EQ(out, "a 'b c' d");
    join_command_line(out, {"-out", "my file.txt", "it's"}, '"');
    EXPECT_EQ(out, "-out \"my file.txt\" it's");
    EXPECT_EQ(join_command_line(out, {}, '\''), 1);
    EXPECT_EQ(out, "");
}

TEST(JoinSet, SkipEmptyAndTrailingSeparator) {
    std::string out;
    EXPECT_EQ(join_set(out, {"", "a", "b"}, ",", true), "a,b");
    EXPECT_EQ(join_set(out, {"", "a", "b"}, ",", false), ",a,b");
    EXPECT_EQ(join_set(out, {"b", "a"}, " | ", false), "a | b");
    EXPECT_EQ(join_set(out, {}, ",", true), "");
    EXPECT_EQ(join_set(out, {"x,"}, ",", true), "x");
}

TEST(StringsToCArrays, PointersIntoEntries) {
    strings in{"", "x", "abc"};
    std::vector<const char*> ptrs{reinterpret_cast<const char*>(1)};
    std::vector<std::uint32_t> lens;
    EXPECT_EQ(strings_to_c_arrays(ptrs, lens, in), 1);
    ASSERT_EQ(ptrs.size(), 3u);
    EXPECT_EQ(ptrs[0], nullptr);
    EXPECT_EQ(ptrs[1], in[1].data());
    EXPECT_EQ(ptrs[2], in[2].data());
    EXPECT_EQ(lens, (std::vector<std::uint32_t>{0, 1, 3}));
    EXPECT_EQ(strings_to_c_arrays(ptrs, lens, {}), 0);
    EXPECT_TRUE(ptrs.empty());
}

TEST(InterleaveNameValue, PairsAndStops) {
    strings out{"stale"};
    EXPECT_EQ(interleave_name_value_lists(out, {"a", "b", "c"}, {"1", "", "3"}), 1);
    EXPECT_EQ(out, (strings{"a", "1", "b", "c", "3"}));
    EXPECT_EQ(interleave_name_value_lists(out, {"a", "", "c"}, {"1", "2", "3"}), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(interleave_name_value_lists(out, {"a"}, {"1", "2"}), 0);
    EXPECT_TRUE(out.empty());
}

TEST(Dedupe, KeepsFirstOccurrencesInOrder) {
    strings v{"b", "a", "b", "c", "a"};
    dedupe_strings_keep_order(v);
    EXPECT_EQ(v, (strings{"b", "a", "c"}));
    strings same{"z", "y", "Z"};
    dedupe_strings_keep_order(same);
    EXPECT_EQ(same, (strings{"z", "y", "Z"}));
    wstrings w{L"q", L"q", L"p", L"q"};
    dedupe_wstrings_keep_order(w);
    EXPECT_EQ(w, (wstrings{L"q", L"p"}));
}

TEST(Switches, TakeWithValues) {
    wstrings args{L"prog", L"-OUT", L"r.txt", L"-x"};
    std::wstring value;
    EXPECT_EQ(take_switch_with_value("-out", value, args), 1);
    EXPECT_EQ(value, L"r.txt");
    EXPECT_EQ(args, (wstrings{L"prog", L"-x"}));

    wstrings tail{L"prog", L"-out"};
    EXPECT_EQ(take_switch_with_value("-out", value, tail), 0);
    EXPECT_EQ(tail, (wstrings{L"prog", L"-out"}));

    wstrings two{L"-Range", L"1", L"9", L"rest"};
    std::wstring lo, hi;
    EXPECT_EQ(take_switch_with_two_values("-range", lo, hi, two), 1);
    EXPECT_EQ(lo, L"1");
    EXPECT_EQ(hi, L"9");
    EXPECT_EQ(two, (wstrings{L"rest"}));
    wstrings short_list{L"-range", L"1"};
    EXPECT_EQ(take_switch_with_two_values("-range", lo, hi, short_list), 0);
    EXPECT_EQ(short_list.size(), 2u);
}

TEST(Switches, TakeHasAndPacked) {
    wstrings args{L"-v", L"-Quiet", L"-quietly"};
    EXPECT_EQ(take_switch("-QUIET", args, true), 1);
    EXPECT_EQ(args.size(), 3u);
    EXPECT_EQ(args[1], L"-Quiet");  // comparison does not change the entries
    EXPECT_EQ(take_switch("-quiet", args, false), 1);
    EXPECT_EQ(args, (wstrings{L"-v", L"-quietly"}));
    EXPECT_EQ(take_switch("-quiet", args, false), 0);

    wstrings prog{L"-V", L"x"};
    EXPECT_EQ(has_switch("-v", prog, false), 1);
    EXPECT_EQ(has_switch("-v", prog, true), 0);
    EXPECT_EQ(has_switch("-x", prog, true), 0);

    wstrings packed{L"a", L"-CSV", L"b"};
    std::uint64_t csv = (std::uint64_t('c') << 56) | (std::uint64_t('s') << 48) | (std::uint64_t('v') << 40);
    EXPECT_EQ(take_packed_switch(csv, packed, false), 1);
    EXPECT_EQ(packed, (wstrings{L"a", L"b"}));
    // Bytes outside 'a'-'z' are skipped wherever they stand.
    wstrings pq{L"-pq"};
    EXPECT_EQ(take_packed_switch(0x0070'0051'7100'0000ull, pq, true), 1);

    wstrings any{L"-vmdk"};
    EXPECT_EQ(check_vmdk_switch(nullptr, any), 0);
    EXPECT_EQ(any.size(), 1u);
}

TEST(NamedLists, SetOnlyWhenListsMatch) {
    named_lists_record r;
    EXPECT_EQ(set_named_lists(r, "n", {"a"}, {"1", "2"}), 0);
    EXPECT_EQ(r.valid, 0);
    EXPECT_TRUE(r.name.empty());
    EXPECT_EQ(set_named_lists(r, "n", {}, {}), 0);
    EXPECT_EQ(r.valid, 0);
    EXPECT_EQ(set_named_lists(r, "cols", {"a", "b"}, {"1", "2"}), 0);
    EXPECT_EQ(r.valid, 1);
    EXPECT_EQ(r.name, "cols");
    EXPECT_EQ(r.values, (strings{"1", "2"}));
}

}  // namespace
