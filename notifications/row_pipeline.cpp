#include "notifications/row_pipeline.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <streambuf>
#include <utility>

#include "common/string_append_buf.h"
#include "platform/threads.h"

const row_columns& column_mapping_list::add(const row_columns& columns) {
    if (list_.empty() || list_.back().order != columns.order || list_.back().fill_mask != columns.fill_mask ||
        list_.back().signature != columns.signature)
        list_.push_back(columns);
    return list_.back();
}

row_pipeline::row_pipeline(std::ostream& os, selk_run& run, record_writer& serial, int threads)
    : share_{report_view(run), filler_}, os_(os), run_(run), serial_(serial) {
    if (threads < 0) threads = static_cast<int>(run.threads.formatters);
    wanted_threads_ = static_cast<unsigned>(threads);
}

row_pipeline::~row_pipeline() {
    // Reached without finish() only while an exception leaves the run: the rows handed on still go out where
    // they can, and that exception, not a formatter's, is the one the run reports.
    try {
        drain();
    } catch (...) {
    }
    stop_threads();
}

bool row_pipeline::parallel_allowed() const {
    // The header must be out before the threads take rows (the serial rows wrote it): a formatter writes
    // rows only. A run log takes rows one at a time; the multiline form rewrites the template as it goes.
    const selk_options& options = run_.options;
    if (options.multiline || run_.header_on) return false;
    // A joined text too long to copy goes to the report in pieces from the store: a row that joins it is
    // written on the reading thread, never held whole in a batch's text.
    if (run_.store.large_texts) return false;
    return options.switches[kSwitchPerTableFiles] == 0 && !options.sqlite_on;
}

void row_pipeline::write(notification_record& n) {
    ++seen_;
    if (!parallel_) {
        if (refused_ || wanted_threads_ == 0 || seen_ <= kSerialRows) {
            serial_.write(n);
            return;
        }
        // The serial rows wrote the header; what decides the form no longer changes.
        if (!serial_.healthy() || !parallel_allowed() || !start()) {
            refused_ = true;
            serial_.write(n);
            return;
        }
    }
    if (!serial_.admit(n)) return;
    const std::size_t bytes = n.payload.size() + n.tag.size() + n.group.size() + n.type.size();
    stage_->add([&n](batch& b) {
        b.raw[b.used].kind = slot_kind::filled;
        std::swap(b.rows[b.used], n);
        ++b.used;
    });
    count_bytes(bytes);
}

void row_pipeline::batch::clear() {
    if (rows.empty()) rows.resize(kBatchRows);
    if (raw.empty()) raw.resize(kBatchRows);
    used = 0;
    walked = 0;
    library.used = 0;
}

void row_pipeline::set_row_filler(const notification_row_filler& filler) {
    drain();
    filler_ = filler;
    filler_.large_value = run_.large_row_bytes;
    mappings_.clear();
}

namespace {

// What the values of a library row come to, a lent integer as its 8 bytes.
std::size_t library_row_bytes(const notification_row& row) {
    std::size_t bytes = 0;
    for (int k = 0; k < row.count; ++k) {
        if (row.values[k] == nullptr) continue;
        const std::size_t i = static_cast<std::size_t>(k);
        const std::size_t size = i < row.sizes->size() ? (*row.sizes)[i] : std::strlen(row.values[k]);
        bytes += size == kLentInteger ? sizeof(long long) : size;
    }
    return bytes;
}

// What the values of a walked row come to.
std::size_t walked_row_bytes(const table_record& row) {
    std::size_t bytes = row.header_bytes.size();
    for (const std::string& value : row.values) bytes += value.size();
    return bytes;
}

}  // namespace

void row_pipeline::write_row(notification_row& row) {
    if (row.walked != nullptr) {
        write_walked_row(*row.walked, *row.columns);
        return;
    }
    const std::size_t bytes = library_row_bytes(row);
    if (!parallel_ || bytes >= run_.large_row_bytes) {
        // Filled here from the library's values where they stand; writing it may start the threads.
        filler_.fill(scratch_, row);
        if (bytes >= run_.large_row_bytes)
            write_at_once(scratch_);
        else
            write(scratch_);
        return;
    }
    // A library row is never a recovered one: it is always admitted.
    ++seen_;
    stage_->add([&row](batch& b) {
        raw_row& r = b.raw[b.used];
        r.at = b.library.append(row.count, row.values, *row.sizes);
        r.kind = slot_kind::library_row;
        ++b.used;
    });
    count_bytes(bytes);
}

void row_pipeline::write_at_once(notification_record& n) {
    ++seen_;
    drain();
    serial_.write(n);
}

void row_pipeline::count_bytes(std::size_t bytes) {
    batch_bytes_ += bytes;
    // A batch of kBatchRows rows the stage hands on itself.
    if (++batch_rows_ != kBatchRows && batch_bytes_ < kBatchBytes) return;
    if (batch_rows_ != kBatchRows) stage_->submit_batch();
    batch_rows_ = 0;
    batch_bytes_ = 0;
}

std::size_t row_pipeline::packed_rows::append(int count, char** values, const std::vector<unsigned>& sizes) {
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    std::size_t need = sizeof(std::uint32_t) * (n + 1);
    for (std::size_t k = 0; k < n; ++k) {
        if (values[k] == nullptr) continue;
        // A value without a size entry is zero-terminated text, as the filler reads it.
        const std::size_t size = k < sizes.size() ? sizes[k] : std::strlen(values[k]);
        need += size == kLentInteger ? sizeof(long long) : size + 1;
    }
    if (used + need > capacity) {
        const std::size_t grown = std::max(used + need, 2 * capacity);
        std::unique_ptr<char[]> more(new char[grown]);
        if (used != 0) std::memcpy(more.get(), bytes.get(), used);
        bytes = std::move(more);
        capacity = grown;
    }
    const std::size_t start = used;
    char* out = bytes.get() + used;
    const std::uint32_t stored_count = static_cast<std::uint32_t>(n);
    std::memcpy(out, &stored_count, sizeof stored_count);
    char* size_at = out + sizeof(std::uint32_t);
    char* value_at = size_at + sizeof(std::uint32_t) * n;
    for (std::size_t k = 0; k < n; ++k) {
        std::uint32_t size = kNullSize;
        if (values[k] != nullptr) {
            size = static_cast<std::uint32_t>(k < sizes.size() ? sizes[k] : std::strlen(values[k]));
            if (size == kLentInteger) {
                std::memcpy(value_at, values[k], sizeof(long long));
                value_at += sizeof(long long);
            } else {
                std::memcpy(value_at, values[k], size);
                value_at[size] = '\0';
                value_at += size + 1;
            }
        }
        std::memcpy(size_at + sizeof(std::uint32_t) * k, &size, sizeof size);
    }
    used = static_cast<std::size_t>(value_at - bytes.get());
    return start;
}

void row_pipeline::packed_rows::unpack(std::size_t at, std::vector<char*>& values,
                                       std::vector<unsigned>& sizes) const {
    const char* in = bytes.get() + at;
    std::uint32_t count = 0;
    std::memcpy(&count, in, sizeof count);
    values.resize(count);
    sizes.resize(count);
    const char* size_at = in + sizeof(std::uint32_t);
    char* value_at = const_cast<char*>(size_at + sizeof(std::uint32_t) * count);
    for (std::size_t k = 0; k < count; ++k) {
        std::uint32_t size = 0;
        std::memcpy(&size, size_at + sizeof(std::uint32_t) * k, sizeof size);
        if (size == kNullSize) {
            values[k] = nullptr;
            sizes[k] = 0;
            continue;
        }
        // A lent integer stays lent: the filler reads its 8 bytes as the number (no text made and read back).
        values[k] = value_at;
        sizes[k] = size;
        value_at += size == kLentInteger ? sizeof(long long) : size + 1;
    }
}

void row_pipeline::fill_library_row(const notification_row_filler& filler, notification_record& n,
                                    const packed_rows& rows, std::size_t at, std::vector<char*>& values,
                                    std::vector<unsigned>& sizes) {
    rows.unpack(at, values, sizes);
    notification_row row;
    row.count = static_cast<int>(values.size());
    row.values = values.data();
    row.sizes = &sizes;
    filler.fill(n, row);
}

void row_pipeline::fill_walked_row(const notification_row_filler& filler, notification_record& n,
                                   table_record& walked, const row_columns& columns) {
    notification_row row;
    row.walked = &walked;
    row.columns = &columns;
    filler.fill(n, row);
}

bool row_pipeline::widen(app_name_widening& widening, notification_row& row) {
    // The filler the rows are written with, into this thread's scratch; a library row's texts are read in
    // place.
    if (!filler_.refuses(row) && filler_.fill_through_handler(scratch_, row))
        widening.refer(scratch_.handler_id);
    return widening.open();
}

void row_pipeline::write_walked_row(table_record& row, const row_columns& columns) {
    const std::size_t bytes = walked_row_bytes(row);
    if (!parallel_ || bytes >= run_.large_row_bytes) {
        // Filled here; writing it may start the threads.
        fill_walked_row(filler_, scratch_, row, columns);
        if (bytes >= run_.large_row_bytes)
            write_at_once(scratch_);
        else
            write(scratch_);
        return;
    }
    // Whether the row is printed (its record would be a recovered one, from this offset) is asked in turn,
    // where its text reaches the report.
    ++seen_;
    const row_columns& mapping = mappings_.add(columns);
    stage_->add([&row, &mapping](batch& b) {
        raw_row& r = b.raw[b.used];
        r.kind = slot_kind::walked_row;
        r.walked.values.swap(row.values);
        r.walked.header_bytes.swap(row.header_bytes);
        r.walked.record_offset = row.record_offset;
        r.walked.rowid = row.rowid;
        r.columns = &mapping;
        ++b.walked;
        ++b.used;
    });
    count_bytes(bytes);
}

bool row_pipeline::start() {
    // Enough batches for every thread to hold one being formatted and one waiting for its turn, and for
    // the reader to fill one: the memory in flight stays bounded.
    const std::size_t batches = 2 * static_cast<std::size_t>(wanted_threads_) + 2;
    // A formatter: a row writer of the thread's own, kept from batch to batch with its row buffers and
    // recent time texts; the header is already out, so it only formats rows, into the text of the batch at
    // hand. It is given the share and nothing else of the run or of this pipeline.
    const auto make_formatter = [share = &share_]() -> std::function<void(batch&, batch_text&)> {
        struct formatter {
            string_append_buf buf;
            std::ostream out{&buf};
            report_row_writer rows;
            explicit formatter(const report_view& report) : rows(report) {}
        };
        auto f = std::make_shared<formatter>(share->report);
        return [share, f](batch& b, batch_text& out) {
            f->buf.target(&out.text);
            format(*share, b, out, f->rows, f->out);
        };
    };
    stage_ = std::make_unique<stage>(batches, kBatchRows, make_formatter,
                                     [this](batch& b, batch_text& out) { write_in_turn(b, out); });
    threads_started_ = stage_->start(wanted_threads_);
    if (threads_started_ == 0) {
        // No thread to be had: the rows stay on this thread, the report is the same.
        stage_.reset();
        return false;
    }
    // Fewer threads than wanted format the same batches, only more slowly.
    parallel_ = true;
    return true;
}

void row_pipeline::format(const formatter_share& share, batch& b, batch_text& out, report_row_writer& rows,
                          std::ostream& text) {
    out.text.clear();
    out.ends.clear();
    std::vector<char*> values;
    std::vector<unsigned> sizes;
    for (std::size_t i = 0; i < b.used; ++i) {
        raw_row& r = b.raw[i];
        notification_record& n = b.rows[i];
        if (r.kind == slot_kind::library_row)
            fill_library_row(share.filler, n, b.library, r.at, values, sizes);
        else if (r.kind == slot_kind::walked_row)
            fill_walked_row(share.filler, n, r.walked, *r.columns);
        // Admitted by the reading thread, or in turn (own rows): it is written here without asking. The row
        // goes only into the batch's text, so a failed write is memory that ran out; the row must not be
        // left out without a word.
        bool header_pending = false;  // out before the threads started
        if (rows.write(text, share.report, header_pending, n) == 0) throw std::bad_alloc();
        out.ends.push_back(out.text.size());
    }
}

void row_pipeline::write_in_turn(batch& b, batch_text& out) {
    // On the reading thread, in reading order: the own reader's rows are admitted in that order.
    std::size_t start = 0;
    std::size_t run_start = 0;  // where the text not yet written begins
    std::vector<std::pair<std::size_t, std::size_t>>& spans = spans_;
    spans.clear();
    // Only the own walk's rows are admitted here; a batch of the library's rows is written whole.
    for (std::size_t i = 0; i < b.used && b.walked != 0; ++i) {
        const std::size_t end = out.ends[i];
        if (b.raw[i].kind == slot_kind::walked_row) {
            if (!serial_.admit_recovered(b.raw[i].walked.record_offset, filler_.source_code)) {
                if (start > run_start) spans.emplace_back(run_start, start);
                run_start = end;
            }
        }
        start = end;
    }
    if (out.text.size() > run_start) spans.emplace_back(run_start, out.text.size());
    for (const auto& span : spans)
        os_.write(out.text.data() + span.first, static_cast<std::streamsize>(span.second - span.first));
}

void row_pipeline::drain() {
    if (!parallel_) return;
    stage_->finish();
    batch_rows_ = 0;
    batch_bytes_ = 0;
}

void row_pipeline::finish() {
    if (!parallel_) return;
    // A thread that failed after its last batch still ran out of memory: the run says so.
    stage_->end();
    stop_threads();
}

void row_pipeline::stop_threads() {
    if (stage_) stage_->stop();
    parallel_ = false;
    refused_ = true;
}
