// qm::time, the one timestamp type of selk. Every encoding is converted once to a FILETIME (100-ns ticks
// since 1601-01-01 UTC); the value then keeps its Unix seconds, FAT words, UTC parts, local parts and a
// validity flag, and the formatters print only from these stored parts.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "time/calendar.h"
#include "time/format_word.h"
#include "time/keyname_filter.h"
#include "time/time_kinds.h"

namespace qm {

class time {
  public:
    std::uint64_t unix_seconds;                // (filetime - 1970 epoch) / 10^7, unsigned (wraps before 1970)
    std::uint64_t filetime;                    // ticks since 1601-01-01 UTC; ordered as a signed number
    _windows_filetime windows_filetime;        // the same value as two halves
    std::uint16_t dos_date;                    // FAT date of the UTC parts (years 1980-2037 only)
    std::uint16_t dos_time;                    // FAT time of the UTC parts (seconds / 2 rounded up)
    struct tm local;                           // local broken-down time with today's bias; tm_isdst always 0
    _windows_systemtime utc;                   // UTC broken-down time
    std::uint64_t microseconds;                // within the second
    std::uint64_t nanoseconds;                 // within the second
    std::uint64_t picoseconds;                 // within the second
    bool valid;                                // passed the validity rule of set_filetime
    bool local_failed;                         // the local conversion failed at the last set_filetime
    std::map<std::string, unsigned int> tags;  // carried with the value; only emptied and copied here

    // A zeroed, invalid value.
    time();
    time(const time&) = default;
    time& operator=(const time&) = default;
    ~time() = default;

    // --- Values of a given kind (time_kinds.cpp). An unsupported kind leaves the value zeroed, invalid.
    // Kinds 1, 2, 4, 8, 16, 2048, 32768, 0x20000, 0x40000, 0x80000.
    time(unsigned long long value, type_time kind);
    // The FILETIME that constructor gives `value` of `kind` (its `filetime` field, valid or not); 0 for a
    // kind it does not read.
    static std::uint64_t filetime_of(unsigned long long value, type_time kind);
    // Whether set_filetime(ft) makes a valid time, found without building one; `parts` (when given)
    // receives the UTC breakdown of a valid one.
    static bool valid_filetime(std::uint64_t ft, date_parts* parts = nullptr);
    // Kinds 1, 2, 4, 8, 16, 256 (whole days), 2048, 0x20000, 0x40000, 0x80000; divisions and tests signed.
    time(long long value, type_time kind);
    // The other integer widths (std::uint64_t is unsigned long here) forward to the two forms above by
    // signedness, so that a call never depends on which 64-bit type the caller's value has.
    time(unsigned long value, type_time kind) : time(static_cast<unsigned long long>(value), kind) {}
    time(unsigned int value, type_time kind) : time(static_cast<unsigned long long>(value), kind) {}
    time(long value, type_time kind) : time(static_cast<long long>(value), kind) {}
    time(int value, type_time kind) : time(static_cast<long long>(value), kind) {}
    // Kinds 8 and 16 (both Unix seconds), 256 (OLE days), 0x40000 (Safari seconds). A value that is not
    // finite or lies outside the FILETIME range gives an invalid time.
    time(double value, type_time kind);
    // FILETIME plus a fraction of a tick count; the sub-second parts come from sub_ticks alone. A sub_ticks
    // that is not finite or outside [0, 10^7) gives an invalid time.
    time(unsigned long long filetime, double sub_ticks);
    // The kind chosen by the time modifiers of a key-name filter (invalid when its key path is not set).
    time(unsigned long long value, keyname_filter filter, bool floating);

    // Clears the value, then tries each kind bit of `mask` from the lowest up on `value` (floating
    // constructor); the first valid time whose UTC year lies in [min_year, max_year] is kept (true).
    // `kind` holds the last bit tried.
    bool guess_from_double(std::uint32_t& kind, std::uint16_t max_year, std::uint16_t min_year,
                           std::uint32_t mask, double value);

    // --- Raw-byte and structured setters (time_setters.cpp).
    time(const std::vector<unsigned char>& bytes, type_time kind);
    time(const std::vector<unsigned char>& bytes, std::uint32_t offset, type_time kind);
    explicit time(const _windows_systemtime& st);
    time(const struct tm& t, bool direct);
    // FAT date dos[0] and time dos[1].
    time(const unsigned short dos[2], bool direct);
    // Unix seconds; 0 leaves an invalid value.
    explicit time(std::uint32_t unix_seconds_value);
    explicit time(const _windows_filetime& ft);
    // Kind 8 only: pair[0] signed Unix seconds (above 0), pair[1] microseconds added.
    time(const std::int32_t pair[2], type_time kind);
    // Performance-counter reading: kind 4096 (frequency per second) or 0x2000 (per microsecond).
    time(std::uint64_t base_filetime, std::uint64_t start_count, std::uint64_t count, std::uint64_t frequency,
         std::uint32_t kind);

    // Reads a value of a byte-level kind at `offset`; will not read past the end of `bytes`.
    bool set_from_bytes(const std::vector<unsigned char>& bytes, std::uint32_t offset, type_time kind);
    // direct: the fields read as UTC; else as local time through mktime plus today's bias.
    bool set_from_tm(const struct tm& t, int milliseconds, bool direct);

    // --- Dates and times from text (time_parse.cpp).
    // A date in `order` ("YMD", "DMonY", ...) with separator `sep`, and an optional time after a blank
    // (or a 'T'); the fields are read as UTC. `flag` does not change the result. Invalid when the text is
    // null or not such a date.
    time(const char* text, std::string order, char sep, bool flag);
    // A numeric or month-name date (parse_date_text) and an optional time after the first blank; the
    // parts are UTC when as_utc is set, else local time.
    time(const char* text, bool as_utc);
    // A number written as text: hexadecimal for kinds 1, 2, 4 and 2048, decimal for kind 8.
    time(std::string text, type_time kind);

    // --- Time-kind candidates (time_candidates.cpp).
    // Clears the value, then tries each kind bit of `mask` from the lowest up on `value` (unsigned
    // constructor); the first valid time whose UTC year lies in [min_year, max_year] is kept (true).
    // `kind` holds the last bit tried.
    bool guess_from_unsigned(std::uint32_t& kind, std::uint16_t max_year, std::uint16_t min_year,
                             std::uint64_t value, std::uint32_t mask);

    // --- Time value (qm_time.cpp).
    // Empties tags; zeroes unix_seconds, filetime, windows_filetime, local, valid, local_failed. Leaves the
    // FAT words, the UTC parts and the sub-second parts as they were.
    void clear();
    // The common tail of every constructor and setter; returns valid.
    bool set_filetime(std::uint64_t ft);

    unsigned int get_year() const { return utc.year; }
    unsigned int get_month() const { return utc.month; }
    unsigned int get_day() const { return utc.day; }
    unsigned int get_hour() const { return utc.hour; }
    unsigned int get_minute() const { return utc.minute; }
    unsigned int get_second() const { return utc.second; }
    // Milliseconds, or with round set plus 1 when the rest is half a millisecond or more.
    unsigned int get_milliseconds(bool round) const;
    std::uint64_t get_microseconds(bool round) const;
    std::uint64_t get_nanoseconds() const { return nanoseconds; }

    // Valid and min_year <= UTC year <= max_year of the format word.
    bool year_in_format_window(const date_time_format& f) const;

    bool operator<(const time& o) const {
        return static_cast<std::int64_t>(filetime) < static_cast<std::int64_t>(o.filetime);
    }
    bool operator<=(const time& o) const {
        return static_cast<std::int64_t>(filetime) <= static_cast<std::int64_t>(o.filetime);
    }
    bool operator>(const time& o) const {
        return static_cast<std::int64_t>(filetime) > static_cast<std::int64_t>(o.filetime);
    }
    bool operator>=(const time& o) const {
        return static_cast<std::int64_t>(filetime) >= static_cast<std::int64_t>(o.filetime);
    }
    bool operator==(const time& o) const { return filetime == o.filetime; }
    bool operator!=(const time& o) const { return filetime != o.filetime; }

    // Shifts of a valid value (an invalid one is returned unchanged); a month is always 30 days.
    time& add_months(std::int32_t n);
    time& add_weeks(std::int32_t n);
    time& add_days(std::int32_t n);
    time& subtract_days(std::int32_t n);
    time& add_hours(std::int32_t n);
    time& add_minutes(std::int32_t n);
    time& add_seconds(std::int32_t n);
    time& add_milliseconds(std::int32_t n);
    time& add_microseconds(std::int32_t n);
    time& add_time(const time& d);
    time& subtract_time(const time& d);

  private:
    // Zeroes every representation, empties tags (the start of every constructor).
    void zero_all();
    // set_filetime with the sub-second parts taken from sub_ticks.
    bool set_filetime_parts(std::uint64_t ft, bool precise, double sub_ticks);
    time& shift(std::uint64_t delta);
    // Kind 8 and 16 rejection and acceptance share this: halves stored before set_filetime.
    bool set_unix_kind(std::uint64_t ft, bool rejected);
};

}  // namespace qm

// The FILETIME of the filter constructor's result, or 0 when it is invalid.
std::uint64_t keyname_filter_filetime(unsigned long long value, keyname_filter filter, bool floating);
