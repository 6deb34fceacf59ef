// Calendar arithmetic under qm::time: FILETIME (100-ns ticks since 1601-01-01 UTC) to broken-down UTC parts
// and back, Unix seconds to struct tm with or without the local bias, FAT date/time words, the SYSTEMTIME
// and FILETIME records, and small conversions between the time kinds. Pure integer arithmetic on the
// proleptic Gregorian calendar except where a function says it asks the C library.
#pragma once

#include <cstdint>
#include <ctime>

#include "time/time_kinds.h"

// FILETIME values of the epochs the time kinds count from.
constexpr std::uint64_t kFiletimeOle = 94353120000000000ull;         // 1899-12-30
constexpr std::uint64_t kFiletimeNtp = 94354848000000000ull;         // 1900-01-01
constexpr std::uint64_t kFiletimeHfs = 95616288000000000ull;         // 1904-01-01
constexpr std::uint64_t kFiletimeUnix = 116444736000000000ull;       // 1970-01-01
constexpr std::uint64_t kFiletimeVhd = 125912196000000000ull;        // 2000-01-01 17:00
constexpr std::uint64_t kFiletimeSafari = 126227808000000000ull;     // 2001-01-01
constexpr std::uint64_t kFiletimeSnowflake = 130645440000000000ull;  // 2015-01-01
constexpr std::uint64_t kNetTicksAt1601 = 504911232000000000ull;     // .NET ticks of 1601-01-01
constexpr std::uint64_t kTicksPerSecond = 10000000ull;
constexpr std::uint64_t kTicksPerDay = 864000000000ull;
constexpr std::uint64_t kFiletimeSignBit = 0x8000000000000000ull;  // FILETIMEs at or above are rejected

// A Windows SYSTEMTIME: eight u16 fields, zero-filled by default.
struct _windows_systemtime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;        // 1-12
    std::uint16_t day_of_week = 0;  // 0 = Sunday
    std::uint16_t day = 0;          // 1-31
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;

    _windows_systemtime() = default;
    // Zero-filled, then the UTC breakdown of `filetime` (stays zero for a FILETIME of 2^63 or more).
    explicit _windows_systemtime(unsigned long long filetime);
    // Zero-filled, then the UTC breakdown of a value of kind 8 (Unix seconds) or 1 (FILETIME, when not
    // negative); any other kind, or a value that cannot be broken down, leaves it zero (fixed_dates.cpp).
    _windows_systemtime(long long value, qm::type_time kind);
    // The same on an existing record; returns whether the breakdown succeeded.
    bool set_from_filetime(unsigned long long filetime);
};

// A Windows FILETIME as two 32-bit halves.
struct _windows_filetime {
    std::uint32_t low = 0;
    std::uint32_t high = 0;

    _windows_filetime() = default;
    _windows_filetime(std::uint32_t low_part, std::uint32_t high_part) : low(low_part), high(high_part) {}
    // The FILETIME of the broken-down fields (milliseconds included), read as UTC.
    explicit _windows_filetime(const _windows_systemtime& st);
    void set_windows_filetime(std::uint64_t value) {
        low = static_cast<std::uint32_t>(value);
        high = static_cast<std::uint32_t>(value >> 32);
    }
    std::uint64_t value() const { return (static_cast<std::uint64_t>(high) << 32) | low; }
};

// UTC broken-down parts with the sub-second parts within the second.
struct date_parts {
    _windows_systemtime utc;
    std::uint64_t microseconds = 0;  // 0-999,999
    std::uint64_t nanoseconds = 0;   // 0-999,999,999
    std::uint64_t picoseconds = 0;
};

bool is_leap_year(long long year);
// Days in month `month` (1-12) of `year`; 0 for a month outside 1-12.
unsigned days_in_month(long long year, unsigned month);
// Seconds since 1970-01-01 00:00:00 UTC (negative before) of a UTC date and time of day of the years 1 to
// 9999. False, `out` untouched, for a date or time that does not exist: a month outside 1-12, a day the
// month does not have, an hour past 23, a minute or second past 59 (no leap second).
bool civil_to_unix_seconds(long long year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                           unsigned second, std::int64_t& out);

// FILETIME to UTC parts. False (parts zeroed) for a FILETIME of 2^63 or more.
bool filetime_to_date_parts(date_parts& parts, std::uint64_t filetime);
// As above, but the sub-second parts come from `sub_ticks` alone (a fraction of a second in 100-ns
// ticks). False, parts zeroed, when sub_ticks is not a finite value in [0, 10^7).
bool filetime_to_date_parts_precise(std::uint64_t filetime, date_parts& parts, double sub_ticks);
// Broken-down fields read as UTC to FILETIME; an out-of-range tm_mon carries whole years, the other
// fields roll into the next unit. Dates before 1601 wrap (unsigned).
std::uint64_t date_parts_to_filetime(struct tm t, std::uint64_t milliseconds);
// The date and time of day of `st` as a struct tm (other fields zero); milliseconds are left out.
struct tm systemtime_to_tm(const _windows_systemtime& st);

// Unix seconds plus `bias_hours` to a struct tm (tm_isdst 0, tm_gmtoff/tm_zone zero). False (struct
// untouched) for negative seconds; false with the struct zeroed when the biased time is before 1970 or
// passes the year 3000.
bool unix_seconds_to_tm(std::int64_t seconds, struct tm& out, float bias_hours);
bool unix_seconds_to_utc_tm(std::int64_t seconds, struct tm& out);
bool filetime_to_utc_tm(std::uint64_t filetime, struct tm& out);
// Local time minus UTC in seconds at the instant `now` (C library: localtime, gmtime, mktime).
int local_bias_seconds_at(std::time_t now);
// local_bias_seconds_at the current moment, worked out once per value of TZ and then reused.
int get_local_bias_seconds();
// Unix seconds with today's local bias; false from local year 3001 on.
bool unix_seconds_to_local_tm(std::uint64_t seconds, struct tm& out);
bool filetime_to_local_tm(std::uint64_t filetime, struct tm& out);
// A complete UTC struct tm of signed Unix seconds; returns `out`.
struct tm& unix_seconds_to_gm_tm(struct tm& out, std::int64_t seconds);
// Normalises a copy of `t`; false (out = all ones) for a year before 1970 or an overflow. Otherwise out
// is the UTC reading of the fields plus 34,200 seconds (this offset is what the function has always
// produced; nothing in selk calls it).
bool tm_to_unix_seconds(const struct tm& t, std::uint64_t& out);
// out = mktime of a copy (fields as local time); true when it is above 0.
bool tm_to_local_unix_seconds(const struct tm& t, std::uint64_t& out);
int current_local_year();
// (UTC hour - local hour) x 3600 at the instant mktime(t); a day apart adds 24 hours to the later side.
int utc_minus_local_seconds(bool& dst, const struct tm& t);
// A local-time FILETIME shifted to UTC by its own UTC and local hours; 0 for an invalid value.
std::uint64_t filetime_local_to_utc(std::uint64_t filetime);

// FAT date and time words of the UTC parts; false (nothing written) outside the years 1980-2037.
bool filetime_to_dos_date_time(std::uint64_t filetime, std::uint16_t (&dos)[2]);
// The same from UTC parts already broken down.
bool systemtime_to_dos_date_time(const _windows_systemtime& utc, std::uint16_t (&dos)[2]);
bool filetime_to_systemtime(std::uint64_t filetime, _windows_systemtime& out);
void systemtime_from_tm(_windows_systemtime& out, struct tm t);
// The 16 bytes of a SYSTEMTIME held in two u64 (memory order) to Unix seconds; false when the FILETIME
// is 2^63 or more.
bool systemtime_to_unix_seconds(const std::uint64_t (&st)[2], std::uint64_t& out);

// Conversions between time kinds; each writes `out` and returns true unless stated.
bool net_ticks_to_filetime(std::uint64_t ticks, std::uint64_t& out);
bool safari_double_to_unix_seconds(double seconds, std::uint64_t& out);  // false: not finite/out of range
bool safari_to_unix_seconds(std::int64_t seconds, std::uint64_t& out);
bool safari_double_to_filetime(double seconds, std::uint64_t& out);  // false: not finite/out of range
bool safari_to_filetime(std::int64_t seconds, std::uint64_t& out);
bool safari_to_filetime_unsigned(std::uint64_t seconds, std::uint64_t& out);
bool unix_seconds_to_filetime(std::int64_t seconds, std::uint64_t& out);
bool vhd_to_filetime(std::uint64_t seconds, std::uint64_t& out);  // seconds taken mod 2^32
bool filetime_to_vhd(std::uint64_t filetime, std::uint32_t& out);
bool filetime_to_snowflake_ms(std::uint64_t filetime, std::uint32_t& out);
bool firefox_to_filetime(std::int64_t microseconds, std::uint64_t& out);
bool snowflake_to_filetime(std::uint64_t snowflake, std::uint64_t& out);
bool chrome_to_filetime(std::uint64_t microseconds, std::uint64_t& out);
bool chrome_to_unix_seconds(std::uint64_t microseconds, std::uint64_t& out);  // false: FILETIME >= 2^63
bool firefox_to_unix_seconds(std::int64_t microseconds, std::uint64_t& out);  // false: FILETIME >= 2^63
std::uint64_t filetime_to_chrome(std::uint64_t filetime);
bool filetime_to_unix_seconds(std::uint64_t filetime, std::uint64_t& out);  // false: 2^63 or more
bool filetime_to_u64(std::uint64_t filetime, std::uint64_t& out);
bool filetime_to_u64(const _windows_filetime& filetime, std::uint64_t& out);
// Kind 8: Unix seconds to halves; kind 1: the value's halves; other kinds leave `out` untouched (false).
bool make_windows_filetime(_windows_filetime& out, std::uint64_t value, std::uint32_t kind);
bool unix_seconds_to_windows_filetime(std::int64_t seconds, _windows_filetime& out);
// Chrome microseconds x 10 minus ten times the 1970 epoch; kept for callers that used it, meaning open.
std::uint64_t chrome_to_1970_scaled(std::uint64_t microseconds);

std::uint64_t filetime_to_ms(std::uint64_t ticks);
std::uint64_t ms_to_filetime(std::uint64_t ms);
std::uint64_t filetime_to_seconds(std::uint64_t ticks);
std::uint64_t seconds_to_filetime(std::uint64_t seconds);
std::uint64_t filetime_to_minutes(std::uint64_t ticks);
std::uint64_t minutes_to_filetime(std::uint64_t minutes);
std::uint64_t add_ms_to_filetime(std::uint64_t filetime, std::uint64_t ms);

// Absolute differences; false (out as stated) when either value is 2^63 or more.
bool filetime_difference(std::uint64_t a, std::uint64_t b, std::uint64_t& out);
bool filetime_difference_us(std::uint64_t a, std::uint64_t b, std::uint64_t& out);
bool filetime_difference_ms(std::uint64_t a, std::uint64_t b, std::uint64_t& out);
bool filetime_difference_seconds(std::uint64_t a, std::uint64_t b, std::uint64_t& out);
bool filetime_difference_seconds_pair(std::uint64_t a, std::uint64_t b, std::uint32_t (&out)[2]);

// epoch + whole seconds x 10^7 + the fraction's ticks (truncated toward zero). False for a value that is not
// finite or whose FILETIME would leave the signed 64-bit range: such a double has no time.
bool seconds_double_to_filetime(double seconds, std::uint64_t epoch, std::uint64_t& out);

// n when n is a power of two; 1 below 2; else the next power of two (0 when none fits in 64 bits).
std::uint64_t next_power_of_two(std::uint64_t n);
bool time_library_ready();
