// The notification report writer: prints the notifications one analysis path has just collected, each
// joined with the handler and the push channel that share its handler identifier, as delimited rows,
// log2timeline CSV events or bodyfile lines. Recovered records that were already printed from the same
// file offset are left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <vector>

#include "notifications/database_state.h"
#include "notifications/records.h"
#include "notifications/report_view.h"

class delimited_row_writer;
class timeline_row_writer;

// The report's sizing of the padded application-name column: the longest name of a handler that some
// notification refers to. With the handlers read before the notifications, the reader hands the
// notification rows' handler ids to refer() only while open(): the handlers whose names are longer than the
// column are the candidates, and the rows are read only until the longest name that can count is found.
// apply() gives the run's store the width found.
class app_name_widening {
  public:
    explicit app_name_widening(const selk_run& run);

    // True while a notification row could still widen the column.
    bool open() const { return width_ < top_; }
    // A notification refers to `handler_id`.
    void refer(std::uint64_t handler_id) {
        const auto it = longest_.find(handler_id);
        if (it != longest_.end() && it->second > width_) width_ = it->second;
    }
    std::uint32_t width() const { return static_cast<std::uint32_t>(width_); }
    void apply(selk_run& run) const { run.store.app_name_width = width(); }

  private:
    std::size_t width_;
    std::size_t top_ = 0;                           // the longest candidate name
    std::map<std::uint64_t, std::size_t> longest_;  // handler id -> its longest name above the width
};

// File offsets already printed. Records are printed in file order more often than not, so the set is kept by
// 4 KiB stretch of the file: the offsets of one stretch share one cache line (a bitmap once they are many),
// and a run of records from one page looks its stretch up once.
class printed_offsets {
  public:
    // True when `offset` was not in the set; it is in the set afterwards.
    bool insert(std::uint64_t offset);

  private:
    static constexpr unsigned kStretchBits = 12;
    static constexpr unsigned kInline = 27;  // places held in the stretch itself
    struct stretch {
        std::uint16_t count = 0;  // places in `few`, sorted
        std::uint16_t few[kInline];
        std::unique_ptr<std::uint64_t[]> bits;  // one bit a place, once `few` is full
    };
    // The stretch of `key` (an offset's stretch number), made when new.
    stretch& stretch_of(std::uint64_t key);

    std::vector<stretch> stretches_;
    std::vector<std::uint64_t> keys_;     // open addressing: stretch number + 1, 0 for a free slot
    std::vector<std::uint32_t> indices_;  // the place in stretches_ of each key
    std::uint64_t last_key_ = 0;          // the stretch looked up last, plus one (0: none)
    std::uint32_t last_index_ = 0;
};

// Prints `records` (normally run.store.notifications) to `os`. Nothing at all for an empty vector. The
// delimited header is written while the header is pending. A recovered record with a non-zero offset is
// skipped when a record of the same file family (the database itself, source_in_main_db; any other file)
// was printed from that offset in this call. Stops at the first failed write: the caller sees the failure
// in the stream's state.
void write_records(std::ostream& os, selk_run& run, std::vector<notification_record>& records);
// The same for recovered notifications kept as references: each is decoded again from its file once it is
// admitted (its offset not printed before). One whose bytes no longer read as they did is not printed: it is
// named on standard error with its file and offset, and the run is marked as not read whole
// (run.tables_incomplete).
void write_records(std::ostream& os, selk_run& run, recovered_notifications& records);

// The rows of one report in the run's form, one writer reused from row to row: the delimited row of the
// default form and "-csv", or the lines of "-csvl2t" and "-bodyfile". It reads the run only through the
// report_view it is given, so a formatter thread may own one.
class report_row_writer {
  public:
    explicit report_row_writer(const report_view& report);
    ~report_row_writer();
    report_row_writer(const report_row_writer&) = delete;
    report_row_writer& operator=(const report_row_writer&) = delete;

    // Writes the notification joined with its handler and push channel. The delimited header is the
    // caller's, written before the first row (with its template, which the rows are laid out by); a
    // timeline form writes its header first while `header_pending` (which it clears). 1, or 0 when the
    // output stream failed.
    int write(std::ostream& os, const report_view& report, bool& header_pending,
              const notification_record& notification);

  private:
    std::unique_ptr<delimited_row_writer> delimited_;  // the delimited forms' reused row
    std::unique_ptr<timeline_row_writer> timeline_;    // the timeline forms' writer
};

// Writes notifications one at a time as they are read, as write_records writes a vector of them: the
// delimited header before the first, the joins, recovered records already printed from the same offset
// left out, nothing more once a write failed. It writes the report's header state and its own; the rows
// read the run through a report_view.
class record_writer {
  public:
    record_writer(std::ostream& os, selk_run& run);
    ~record_writer();
    record_writer(const record_writer&) = delete;
    record_writer& operator=(const record_writer&) = delete;

    // False once a write has failed (this one or an earlier one).
    bool write(const notification_record& notification);
    // write() for a record already admitted.
    bool write_admitted(const notification_record& notification);
    // What the first write does first (the delimited header when due); false once a write has failed.
    bool start();
    // False for a recovered record whose offset was already printed from the same file family (it is left
    // out); the offset counts as printed afterwards. write() asks this itself.
    bool admit(const notification_record& notification);
    // admit() for a recovered record of `source_code` from `offset`.
    bool admit_recovered(std::uint64_t offset, unsigned source_code);
    // False once a write has failed.
    bool healthy() const { return !failed_; }

  private:
    std::ostream& os_;
    selk_run& run_;
    const report_view report_;  // what the rows read of run_
    bool started_ = false;      // the header is written (when due) and the row writer made
    bool failed_ = false;
    printed_offsets main_file_offsets_;        // offsets printed of records from the database file
    printed_offsets other_file_offsets_;       // offsets printed of records from its companions
    std::unique_ptr<report_row_writer> rows_;  // the form's reused row writer
};

// The joins of one notification: the handler and the first push channel (in the index's order) of its
// handler identifier, or null when that table has no masked columns, its index is empty, the identifier is
// not in it, or the index points outside the vector.
const handler_entry* join_handler(const report_view& report, const notification_record& notification);
const channel_entry* join_push_channel(const report_view& report, const notification_record& notification);
