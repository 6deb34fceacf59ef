#include "common/json_record.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <limits>

namespace {

TEST(JsonObject, copy_and_clear) {
    json_object a;
    a.names = {"x"};
    a.values = {"1"};
    a.index["x"] = 0;
    json_object b(a);
    a.clear();
    EXPECT_TRUE(a.names.empty() && a.values.empty() && a.index.empty());
    EXPECT_EQ(b.names, std::vector<std::string>{"x"});
    EXPECT_EQ(b.index.at("x"), 0u);
}

TEST(CompareCstr, nulls_first_and_case_folding) {
    EXPECT_EQ(compare_cstr(nullptr, nullptr, false), 0);
    EXPECT_EQ(compare_cstr(nullptr, "a", false), -1);
    EXPECT_EQ(compare_cstr("a", nullptr, true), 1);
    EXPECT_EQ(compare_cstr("ABC", "abc", true), 0);
    EXPECT_LT(compare_cstr("ABC", "abc", false), 0);
    EXPECT_GT(compare_cstr("b", "A", true), 0);
    EXPECT_EQ(compare_wide_cstr(nullptr, nullptr, true), 0);
    EXPECT_EQ(compare_wide_cstr(nullptr, L"a", true), -1);
    EXPECT_EQ(compare_wide_cstr(L"ABC", L"abc", true), 0);
    EXPECT_NE(compare_wide_cstr(L"ABC", L"abc", false), 0);
}

TEST(FindWideNocase, pointer_into_haystack) {
    const wchar_t* hay = L"Path\\To\\FILE.txt";
    EXPECT_EQ(find_wide_nocase(hay, L"file"), hay + 8);
    EXPECT_EQ(find_wide_nocase(hay, L"nope"), nullptr);
    EXPECT_EQ(find_wide_nocase(nullptr, L"a"), nullptr);
}

TEST(TakePrefixedWideArgument, takes_first_match_at_start) {
    std::vector<std::wstring> args = {L"x-out:1", L"-OUT:file", L"-out:other"};
    std::wstring out;
    EXPECT_EQ(take_prefixed_wide_argument("-out:", out, args), 1);
    EXPECT_EQ(out, L"-OUT:file");
    EXPECT_EQ(args, (std::vector<std::wstring>{L"x-out:1", L"-out:other"}));
    EXPECT_EQ(take_prefixed_wide_argument("-none", out, args), 0);
    EXPECT_EQ(args.size(), 2u);
}

TEST(RoundToHundredths, single_precision_rounding) {
    EXPECT_NEAR(round_to_hundredths(2.345), 2.35, 1e-6);
    EXPECT_NEAR(round_to_hundredths(1.004), 1.0, 1e-6);
    EXPECT_NEAR(round_to_hundredths(-1.236), -1.24, 1e-6);
    EXPECT_TRUE(std::isnan(round_to_hundredths(std::nan(""))));
    EXPECT_EQ(round_to_hundredths(1e300), 1e300);
}

TEST(DoubleToText, integer_and_fraction_parts) {
    std::string out;
    EXPECT_EQ(double_to_text(out, 3, 3.25), "3.25");
    EXPECT_EQ(double_to_text(out, 2, 0.5), "0.5");
    EXPECT_EQ(double_to_text(out, 2, 12.0), "12");
    EXPECT_EQ(double_to_text(out, 6, 7.0), "7");
    EXPECT_EQ(double_to_text(out, 3, 1234567.125), "1234567.125");
}

TEST(DoubleToText, negative_non_finite_huge_and_carry) {
    std::string out;
    EXPECT_EQ(double_to_text(out, 3, -3.25), "-3.25");
    EXPECT_EQ(double_to_text(out, 3, std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(double_to_text(out, 3, std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(double_to_text(out, 3, -std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(double_to_text(out, 3, 1e20), "100000000000000000000");
    // 2.9999 at two significant digits rounds its fraction up to 1.
    EXPECT_EQ(double_to_text(out, 2, 2.9999), "3");
    // A tiny fraction would print in scientific form; it stays decimal.
    EXPECT_EQ(double_to_text(out, 2, 3.00001), "3.00001");
}

TEST(SmallFunctions, errno_root_and_callbacks) {
    errno = EINVAL;
    EXPECT_EQ(last_errno(), EINVAL);
    EXPECT_EQ(is_root_user(), (getuid() == 0 || geteuid() == 0) ? 1 : 0);
    EXPECT_EQ(noop_cleanup_callback("x"), 0);
    EXPECT_EQ(zero_callback(), 0);
}

}  // namespace
