#include "time/format_word.h"

namespace {

// Reads the date pattern into `flags`. False on the first missing token or unaccepted order; the bits set
// up to that point are left in `flags` for the caller to decide about.
bool parse_date_pattern(std::uint32_t& flags, const std::string& p) {
    if (p.find('/') != std::string::npos) {
        flags |= static_cast<std::uint32_t>('/');
    } else if (p.find('-') != std::string::npos) {
        flags |= static_cast<std::uint32_t>('-');
    } else if (p.find(' ') != std::string::npos) {
        flags |= static_cast<std::uint32_t>(' ');
    }

    std::size_t m = p.find("mmm");
    if (m != std::string::npos) {
        flags |= dtf_month_name;
    } else {
        m = p.find("mm");
        if (m == std::string::npos) return false;
        flags |= dtf_month_number;
    }

    std::size_t y = p.find("yyyy");
    if (y != std::string::npos) {
        flags |= dtf_year4;
    } else {
        y = p.find("yy");
        if (y == std::string::npos) return false;
        flags |= dtf_year2;
    }

    if (p.find(',') != std::string::npos) flags |= dtf_comma;

    const std::size_t d = p.find("dd");
    if (d == std::string::npos) return false;

    if (d < m && m < y) {
        flags |= dtf_order_dmy;
    } else if (m < d && d < y) {
        flags |= dtf_order_mdy;
    } else if (y < m && m < d) {
        flags |= dtf_order_ymd;
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool parse_date_time_format(date_time_format& out, const std::string& date_pattern,
                            const std::string& time_pattern, bool pair_date_time) {
    out.flags = pair_date_time ? dtf_paired : 0u;
    out.min_year = 1900;
    out.max_year = 2600;
    out.reserved = 0;

    if (!date_pattern.empty() && !parse_date_pattern(out.flags, date_pattern)) {
        // A half-compiled word (a separator but no field order) would print empty dates for every
        // timestamp; a zero word makes the formatters fall back to the default patterns instead.
        out.flags = 0;
        return false;
    }

    if (time_pattern.empty()) return true;
    const std::size_t first = time_pattern.find("xxx");
    if (first == std::string::npos) return true;
    const std::size_t last = time_pattern.rfind('x');
    std::uint32_t n = static_cast<std::uint32_t>(last - first + 1);
    if (n > 9) n = 9;
    out.flags &= ~static_cast<std::uint32_t>(dtf_fraction_mask);
    out.flags |= n << dtf_fraction_shift;
    return true;
}

bool validate_date_pattern(unsigned int& length, const std::string& pattern) {
    if (pattern.size() == 8 || pattern.size() == 10) {
        length = static_cast<unsigned int>(pattern.size());
        return true;
    }
    length = 0;
    return false;
}

bool is_valid_date_pattern(const std::string& pattern) {
    unsigned int length = 0;
    return validate_date_pattern(length, pattern);
}

bool validate_time_pattern(unsigned int& length, const std::string& pattern) {
    length = 0;
    const std::size_t n = pattern.size();
    if (n < 8 || n > 18 || pattern.find(':') == std::string::npos) return false;
    if (n != 8 && (n < 12 || pattern.find(".xxx") == std::string::npos)) return false;
    length = static_cast<unsigned int>(n);
    return true;
}

bool is_valid_time_pattern(const std::string& pattern) {
    unsigned int length = 0;
    return validate_time_pattern(length, pattern);
}
