#include "io/time_options.h"

#include <sstream>

#include "io/diags_log.h"
#include "time/format_word.h"

namespace {

// The options' word, or the word of their patterns when none was compiled; the options are not changed.
date_time_format options_word(const cmd_params& options) {
    date_time_format word = options.format_word;
    if (word.flags == 0) {
        parse_date_time_format(word, options.date_format, options.time_format, options.pair_datetime);
    }
    return word;
}

}  // namespace

void write_profile_line(std::uint64_t start_ntp, cmd_params& options, const std::string& label) {
    if (start_ntp == 0 || !options.diagnostics_on || options.diagnostics == nullptr) return;
    std::string text;
    if (!profile_line_text(text, start_ntp, label)) return;
    std::ostringstream os;
    os << text;
    write_log_line_from_stream(options, os);
}

std::ostream& write_zone_dst_start(const zone_rule& z, std::ostream& os, cmd_params& options,
                                   std::uint64_t filetime) {
    return write_zone_dst_start(z, os, options_word(options), filetime);
}

std::ostream& write_zone_dst_end(const zone_rule& z, std::ostream& os, cmd_params& options,
                                 std::uint64_t filetime) {
    return write_zone_dst_end(z, os, options_word(options), filetime);
}
