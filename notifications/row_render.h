// Rendering of the delimited row model: a row laid out against a header template and written as one line
// (or the multiline form's "label: value" lines), the header line, and what a writer of many rows keeps
// from one row to the next. A row that goes to an open run log is handed to it (row_run_log.h) instead.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "common/text_runs.h"
#include "common/variant.h"
#include "io/cmd_params.h"
#include "notifications/row_model.h"
#include "time/format_word.h"

// What a writer of many rows keeps from one row to the next: the storage of the line, and the texts of the
// FILETIMEs it printed lately, which come back row after row (a handler's and a channel's times).
class row_buffers {
  public:
    row_buffers();

    // The date and time texts of `filetime` under the format word `flags` (format_filetime_by_format),
    // made on first use and then kept while no other value takes their slot.
    void filetime_texts(std::uint64_t filetime, const date_time_format& format, std::string& date,
                        std::string& time);

    std::string line;  // the row's text as it is built

  private:
    // One remembered time: its texts as they came (a date or time text of a format word is short).
    struct time_texts {
        bool used;
        std::uint8_t date_length;
        std::uint8_t time_length;
        std::uint32_t flags;
        std::uint64_t filetime;
        char date[27];
        char time[27];
    };
    std::vector<time_texts> times_;  // a fixed number of slots, chosen by the value; made on first use
};

// What a report changes as it is written: whether its column header is still due, and the header template
// its rows are laid out by. The writers below that take the options use the options' own two members; a
// run whose settings stay read-only keeps its own and passes them.
struct report_header {
    bool* header_on;                              // the header is still due; cleared once it is written
    std::vector<qm_variant_lite>* header_fields;  // the template (the multiline form rewrites its labels)
};

// Renders one row against the options' header template and writes it (the column header first while it
// is pending). With a run log set and open the line goes to the log instead. Cells beyond the template
// print with width 0. Returns 1, or 0 when the output stream failed.
int write_variant_row(std::ostream& os, variant_row& row, cmd_params& options);
// The same with the buffers a caller writing many rows keeps.
int write_variant_row(std::ostream& os, variant_row& row, cmd_params& options, row_buffers& buffers);
// The same for a report whose header is out: the row is laid out by `header_fields`, and nothing but the
// row's cells (rendering replaces their control bytes) and the buffers changes.
int write_variant_row(std::ostream& os, variant_row& row, const cmd_params& settings,
                      const std::vector<qm_variant_lite>& header_fields, row_buffers& buffers);
// A text cell whose text is too long to copy into the row: the row's cell at `index` (left as the row
// holds it) prints as a left-aligned text cell (type 11) of `flags` (of which only kCellQuote counts, with
// the row's flags) set to the text `text` hands on would print, the line before it written first and the
// cell after it in pieces, so that its text is never whole. An empty text leaves the row's cell as it is.
// A row that goes to a run log is made whole.
struct streamed_text_cell {
    int index = -1;
    std::uint32_t flags = 0;
    const text_source* text = nullptr;
};
// write_variant_row of the report whose header is out, with the cell `streamed` in pieces.
int write_variant_row(std::ostream& os, variant_row& row, const cmd_params& settings,
                      const std::vector<qm_variant_lite>& header_fields, row_buffers& buffers,
                      const streamed_text_cell& streamed);
// The same with the `count` cells of `streamed` in pieces.
int write_variant_row(std::ostream& os, variant_row& row, const cmd_params& settings,
                      const std::vector<qm_variant_lite>& header_fields, row_buffers& buffers,
                      const streamed_text_cell* streamed, std::size_t count);
int render_variant_row(std::ostream& os, variant_row& row, cmd_params& options);
// Every valid row in order; 0 when the output stream failed.
int write_variant_rows(std::ostream& os, std::vector<variant_row>& rows, cmd_params& options);
// Switches the options to the multiline form (one "label: value" line per cell), then writes the row.
int write_variant_row_multiline(std::ostream& os, variant_row& row, cmd_params& options);
// The header template as one line; clears the header-pending switch. 0 when the output stream failed.
int write_header_row(std::ostream& os, cmd_params& options);
// The same with the header state kept apart from the settings.
int write_header_row(std::ostream& os, const cmd_params& settings, report_header header);
