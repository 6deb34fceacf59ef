#include "time/calendar.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "time/qm_time.h"

namespace {

constexpr unsigned kDaysPerMonth[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

// Cumulative day offsets minus one: entry m is the day-of-year (0-based) of the last day before month m.
constexpr int kCumulative[2][13] = {
    {-1, 30, 58, 89, 119, 150, 180, 211, 242, 272, 303, 333, 364},
    {-1, 30, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
};

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kSecondsPer365 = 31536000;

long long leap_days_through(long long y) { return y / 4 - y / 100 + y / 400; }

// Month index (0-11) and day (1-31) of a 0-based day of the year.
void split_day_of_year(long long days, bool leap, unsigned& month, unsigned& day) {
    const int* cum = kCumulative[leap ? 1 : 0];
    unsigned m = 0;
    while (m < 11 && cum[m + 1] < days) ++m;
    month = m + 1;
    day = static_cast<unsigned>(days - cum[m]);
}

long long floor_div(long long a, long long b) {
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Days from 1970-01-01 to the given proleptic Gregorian date (month 1-12).
long long days_from_civil(long long y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const long long era = floor_div(y, 400);
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The proleptic Gregorian date (month 1-12) of a day count from 1970-01-01 (from 0000-03-01 on).
void civil_from_days(long long z, long long& year, unsigned& month, unsigned& day) {
    z += 719468;
    const long long era = z / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

// 3001-01-01 00:00:00 UTC: broken-down times stop at the end of the year 3000.
constexpr std::int64_t kFirstSecondOf3001 = 32535216000;

void zero_tm(struct tm& t) { std::memset(&t, 0, sizeof t); }

}  // namespace

bool is_leap_year(long long year) {
    if (year < 1) return false;
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

unsigned days_in_month(long long year, unsigned month) {
    if (month < 1 || month > 12) return 0;
    return kDaysPerMonth[is_leap_year(year) ? 1 : 0][month - 1];
}

bool civil_to_unix_seconds(long long year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                           unsigned second, std::int64_t& out) {
    if (year < 1 || year > 9999 || day < 1 || day > days_in_month(year, month)) return false;
    if (hour > 23 || minute > 59 || second > 59) return false;
    out = days_from_civil(year, month, day) * kSecondsPerDay + hour * 3600ll + minute * 60ll + second;
    return true;
}

_windows_systemtime::_windows_systemtime(unsigned long long filetime) { set_from_filetime(filetime); }

bool _windows_systemtime::set_from_filetime(unsigned long long filetime) {
    *this = _windows_systemtime();
    return filetime_to_systemtime(filetime, *this);
}

_windows_filetime::_windows_filetime(const _windows_systemtime& st) {
    set_windows_filetime(date_parts_to_filetime(systemtime_to_tm(st), st.milliseconds));
}

struct tm systemtime_to_tm(const _windows_systemtime& st) {
    struct tm t;
    zero_tm(t);
    t.tm_year = static_cast<int>(st.year) - 1900;
    t.tm_mon = static_cast<int>(st.month) - 1;
    t.tm_mday = st.day;
    t.tm_hour = st.hour;
    t.tm_min = st.minute;
    t.tm_sec = st.second;
    return t;
}

bool filetime_to_date_parts(date_parts& parts, std::uint64_t ft) {
    parts = date_parts();
    if (ft >= kFiletimeSignBit) return false;

    // Days from 1601-01-01 (134,774 days before 1970) and the second within the day.
    const long long days = static_cast<long long>(ft / kTicksPerDay);
    const long long r = static_cast<long long>((ft % kTicksPerDay) / kTicksPerSecond);
    long long year = 0;
    unsigned month = 0, day = 0;
    civil_from_days(days - 134774, year, month, day);

    _windows_systemtime& u = parts.utc;
    u.year = static_cast<std::uint16_t>(year);
    u.month = static_cast<std::uint16_t>(month);
    u.day = static_cast<std::uint16_t>(day);
    u.day_of_week = static_cast<std::uint16_t>((ft / kTicksPerDay + 1) % 7);
    u.hour = static_cast<std::uint16_t>(r / 3600);
    u.minute = static_cast<std::uint16_t>((r - u.hour * 3600) / 60);
    u.second = static_cast<std::uint16_t>(r - u.hour * 3600 - u.minute * 60);

    const std::uint64_t t = ft % kTicksPerSecond;
    u.milliseconds = static_cast<std::uint16_t>(t / 10000);
    parts.microseconds = t / 10;
    parts.nanoseconds = t * 100;
    parts.picoseconds = t * 100000;
    return true;
}

bool filetime_to_date_parts_precise(std::uint64_t filetime, date_parts& parts, double sub_ticks) {
    if (!std::isfinite(sub_ticks) || sub_ticks < 0.0 || sub_ticks >= 1e7) {
        parts = date_parts();
        return false;
    }
    if (!filetime_to_date_parts(parts, filetime)) return false;
    parts.utc.milliseconds = static_cast<std::uint16_t>(sub_ticks / 1e4);
    parts.microseconds = static_cast<std::uint64_t>(sub_ticks / 10.0);
    parts.nanoseconds = static_cast<std::uint64_t>(sub_ticks * 100.0);
    parts.picoseconds = static_cast<std::uint64_t>(sub_ticks * 1e5);
    return true;
}

std::uint64_t date_parts_to_filetime(struct tm t, std::uint64_t milliseconds) {
    long long year = t.tm_year;
    long long mon = t.tm_mon;
    if (mon < 0 || mon > 11) {
        year += mon / 12;
        mon %= 12;
        if (mon < 0) {
            year -= 1;
            mon += 12;
        }
    }
    long long d = kCumulative[0][mon];
    if (is_leap_year(year + 1900) && mon >= 2) d += 1;
    const long long before = year + 1899;
    const long long days = year * 365 + d + before / 4 - before / 100 + before / 400 + t.tm_mday;
    const long long secs = ((days * 24 + t.tm_hour) * 60 + t.tm_min) * 60 + t.tm_sec;
    // Unsigned from here: dates before 1601 wrap instead of overflowing a signed value.
    return static_cast<std::uint64_t>(secs) * kTicksPerSecond + milliseconds * 10000ull +
           93957408000000000ull;
}

bool unix_seconds_to_tm(std::int64_t seconds, struct tm& out, float bias_hours) {
    if (seconds < 0) return false;
    // Past the last second of 3000 even after the largest bias: refused before the sum could overflow.
    if (seconds >= kFirstSecondOf3001 + 2 * kSecondsPerDay) {
        zero_tm(out);
        return false;
    }
    const float bias = bias_hours * 3600.0f;
    const std::int64_t t = seconds + static_cast<std::int64_t>(bias);
    // A negative bias can take the first hours of 1970 before the epoch, and the years stop at 3000:
    // such a time cannot be broken down.
    if (t < 0 || t >= kFirstSecondOf3001) {
        zero_tm(out);
        return false;
    }
    const long long days = t / kSecondsPerDay;
    const long long r = t - days * kSecondsPerDay;
    long long year = 0;
    unsigned month = 0, day = 0;
    civil_from_days(days, year, month, day);
    struct tm tmp;
    zero_tm(tmp);
    tmp.tm_sec = static_cast<int>(r % 60);
    tmp.tm_hour = static_cast<int>(r / 3600);
    tmp.tm_min = static_cast<int>((r - tmp.tm_hour * 3600) / 60);
    tmp.tm_wday = static_cast<int>((days + 4) % 7);
    tmp.tm_year = static_cast<int>(year - 1900);
    tmp.tm_yday = static_cast<int>(days - days_from_civil(year, 1, 1));
    tmp.tm_mon = static_cast<int>(month - 1);
    tmp.tm_mday = static_cast<int>(day);
    tmp.tm_isdst = 0;
    out = tmp;
    return true;
}

bool unix_seconds_to_utc_tm(std::int64_t seconds, struct tm& out) {
    return unix_seconds_to_tm(seconds, out, 0.0f);
}

bool filetime_to_utc_tm(std::uint64_t filetime, struct tm& out) {
    if (filetime >= kFiletimeSignBit) return false;
    const std::uint64_t unix_secs = (filetime - kFiletimeUnix) / kTicksPerSecond;
    return unix_seconds_to_tm(static_cast<std::int64_t>(unix_secs), out, 0.0f);
}

int local_bias_seconds_at(std::time_t now) {
    struct tm local, gm;
    if (localtime_r(&now, &local) == nullptr || gmtime_r(&now, &gm) == nullptr) return 0;
    // Both read back through mktime so that the difference is the zone's offset at this moment.
    local.tm_isdst = 0;
    gm.tm_isdst = 0;
    const std::time_t a = std::mktime(&local);
    const std::time_t b = std::mktime(&gm);
    return static_cast<int>(a - b);
}

int get_local_bias_seconds() {
    // The zone does not change during a run, but each mktime makes the C library look at the zone file
    // again. The bias is worked out once per value of TZ (a test may switch zones) and reused.
    // TZ is kept in a fixed array: a thread_local with a destructor makes the C library allocate on the
    // thread's first touch, and end the process when it cannot. A longer TZ is worked out every time.
    struct cached_bias {
        bool known = false;
        bool tz_set = false;
        char tz[128] = {};
        int seconds = 0;
    };
    // One per thread, so that threads writing rows never share it.
    thread_local cached_bias cache;
    const char* tz = std::getenv("TZ");
    if (cache.known && cache.tz_set == (tz != nullptr) && (tz == nullptr || std::strcmp(cache.tz, tz) == 0))
        return cache.seconds;
    const int seconds = local_bias_seconds_at(std::time(nullptr));
    const std::size_t length = tz != nullptr ? std::strlen(tz) : 0;
    cache.known = length < sizeof cache.tz;
    cache.tz_set = tz != nullptr;
    if (cache.known) std::memcpy(cache.tz, tz != nullptr ? tz : "", length + 1);
    cache.seconds = seconds;
    return seconds;
}

bool unix_seconds_to_local_tm(std::uint64_t seconds, struct tm& out) {
    const float bias_hours = static_cast<float>(get_local_bias_seconds()) / 3600.0f;
    if (!unix_seconds_to_tm(static_cast<std::int64_t>(seconds), out, bias_hours)) return false;
    return out.tm_year < 1101;
}

bool filetime_to_local_tm(std::uint64_t filetime, struct tm& out) {
    std::uint64_t secs = 0;
    if (filetime < kFiletimeSignBit) secs = (filetime - kFiletimeUnix) / kTicksPerSecond;
    return unix_seconds_to_local_tm(secs, out);
}

struct tm& unix_seconds_to_gm_tm(struct tm& out, std::int64_t s) {
    zero_tm(out);
    long long n = s / kSecondsPer365;
    long long rest = s - n * kSecondsPer365 + 41212800 - leap_days_through(n + 1969) * kSecondsPerDay;
    // The estimate can overshoot by up to a year's leap days in either direction.
    while (rest < 0) {
        --n;
        rest += is_leap_year(1970 + n) ? 31622400 : 31536000;
    }
    while (rest >= (is_leap_year(1970 + n) ? 31622400 : 31536000)) {
        rest -= is_leap_year(1970 + n) ? 31622400 : 31536000;
        ++n;
    }
    const long long year = 1970 + n;
    const long long days = rest / kSecondsPerDay;
    const long long r = rest % kSecondsPerDay;
    unsigned month = 0, day = 0;
    split_day_of_year(days, is_leap_year(year), month, day);
    out.tm_year = static_cast<int>(year - 1900);
    out.tm_mon = static_cast<int>(month - 1);
    out.tm_mday = static_cast<int>(day);
    out.tm_yday = static_cast<int>(days);
    out.tm_hour = static_cast<int>(r / 3600);
    out.tm_min = static_cast<int>((r % 3600) / 60);
    out.tm_sec = static_cast<int>(r % 60);
    out.tm_isdst = 0;
    const long long days_since_epoch = floor_div(s, kSecondsPerDay);
    out.tm_wday = static_cast<int>(((days_since_epoch + 4) % 7 + 7) % 7);
    return out;
}

bool tm_to_unix_seconds(const struct tm& t, std::uint64_t& out) {
    out = ~0ull;
    long long sec = t.tm_sec, min = t.tm_min, hour = t.tm_hour, mday = t.tm_mday, mon = t.tm_mon;
    long long year = static_cast<long long>(t.tm_year) + 1900;
    min += floor_div(sec, 60);
    sec -= floor_div(sec, 60) * 60;
    hour += floor_div(min, 60);
    min -= floor_div(min, 60) * 60;
    mday += floor_div(hour, 24);
    hour -= floor_div(hour, 24) * 24;
    year += floor_div(mon, 12);
    mon -= floor_div(mon, 12) * 12;
    // Whole 400-year cycles first so that a huge day count cannot make the month walk long.
    const long long cycles = floor_div(mday - 1, 146097);
    year += cycles * 400;
    mday -= cycles * 146097;
    while (mday > static_cast<long long>(days_in_month(year, static_cast<unsigned>(mon + 1)))) {
        mday -= days_in_month(year, static_cast<unsigned>(mon + 1));
        if (++mon == 12) {
            mon = 0;
            ++year;
        }
    }
    if (year < 1970 || year > 292277026596ll / 2) return false;
    const long long days = days_from_civil(year, static_cast<unsigned>(mon + 1), static_cast<unsigned>(mday));
    out = static_cast<std::uint64_t>(days * kSecondsPerDay + hour * 3600 + min * 60 + sec + 34200);
    return true;
}

bool tm_to_local_unix_seconds(const struct tm& t, std::uint64_t& out) {
    struct tm copy = t;
    const std::time_t u = std::mktime(&copy);
    out = static_cast<std::uint64_t>(u);
    return u > 0;
}

int current_local_year() {
    const std::time_t now = std::time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) == nullptr) return 1970;
    return local.tm_year + 1900;
}

namespace {

// Hours apart of two broken-down times of one instant, as (a hour - b hour) x 3600 with 24 hours added
// to whichever side is a day ahead.
int hour_difference_seconds(int a_year, int a_yday, int a_hour, int b_year, int b_yday, int b_hour) {
    const bool a_later = a_year > b_year || (a_year == b_year && a_yday > b_yday);
    const bool b_later = b_year > a_year || (a_year == b_year && b_yday > a_yday);
    if (a_later) a_hour += 24;
    if (b_later) b_hour += 24;
    return (a_hour - b_hour) * 3600;
}

}  // namespace

int utc_minus_local_seconds(bool& dst, const struct tm& t) {
    struct tm copy = t;
    const std::time_t u = std::mktime(&copy);
    if (u < 0) return 0;
    struct tm local, utc;
    if (!unix_seconds_to_local_tm(static_cast<std::uint64_t>(u), local)) return 0;
    if (!unix_seconds_to_utc_tm(static_cast<std::int64_t>(u), utc)) return 0;
    if (local.tm_isdst > 0) dst = true;
    return hour_difference_seconds(utc.tm_year, utc.tm_yday, utc.tm_hour, local.tm_year, local.tm_yday,
                                   local.tm_hour);
}

std::uint64_t filetime_local_to_utc(std::uint64_t filetime) {
    const qm::time t(static_cast<unsigned long long>(filetime), qm::type_filetime);
    if (!t.valid || t.local_failed) return t.valid ? filetime : 0;
    const int utc_yday = static_cast<int>(days_from_civil(t.utc.year, t.utc.month, t.utc.day) -
                                          days_from_civil(t.utc.year, 1, 1));
    const int diff = hour_difference_seconds(t.utc.year - 1900, utc_yday, t.utc.hour, t.local.tm_year,
                                             t.local.tm_yday, t.local.tm_hour);
    return filetime + static_cast<std::uint64_t>(static_cast<std::int64_t>(diff) * 10000000ll);
}

bool filetime_to_dos_date_time(std::uint64_t filetime, std::uint16_t (&dos)[2]) {
    date_parts p;
    if (!filetime_to_date_parts(p, filetime)) return false;
    return systemtime_to_dos_date_time(p.utc, dos);
}

bool systemtime_to_dos_date_time(const _windows_systemtime& u, std::uint16_t (&dos)[2]) {
    if (u.year < 1980 || u.year > 2037) return false;
    dos[0] = static_cast<std::uint16_t>((u.year - 1980) * 512 + u.month * 32 + u.day);
    dos[1] = static_cast<std::uint16_t>(u.hour * 2048 + u.minute * 32 + ((u.second / 2 + u.second % 2) & 31));
    return true;
}

bool filetime_to_systemtime(std::uint64_t filetime, _windows_systemtime& out) {
    date_parts p;
    const bool ok = filetime_to_date_parts(p, filetime);
    out = p.utc;
    return ok;
}

void systemtime_from_tm(_windows_systemtime& out, struct tm t) {
    out.year = static_cast<std::uint16_t>(t.tm_year + 1900);
    out.month = static_cast<std::uint16_t>(t.tm_mon + 1);
    out.day_of_week = 0;
    out.day = static_cast<std::uint16_t>(t.tm_mday);
    out.hour = static_cast<std::uint16_t>(t.tm_hour);
    out.minute = static_cast<std::uint16_t>(t.tm_min);
    out.second = static_cast<std::uint16_t>(t.tm_sec);
    out.milliseconds = 0;
}

bool systemtime_to_unix_seconds(const std::uint64_t (&st)[2], std::uint64_t& out) {
    unsigned char bytes[16];
    std::memcpy(bytes, st, sizeof bytes);
    std::uint16_t f[8];
    for (int i = 0; i < 8; ++i) f[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    _windows_systemtime s;
    s.year = f[0];
    s.month = f[1];
    s.day_of_week = f[2];
    s.day = f[3];
    s.hour = f[4];
    s.minute = f[5];
    s.second = f[6];
    s.milliseconds = f[7];
    const std::uint64_t ft = _windows_filetime(s).value();
    return filetime_to_unix_seconds(ft, out);
}

bool net_ticks_to_filetime(std::uint64_t ticks, std::uint64_t& out) {
    out = ticks - kNetTicksAt1601;
    return true;
}

bool seconds_double_to_filetime(double seconds, std::uint64_t epoch, std::uint64_t& out) {
    if (!std::isfinite(seconds)) return false;
    const double total = static_cast<double>(epoch) + seconds * 1e7;
    if (!(total > -9.2e18 && total < 9.2e18)) return false;
    const double whole = std::trunc(seconds);
    const std::int64_t w = static_cast<std::int64_t>(whole);
    const std::int64_t frac = static_cast<std::int64_t>((seconds - whole) * 1e7);
    out = epoch + static_cast<std::uint64_t>(w) * kTicksPerSecond + static_cast<std::uint64_t>(frac);
    return true;
}

namespace {

// Safari integer rule: below 2^32 plain seconds; from 2^32 on whole seconds = value / 10^9 plus
// value mod 10^7 ticks.
std::uint64_t safari_ticks_large(std::uint64_t v) {
    return (v / 1000000000ull) * kTicksPerSecond + v % 10000000ull;
}

}  // namespace

bool safari_double_to_unix_seconds(double seconds, std::uint64_t& out) {
    if (!std::isfinite(seconds) || std::fabs(seconds) > 9.0e11) return false;
    const double whole = std::trunc(seconds);
    const std::int64_t w = static_cast<std::int64_t>(whole);
    const std::int64_t us = static_cast<std::int64_t>((seconds - whole) * 1e6);
    const std::uint64_t ticks = static_cast<std::uint64_t>(w) * kTicksPerSecond +
                                static_cast<std::uint64_t>(us) * 10 + kFiletimeSafari - kFiletimeUnix;
    out = ticks / kTicksPerSecond;
    return true;
}

bool safari_to_unix_seconds(std::int64_t seconds, std::uint64_t& out) {
    std::uint64_t ft = 0;
    safari_to_filetime(seconds, ft);
    out = (ft - kFiletimeUnix) / kTicksPerSecond;
    return true;
}

bool safari_double_to_filetime(double seconds, std::uint64_t& out) {
    return seconds_double_to_filetime(seconds, kFiletimeSafari, out);
}

bool safari_to_filetime(std::int64_t seconds, std::uint64_t& out) {
    if (seconds < 0x100000000ll) {
        out = static_cast<std::uint64_t>(seconds) * kTicksPerSecond + kFiletimeSafari;
    } else {
        out = safari_ticks_large(static_cast<std::uint64_t>(seconds)) + kFiletimeSafari;
    }
    return true;
}

bool safari_to_filetime_unsigned(std::uint64_t seconds, std::uint64_t& out) {
    if (seconds < 0x100000000ull) {
        out = seconds * kTicksPerSecond + kFiletimeSafari;
    } else {
        out = safari_ticks_large(seconds) + kFiletimeSafari;
    }
    return true;
}

bool unix_seconds_to_filetime(std::int64_t seconds, std::uint64_t& out) {
    out = static_cast<std::uint64_t>(seconds) * kTicksPerSecond + kFiletimeUnix;
    return true;
}

bool vhd_to_filetime(std::uint64_t seconds, std::uint64_t& out) {
    out = (seconds & 0xffffffffull) * kTicksPerSecond + kFiletimeVhd;
    return true;
}

bool filetime_to_vhd(std::uint64_t filetime, std::uint32_t& out) {
    out = static_cast<std::uint32_t>((filetime - kFiletimeVhd) / kTicksPerSecond);
    return true;
}

bool filetime_to_snowflake_ms(std::uint64_t filetime, std::uint32_t& out) {
    out = static_cast<std::uint32_t>((filetime - kFiletimeSnowflake) / 10000ull);
    return true;
}

bool firefox_to_filetime(std::int64_t microseconds, std::uint64_t& out) {
    const std::int64_t whole = microseconds / 1000000;
    const std::int64_t rest = microseconds % 1000000;
    out = static_cast<std::uint64_t>(whole) * kTicksPerSecond + static_cast<std::uint64_t>(rest) * 10 +
          kFiletimeUnix;
    return true;
}

bool snowflake_to_filetime(std::uint64_t snowflake, std::uint64_t& out) {
    // Arithmetic shift: the top bit of a snowflake is a sign bit.
    const std::int64_t ms = static_cast<std::int64_t>(snowflake) >> 22;
    out = static_cast<std::uint64_t>(ms) * 10000ull + kFiletimeSnowflake;
    return true;
}

bool chrome_to_filetime(std::uint64_t microseconds, std::uint64_t& out) {
    out = microseconds * 10;
    return true;
}

bool chrome_to_unix_seconds(std::uint64_t microseconds, std::uint64_t& out) {
    const std::uint64_t ft = microseconds * 10;
    if (ft >= kFiletimeSignBit) return false;
    out = (ft - kFiletimeUnix) / kTicksPerSecond;
    return true;
}

bool firefox_to_unix_seconds(std::int64_t microseconds, std::uint64_t& out) {
    std::uint64_t ft = 0;
    firefox_to_filetime(microseconds, ft);
    if (ft >= kFiletimeSignBit) return false;
    out = (ft - kFiletimeUnix) / kTicksPerSecond;
    return true;
}

std::uint64_t filetime_to_chrome(std::uint64_t filetime) { return filetime / 10; }

bool filetime_to_unix_seconds(std::uint64_t filetime, std::uint64_t& out) {
    if (filetime >= kFiletimeSignBit) return false;
    out = (filetime - kFiletimeUnix) / kTicksPerSecond;
    return true;
}

bool filetime_to_u64(std::uint64_t filetime, std::uint64_t& out) {
    out = filetime;
    return true;
}

bool filetime_to_u64(const _windows_filetime& filetime, std::uint64_t& out) {
    out = filetime.value();
    return true;
}

bool make_windows_filetime(_windows_filetime& out, std::uint64_t value, std::uint32_t kind) {
    if (kind == 8) {
        out.set_windows_filetime(value * kTicksPerSecond + kFiletimeUnix);
        return true;
    }
    if (kind == 1) {
        out.set_windows_filetime(value);
        return true;
    }
    return false;
}

bool unix_seconds_to_windows_filetime(std::int64_t seconds, _windows_filetime& out) {
    std::uint64_t ft = 0;
    unix_seconds_to_filetime(seconds, ft);
    out.set_windows_filetime(ft);
    return true;
}

std::uint64_t chrome_to_1970_scaled(std::uint64_t microseconds) {
    return microseconds * 10 - 1164447360000000000ull;
}

std::uint64_t filetime_to_ms(std::uint64_t ticks) { return ticks / 10000ull; }
std::uint64_t ms_to_filetime(std::uint64_t ms) { return ms * 10000ull; }
std::uint64_t filetime_to_seconds(std::uint64_t ticks) { return ticks / kTicksPerSecond; }
std::uint64_t seconds_to_filetime(std::uint64_t seconds) { return seconds * kTicksPerSecond; }
std::uint64_t filetime_to_minutes(std::uint64_t ticks) { return ticks / 600000000ull; }
std::uint64_t minutes_to_filetime(std::uint64_t minutes) { return minutes * 600000000ull; }
std::uint64_t add_ms_to_filetime(std::uint64_t filetime, std::uint64_t ms) {
    return filetime + ms * 10000ull;
}

bool filetime_difference(std::uint64_t a, std::uint64_t b, std::uint64_t& out) {
    if (a >= kFiletimeSignBit || b >= kFiletimeSignBit) return false;
    out = a > b ? a - b : b - a;
    return true;
}

namespace {

bool difference_scaled(std::uint64_t a, std::uint64_t b, double divisor, std::uint64_t& out) {
    out = 0;
    std::uint64_t d = 0;
    if (!filetime_difference(a, b, d)) return false;
    out = static_cast<std::uint64_t>(static_cast<double>(d) / divisor);
    return true;
}

}  // namespace

bool filetime_difference_us(std::uint64_t a, std::uint64_t b, std::uint64_t& out) {
    return difference_scaled(a, b, 10.0, out);
}

bool filetime_difference_ms(std::uint64_t a, std::uint64_t b, std::uint64_t& out) {
    return difference_scaled(a, b, 1e4, out);
}

bool filetime_difference_seconds(std::uint64_t a, std::uint64_t b, std::uint64_t& out) {
    return difference_scaled(a, b, 1e7, out);
}

bool filetime_difference_seconds_pair(std::uint64_t a, std::uint64_t b, std::uint32_t (&out)[2]) {
    const std::uint64_t d = (a > b ? a - b : b - a) / kTicksPerSecond;
    out[0] = static_cast<std::uint32_t>(d);
    out[1] = static_cast<std::uint32_t>(d);
    return true;
}

std::uint64_t next_power_of_two(std::uint64_t n) {
    if (n < 2) return 1;
    if ((n & (n - 1)) == 0) return n;
    std::uint64_t p = 1;
    while (p != 0 && p < n) p <<= 1;
    return p;
}

bool time_library_ready() { return true; }
