#include "time/clock_tz.h"

#include <sys/time.h>

#include <cstring>
#include <sstream>

#include "common/random_sets.h"
#include "time/time_text.h"

qm::time& get_current_time(qm::time& out) {
    struct timeval tv;
    std::memset(&tv, 0, sizeof tv);
    gettimeofday(&tv, nullptr);
    const std::uint64_t ft = static_cast<std::uint64_t>(tv.tv_sec) * kTicksPerSecond +
                             static_cast<std::uint64_t>(tv.tv_usec) * 10 + kFiletimeUnix;
    out = qm::time(static_cast<long long>(ft), qm::type_filetime);
    return out;
}

qm::time get_current_time() {
    qm::time t;
    return get_current_time(t);
}

std::uint64_t get_current_ntp_time() {
    struct timeval tv;
    std::memset(&tv, 0, sizeof tv);
    gettimeofday(&tv, nullptr);
    const qm::time t(static_cast<long long>(tv.tv_sec), qm::type_unix);
    std::uint64_t ntp = 0;
    if (!filetime_to_ntp(static_cast<std::int64_t>(t.filetime), ntp)) return 0;
    return ntp;
}

void set_current_ntp_time(std::uint64_t* out) {
    if (out != nullptr) *out = get_current_ntp_time();
}

namespace {

double seconds_since(std::uint64_t start_ntp) {
    return ntp_elapsed_seconds(ntp_from_u64(start_ntp), ntp_from_u64(get_current_ntp_time()));
}

}  // namespace

bool profile_line_text(std::string& text, std::uint64_t start_ntp, const std::string& label) {
    if (start_ntp == 0) return false;
    std::ostringstream os;
    if (!label.empty()) os << "[" << label << "] ";
    os << "Profile: " << seconds_since(start_ntp) << " secs";
    text = os.str();
    return true;
}

void write_elapsed_seconds(std::uint64_t start_ntp, std::ostream& os) {
    if (start_ntp == 0) return;
    os << seconds_since(start_ntp) << " secs " << std::endl;
}

namespace {

std::uint64_t magnitude(const ntp_stamp& v) {
    return (static_cast<std::uint64_t>(ntp_seconds(v)) << 32) | ntp_fraction(v);
}

signed_ntp_stamp make_signed(std::uint64_t mag, bool negative) {
    signed_ntp_stamp r;
    ntp_store_seconds(r.value, static_cast<std::uint32_t>(mag >> 32));
    ntp_store_fraction(r.value, static_cast<std::uint32_t>(mag));
    r.negative = negative ? 1 : 0;
    return r;
}

// Both magnitudes of one sign: |a| - |b| with the sign of a, or |b| - |a| with the other sign.
signed_ntp_stamp subtract_same_sign(std::uint64_t a, std::uint64_t b, bool a_negative) {
    if (a >= b) return make_signed(a - b, a_negative);
    return make_signed(b - a, !a_negative);
}

signed_ntp_stamp positive(std::uint64_t stored_ntp) {
    signed_ntp_stamp r;
    r.value = ntp_from_u64(stored_ntp);
    r.negative = 0;
    return r;
}

std::uint64_t systemtime_ntp(const _windows_systemtime& t) {
    std::uint64_t ntp = 0;
    if (!systemtime_to_ntp(t, ntp)) ntp = 0;
    return ntp;
}

std::uint64_t filetime_ntp(std::uint64_t filetime) {
    return filetime_to_ntp_value(static_cast<std::int64_t>(filetime));
}

}  // namespace

signed_ntp_stamp ntp_add(const signed_ntp_stamp& a, const signed_ntp_stamp& b) {
    const std::uint64_t ma = magnitude(a.value), mb = magnitude(b.value);
    const bool an = a.negative != 0, bn = b.negative != 0;
    if (an == bn) return make_signed(ma + mb, an);
    if (!an) return subtract_same_sign(ma, mb, false);  // a - |b|
    return subtract_same_sign(mb, ma, false);           // b - |a|
}

signed_ntp_stamp ntp_subtract(const signed_ntp_stamp& a, const signed_ntp_stamp& b) {
    if ((a.negative != 0) != (b.negative != 0)) {
        signed_ntp_stamp neg_b = b;
        neg_b.negative = b.negative != 0 ? 0 : 1;
        return ntp_add(a, neg_b);
    }
    return subtract_same_sign(magnitude(a.value), magnitude(b.value), a.negative != 0);
}

signed_ntp_stamp ntp_subtract_systemtime(const signed_ntp_stamp& a, const _windows_systemtime& t) {
    return ntp_subtract(a, positive(systemtime_ntp(t)));
}

signed_ntp_stamp ntp_subtract_filetime(const signed_ntp_stamp& a, const std::uint64_t& filetime) {
    return ntp_subtract(a, positive(filetime_ntp(filetime)));
}

signed_ntp_stamp ntp_add_systemtime(const signed_ntp_stamp& a, const _windows_systemtime& t) {
    return ntp_add(positive(systemtime_ntp(t)), a);
}

signed_ntp_stamp ntp_add_filetime(const signed_ntp_stamp& a, const std::uint64_t& filetime) {
    return ntp_add(positive(filetime_ntp(filetime)), a);
}

std::uint32_t ntp_fuzz_fraction(ntp_stamp& v) {
    const std::uint32_t r1 = random_byte(1, 255);
    const std::uint32_t r2 = random_byte(1, 15);
    const std::uint32_t f = ntp_fraction(v) + r1 + (r2 << 8);
    ntp_store_fraction(v, f);
    return f;
}

std::uint32_t ntp_fuzz_seconds(ntp_stamp& v) {
    const std::uint32_t r = random_byte(2, 255);
    const std::uint32_t s = ntp_seconds(v);
    ntp_store_seconds(v, r < 128 ? s + r : s - r);
    const std::uint32_t f = random_u32();
    ntp_store_fraction(v, f);
    return f;
}

namespace {

// The moment of one rule record in `year`, as a local FILETIME.
std::uint64_t transition_moment(const std::vector<std::uint16_t>& rule, unsigned year) {
    const unsigned month = rule[1];
    const unsigned occurrence = rule[2];
    struct tm first;
    std::memset(&first, 0, sizeof first);
    first.tm_year = static_cast<int>(year) - 1900;
    first.tm_mon = static_cast<int>(month) - 1;
    first.tm_mday = 1;
    _windows_systemtime st;
    filetime_to_systemtime(date_parts_to_filetime(first, 0), st);
    const unsigned d = st.day_of_week;
    const unsigned base = occurrence == 0 ? 0 : (occurrence - 1) * 7;
    const unsigned first_sunday = d == 0 ? 1 : 8 - d;
    unsigned day = base + first_sunday;
    // Occurrences 1-4 always fall inside the month. A larger one (5 stands for "last") means the month's
    // last Sunday: counting on would roll into the next month or land on a weekday.
    const unsigned len = days_in_month(year, month);
    while (len != 0 && day > len) day -= 7;
    struct tm when;
    std::memset(&when, 0, sizeof when);
    when.tm_year = static_cast<int>(year) - 1900;
    when.tm_mon = static_cast<int>(month) - 1;
    when.tm_mday = static_cast<int>(day);
    when.tm_hour = rule[3];
    when.tm_min = rule[4];
    when.tm_sec = rule[5];
    return date_parts_to_filetime(when, rule[6]);
}

// Whether a moment lies in daylight time, given the year's start and end; a rule whose start follows its
// end (southern hemisphere) has daylight time across the new year.
bool in_daylight(std::uint64_t t, std::uint64_t start, std::uint64_t end) {
    if (start <= end) return start <= t && t < end;
    return t >= start || t < end;
}

}  // namespace

bool zone_transitions(std::uint64_t* start, std::uint64_t* end,
                      const std::vector<std::uint16_t>& dst_start_rule,
                      const std::vector<std::uint16_t>& dst_end_rule, std::uint64_t filetime) {
    if (dst_start_rule.size() * 2 != 16 || dst_end_rule.size() * 2 != 16) return false;
    if (filetime == 0) filetime = get_current_time().filetime;
    _windows_systemtime st;
    if (!filetime_to_systemtime(filetime, st)) return false;
    const std::uint64_t s = transition_moment(dst_start_rule, st.year);
    const std::uint64_t e = transition_moment(dst_end_rule, st.year);
    if (start != nullptr) *start = s;
    if (end != nullptr) *end = e;
    return true;
}

std::uint64_t zone_local_to_utc(std::int64_t local_ft, const zone_rule& z) {
    std::uint64_t start = 0, end = 0;
    const std::uint64_t t = static_cast<std::uint64_t>(local_ft);
    if (!zone_transitions(&start, &end, z.dst_start, z.dst_end, t)) return 0;
    const std::int64_t extra = in_daylight(t, start, end) ? z.daylight_bias : z.standard_bias;
    return t + static_cast<std::uint64_t>((z.base_bias + extra) * 10000000ll);
}

std::uint64_t zone_utc_to_local(std::int64_t utc_ft, const zone_rule& z) {
    std::uint64_t start = 0, end = 0;
    const std::uint64_t t = static_cast<std::uint64_t>(utc_ft);
    if (!zone_transitions(&start, &end, z.dst_start, z.dst_end, t)) return 0;
    // The start is read on the standard-time clock and the end on the daylight clock, so each converts
    // with the bias in force just before it.
    const std::uint64_t start_utc =
        start + static_cast<std::uint64_t>((z.base_bias + z.standard_bias) * 10000000ll);
    const std::uint64_t end_utc =
        end + static_cast<std::uint64_t>((z.base_bias + z.daylight_bias) * 10000000ll);
    const std::int64_t extra = in_daylight(t, start_utc, end_utc) ? z.daylight_bias : z.standard_bias;
    return t - static_cast<std::uint64_t>((z.base_bias + extra) * 10000000ll);
}

std::uint64_t zone_dst_start(const zone_rule& z, std::uint64_t filetime) {
    std::uint64_t start = 0, end = 0;
    if (!zone_transitions(&start, &end, z.dst_start, z.dst_end, filetime)) return 0;
    return start;
}

std::uint64_t zone_dst_end(const zone_rule& z, std::uint64_t filetime) {
    std::uint64_t start = 0, end = 0;
    if (!zone_transitions(&start, &end, z.dst_start, z.dst_end, filetime)) return 0;
    return end;
}

namespace {

std::ostream& write_transition(std::ostream& os, std::uint64_t moment, const date_time_format& word) {
    const qm::time t(static_cast<unsigned long long>(moment), qm::type_filetime);
    if (!t.valid) return os;
    date_time_format f = word;
    f.flags &= ~static_cast<std::uint32_t>(dtf_fraction_mask);
    std::string date, time;
    format_date_time_by_format(date, time, t, f);
    return os << date << ' ' << time;
}

}  // namespace

std::ostream& write_zone_dst_start(const zone_rule& z, std::ostream& os, const date_time_format& word,
                                   std::uint64_t filetime) {
    return write_transition(os, zone_dst_start(z, filetime), word);
}

std::ostream& write_zone_dst_end(const zone_rule& z, std::ostream& os, const date_time_format& word,
                                 std::uint64_t filetime) {
    return write_transition(os, zone_dst_end(z, filetime), word);
}
