// Notification rows written with several threads: the reading thread hands each notification on in
// batches through an ordered_stage, formatter threads turn a batch into its report text (a function of the
// batch and of what they may read of the run, a formatter_share), and the reading thread writes the texts to
// the report in the order the notifications were read, noting the offsets printed as it does. A small table
// never starts a thread: its rows are written as they come. Where no formatter thread can be started the rows
// stay on the reading thread; a formatter's failure (out of memory) is thrown on the reading thread at its
// next hand-over, drain() or finish().
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "notifications/database_state.h"
#include "notifications/notification_row.h"
#include "notifications/records.h"
#include "notifications/report_view.h"
#include "notifications/report_writer.h"
#include "platform/ordered_stage.h"

// The column mappings of the walked rows handed on since the last row filler, appended to on the reading
// thread while formatter threads read those appended before. A mapping keeps its place from the moment it
// is added until clear(), whatever is added after it, so a batch in flight may point to it.
class column_mapping_list {
  public:
    // The mapping equal to `columns`: the one added last when it is, else a copy added at the end.
    const row_columns& add(const row_columns& columns);
    // Forgets every mapping; only while no batch in flight points to one.
    void clear() { list_.clear(); }

  private:
    std::deque<row_columns> list_;  // grown at its end only, which moves no element
};

// What a formatter thread reads besides its batch: the run as the report sees it, and the filler of the
// rows in flight. While a batch is being formatted the reading thread changes nothing a row reads: the
// store's other tables are read before the notifications and recovered records merged after them, and the
// filler changes only once the rows handed on are in the report.
struct formatter_share {
    report_view report;
    const notification_row_filler& filler;
};

class row_pipeline {
  public:
    // Rows written one by one before the formatter threads start; below it no thread is started.
    static constexpr std::size_t kSerialRows = 1024;
    // Notifications per batch, at most.
    static constexpr std::size_t kBatchRows = 256;
    // A batch is handed on once its rows' values come to this many bytes: the rows in flight stay a few MB
    // whatever their sizes (a row too large to copy is never in one).
    static constexpr std::size_t kBatchBytes = 256 * 1024;

    // Writes through `serial` (which writes to `os`) until the formatter threads start. `threads` is the
    // number of formatter threads: 0 keeps every row on the calling thread; -1 takes the run's share
    // (selk_run::threads).
    row_pipeline(std::ostream& os, selk_run& run, record_writer& serial, int threads = -1);
    ~row_pipeline();
    row_pipeline(const row_pipeline&) = delete;
    row_pipeline& operator=(const row_pipeline&) = delete;

    // The filler of the rows that follow (after the rows handed on so far are in the report).
    void set_row_filler(const notification_row_filler& filler);
    const notification_row_filler& row_filler() const { return filler_; }
    // Hands on one row of either reader, filled with the row filler where it is formatted. The library's
    // values (read by their sizes) are copied, and the row must not be one the filler refuses; a walked row's
    // values and header bytes are swapped out, and its column mapping (which must not have refused it) is
    // kept. Before the formatter threads start, and for a row too large to copy (selk_run::large_row_bytes),
    // the row is filled and written on this thread from its values where they stand, a large one after
    // every row handed on before it, with its payload referenced, not copied.
    void write_row(notification_row& row);
    // Fills the record of `row` with the row filler as far as its HandlerId (fill_through_handler), as the
    // rows that follow are filled, and refers that handler to `widening`, writing nothing: the width of the
    // padded name column comes from the records the report is made of, before the first row is written. A
    // library row's values are read in place, so they must be the library's texts (not lent integers). A
    // row the filler refuses widens nothing. True while `widening` is still open.
    bool widen(app_name_widening& widening, notification_row& row);
    // How many notifications were handed on.
    std::size_t rows_seen() const { return seen_; }
    // Returns once every notification handed on so far is in the report stream; the threads stay. Throws what
    // made a formatter thread fail.
    void drain();
    // Drains and stops the threads; throws what made a formatter thread fail, also one whose rows all reached
    // the report. The destructor stops the threads without throwing (and drains them first where it can).
    void finish();
    // How many formatter threads ran (0 when the rows were written on the calling thread, also when none
    // could be started).
    unsigned threads_started() const { return threads_started_; }

  private:
    // What a slot holds: a filled record, or a row of either reader to fill where it is formatted.
    enum class slot_kind : std::uint8_t { filled, library_row, walked_row };
    // Rows of the library packed one after another, each as its value count, each value's size (kNullSize
    // for SQL NULL, kLentInteger for an integer's 8 bytes), then the values, each text or blob followed by a
    // zero byte. One buffer a batch: the reading thread writes it front to back; integers stay lent, and the
    // filler reads them as numbers.
    struct packed_rows {
        static constexpr std::uint32_t kNullSize = 0xFFFFFFFFu;
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;
        std::size_t used = 0;
        // Appends a row; where it starts.
        std::size_t append(int count, char** values, const std::vector<unsigned>& sizes);
        // The row at `at` as values (null for SQL NULL) and sizes, its integers lent as they were packed.
        void unpack(std::size_t at, std::vector<char*>& values, std::vector<unsigned>& sizes) const;
    };
    // A row the library or the own reader gave, kept until the row is filled and formatted.
    struct raw_row {
        slot_kind kind = slot_kind::filled;
        std::size_t at = 0;  // a library row: where it starts in its batch's packed rows
        // A row of the own walk:
        table_record walked;
        const row_columns* columns = nullptr;  // one of mappings_, which keeps it in place
    };
    // The input of the stage: the rows of one batch as the reading thread handed them on. A formatter fills
    // the slots' records from their raw rows, in the batch's own storage.
    struct batch {
        // kBatchRows slots, their storage reused; made on first use
        std::vector<notification_record> rows;
        std::vector<raw_row> raw;  // the raw row of each slot, when it holds one
        packed_rows library;       // the values of its library rows
        std::size_t used = 0;      // slots filled
        std::size_t walked = 0;    // of them, rows of the own walk
        // Empties it for the rows of a new batch (the stage's batching asks it so).
        void clear();
    };
    // The output of the stage: the batch's finished rows.
    struct batch_text {
        std::string text;               // the rows' report text
        std::vector<std::size_t> ends;  // where each slot's text ends in `text`
    };
    using stage = ordered_stage<batch, batch_text>;

    // True when the report form allows rows to be formatted apart from one another.
    bool parallel_allowed() const;
    // Hands on one filled notification; its contents may be swapped out (the caller resets it for the next
    // row).
    void write(notification_record& notification);
    // Writes a filled notification on this thread, after every row handed on before it: a record that refers
    // to the reader's bytes never waits in a batch.
    void write_at_once(notification_record& notification);
    // Counts a row of `bytes` into the batch being filled, which is handed on once its values come to
    // kBatchBytes.
    void count_bytes(std::size_t bytes);
    // Starts the formatter threads; false when not one could be started (everything then stays serial).
    bool start();
    // Stops and joins the formatter threads; throws nothing.
    void stop_threads();
    // On a formatter thread: fills the batch's rows and formats them with `rows` into `text`, a stream that
    // appends to `out`'s text. Reads nothing of the run but `share`.
    static void format(const formatter_share& share, batch& b, batch_text& out, report_row_writer& rows,
                       std::ostream& text);
    // Fills `n` with `filler` from the library row at `at` of `rows`; `values` and `sizes` are scratch.
    static void fill_library_row(const notification_row_filler& filler, notification_record& n,
                                 const packed_rows& rows, std::size_t at, std::vector<char*>& values,
                                 std::vector<unsigned>& sizes);
    // Fills `n` with `filler` from a row of the own walk.
    static void fill_walked_row(const notification_row_filler& filler, notification_record& n,
                                table_record& walked, const row_columns& columns);
    void write_walked_row(table_record& row, const row_columns& columns);
    // Writes the batch's text, whose turn it is, to the report, on the reading thread.
    void write_in_turn(batch& b, batch_text& out);

    notification_row_filler filler_;
    column_mapping_list mappings_;  // the walked rows' column mappings since the last row filler
    const formatter_share share_;   // all that the formatter threads read of the run and of this pipeline
    notification_record scratch_;   // a raw row filled on the reading thread
    std::ostream& os_;
    selk_run& run_;
    record_writer& serial_;
    unsigned wanted_threads_;
    unsigned threads_started_ = 0;
    std::size_t seen_ = 0;         // notifications handed on
    std::size_t batch_rows_ = 0;   // rows in the batch being filled
    std::size_t batch_bytes_ = 0;  // what their values come to
    bool parallel_ = false;        // the threads run
    bool refused_ = false;         // the form does not allow them; everything stays serial

    std::unique_ptr<stage> stage_;                            // while the threads run
    std::vector<std::pair<std::size_t, std::size_t>> spans_;  // the parts of a batch's text to write
};
