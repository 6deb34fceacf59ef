#include "time/qm_time.h"

#include <cstring>

namespace qm {

time::time() {
    zero_all();
    clear();
}

void time::zero_all() {
    unix_seconds = 0;
    filetime = 0;
    windows_filetime = _windows_filetime();
    dos_date = 0;
    dos_time = 0;
    std::memset(&local, 0, sizeof local);
    utc = _windows_systemtime();
    microseconds = 0;
    nanoseconds = 0;
    picoseconds = 0;
    valid = false;
    local_failed = false;
    tags.clear();
}

void time::clear() {
    tags.clear();
    unix_seconds = 0;
    filetime = 0;
    windows_filetime = _windows_filetime();
    std::memset(&local, 0, sizeof local);
    valid = false;
    local_failed = false;
}

bool time::set_filetime(std::uint64_t ft) { return set_filetime_parts(ft, false, 0.0); }

bool time::set_filetime_parts(std::uint64_t ft, bool precise, double sub_ticks) {
    valid = false;
    if (ft == 0) return false;
    filetime = ft;
    if (ft >= kFiletimeSignBit) return false;

    const std::uint64_t d = ft - kFiletimeUnix;
    unix_seconds = d / kTicksPerSecond;
    // The first second of 1970 reads as "no time" in most sources, so it is never a valid value.
    if (d < kTicksPerSecond) return false;

    date_parts parts;
    const bool ok =
        precise ? filetime_to_date_parts_precise(ft, parts, sub_ticks) : filetime_to_date_parts(parts, ft);
    if (!ok) return false;
    utc = parts.utc;
    microseconds = parts.microseconds;
    nanoseconds = parts.nanoseconds;
    picoseconds = parts.picoseconds;

    windows_filetime.set_windows_filetime(ft);

    std::uint16_t dos[2] = {0, 0};
    if (systemtime_to_dos_date_time(utc, dos)) {
        dos_date = dos[0];
        dos_time = dos[1];
    }

    local_failed = false;
    struct tm lt;
    std::memset(&lt, 0, sizeof lt);
    if (unix_seconds_to_local_tm(unix_seconds, lt)) {
        local = lt;
    } else {
        local_failed = true;
    }
    if (local_failed && utc.year > 3000) return false;

    valid = utc.year >= 1900;
    return valid;
}

bool time::valid_filetime(std::uint64_t ft, date_parts* parts) {
    // The rule of set_filetime_parts, step by step.
    if (ft == 0 || ft >= kFiletimeSignBit) return false;
    const std::uint64_t since_1970 = ft - kFiletimeUnix;
    if (since_1970 < kTicksPerSecond) return false;
    date_parts own;
    date_parts& p = parts != nullptr ? *parts : own;
    if (!filetime_to_date_parts(p, ft)) return false;
    if (p.utc.year < 1900) return false;
    // After 3000 only a local time the bias brings back into 3000 keeps the value valid.
    if (p.utc.year > 3000) {
        struct tm local;
        if (!unix_seconds_to_local_tm(since_1970 / kTicksPerSecond, local)) return false;
    }
    return true;
}

unsigned int time::get_milliseconds(bool round) const {
    unsigned int ms = utc.milliseconds;
    if (round && microseconds >= static_cast<std::uint64_t>(ms) * 1000 &&
        microseconds - static_cast<std::uint64_t>(ms) * 1000 >= 500) {
        ++ms;
    }
    return ms;
}

std::uint64_t time::get_microseconds(bool round) const {
    std::uint64_t us = microseconds;
    if (round && nanoseconds >= us * 1000 && nanoseconds - us * 1000 >= 500) ++us;
    return us;
}

bool time::year_in_format_window(const date_time_format& f) const {
    return valid && f.min_year <= utc.year && utc.year <= f.max_year;
}

time& time::shift(std::uint64_t delta) {
    if (!valid) return *this;
    set_filetime(filetime + delta);
    return *this;
}

namespace {

std::uint64_t steps(std::int32_t n, std::int64_t step) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(n)) * static_cast<std::uint64_t>(step);
}

}  // namespace

time& time::add_months(std::int32_t n) { return shift(steps(n, 25920000000000ll)); }
time& time::add_weeks(std::int32_t n) { return shift(steps(n, 6048000000000ll)); }
time& time::add_days(std::int32_t n) { return shift(steps(n, 864000000000ll)); }
time& time::subtract_days(std::int32_t n) { return shift(steps(n, -864000000000ll)); }
time& time::add_hours(std::int32_t n) { return shift(steps(n, 36000000000ll)); }
time& time::add_minutes(std::int32_t n) { return shift(steps(n, 600000000ll)); }
time& time::add_seconds(std::int32_t n) { return shift(steps(n, 10000000ll)); }
time& time::add_milliseconds(std::int32_t n) { return shift(steps(n, 10000ll)); }
time& time::add_microseconds(std::int32_t n) { return shift(steps(n, 10ll)); }
time& time::add_time(const time& d) { return shift(d.filetime); }
time& time::subtract_time(const time& d) { return shift(0 - d.filetime); }

}  // namespace qm
