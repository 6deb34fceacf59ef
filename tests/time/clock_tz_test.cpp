#include "time/clock_tz.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <vector>

namespace {

const bool kPinnedUtc = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

signed_ntp_stamp sn(double v) {
    signed_ntp_stamp r;
    const double m = v < 0 ? -v : v;
    ntp_store_seconds(r.value, static_cast<std::uint32_t>(m));
    ntp_store_fraction(r.value,
                       static_cast<std::uint32_t>((m - static_cast<std::uint32_t>(m)) * 4294967296.0));
    r.negative = v < 0 ? 1 : 0;
    return r;
}

double value(const signed_ntp_stamp& s) {
    const double m = ntp_seconds(s.value) + ntp_fraction(s.value) / 4294967296.0;
    return s.negative ? -m : m;
}

std::uint64_t ft_utc(int y, int mo, int d, int h, int mi) {
    struct tm t;
    std::memset(&t, 0, sizeof t);
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    return date_parts_to_filetime(t, 0);
}

// US Eastern: EST = UTC-5, daylight from the second Sunday of March 02:00 to the first Sunday of November
// 02:00 (local clock).
zone_rule us_eastern() {
    zone_rule z;
    z.dst_start = {0, 3, 2, 2, 0, 0, 0, 0};
    z.dst_end = {0, 11, 1, 2, 0, 0, 0, 0};
    z.base_bias = 18000;
    z.daylight_bias = -3600;
    z.standard_bias = 0;
    return z;
}

// Sydney: UTC+10, daylight from the first Sunday of October to the first Sunday of April.
zone_rule sydney() {
    zone_rule z;
    z.dst_start = {0, 10, 1, 2, 0, 0, 0, 0};
    z.dst_end = {0, 4, 1, 3, 0, 0, 0, 0};
    z.base_bias = -36000;
    z.daylight_bias = -3600;
    z.standard_bias = 0;
    return z;
}

}  // namespace

TEST(Clock, current_time_and_ntp_follow_the_host_clock) {
    ASSERT_TRUE(kPinnedUtc);
    const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr));
    const qm::time now = get_current_time();
    const std::uint64_t ntp = get_current_ntp_time();
    const std::int64_t after = static_cast<std::int64_t>(std::time(nullptr));
    ASSERT_TRUE(now.valid);
    EXPECT_GE(static_cast<std::int64_t>(now.unix_seconds), before);
    EXPECT_LE(static_cast<std::int64_t>(now.unix_seconds), after);
    const ntp_stamp v = ntp_from_u64(ntp);
    EXPECT_EQ(ntp_fraction(v), 0u);
    EXPECT_GE(ntp_seconds(v), static_cast<std::uint32_t>(before + 2208988800ll));
    EXPECT_LE(ntp_seconds(v), static_cast<std::uint32_t>(after + 2208988800ll));
    std::uint64_t stored = 0;
    set_current_ntp_time(&stored);
    EXPECT_NE(stored, 0u);
    set_current_ntp_time(nullptr);
    qm::time out;
    EXPECT_EQ(&get_current_time(out), &out);
    EXPECT_TRUE(out.valid);
}

TEST(Clock, profile_and_elapsed_lines) {
    std::string text = "unchanged";
    EXPECT_FALSE(profile_line_text(text, 0, "x"));
    EXPECT_EQ(text, "unchanged");
    std::uint64_t start = get_current_ntp_time();
    ntp_stamp s = ntp_from_u64(start);
    ntp_subtract_seconds(s, 2);
    start = ntp_to_u64(s);
    ASSERT_TRUE(profile_line_text(text, start, ""));
    EXPECT_EQ(text.rfind("Profile: ", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 5), " secs");
    ASSERT_TRUE(profile_line_text(text, start, "scan"));
    EXPECT_EQ(text.rfind("[scan] Profile: ", 0), 0u) << text;
    const double secs = std::atof(text.c_str() + 16);
    EXPECT_GE(secs, 2.0);
    EXPECT_LE(secs, 4.0);

    std::ostringstream none, some;
    write_elapsed_seconds(0, none);
    EXPECT_EQ(none.str(), "");
    write_elapsed_seconds(start, some);
    EXPECT_EQ(some.str().substr(some.str().size() - 7), " secs \n");
}

TEST(Clock, signed_ntp_arithmetic) {
    EXPECT_DOUBLE_EQ(value(ntp_subtract(sn(5.0), sn(7.5))), -2.5);
    EXPECT_DOUBLE_EQ(value(ntp_subtract(sn(-5.0), sn(7.5))), -12.5);
    EXPECT_DOUBLE_EQ(value(ntp_subtract(sn(-5.0), sn(-7.5))), 2.5);
    EXPECT_DOUBLE_EQ(value(ntp_subtract(sn(7.5), sn(7.75))), -0.25);
    EXPECT_DOUBLE_EQ(value(ntp_subtract(sn(7.75), sn(0.5))), 7.25);
    EXPECT_DOUBLE_EQ(value(ntp_add(sn(1.75), sn(2.5))), 4.25);  // carry from the fraction
    EXPECT_DOUBLE_EQ(value(ntp_add(sn(-1.75), sn(-2.5))), -4.25);
    EXPECT_DOUBLE_EQ(value(ntp_add(sn(1.25), sn(-2.5))), -1.25);
    EXPECT_DOUBLE_EQ(value(ntp_add(sn(-1.25), sn(2.5))), 1.25);
    EXPECT_DOUBLE_EQ(value(ntp_subtract(sn(3.25), sn(1.5))), 1.75);  // borrow

    const std::uint64_t ft = kFiletimeNtp + 100000000ull;  // NTP 10.0
    EXPECT_DOUBLE_EQ(value(ntp_subtract_filetime(sn(12.5), ft)), 2.5);
    EXPECT_DOUBLE_EQ(value(ntp_add_filetime(sn(-0.5), ft)), 9.5);
    _windows_systemtime st;
    st.year = 1900;
    st.month = 1;
    st.day = 1;
    st.second = 10;
    EXPECT_DOUBLE_EQ(value(ntp_subtract_systemtime(sn(12.5), st)), 2.5);
    EXPECT_DOUBLE_EQ(value(ntp_add_systemtime(sn(0.5), st)), 10.5);
    // A time without an NTP value counts as 0.
    EXPECT_DOUBLE_EQ(value(ntp_add_filetime(sn(3.0), 1ull << 63)), 3.0);
}

TEST(Clock, fuzzing_stays_within_its_bounds) {
    for (int i = 0; i < 200; ++i) {
        ntp_stamp v;
        ntp_store_seconds(v, 1000);
        ntp_store_fraction(v, 0x10000);
        const std::uint32_t f = ntp_fuzz_fraction(v);
        EXPECT_EQ(f, ntp_fraction(v));
        EXPECT_GE(f, 0x10000u + 1 + 256);
        EXPECT_LE(f, 0x10000u + 255 + 15 * 256);
        EXPECT_EQ(ntp_seconds(v), 1000u);
        const std::uint32_t g = ntp_fuzz_seconds(v);
        EXPECT_EQ(g, ntp_fraction(v));
        const std::int64_t delta = static_cast<std::int64_t>(ntp_seconds(v)) - 1000;
        EXPECT_TRUE((delta >= 2 && delta < 128) || (delta <= -128 && delta >= -255)) << delta;
    }
}

TEST(TimeZone, transition_days) {
    std::uint64_t s = 0, e = 0;
    const zone_rule z = us_eastern();
    ASSERT_TRUE(zone_transitions(&s, &e, z.dst_start, z.dst_end, ft_utc(2021, 6, 1, 0, 0)));
    EXPECT_EQ(s, ft_utc(2021, 3, 14, 2, 0));  // 1 March 2021 was a Monday
    EXPECT_EQ(e, ft_utc(2021, 11, 7, 2, 0));
    ASSERT_TRUE(zone_transitions(&s, &e, z.dst_start, z.dst_end, ft_utc(2020, 6, 1, 0, 0)));
    EXPECT_EQ(s, ft_utc(2020, 3, 8, 2, 0));  // 1 March 2020 was a Sunday
    EXPECT_EQ(zone_dst_start(z, ft_utc(2021, 1, 1, 0, 0)), ft_utc(2021, 3, 14, 2, 0));
    EXPECT_EQ(zone_dst_end(z, ft_utc(2021, 1, 1, 0, 0)), ft_utc(2021, 11, 7, 2, 0));
    ASSERT_TRUE(zone_transitions(&s, nullptr, z.dst_start, z.dst_end, 0));  // now
    EXPECT_NE(s, 0u);

    const std::vector<std::uint16_t> short_rule(7, 0);
    EXPECT_FALSE(zone_transitions(&s, &e, short_rule, z.dst_end, ft_utc(2021, 6, 1, 0, 0)));
    zone_rule bad = z;
    bad.dst_end = short_rule;
    EXPECT_EQ(zone_dst_end(bad, ft_utc(2021, 6, 1, 0, 0)), 0u);
    EXPECT_EQ(zone_local_to_utc(static_cast<std::int64_t>(ft_utc(2021, 6, 1, 0, 0)), bad), 0u);
    EXPECT_EQ(zone_utc_to_local(static_cast<std::int64_t>(ft_utc(2021, 6, 1, 0, 0)), bad), 0u);
}

// Occurrence 5 stands for the month's last Sunday, also where counting on would leave the month.
TEST(TimeZone, occurrence_five_is_the_last_sunday) {
    zone_rule z = us_eastern();
    z.dst_start = {0, 10, 5, 3, 0, 0, 0, 0};  // October 2021: 1st a Friday, last Sunday the 31st
    z.dst_end = {0, 9, 5, 1, 0, 0, 0, 0};     // September 2021: 1st a Wednesday, last Sunday the 26th
    EXPECT_EQ(zone_dst_start(z, ft_utc(2021, 1, 1, 0, 0)), ft_utc(2021, 10, 31, 3, 0));
    EXPECT_EQ(zone_dst_end(z, ft_utc(2021, 1, 1, 0, 0)), ft_utc(2021, 9, 26, 1, 0));
    z.dst_end = {0, 4, 5, 1, 0, 0, 0, 0};  // April 2021: 1st a Thursday, last Sunday the 25th
    EXPECT_EQ(zone_dst_end(z, ft_utc(2021, 1, 1, 0, 0)), ft_utc(2021, 4, 25, 1, 0));
}

TEST(TimeZone, local_to_utc_north) {
    const zone_rule z = us_eastern();
    EXPECT_EQ(zone_local_to_utc(static_cast<std::int64_t>(ft_utc(2021, 7, 1, 12, 0)), z),
              ft_utc(2021, 7, 1, 16, 0));
    EXPECT_EQ(zone_local_to_utc(static_cast<std::int64_t>(ft_utc(2021, 1, 1, 12, 0)), z),
              ft_utc(2021, 1, 1, 17, 0));
}

// The change happens at 02:00 on the clock in force before it: 07:00 UTC in March, 06:00 UTC in November.
TEST(TimeZone, utc_to_local_around_the_changes) {
    const zone_rule z = us_eastern();
    auto to_local = [&](std::uint64_t utc) { return zone_utc_to_local(static_cast<std::int64_t>(utc), z); };
    EXPECT_EQ(to_local(ft_utc(2021, 3, 14, 6, 30)), ft_utc(2021, 3, 14, 1, 30));
    EXPECT_EQ(to_local(ft_utc(2021, 3, 14, 7, 30)), ft_utc(2021, 3, 14, 3, 30));
    EXPECT_EQ(to_local(ft_utc(2021, 11, 7, 5, 30)), ft_utc(2021, 11, 7, 1, 30));
    EXPECT_EQ(to_local(ft_utc(2021, 11, 7, 6, 30)), ft_utc(2021, 11, 7, 1, 30));
    EXPECT_EQ(to_local(ft_utc(2021, 7, 1, 16, 0)), ft_utc(2021, 7, 1, 12, 0));
}

// Daylight time begins at its start instant and ends at its end instant: the tick before each still has
// the old bias, the instant itself the new one, on both conversions and in both hemispheres.
TEST(TimeZone, bias_changes_exactly_at_the_transition_instants) {
    constexpr std::uint64_t kTick = 1;  // 100 ns
    constexpr std::uint64_t kHour = 36000000000ull;
    const zone_rule north = us_eastern();
    const zone_rule south = sydney();
    struct instant {
        const zone_rule* zone;
        bool to_utc;  // zone_local_to_utc, else zone_utc_to_local
        std::uint64_t in;
        std::uint64_t out;
    };
    const std::uint64_t n_start_local = ft_utc(2021, 3, 14, 2, 0), n_end_local = ft_utc(2021, 11, 7, 2, 0);
    const std::uint64_t n_start_utc = ft_utc(2021, 3, 14, 7, 0), n_end_utc = ft_utc(2021, 11, 7, 6, 0);
    const std::uint64_t s_start_local = ft_utc(2021, 10, 3, 2, 0), s_end_local = ft_utc(2021, 4, 4, 3, 0);
    const std::vector<instant> cases = {
        {&north, true, n_start_local - kTick, n_start_local - kTick + 5 * kHour},
        {&north, true, n_start_local, n_start_local + 4 * kHour},
        {&north, true, n_end_local - kTick, n_end_local - kTick + 4 * kHour},
        {&north, true, n_end_local, n_end_local + 5 * kHour},
        {&north, false, n_start_utc - kTick, n_start_utc - kTick - 5 * kHour},
        {&north, false, n_start_utc, n_start_utc - 4 * kHour},
        {&north, false, n_end_utc - kTick, n_end_utc - kTick - 4 * kHour},
        {&north, false, n_end_utc, n_end_utc - 5 * kHour},
        {&south, true, s_start_local - kTick, s_start_local - kTick - 10 * kHour},
        {&south, true, s_start_local, s_start_local - 11 * kHour},
        {&south, true, s_end_local - kTick, s_end_local - kTick - 11 * kHour},
        {&south, true, s_end_local, s_end_local - 10 * kHour},
    };
    for (const instant& c : cases) {
        const std::int64_t in = static_cast<std::int64_t>(c.in);
        const std::uint64_t got = c.to_utc ? zone_local_to_utc(in, *c.zone) : zone_utc_to_local(in, *c.zone);
        EXPECT_EQ(got, c.out) << (c.zone == &north ? "north " : "south ")
                              << (c.to_utc ? "to utc " : "to local ") << c.in;
    }
}

// A southern zone has daylight time across the new year.
TEST(TimeZone, southern_rule_spans_the_new_year) {
    const zone_rule z = sydney();
    EXPECT_EQ(zone_local_to_utc(static_cast<std::int64_t>(ft_utc(2021, 1, 15, 12, 0)), z),
              ft_utc(2021, 1, 15, 1, 0));
    EXPECT_EQ(zone_local_to_utc(static_cast<std::int64_t>(ft_utc(2021, 7, 15, 12, 0)), z),
              ft_utc(2021, 7, 15, 2, 0));
    EXPECT_EQ(zone_local_to_utc(static_cast<std::int64_t>(ft_utc(2021, 12, 15, 12, 0)), z),
              ft_utc(2021, 12, 15, 1, 0));
    EXPECT_EQ(zone_utc_to_local(static_cast<std::int64_t>(ft_utc(2021, 1, 15, 1, 0)), z),
              ft_utc(2021, 1, 15, 12, 0));
    EXPECT_EQ(zone_utc_to_local(static_cast<std::int64_t>(ft_utc(2021, 7, 15, 2, 0)), z),
              ft_utc(2021, 7, 15, 12, 0));
}

TEST(TimeZone, transition_text_without_fraction) {
    const zone_rule z = us_eastern();
    date_time_format f;
    ASSERT_TRUE(parse_date_time_format(f, "yyyy-mm-dd", "hh:mm:ss.xxx", false));
    std::ostringstream a, b, c;
    write_zone_dst_start(z, a, f, ft_utc(2021, 6, 1, 0, 0));
    EXPECT_EQ(a.str(), "2021-03-14 02:00:00");
    ASSERT_TRUE(parse_date_time_format(f, "mm/dd/yyyy", "hh:mm:ss", false));
    write_zone_dst_end(z, b, f, ft_utc(2021, 6, 1, 0, 0));
    EXPECT_EQ(b.str(), "11/07/2021 02:00:00");
    zone_rule bad = z;
    bad.dst_start.pop_back();
    write_zone_dst_start(bad, c, f, ft_utc(2021, 6, 1, 0, 0));
    EXPECT_EQ(c.str(), "");
}
