#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

#include "time/ntp_time.h"
#include "time/qm_time.h"
#include "time/time_setters.h"

namespace {

const bool kPinnedUtc = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

std::uint64_t ft_of_unix(std::int64_t s) {
    return static_cast<std::uint64_t>(s) * 10000000ull + kFiletimeUnix;
}

// 2020-12-11 19:11:35 UTC, and the fraction 0.9025799 s, in every kind.
constexpr std::int64_t kUnix = 1607713895;
constexpr std::uint64_t kFt = 132521874959025799ull;

}  // namespace

TEST(TimeKinds, every_integer_kind_reaches_the_same_instant) {
    ASSERT_TRUE(kPinnedUtc);
    struct Case {
        qm::type_time kind;
        unsigned long long value;
        std::uint64_t expect;
    };
    const Case cases[] = {
        {qm::type_filetime, kFt, kFt},
        {qm::type_chrome, kFt / 10, kFt / 10 * 10},
        {qm::type_firefox, static_cast<unsigned long long>(kUnix) * 1000000 + 902579, kFt - 9},
        {qm::type_unix, static_cast<unsigned long long>(kUnix), ft_of_unix(kUnix)},
        {qm::type_unix_ms, static_cast<unsigned long long>(kUnix) * 1000 + 902, ft_of_unix(kUnix) + 9020000},
        {qm::type_vhd, static_cast<unsigned long long>(kUnix - 946746000), ft_of_unix(kUnix)},
        {qm::type_dotnet, kFt + kNetTicksAt1601, kFt},
        {qm::type_snowflake, static_cast<unsigned long long>((kUnix - 1420070400) * 1000 + 902) << 22,
         ft_of_unix(kUnix) + 9020000},
        {qm::type_safari, static_cast<unsigned long long>(kUnix - 978307200), ft_of_unix(kUnix)},
        {qm::type_hfs, static_cast<unsigned long long>(kUnix + 2082844800), ft_of_unix(kUnix)},
    };
    for (const Case& c : cases) {
        const qm::time u(c.value, c.kind);
        EXPECT_TRUE(u.valid) << c.kind;
        EXPECT_EQ(u.filetime, c.expect) << c.kind;
        EXPECT_EQ(u.utc.year, 2020) << c.kind;
        EXPECT_EQ(u.utc.second, 35) << c.kind;
        const qm::time s(static_cast<long long>(c.value), c.kind);
        if (c.kind != qm::type_dotnet) {
            EXPECT_EQ(s.filetime, c.expect) << "signed " << c.kind;
            EXPECT_TRUE(s.valid) << "signed " << c.kind;
        } else {
            EXPECT_FALSE(s.valid);  // no .NET kind for signed values
            EXPECT_EQ(s.filetime, 0u);
        }
    }
    const qm::time ole(static_cast<long long>(36526), qm::type_ole);
    EXPECT_TRUE(ole.valid);
    EXPECT_EQ(ole.filetime, ft_of_unix(946684800));
    EXPECT_FALSE(qm::time(36526ull, qm::type_ole).valid);  // OLE days only for signed values
}

TEST(TimeKinds, filetime_of_and_valid_filetime_are_what_the_constructor_makes) {
    // The time-kind guess judges readings by these two alone, so they must be the constructor's own.
    const unsigned long long values[] = {0,
                                         1,
                                         999,
                                         1000,
                                         0xFFFFFFFFull,
                                         static_cast<unsigned long long>(kUnix),
                                         kFt,
                                         0x7FFFFFFFFFFFFFFFull,
                                         0x8000000000000000ull,
                                         ~0ull,
                                         ft_of_unix(0) + 9999999,
                                         ft_of_unix(-100),
                                         94354848000000000ull - 1,
                                         ft_of_unix(32535216000ll) + 36000000000ull};
    for (std::uint32_t bit = 1; bit <= 0x80000; bit <<= 1) {
        const qm::type_time kind = static_cast<qm::type_time>(bit);
        for (const unsigned long long v : values) {
            const qm::time t(v, kind);
            EXPECT_EQ(qm::time::filetime_of(v, kind), t.filetime) << bit << " " << v;
            // Unix kinds also refuse values of their own before the FILETIME is judged.
            if (kind != qm::type_unix && kind != qm::type_unix_ms) {
                EXPECT_EQ(qm::time::valid_filetime(t.filetime), t.valid) << bit << " " << v;
            }
        }
    }
}

TEST(TimeKinds, unix_rejections_keep_the_computed_filetime) {
    qm::time t(0ull, qm::type_unix);
    EXPECT_FALSE(t.valid);
    EXPECT_EQ(t.filetime, kFiletimeUnix);
    EXPECT_EQ(t.unix_seconds, 0u);
    t = qm::time(1ull, qm::type_unix);
    EXPECT_TRUE(t.valid);
    EXPECT_EQ(t.utc.second, 1);
    EXPECT_EQ(t.windows_filetime.value(), kFiletimeUnix + 10000000);
    t = qm::time(static_cast<long long>(-5), qm::type_unix);
    EXPECT_FALSE(t.valid);
    EXPECT_EQ(t.unix_seconds, 0u);
    EXPECT_EQ(t.filetime, kFiletimeUnix - 50000000);

    t = qm::time(1000ull, qm::type_unix_ms);
    EXPECT_TRUE(t.valid);
    EXPECT_EQ(t.utc.milliseconds, 0);
    EXPECT_EQ(t.utc.second, 1);
    t = qm::time(1001ull, qm::type_unix_ms);
    EXPECT_EQ(t.utc.milliseconds, 1);
    t = qm::time(999ull, qm::type_unix_ms);
    EXPECT_FALSE(t.valid);
    EXPECT_EQ(t.filetime, kFiletimeUnix + 9990000);
    t = qm::time(static_cast<long long>(-2000), qm::type_unix_ms);
    EXPECT_FALSE(t.valid);
}

TEST(TimeKinds, safari_large_values_and_negative_seconds) {
    qm::time t(4294967296ull, qm::type_safari);
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.utc.year, 2001);
    EXPECT_EQ(t.utc.second, 4);
    EXPECT_EQ(t.nanoseconds, 496729600u);
    t = qm::time(static_cast<long long>(-86400), qm::type_safari);
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.utc.year, 2000);
    EXPECT_EQ(t.utc.month, 12);
    EXPECT_EQ(t.utc.day, 31);
    EXPECT_EQ(t.utc.hour, 0);
}

TEST(TimeKinds, firefox_and_snowflake_are_signed) {
    const qm::time f(static_cast<long long>(-1500000), qm::type_firefox);
    EXPECT_EQ(f.filetime, kFiletimeUnix - 15000000);
    const qm::time s(static_cast<unsigned long long>(-(1ll << 22)), qm::type_snowflake);
    EXPECT_EQ(s.filetime, kFiletimeSnowflake - 10000);
}

TEST(TimeKinds, floating_values) {
    qm::time t(1607713895.9025799, qm::type_unix);
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.utc.second, 35);
    EXPECT_EQ(t.utc.milliseconds, 902);
    t = qm::time(1.5, qm::type_unix_ms);  // read as seconds, not milliseconds
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.utc.second, 1);
    EXPECT_EQ(t.utc.milliseconds, 500);
    t = qm::time(-0.25, qm::type_safari);
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.utc.year, 2000);
    EXPECT_EQ(t.utc.second, 59);
    EXPECT_EQ(t.utc.milliseconds, 750);
    t = qm::time(0.5, qm::type_ole);
    EXPECT_FALSE(t.valid);
    EXPECT_EQ(t.utc.year, 1899);
    EXPECT_EQ(t.utc.hour, 12);
    t = qm::time(36526.0, qm::type_ole);
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.filetime, ft_of_unix(946684800));
    EXPECT_FALSE(qm::time(5.0, qm::type_chrome).valid);
}

// Doubles with no time (NaN, infinities, far out of range) give an invalid value, never undefined behaviour.
TEST(TimeKinds, non_finite_and_huge_doubles_are_invalid) {
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(),
                          1e300,
                          -1e300,
                          1e12,
                          -1e18};
    for (double v : bad) {
        for (qm::type_time k : {qm::type_unix, qm::type_unix_ms, qm::type_safari, qm::type_ole}) {
            const qm::time t(v, k);
            EXPECT_FALSE(t.valid) << v << " kind " << k;
        }
        const qm::time p(kFt, v);
        EXPECT_FALSE(p.valid) << v;
    }
}

TEST(TimeKinds, high_precision_constructor_takes_sub_second_parts_from_ticks) {
    const qm::time t(ft_of_unix(kUnix), 9025799.75);
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.filetime, kFt);
    EXPECT_EQ(t.utc.milliseconds, 902);
    EXPECT_EQ(t.microseconds, 902579u);
    EXPECT_EQ(t.nanoseconds, 902579975u);
    EXPECT_EQ(t.picoseconds, 902579975000u);
    EXPECT_FALSE(qm::time(ft_of_unix(kUnix), -1.0).valid);
    EXPECT_FALSE(qm::time(ft_of_unix(kUnix), 1e7).valid);
}

TEST(TimeKinds, unsupported_kinds_leave_a_zeroed_value) {
    for (qm::type_time k :
         {qm::type_qpc, qm::type_ntp, qm::type_guid, qm::type_none, static_cast<qm::type_time>(0x10000)}) {
        const qm::time t(12345678901234ull, k);
        EXPECT_FALSE(t.valid);
        EXPECT_EQ(t.filetime, 0u);
        EXPECT_EQ(t.unix_seconds, 0u);
    }
}

TEST(TimeKinds, names) {
    EXPECT_STREQ(qm::type_time_name(1), "filetime");
    EXPECT_STREQ(qm::type_time_name(4), "firefox3");
    EXPECT_STREQ(qm::type_time_name(16), "unix millisec time");
    EXPECT_STREQ(qm::type_time_name(1024), "system time");
    EXPECT_STREQ(qm::type_time_name(0x20000), "snowflake time");
    EXPECT_STREQ(qm::type_time_name(0x80000), "hfs+ time");
    EXPECT_STREQ(qm::type_time_name(0x4000), "");
    EXPECT_STREQ(qm::type_time_name(3), "");
}

TEST(TimeKinds, guess_from_double_tries_the_lowest_bit_first) {
    qm::time t;
    std::uint32_t kind = 0;
    ASSERT_TRUE(t.guess_from_double(kind, 2030, 2010, 0x40008, 1607713895.5));
    EXPECT_EQ(kind, 8u);
    EXPECT_EQ(t.utc.year, 2020);
    // Seconds since 2001 that are too small for a plausible Unix year.
    ASSERT_TRUE(t.guess_from_double(kind, 2030, 2010, 0x40008, 629406695.0));
    EXPECT_EQ(kind, 0x40000u);
    EXPECT_EQ(t.utc.year, 2020);
    EXPECT_FALSE(t.guess_from_double(kind, 2030, 2010, 0x40008, 5.0));
    EXPECT_EQ(kind, 0x40000u);
    EXPECT_FALSE(t.valid);
    EXPECT_EQ(t.filetime, 0u);
    kind = 77;
    EXPECT_FALSE(t.guess_from_double(kind, 2030, 2010, 0, 1607713895.5));
    EXPECT_EQ(kind, 77u);
    EXPECT_FALSE(t.valid);
    EXPECT_FALSE(t.guess_from_double(kind, 2030, 2010, 0x40008, std::nan("")));
}

TEST(TimeKinds, key_name_filter_modifiers_pick_the_kind) {
    keyname_filter f;
    EXPECT_FALSE(qm::time(kFt, f, false).valid);  // key path not set
    f.is_set = true;
    EXPECT_FALSE(qm::time(kFt, f, false).valid);  // no time modifier
    EXPECT_EQ(keyname_filter_filetime(kFt, f, false), 0u);

    keyname_filter tf = f;
    tf.set_flag(knf_bit_tf);
    EXPECT_EQ(keyname_filter_filetime(kFt, tf, false), kFt);
    keyname_filter b13 = f;
    b13.set_flag(knf_bit_13);
    EXPECT_EQ(keyname_filter_filetime(kFt, b13, false), kFt);

    keyname_filter ts = f;
    ts.set_flag(knf_bit_ts);
    EXPECT_FALSE(qm::time(kFt, ts, false).valid);

    keyname_filter taa = f;
    taa.set_flag(knf_bit_taa);
    EXPECT_EQ(keyname_filter_filetime(629406695ull, taa, false), ft_of_unix(kUnix));
    double d = 629406695.5;
    unsigned long long bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    EXPECT_EQ(keyname_filter_filetime(bits, taa, true), ft_of_unix(kUnix) + 5000000);

    keyname_filter th = f;
    th.set_flag(knf_bit_th);
    EXPECT_EQ(keyname_filter_filetime(static_cast<unsigned long long>(kUnix + 2082844800), th, false),
              ft_of_unix(kUnix));
    keyname_filter tu = f;
    tu.set_flag(knf_bit_tu);
    EXPECT_EQ(keyname_filter_filetime(static_cast<unsigned long long>(kUnix), tu, false), ft_of_unix(kUnix));
    EXPECT_EQ(keyname_filter_filetime(0, tu, false), 0u);
    keyname_filter tc = f;
    tc.set_flag(knf_bit_tc);
    EXPECT_EQ(keyname_filter_filetime(kFt / 10, tc, false), kFt / 10 * 10);
    keyname_filter tmz = f;
    tmz.set_flag(knf_bit_tmz);
    EXPECT_EQ(keyname_filter_filetime(static_cast<unsigned long long>(kUnix) * 1000000, tmz, false),
              ft_of_unix(kUnix));

    // "!TF" wins over the others.
    tmz.set_flag(knf_bit_tf);
    EXPECT_EQ(keyname_filter_filetime(kFt, tmz, false), kFt);
}

// Each kind's encoding of a FILETIME, computed by its own epoch and unit, reads back to that FILETIME
// (to the kind's resolution).
TEST(TimeKinds, every_kind_round_trips_through_its_encoding) {
    const std::uint64_t samples[] = {kFt, ft_of_unix(1), ft_of_unix(978307200), 125911584000000000ull,
                                     ft_of_unix(32535215999ll) + 9999999};
    for (std::uint64_t ft : samples) {
        const std::uint64_t sec = ft - ft % 10000000;  // whole seconds
        const std::uint64_t ms = ft - ft % 10000;
        const std::uint64_t us = ft - ft % 10;
        std::uint64_t unix_secs = 0;
        ASSERT_TRUE(filetime_to_unix_seconds(ft, unix_secs));
        EXPECT_EQ(qm::time(unix_secs, qm::type_unix).filetime, sec);
        EXPECT_EQ(qm::time(unix_secs * 1000 + (ft % 10000000) / 10000, qm::type_unix_ms).filetime, ms);
        EXPECT_EQ(qm::time(filetime_to_chrome(ft), qm::type_chrome).filetime, us);
        EXPECT_EQ(qm::time((ft - kFiletimeUnix) / 10, qm::type_firefox).filetime, us);
        EXPECT_EQ(qm::time(ft + kNetTicksAt1601, qm::type_dotnet).filetime, ft);
        EXPECT_EQ(qm::time((ft - kFiletimeHfs) / 10000000, qm::type_hfs).filetime, sec);
        // Safari seconds of 2^32 or more follow another rule, so only the years to 2137 round-trip.
        const long long safari =
            (static_cast<long long>(sec) - static_cast<long long>(kFiletimeSafari)) / 10000000;
        if (safari < (1ll << 32)) {
            EXPECT_EQ(qm::time(safari, qm::type_safari).filetime, sec);
        }
        EXPECT_EQ(
            qm::time(static_cast<long long>((sec - kFiletimeOle) / kTicksPerDay), qm::type_ole).filetime,
            sec - (sec - kFiletimeOle) % kTicksPerDay);
        std::uint32_t vhd = 0;
        ASSERT_TRUE(filetime_to_vhd(ft, vhd));
        if (ft >= kFiletimeVhd && (ft - kFiletimeVhd) / 10000000 < (1ull << 32)) {
            EXPECT_EQ(qm::time(static_cast<unsigned long long>(vhd), qm::type_vhd).filetime, sec);
        }
        // Snowflakes hold 41 bits of milliseconds from 2015; NTP seconds 32 bits from 1900.
        if (ft >= kFiletimeSnowflake && (ft - kFiletimeSnowflake) / 10000 < (1ull << 41)) {
            EXPECT_EQ(qm::time(((ft - kFiletimeSnowflake) / 10000) << 22, qm::type_snowflake).filetime, ms);
        }
        if ((ft - kFiletimeNtp) / 10000000 < (1ull << 32)) {
            std::uint64_t ntp = 0, back = 0;
            ASSERT_TRUE(filetime_to_ntp(static_cast<std::int64_t>(ft), ntp));
            ASSERT_TRUE(ntp_to_filetime(ntp, back));
            EXPECT_LE(ft - back, 1u);
        }

        _windows_systemtime st;
        ASSERT_TRUE(filetime_to_systemtime(ft, st));
        EXPECT_EQ(qm::time(st).filetime, ms);
        std::vector<unsigned char> raw(16);
        std::memcpy(raw.data(), &st, 16);
        EXPECT_EQ(qm::time(raw, qm::type_systemtime).filetime, ms);

        std::uint16_t dos[2];
        if (filetime_to_dos_date_time(ft, dos)) {
            const unsigned short words[2] = {dos[0], dos[1]};
            const qm::time d(words, true);
            // FAT keeps even seconds, rounded up.
            EXPECT_LE(d.filetime - (sec - (sec / 10000000 % 2) * 10000000), 20000000u);
        }

        std::vector<unsigned char> guid(16, 0);
        const std::uint64_t g = (ft + 5748192000000000ull) | (1ull << 60);
        for (int i = 0; i < 8; ++i) guid[i] = static_cast<unsigned char>(g >> (8 * i));
        EXPECT_EQ(qm::time(guid, qm::type_guid).filetime, ft);
    }
}
