#include "time/calendar.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

const bool kPinnedUtc = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

// Seconds from 1970-01-01 back to 1601-01-01.
constexpr std::int64_t kUnixAt1601 = -11644473600ll;

struct tm make_tm(int year, int month, int day, int hour = 0, int min = 0, int sec = 0) {
    struct tm t;
    std::memset(&t, 0, sizeof t);
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = min;
    t.tm_sec = sec;
    return t;
}

std::uint64_t ft_of_unix(std::int64_t s) {
    return static_cast<std::uint64_t>(s) * 10000000ull + kFiletimeUnix;
}

}  // namespace

// Every day from 1601 to 3000, at a time of day that moves through the hours, against the C library's own
// UTC conversion: breakdown, reassembly and day of week.
TEST(Calendar, every_day_1601_to_3000_round_trips_against_gmtime) {
    ASSERT_TRUE(kPinnedUtc);
    const std::int64_t last_day = (32535215999ll - kUnixAt1601) / 86400;
    for (std::int64_t day = 0; day <= last_day; ++day) {
        const std::int64_t secs = kUnixAt1601 + day * 86400 + (day * 3797) % 86400;
        const std::time_t tt = static_cast<std::time_t>(secs);
        struct tm ref;
        ASSERT_NE(gmtime_r(&tt, &ref), nullptr);
        const std::uint64_t ms = static_cast<std::uint64_t>(day % 1000);
        const std::uint64_t ft = ft_of_unix(secs) + ms * 10000 + 7;

        date_parts p;
        ASSERT_TRUE(filetime_to_date_parts(p, ft));
        ASSERT_EQ(p.utc.year, ref.tm_year + 1900) << "day " << day;
        ASSERT_EQ(p.utc.month, ref.tm_mon + 1) << "day " << day;
        ASSERT_EQ(p.utc.day, ref.tm_mday) << "day " << day;
        ASSERT_EQ(p.utc.hour, ref.tm_hour);
        ASSERT_EQ(p.utc.minute, ref.tm_min);
        ASSERT_EQ(p.utc.second, ref.tm_sec);
        ASSERT_EQ(p.utc.day_of_week, ref.tm_wday) << "day " << day;
        ASSERT_EQ(p.utc.milliseconds, ms);
        ASSERT_EQ(p.microseconds, ms * 1000);

        ASSERT_EQ(date_parts_to_filetime(ref, ms), ft - 7) << "day " << day;

        struct tm gm;
        unix_seconds_to_gm_tm(gm, secs);
        ASSERT_EQ(gm.tm_year, ref.tm_year) << "day " << day;
        ASSERT_EQ(gm.tm_yday, ref.tm_yday) << "day " << day;
        ASSERT_EQ(gm.tm_mon, ref.tm_mon);
        ASSERT_EQ(gm.tm_mday, ref.tm_mday);
        ASSERT_EQ(gm.tm_wday, ref.tm_wday);
        ASSERT_EQ(gm.tm_hour * 3600 + gm.tm_min * 60 + gm.tm_sec,
                  ref.tm_hour * 3600 + ref.tm_min * 60 + ref.tm_sec);

        if (secs >= 0) {
            struct tm u;
            ASSERT_TRUE(unix_seconds_to_utc_tm(secs, u));
            ASSERT_EQ(u.tm_year, ref.tm_year);
            ASSERT_EQ(u.tm_yday, ref.tm_yday);
            ASSERT_EQ(u.tm_mon, ref.tm_mon);
            ASSERT_EQ(u.tm_mday, ref.tm_mday);
            ASSERT_EQ(u.tm_wday, ref.tm_wday);
            ASSERT_EQ(u.tm_hour, ref.tm_hour);
            ASSERT_EQ(u.tm_min, ref.tm_min);
            ASSERT_EQ(u.tm_sec, ref.tm_sec);
        }
    }
}

// Past 3000 the 365-day year estimate runs ahead by more than a year; the breakdown must still agree.
TEST(Calendar, far_future_breakdown_agrees_with_gmtime) {
    for (std::int64_t secs = 32535216000ll; secs < 910692730085ll; secs += 86400ll * 97 + 3671) {
        const std::time_t tt = static_cast<std::time_t>(secs);
        struct tm ref;
        ASSERT_NE(gmtime_r(&tt, &ref), nullptr);
        date_parts p;
        ASSERT_TRUE(filetime_to_date_parts(p, ft_of_unix(secs)));
        ASSERT_EQ(p.utc.year, ref.tm_year + 1900) << secs;
        ASSERT_EQ(p.utc.month, ref.tm_mon + 1) << secs;
        ASSERT_EQ(p.utc.day, ref.tm_mday) << secs;
        ASSERT_EQ(date_parts_to_filetime(ref, 0), ft_of_unix(secs)) << secs;
    }
}

TEST(Calendar, sub_second_parts_are_truncated_ticks) {
    date_parts p;
    ASSERT_TRUE(filetime_to_date_parts(p, 132521874959025799ull));
    EXPECT_EQ(p.utc.year, 2020);
    EXPECT_EQ(p.utc.month, 12);
    EXPECT_EQ(p.utc.day, 11);
    EXPECT_EQ(p.utc.hour, 19);
    EXPECT_EQ(p.utc.minute, 11);
    EXPECT_EQ(p.utc.second, 35);
    EXPECT_EQ(p.utc.milliseconds, 902);
    EXPECT_EQ(p.microseconds, 902579u);
    EXPECT_EQ(p.nanoseconds, 902579900u);
    EXPECT_EQ(p.picoseconds, 902579900000u);
}

TEST(Calendar, epochs_and_sign_bit) {
    date_parts p;
    ASSERT_TRUE(filetime_to_date_parts(p, 0));
    EXPECT_EQ(p.utc.year, 1601);
    EXPECT_EQ(p.utc.month, 1);
    EXPECT_EQ(p.utc.day, 1);
    EXPECT_EQ(p.utc.day_of_week, 1);
    ASSERT_TRUE(filetime_to_date_parts(p, kFiletimeUnix));
    EXPECT_EQ(p.utc.year, 1970);
    EXPECT_EQ(p.utc.day_of_week, 4);
    EXPECT_FALSE(filetime_to_date_parts(p, 1ull << 63));
    EXPECT_EQ(p.utc.year, 0);
    EXPECT_EQ(p.utc.month, 0);
    ASSERT_TRUE(filetime_to_date_parts(p, (1ull << 63) - 1));
    EXPECT_EQ(p.utc.year, 30828);
}

TEST(Calendar, precise_parts_come_from_sub_ticks) {
    date_parts p;
    ASSERT_TRUE(filetime_to_date_parts_precise(kFiletimeUnix + 10000000, p, 1234567.5));
    EXPECT_EQ(p.utc.second, 1);
    EXPECT_EQ(p.utc.milliseconds, 123);
    EXPECT_EQ(p.microseconds, 123456u);
    EXPECT_EQ(p.nanoseconds, 123456750u);
    EXPECT_EQ(p.picoseconds, 123456750000u);
    EXPECT_FALSE(filetime_to_date_parts_precise(kFiletimeUnix, p, -1.0));
    EXPECT_FALSE(filetime_to_date_parts_precise(kFiletimeUnix, p, 1e7));
    EXPECT_FALSE(filetime_to_date_parts_precise(kFiletimeUnix, p, std::nan("")));
}

TEST(Calendar, date_parts_to_filetime_examples_and_month_carry) {
    EXPECT_EQ(date_parts_to_filetime(make_tm(2000, 3, 1), 0), 125963424000000000ull);
    EXPECT_EQ(date_parts_to_filetime(make_tm(2000, 2, 29), 0), 125962560000000000ull);
    EXPECT_EQ(date_parts_to_filetime(make_tm(2100, 3, 1), 0), 157520160000000000ull);
    EXPECT_EQ(date_parts_to_filetime(make_tm(1601, 1, 1), 0), 0u);

    struct tm t = make_tm(1999, 1, 15);
    t.tm_mon = 12;  // month 13 of 1999
    EXPECT_EQ(date_parts_to_filetime(t, 0), date_parts_to_filetime(make_tm(2000, 1, 15), 0));
    t = make_tm(2000, 1, 15);
    t.tm_mon = -1;
    EXPECT_EQ(date_parts_to_filetime(t, 0), date_parts_to_filetime(make_tm(1999, 12, 15), 0));
    t = make_tm(2000, 1, 15);
    t.tm_mon = -13;
    EXPECT_EQ(date_parts_to_filetime(t, 0), date_parts_to_filetime(make_tm(1998, 12, 15), 0));
    // Days roll over: 31 February of a common year is 3 March.
    EXPECT_EQ(date_parts_to_filetime(make_tm(2001, 2, 31), 0),
              date_parts_to_filetime(make_tm(2001, 3, 3), 0));
    EXPECT_EQ(date_parts_to_filetime(make_tm(2001, 1, 1, 0, 0, 0), 1500),
              date_parts_to_filetime(make_tm(2001, 1, 1, 0, 0, 1), 500));
}

TEST(Calendar, unix_seconds_to_tm_bounds_and_bias) {
    struct tm t;
    ASSERT_TRUE(unix_seconds_to_tm(32535215999ll, t, 0.0f));
    EXPECT_EQ(t.tm_year, 1100);
    EXPECT_EQ(t.tm_mon, 11);
    EXPECT_EQ(t.tm_mday, 31);
    EXPECT_EQ(t.tm_isdst, 0);
    EXPECT_FALSE(unix_seconds_to_tm(32535216000ll, t, 0.0f));
    EXPECT_EQ(t.tm_year, 0);
    EXPECT_EQ(t.tm_mday, 0);

    t.tm_year = 77;
    EXPECT_FALSE(unix_seconds_to_tm(-1, t, 0.0f));
    EXPECT_EQ(t.tm_year, 77);  // untouched

    ASSERT_TRUE(unix_seconds_to_tm(0, t, 5.5f));
    EXPECT_EQ(t.tm_hour, 5);
    EXPECT_EQ(t.tm_min, 30);
    // A negative bias before the first hours of 1970 cannot be broken down (it used to give day 0).
    EXPECT_FALSE(unix_seconds_to_tm(3600, t, -5.0f));
    EXPECT_EQ(t.tm_mday, 0);
    ASSERT_TRUE(unix_seconds_to_tm(18000, t, -5.0f));
    EXPECT_EQ(t.tm_mday, 1);
    EXPECT_EQ(t.tm_hour, 0);
}

TEST(Calendar, unix_seconds_to_tm_agrees_with_gmtime_from_1970_to_3000) {
    // Leap-day edges of 2000 (leap), 2100 (not) and 2400 (leap), year ends, and a sweep with an odd step.
    std::vector<std::int64_t> instants = {0,
                                          86399,
                                          951782399,
                                          951782400,
                                          951868800,
                                          4107542400ll,
                                          4107628800ll,
                                          13574563200ll,
                                          13574649600ll,
                                          32535215999ll};
    for (std::int64_t s = 0; s < 32535216000ll; s += 7777777) instants.push_back(s);
    for (const std::int64_t s : instants) {
        struct tm ours, theirs;
        const std::time_t t = static_cast<std::time_t>(s);
        ASSERT_TRUE(unix_seconds_to_tm(s, ours, 0.0f)) << s;
        ASSERT_NE(gmtime_r(&t, &theirs), nullptr);
        EXPECT_EQ(std::vector<int>({ours.tm_year, ours.tm_mon, ours.tm_mday, ours.tm_hour, ours.tm_min,
                                    ours.tm_sec, ours.tm_wday, ours.tm_yday}),
                  std::vector<int>({theirs.tm_year, theirs.tm_mon, theirs.tm_mday, theirs.tm_hour,
                                    theirs.tm_min, theirs.tm_sec, theirs.tm_wday, theirs.tm_yday}))
            << s;
    }
}

TEST(Calendar, local_bias_matches_the_c_library_around_daylight_saving_changes) {
    struct zone_case {
        const char* tz;
        std::int64_t change;  // a change of offset, Unix seconds
    };
    const zone_case cases[] = {
        {"America/New_York", 1710054000},  // 2024-03-10 07:00 UTC, 02:00 EST becomes 03:00 EDT
        {"America/New_York", 1730613600},  // 2024-11-03 06:00 UTC, 02:00 EDT becomes 01:00 EST
        {"Europe/London", 1711846800},     // 2024-03-31 01:00 UTC, GMT becomes BST
        {"Europe/London", 1729990800},     // 2024-10-27 01:00 UTC, BST becomes GMT
        {"Europe/London", 1072915200},     // 2004-01-01, no change near
    };
    const std::int64_t offsets[] = {-86400, -3601, -3600, -1, 0, 1, 3599, 3600, 86400};
    for (const zone_case& c : cases) {
        setenv("TZ", c.tz, 1);
        tzset();
        for (const std::int64_t d : offsets) {
            const std::time_t t = static_cast<std::time_t>(c.change + d);
            struct tm theirs, ours;
            ASSERT_NE(localtime_r(&t, &theirs), nullptr);
            const int bias = local_bias_seconds_at(t);
            EXPECT_EQ(bias, theirs.tm_gmtoff) << c.tz << " " << t;
            ASSERT_TRUE(
                unix_seconds_to_tm(static_cast<std::int64_t>(t), ours, static_cast<float>(bias) / 3600.0f));
            EXPECT_EQ(std::vector<int>(
                          {ours.tm_year, ours.tm_mon, ours.tm_mday, ours.tm_hour, ours.tm_min, ours.tm_sec}),
                      std::vector<int>({theirs.tm_year, theirs.tm_mon, theirs.tm_mday, theirs.tm_hour,
                                        theirs.tm_min, theirs.tm_sec}))
                << c.tz << " " << t;
        }
        // The run's bias is the one of this moment, and it follows a change of TZ.
        EXPECT_EQ(get_local_bias_seconds(), local_bias_seconds_at(std::time(nullptr))) << c.tz;
    }
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(get_local_bias_seconds(), 0);
}

namespace {

// True when the zone file of `zone` is installed; a test of it is skipped otherwise.
bool have_zone(const char* zone) {
    const char* dir = std::getenv("TZDIR");
    const std::string path = std::string(dir != nullptr ? dir : "/usr/share/zoneinfo") + "/" + zone;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

// The local wall-clock text of Unix second `t` with `bias` seconds added.
std::string wall_clock(std::int64_t t, int bias) {
    struct tm out;
    if (!unix_seconds_to_tm(t, out, static_cast<float>(bias) / 3600.0f)) return "invalid";
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", out.tm_year + 1900, out.tm_mon + 1,
                  out.tm_mday, out.tm_hour, out.tm_min, out.tm_sec);
    return text;
}

}  // namespace

// The last second before and the first second of a daylight-saving period and of its end, north and south:
// the bias of each instant and the local time it gives.
TEST(Calendar, local_time_at_the_exact_instants_daylight_saving_starts_and_ends) {
    struct instant_case {
        const char* zone;
        std::int64_t change;  // Unix seconds of the change
        int before, after;    // local minus UTC, seconds
        const char* local_before;
        const char* local_after;
    };
    const instant_case cases[] = {
        {"Europe/Berlin", 1616893200, 3600, 7200, "2021-03-28 01:59:59", "2021-03-28 03:00:00"},
        {"Europe/Berlin", 1635642000, 7200, 3600, "2021-10-31 02:59:59", "2021-10-31 02:00:00"},
        {"America/New_York", 1615705200, -18000, -14400, "2021-03-14 01:59:59", "2021-03-14 03:00:00"},
        {"America/New_York", 1636264800, -14400, -18000, "2021-11-07 01:59:59", "2021-11-07 01:00:00"},
        {"Australia/Sydney", 1617465600, 39600, 36000, "2021-04-04 02:59:59", "2021-04-04 02:00:00"},
        {"Australia/Sydney", 1633190400, 36000, 39600, "2021-10-03 01:59:59", "2021-10-03 03:00:00"},
    };
    for (const instant_case& c : cases) {
        if (!have_zone(c.zone)) {
            std::printf("[  SKIPPED ] zone file of %s not installed\n", c.zone);
            continue;
        }
        setenv("TZ", c.zone, 1);
        tzset();
        const int before = local_bias_seconds_at(static_cast<std::time_t>(c.change - 1));
        const int after = local_bias_seconds_at(static_cast<std::time_t>(c.change));
        EXPECT_EQ(before, c.before) << c.zone << " " << c.change;
        EXPECT_EQ(after, c.after) << c.zone << " " << c.change;
        EXPECT_EQ(wall_clock(c.change - 1, before), c.local_before) << c.zone;
        EXPECT_EQ(wall_clock(c.change, after), c.local_after) << c.zone;
    }
    setenv("TZ", "UTC", 1);
    tzset();
}

// Across New Year in a zone east of UTC the local side is a day and a year ahead: the local date, the day of
// the year and of the week, and UTC minus local time all see that.
TEST(Calendar, local_time_across_new_year_east_of_utc) {
    if (!have_zone("Asia/Tokyo")) GTEST_SKIP() << "zone file of Asia/Tokyo not installed";
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
    const std::int64_t new_year = 1609426800;  // 2021-01-01 00:00:00 in Tokyo, 2020-12-31 15:00:00 UTC
    const int bias = get_local_bias_seconds();
    struct tm last, first;
    const bool last_ok = unix_seconds_to_local_tm(static_cast<std::uint64_t>(new_year - 1), last);
    const bool first_ok = unix_seconds_to_local_tm(static_cast<std::uint64_t>(new_year), first);
    bool dst = false;
    const int at_midnight = utc_minus_local_seconds(dst, make_tm(2021, 1, 1, 0, 0, 0));
    const int at_five = utc_minus_local_seconds(dst, make_tm(2021, 1, 1, 5, 0, 0));
    const std::uint64_t utc = filetime_local_to_utc(ft_of_unix(new_year));
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(bias, 32400);
    ASSERT_TRUE(last_ok);
    ASSERT_TRUE(first_ok);
    EXPECT_EQ(
        std::vector<int>({last.tm_year, last.tm_mon, last.tm_mday, last.tm_hour, last.tm_yday, last.tm_wday}),
        std::vector<int>({120, 11, 31, 23, 365, 4}));
    EXPECT_EQ(std::vector<int>(
                  {first.tm_year, first.tm_mon, first.tm_mday, first.tm_hour, first.tm_yday, first.tm_wday}),
              std::vector<int>({121, 0, 1, 0, 0, 5}));
    EXPECT_EQ(at_midnight, -32400);
    EXPECT_EQ(at_five, -32400);
    EXPECT_FALSE(dst);
    EXPECT_EQ(utc, ft_of_unix(new_year - 32400));
}

TEST(Calendar, local_bias_is_zero_in_utc_and_follows_a_posix_zone) {
    EXPECT_EQ(get_local_bias_seconds(), 0);
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    tzset();
    const int bias = get_local_bias_seconds();
    struct tm lt;
    const bool ok = unix_seconds_to_local_tm(86400 * 2, lt);
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_TRUE(bias == -18000 || bias == -14400) << bias;
    ASSERT_TRUE(ok);
    EXPECT_EQ(lt.tm_mday, 2);
    EXPECT_EQ(lt.tm_hour, 24 + bias / 3600);
    EXPECT_EQ(lt.tm_isdst, 0);
}

TEST(Calendar, local_tm_fails_from_year_3001) {
    struct tm t;
    EXPECT_TRUE(filetime_to_local_tm(ft_of_unix(32535215999ll), t));
    EXPECT_FALSE(filetime_to_local_tm(ft_of_unix(32535216000ll), t));
    EXPECT_FALSE(filetime_to_utc_tm(1ull << 63, t));
    ASSERT_TRUE(filetime_to_utc_tm(kFiletimeUnix + 10000000ull * 86400, t));
    EXPECT_EQ(t.tm_mday, 2);
}

TEST(Calendar, tm_to_unix_seconds_normalises_and_rejects_before_1970) {
    std::uint64_t out = 0;
    ASSERT_TRUE(tm_to_unix_seconds(make_tm(1970, 1, 1), out));
    EXPECT_EQ(out, 34200u);
    struct tm t = make_tm(2000, 1, 1, 0, 0, -1);  // one second before 2000
    ASSERT_TRUE(tm_to_unix_seconds(t, out));
    EXPECT_EQ(out, 946684799u + 34200u);
    t = make_tm(2000, 3, 0);  // day 0 of March is 29 February
    ASSERT_TRUE(tm_to_unix_seconds(t, out));
    EXPECT_EQ(out, 951782400u + 34200u);
    t = make_tm(2000, 1, 400);
    ASSERT_TRUE(tm_to_unix_seconds(t, out));
    EXPECT_EQ(out, 946684800u + 399u * 86400u + 34200u);
    EXPECT_FALSE(tm_to_unix_seconds(make_tm(1969, 12, 31), out));
    EXPECT_EQ(out, ~0ull);
}

TEST(Calendar, mktime_helpers_in_utc) {
    std::uint64_t out = 0;
    EXPECT_TRUE(tm_to_local_unix_seconds(make_tm(2000, 1, 1), out));
    EXPECT_EQ(out, 946684800u);
    EXPECT_FALSE(tm_to_local_unix_seconds(make_tm(1970, 1, 1), out));
    EXPECT_GE(current_local_year(), 2024);
    bool dst = false;
    EXPECT_EQ(utc_minus_local_seconds(dst, make_tm(2000, 6, 1, 12)), 0);
    EXPECT_FALSE(dst);
    EXPECT_EQ(filetime_local_to_utc(ft_of_unix(946684800)), ft_of_unix(946684800));
    EXPECT_EQ(filetime_local_to_utc(0), 0u);
}

TEST(Calendar, local_to_utc_in_a_zone_west_of_utc) {
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    tzset();
    const int bias = get_local_bias_seconds();
    bool dst = false;
    const int diff = utc_minus_local_seconds(dst, make_tm(2000, 6, 1, 12));
    const std::uint64_t shifted = filetime_local_to_utc(ft_of_unix(946684800 + 3600));
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(diff, -bias);
    EXPECT_EQ(shifted, ft_of_unix(946684800 + 3600 - bias));
}

TEST(Calendar, dos_words_cover_1980_to_2037) {
    std::uint16_t dos[2] = {7, 7};
    EXPECT_FALSE(filetime_to_dos_date_time(date_parts_to_filetime(make_tm(2038, 1, 1), 0), dos));
    EXPECT_EQ(dos[0], 7);
    EXPECT_FALSE(
        filetime_to_dos_date_time(date_parts_to_filetime(make_tm(1979, 12, 31, 23, 59, 59), 0), dos));
    ASSERT_TRUE(filetime_to_dos_date_time(date_parts_to_filetime(make_tm(1980, 1, 1), 0), dos));
    EXPECT_EQ(dos[0], 0x21);
    EXPECT_EQ(dos[1], 0);
    ASSERT_TRUE(filetime_to_dos_date_time(date_parts_to_filetime(make_tm(2037, 12, 31, 23, 59, 59), 0), dos));
    EXPECT_EQ(dos[0] >> 9, 57);
    EXPECT_EQ(dos[1] & 31, 30);
    EXPECT_EQ(dos[1] >> 11, 23);
}

TEST(Calendar, systemtime_and_filetime_records) {
    const _windows_systemtime st(132521874959025799ull);
    EXPECT_EQ(st.year, 2020);
    EXPECT_EQ(st.month, 12);
    EXPECT_EQ(st.day, 11);
    EXPECT_EQ(st.day_of_week, 5);
    EXPECT_EQ(st.milliseconds, 902);
    const _windows_filetime ft(st);
    EXPECT_EQ(ft.value(), 132521874959020000ull);
    _windows_systemtime bad;
    EXPECT_FALSE(bad.set_from_filetime(1ull << 63));
    EXPECT_EQ(bad.year, 0);

    _windows_systemtime from;
    systemtime_from_tm(from, make_tm(2021, 3, 4, 5, 6, 7));
    EXPECT_EQ(from.year, 2021);
    EXPECT_EQ(from.month, 3);
    EXPECT_EQ(from.day, 4);
    EXPECT_EQ(from.second, 7);
    EXPECT_EQ(from.day_of_week, 0);

    const std::uint16_t raw[8] = {2000, 1, 6, 1, 0, 0, 10, 0};
    std::uint64_t packed[2];
    std::memcpy(packed, raw, sizeof packed);
    std::uint64_t secs = 0;
    ASSERT_TRUE(systemtime_to_unix_seconds(packed, secs));
    EXPECT_EQ(secs, 946684810u);
}

TEST(Calendar, kind_conversions) {
    std::uint64_t out = 0;
    std::uint32_t out32 = 0;
    ASSERT_TRUE(net_ticks_to_filetime(kNetTicksAt1601 + 5, out));
    EXPECT_EQ(out, 5u);
    ASSERT_TRUE(safari_to_filetime(0, out));
    EXPECT_EQ(out, kFiletimeSafari);
    ASSERT_TRUE(safari_to_filetime(4294967296ll, out));
    EXPECT_EQ(out, kFiletimeSafari + 4 * 10000000ull + 4967296);
    ASSERT_TRUE(safari_to_unix_seconds(0, out));
    EXPECT_EQ(out, 978307200u);
    ASSERT_TRUE(safari_double_to_unix_seconds(1.5, out));
    EXPECT_EQ(out, 978307201u);
    EXPECT_FALSE(safari_double_to_unix_seconds(std::nan(""), out));
    ASSERT_TRUE(safari_double_to_filetime(-0.5, out));
    EXPECT_EQ(out, kFiletimeSafari - 5000000);
    EXPECT_FALSE(safari_double_to_filetime(1e300, out));
    ASSERT_TRUE(vhd_to_filetime(0x100000001ull, out));
    EXPECT_EQ(out, kFiletimeVhd + 10000000);
    ASSERT_TRUE(filetime_to_vhd(kFiletimeVhd + 30000000, out32));
    EXPECT_EQ(out32, 3u);
    ASSERT_TRUE(filetime_to_snowflake_ms(kFiletimeSnowflake + 20000, out32));
    EXPECT_EQ(out32, 2u);
    ASSERT_TRUE(snowflake_to_filetime(3ull << 22, out));
    EXPECT_EQ(out, kFiletimeSnowflake + 30000);
    ASSERT_TRUE(firefox_to_filetime(-1500000, out));
    EXPECT_EQ(out, kFiletimeUnix - 15000000);
    ASSERT_TRUE(chrome_to_unix_seconds(11644473601000000ull, out));
    EXPECT_EQ(out, 1u);
    EXPECT_FALSE(chrome_to_unix_seconds(1ull << 62, out));
    ASSERT_TRUE(firefox_to_unix_seconds(2000000, out));
    EXPECT_EQ(out, 2u);
    EXPECT_EQ(filetime_to_chrome(125), 12u);
    EXPECT_FALSE(filetime_to_unix_seconds(1ull << 63, out));
    ASSERT_TRUE(filetime_to_u64(_windows_filetime(1, 2), out));
    EXPECT_EQ(out, 0x200000001ull);

    _windows_filetime w(9, 9);
    EXPECT_FALSE(make_windows_filetime(w, 1, 2));
    EXPECT_EQ(w.low, 9u);
    ASSERT_TRUE(make_windows_filetime(w, 1, 8));
    EXPECT_EQ(w.value(), kFiletimeUnix + 10000000);
    ASSERT_TRUE(make_windows_filetime(w, 0x123456789ull, 1));
    EXPECT_EQ(w.high, 1u);
    EXPECT_EQ(w.low, 0x23456789u);
    ASSERT_TRUE(unix_seconds_to_windows_filetime(2, w));
    EXPECT_EQ(w.value(), kFiletimeUnix + 20000000);
    EXPECT_EQ(chrome_to_1970_scaled(116444736000000000ull), 0u);

    EXPECT_EQ(filetime_to_ms(123456), 12u);
    EXPECT_EQ(ms_to_filetime(12), 120000u);
    EXPECT_EQ(filetime_to_seconds(25000000), 2u);
    EXPECT_EQ(seconds_to_filetime(2), 20000000u);
    EXPECT_EQ(filetime_to_minutes(1200000000), 2u);
    EXPECT_EQ(minutes_to_filetime(2), 1200000000u);
    EXPECT_EQ(add_ms_to_filetime(5, 1), 10005u);
}

TEST(Calendar, differences_are_absolute_and_refuse_the_sign_bit) {
    std::uint64_t out = 99;
    ASSERT_TRUE(filetime_difference(10, 35, out));
    EXPECT_EQ(out, 25u);
    EXPECT_FALSE(filetime_difference(1ull << 63, 0, out));
    EXPECT_FALSE(filetime_difference_us(0, 1ull << 63, out));
    EXPECT_EQ(out, 0u);
    ASSERT_TRUE(filetime_difference_us(100, 5, out));
    EXPECT_EQ(out, 9u);
    ASSERT_TRUE(filetime_difference_ms(0, 25000, out));
    EXPECT_EQ(out, 2u);
    ASSERT_TRUE(filetime_difference_seconds(39999999, 0, out));
    EXPECT_EQ(out, 3u);
    std::uint32_t pair[2] = {0, 0};
    ASSERT_TRUE(filetime_difference_seconds_pair(0, 70000000, pair));
    EXPECT_EQ(pair[0], 7u);
    EXPECT_EQ(pair[1], 7u);
}

TEST(Calendar, next_power_of_two_edges) {
    EXPECT_EQ(next_power_of_two(0), 1u);
    EXPECT_EQ(next_power_of_two(1), 1u);
    EXPECT_EQ(next_power_of_two(2), 2u);
    EXPECT_EQ(next_power_of_two(3), 4u);
    EXPECT_EQ(next_power_of_two(4096), 4096u);
    EXPECT_EQ(next_power_of_two(4097), 8192u);
    EXPECT_EQ(next_power_of_two(1ull << 63), 1ull << 63);
    EXPECT_EQ(next_power_of_two((1ull << 63) + 1), 0u);
    EXPECT_TRUE(time_library_ready());
}

TEST(Calendar, leap_years) {
    EXPECT_TRUE(is_leap_year(2000));
    EXPECT_FALSE(is_leap_year(1900));
    EXPECT_TRUE(is_leap_year(2024));
    EXPECT_FALSE(is_leap_year(0));
    EXPECT_FALSE(is_leap_year(-4));
    EXPECT_EQ(days_in_month(2024, 2), 29u);
    EXPECT_EQ(days_in_month(2023, 2), 28u);
    EXPECT_EQ(days_in_month(2023, 13), 0u);
}

// Every date and time that exists has its seconds, before 1970 as after; one that does not exist has none.
TEST(Calendar, civil_to_unix_seconds_refuses_what_does_not_exist) {
    struct civil_case {
        long long year;
        unsigned month, day, hour, minute, second;
        bool exists;
        std::int64_t seconds;
    };
    const std::vector<civil_case> cases = {
        {1970, 1, 1, 0, 0, 0, true, 0},
        {1969, 12, 31, 23, 59, 59, true, -1},
        {1900, 1, 1, 0, 0, 0, true, -2208988800},
        {1601, 1, 1, 0, 0, 0, true, -11644473600},
        {1, 1, 1, 0, 0, 0, true, -62135596800},
        {2020, 2, 29, 12, 0, 0, true, 1582977600},
        {2106, 2, 7, 6, 28, 16, true, 4294967296},
        {9999, 12, 31, 23, 59, 59, true, 253402300799},
        {2020, 2, 30, 0, 0, 0, false, 0},
        {2021, 2, 29, 0, 0, 0, false, 0},
        {1900, 2, 29, 0, 0, 0, false, 0},
        {2021, 4, 31, 0, 0, 0, false, 0},
        {2021, 13, 1, 0, 0, 0, false, 0},
        {2021, 0, 1, 0, 0, 0, false, 0},
        {2021, 1, 0, 0, 0, 0, false, 0},
        {2025, 12, 31, 24, 0, 0, false, 0},
        {2025, 12, 31, 23, 60, 0, false, 0},
        {2016, 12, 31, 23, 59, 60, false, 0},
        {0, 1, 1, 0, 0, 0, false, 0},
        {10000, 1, 1, 0, 0, 0, false, 0},
    };
    for (const civil_case& c : cases) {
        std::int64_t out = 7;
        const std::string label = std::to_string(c.year) + "-" + std::to_string(c.month) + "-" +
                                  std::to_string(c.day) + " " + std::to_string(c.hour) + ":" +
                                  std::to_string(c.minute) + ":" + std::to_string(c.second);
        EXPECT_EQ(civil_to_unix_seconds(c.year, c.month, c.day, c.hour, c.minute, c.second, out), c.exists)
            << label;
        EXPECT_EQ(out, c.exists ? c.seconds : 7) << label;
    }
}
