// The time library's operations that take the common options: the profile line into the diagnostics log
// and the daylight-saving transitions printed in the options' date and time format.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "io/cmd_params.h"
#include "time/clock_tz.h"

// When start_ntp is non-zero and the diagnostics log is on: one "->" record
// "[label] Profile: <seconds> secs" (without the bracketed label when it is empty).
void write_profile_line(std::uint64_t start_ntp, cmd_params& options, const std::string& label);

// The daylight-saving start (end) of the year of filetime as date, one blank and time, in the options'
// format word without fraction digits (built from the options' patterns when its flags are 0). Nothing for
// a rule that gives no valid transition. Returns os.
std::ostream& write_zone_dst_start(const zone_rule& z, std::ostream& os, cmd_params& options,
                                   std::uint64_t filetime);
std::ostream& write_zone_dst_end(const zone_rule& z, std::ostream& os, cmd_params& options,
                                 std::uint64_t filetime);
