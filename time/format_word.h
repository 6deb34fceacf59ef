// Packed date and time format word compiled from a date pattern ("yyyy-mm-dd") and a time pattern
// ("hh:mm:ss.xxx"). The formatters read this word for every timestamp instead of re-reading the patterns.
#pragma once

#include <cstdint>
#include <string>

// Bits of date_time_format::flags.
enum date_time_format_bits : std::uint32_t {
    dtf_separator_mask = 0xffu,  // date separator character ('/', '-', ' ' or 0)
    dtf_month_name = 0x100u,     // "mmm": three-letter month name
    dtf_month_number = 0x200u,   // "mm": month number
    dtf_year4 = 0x400u,          // "yyyy"
    dtf_year2 = 0x800u,          // "yy" without "yyyy"
    dtf_comma = 0x1000u,         // the date pattern holds a ','
    dtf_order_dmy = 0x2000u,     // day-month-year
    dtf_order_mdy = 0x4000u,     // month-day-year
    dtf_order_ymd = 0x8000u,     // year-month-day
    dtf_paired = 0x10000u,       // date and time printed in one field
    dtf_fraction_shift = 17u,    // bits 17-20: fraction digits of the seconds
    dtf_fraction_mask = 0x1e0000u,
};

struct date_time_format {
    std::uint32_t flags = 0;     // packed description; 0 means "no format given"
    std::uint16_t min_year = 0;  // lower bound of the year window (1900 once parsed)
    std::uint16_t max_year = 0;  // upper bound of the year window (2600 once parsed)
    std::uint32_t reserved = 0;  // always 0

    // Number of fraction digits (bits 17-20).
    unsigned fraction_digits() const { return (flags & dtf_fraction_mask) >> dtf_fraction_shift; }
    char separator() const { return static_cast<char>(flags & dtf_separator_mask); }
};

// Compiles the two patterns into `out`. Only the positions of the tokens "mmm"/"mm", "yyyy"/"yy" and "dd"
// matter; the time pattern contributes only its fraction digit count. Returns false when the date pattern
// lacks a token or has an order other than d-m-y, m-d-y or y-m-d; the bits set before the failure stay.
bool parse_date_time_format(date_time_format& out, const std::string& date_pattern,
                            const std::string& time_pattern, bool pair_date_time);

// True (length set) when the date pattern is 8 or 10 characters long; else false with length 0.
bool validate_date_pattern(unsigned int& length, const std::string& pattern);
bool is_valid_date_pattern(const std::string& pattern);

// True (length set) for an 8-character pattern holding ':' or a 12-18 character one holding ':' and
// ".xxx"; else false with length 0.
bool validate_time_pattern(unsigned int& length, const std::string& pattern);
bool is_valid_time_pattern(const std::string& pattern);
