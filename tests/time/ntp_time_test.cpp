#include "time/ntp_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

const bool kPinnedUtc = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

ntp_stamp stamp(std::uint32_t seconds, std::uint32_t fraction) {
    ntp_stamp v;
    ntp_store_seconds(v, seconds);
    ntp_store_fraction(v, fraction);
    return v;
}

std::uint64_t stored(const unsigned char (&b)[8]) {
    std::uint64_t v = 0;
    std::memcpy(&v, b, 8);
    return v;
}

}  // namespace

TEST(Ntp, filetime_to_ntp_stores_big_endian) {
    ASSERT_TRUE(kPinnedUtc);
    std::uint64_t ntp = 1;
    ASSERT_TRUE(filetime_to_ntp(static_cast<std::int64_t>(kFiletimeNtp), ntp));
    EXPECT_EQ(ntp, 0u);
    ASSERT_TRUE(filetime_to_ntp(static_cast<std::int64_t>(kFiletimeNtp + 5000000), ntp));
    const ntp_stamp v = ntp_from_u64(ntp);
    EXPECT_EQ(ntp_seconds(v), 0u);
    EXPECT_EQ(ntp_fraction(v), 0x80000000u);
    EXPECT_EQ(v.fraction[0], 0x80);
    ASSERT_TRUE(filetime_to_ntp(static_cast<std::int64_t>(kFiletimeUnix), ntp));
    EXPECT_EQ(ntp_seconds(ntp_from_u64(ntp)), 2208988800u);
    EXPECT_FALSE(filetime_to_ntp(-1, ntp));
    EXPECT_EQ(ntp, 0u);
    EXPECT_EQ(filetime_to_ntp_value(-5), 0u);
    EXPECT_EQ(filetime_to_ntp_value(static_cast<std::int64_t>(kFiletimeUnix)),
              ntp_to_u64(stamp(2208988800u, 0)));

    std::uint64_t a = 0, b = 0;
    ASSERT_TRUE(windows_filetime_to_ntp(_windows_filetime(static_cast<std::uint32_t>(kFiletimeUnix),
                                                          static_cast<std::uint32_t>(kFiletimeUnix >> 32)),
                                        a));
    _windows_systemtime st;
    st.year = 1970;
    st.month = 1;
    st.day = 1;
    ASSERT_TRUE(systemtime_to_ntp(st, b));
    EXPECT_EQ(a, b);
    EXPECT_EQ(ntp_seconds(ntp_from_u64(a)), 2208988800u);
}

TEST(Ntp, ntp_to_filetime_of_stored_bytes) {
    const unsigned char b[8] = {0, 0, 0, 1, 0x80, 0, 0, 0};
    std::uint64_t ft = 0, whole = 0;
    double frac = 0;
    ASSERT_TRUE(ntp_to_filetime(stored(b), ft));
    EXPECT_EQ(ft, 94354848015000000ull);
    ASSERT_TRUE(ntp_to_filetime_parts(stored(b), ft, whole, frac));
    EXPECT_EQ(whole, 94354848010000000ull);
    EXPECT_DOUBLE_EQ(frac, 5000000.0);
    date_parts p;
    ASSERT_TRUE(ntp_to_date_parts(stored(b), p));
    EXPECT_EQ(p.utc.year, 1900);
    EXPECT_EQ(p.utc.second, 1);
    EXPECT_EQ(p.utc.milliseconds, 500);
}

TEST(Ntp, round_trip_through_filetime_loses_less_than_a_tick) {
    for (std::uint64_t ft = kFiletimeNtp; ft < kFiletimeNtp + (1ull << 32) * 10000000ull;
         ft += 7777777777777ull) {
        std::uint64_t ntp = 0, back = 0;
        ASSERT_TRUE(filetime_to_ntp(static_cast<std::int64_t>(ft), ntp));
        ASSERT_TRUE(ntp_to_filetime(ntp, back));
        EXPECT_LE(ft - back, 1u) << ft;
    }
}

TEST(Ntp, host_views_compare_and_subtract) {
    const ntp_stamp a = stamp(10, 0x40000000), b = stamp(10, 0x80000000), c = stamp(9, 0xffffffff);
    EXPECT_TRUE(ntp_less(a, b));
    EXPECT_FALSE(ntp_less(b, a));
    EXPECT_TRUE(ntp_less(c, a));
    EXPECT_DOUBLE_EQ(ntp_elapsed_seconds(a, b), 0.25);
    EXPECT_DOUBLE_EQ(ntp_elapsed_seconds(b, a), 0.25);

    std::uint32_t words[2];
    const ntp_stamp d = stamp(0x01020304, 0x05060708);
    std::memcpy(words, &d, 8);
    EXPECT_EQ(ntp_to_host_u64(words), 0x0506070801020304ull);

    signed_ntp_stamp neg_small{stamp(1, 0), 1}, neg_big{stamp(5, 0), 1}, pos{stamp(0, 1), 0};
    EXPECT_TRUE(signed_ntp_less(neg_big, neg_small));
    EXPECT_TRUE(signed_ntp_less(neg_small, pos));
    EXPECT_FALSE(signed_ntp_less(pos, neg_big));

    ntp_stamp e = stamp(5, 77);
    ntp_subtract_seconds(e, 3);
    EXPECT_EQ(ntp_seconds(e), 2u);
    EXPECT_EQ(ntp_fraction(e), 77u);
    ntp_subtract_seconds(e, 3);
    EXPECT_EQ(ntp_seconds(e), 0u);
}

TEST(Ntp, fraction_editing) {
    ntp_stamp v = stamp(1, 0xfffffffe);
    ntp_add_fraction(v, 3, true);
    EXPECT_EQ(ntp_fraction(v), 1u);
    EXPECT_EQ(ntp_seconds(v), 1u);                                   // no carry
    const std::uint32_t r = ntp_add_fraction(v, 0x01000000, false);  // stored order: bytes 00 00 00 01
    EXPECT_EQ(ntp_fraction(v), 2u);
    EXPECT_EQ(std::memcmp(&r, v.fraction, 4), 0);

    ntp_set_fraction(v, 0x11223344, 0xaabbcc, 1, false);
    EXPECT_EQ(v.fraction[0], 0x11);
    EXPECT_EQ(v.fraction[1], 0xcc);
    EXPECT_EQ(v.fraction[2], 0xbb);
    EXPECT_EQ(v.fraction[3], 0xaa);
    ntp_set_fraction_ms(v, 500, 0, false);
    EXPECT_EQ(ntp_fraction(v), 0x80000000u);
    ntp_set_fraction_us(v, 250000, 0x1234, false);
    EXPECT_EQ(ntp_fraction(v), 0x40003412u);
    ntp_set_fraction_ns(v, 500000000, 0x99, false);
    EXPECT_EQ(ntp_fraction(v), 0x80000099u);
}

TEST(Ntp, shortened_fields) {
    const ntp_stamp v = stamp(0x01020304, 0x05060708);
    std::vector<unsigned char> out;
    append_seconds_bytes(v, out, 2);
    append_fraction_bytes(v, out, 3);
    append_fraction_bytes(v, out, 9);  // counts as 4
    const std::vector<unsigned char> expect = {3, 4, 6, 7, 8, 5, 6, 7, 8};
    EXPECT_EQ(out, expect);

    ntp_stamp w = stamp(0, 0);
    const unsigned char src[3] = {0xa, 0xb, 0xc};
    set_fraction_bytes(w, src, 3);
    EXPECT_EQ(ntp_fraction(w), 0x000a0b0cu);
    set_fraction_bytes(w, src, 0);  // counts as 1
    EXPECT_EQ(ntp_fraction(w), 0x000a0b0au);
    copy_fraction_bytes(nullptr, src, 2);

    const std::vector<unsigned char> bytes = {1, 2, 3};
    ntp_stamp x = stamp(0, 0);
    EXPECT_EQ(read_fraction_bytes(x, bytes, 1, 4), 2);
    EXPECT_EQ(ntp_fraction(x), 0x02030000u);
    EXPECT_EQ(read_fraction_bytes(x, bytes, 3, 2), 0);
    EXPECT_EQ(read_fraction_bytes(x, bytes, -1, 2), 0);

    EXPECT_EQ(fraction_tail(v, 2, false), 0x07080000u);
    EXPECT_EQ(fraction_tail(v, 2, true), 0x00000807u);
    std::uint32_t lead = 0, rest = 0;
    split_fraction(v, lead, rest, 1);
    EXPECT_EQ(lead, 0x05060700u);
    EXPECT_EQ(rest, 0x08u);
}

TEST(Ntp, division_helper) {
    ntp_stamp v = stamp(7, 100);
    ASSERT_TRUE(ntp_divide(v, 2));
    EXPECT_EQ(ntp_seconds(v), 3u);
    EXPECT_EQ(ntp_fraction(v), 51u);
    EXPECT_FALSE(ntp_divide(v, 0));
    EXPECT_EQ(ntp_seconds(v), 3u);
    signed_ntp_stamp s{stamp(9, 0), 1};
    ASSERT_TRUE(signed_ntp_divide(s, 3));
    EXPECT_EQ(ntp_seconds(s.value), 3u);
    EXPECT_EQ(s.negative, 1);
}

TEST(Ntp, current_value_is_whole_seconds_of_now) {
    // Between the clock read before and the one after, however long a busy machine holds the test.
    const std::uint64_t before = static_cast<std::uint64_t>(std::time(nullptr)) + 2208988800ull;
    const ntp_stamp v = ntp_from_u64(get_current_ntp_value());
    const std::uint64_t after = static_cast<std::uint64_t>(std::time(nullptr)) + 2208988800ull;
    EXPECT_EQ(ntp_fraction(v), 0u);
    EXPECT_GE(ntp_seconds(v), static_cast<std::uint32_t>(before));
    EXPECT_LE(ntp_seconds(v), static_cast<std::uint32_t>(after));
}

TEST(PackedTimes, three_times_pack_into_width_two) {
    const std::uint64_t t = 132521874959025799ull;
    const std::vector<std::uint64_t> times = {t, t - 100, t - 300};
    std::vector<unsigned char> out = {0xee};  // appended after what is there
    ASSERT_EQ(pack_time_set(times, out, false), 13);
    ASSERT_EQ(out.size(), 14u);
    EXPECT_EQ(out[1], 2);       // count - 1 = 2, reference index 0
    EXPECT_EQ(out[9] >> 4, 1);  // width - 1 in bits 60-62
    std::vector<std::uint64_t> back;
    EXPECT_EQ(unpack_time_set(out.data() + 1, 13, back), 13u);
    EXPECT_EQ(back, times);
}

TEST(PackedTimes, reference_is_the_largest_and_widths_grow) {
    const std::vector<std::uint64_t> times = {5, 9, 9, 0};
    std::vector<unsigned char> out;
    ASSERT_EQ(pack_time_set(times, out, false), 12);
    EXPECT_EQ((out[0] >> 3) & 7, 1);
    std::vector<std::uint64_t> back;
    ASSERT_EQ(unpack_time_set(out.data(), static_cast<std::uint32_t>(out.size()), back), 12u);
    EXPECT_EQ(back, times);

    for (std::uint64_t d : {255ull, 256ull, 65535ull, 65536ull, (1ull << 32) - 1, 1ull << 32,
                            (1ull << 48) - 1, 1ull << 48, (1ull << 60) - 1}) {
        const std::vector<std::uint64_t> pair = {(1ull << 60) - 1, (1ull << 60) - 1 - d};
        out.clear();
        const std::uint16_t n = pack_time_set(pair, out, false);
        ASSERT_GT(n, 9);
        const unsigned width = n - 9u;
        const unsigned expect = d >= (1ull << 48)   ? 8
                                : d >= (1ull << 32) ? 6
                                : d >= 65536        ? 4
                                : d >= 256          ? 2
                                                    : 1;
        EXPECT_EQ(width, expect) << d;
        back.clear();
        ASSERT_EQ(unpack_time_set(out.data(), n, back), n);
        EXPECT_EQ(back, pair) << d;
    }
}

TEST(PackedTimes, milliseconds_mode) {
    const std::uint64_t t = 132521874959025799ull;
    const std::vector<std::uint64_t> times = {t - 25000, t};
    std::vector<unsigned char> out;
    ASSERT_EQ(pack_time_set(times, out, true), 10);
    EXPECT_TRUE(out[0] & 0x40);
    std::vector<std::uint64_t> back;
    ASSERT_EQ(unpack_time_set(out.data(), 10, back), 10u);
    EXPECT_EQ(back[0], t - 20000);  // 2.5 ms truncated to 2 ms
    EXPECT_EQ(back[1], t);
}

TEST(PackedTimes, refusals) {
    std::vector<unsigned char> out;
    EXPECT_EQ(pack_time_set({}, out, false), 0);
    EXPECT_EQ(pack_time_set(std::vector<std::uint64_t>(9, 1), out, false), 0);
    EXPECT_EQ(pack_time_set({1, 1ull << 63}, out, false), 0);
    // The reference field holds 60 bits; a larger time would come back with its top bits lost.
    EXPECT_EQ(pack_time_set({1ull << 60, 5}, out, false), 0);
    EXPECT_TRUE(out.empty());
    ASSERT_EQ(pack_time_set(std::vector<std::uint64_t>(8, 1), out, false), 16);
}

// Every prefix shorter than the announced length fails; hostile headers never read past the buffer.
TEST(PackedTimes, truncation_sweep_and_hostile_headers) {
    const std::uint64_t t = 132521874959025799ull;
    std::vector<unsigned char> out;
    const std::uint16_t n = pack_time_set({t, t - 70000, t - 5, t - 1}, out, false);
    ASSERT_EQ(n, 21);
    std::vector<std::uint64_t> back;
    for (std::uint32_t len = 0; len < n; ++len) {
        std::vector<unsigned char> cut(out.begin(), out.begin() + len);
        EXPECT_EQ(unpack_time_set(cut.empty() ? nullptr : cut.data(), len, back), 0u) << len;
    }
    EXPECT_EQ(unpack_time_set(out.data(), n, back), 21u);
    EXPECT_EQ(unpack_time_set(nullptr, 100, back), 0u);

    // Reference index past the count: only count - 1 differences are read.
    std::vector<unsigned char> h(9 + 2, 0);
    h[0] = static_cast<unsigned char>(2 | (7 << 3));
    EXPECT_EQ(unpack_time_set(h.data(), static_cast<std::uint32_t>(h.size()), back), 11u);
    EXPECT_EQ(back.size(), 2u);
    // Width code 2 (three bytes) is stepped over without a value.
    std::vector<unsigned char> w3(9 + 3, 0);
    w3[0] = 1;
    w3[8] = 2 << 4;
    EXPECT_EQ(unpack_time_set(w3.data(), static_cast<std::uint32_t>(w3.size()), back), 12u);
    EXPECT_EQ(back.size(), 1u);
}
