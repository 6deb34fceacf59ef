// The library's view of "now" (as a qm::time and as an NTP stamp), elapsed-time lines, signed NTP
// arithmetic, and one time zone's daylight-saving rule evaluated for a year.
//
// The option-taking forms (write_profile_line and write_zone_dst_start/end with cmd_params) live in the
// command-line framework; they build their text or format word and call the forms here.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "time/calendar.h"
#include "time/format_word.h"
#include "time/ntp_time.h"
#include "time/qm_time.h"

// The host clock (gettimeofday) to microseconds: seconds x 10^7 + microseconds x 10 + the 1970 epoch.
qm::time& get_current_time(qm::time& out);
qm::time get_current_time();
// Whole seconds of the host clock as a stored NTP value; 0 when the conversion fails.
std::uint64_t get_current_ntp_time();
void set_current_ntp_time(std::uint64_t* out);

// "[label] Profile: <elapsed> secs" ("Profile: ..." for an empty label), elapsed being the seconds from
// start_ntp to now. False, text untouched, when start_ntp is 0. The diagnostics log writes this line.
bool profile_line_text(std::string& text, std::uint64_t start_ntp, const std::string& label);
// Writes elapsed, " secs " and a line end when start_ntp is non-zero.
void write_elapsed_seconds(std::uint64_t start_ntp, std::ostream& os);

// Signed NTP arithmetic on magnitudes of 32.32 fixed point, with carry and borrow between the fields.
signed_ntp_stamp ntp_add(const signed_ntp_stamp& a, const signed_ntp_stamp& b);
signed_ntp_stamp ntp_subtract(const signed_ntp_stamp& a, const signed_ntp_stamp& b);
// The time converted to FILETIME and then to NTP (0 when that fails), combined with a.
signed_ntp_stamp ntp_subtract_systemtime(const signed_ntp_stamp& a, const _windows_systemtime& t);
signed_ntp_stamp ntp_subtract_filetime(const signed_ntp_stamp& a, const std::uint64_t& filetime);
signed_ntp_stamp ntp_add_systemtime(const signed_ntp_stamp& a, const _windows_systemtime& t);
signed_ntp_stamp ntp_add_filetime(const signed_ntp_stamp& a, const std::uint64_t& filetime);

// Random perturbations (not thread-safe: they share the C generator). Both return the new fraction
// (host order).
std::uint32_t ntp_fuzz_fraction(ntp_stamp& v);
std::uint32_t ntp_fuzz_seconds(ntp_stamp& v);

// A time zone's rule: two eight-cell records (cell 1 month, cell 2 occurrence of the Sunday, cells 3-6
// hour, minute, second, milliseconds of the change, cell 7 into the day-of-week slot), the first for the
// start of daylight time, the second for its end; and biases in seconds such that
// local time + base + (daylight or standard extra) = UTC.
struct zone_rule {
    std::vector<std::uint16_t> dst_start;
    std::vector<std::uint16_t> dst_end;
    std::int64_t base_bias = 0;
    std::int64_t daylight_bias = 0;
    std::int64_t standard_bias = 0;
};

// The start and end moments (local FILETIME) of the year of `filetime` (0 = now). False when a record does
// not hold exactly 16 bytes or the year cannot be read. An occurrence that would pass the month's end (5 =
// "last") gives the month's last such Sunday.
bool zone_transitions(std::uint64_t* start, std::uint64_t* end,
                      const std::vector<std::uint16_t>& dst_start_rule,
                      const std::vector<std::uint16_t>& dst_end_rule, std::uint64_t filetime);
// 0 when the transitions cannot be computed.
std::uint64_t zone_local_to_utc(std::int64_t local_ft, const zone_rule& z);
std::uint64_t zone_utc_to_local(std::int64_t utc_ft, const zone_rule& z);
std::uint64_t zone_dst_start(const zone_rule& z, std::uint64_t filetime);
std::uint64_t zone_dst_end(const zone_rule& z, std::uint64_t filetime);
// The transition of the year of `filetime` as "date time" by `word` with its fraction digits cleared;
// nothing when there is no valid transition. The cmd_params forms pass the options' word.
std::ostream& write_zone_dst_start(const zone_rule& z, std::ostream& os, const date_time_format& word,
                                   std::uint64_t filetime);
std::ostream& write_zone_dst_end(const zone_rule& z, std::ostream& os, const date_time_format& word,
                                 std::uint64_t filetime);
