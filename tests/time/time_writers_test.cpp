#include "time/time_writers.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

// 2020-01-31 12:30:45.123 UTC (date -u -d @1580473845, plus 123 ms).
constexpr std::uint64_t kFiletime2020 = 132249474451230000ull;

std::string underscored(std::uint64_t ft, bool hhmm, bool sec, bool ms) {
    std::ostringstream os;
    write_filetime_underscored(os, ft, hhmm, sec, ms);
    return os.str();
}

TEST(TimeWriters, UnderscoredDatesByFlags) {
    EXPECT_EQ(underscored(kFiletime2020, true, true, true), "2020_01_31_1230_45_123");
    EXPECT_EQ(underscored(kFiletime2020, true, false, false), "2020_01_31_1230");
    EXPECT_EQ(underscored(kFiletime2020, false, false, false), "2020_01_31");
    EXPECT_EQ(underscored(~0ull, true, true, true), "0000_00_00_0000_00_000");
    std::wstring w;
    filetime_underscored_w(w, kFiletime2020, true);
    EXPECT_EQ(w, L"2020_01_31_1230_45_123");
    // The stream's own fill comes back and its earlier flags stay set.
    std::ostringstream os;
    os << std::hex;
    os.fill('*');
    write_filetime_underscored(os, kFiletime2020, false);
    EXPECT_EQ(os.fill(), '*');
    EXPECT_TRUE(os.flags() & std::ios::hex);
}

TEST(TimeWriters, DateAndUsDate) {
    const qm::time t(static_cast<unsigned long long>(kFiletime2020), qm::type_filetime);
    std::ostringstream d, us, usd;
    write_date(d, t);
    write_date_time_us(us, t, false);
    write_date_time_us(usd, t, true);
    EXPECT_EQ(d.str(), "2020-01-31");
    EXPECT_EQ(us.str(), "01/31/2020 : 12:30:45 [ 123 ms ]");
    EXPECT_EQ(usd.str(), "01/31/2020");
    std::wostringstream w;
    write_date_time_us(w, t, false);
    EXPECT_EQ(w.str(), L"01/31/2020 : 12:30:45 [ 123 ms ]");
}

TEST(TimeWriters, HexPairsAndFixedPoint) {
    std::ostringstream a;
    write_hex_u64(a, 0x0000000100000002ull);
    a << ' ' << 10;  // the base is restored
    EXPECT_EQ(a.str(), "0x12 10");
    std::string out;
    EXPECT_EQ(u64_to_hex_text(out, 0x0000000100000002ull), "0x0000000100000002");
    const std::uint16_t pair[2] = {3, 32768};
    std::ostringstream p, f;
    write_u16_pair(p, pair);
    write_fixed_seconds(f, pair);
    EXPECT_EQ(p.str(), "3 : 32768");
    EXPECT_EQ(f.str(), "3.5 secs");
    std::ostringstream lines;
    write_lines(lines, {"a", "", "b"});
    EXPECT_EQ(lines.str(), "a\n\nb\n");
}

}  // namespace
