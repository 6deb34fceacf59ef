#include "time/qm_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

const bool kPinnedUtc = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

std::uint64_t ft_of_unix(std::int64_t s) {
    return static_cast<std::uint64_t>(s) * 10000000ull + kFiletimeUnix;
}

qm::time at(std::uint64_t ft) {
    qm::time t;
    t.set_filetime(ft);
    return t;
}

}  // namespace

TEST(QmTime, default_value_is_zeroed_and_invalid) {
    ASSERT_TRUE(kPinnedUtc);
    const qm::time t;
    EXPECT_FALSE(t.valid);
    EXPECT_FALSE(t.local_failed);
    EXPECT_EQ(t.filetime, 0u);
    EXPECT_EQ(t.unix_seconds, 0u);
    EXPECT_EQ(t.windows_filetime.value(), 0u);
    EXPECT_EQ(t.utc.year, 0);
    EXPECT_EQ(t.local.tm_year, 0);
    EXPECT_TRUE(t.tags.empty());
}

TEST(QmTime, the_first_second_of_1970_is_invalid) {
    qm::time t = at(kFiletimeUnix);
    EXPECT_FALSE(t.valid);
    EXPECT_EQ(t.filetime, kFiletimeUnix);
    t = at(kFiletimeUnix + 9999999);
    EXPECT_FALSE(t.valid);
    t = at(kFiletimeUnix + 10000000);
    EXPECT_TRUE(t.valid);
    EXPECT_EQ(t.unix_seconds, 1u);
    EXPECT_EQ(t.utc.year, 1970);
    EXPECT_EQ(t.utc.second, 1);
}

TEST(QmTime, year_1900_is_the_lower_bound_and_pre_1970_has_no_local_time) {
    qm::time t = at(kFiletimeNtp);
    EXPECT_TRUE(t.valid);
    EXPECT_TRUE(t.local_failed);
    EXPECT_EQ(t.utc.year, 1900);
    EXPECT_EQ(t.local.tm_year, 0);
    t = at(kFiletimeNtp - 1);
    EXPECT_FALSE(t.valid);
    EXPECT_EQ(t.utc.year, 1899);
}

TEST(QmTime, year_3000_is_the_upper_bound) {
    qm::time t = at(ft_of_unix(32535215999ll));
    EXPECT_TRUE(t.valid);
    EXPECT_FALSE(t.local_failed);
    EXPECT_EQ(t.local.tm_year, 1100);
    t = at(ft_of_unix(32535216000ll + 12 * 3600));
    EXPECT_FALSE(t.valid);
    EXPECT_TRUE(t.local_failed);
    EXPECT_EQ(t.utc.year, 3001);
}

TEST(QmTime, zero_and_sign_bit) {
    qm::time t = at(ft_of_unix(1000));
    ASSERT_TRUE(t.valid);
    EXPECT_FALSE(t.set_filetime(0));
    EXPECT_FALSE(t.valid);
    EXPECT_EQ(t.filetime, ft_of_unix(1000));  // untouched
    EXPECT_FALSE(t.set_filetime(1ull << 63));
    EXPECT_EQ(t.filetime, 1ull << 63);
    EXPECT_FALSE(t.valid);
}

TEST(QmTime, derived_representations) {
    const qm::time t = at(132521874959025799ull);
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.unix_seconds, 1607713895u);
    EXPECT_EQ(t.windows_filetime.low, static_cast<std::uint32_t>(132521874959025799ull));
    EXPECT_EQ(t.windows_filetime.high, static_cast<std::uint32_t>(132521874959025799ull >> 32));
    EXPECT_EQ(t.dos_date, ((2020 - 1980) << 9) | (12 << 5) | 11);
    EXPECT_EQ(t.dos_time, (19 << 11) | (11 << 5) | 18);
    EXPECT_EQ(t.local.tm_year, 120);
    EXPECT_EQ(t.local.tm_mon, 11);
    EXPECT_EQ(t.local.tm_mday, 11);
    EXPECT_EQ(t.local.tm_hour, 19);
    EXPECT_EQ(t.local.tm_wday, 5);
    EXPECT_EQ(t.local.tm_yday, 345);
    EXPECT_EQ(t.local.tm_isdst, 0);
    EXPECT_EQ(t.get_year(), 2020u);
    EXPECT_EQ(t.get_month(), 12u);
    EXPECT_EQ(t.get_day(), 11u);
    EXPECT_EQ(t.get_hour(), 19u);
    EXPECT_EQ(t.get_minute(), 11u);
    EXPECT_EQ(t.get_second(), 35u);
    EXPECT_EQ(t.get_milliseconds(false), 902u);
    EXPECT_EQ(t.get_milliseconds(true), 903u);
    EXPECT_EQ(t.get_microseconds(false), 902579u);
    EXPECT_EQ(t.get_microseconds(true), 902580u);
    EXPECT_EQ(t.get_nanoseconds(), 902579900u);
}

TEST(QmTime, dos_words_only_between_1980_and_2037) {
    qm::time t = at(ft_of_unix(315532799));  // 1979-12-31 23:59:59
    EXPECT_TRUE(t.valid);
    EXPECT_EQ(t.dos_date, 0);
    EXPECT_EQ(t.dos_time, 0);
    t = at(ft_of_unix(2145916800));  // 2038-01-01
    EXPECT_EQ(t.dos_date, 0);
    t = at(ft_of_unix(2145916799));  // 2037-12-31 23:59:59
    EXPECT_EQ(t.dos_date >> 9, 57);
    EXPECT_EQ(t.dos_time & 31, 30);
    // A later value outside the range keeps what the last in-range value wrote.
    const std::uint16_t kept = t.dos_date;
    t.set_filetime(ft_of_unix(2145916800));
    EXPECT_EQ(t.dos_date, kept);
}

TEST(QmTime, clear_keeps_utc_parts_and_empties_tags) {
    qm::time t = at(ft_of_unix(1000000000));
    t.tags["x"] = 3;
    qm::time copy = t;
    EXPECT_EQ(copy.tags.at("x"), 3u);
    t.clear();
    EXPECT_TRUE(t.tags.empty());
    EXPECT_FALSE(t.valid);
    EXPECT_EQ(t.filetime, 0u);
    EXPECT_EQ(t.unix_seconds, 0u);
    EXPECT_EQ(t.local.tm_year, 0);
    EXPECT_EQ(t.utc.year, 2001);
    EXPECT_NE(t.dos_date, 0);
}

TEST(QmTime, local_parts_follow_a_posix_zone) {
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    tzset();
    const int bias = get_local_bias_seconds();
    const qm::time t = at(ft_of_unix(946684800));  // 2000-01-01 00:00 UTC
    setenv("TZ", "UTC", 1);
    tzset();
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.utc.year, 2000);
    EXPECT_EQ(t.local.tm_year, 99);
    EXPECT_EQ(t.local.tm_mday, 31);
    EXPECT_EQ(t.local.tm_hour, 24 + bias / 3600);
}

TEST(QmTime, year_window_of_the_format_word) {
    date_time_format f;
    ASSERT_TRUE(parse_date_time_format(f, "yyyy-mm-dd", "hh:mm:ss.xxx", false));
    EXPECT_TRUE(at(ft_of_unix(1000000000)).year_in_format_window(f));
    f.max_year = 2000;
    EXPECT_FALSE(at(ft_of_unix(1000000000)).year_in_format_window(f));
    EXPECT_FALSE(qm::time().year_in_format_window(f));
}

TEST(QmTime, comparisons_are_signed_for_order) {
    const qm::time a = at(ft_of_unix(10)), b = at(ft_of_unix(20));
    qm::time neg;
    neg.set_filetime(1ull << 63);
    EXPECT_TRUE(a < b);
    EXPECT_TRUE(a <= b);
    EXPECT_TRUE(b > a);
    EXPECT_TRUE(b >= a);
    EXPECT_TRUE(a != b);
    EXPECT_TRUE(a == at(ft_of_unix(10)));
    EXPECT_TRUE(neg < a);
}

TEST(QmTime, shifts_act_on_valid_values_only) {
    qm::time t = at(ft_of_unix(1075507200));  // 2004-01-31
    t.add_months(1);
    EXPECT_EQ(t.utc.month, 3);
    EXPECT_EQ(t.utc.day, 1);
    t.add_weeks(1)
        .add_days(1)
        .add_hours(1)
        .add_minutes(1)
        .add_seconds(1)
        .add_milliseconds(1)
        .add_microseconds(1);
    EXPECT_EQ(t.utc.day, 9);
    EXPECT_EQ(t.utc.hour, 1);
    EXPECT_EQ(t.utc.minute, 1);
    EXPECT_EQ(t.utc.second, 1);
    EXPECT_EQ(t.microseconds, 1001u);
    t.subtract_days(8);
    EXPECT_EQ(t.utc.day, 1);
    t.add_seconds(-3661);
    EXPECT_EQ(t.utc.day, 1);
    EXPECT_EQ(t.utc.hour, 0);
    EXPECT_EQ(t.utc.second, 0);

    qm::time d = at(ft_of_unix(10));
    qm::time u = at(ft_of_unix(100));
    const std::uint64_t before = u.filetime;
    u.add_time(d).subtract_time(d);
    EXPECT_EQ(u.filetime, before);

    qm::time invalid;
    invalid.add_days(5);
    EXPECT_EQ(invalid.filetime, 0u);
    EXPECT_FALSE(invalid.valid);
}
