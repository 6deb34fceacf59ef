// The timeline forms of the notification report: log2timeline CSV events ("-csvl2t") and bodyfile lines
// ("-bodyfile") for one notification joined with its handler. The contexts, the merging of events and the
// line layouts belong to l2t_output.h and bodyfile_output.h; this unit decides which times become events
// and what every text column says.
#pragma once

#include <ostream>

#include "notifications/bodyfile_output.h"
#include "notifications/database_state.h"
#include "notifications/l2t_output.h"
#include "notifications/records.h"
#include "notifications/report_view.h"

// The log2timeline events of one notification: "B" for its arrival time and "C" for its expiry time (one
// line when both fall on the same instant); a time of 0 or an invalid time gives no event. The header is
// written first while it is pending. handler may be null. 1, or 0 when the output stream failed.
int write_notification_l2t(std::ostream& os, selk_run& run, const notification_record& notification,
                           const handler_entry* handler);

// The bodyfile line of one notification: its arrival time as the birth time (Unix seconds), every other
// time 0; always one line. handler may be null. 1, or 0 when the output stream failed.
int write_notification_bodyfile(std::ostream& os, selk_run& run, const notification_record& notification,
                                const handler_entry* handler);

// Writes the timeline lines of one report as the two functions above do, in the run's timeline form
// ("-csvl2t" or "-bodyfile"), one row after another: what every line shares (the settings' texts and date
// format) is taken from the settings once, and each row sets only its own texts. It reads the run only
// through the report_view it is given, so a formatter thread may own one.
class timeline_row_writer {
  public:
    explicit timeline_row_writer(const report_view& report);

    // The lines of one notification in the report's timeline form; the header first while `header_pending`
    // (which it clears). handler may be null. 1, or 0 when the output stream failed.
    int write(std::ostream& os, const report_view& report, bool& header_pending,
              const notification_record& notification, const handler_entry* handler);

  private:
    int write_l2t(std::ostream& os, const report_view& report, bool& header_pending,
                  const notification_record& notification, const handler_entry* handler);
    int write_bodyfile(std::ostream& os, bool& header_pending, const notification_record& notification,
                       const handler_entry* handler);

    log2timeline_context_ex l2t_;   // set from the settings once; a row replaces its texts and events
    bodyfile_v3_context bodyfile_;  // the same for a bodyfile line: a row replaces its name and times
};
