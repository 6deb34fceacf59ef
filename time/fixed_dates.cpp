#include "time/fixed_dates.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iomanip>

#include "time/clock_tz.h"
#include "time/time_text.h"

namespace {

// Index 0 is empty so that a month number indexes the table directly.
const char* const kMonthNames[13] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

const char* month_name(unsigned month) { return month <= 12 ? kMonthNames[month] : ""; }
const char* day_name(unsigned day) { return day <= 6 ? kDayNames[day] : ""; }

}  // namespace

_windows_systemtime::_windows_systemtime(long long value, qm::type_time kind) {
    if (kind == qm::type_unix) {
        struct tm t;
        if (!unix_seconds_to_tm(value, t, 0.0f)) return;
        year = static_cast<std::uint16_t>(1900 + t.tm_year);
        month = static_cast<std::uint16_t>(t.tm_mon + 1);
        day_of_week = static_cast<std::uint16_t>(t.tm_wday);
        day = static_cast<std::uint16_t>(t.tm_mday);
        hour = static_cast<std::uint16_t>(t.tm_hour);
        minute = static_cast<std::uint16_t>(t.tm_min);
        second = static_cast<std::uint16_t>(t.tm_sec);
    } else if (kind == qm::type_filetime && value >= 0) {
        set_from_filetime(static_cast<unsigned long long>(value));
    }
}

bool gmt_date_text(std::string& out, const qm::time& t) {
    out.clear();
    if (!t.valid) return false;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %u %s %u %02u:%02u:%02u GMT", day_name(t.utc.day_of_week),
                  static_cast<unsigned>(t.utc.day), month_name(t.utc.month),
                  static_cast<unsigned>(t.utc.year), static_cast<unsigned>(t.utc.hour),
                  static_cast<unsigned>(t.utc.minute), static_cast<unsigned>(t.utc.second));
    out = buf;
    return true;
}

bool gmt_date_now(std::string& out) {
    gmt_date_text(out, get_current_time());
    return true;
}

bool systemtime_to_text(std::string& out, const _windows_systemtime& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d : %02d:%02d:%02d.%03d", t.month, t.day, t.year, t.hour,
                  t.minute, t.second, t.milliseconds);
    out = buf;
    return true;
}

bool mail_date_text(std::string& out, std::uint64_t unix_seconds, int bias_minutes) {
    if (unix_seconds == 0) unix_seconds = static_cast<std::uint64_t>(std::time(nullptr));
    struct tm t;
    if (!unix_seconds_to_tm(static_cast<std::int64_t>(unix_seconds), t, 0.0f)) return false;
    // UTC minus local: a positive bias is west of Greenwich. Hours and minutes both come from the
    // magnitude so that a bias such as -330 reads +0530, not +05-30.
    const char sign = bias_minutes > 0 ? '-' : '+';
    const long magnitude = std::labs(static_cast<long>(bias_minutes));
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %d %02d:%02d:%02d %c%02ld%02ld",
                  day_name(static_cast<unsigned>(t.tm_wday)), t.tm_mday,
                  month_name(static_cast<unsigned>(t.tm_mon + 1)), 1900 + t.tm_year, t.tm_hour, t.tm_min,
                  t.tm_sec, sign, magnitude / 60, magnitude % 60);
    out = buf;
    return true;
}

bool iso8601_utc_text(std::int64_t unix_seconds, std::string& out, float bias_hours) {
    // The same calendar walk as every other Unix breakdown: from 1970 forwards, bounded at the year 3000
    // so that a huge value cannot keep the walk going for billions of years.
    struct tm t;
    if (!unix_seconds_to_tm(unix_seconds, t, bias_hours)) return false;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", 1900 + t.tm_year, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    out = buf;
    return true;
}

std::ostream& write_ntp_time(std::ostream& os, const ntp_stamp& v) {
    const std::uint32_t seconds = ntp_seconds(v);
    const std::uint32_t fraction = ntp_fraction(v);
    os << std::hex << std::right << std::setfill('0') << std::setw(8) << seconds << "." << std::setw(8)
       << fraction;
    const unsigned long long filetime =
        static_cast<unsigned long long>(seconds) * kTicksPerSecond + kFiletimeNtp;
    const double sub_ticks = static_cast<double>(fraction) * 1e7 / 4294967296.0;
    const qm::time t(filetime, sub_ticks);
    std::string date, time;
    format_date_time(date, time, t, true, false, false, true);
    if (!date.empty()) os << " : [" << date << " " << time << " UTC]";
    return os;
}

std::ostream& operator<<(std::ostream& os, const ntp_stamp& v) { return write_ntp_time(os, v); }

std::string& filetime_to_text_by_pattern(std::string& out, std::uint64_t filetime,
                                         const std::string& date_pattern, const std::string& time_pattern) {
    out.clear();
    const qm::time t(static_cast<unsigned long long>(filetime), qm::type_filetime);
    if (!t.valid) return out;
    std::string date, time;
    format_date_time_by_pattern(date, time, t, date_pattern, time_pattern);
    out = date + " " + time;
    return out;
}
