// The timeline forms of the notification report: log2timeline CSV events ("-csvl2t") and bodyfile lines
// ("-bodyfile") for one notification joined with its handler. The contexts, the merging of events and the
// line layouts belong to l2t_output.h and bodyfile_output.h; this unit decides which times become events
// and what every text column says.
#pragma once

#include <ostream>

#include "notifications/database_state.h"
#include "notifications/records.h"

// The log2timeline events of one notification: "B" for its arrival time and "C" for its expiry time (one
// line when both fall on the same instant); a time of 0 or an invalid time gives no event. The header is
// written first while it is pending. handler may be null. 1, or 0 when the output stream failed.
int write_notification_l2t(std::ostream& os, selk_run& run, const notification_record& notification,
                           const notification_handler_record* handler);

// The bodyfile line of one notification: its arrival time as the birth time (Unix seconds), every other
// time 0; always one line. handler may be null. 1, or 0 when the output stream failed.
int write_notification_bodyfile(std::ostream& os, selk_run& run, const notification_record& notification,
                                const notification_handler_record* handler);
