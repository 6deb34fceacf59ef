// The notification report writer: prints the notifications one analysis path has just collected, each
// joined with the handler and the push channel that share its handler identifier, as delimited rows,
// log2timeline CSV events or bodyfile lines. Recovered records that were already printed from the same
// file offset are left out.
#pragma once

#include <ostream>
#include <vector>

#include "notifications/records.h"
#include "notifications/selk_options.h"

// Prints `records` (normally options.notifications) to `os`. Nothing at all for an empty vector. The
// delimited header is written while the header is pending. A recovered record with a non-zero offset is
// skipped when a record of the same file family (the database itself: source codes 2, 3, 6, 12; any other
// file) was printed from that offset in this call. Stops at the first failed write: the caller sees the
// failure in the stream's state.
void write_records(std::ostream& os, selk_options& options, std::vector<notification_record>& records);

// The joins of one notification: the handler and the first push channel (in the index's order) of its
// handler identifier, or null when that table has no masked columns, its index is empty, the identifier is
// not in it, or the index points outside the vector.
notification_handler_record* join_handler(selk_options& options, const notification_record& notification);
const wns_push_channel_record* join_push_channel(selk_options& options, const notification_record& notification);
