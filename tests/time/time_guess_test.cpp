#include "time/time_guess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

class TimeGuess : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

std::uint64_t ft_of(int y, int mo, int d) {
    struct tm t = {};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    return date_parts_to_filetime(t, 0);
}

std::uint64_t bswap64(std::uint64_t v) { return __builtin_bswap64(v); }

const std::uint32_t kLater = static_cast<std::uint32_t>(current_local_year() + 2);

TEST_F(TimeGuess, small_values_are_no_time) {
    std::uint64_t ft = 7;
    std::uint32_t kind = 7;
    EXPECT_FALSE(guess_time_kind(&ft, &kind, 0xFFFFFF, 2004, kLater, 1));
    EXPECT_EQ(ft, 0u);
    EXPECT_EQ(kind, 0u);
}

TEST_F(TimeGuess, filetime_unix_and_millisecond_free_kinds) {
    std::uint64_t ft = 0;
    std::uint32_t kind = 0;
    const std::uint64_t june = ft_of(2015, 6, 1);
    // The record decoder passes the later year first; either order gives the same window.
    ASSERT_TRUE(guess_time_kind(&ft, &kind, june, kLater, 2004, 1));
    EXPECT_EQ(kind, qm::type_filetime);
    EXPECT_EQ(ft, june);
    ASSERT_TRUE(guess_time_kind(&ft, &kind, june, 2004, kLater, 1));
    EXPECT_EQ(kind, qm::type_filetime);
    // Stored in the other byte order it is found from the swapped reading.
    ASSERT_TRUE(guess_time_kind(&ft, &kind, bswap64(june), kLater, 2004, 1));
    EXPECT_EQ(kind, qm::type_filetime);
    EXPECT_EQ(ft, june);
    ASSERT_TRUE(guess_time_kind(&ft, &kind, 1600000000, kLater, 2004, 1));
    EXPECT_EQ(kind, qm::type_unix);
    EXPECT_EQ(ft, kFiletimeUnix + 1600000000ull * kTicksPerSecond);
    ASSERT_TRUE(guess_time_kind(&ft, &kind, 1600000000ull * 1000000, kLater, 2004, 1));
    EXPECT_EQ(kind, qm::type_firefox);
    // Unix milliseconds are not among the kinds guessed.
    guess_time_kind(&ft, &kind, 1600000000123ull, kLater, 2004, 1);
    EXPECT_NE(kind, qm::type_unix_ms);
    EXPECT_NE(ft, kFiletimeUnix + 1600000000123ull * 10000);
    ASSERT_TRUE(guess_time_kind_filetime(&ft, june, kLater, 2004, 0));
    EXPECT_EQ(ft, june);
}

TEST_F(TimeGuess, values_outside_window_give_no_guess) {
    std::uint64_t ft = 1;
    std::uint32_t kind = 1;
    EXPECT_FALSE(guess_time_kind(&ft, &kind, 1ull << 40, kLater, 2004, 1));
    EXPECT_EQ(ft, 0u);
    EXPECT_EQ(kind, 0u);
    EXPECT_FALSE(guess_time_kind(&ft, &kind, 0x123456789ull, kLater, 2004, 1));
    // A FILETIME of 2001 is below the window as FILETIME (it reads as a 2005 Safari time instead).
    ASSERT_TRUE(guess_time_kind(&ft, &kind, ft_of(2001, 6, 1), kLater, 2004, 1));
    EXPECT_EQ(kind, qm::type_safari);
    EXPECT_FALSE(guess_time_kind(&ft, &kind, 0x7FFFFFFFFFFFFFFFull, kLater, 2004, 1));
    EXPECT_FALSE(guess_time_kind(&ft, &kind, ft_of(2015, 6, 1), 2004, 2005, 1));
    // Null outputs are tolerated.
    EXPECT_TRUE(guess_time_kind(nullptr, nullptr, ft_of(2015, 6, 1), kLater, 2004, 1));
}

TEST_F(TimeGuess, scan_finds_nothing_in_short_buffer_or_without_mask) {
    const std::uint8_t three[3] = {1, 2, 3};
    std::ostringstream os;
    EXPECT_EQ(scan_buffer_for_times(&os, three, 3, 0, INT64_MAX, 0, 0xFFFFFFFF), 0);
    const std::uint64_t june = ft_of(2015, 6, 1);
    std::uint8_t buf[8];
    std::memcpy(buf, &june, 8);
    EXPECT_EQ(scan_buffer_for_times(&os, buf, 8, ft_of(2004, 1, 1), ft_of(2030, 1, 1), 0, 0), 0);
    EXPECT_EQ(scan_buffer_for_times(&os, nullptr, 8, 0, INT64_MAX, 0, 1), 0);
    EXPECT_EQ(os.str(), "");
}

std::string hex_bytes(const std::uint8_t* p, int n) {
    std::string out;
    char two[4];
    for (int i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02x ", p[i]);
        out += two;
    }
    return out;
}

TEST_F(TimeGuess, scan_prints_hits_in_offset_order) {
    std::vector<std::uint8_t> buf(20, 0);
    const std::uint64_t june = ft_of(2015, 6, 1);
    std::memcpy(buf.data() + 3, &june, 8);
    const std::uint32_t unix_be = __builtin_bswap32(1600000000u);
    std::memcpy(buf.data() + 14, &unix_be, 4);
    std::ostringstream os;
    // A window of one day around each value leaves exactly the two readings.
    EXPECT_EQ(
        scan_vector_for_times(&os, buf, june - kTicksPerDay, june + kTicksPerDay, 0x100, qm::type_filetime),
        1);
    const std::uint64_t sept = kFiletimeUnix + 1600000000ull * kTicksPerSecond;
    EXPECT_EQ(scan_vector_for_times(&os, buf, sept - kTicksPerDay, sept + kTicksPerDay, 0x100,
                                    qm::type_filetime | qm::type_unix),
              1);
    EXPECT_EQ(os.str(), "000103, LE, filetime  , 2015-06-01 00:00:00.000000000 UTC, " +
                            hex_bytes(buf.data() + 3, 8) +
                            "\n00010e, BE, unix time , 2020-09-13 12:26:40.000000000 UTC, 5f 5e 10 00 \n");
    // A wide window also finds the readings that straddle the zero padding, each at its own offset.
    std::ostringstream wide;
    EXPECT_EQ(scan_vector_for_times(&wide, buf, ft_of(2010, 1, 1), ft_of(2025, 1, 1), 0, qm::type_unix), 4);
    EXPECT_NE(wide.str().find("00000b, LE, unix time , 2020-07-04 04:05:20"), std::string::npos);
}

TEST_F(TimeGuess, scan_double_guid_and_callback) {
    std::vector<std::uint8_t> buf(8);
    const double ole = 36526.5;  // 2000-01-01 12:00
    std::memcpy(buf.data(), &ole, 8);
    std::ostringstream os;
    EXPECT_EQ(scan_vector_for_times(&os, buf, ft_of(1990, 1, 1), ft_of(2030, 1, 1), 0, qm::type_ole), 1);
    EXPECT_NE(os.str().find("ole       , 2000-01-01 12:00:00.000000000 UTC"), std::string::npos);
    // Without the OLE kind the double reading is not tried.
    EXPECT_EQ(scan_vector_for_times(nullptr, buf, ft_of(1990, 1, 1), ft_of(2030, 1, 1), 0, qm::type_filetime),
              0);

    time_scan_context ctx;
    ctx.min_filetime = ft_of(1990, 1, 1);
    ctx.max_filetime = ft_of(2030, 1, 1);
    ctx.kind_mask = qm::type_ole;
    EXPECT_EQ(scan_buffer_callback(nullptr, &ctx, buf.data(), 8, 0, 0), 0);
    EXPECT_EQ(scan_buffer_callback(nullptr, &ctx, buf.data(), 8, 0, 0), 0);
    EXPECT_EQ(ctx.hits, 2u);
    EXPECT_EQ(scan_buffer_callback(nullptr, nullptr, buf.data(), 8, 0, 0), -1);
    EXPECT_EQ(scan_buffer_callback(nullptr, &ctx, buf.data(), 0, 0, 0), -1);
}

TEST_F(TimeGuess, varint_forms_add_their_own_hits) {
    // 1,600,000,000 as a most-significant-first varint: 0x05 0xF5 0xE1 0x88 0x00 -> groups of 7 bits.
    std::vector<std::uint8_t> buf;
    std::uint64_t v = 1600000000;
    std::vector<std::uint8_t> groups;
    while (v) {
        groups.insert(groups.begin(), static_cast<std::uint8_t>(v & 0x7F));
        v >>= 7;
    }
    for (std::size_t i = 0; i < groups.size(); ++i)
        buf.push_back(groups[i] | (i + 1 < groups.size() ? 0x80 : 0));
    std::ostringstream os;
    const int hits =
        scan_vector_for_times_with_varints(&os, buf, ft_of(2010, 1, 1), ft_of(2025, 1, 1), 0, qm::type_unix);
    EXPECT_GE(hits, 1);
    EXPECT_NE(os.str().find("Variable int BE\n000000, LE, unix time , 2020-09-13"), std::string::npos);
}

TEST_F(TimeGuess, print_time_stats_layout) {
    const std::uint32_t be_value = 1600000000;
    const time_stats s(&be_value, kFiletimeUnix + 1600000000ull * kTicksPerSecond + 1234567, 0x1F,
                       qm::type_unix, 0, 4);
    std::ostringstream os;
    os << std::dec;
    print_time_stats(s, os);
    EXPECT_EQ(os.str(), "00001f, BE, unix time , 2020-09-13 12:26:40.123456700 UTC, 5f 5e 10 00 \n");
    const std::uint32_t dos = 0;
    std::ostringstream os2;
    print_time_stats(time_stats(&dos, kFiletimeUnix + kTicksPerSecond, 0, qm::type_dos, 1, 4), os2);
    EXPECT_NE(os2.str().find(" LOC, 00 00 00 00 \n"), std::string::npos);
    // The stream's own settings survive.
    os << 255;
    EXPECT_EQ(os.str().substr(os.str().size() - 3), "255");
}

}  // namespace
