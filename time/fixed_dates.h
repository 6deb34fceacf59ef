// Fixed-layout date texts for protocols and logs: the web-style GMT date, the e-mail date with a zone
// offset, ISO 8601 in UTC, the month/day/year text of a SYSTEMTIME, an NTP stamp with its date, and a
// FILETIME by textual patterns. Day and month names are the English abbreviations whatever the locale.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "time/calendar.h"
#include "time/ntp_time.h"
#include "time/qm_time.h"

// "Sun, 6 Nov 1994 08:49:37 GMT" of the current time. Always true.
bool gmt_date_now(std::string& out);
// The same layout for a given time; false (out empty) for an invalid time.
bool gmt_date_text(std::string& out, const qm::time& t);

// "03/04/2021 : 05:06:07.089" (month/day/year). Always true.
bool systemtime_to_text(std::string& out, const _windows_systemtime& t);

// "Sun, 06 Nov 1994 08:49:37 -0500": the UTC parts of the time (0 = now), labelled with the zone offset of
// `bias_minutes` (UTC minus local, so 300 gives -0500). The time is not shifted by the bias. False when
// the seconds cannot be broken down (negative as a signed number, or past the year 3000).
bool mail_date_text(std::string& out, std::uint64_t unix_seconds, int bias_minutes);

// "2000-02-29T00:00:00Z" of unix_seconds + bias_hours x 3600 (truncated). False for a negative value, a
// biased time before 1970, or one past the year 3000.
bool iso8601_utc_text(std::int64_t unix_seconds, std::string& out, float bias_hours);

// Seconds and fraction as 8 hex digits each joined by ".", then " : [date time UTC]" with nanoseconds
// when the stamp gives a valid time. Leaves the stream in hexadecimal mode.
std::ostream& write_ntp_time(std::ostream& os, const ntp_stamp& v);
std::ostream& operator<<(std::ostream& os, const ntp_stamp& v);

// The FILETIME as "date time" by the two patterns; empty when it is not a valid time. Returns out.
std::string& filetime_to_text_by_pattern(std::string& out, std::uint64_t filetime,
                                         const std::string& date_pattern, const std::string& time_pattern);
