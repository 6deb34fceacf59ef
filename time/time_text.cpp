#include "time/time_text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <locale>
#include <sstream>

#include "common/encoding.h"
#include "common/hex_text.h"
#include "common/int_parsers.h"

const char kDefaultDatePattern[] = "yyyy-mm-dd";
const char kDefaultTimePattern[] = "hh:mm:ss.xxx";

namespace {

void prepare(std::ostringstream& os) {
    os.str(std::string());
    os.clear();
    os << std::right << std::setfill('0') << std::dec;
}

// The parts of a time the word formatters print: the UTC fields and the sub-second parts.
struct clock_parts {
    unsigned year = 0;
    unsigned month = 0;
    unsigned day = 0;
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
    std::uint64_t milliseconds = 0;
    std::uint64_t microseconds = 0;
    std::uint64_t nanoseconds = 0;
};

clock_parts parts_of(const qm::time& t) {
    clock_parts p;
    p.year = t.utc.year;
    p.month = t.utc.month;
    p.day = t.utc.day;
    p.hour = t.utc.hour;
    p.minute = t.utc.minute;
    p.second = t.utc.second;
    p.milliseconds = t.utc.milliseconds;
    p.microseconds = t.microseconds;
    p.nanoseconds = t.nanoseconds;
    return p;
}

// A date or time text built in place and then appended whole: a cell's texts cost no string growth.
class field_text {
  public:
    void put(char c) { buf_[n_++] = c; }
    void put(const std::string& s) {
        const std::size_t k = std::min(s.size(), sizeof buf_ - n_);
        std::memcpy(buf_ + n_, s.data(), k);
        n_ += k;
    }
    // `value` in decimal with at least `width` digits (leading zeros), as setw with fill '0' gives it.
    void number(std::uint64_t value, unsigned width) {
        if (width == 2 && value < 100) {
            buf_[n_++] = static_cast<char>('0' + value / 10);
            buf_[n_++] = static_cast<char>('0' + value % 10);
            return;
        }
        char digits[24];
        const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, value);
        const std::size_t k = static_cast<std::size_t>(r.ptr - digits);
        for (std::size_t i = k; i < width; ++i) buf_[n_++] = '0';
        std::memcpy(buf_ + n_, digits, k);
        n_ += k;
    }
    void append_to(std::string& out) const { out.append(buf_, n_); }

  private:
    char buf_[80];  // a date or a time with at most nine fraction digits
    std::size_t n_ = 0;
};

// "." and the fraction with n digits, truncated: n = 3, 6, 9 are milli-, micro- and nanoseconds; 1, 2, 4, 5
// are microseconds cut down, 7 and 8 nanoseconds cut down; anything else writes nothing.
void put_fraction(field_text& out, const clock_parts& t, unsigned n) {
    static const std::uint64_t kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    if (n == 0 || n >= 10) return;
    std::uint64_t value = 0;
    if (n == 3) {
        value = t.milliseconds;
    } else if (n == 6) {
        value = t.microseconds;
    } else if (n == 9) {
        value = t.nanoseconds;
    } else if (n < 6) {
        value = t.microseconds / kPow10[6 - n];
    } else {
        value = t.nanoseconds / kPow10[9 - n];
    }
    out.put('.');
    out.number(value, n);
}

void write_fraction(std::ostringstream& os, const qm::time& t, unsigned n) {
    field_text text;
    put_fraction(text, parts_of(t), n);
    std::string s;
    text.append_to(s);
    os << s;
}

// Date part of the word (algorithm for the report writers), appended. Nothing when no order bit is set.
void append_date_by_word(std::string& out, const clock_parts& t, std::uint32_t flags) {
    const char sep = static_cast<char>(flags & dtf_separator_mask);
    field_text text;
    auto day = [&] { text.number(t.day, 2); };
    auto month = [&] {
        if (flags & dtf_month_number)
            text.number(t.month, 2);
        else
            text.put(month_abbreviation(static_cast<int>(t.month)));
    };
    auto year = [&] {
        text.number((flags & dtf_year4) ? t.year : t.year % 100, (flags & dtf_year4) ? 4 : 2);
    };
    auto separator = [&] {
        if (sep != 0) text.put(sep);
    };
    if (flags & dtf_order_mdy) {
        month();
        separator();
        day();
        separator();
        year();
    } else if (flags & dtf_order_dmy) {
        day();
        separator();
        month();
        separator();
        year();
    } else if (flags & dtf_order_ymd) {
        year();
        separator();
        month();
        separator();
        day();
    }
    text.append_to(out);
}

void append_time_by_word(std::string& out, const clock_parts& t, unsigned fraction_digits) {
    field_text text;
    text.number(t.hour, 2);
    text.put(':');
    text.number(t.minute, 2);
    text.put(':');
    text.number(t.second, 2);
    put_fraction(text, t, fraction_digits);
    text.append_to(out);
}

std::string date_by_word(const qm::time& t, std::uint32_t flags) {
    std::string out;
    append_date_by_word(out, parts_of(t), flags);
    return out;
}

std::string time_by_word(const qm::time& t, unsigned fraction_digits) {
    std::string out;
    append_time_by_word(out, parts_of(t), fraction_digits);
    return out;
}

// The parts of qm::time(filetime, type_filetime) when that value is valid, worked out without building it.
bool filetime_clock_parts(std::uint64_t filetime, clock_parts& out) {
    date_parts parts;
    if (!qm::time::valid_filetime(filetime, &parts)) return false;
    const _windows_systemtime& u = parts.utc;
    out.year = u.year;
    out.month = u.month;
    out.day = u.day;
    out.hour = u.hour;
    out.minute = u.minute;
    out.second = u.second;
    out.milliseconds = u.milliseconds;
    out.microseconds = parts.microseconds;
    out.nanoseconds = parts.nanoseconds;
    return true;
}

bool default_locale_selector(std::string& name);
time_locale_selector g_locale_selector = default_locale_selector;

bool locale_name_usable(const std::string& name) { return is_locale_name_valid(name.c_str()) != 0; }

bool default_locale_selector(std::string& name) {
    name.clear();
    if (locale_name_usable(name)) return true;
    for (const char* var : {"LC_TIME", "LANG"}) {
        const char* value = std::getenv(var);
        if (value != nullptr && locale_name_usable(value)) {
            name = value;
            return true;
        }
    }
    name.clear();
    return false;
}

// The locale's date form ('x') of the UTC parts; false when no usable locale was chosen.
bool locale_date(std::string& date, const qm::time& t) {
    std::string name;
    if (g_locale_selector == nullptr || !g_locale_selector(name)) return false;
    try {
        std::locale loc(name.c_str());
        struct tm tmv;
        std::memset(&tmv, 0, sizeof tmv);
        tmv.tm_year = static_cast<int>(t.utc.year) - 1900;
        tmv.tm_mon = static_cast<int>(t.utc.month) - 1;
        tmv.tm_mday = t.utc.day;
        tmv.tm_hour = t.utc.hour;
        tmv.tm_min = t.utc.minute;
        tmv.tm_sec = t.utc.second;
        std::ostringstream os;
        os.imbue(loc);
        const auto& facet = std::use_facet<std::time_put<char>>(loc);
        facet.put(std::ostreambuf_iterator<char>(os), os, ' ', &tmv, 'x');
        date = os.str();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

void set_time_locale_selector(time_locale_selector selector) {
    g_locale_selector = selector != nullptr ? selector : default_locale_selector;
}

int format_date_time_by_format(std::string& date, std::string& time, const qm::time& t,
                               const date_time_format& f) {
    date.clear();
    time.clear();
    if (!t.valid) return 0;
    if (f.flags == 0) {
        format_date_time_or_default(date, time, t, kDefaultDatePattern, kDefaultTimePattern);
        return 0;
    }
    date = date_by_word(t, f.flags);
    time = time_by_word(t, f.fraction_digits());
    return 1;
}

int format_date_time_by_format(std::string& date, std::string& time, const qm::time& t,
                               const date_time_format* f) {
    const date_time_format zero;
    return format_date_time_by_format(date, time, t, f != nullptr ? *f : zero);
}

bool format_filetime_by_format(std::string& date, std::string& time, std::uint64_t filetime,
                               const date_time_format& f) {
    date.clear();
    time.clear();
    if (f.flags == 0) {
        const qm::time t(static_cast<unsigned long long>(filetime), qm::type_filetime);
        if (!t.valid) return false;
        return format_date_time_by_format(date, time, t, f) != 0;
    }
    // Report rows print several times each: no whole time value is built for them.
    clock_parts parts;
    if (!filetime_clock_parts(filetime, parts)) return false;
    append_date_by_word(date, parts, f.flags);
    append_time_by_word(time, parts, f.fraction_digits());
    return true;
}

int write_time_by_format(std::ostream& os, const qm::time& t, date_time_format& f) {
    if (!t.valid) return 0;
    if (f.flags == 0) parse_date_time_format(f, kDefaultDatePattern, kDefaultTimePattern, true);
    os << date_by_word(t, f.flags) << ' ' << time_by_word(t, f.fraction_digits());
    return 1;
}

std::string& filetime_to_text_by_format(std::string& out, std::uint64_t filetime, date_time_format& f) {
    out.clear();
    const qm::time t(static_cast<unsigned long long>(filetime), qm::type_filetime);
    if (!t.valid) return out;
    std::ostringstream os;
    write_time_by_format(os, t, f);
    out = os.str();
    return out;
}

int format_date_time_by_pattern(std::string& date, std::string& time, const qm::time& t,
                                const std::string& date_pattern, const std::string& time_pattern) {
    date.clear();
    time.clear();
    if (!t.valid) return 0;
    const std::size_t npos = std::string::npos;

    if (!date_pattern.empty()) {
        const std::string& p = date_pattern;
        std::string sep = "/";
        bool blank_sep = false;
        if (p.find('/') != npos) {
            sep = "/";
        } else if (p.find('-') != npos) {
            sep = "-";
        } else if (p.find(' ') != npos) {
            sep = " ";
            blank_sep = true;
        }
        const std::size_t p_yy = p.find("yy"), p_mm = p.find("mm"), p_dd = p.find("dd"),
                          p_mmm = p.find("mmm");
        const bool month_name = p_mmm != npos;

        std::ostringstream field_text;
        prepare(field_text);
        std::string month;
        if (month_name) {
            month = month_abbreviation(t.utc.month);
        } else {
            field_text << std::setw(2) << t.utc.month;
            month = field_text.str();
        }
        prepare(field_text);
        field_text << std::setw(2) << t.utc.day;
        std::string day = field_text.str();
        prepare(field_text);
        field_text << std::setw(4) << t.utc.year;
        std::string year = field_text.str();
        if (p_yy != npos && p.find("yyyy") == npos) year = year.substr(2);

        if (blank_sep && p_dd != npos) {
            const std::size_t month_pos = month_name ? p_mmm : p_mm;
            if (month_pos != npos && p_dd > month_pos && p.find(',', p_dd) != npos) day += ',';
        }

        if (p_yy != npos && p_mm != npos && p_dd != npos) {
            const std::string body = p_mm < p_dd ? month + sep + day : day + sep + month;
            date = p_yy == 0 ? year + sep + body : body + sep + year;
        } else {
            date = month + "/" + day + "/" + year;
        }
    }

    if (time_pattern.empty()) return 1;
    const std::string& p = time_pattern;
    std::ostringstream os;
    prepare(os);
    if (p.find("hh:mm") != npos) os << std::setw(2) << t.utc.hour << ':' << std::setw(2) << t.utc.minute;
    if (p.find("ss") != npos) os << ':' << std::setw(2) << t.utc.second;
    const std::size_t first = p.find("xxx");
    if (first != npos) {
        const std::size_t n = p.rfind('x') - first + 1;
        if (n < 10) write_fraction(os, t, static_cast<unsigned>(n));
    }
    time = os.str();
    return 1;
}

int format_date_time_or_default(std::string& date, std::string& time, const qm::time& t,
                                const char* date_pattern, const char* time_pattern) {
    if (date_pattern != nullptr && time_pattern != nullptr) {
        return format_date_time_by_pattern(date, time, t, date_pattern, time_pattern);
    }
    format_date_time(date, time, t, true, false, false, false);
    return 1;
}

void format_date_time(std::string& date, std::string& time, const qm::time& t, bool with_fraction,
                      bool two_digit_year, bool use_locale, bool nanoseconds) {
    date.clear();
    time.clear();
    if (!t.valid) return;
    char buf[30];
    const qm::time& v = t;
    if (!(use_locale && locale_date(date, v))) {
        if (two_digit_year) {
            const int year = v.utc.year < 2000 ? v.utc.year - 1900 : v.utc.year - 2000;
            std::snprintf(buf, sizeof buf, "%02d-%02d-%02d", year, v.utc.month, v.utc.day);
        } else {
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", v.utc.year, v.utc.month, v.utc.day);
        }
        date = buf;
    }
    if (!with_fraction) {
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", v.utc.hour, v.utc.minute, v.utc.second);
    } else if (nanoseconds) {
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%09lld", v.utc.hour, v.utc.minute, v.utc.second,
                      static_cast<long long>(v.nanoseconds));
    } else {
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", v.utc.hour, v.utc.minute, v.utc.second,
                      v.utc.milliseconds);
    }
    time = buf;
}

int format_date_time_by_combined_pattern(std::string& date, std::string& time, const qm::time& t,
                                         const std::string& pattern, bool with_fraction, bool two_digit_year,
                                         bool use_locale, bool nanoseconds) {
    if (pattern.empty()) {
        date.clear();
        time.clear();
        if (!t.valid) return 0;
        format_date_time(date, time, t, with_fraction, two_digit_year, use_locale, nanoseconds);
        return 1;
    }
    std::string date_pattern, time_pattern;
    const std::size_t blank = pattern.find(' ');
    if (blank != std::string::npos) {
        date_pattern = pattern.substr(0, blank);
        time_pattern = pattern.substr(blank + 1);
    } else if (pattern.find('/') != std::string::npos || pattern.find('-') != std::string::npos) {
        date_pattern = pattern;
    } else if (pattern.find(':') != std::string::npos) {
        time_pattern = pattern;
    }
    return format_date_time_by_pattern(date, time, t, date_pattern, time_pattern);
}

int format_date_time_by_pattern_no_fraction(std::string& date, std::string& time, const qm::time& t,
                                            const std::string& date_pattern,
                                            const std::string& time_pattern) {
    const int r = format_date_time_by_pattern(date, time, t, date_pattern, time_pattern);
    if (r != 0) {
        const std::size_t dot = time.find('.');
        if (dot != std::string::npos) time.erase(dot);
    }
    return r;
}

bool filetime_to_text_ns(std::string& out, std::uint64_t filetime) {
    if (filetime == 0) return false;
    const qm::time t(static_cast<long long>(filetime), qm::type_filetime);
    std::string date, time;
    if (format_date_time_by_pattern(date, time, t, kDefaultDatePattern, "hh:mm:ss.xxxxxxxxx") == 0)
        return false;
    out = date + " " + time;
    return true;
}

void format_date_time_ms(std::string& date, std::string& time, const qm::time& t, bool use_locale) {
    format_date_time(date, time, t, true, false, use_locale, false);
}

void format_date_time_whole_seconds(std::string& date, std::string& time, const qm::time& t,
                                    bool use_locale) {
    format_date_time(date, time, t, false, false, use_locale, false);
}

void format_date_time_w(std::wstring& date, std::wstring& time, const qm::time& t, bool use_locale) {
    std::string d, h;
    format_date_time_ms(d, h, t, use_locale);
    date = utf8_to_wstring(d);
    time = utf8_to_wstring(h);
}

void append_time_text(std::string& out, const qm::time& t) {
    if (!t.valid) {
        out += ' ';
        return;
    }
    std::string date, time;
    format_date_time_ms(date, time, t, false);
    out += date;
    out += ' ';
    out += time;
}

std::ostream& write_time(std::ostream& os, const qm::time& t) {
    std::string text;
    append_time_text(text, t);
    return os << text;
}

std::ostream& write_time_seconds(std::ostream& os, const qm::time& t) {
    if (!t.valid) return os << "00/00/00 00:00:00";
    std::string date, time;
    format_date_time(date, time, t, false, false, false, false);
    return os << date << ' ' << time;
}

std::ostream& write_time_two_digit_year(std::ostream& os, const qm::time& t) {
    if (!t.valid) return os << "00/00/00 00:00:00";
    std::string date, time;
    format_date_time(date, time, t, false, true, false, false);
    return os << date << ' ' << time;
}

std::ostream& write_time_two_digit_year_ms(std::ostream& os, const qm::time& t) {
    if (!t.valid) return os << "0000-00-00 00:00:00";
    std::string date, time;
    format_date_time(date, time, t, true, true, false, false);
    return os << date << ' ' << time;
}

std::ostream& write_filetime_two_digit_year_ms(std::ostream& os, std::uint64_t filetime) {
    return write_time_two_digit_year_ms(os, qm::time(static_cast<long long>(filetime), qm::type_filetime));
}

std::wostream& write_time_two_digit_year_ms_w(std::wostream& os, const qm::time& t) {
    std::ostringstream narrow;
    write_time_two_digit_year_ms(narrow, t);
    return os << utf8_to_wstring(narrow.str());
}
