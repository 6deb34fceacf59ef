#include "common/int_parsers.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(CstrToUint, PrefixesAndBases) {
    std::uint32_t v = 77;
    EXPECT_EQ(cstr_to_uint("  0x1f \t", &v), 1);
    EXPECT_EQ(v, 31u);
    EXPECT_EQ(cstr_to_uint("0X1F", &v), 1);
    EXPECT_EQ(v, 31u);
    EXPECT_EQ(cstr_to_uint("9x1F", &v), 1);  // the first character is not looked at
    EXPECT_EQ(v, 31u);
    EXPECT_EQ(cstr_to_uint("X10", &v), 1);
    EXPECT_EQ(v, 16u);
    EXPECT_EQ(cstr_to_uint("o17", &v), 1);
    EXPECT_EQ(v, 15u);
    EXPECT_EQ(cstr_to_uint("O18", &v), 1);  // reading stops at the first non-octal digit
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(cstr_to_uint("12abc", &v), 1);
    EXPECT_EQ(v, 12u);
    EXPECT_EQ(cstr_to_uint("+42", &v), 1);
    EXPECT_EQ(v, 42u);
}

TEST(CstrToUint, QuotedCharactersAndFailures) {
    std::uint32_t v = 5;
    EXPECT_EQ(cstr_to_uint("'A'", &v), 1);
    EXPECT_EQ(v, 65u);
    EXPECT_EQ(cstr_to_uint(" 'a' ", &v), 1);
    EXPECT_EQ(v, 97u);  // case kept
    EXPECT_EQ(cstr_to_uint("'\xE9'", &v), 1);
    EXPECT_EQ(v, 0xE9u);  // a high byte is not sign-extended
    v = 5;
    EXPECT_EQ(cstr_to_uint("abc", &v), 0);
    EXPECT_EQ(v, 0u);
    v = 5;
    EXPECT_EQ(cstr_to_uint("'AB'", &v), 0);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(cstr_to_uint("", &v), 0);
    EXPECT_EQ(cstr_to_uint("   ", &v), 0);
    EXPECT_EQ(cstr_to_uint(nullptr, &v), 0);
}

TEST(CstrToUint, LoneSignsPrefixesAndOverflow) {
    std::uint32_t v = 5;
    EXPECT_EQ(cstr_to_uint("x", &v), 1);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(cstr_to_uint("0x", &v), 1);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(cstr_to_uint("-", &v), 1);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(cstr_to_uint("-1", &v), 1);
    EXPECT_EQ(v, 4294967295u);
    EXPECT_EQ(cstr_to_uint("4294967296", &v), 1);
    EXPECT_EQ(v, 0u);  // low 32 bits
    EXPECT_EQ(cstr_to_uint("4294967297", &v), 1);
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(cstr_to_uint("99999999999999999999999", &v), 1);
    EXPECT_EQ(v, 0xFFFFFFFFu);  // saturated, then cut
    EXPECT_EQ(cstr_to_uint("0x1122334455", &v), 1);
    EXPECT_EQ(v, 0x22334455u);
}

TEST(CstrToUint, Fronts) {
    std::uint32_t v = 0;
    EXPECT_EQ(string_to_uint("0x10", &v), 1);
    EXPECT_EQ(v, 16u);
    EXPECT_EQ(wstring_to_uint(L"o20", &v), 1);
    EXPECT_EQ(v, 16u);
    // Only the low byte of each character counts: U+0131 narrows to '1'.
    EXPECT_EQ(wstring_to_uint(std::wstring(L"2") + wchar_t(0x0131), &v), 1);
    EXPECT_EQ(v, 21u);
    EXPECT_EQ(wide_cstr_to_uint(L" 7 ", &v), 1);
    EXPECT_EQ(v, 7u);
    v = 3;
    EXPECT_EQ(wide_cstr_to_uint(nullptr, &v), 0);
    EXPECT_EQ(v, 0u);
}

TEST(CstrToInt, HexOctalDecimalAnywhere) {
    std::int32_t v = 0;
    EXPECT_EQ(cstr_to_int("-17", &v), 1);
    EXPECT_EQ(v, -17);
    EXPECT_EQ(cstr_to_int(" 0X1F ", &v), 1);
    EXPECT_EQ(v, 31);
    EXPECT_EQ(cstr_to_int("0o17", &v), 1);
    EXPECT_EQ(v, 15);
    EXPECT_EQ(cstr_to_int("box", &v), 1);  // hex after the 'x': nothing, 0
    EXPECT_EQ(v, 0);
    EXPECT_EQ(cstr_to_int("FFFFFFFFx", &v), 1);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(cstr_to_int("0xFFFFFFFF", &v), 1);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(cstr_to_int("2147483648", &v), 1);
    EXPECT_EQ(v, INT_MIN);  // low 32 bits of the value
    EXPECT_EQ(cstr_to_int("+12ab", &v), 1);
    EXPECT_EQ(v, 12);
}

TEST(CstrToInt, FailuresLeaveOutUntouched) {
    std::int32_t v = 99;
    EXPECT_EQ(cstr_to_int("abc", &v), 0);
    EXPECT_EQ(cstr_to_int("", &v), 0);
    EXPECT_EQ(cstr_to_int("  ", &v), 0);
    EXPECT_EQ(cstr_to_int(nullptr, &v), 0);
    EXPECT_EQ(v, 99);
    EXPECT_EQ(string_to_int("-5", &v), 1);
    EXPECT_EQ(v, -5);
    EXPECT_EQ(wide_cstr_to_int(L"x10", &v), 1);
    EXPECT_EQ(v, 16);
    EXPECT_EQ(wstring_to_int(L"-3", &v), 1);
    EXPECT_EQ(v, -3);
    EXPECT_EQ(wide_cstr_to_int(nullptr, &v), 0);
}

TEST(StringToInt64, ChangesCallerStringAndSaturates) {
    std::int64_t v = 1;
    std::string s = "  FF";
    EXPECT_EQ(string_to_int64(s, &v), 0);
    EXPECT_EQ(s, "ff");
    EXPECT_EQ(v, 1);
    s = " 0xFF ";
    EXPECT_EQ(string_to_int64(s, &v), 1);
    EXPECT_EQ(v, 255);
    EXPECT_EQ(s, "ff");
    s = "-9223372036854775809";
    EXPECT_EQ(string_to_int64(s, &v), 1);
    EXPECT_EQ(v, LLONG_MIN);
    s = "0xFFFFFFFFFFFFFFFF";
    EXPECT_EQ(string_to_int64(s, &v), 1);
    EXPECT_EQ(v, LLONG_MAX);
    s = "o777";
    EXPECT_EQ(string_to_int64(s, &v), 1);
    EXPECT_EQ(v, 511);
    s = "";
    EXPECT_EQ(string_to_int64(s, &v), 0);

    std::uint64_t u = 0;
    EXPECT_EQ(cstr_to_uint64("-1", &u), 1);
    EXPECT_EQ(u, 0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ(cstr_to_uint64("zz", &u), 0);
    EXPECT_EQ(cstr_to_uint64(nullptr, &u), 0);
    EXPECT_EQ(wstring_to_int64(L" x7fffffffffffffff", &v), 1);
    EXPECT_EQ(v, LLONG_MAX);
}

TEST(FormatNumberText, DecimalAndHexWidths) {
    std::string out;
    EXPECT_EQ(format_number_text(out, "255", true, 0), "0x00ff");
    EXPECT_EQ(format_number_text(out, "254", true, 0), "0xfe");
    EXPECT_EQ(format_number_text(out, "65535", true, 0), "0x00ffff");
    EXPECT_EQ(format_number_text(out, "16777215", true, 0), "0x00ffffff");
    EXPECT_EQ(format_number_text(out, "0x123456789", true, 0), "0x123456789");
    EXPECT_EQ(format_number_text(out, "5", true, 12), "0x000000000005");
    EXPECT_EQ(format_number_text(out, "0x10", false, 0), "16");
    EXPECT_EQ(format_number_text(out, "abc", false, 0), "NaN");  // no digit to read
    EXPECT_EQ(format_number_text(out, "0xzz", true, 0), "NaN");
    EXPECT_EQ(format_number_text(out, "o9", false, 0), "NaN");
    EXPECT_EQ(format_number_text(out, "  o17", false, 0), "15");
    EXPECT_EQ(format_number_text(out, "0", true, 0), "0x00");
    EXPECT_EQ(format_number_text(out, "1 2", true, 0), "NaN");
    EXPECT_EQ(format_number_text(out, "", false, 0), "NaN");
}

TEST(LocaleNames, KnownAndUnknown) {
    EXPECT_EQ(is_locale_name_valid("C"), 1);
    EXPECT_EQ(is_locale_name_valid("no_such_locale.XYZ"), 0);
    EXPECT_EQ(is_locale_name_valid(nullptr), 0);
}

}  // namespace
