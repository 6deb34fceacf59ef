#include "time/time_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sstream>

namespace {

const bool kPinnedUtc = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

constexpr std::uint64_t kFt = 132521874959025799ull;  // 2020-12-11 19:11:35.9025799

// 2021-03-04 05:06:07 plus the given ticks.
qm::time march_4(std::uint64_t ticks) {
    qm::time t;
    t.set_filetime(static_cast<std::uint64_t>(1614834367) * 10000000ull + kFiletimeUnix + ticks);
    return t;
}

date_time_format word(std::uint32_t flags) {
    date_time_format f;
    f.flags = flags;
    f.min_year = 1900;
    f.max_year = 2600;
    return f;
}

std::uint32_t digits(unsigned n) { return n << dtf_fraction_shift; }

}  // namespace

TEST(TimeText, the_default_form_of_the_reference_filetime) {
    ASSERT_TRUE(kPinnedUtc);
    const qm::time t(kFt, qm::type_filetime);
    std::string d, h;
    date_time_format f;
    ASSERT_TRUE(parse_date_time_format(f, "yyyy-mm-dd", "hh:mm:ss.xxx", false));
    EXPECT_EQ(format_date_time_by_format(d, h, t, f), 1);
    EXPECT_EQ(d, "2020-12-11");
    EXPECT_EQ(h, "19:11:35.902");
    EXPECT_EQ(format_date_time_by_format(d, h, t, date_time_format()), 0);
    EXPECT_EQ(d + " " + h, "2020-12-11 19:11:35.902");
    EXPECT_EQ(format_date_time_by_format(d, h, t, static_cast<const date_time_format*>(nullptr)), 0);
    EXPECT_EQ(d + " " + h, "2020-12-11 19:11:35.902");
    std::ostringstream os;
    write_time(os, t);
    EXPECT_EQ(os.str(), "2020-12-11 19:11:35.902");
    std::string ns;
    ASSERT_TRUE(filetime_to_text_ns(ns, kFt));
    EXPECT_EQ(ns, "2020-12-11 19:11:35.902579900");
}

TEST(TimeText, word_dates_in_every_order_and_form) {
    const qm::time t = march_4(890000);
    std::string d, h;
    const std::uint32_t num_ymd =
        static_cast<std::uint32_t>('-') | dtf_month_number | dtf_year4 | dtf_order_ymd;
    ASSERT_EQ(format_date_time_by_format(d, h, t, word(num_ymd | digits(3))), 1);
    EXPECT_EQ(d, "2021-03-04");
    EXPECT_EQ(h, "05:06:07.089");
    format_date_time_by_format(d, h, t, word((num_ymd & ~dtf_year4) | dtf_year2 | digits(3)));
    EXPECT_EQ(d, "21-03-04");
    const std::uint32_t name = dtf_month_name | dtf_year4;
    format_date_time_by_format(d, h, t, word(' ' | name | dtf_order_mdy));
    EXPECT_EQ(d, "Mar 04 2021");
    format_date_time_by_format(d, h, t, word('/' | name | dtf_order_dmy));
    EXPECT_EQ(d, "04/Mar/2021");
    format_date_time_by_format(d, h, t, word('-' | name | dtf_order_ymd));
    EXPECT_EQ(d, "2021-Mar-04");
    format_date_time_by_format(d, h, t, word('/' | dtf_month_number | dtf_year4 | dtf_order_mdy));
    EXPECT_EQ(d, "03/04/2021");
    EXPECT_EQ(h, "05:06:07");
    format_date_time_by_format(d, h, t, word('.' | dtf_month_number | dtf_year4 | dtf_order_dmy));
    EXPECT_EQ(d, "04.03.2021");
    // Only fraction digits: no date at all.
    EXPECT_EQ(format_date_time_by_format(d, h, t, word(digits(3))), 1);
    EXPECT_EQ(d, "");
    EXPECT_EQ(h, "05:06:07.089");
}

// A pattern with no separator ("yyyymmdd") compiles to separator 0, which must not reach the text.
TEST(TimeText, a_word_without_separator_writes_no_nul) {
    date_time_format f;
    ASSERT_TRUE(parse_date_time_format(f, "yyyymmdd", "hh:mm:ss", false));
    std::string d, h;
    ASSERT_EQ(format_date_time_by_format(d, h, march_4(0), f), 1);
    EXPECT_EQ(d, "20210304");
    EXPECT_EQ(d.find('\0'), std::string::npos);
}

TEST(TimeText, fraction_digits_are_truncated) {
    const qm::time t = march_4(1234567);  // .1234567
    std::string d, h;
    const std::uint32_t base = '-' | dtf_month_number | dtf_year4 | dtf_order_ymd;
    const char* expect[] = {"05:06:07",          "05:06:07.1",        "05:06:07.12",     "05:06:07.123",
                            "05:06:07.1234",     "05:06:07.12345",    "05:06:07.123456", "05:06:07.1234567",
                            "05:06:07.12345670", "05:06:07.123456700"};
    for (unsigned n = 0; n <= 9; ++n) {
        format_date_time_by_format(d, h, t, word(base | digits(n)));
        EXPECT_EQ(h, expect[n]) << n;
    }
    format_date_time_by_format(d, h, t, word(base | digits(12)));
    EXPECT_EQ(h, "05:06:07");
    const qm::time u = march_4(1234567 + 0);
    qm::time ns(u.filetime - u.filetime % 10000000, 1234567.89);
    format_date_time_by_format(d, h, ns, word(base | digits(8)));
    EXPECT_EQ(h, "05:06:07.12345678");
}

TEST(TimeText, invalid_times_print_nothing_or_the_placeholders) {
    const qm::time bad;
    std::string d = "x", h = "y";
    EXPECT_EQ(format_date_time_by_format(d, h, bad, word(0x6862d)), 0);
    EXPECT_EQ(d, "");
    EXPECT_EQ(h, "");
    EXPECT_FALSE(format_filetime_by_format(d, h, 5, word(0x6862d)));
    EXPECT_EQ(format_date_time_by_pattern(d, h, bad, "yyyy-mm-dd", "hh:mm"), 0);
    std::ostringstream os;
    date_time_format f;
    EXPECT_EQ(write_time_by_format(os, bad, f), 0);
    EXPECT_EQ(os.str(), "");
    EXPECT_EQ(f.flags, 0u);
    std::string out = "a";
    append_time_text(out, bad);
    EXPECT_EQ(out, "a ");
    std::ostringstream w1, w2, w3, w4;
    write_time(w1, bad);
    write_time_seconds(w2, bad);
    write_time_two_digit_year(w3, bad);
    write_time_two_digit_year_ms(w4, bad);
    EXPECT_EQ(w1.str(), " ");
    EXPECT_EQ(w2.str(), "00/00/00 00:00:00");
    EXPECT_EQ(w3.str(), "00/00/00 00:00:00");
    EXPECT_EQ(w4.str(), "0000-00-00 00:00:00");
    EXPECT_FALSE(filetime_to_text_ns(out, 0));
    EXPECT_FALSE(filetime_to_text_ns(out, 5));
    std::string text = "z";
    EXPECT_EQ(filetime_to_text_by_format(text, 0, f), "");
}

TEST(TimeText, filetime_texts_match_those_of_the_whole_time_value) {
    // The edges of validity: none, the first second of 1970, before 1970 and 1900, the end of 3000 (where a
    // zone west of UTC keeps an hour of 3001 valid), the last FILETIME and the sign bit.
    const std::uint64_t kYear3001 = 32535216000ull * 10000000ull + kFiletimeUnix;
    const std::uint64_t filetimes[] = {0,
                                       1,
                                       kFiletimeUnix,
                                       kFiletimeUnix + 9999999,
                                       kFiletimeUnix + 10000000,
                                       94354848000000000ull - 1,
                                       94354848000000000ull,
                                       kFt,
                                       kYear3001 - 1,
                                       kYear3001,
                                       kYear3001 + 36000000000ull,
                                       kYear3001 + 72000000000ull,
                                       0x7FFFFFFFFFFFFFFFull,
                                       0x8000000000000000ull};
    const std::uint32_t words[] = {
        dtf_order_ymd | dtf_year4 | dtf_month_number | '-' | digits(3),
        dtf_order_mdy | dtf_year2 | dtf_month_name | '/' | digits(7),
        dtf_order_dmy | dtf_year4 | dtf_month_number | digits(9),
        dtf_year4 | dtf_month_number | ' ',  // no order: time text alone
        0,
    };
    for (const char* zone : {"UTC", "America/New_York"}) {
        setenv("TZ", zone, 1);
        tzset();
        for (const std::uint64_t ft : filetimes) {
            for (const std::uint32_t flags : words) {
                std::string date, time, want_date, want_time;
                const bool ok = format_filetime_by_format(date, time, ft, word(flags));
                const qm::time t(ft, qm::type_filetime);
                const bool want =
                    t.valid && format_date_time_by_format(want_date, want_time, t, word(flags)) != 0;
                EXPECT_EQ(ok, want) << zone << " " << ft << " " << flags;
                EXPECT_EQ(date, want_date) << zone << " " << ft << " " << flags;
                EXPECT_EQ(time, want_time) << zone << " " << ft << " " << flags;
            }
        }
    }
    setenv("TZ", "UTC", 1);
    tzset();
}

TEST(TimeText, stream_form_fills_a_zero_word) {
    std::ostringstream os;
    date_time_format f;
    EXPECT_EQ(write_time_by_format(os, march_4(890000), f), 1);
    EXPECT_EQ(os.str(), "2021-03-04 05:06:07.089");
    EXPECT_EQ(f.flags, 0x7862du);
    std::string text;
    EXPECT_EQ(filetime_to_text_by_format(text, kFt, f), "2020-12-11 19:11:35.902");
    std::ostringstream only_time;
    date_time_format g = word(digits(3));
    write_time_by_format(only_time, march_4(0), g);
    EXPECT_EQ(only_time.str(), " 05:06:07.000");
    std::string d, h;
    EXPECT_TRUE(format_filetime_by_format(d, h, kFt, f));
    EXPECT_EQ(d, "2020-12-11");
}

TEST(TimeText, textual_patterns) {
    const qm::time t = march_4(1234567);
    std::string d, h;
    ASSERT_EQ(format_date_time_by_pattern(d, h, t, "mmm dd, yyyy", ""), 1);
    EXPECT_EQ(d, "Mar 04, 2021");
    EXPECT_EQ(h, "");
    format_date_time_by_pattern(d, h, t, "dd mmm yyyy", "");
    EXPECT_EQ(d, "04 Mar 2021");
    format_date_time_by_pattern(d, h, t, "yy-mm-dd", "");
    EXPECT_EQ(d, "21-03-04");
    format_date_time_by_pattern(d, h, t, "yyyy-dd-mm", "");
    EXPECT_EQ(d, "2021-04-03");
    format_date_time_by_pattern(d, h, t, "mm-yyyy", "");
    EXPECT_EQ(d, "03/04/2021");
    format_date_time_by_pattern(d, h, t, "mm/dd/yy", "");
    EXPECT_EQ(d, "03/04/21");
    format_date_time_by_pattern(d, h, t, "", "ss");
    EXPECT_EQ(d, "");
    EXPECT_EQ(h, ":07");
    format_date_time_by_pattern(d, h, t, "", "hh:mm");
    EXPECT_EQ(h, "05:06");
    format_date_time_by_pattern(d, h, t, "", "hh:mm:ss.xxxxxx");
    EXPECT_EQ(h, "05:06:07.123456");
    format_date_time_by_pattern(d, h, t, "", "hh:mm:ss.xxxx");
    EXPECT_EQ(h, "05:06:07.1234");
    format_date_time_by_pattern(d, h, t, "", "hh:mm:ss.xxxxxxxx");
    EXPECT_EQ(h, "05:06:07.12345670");
    format_date_time_by_pattern(d, h, t, "", "hh:mm:ss.xxxxxxxxxx");
    EXPECT_EQ(h, "05:06:07");
    ASSERT_EQ(format_date_time_by_pattern_no_fraction(d, h, t, "yyyy-mm-dd", "hh:mm:ss.xxx"), 1);
    EXPECT_EQ(h, "05:06:07");
}

TEST(TimeText, combined_and_default_patterns) {
    const qm::time t = march_4(890000);
    std::string d, h;
    EXPECT_EQ(
        format_date_time_by_combined_pattern(d, h, t, "yyyy-mm-dd hh:mm:ss.xxx", false, false, false, false),
        1);
    EXPECT_EQ(d, "2021-03-04");
    EXPECT_EQ(h, "05:06:07.089");
    format_date_time_by_combined_pattern(d, h, t, "mm/dd/yyyy", false, false, false, false);
    EXPECT_EQ(d, "03/04/2021");
    EXPECT_EQ(h, "");
    format_date_time_by_combined_pattern(d, h, t, "hh:mm:ss", false, false, false, false);
    EXPECT_EQ(d, "");
    EXPECT_EQ(h, "05:06:07");
    EXPECT_EQ(format_date_time_by_combined_pattern(d, h, t, "abc", false, false, false, false), 1);
    EXPECT_EQ(d + h, "");
    EXPECT_EQ(format_date_time_by_combined_pattern(d, h, t, "", true, true, false, true), 1);
    EXPECT_EQ(d, "21-03-04");
    EXPECT_EQ(h, "05:06:07.089000000");
    EXPECT_EQ(format_date_time_by_combined_pattern(d, h, qm::time(), "", true, true, false, true), 0);

    EXPECT_EQ(format_date_time_or_default(d, h, t, nullptr, "hh:mm"), 1);
    EXPECT_EQ(d, "2021-03-04");
    EXPECT_EQ(h, "05:06:07.089");
    EXPECT_EQ(format_date_time_or_default(d, h, t, "dd/mm/yyyy", "hh:mm"), 1);
    EXPECT_EQ(d, "04/03/2021");
    EXPECT_EQ(h, "05:06");
}

TEST(TimeText, fixed_layouts) {
    std::string d, h;
    const qm::time t = march_4(890000);
    format_date_time_ms(d, h, t, false);
    EXPECT_EQ(d + " " + h, "2021-03-04 05:06:07.089");
    format_date_time_whole_seconds(d, h, t, false);
    EXPECT_EQ(d + " " + h, "2021-03-04 05:06:07");
    std::wstring wd, wh;
    format_date_time_w(wd, wh, t, false);
    EXPECT_EQ(wd, L"2021-03-04");
    EXPECT_EQ(wh, L"05:06:07.089");

    qm::time y1999;
    y1999.set_filetime(static_cast<std::uint64_t>(946684799) * 10000000ull + kFiletimeUnix);
    std::ostringstream a, b, c;
    write_time_two_digit_year(a, y1999);
    EXPECT_EQ(a.str(), "99-12-31 23:59:59");
    write_time_seconds(b, y1999);
    EXPECT_EQ(b.str(), "1999-12-31 23:59:59");
    qm::time y2101;
    y2101.set_filetime(static_cast<std::uint64_t>(4133980800ll) * 10000000ull + kFiletimeUnix);
    write_time_two_digit_year(c, y2101);
    EXPECT_EQ(c.str(), "101-01-01 00:00:00");
    std::ostringstream e;
    write_filetime_two_digit_year_ms(e, kFt);
    EXPECT_EQ(e.str(), "20-12-11 19:11:35.902");
    std::wostringstream w;
    write_time_two_digit_year_ms_w(w, t);
    EXPECT_EQ(w.str(), L"21-03-04 05:06:07.089");
    std::string out = "at ";
    append_time_text(out, t);
    EXPECT_EQ(out, "at 2021-03-04 05:06:07.089");
}

namespace {

bool no_locale(std::string& name) {
    name.clear();
    return false;
}

bool c_locale(std::string& name) {
    name = "C";
    return true;
}

bool bogus_locale(std::string& name) {
    name = "xx_NOPE.bogus";
    return true;
}

}  // namespace

TEST(TimeText, locale_date_form_and_its_fallback) {
    const qm::time t = march_4(0);
    std::string d, h;
    set_time_locale_selector(c_locale);
    format_date_time_ms(d, h, t, true);
    EXPECT_EQ(d, "03/04/21");  // the C locale's %x
    EXPECT_EQ(h, "05:06:07.000");
    set_time_locale_selector(no_locale);
    format_date_time_ms(d, h, t, true);
    EXPECT_EQ(d, "2021-03-04");
    set_time_locale_selector(bogus_locale);
    format_date_time_ms(d, h, t, true);
    EXPECT_EQ(d, "2021-03-04");
    set_time_locale_selector(nullptr);
    format_date_time_ms(d, h, t, true);
    EXPECT_FALSE(d.empty());
}
