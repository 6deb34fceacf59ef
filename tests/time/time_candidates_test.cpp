#include "time/time_candidates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

class TimeCandidates : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

std::uint64_t jan1(int year) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mday = 1;
    return date_parts_to_filetime(t, 0);
}

TEST_F(TimeCandidates, time_stats_copies_bytes_in_either_order) {
    const std::uint32_t v = 0x04030201;
    const time_stats le(&v, 7, 8, qm::type_unix, 1, 4);
    EXPECT_EQ(le.bytes, (std::vector<unsigned char>{1, 2, 3, 4}));
    const time_stats be(&v, 7, 8, qm::type_unix, 0, 4);
    EXPECT_EQ(be.bytes, (std::vector<unsigned char>{4, 3, 2, 1}));
    EXPECT_EQ(be.little_endian, 0u);
    time_stats copy = be;
    copy.clear();
    EXPECT_TRUE(copy.bytes.empty());
    EXPECT_EQ(copy.little_endian, 1u);
    EXPECT_EQ(copy.size, 0u);
    const time_stats none(nullptr, 7, 8, 9, 0, 4);
    EXPECT_TRUE(none.bytes.empty());
    EXPECT_EQ(none.filetime, 0u);
}

TEST_F(TimeCandidates, unix_reading_wins_and_safari_falls_outside_window) {
    time_candidate_map map;
    EXPECT_TRUE(test_time_candidates(map, 1600000000, static_cast<std::int64_t>(jan1(2030)), jan1(2004), 0x40,
                                     1, true, qm::type_unix | qm::type_safari));
    ASSERT_EQ(map.size(), 1u);
    const time_stats& s = map.begin()->second;
    EXPECT_EQ(s.kind, qm::type_unix);
    EXPECT_EQ(s.offset, 0x40u);
    EXPECT_EQ(s.size, 4u);
    const qm::time t(static_cast<unsigned long long>(s.filetime), qm::type_filetime);
    EXPECT_EQ(t.get_year(), 2020u);
    EXPECT_EQ(t.get_month(), 9u);
    EXPECT_EQ(t.get_day(), 13u);
    // Widening the window admits the Safari reading too, under the same offset.
    EXPECT_TRUE(test_time_candidates(map, 1600000000, static_cast<std::int64_t>(jan1(2060)), jan1(2004), 0x40,
                                     1, false, qm::type_unix | qm::type_safari));
    EXPECT_EQ(map.count(0x40), 3u);
}

TEST_F(TimeCandidates, eight_byte_values_skip_four_byte_kinds) {
    time_candidate_map map;
    const std::uint64_t ft = jan1(2015);
    EXPECT_TRUE(test_time_candidates(map, ft, static_cast<std::int64_t>(jan1(2030)), jan1(2004), 0, 1, true,
                                     0xFFFFFFFF));
    // FILETIME comes first; the same bits also read as a 2005 Safari time and a 2015 snowflake.
    ASSERT_EQ(map.size(), 3u);
    auto it = map.begin();
    EXPECT_EQ(it->second.kind, qm::type_filetime);
    EXPECT_EQ(it->second.filetime, ft);
    EXPECT_EQ((++it)->second.kind, qm::type_safari);
    EXPECT_EQ((++it)->second.kind, qm::type_snowflake);
    for (const auto& r : map) EXPECT_EQ(r.second.size, 8u);
    // A value above 2^32 - 1 is never read as FAT, HFS+ or 4-byte Safari.
    EXPECT_FALSE(
        test_time_candidates(map, 0x100000000ull, INT64_MAX, 1, 0, 1, true, qm::type_dos | qm::type_hfs));
    EXPECT_TRUE(map.empty());
    EXPECT_TRUE(test_time_candidates(map, 0x100000000ull, INT64_MAX, 1, 0, 1, true, qm::type_safari));
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.begin()->second.filetime, kFiletimeSafari + 4 * kTicksPerSecond + 4967296);
}

TEST_F(TimeCandidates, zero_mask_records_nothing_but_clears) {
    time_candidate_map map;
    map.emplace(1, time_stats());
    EXPECT_FALSE(test_time_candidates(map, 1600000000, INT64_MAX, 0, 0, 1, true, 0));
    EXPECT_TRUE(map.empty());
}

TEST_F(TimeCandidates, other_kinds_of_four_and_eight_bytes) {
    const std::int64_t max = static_cast<std::int64_t>(jan1(2100));
    const std::uint64_t min = jan1(1990);
    time_candidate_map map;
    // FAT date 2021-03-04 (year 41, month 3, day 4), time 05:06:08.
    const std::uint32_t dos = ((41u << 9 | 3u << 5 | 4u) << 16) | (5u << 11 | 6u << 5 | 4u);
    EXPECT_TRUE(test_time_candidates(map, dos, max, min, 0, 1, true, qm::type_dos));
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(qm::time(static_cast<unsigned long long>(map.begin()->second.filetime), qm::type_filetime)
                  .get_second(),
              8u);
    // NTP: seconds since 1900 big-endian in the first four bytes.
    const std::uint32_t ntp_seconds = 3800000000u;
    const std::uint64_t stored =
        (static_cast<std::uint64_t>(__builtin_bswap32(0x80000000u)) << 32) | __builtin_bswap32(ntp_seconds);
    EXPECT_TRUE(test_time_candidates(map, stored, max, min, 0, 1, true, qm::type_ntp));
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.begin()->second.filetime, kFiletimeNtp + ntp_seconds * kTicksPerSecond + 5000000);
    EXPECT_EQ(map.begin()->second.kind, qm::type_ntp);
    // Unix milliseconds.
    EXPECT_TRUE(test_time_candidates(map, 1600000000000ull, max, min, 0, 1, true, qm::type_unix_ms));
    EXPECT_EQ(map.begin()->second.filetime, kFiletimeUnix + 1600000000ull * kTicksPerSecond);
}

TEST_F(TimeCandidates, guid_snowflake_ole_and_systemtime) {
    const std::int64_t max = static_cast<std::int64_t>(jan1(2100));
    const std::uint64_t min = jan1(1990);
    time_candidate_map map;
    // Version-1 GUID timestamp of 2020-01-01 (ticks since 1582-10-15).
    const std::uint64_t guid_ticks = jan1(2020) + 5748192000000000ull;
    unsigned char guid[16] = {};
    const std::uint64_t first = guid_ticks | (1ull << 60);
    std::memcpy(guid, &first, 8);
    EXPECT_TRUE(test_guid_candidate(map, guid, max, static_cast<std::int64_t>(min), 5, true));
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.begin()->second.filetime, jan1(2020));
    EXPECT_EQ(map.begin()->second.size, 16u);
    guid[7] = 0x40;  // version 4: no time, and bytes 8-15 hold no FILETIME either
    EXPECT_FALSE(test_guid_candidate(map, guid, max, static_cast<std::int64_t>(min), 5, true));

    const std::int64_t flake = static_cast<std::int64_t>((jan1(2020) - kFiletimeSnowflake) / 10000) << 22;
    EXPECT_TRUE(test_snowflake_candidate(map, &flake, max, min, 0, true));
    EXPECT_EQ(map.begin()->second.filetime, jan1(2020));

    EXPECT_TRUE(test_ole_candidate(map, max, min, 0, true, 36526.0));
    EXPECT_EQ(map.begin()->second.filetime, jan1(2000));
    EXPECT_FALSE(test_ole_candidate(map, max, min, 0, true, std::nan("")));
    EXPECT_FALSE(test_ole_candidate(map, max, min, 0, true, 1e300));

    unsigned char st[16] = {};
    const std::uint16_t fields[8] = {2020, 2, 6, 29, 12, 0, 0, 250};
    std::memcpy(st, fields, sizeof st);
    EXPECT_TRUE(test_systemtime_candidates(map, st, jan1(2100), static_cast<std::int64_t>(min), 9, true));
    ASSERT_EQ(map.size(), 1u);
    const time_stats& s = map.begin()->second;
    EXPECT_EQ(s.kind, qm::type_systemtime);
    EXPECT_EQ(s.size, 16u);
    EXPECT_EQ(s.bytes, std::vector<unsigned char>(st, st + 16));
    const qm::time t(static_cast<unsigned long long>(s.filetime), qm::type_filetime);
    EXPECT_EQ(t.get_day(), 29u);
    EXPECT_EQ(t.get_milliseconds(false), 250u);
}

TEST_F(TimeCandidates, guess_from_unsigned_tries_lowest_bit_first) {
    qm::time t;
    std::uint32_t kind = 0;
    EXPECT_TRUE(t.guess_from_unsigned(kind, 2030, 2004, 1600000000, qm::type_unix | qm::type_safari));
    EXPECT_EQ(kind, qm::type_unix);
    EXPECT_EQ(t.get_year(), 2020u);
    EXPECT_TRUE(t.guess_from_unsigned(kind, 2060, 2040, 1600000000, qm::type_unix | qm::type_safari));
    EXPECT_EQ(kind, qm::type_safari);
    EXPECT_FALSE(t.guess_from_unsigned(kind, 2030, 2004, 5, qm::type_unix | qm::type_safari));
    EXPECT_EQ(kind, qm::type_safari);
    EXPECT_FALSE(t.valid);
    EXPECT_FALSE(t.guess_from_unsigned(kind, 2030, 2004, 1600000000, 0));
}

TEST_F(TimeCandidates, filetime_range_scan_steps_by_record) {
    std::vector<std::uint64_t> slots = {1, 50, 60, 2, 55, 3};
    std::vector<std::uint64_t> offsets;
    const auto* buf = reinterpret_cast<const unsigned char*>(slots.data());
    const int len = static_cast<int>(slots.size() * 8);
    EXPECT_TRUE(scan_buffer_for_filetimes_in_range(offsets, buf, len, 1000, 50, 60, 16));
    EXPECT_EQ(offsets, (std::vector<std::uint64_t>{1008, 1032}));
    EXPECT_TRUE(scan_buffer_for_filetimes_in_range(offsets, buf, len, 0, 50, 60, 8));
    EXPECT_EQ(offsets, (std::vector<std::uint64_t>{8, 16, 32}));
    EXPECT_FALSE(scan_buffer_for_filetimes_in_range(offsets, buf, len, 0, 50, 60, 12));
    EXPECT_TRUE(offsets.empty());
    EXPECT_FALSE(scan_buffer_for_filetimes_in_range(offsets, buf, 7, 0, 0, 100, 8));
    EXPECT_FALSE(scan_buffer_for_filetimes_in_range(offsets, buf, len, 0, 100, 200, 8));
}

}  // namespace
