// The delimited notification report (the default padded text form and "-csv"): the header template with
// its columns, labels and widths, and one row per printed notification joined with its handler and push
// channel. Rendering, padding and separators belong to the delimited row model (row_model.h, row_render.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "notifications/database_state.h"
#include "notifications/records.h"
#include "notifications/report_view.h"
#include "notifications/row_render.h"

// Position of each report column in the header template; -1 when the column is not in it. The positions
// follow from "-all_fields" and "-incl_settings" alone, which stay the same for a whole run.
struct delimited_columns {
    int arrival_time = -1;      // notification ArrivalTime
    int expiry_time = -1;       // notification ExpiryTime
    int handler_created = -1;   // handler CreatedTime (as FILETIME)
    int handler_modified = -1;  // handler ModifiedTime (as FILETIME)
    int channel_created = -1;   // push channel CreatedTime
    int channel_expiry = -1;    // push channel ExpiryTime
    int type = -1;              // notification Type
    int app_name = -1;          // application name derived from the handler's identifier
    int order = -1;             // "-all_fields": notification Order
    int id = -1;                // "-all_fields": notification Id
    int handler_id = -1;        // "-all_fields": notification HandlerId
    int activity_id = -1;       // "-all_fields": notification ActivityId (GUID)
    int tag = -1;               // "-all_fields": notification Tag
    int group = -1;             // "-all_fields": notification Group
    int data_version = -1;      // "-all_fields": notification DataVersion
    int payload_type = -1;      // "-all_fields": notification PayloadType
    int misc_data = -1;         // source label, record offset, truncation
    int handler_type = -1;      // "-all_fields": handler HandlerType
    int wnf_event_name = -1;    // "-all_fields": handler WNFEventName
    int primary_id = -1;        // "-all_fields": handler PrimaryId
    int wns_id = -1;            // "-all_fields": handler WNSId
    int db = -1;                // database path
    int payload = -1;           // notification Payload
    int channel_uri = -1;       // push channel Uri
    int settings = -1;          // "-incl_settings": the handler's settings text
};

// The positions for the two switches that shape the report.
delimited_columns delimited_column_positions(bool all_fields, bool incl_settings);

// Replaces the run's header template with the report's columns. Time columns are W wide (the lengths of
// the date and time format texts plus 2); the application-name and database-path widths are those of this
// moment. With "-csv" or "-no_whitespace" every width is 0.
void build_delimited_header_template(selk_run& run);

// Builds the header template and writes the header line (which clears the header-pending switch). 1, or 0
// when the output stream failed.
int write_delimited_header(std::ostream& os, selk_run& run);

// Writes the row of one notification, laid out by the report's header template (the header is out);
// handler and channel may be null (their cells stay empty). 1, or 0 when the output stream failed.
int write_delimited_row(std::ostream& os, const report_view& report, const notification_record& notification,
                        const handler_entry* handler, const channel_entry* channel);

// Writes the rows of one report as write_delimited_row does, working out the column positions once and
// reusing one row, whose cells keep their storage from one notification to the next.
class delimited_row_writer {
  public:
    explicit delimited_row_writer(const report_view& report);

    int write(std::ostream& os, const report_view& report, const notification_record& notification,
              const handler_entry* handler, const channel_entry* channel);

  private:
    delimited_columns columns_;  // positions for the run's "-all_fields" and "-incl_settings"
    variant_row row_;            // sized to the header template on first use
    std::string misc_;           // the misc data text of the row
    std::string settings_;       // the settings text of the row
    row_buffers buffers_;        // the row's text as it is built, and the texts of recent times
};

// A record counts as recovered when its filler stored the flag (own table walk, slack scan, chunk parser);
// the SQLite library path leaves it clear.
bool is_recovered_record(const sqlite_metadata& record);
// The "DB" text of a record: the path, with "-wal" for a recovered record that came out of the write-ahead
// log (source_in_wal).
std::string record_db_text(const sqlite_metadata& record, const std::string& db_path);
