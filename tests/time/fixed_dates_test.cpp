#include "time/fixed_dates.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <limits>
#include <sstream>
#include <string>

namespace {

// 1994-11-06 08:49:37 UTC; every expected text below was printed by `date -u` for the same instant.
constexpr std::int64_t kUnix1994 = 784111777;
constexpr std::uint64_t kFiletime1994 = 124285853770000000ull;

TEST(FixedDates, GmtDateOfAKnownTimeAndOfNow) {
    std::string out;
    ASSERT_TRUE(
        gmt_date_text(out, qm::time(static_cast<unsigned long long>(kFiletime1994), qm::type_filetime)));
    EXPECT_EQ(out, "Sun, 6 Nov 1994 08:49:37 GMT");
    EXPECT_FALSE(gmt_date_text(out, qm::time()));
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(gmt_date_now(out));
    ASSERT_GT(out.size(), 4u);
    EXPECT_EQ(out.substr(out.size() - 4), " GMT");
}

TEST(FixedDates, MailDateMatchesDateCommandAndLabelsTheBias) {
    struct Case {
        int bias;
        const char* text;
    };
    // `date -u -R -d @784111777` gives "Sun, 06 Nov 1994 08:49:37 +0000".
    const Case cases[] = {
        {0, "Sun, 06 Nov 1994 08:49:37 +0000"},    {300, "Sun, 06 Nov 1994 08:49:37 -0500"},
        {-120, "Sun, 06 Nov 1994 08:49:37 +0200"}, {-330, "Sun, 06 Nov 1994 08:49:37 +0530"},
        {30, "Sun, 06 Nov 1994 08:49:37 -0030"},
    };
    for (const Case& c : cases) {
        std::string out;
        ASSERT_TRUE(mail_date_text(out, kUnix1994, c.bias)) << c.bias;
        EXPECT_EQ(out, c.text) << c.bias;
    }
    std::string out;
    ASSERT_TRUE(mail_date_text(out, 4102444800ull, 0));
    EXPECT_EQ(out, "Fri, 01 Jan 2100 00:00:00 +0000");
    // A value that is negative as a signed number cannot be broken down.
    EXPECT_FALSE(mail_date_text(out, ~0ull, 0));
    // Zero means the current time: the text of one of the seconds from the clock read before the call to the
    // one read after it, however long a busy machine holds the test between them.
    std::string now, second;
    const std::time_t before = std::time(nullptr);
    ASSERT_TRUE(mail_date_text(now, 0, 0));
    const std::time_t after = std::time(nullptr);
    bool found = false;
    for (std::time_t t = before; t <= after && !found; ++t) {
        ASSERT_TRUE(mail_date_text(second, static_cast<std::uint64_t>(t), 0));
        found = second == now;
    }
    EXPECT_TRUE(found) << now;
}

TEST(FixedDates, Iso8601TextAndItsLimits) {
    struct Case {
        std::int64_t seconds;
        float bias;
        bool ok;
        const char* text;
    };
    const Case cases[] = {
        {kUnix1994, 0.0f, true, "1994-11-06T08:49:37Z"},
        {951782400, 0.0f, true, "2000-02-29T00:00:00Z"},  // date -u -d @951782400
        {951782400, -1.0f, true, "2000-02-28T23:00:00Z"},
        {0, 0.0f, true, "1970-01-01T00:00:00Z"},
        {32535215999, 0.0f, true, "3000-12-31T23:59:59Z"},
        {-1, 0.0f, false, ""},
        {0, -1.0f, false, ""},  // the bias takes it before 1970
        // Past the year 3000 the calendar walk stops instead of counting years for ever.
        {32535216000, 0.0f, false, ""},
        {std::numeric_limits<std::int64_t>::max() / 2, 0.0f, false, ""},
    };
    for (const Case& c : cases) {
        std::string out = "unchanged";
        EXPECT_EQ(iso8601_utc_text(c.seconds, out, c.bias), c.ok) << c.seconds;
        EXPECT_EQ(out, c.ok ? c.text : "unchanged") << c.seconds;
    }
}

TEST(FixedDates, SystemtimeTextAndConstructionByKind) {
    _windows_systemtime st;
    st.year = 2021;
    st.month = 3;
    st.day = 4;
    st.hour = 5;
    st.minute = 6;
    st.second = 7;
    st.milliseconds = 89;
    std::string out;
    ASSERT_TRUE(systemtime_to_text(out, st));
    EXPECT_EQ(out, "03/04/2021 : 05:06:07.089");

    // date -u -d @1614834367: Thu, 04 Mar 2021 05:06:07.
    const _windows_systemtime u(1614834367LL, qm::type_unix);
    EXPECT_EQ(u.year, 2021);
    EXPECT_EQ(u.month, 3);
    EXPECT_EQ(u.day, 4);
    EXPECT_EQ(u.day_of_week, 4);
    EXPECT_EQ(u.hour, 5);
    EXPECT_EQ(u.second, 7);
    const _windows_systemtime f(static_cast<long long>(kFiletime1994 + 1230000), qm::type_filetime);
    ASSERT_TRUE(systemtime_to_text(out, f));
    EXPECT_EQ(out, "11/06/1994 : 08:49:37.123");
    for (const _windows_systemtime& zero :
         {_windows_systemtime(-5LL, qm::type_filetime), _windows_systemtime(-5LL, qm::type_unix),
          _windows_systemtime(1614834367LL, qm::type_chrome)}) {
        EXPECT_EQ(zero.year, 0);
        EXPECT_EQ(zero.day, 0);
    }
}

TEST(FixedDates, NtpStampWithItsDate) {
    ntp_stamp v;
    ntp_store_seconds(v, 0xb2671721u);  // 1994-11-06 08:49:37
    ntp_store_fraction(v, 0x80000000u);
    std::ostringstream os;
    os << v << ' ' << 255;
    EXPECT_EQ(os.str(), "b2671721.80000000 : [1994-11-06 08:49:37.500000000 UTC] ff");
    ntp_stamp zero;
    std::ostringstream z;
    write_ntp_time(z, zero);
    EXPECT_EQ(z.str(), "00000000.00000000 : [1900-01-01 00:00:00.000000000 UTC]");
}

TEST(FixedDates, FiletimeByPatterns) {
    std::string out = "x";
    EXPECT_EQ(filetime_to_text_by_pattern(out, kFiletime1994, "yyyy-mm-dd", "hh:mm:ss"),
              "1994-11-06 08:49:37");
    EXPECT_EQ(filetime_to_text_by_pattern(out, ~0ull, "yyyy-mm-dd", "hh:mm:ss"), "");
}

}  // namespace
