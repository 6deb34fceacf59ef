#include "time/time_setters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
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

void put_le(std::vector<unsigned char>& v, std::size_t at, std::uint64_t value, int n) {
    for (int i = 0; i < n; ++i) v[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

std::vector<unsigned char> systemtime_bytes(std::uint16_t y, std::uint16_t mo, std::uint16_t d,
                                            std::uint16_t h, std::uint16_t mi, std::uint16_t s,
                                            std::uint16_t ms) {
    std::vector<unsigned char> v(16, 0);
    const std::uint16_t f[8] = {y, mo, 3, d, h, mi, s, ms};
    for (int i = 0; i < 8; ++i) put_le(v, 2 * i, f[i], 2);
    return v;
}

// `count` bytes of `fill`, then `bytes`. Sized once and copied into place: growing a short vector by a range
// insert makes GCC 12 at -O3 report a false -Warray-bounds.
std::vector<unsigned char> prefixed(std::size_t count, unsigned char fill,
                                    const std::vector<unsigned char>& bytes) {
    std::vector<unsigned char> out(count + bytes.size(), fill);
    std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(count));
    return out;
}

// A version-1 GUID holding `ticks` since 1582-10-15, in Windows byte order.
std::vector<unsigned char> guid_v1(std::uint64_t ticks, int version = 1) {
    std::vector<unsigned char> g(16, 0);
    put_le(g, 0, (ticks & 0x0fffffffffffffffull) | (static_cast<std::uint64_t>(version) << 60), 8);
    g[8] = 0x9a;
    g[9] = 0xbc;
    for (int i = 10; i < 16; ++i) g[i] = static_cast<unsigned char>(i);
    return g;
}

}  // namespace

TEST(TimeSetters, systemtime_bytes_with_milliseconds) {
    ASSERT_TRUE(kPinnedUtc);
    const auto v = systemtime_bytes(2020, 2, 29, 12, 0, 0, 250);
    qm::time t;
    ASSERT_TRUE(t.set_from_bytes(v, 0, qm::type_systemtime));
    EXPECT_EQ(t.filetime, ft_of_unix(1582977600) + 2500000);
    EXPECT_EQ(t.utc.milliseconds, 250);
    const qm::time local(v, qm::type_systemtime_local);  // UTC zone: the same instant
    ASSERT_TRUE(local.valid);
    EXPECT_EQ(local.filetime, t.filetime);
    // At an offset, and refused when fewer than 16 bytes remain there.
    const std::vector<unsigned char> w = prefixed(3, 0xee, v);
    EXPECT_EQ(qm::time(w, 3, qm::type_systemtime).filetime, t.filetime);
    EXPECT_FALSE(qm::time(w, 4, qm::type_systemtime).valid);
}

TEST(TimeSetters, four_byte_values_at_the_end_of_the_buffer) {
    std::vector<unsigned char> v(6, 0);
    put_le(v, 2, 1, 4);
    qm::time t(v, 2, qm::type_unix);
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.filetime, kFiletimeUnix + 10000000);
    t = qm::time(v, 2, qm::type_vhd);
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.utc.year, 2000);
    EXPECT_EQ(t.utc.hour, 17);
    EXPECT_EQ(t.utc.second, 1);
    EXPECT_FALSE(qm::time(v, 2, qm::type_filetime).valid);
    put_le(v, 2, 1500, 4);
    t = qm::time(v, 2, qm::type_unix_ms);
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.utc.second, 1);
    EXPECT_EQ(t.utc.milliseconds, 500);
    put_le(v, 2, 999, 4);
    EXPECT_FALSE(qm::time(v, 2, qm::type_unix_ms).valid);
    put_le(v, 2, 0, 4);
    EXPECT_FALSE(qm::time(v, 2, qm::type_unix).valid);
    EXPECT_FALSE(qm::time(v, 3, qm::type_unix).valid);    // three bytes left
    EXPECT_FALSE(qm::time(v, 100, qm::type_unix).valid);  // offset past the end
    EXPECT_FALSE(qm::time(std::vector<unsigned char>(), qm::type_unix).valid);
}

TEST(TimeSetters, eight_byte_path_has_no_vhd_kind) {
    std::vector<unsigned char> v(12, 0);
    put_le(v, 0, 1, 4);
    qm::time t;
    EXPECT_FALSE(t.set_from_bytes(v, 0, qm::type_vhd));
    EXPECT_FALSE(t.set_from_bytes(v, 0, qm::type_safari));
    EXPECT_FALSE(t.set_from_bytes(v, 0, qm::type_hfs));
}

TEST(TimeSetters, eight_byte_kinds) {
    std::vector<unsigned char> v(8, 0);
    put_le(v, 0, 132521874959025799ull, 8);
    EXPECT_EQ(qm::time(v, qm::type_filetime).filetime, 132521874959025799ull);
    put_le(v, 0, 13252187495902579ull, 8);
    EXPECT_EQ(qm::time(v, qm::type_chrome).filetime, 132521874959025790ull);
    put_le(v, 0, 1607713895902579ull, 8);
    EXPECT_EQ(qm::time(v, qm::type_firefox).filetime, 132521874959025790ull);
    put_le(v, 0, 1607713895ull, 8);
    EXPECT_EQ(qm::time(v, qm::type_unix).filetime, ft_of_unix(1607713895));
    put_le(v, 0, 1607713895902ull, 8);
    EXPECT_EQ(qm::time(v, qm::type_unix_ms).filetime, ft_of_unix(1607713895) + 9020000);
    put_le(v, 0, 132521874959025799ull + kNetTicksAt1601, 8);
    EXPECT_EQ(qm::time(v, qm::type_dotnet).filetime, 132521874959025799ull);
    put_le(v, 0, 3ull << 22, 8);
    EXPECT_EQ(qm::time(v, qm::type_snowflake).filetime, kFiletimeSnowflake + 30000);
    const double days = 36526.5;
    std::memcpy(v.data(), &days, 8);
    const qm::time ole(v, qm::type_ole);
    ASSERT_TRUE(ole.valid);
    EXPECT_EQ(ole.utc.hour, 12);
    put_le(v, 0, 0xffffffffffffffffull, 8);
    EXPECT_FALSE(qm::time(v, qm::type_unix).valid);
}

TEST(TimeSetters, guid_version_1) {
    const std::uint64_t ticks = 132521874959025799ull + 5748192000000000ull;
    const auto g = guid_v1(ticks);
    std::uint64_t ft = 0;
    std::uint16_t cs = 0;
    std::vector<unsigned char> node;
    ASSERT_TRUE(guid_v1_to_filetime(ft, cs, node, g.data()));
    EXPECT_EQ(ft, 132521874959025799ull);
    EXPECT_EQ(cs, 0x1abc);
    ASSERT_EQ(node.size(), 6u);
    EXPECT_EQ(node[0], 10);
    EXPECT_EQ(qm::time(g, qm::type_guid).filetime, 132521874959025799ull);

    const auto v4 = guid_v1(ticks, 4);
    EXPECT_FALSE(guid_v1_to_filetime(ft, cs, node, v4.data()));
    EXPECT_EQ(ft, 0u);
    EXPECT_TRUE(node.empty());
    EXPECT_FALSE(qm::time(v4, qm::type_guid).valid);
    EXPECT_FALSE(guid_v1_to_filetime(ft, cs, node, guid_v1(100).data()));  // before 1601
    EXPECT_FALSE(guid_v1_to_filetime(ft, cs, node, nullptr));

    const std::vector<unsigned char> braced = prefixed(1, '{', g);
    ASSERT_TRUE(guid_bytes_to_filetime(ft, cs, node, braced, 0));
    EXPECT_EQ(ft, 132521874959025799ull);
    ASSERT_TRUE(guid_bytes_to_filetime(ft, cs, node, braced, 1));
    EXPECT_FALSE(guid_bytes_to_filetime(ft, cs, node, braced, 2));  // 15 bytes from there
    EXPECT_FALSE(guid_bytes_to_filetime(ft, cs, node, std::vector<unsigned char>(7, 0), 0));
    EXPECT_FALSE(guid_bytes_to_filetime(ft, cs, node, std::vector<unsigned char>(8, 0), 0));
    EXPECT_FALSE(guid_bytes_to_filetime(ft, cs, node, g, 9));
    // Fewer than 16 bytes from the offset in the raw-byte setter.
    EXPECT_FALSE(qm::time(std::vector<unsigned char>(g.begin(), g.begin() + 15), qm::type_guid).valid);
}

TEST(TimeSetters, embedded_filetime_block) {
    std::vector<unsigned char> b(16, 0);
    put_le(b, 0, 0x11111111, 4);
    put_le(b, 4, 0x22222222, 4);
    put_le(b, 8, 132521874959025799ull, 8);
    std::uint64_t ft = 0;
    std::uint32_t x = 0, y = 0;
    ASSERT_TRUE(embedded_filetime_block(ft, y, x, b.data()));
    EXPECT_EQ(ft, 132521874959025799ull);
    EXPECT_EQ(x, 0x11111111u);
    EXPECT_EQ(y, 0x22222222u);
    EXPECT_EQ(qm::time(b, qm::type_filetime_block).filetime, 132521874959025799ull);
    put_le(b, 8, 5, 8);
    EXPECT_FALSE(embedded_filetime_block(ft, y, x, b.data()));
    EXPECT_EQ(ft, 0u);
}

TEST(TimeSetters, structured_constructors) {
    _windows_systemtime st;
    st.year = 2021;
    st.month = 3;
    st.day = 4;
    st.hour = 5;
    st.minute = 6;
    st.second = 7;
    st.milliseconds = 89;
    const qm::time a(st);
    ASSERT_TRUE(a.valid);
    EXPECT_EQ(a.utc.milliseconds, 89);
    EXPECT_EQ(a.utc.day, 4);

    struct tm t;
    std::memset(&t, 0, sizeof t);
    t.tm_year = 121;
    t.tm_mon = 2;
    t.tm_mday = 4;
    t.tm_hour = 5;
    t.tm_min = 6;
    t.tm_sec = 7;
    EXPECT_EQ(qm::time(t, true).filetime, a.filetime - 890000);
    EXPECT_EQ(qm::time(t, false).filetime, a.filetime - 890000);  // UTC zone
    t.tm_year = 60;
    EXPECT_FALSE(qm::time(t, false).valid);  // mktime before 1970

    EXPECT_FALSE(qm::time(static_cast<std::uint32_t>(0)).valid);
    EXPECT_EQ(qm::time(static_cast<std::uint32_t>(1607713895)).filetime, ft_of_unix(1607713895));
    EXPECT_EQ(qm::time(_windows_filetime(5, 1)).filetime, 0x100000005ull);

    const std::int32_t pair[2] = {1607713895, 902579};
    const qm::time p(pair, qm::type_unix);
    ASSERT_TRUE(p.valid);
    EXPECT_EQ(p.filetime, ft_of_unix(1607713895) + 9025790);
    const std::int32_t bad_pair[2] = {0, 5};
    EXPECT_FALSE(qm::time(bad_pair, qm::type_unix).valid);
    EXPECT_FALSE(qm::time(pair, qm::type_filetime).valid);
}

TEST(TimeSetters, fat_date_and_time) {
    const unsigned short ok[2] = {0x0021, 0};
    const qm::time t(ok, true);
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.utc.year, 1980);
    EXPECT_EQ(t.utc.month, 1);
    EXPECT_EQ(t.utc.day, 1);
    const unsigned short day0[2] = {0x0020, 0};
    EXPECT_FALSE(qm::time(day0, true).valid);
    const unsigned short month13[2] = {static_cast<unsigned short>((13 << 5) | 1), 0};
    EXPECT_FALSE(qm::time(month13, true).valid);
    const unsigned short min60[2] = {0x0021, 0xBF80};
    EXPECT_FALSE(qm::time(min60, true).valid);
    const unsigned short sec60[2] = {0x0021, 30};
    EXPECT_FALSE(qm::time(sec60, true).valid);
    const unsigned short hour24[2] = {0x0021, static_cast<unsigned short>(24 << 11)};
    EXPECT_FALSE(qm::time(hour24, true).valid);
    // 31 February rolls into March.
    const unsigned short feb31[2] = {static_cast<unsigned short>((21 << 9) | (2 << 5) | 31),
                                     static_cast<unsigned short>((23 << 11) | (59 << 5) | 29)};
    const qm::time r(feb31, false);
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.utc.month, 3);
    EXPECT_EQ(r.utc.day, 3);
    EXPECT_EQ(r.utc.second, 58);
}

TEST(TimeSetters, performance_counter) {
    const std::uint64_t base = ft_of_unix(1000);
    const qm::time s(base, 1000, 3000, 1000, qm::type_qpc);
    EXPECT_EQ(s.filetime, base + 2 * 10000000ull);
    const qm::time us(base, 0, 5, 2, qm::type_qpc_us);
    EXPECT_EQ(us.filetime, base + 25);
    EXPECT_FALSE(qm::time(base, 0, 5, 2, qm::type_unix).filetime != base);
    EXPECT_FALSE(qm::time(base, 0, 5, 0, qm::type_qpc).valid);
    EXPECT_FALSE(qm::time(base, 0, ~0ull, 1, qm::type_qpc).valid);
}

TEST(TimeSetters, buffer_scans) {
    std::vector<qm::time> times;
    std::vector<std::uint64_t> offsets;
    std::vector<unsigned char> buf(8, 0);
    put_le(buf, 4, 1607713895, 4);
    ASSERT_TRUE(scan_buffer_for_unix_seconds(buf.data(), buf.size(), times, offsets));
    // Offset 0 reads zero (no time); offsets 1 to 4 each read a non-zero u32, the last one the value.
    ASSERT_EQ(offsets.size(), 4u);
    EXPECT_EQ(offsets.front(), 1u);
    EXPECT_EQ(offsets.back(), 4u);
    EXPECT_EQ(times.back().filetime, ft_of_unix(1607713895));
    EXPECT_EQ(times.front().filetime, ft_of_unix((1607713895ll << 24) & 0xffffffffll));
    EXPECT_FALSE(scan_buffer_for_unix_seconds(buf.data(), 7, times, offsets));
    EXPECT_TRUE(times.empty());
    EXPECT_FALSE(scan_buffer_for_unix_seconds(nullptr, 8, times, offsets));

    std::vector<unsigned char> b2(17, 0);
    put_le(b2, 9, 132521874959025799ull, 8);
    ASSERT_TRUE(scan_buffer_for_unix_or_filetime(b2.data(), b2.size(), times, offsets));
    ASSERT_FALSE(offsets.empty());
    bool found = false;
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (offsets[i] == 9 && times[i].filetime == 132521874959025799ull) found = true;
        EXPECT_LE(offsets[i], 9u);
    }
    EXPECT_TRUE(found);
    std::vector<unsigned char> b3(8, 0);
    put_le(b3, 0, 1607713895, 8);
    ASSERT_TRUE(scan_buffer_for_unix_or_filetime(b3.data(), b3.size(), times, offsets));
    ASSERT_EQ(times.size(), 1u);
    EXPECT_EQ(times[0].filetime, ft_of_unix(1607713895));
}
