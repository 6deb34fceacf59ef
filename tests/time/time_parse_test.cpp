#include "time/time_parse.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class TimeParse : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

struct ymd {
    std::uint32_t d = 99, m = 99, y = 99;
};

bool ordered(const char* text, const char* order, char sep, ymd& out) {
    return parse_ordered_date(text, order, sep, &out.d, &out.m, &out.y);
}

std::uint64_t ft_of(int y, int mo, int d, int h, int mi, int s) {
    struct tm t = {};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return date_parts_to_filetime(t, 0);
}

TEST_F(TimeParse, ordered_date_orders_names_and_separators) {
    ymd r;
    ASSERT_TRUE(ordered("2021-03-04", "YMD", '-', r));
    EXPECT_EQ(r.d, 4u);
    EXPECT_EQ(r.m, 3u);
    EXPECT_EQ(r.y, 2021u);
    ASSERT_TRUE(ordered("04-Mar-21", "DMonY", '-', r));
    EXPECT_EQ(r.d, 4u);
    EXPECT_EQ(r.m, 3u);
    EXPECT_EQ(r.y, 2021u);
    ASSERT_TRUE(ordered("dec/31/1999", "monDY", '/', r));
    EXPECT_EQ(r.m, 12u);
    EXPECT_EQ(r.d, 31u);
    // The month name is the field the order marks, wherever "Mon" stands.
    ASSERT_TRUE(ordered("1999.31.DEC", "YDMon", '.', r));
    EXPECT_EQ(r.m, 12u);
    EXPECT_EQ(r.d, 31u);
    ASSERT_TRUE(ordered("2021--03-04", "YMD", '-', r));
    EXPECT_EQ(r.m, 3u);
    EXPECT_EQ(r.d, 4u);
    ASSERT_TRUE(ordered("04/05/2020", "MDY", '/', r));
    EXPECT_EQ(r.m, 4u);
    EXPECT_EQ(r.d, 5u);
}

TEST_F(TimeParse, ordered_date_years_ranges_and_failures) {
    ymd r;
    ASSERT_TRUE(ordered("45-01-02", "YMD", '-', r));
    EXPECT_EQ(r.y, 1945u);
    ASSERT_TRUE(ordered("30-01-02", "YMD", '-', r));
    EXPECT_EQ(r.y, 2030u);
    ASSERT_TRUE(ordered("2021-00-04", "YMD", '-', r));
    EXPECT_EQ(r.m, 0u);
    EXPECT_FALSE(ordered("2021-13-04", "YMD", '-', r));
    EXPECT_EQ(r.m, 0u);
    EXPECT_EQ(r.y, 0u);
    EXPECT_FALSE(ordered("2021-03-32", "YMD", '-', r));
    EXPECT_FALSE(ordered("04-Mrz-21", "DMonY", '-', r));
    EXPECT_FALSE(ordered("2021-03", "YMD", '-', r));
    EXPECT_FALSE(ordered("2021-03-04", "YM", '-', r));
    EXPECT_FALSE(ordered("2021-03-04", "YQD", '-', r));
    EXPECT_FALSE(ordered(nullptr, "YMD", '-', r));
    EXPECT_FALSE(ordered("", "YMD", '-', r));
}

TEST_F(TimeParse, time_text_forms_and_marks) {
    std::uint32_t h = 9, m = 9;
    double s = 9;
    ASSERT_TRUE(parse_time_text("10:15 pm", &h, &m, &s));
    EXPECT_EQ(h, 22u);
    EXPECT_EQ(m, 15u);
    EXPECT_EQ(s, 0.0);
    ASSERT_TRUE(parse_time_text("7:05:09.25", &h, &m, &s));
    EXPECT_EQ(h, 7u);
    EXPECT_EQ(m, 5u);
    EXPECT_DOUBLE_EQ(s, 9.25);
    ASSERT_TRUE(parse_time_text(" 11:59:58 PM\r\n", &h, &m, &s));
    EXPECT_EQ(h, 23u);
    EXPECT_DOUBLE_EQ(s, 58.0);
    ASSERT_TRUE(parse_time_text(":30", &h, &m, &s));
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(m, 30u);
    EXPECT_FALSE(parse_time_text("1015", &h, &m, &s));
    EXPECT_FALSE(parse_time_text("10:", &h, &m, &s));
    EXPECT_FALSE(parse_time_text("-3:10", &h, &m, &s));
    EXPECT_FALSE(parse_time_text("10:0000000000000000000000000000000001", &h, &m, &s));
    EXPECT_FALSE(parse_time_text(nullptr, &h, &m, &s));
    std::uint32_t whole = 0;
    ASSERT_TRUE(parse_time_text_whole_seconds("01:02:03.99", &h, &m, &whole));
    EXPECT_EQ(whole, 3u);
}

TEST_F(TimeParse, twelve_am_is_midnight_and_twelve_pm_is_noon) {
    std::uint32_t h = 0, m = 0;
    double s = 0;
    ASSERT_TRUE(parse_time_text("12:30 am", &h, &m, &s));
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(m, 30u);
    ASSERT_TRUE(parse_time_text("12:30 pm", &h, &m, &s));
    EXPECT_EQ(h, 12u);
    ASSERT_TRUE(parse_time_text("1:00am", &h, &m, &s));
    EXPECT_EQ(h, 1u);
    std::int32_t ms = 0;
    ASSERT_TRUE(parse_time_text_ms("12:00:01 am", &ms));
    EXPECT_EQ(ms, 1000);
    ASSERT_TRUE(parse_time_text_ms("12:00:00 pm", &ms));
    EXPECT_EQ(ms, 12 * 3600000);
    ASSERT_TRUE(parse_time_text_ms("1:00:00 pm", &ms));
    EXPECT_EQ(ms, 13 * 3600000);
}

TEST_F(TimeParse, time_text_ms) {
    std::int32_t ms = -1;
    ASSERT_TRUE(parse_time_text_ms("01:02:03.5", &ms));
    EXPECT_EQ(ms, 3723500);
    EXPECT_FALSE(parse_time_text_ms(":30", &ms));
    EXPECT_EQ(ms, 0);
}

TEST_F(TimeParse, date_text_numeric_and_names) {
    std::int32_t d = 0, m = 0;
    std::uint32_t y = 0;
    ASSERT_TRUE(parse_date_text("03-04-21", &d, &m, &y));
    EXPECT_EQ(m, 3);
    EXPECT_EQ(d, 4);
    EXPECT_EQ(y, 2021u);
    ASSERT_TRUE(parse_date_text("04-Mar-1999", &d, &m, &y));
    EXPECT_EQ(d, 4);
    EXPECT_EQ(m, 3);
    EXPECT_EQ(y, 1999u);
    ASSERT_TRUE(parse_date_text("12/31/99 23:00", &d, &m, &y));
    EXPECT_EQ(y, 1999u);
    ASSERT_TRUE(parse_date_text("1/2/2004", &d, &m, &y));
    EXPECT_EQ(m, 1);
    EXPECT_EQ(d, 2);
    EXPECT_FALSE(parse_date_text("2021-03-04", &d, &m, &y));
    EXPECT_EQ(y, 0u);
    EXPECT_FALSE(parse_date_text("13-01-2000", &d, &m, &y));
    EXPECT_FALSE(parse_date_text("01-01-", &d, &m, &y));
    EXPECT_FALSE(parse_date_text("01-01-x9", &d, &m, &y));
    EXPECT_FALSE(parse_date_text("01.01.2000", &d, &m, &y));
    EXPECT_FALSE(parse_date_text(nullptr, &d, &m, &y));
}

TEST_F(TimeParse, date_time_text_fills_systemtime) {
    _windows_systemtime st;
    ASSERT_TRUE(parse_date_time_text("2021-03-04", "05:06:09.9996", "YMD", '-', &st));
    EXPECT_EQ(st.year, 2021);
    EXPECT_EQ(st.month, 3);
    EXPECT_EQ(st.day, 4);
    EXPECT_EQ(st.hour, 5);
    EXPECT_EQ(st.minute, 6);
    EXPECT_EQ(st.second, 9);
    EXPECT_EQ(st.milliseconds, 1000);
    ASSERT_TRUE(parse_date_time_text("2021-03-04", nullptr, "YMD", '-', &st));
    EXPECT_EQ(st.hour, 0);
    EXPECT_FALSE(parse_date_time_text("", "01:00", "YMD", '-', &st));
    EXPECT_FALSE(parse_date_time_text("2021-03-04", "nonsense", "YMD", '-', &st));
    EXPECT_EQ(st.year, 0);
    ASSERT_TRUE(parse_iso_date_time_text("2021-03-04T05:06:07.25Z", "YMD", '-', &st));
    EXPECT_EQ(st.second, 7);
    EXPECT_EQ(st.milliseconds, 250);
    EXPECT_FALSE(parse_iso_date_time_text("2021-03-04 05:06:07", "YMD", '-', &st));
    ASSERT_TRUE(parse_numeric_date_time_text("03/04/2021", "10:15 pm", &st));
    EXPECT_EQ(st.month, 3);
    EXPECT_EQ(st.hour, 22);
    ASSERT_TRUE(parse_date_time_text_w(L"03/04/2021", L"", &st));
    EXPECT_EQ(st.day, 4);
    EXPECT_EQ(st.hour, 0);
    EXPECT_FALSE(parse_date_time_text_w(L"", L"10:00", &st));
}

TEST_F(TimeParse, date_time_to_tm_and_local_bias) {
    struct tm t;
    ASSERT_TRUE(parse_date_time_to_tm("03/04/2021", "05:06:07", &t));
    EXPECT_EQ(t.tm_year, 121);
    EXPECT_EQ(t.tm_mon, 2);
    EXPECT_EQ(t.tm_mday, 4);
    EXPECT_EQ(t.tm_hour, 5);
    EXPECT_EQ(t.tm_min, 6);
    EXPECT_EQ(t.tm_sec, 7);
    EXPECT_FALSE(parse_date_time_to_tm(nullptr, nullptr, &t));
    bool dst = true;
    EXPECT_EQ(local_bias_of_date_time_text(&dst, "06/01/2021 12:00:00"), 0);
    EXPECT_FALSE(dst);
    EXPECT_EQ(local_bias_of_date_time_text(&dst, nullptr), 0);
}

TEST_F(TimeParse, iso_and_rfc_texts_to_filetime) {
    EXPECT_EQ(iso_date_time_to_filetime("2021-03-04T05:06:07.1234567Z"),
              ft_of(2021, 3, 4, 5, 6, 7) + 1234567);
    EXPECT_EQ(iso_date_time_to_filetime("2021-03-04"), ft_of(2021, 3, 4, 0, 0, 0));
    EXPECT_EQ(iso_date_time_to_filetime("2021-13-04T00:00:00"), 0u);
    EXPECT_EQ(iso_date_time_to_filetime("T05:06:07"), 0u);
    EXPECT_EQ(rfc_date_to_filetime("Thu, 04 Mar 2021 05:06:07 +0100"), ft_of(2021, 3, 4, 5, 6, 7));
    EXPECT_EQ(rfc_date_to_filetime("04 Mar 2021 05:06:07 GMT"), ft_of(2021, 3, 4, 5, 6, 7));
    EXPECT_EQ(rfc_date_to_filetime("Thu, 04 Mar 2021"), 0u);
    EXPECT_EQ(rfc_date_to_filetime("Thu, 04 Foo 2021 05:06:07 +0100"), 0u);
}

TEST_F(TimeParse, ordered_text_constructor) {
    const qm::time a("2021-03-04 05:06:07", "YMD", '-', false);
    ASSERT_TRUE(a.valid);
    EXPECT_EQ(a.filetime, ft_of(2021, 3, 4, 5, 6, 7));
    const qm::time b("2021-03-04T05:06:07", "YMD", '-', true);
    ASSERT_TRUE(b.valid);
    EXPECT_EQ(b.filetime, a.filetime);
    const qm::time c("04-Mar-2021 05:06:07.5", "DMonY", '-', false);
    ASSERT_TRUE(c.valid);
    EXPECT_EQ(c.filetime, a.filetime + 5000000);
    const qm::time d("2021 03 04 05:06:07 PM", "YMD", ' ', false);
    ASSERT_TRUE(d.valid);
    EXPECT_EQ(d.filetime, ft_of(2021, 3, 4, 5, 6, 7));
    const qm::time e("2021 03 04 05:06:07", "YMD", ' ', false);
    EXPECT_EQ(e.filetime, ft_of(2021, 3, 4, 5, 6, 7));
    const qm::time f("2021-03-04", "YMD", '-', false);
    EXPECT_EQ(f.filetime, ft_of(2021, 3, 4, 0, 0, 0));
    EXPECT_FALSE(qm::time(static_cast<const char*>(nullptr), "YMD", '-', false).valid);
    EXPECT_FALSE(qm::time("not a date", "YMD", '-', false).valid);
    EXPECT_FALSE(qm::time("PM", "YMD", ' ', false).valid);
}

TEST_F(TimeParse, numeric_text_constructor_utc_and_local) {
    const qm::time a("03/04/2021 05:06:07", true);
    ASSERT_TRUE(a.valid);
    EXPECT_EQ(a.filetime, ft_of(2021, 3, 4, 5, 6, 7));
    // With TZ=UTC local time is UTC.
    const qm::time b("03/04/2021", false);
    ASSERT_TRUE(b.valid);
    EXPECT_EQ(b.filetime, ft_of(2021, 3, 4, 0, 0, 0));
    EXPECT_FALSE(qm::time("2021/03/04", true).valid);
    EXPECT_FALSE(qm::time(static_cast<const char*>(nullptr), true).valid);
}

TEST_F(TimeParse, number_text_constructor_by_kind) {
    const qm::time u(std::string("12345"), qm::type_unix);
    ASSERT_TRUE(u.valid);
    EXPECT_EQ(u.get_hour(), 3u);
    EXPECT_EQ(u.get_minute(), 25u);
    EXPECT_EQ(u.get_second(), 45u);
    EXPECT_FALSE(qm::time(std::string("0"), qm::type_unix).valid);
    const qm::time c(std::string("1D"), qm::type_chrome);
    EXPECT_EQ(c.filetime, 290u);
    const qm::time f(std::string("1D7108F5A3D6000"), qm::type_filetime);
    EXPECT_EQ(f.filetime, 0x1D7108F5A3D6000ull);
    EXPECT_TRUE(f.valid);
    const qm::time v(std::string("1"), qm::type_vhd);
    EXPECT_EQ(v.filetime, kFiletimeVhd + kTicksPerSecond);
    const qm::time x(std::string("10"), qm::type_firefox);
    EXPECT_EQ(x.filetime, kFiletimeUnix + 160);
    EXPECT_FALSE(qm::time(std::string("10"), qm::type_hfs).valid);
    EXPECT_EQ(hex_text_to_u64("123456789"), 0x123456789ull);
    EXPECT_EQ(hex_text_to_u64("ff"), 0xFFull);
    EXPECT_EQ(hex_text_to_u64("FFFFFFFF00000001"), 0xFFFFFFFF00000001ull);
}

}  // namespace
