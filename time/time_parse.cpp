#include "time/time_parse.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

#include "common/case_conv.h"
#include "common/encoding.h"
#include "common/int_parsers.h"
#include "common/key_value.h"
#include "common/substrings.h"
#include "common/text_ops.h"

namespace {

constexpr std::size_t npos = std::string::npos;
constexpr std::size_t kMaxField = 31;  // longest hours, minutes or seconds text

// A field's number; false for text that gives a negative, non-finite or too large value, which a
// conversion to an unsigned integer could not hold.
bool text_to_u32(const std::string& text, std::uint32_t& out) {
    const double v = std::atof(text.c_str());
    if (!std::isfinite(v) || v < 0 || v >= 4294967296.0) return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

bool text_to_seconds(const std::string& text, double& out) {
    const double v = std::atof(text.c_str());
    if (!std::isfinite(v) || v < 0 || v >= 4294967296.0) return false;
    out = v;
    return true;
}

// The pieces of a time text: hours, minutes and seconds texts and the am/pm mark.
struct time_pieces {
    std::string hours;
    std::string minutes;
    std::string seconds;
    bool pm = false;
    bool am = false;
};

bool split_time_text(const char* text, time_pieces& p) {
    if (text == nullptr) return false;
    std::string s = text;
    const std::string ws = " \t\r\n";
    const std::size_t b = s.find_first_not_of(ws);
    if (b == npos) return false;
    s = s.substr(b, s.find_last_not_of(ws) - b + 1);
    string_to_lower(s);
    const std::size_t c1 = s.find(':');
    if (c1 == npos) return false;
    const std::size_t c2 = s.find(':', c1 + 1);
    const std::size_t m = s.find('m', c1 + 1);
    std::size_t a = npos;  // position of the 'a' or 'p' of the mark
    if (m != npos) {
        a = m - 1;
        p.pm = s[a] == 'p';
        p.am = s[a] == 'a';
    }
    p.hours = s.substr(0, c1);
    std::size_t minutes_end;
    if (c2 != npos) {
        minutes_end = c2;
    } else if (m == npos) {
        minutes_end = s.size();
    } else {
        minutes_end = (a > 0 && s[a - 1] == ' ') ? a - 1 : a;
    }
    p.minutes = minutes_end > c1 + 1 ? s.substr(c1 + 1, minutes_end - c1 - 1) : std::string();
    if (c2 != npos) {
        std::size_t seconds_end = s.size();
        if (m != npos) seconds_end = (a > 0 && s[a - 1] == ' ') ? a - 1 : a;
        if (seconds_end > c2 + 1) p.seconds = s.substr(c2 + 1, seconds_end - c2 - 1);
    }
    return true;
}

// 12 am is the hour after midnight's 0, 12 pm noon; other pm hours gain 12.
std::uint32_t apply_mark(std::uint32_t hours, const time_pieces& p) {
    if (p.pm && hours != 12) return hours + 12;
    if (p.am && hours == 12) return 0;
    return hours;
}

const std::map<std::string, int>& month_map() {
    static const std::map<std::string, int> months = [] {
        std::map<std::string, int> m;
        init_month_name_map(m);
        return m;
    }();
    return months;
}

bool month_name_value(std::string field, std::uint32_t& out) {
    string_to_lower(field);
    const auto it = month_map().find(field);
    if (it == month_map().end()) return false;
    out = static_cast<std::uint32_t>(it->second);
    return true;
}

bool assign_field(char letter, const std::string& field, std::uint32_t* day, std::uint32_t* month,
                  std::uint32_t* year) {
    std::uint32_t v = 0;
    if (letter != 'D' && letter != 'M' && letter != 'Y') return false;
    if (!cstr_to_uint(field.c_str(), &v)) return false;
    if (letter == 'D') *day = v;
    if (letter == 'M') *month = v;
    if (letter == 'Y') *year = v;
    return true;
}

bool fill_systemtime(_windows_systemtime* out, std::uint32_t y, std::uint32_t mo, std::uint32_t d,
                     std::uint32_t h, std::uint32_t mi, double sec) {
    *out = _windows_systemtime();
    out->year = static_cast<std::uint16_t>(y);
    out->month = static_cast<std::uint16_t>(mo);
    out->day = static_cast<std::uint16_t>(d);
    out->hour = static_cast<std::uint16_t>(h);
    out->minute = static_cast<std::uint16_t>(mi);
    const double whole = std::floor(sec);
    out->second = static_cast<std::uint16_t>(static_cast<std::uint32_t>(whole));
    out->milliseconds = static_cast<std::uint16_t>((sec - whole) * 1000.0 + 0.5);
    return true;
}

// Date before the first 'T', time after it without a trailing 'Z'. False without a 'T'.
bool split_iso(const std::string& text, std::string& date, std::string& time) {
    const std::size_t t = text.find('T');
    if (t == npos) return false;
    date = text.substr(0, t);
    time = text.substr(t + 1);
    const std::size_t z = time.find('Z');
    if (z != npos && z + 1 == time.size()) time.erase(z);
    return true;
}

// "date time" at the first blank; without a blank the whole text is the date and the time midnight.
void split_at_blank(const std::string& text, std::string& date, std::string& time) {
    const std::size_t blank = text.find(' ');
    if (blank == npos) {
        date = text;
        time = "00:00:00";
    } else {
        date = text.substr(0, blank);
        time = text.substr(blank + 1);
    }
}

// A UTC calendar date and time of day as a FILETIME.
std::uint64_t civil_to_filetime(std::uint32_t y, std::uint32_t m, std::uint32_t d, std::uint32_t h,
                                std::uint32_t mi, int sec) {
    struct tm t;
    std::memset(&t, 0, sizeof t);
    t.tm_year = static_cast<int>(y) - 1900;
    t.tm_mon = static_cast<int>(m) - 1;
    t.tm_mday = static_cast<int>(d);
    t.tm_hour = static_cast<int>(h);
    t.tm_min = static_cast<int>(mi);
    t.tm_sec = sec;
    return date_parts_to_filetime(t, 0);
}

}  // namespace

bool parse_ordered_date(const char* text, std::string order, char sep, std::uint32_t* day,
                        std::uint32_t* month, std::uint32_t* year) {
    if (day == nullptr || month == nullptr || year == nullptr) return false;
    *day = *month = *year = 0;
    if (order.size() < 3 || text == nullptr) return false;
    std::istringstream fields{std::string(text)};
    std::string field;
    if (!std::getline(fields, field, sep)) return false;

    std::string lowered_order = order;
    string_to_lower(lowered_order);
    const bool month_name = lowered_order.find("mon") != npos;
    string_to_upper(order);
    const std::size_t mon = order.find("MON");
    if (mon != npos) order.replace(mon, 3, "M");
    if (order.size() < 3) return false;

    // The caller's outputs stay zero until the whole date has been read.
    std::uint32_t d = 0;
    std::uint32_t m = 0;
    std::uint32_t y = 0;
    // A month written as a name is the field that the order marks 'M'.
    auto take = [&](std::size_t index, const std::string& f) {
        if (month_name && order[index] == 'M') return month_name_value(f, m);
        return assign_field(order[index], f, &d, &m, &y);
    };
    if (!take(0, field)) return false;
    // The second field is the next non-empty one within three more reads.
    for (int reads = 0; reads < 3; ++reads) {
        if (!std::getline(fields, field, sep)) return false;
        if (!field.empty()) break;
    }
    if (!take(1, field)) return false;
    do {
        if (!std::getline(fields, field, sep)) return false;
    } while (field.empty());
    if (!take(2, field)) return false;
    if (y < 100) y += y >= 31 ? 1900 : 2000;
    if (m >= 13 || d >= 32) return false;
    *day = d;
    *month = m;
    *year = y;
    return true;
}

bool parse_time_text(const char* text, std::uint32_t* hours, std::uint32_t* minutes, double* seconds) {
    if (hours == nullptr || minutes == nullptr || seconds == nullptr) return false;
    *hours = *minutes = 0;
    *seconds = 0;
    time_pieces p;
    if (!split_time_text(text, p)) return false;
    if (p.hours.size() > kMaxField) return false;
    if (p.minutes.empty() || p.minutes.size() > kMaxField || p.seconds.size() > kMaxField) return false;
    std::uint32_t h = 0;
    std::uint32_t m = 0;
    double s = 0;
    if (!text_to_u32(p.hours, h) || !text_to_u32(p.minutes, m) || !text_to_seconds(p.seconds, s))
        return false;
    *hours = apply_mark(h, p);
    *minutes = m;
    *seconds = s;
    return true;
}

bool parse_time_text_whole_seconds(const char* text, std::uint32_t* hours, std::uint32_t* minutes,
                                   std::uint32_t* seconds) {
    if (seconds == nullptr) return false;
    *seconds = 0;
    double s = 0;
    if (!parse_time_text(text, hours, minutes, &s)) return false;
    *seconds = static_cast<std::uint32_t>(s);
    return true;
}

bool parse_time_text_ms(const char* text, std::int32_t* milliseconds_since_midnight) {
    if (milliseconds_since_midnight == nullptr) return false;
    *milliseconds_since_midnight = 0;
    time_pieces p;
    if (!split_time_text(text, p)) return false;
    if (p.hours.empty() || p.hours.size() > kMaxField) return false;
    if (p.minutes.empty() || p.minutes.size() > kMaxField || p.seconds.size() > kMaxField) return false;
    std::uint32_t h = 0;
    std::uint32_t m = 0;
    double s = 0;
    if (!text_to_u32(p.hours, h) || !text_to_u32(p.minutes, m) || !text_to_seconds(p.seconds, s))
        return false;
    h = apply_mark(h, p);
    // Each product truncated to 32 bits, as the sum has always been formed.
    const std::uint32_t total = static_cast<std::uint32_t>(static_cast<std::uint64_t>(h) * 3600000u) +
                                static_cast<std::uint32_t>(static_cast<std::uint64_t>(m) * 60000u) +
                                static_cast<std::uint32_t>(std::fmod(s * 1000.0, 4294967296.0));
    *milliseconds_since_midnight = static_cast<std::int32_t>(total);
    return true;
}

bool parse_date_text(const char* text, std::int32_t* day, std::int32_t* month, std::uint32_t* year) {
    if (day == nullptr || month == nullptr || year == nullptr) return false;
    *day = *month = 0;
    *year = 0;
    if (text == nullptr) return false;
    std::string s(text, strnlen(text, 512));
    std::size_t s1 = s.find('-');
    char sep = '-';
    if (s1 == npos) {
        s1 = s.find('/');
        sep = '/';
    }
    if (s1 == npos) return false;
    const std::size_t s2 = s.find(sep, s1 + 1);
    if (s2 == npos) return false;
    if (s1 > 2 || s2 - s1 > 4 || s2 + 1 >= s.size()) return false;
    const std::string f1 = s.substr(0, s1);
    const std::string f2 = s.substr(s1 + 1, s2 - s1 - 1);
    auto field_value = [](const std::string& f, bool& is_name) {
        is_name = !f.empty() && !(f[0] >= '0' && f[0] <= '9');
        return is_name ? month_abbrev_to_number(f.c_str()) : std::atoi(f.c_str());
    };
    bool name1 = false;
    bool name2 = false;
    const int v1 = field_value(f1, name1);
    const int v2 = field_value(f2, name2);
    std::string yf = s.substr(s2 + 1);
    const std::size_t blank = yf.find(' ');
    if (blank != npos) yf.erase(blank);
    const bool two_digits = yf.size() == 2;
    if (yf.size() > 4) yf.erase(4);
    if (yf.empty() || !(yf[0] >= '0' && yf[0] <= '9')) return false;
    std::uint32_t y = static_cast<std::uint32_t>(std::atoi(yf.c_str()));
    if (two_digits) y += y < 31 ? 2000 : 1900;
    const int d = name2 ? v1 : v2;
    const int m = name2 ? v2 : v1;
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    *day = d;
    *month = m;
    *year = y;
    return true;
}

bool parse_date_time_text(const char* date, const char* time, std::string order, char sep,
                          _windows_systemtime* out) {
    if (out == nullptr) return false;
    *out = _windows_systemtime();
    if (date == nullptr || *date == 0) return false;
    std::uint32_t d = 0, m = 0, y = 0;
    if (!parse_ordered_date(date, order, sep, &d, &m, &y)) return false;
    std::uint32_t h = 0, mi = 0;
    double s = 0;
    if (time != nullptr && *time != 0 && !parse_time_text(time, &h, &mi, &s)) return false;
    return fill_systemtime(out, y, m, d, h, mi, s);
}

bool parse_iso_date_time_text(const char* text, std::string order, char sep, _windows_systemtime* out) {
    if (out == nullptr) return false;
    *out = _windows_systemtime();
    if (text == nullptr) return false;
    std::string date;
    std::string time;
    if (!split_iso(text, date, time)) return false;
    return parse_date_time_text(date.c_str(), time.c_str(), order, sep, out);
}

bool parse_numeric_date_time_text(const char* date, const char* time, _windows_systemtime* out) {
    if (out == nullptr) return false;
    *out = _windows_systemtime();
    if (date == nullptr || *date == 0) return false;
    std::int32_t d = 0, m = 0;
    std::uint32_t y = 0;
    if (!parse_date_text(date, &d, &m, &y)) return false;
    std::uint32_t h = 0, mi = 0;
    double s = 0;
    if (time != nullptr && *time != 0 && !parse_time_text(time, &h, &mi, &s)) return false;
    return fill_systemtime(out, y, static_cast<std::uint32_t>(m), static_cast<std::uint32_t>(d), h, mi, s);
}

bool parse_date_time_text_w(const wchar_t* date, const wchar_t* time, _windows_systemtime* out) {
    const std::string d = date != nullptr ? wstring_to_utf8(date) : std::string();
    const std::string t = time != nullptr ? wstring_to_utf8(time) : std::string();
    return parse_numeric_date_time_text(d.empty() ? nullptr : d.c_str(), t.empty() ? nullptr : t.c_str(),
                                        out);
}

bool parse_date_time_to_tm(const char* date, const char* time, struct tm* out) {
    if (out == nullptr || (date == nullptr && time == nullptr)) return false;
    std::int32_t d = 0, m = 0;
    std::uint32_t y = 0;
    std::int32_t ms = 0;
    if (date != nullptr && !parse_date_text(date, &d, &m, &y)) return false;
    if (time != nullptr && !parse_time_text_ms(time, &ms)) return false;
    std::memset(out, 0, sizeof *out);
    out->tm_year = static_cast<int>(y) - 1900;
    out->tm_mon = m - 1;
    out->tm_mday = d;
    out->tm_hour = ms / 3600000;
    out->tm_min = ms / 60000 - 60 * out->tm_hour;
    out->tm_sec = ms / 1000 - 60 * out->tm_min - 3600 * out->tm_hour;
    return true;
}

std::int32_t local_bias_of_date_time_text(bool* is_dst, const char* text) {
    if (text == nullptr) return 0;
    if (is_dst != nullptr) *is_dst = false;
    std::string date;
    std::string time;
    split_at_blank(text, date, time);
    struct tm t;
    if (!parse_date_time_to_tm(date.c_str(), time.c_str(), &t)) return 0;
    bool dst = false;
    const int bias = utc_minus_local_seconds(dst, t);
    if (is_dst != nullptr) *is_dst = dst;
    return bias;
}

std::uint64_t iso_date_time_to_filetime(const std::string& text) {
    std::string date;
    std::string time;
    if (!split_iso(text, date, time)) {
        date = text;
        time.clear();
    }
    // Without a date there is no day to count from: a bare time is not a FILETIME.
    if (date.empty()) return 0;
    std::uint32_t d = 0, m = 0, y = 0;
    if (!parse_ordered_date(date.c_str(), "YMD", '-', &d, &m, &y)) return 0;
    std::uint32_t h = 0, mi = 0;
    double s = 0;
    if (!time.empty() && !parse_time_text(time.c_str(), &h, &mi, &s)) return 0;
    const double whole = std::floor(s);
    const std::uint64_t ft = civil_to_filetime(y, m, d, h, mi, static_cast<int>(whole));
    const std::uint64_t ns = static_cast<std::uint64_t>((s - whole) * 1e9 + 0.5);
    return ft + ns / 100;
}

std::uint64_t rfc_date_to_filetime(const std::string& text) {
    if (text.size() < 20) return 0;
    std::string s = text;
    const std::size_t comma = s.find(',');
    if (comma != npos) s = s.substr(comma + 1);
    const std::size_t zone = s.rfind(' ');
    if (zone != npos) s.erase(zone);
    trim_whitespace(s);
    const std::size_t blank = s.rfind(' ');
    if (blank == npos) return 0;
    std::string date = s.substr(0, blank);
    const std::string time = s.substr(blank + 1);
    for (char& c : date) {
        if (c == ' ') c = '-';
    }
    std::uint32_t d = 0, m = 0, y = 0;
    std::uint32_t h = 0, mi = 0, sec = 0;
    if (!parse_ordered_date(date.c_str(), "DMonY", '-', &d, &m, &y)) return 0;
    if (!parse_time_text_whole_seconds(time.c_str(), &h, &mi, &sec)) return 0;
    return civil_to_filetime(y, m, d, h, mi, static_cast<int>(sec));
}

std::uint64_t hex_text_to_u64(const std::string& text) {
    std::string high;
    std::string low = text;
    if (text.size() >= 9) {
        high = text.substr(0, text.size() - 8);
        low = text.substr(text.size() - 8);
    }
    const std::uint64_t h = high.empty() ? 0 : std::strtoul(high.c_str(), nullptr, 16);
    const std::uint64_t l = std::strtoul(low.c_str(), nullptr, 16) & 0xFFFFFFFFull;
    return (h << 32) + l;
}

namespace qm {

time::time(const char* text, bool as_utc) {
    zero_all();
    clear();
    if (text == nullptr) return;
    std::string date;
    std::string time_text;
    split_at_blank(text, date, time_text);
    struct tm t;
    if (!parse_date_time_to_tm(date.c_str(), time_text.c_str(), &t)) return;
    local = t;
    set_from_tm(t, 0, as_utc);
}

time::time(const char* text, std::string order, char sep, bool flag) {
    (void)flag;  // kept for callers; the fields are always read as UTC
    zero_all();
    clear();
    if (text == nullptr) return;
    const std::string s = text;
    std::string date;
    std::string time_text = "00:00:00";
    if (sep != ' ') {
        std::size_t at = s.find(' ');
        if (at == npos) at = s.find('T');
        if (at == npos) {
            date = s;
        } else {
            date = s.substr(0, at);
            time_text = s.substr(at + 1);
        }
    } else {
        const std::size_t last = s.rfind(' ');
        if (last == npos) {
            date = s;
        } else {
            std::string tail = s.substr(last + 1);
            trim_whitespace(tail);
            if (!tail.empty() && tail[0] >= '0' && tail[0] <= '9') {
                date = s.substr(0, last);
                time_text = s.substr(last + 1);
            } else {
                // A last word such as "PM" or a zone: the time is the word before it.
                if (last == 0) return;
                const std::size_t before = s.rfind(' ', last - 1);
                if (before == npos) return;
                date = s.substr(0, before);
                time_text = s.substr(before + 1, last - before - 1);
            }
        }
    }
    std::string lowered_order = order;
    string_to_lower(lowered_order);
    if (lowered_order.find("mon") != npos) {
        std::uint32_t d = 0, m = 0, y = 0;
        if (!parse_ordered_date(date.c_str(), order, sep, &d, &m, &y)) return;
        date = std::to_string(y) + "/" + std::to_string(m) + "/" + std::to_string(d);
        order = "YMD";
        sep = '/';
    }
    _windows_systemtime st;
    if (!parse_date_time_text(date.c_str(), time_text.c_str(), order, sep, &st)) return;
    clear();
    struct tm t;
    std::memset(&t, 0, sizeof t);
    t.tm_sec = st.second;
    t.tm_min = st.minute;
    t.tm_hour = st.hour;
    t.tm_mday = st.day;
    t.tm_mon = static_cast<int>(st.month) - 1;
    t.tm_year = static_cast<int>(st.year) - 1900;
    local = t;
    set_from_tm(t, st.milliseconds, true);
}

time::time(std::string text, type_time kind) {
    zero_all();
    clear();
    std::uint64_t ft = 0;
    switch (kind) {
        case type_filetime:
            ft = hex_text_to_u64(text);
            break;
        case type_chrome:
            ft = hex_text_to_u64(text) * 10;
            break;
        case type_firefox:
            ft = kFiletimeUnix + hex_text_to_u64(text) * 10;
            break;
        case type_unix: {
            const long v = std::atol(text.c_str());
            if (v <= 0) return;
            unix_seconds = static_cast<std::uint64_t>(v);
            ft = kFiletimeUnix + static_cast<std::uint64_t>(v) * kTicksPerSecond;
            break;
        }
        case type_vhd:
            ft = (hex_text_to_u64(text) & 0xFFFFFFFFull) * kTicksPerSecond + kFiletimeVhd;
            break;
        default:
            return;
    }
    set_filetime(ft);
}

}  // namespace qm
