// Date and time text of a qm::time. Every text comes from the value's UTC parts; fractions of a second are
// truncated, never rounded. Three drivers choose the layout: the packed format word, a pair of textual
// patterns ("yyyy-mm-dd", "hh:mm:ss.xxx"), or fixed printf layouts.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "time/format_word.h"
#include "time/qm_time.h"

// The default date and time patterns: the program's "-dateformat" and "-timeformat" when none is given, and
// the layout of a zero format word.
extern const char kDefaultDatePattern[];  // "yyyy-mm-dd"
extern const char kDefaultTimePattern[];  // "hh:mm:ss.xxx"

// By the format word. 1 when formatted by the word; 0 for an invalid time (texts empty); 0 for a zero word,
// after filling the texts from the default patterns "yyyy-mm-dd" and "hh:mm:ss.xxx". A word without a
// separator character joins the date fields directly (no NUL is ever written).
int format_date_time_by_format(std::string& date, std::string& time, const qm::time& t,
                               const date_time_format& f);
// The same with the word by pointer; a null pointer counts as a zero word.
int format_date_time_by_format(std::string& date, std::string& time, const qm::time& t,
                               const date_time_format* f);
// The FILETIME as a qm::time, then the above; false with empty texts for an invalid time.
bool format_filetime_by_format(std::string& date, std::string& time, std::uint64_t filetime,
                               const date_time_format& f);
// Writes date, " ", time; 0 and nothing written for an invalid time. A zero word is first filled in place
// from the default patterns (paired).
int write_time_by_format(std::ostream& os, const qm::time& t, date_time_format& f);
// write_time_by_format of the FILETIME into `out` (empty when no valid time); returns out.
std::string& filetime_to_text_by_format(std::string& out, std::uint64_t filetime, date_time_format& f);

// By textual patterns (searched, not validated). 0 for an invalid time (texts empty), else 1.
int format_date_time_by_pattern(std::string& date, std::string& time, const qm::time& t,
                                const std::string& date_pattern, const std::string& time_pattern);
// The patterns when both are given; else format_date_time with milliseconds, four-digit year, no locale
// (returns 1).
int format_date_time_or_default(std::string& date, std::string& time, const qm::time& t,
                                const char* date_pattern, const char* time_pattern);
// Fixed layouts: yyyy-mm-dd (or yy-mm-dd, or the locale's date) and hh:mm:ss with an optional fraction
// (milliseconds, or nanoseconds when `nanoseconds`). An invalid time leaves both texts empty.
void format_date_time(std::string& date, std::string& time, const qm::time& t, bool with_fraction,
                      bool two_digit_year, bool use_locale, bool nanoseconds);
// One pattern holding date and time separated by the first blank (or only one of them).
int format_date_time_by_combined_pattern(std::string& date, std::string& time, const qm::time& t,
                                         const std::string& pattern, bool with_fraction, bool two_digit_year,
                                         bool use_locale, bool nanoseconds);
// format_date_time_by_pattern, then the time text cut at its first '.'.
int format_date_time_by_pattern_no_fraction(std::string& date, std::string& time, const qm::time& t,
                                            const std::string& date_pattern, const std::string& time_pattern);
// "yyyy-mm-dd hh:mm:ss.nnnnnnnnn"; false for 0 or an invalid time.
bool filetime_to_text_ns(std::string& out, std::uint64_t filetime);

void format_date_time_ms(std::string& date, std::string& time, const qm::time& t, bool use_locale);
void format_date_time_whole_seconds(std::string& date, std::string& time, const qm::time& t, bool use_locale);
void format_date_time_w(std::wstring& date, std::wstring& time, const qm::time& t, bool use_locale);
// Appends "yyyy-mm-dd hh:mm:ss.mmm", or a lone blank for an invalid time.
void append_time_text(std::string& out, const qm::time& t);
std::ostream& write_time(std::ostream& os, const qm::time& t);                 // invalid: " "
std::ostream& write_time_seconds(std::ostream& os, const qm::time& t);         // invalid: "00/00/00 00:00:00"
std::ostream& write_time_two_digit_year(std::ostream& os, const qm::time& t);  // invalid: "00/00/00 00:00:00"
std::ostream& write_time_two_digit_year_ms(std::ostream& os,
                                           const qm::time& t);  // invalid: "0000-00-00 00:00:00"
std::ostream& write_filetime_two_digit_year_ms(std::ostream& os, std::uint64_t filetime);
std::wostream& write_time_two_digit_year_ms_w(std::wostream& os, const qm::time& t);

// Chooses the locale whose date form the locale path prints: sets `name` and returns true when a usable
// locale name was found. The command-line framework installs its own chooser; until then the time library
// tries the empty name (the environment's locale), then $LC_TIME, then $LANG. Null restores that default.
using time_locale_selector = bool (*)(std::string& name);
void set_time_locale_selector(time_locale_selector selector);
