// Dates and times read from text: dates in a caller-given field order with a separator, numeric and
// month-name dates, times with an optional am/pm mark, ISO 8601 and mail-style texts. Every parser returns
// a success flag and leaves its outputs zero on failure; none prints. The qm::time text constructors are
// declared in qm_time.h and defined in time_parse.cpp.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "time/calendar.h"
#include "time/qm_time.h"

// Three fields split at `sep` in the order named by `order` (letters D, M, Y; "Mon" for a month written
// as a three-letter name). Empty fields between the first and later fields are skipped; a year below 100
// is widened (31-99 to 1931-1999, 0-30 to 2000-2030). True when month < 13 and day < 32.
bool parse_ordered_date(const char* text, std::string order, char sep, std::uint32_t* day,
                        std::uint32_t* month, std::uint32_t* year);
// "hh:mm", "hh:mm:ss" or "hh:mm:ss.fff" with an optional "am"/"pm" (12 am is hour 0, 12 pm hour 12).
// False without a colon, for an empty minutes text, for a field of 32 characters or more, or a field that
// is negative or out of range.
bool parse_time_text(const char* text, std::uint32_t* hours, std::uint32_t* minutes, double* seconds);
bool parse_time_text_whole_seconds(const char* text, std::uint32_t* hours, std::uint32_t* minutes,
                                   std::uint32_t* seconds);
// The same as milliseconds since midnight; the hours text must hold 1 to 31 characters.
bool parse_time_text_ms(const char* text, std::int32_t* milliseconds_since_midnight);
// mm-dd-yy(yy) or dd-Mon-yy(yy), with '-' or '/'. True for month 1-12 and day 1-31.
bool parse_date_text(const char* text, std::int32_t* day, std::int32_t* month, std::uint32_t* year);
// parse_ordered_date, then the optional time, into a zeroed SYSTEMTIME (milliseconds rounded, so a
// fraction of .9995 or more gives 1000).
bool parse_date_time_text(const char* date, const char* time, std::string order, char sep,
                          _windows_systemtime* out);
// Date 'T' time with an optional trailing 'Z'.
bool parse_iso_date_time_text(const char* text, std::string order, char sep, _windows_systemtime* out);
// parse_date_text and the optional time.
bool parse_numeric_date_time_text(const char* date, const char* time, _windows_systemtime* out);
// Wide twin: both texts as UTF-8, an empty text counted as absent.
bool parse_date_time_text_w(const wchar_t* date, const wchar_t* time, _windows_systemtime* out);
// The date (parse_date_text) and the time (parse_time_text_ms) into a zeroed tm; false when both are null.
bool parse_date_time_to_tm(const char* date, const char* time, struct tm* out);
// UTC minus local time, in seconds, at the date and time of the text ("date time"); 0 on failure.
std::int32_t local_bias_of_date_time_text(bool* is_dst, const char* text);
// An ISO 8601 text taken as UTC, sub-second part kept to 100 ns; 0 for a text that does not parse or
// holds no date.
std::uint64_t iso_date_time_to_filetime(const std::string& text);
// "Thu, 04 Mar 2021 05:06:07 +0100" taken as UTC (the zone word is not read); 0 on failure.
std::uint64_t rfc_date_to_filetime(const std::string& text);
// 9 or more characters: the last 8 are the low half, the rest the high half; else the whole text is the
// low half; each half read as hexadecimal.
std::uint64_t hex_text_to_u64(const std::string& text);
