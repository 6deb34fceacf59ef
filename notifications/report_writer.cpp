#include "notifications/report_writer.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <streambuf>
#include <string>
#include <vector>

#include "common/string_append_buf.h"
#include "io/console.h"
#include "io/fileio.h"
#include "notifications/report_delimited.h"
#include "notifications/report_timeline.h"
#include "platform/ordered_stage.h"
#include "sqlite_format/record_source.h"

namespace {

// Per-table files: creates the three files empty, each only when the one before it opened. No switch of the
// tool sets this branch.
void create_per_table_files(const std::string& out_file) {
    static const char* const kSuffixes[] = {".notification.csv", ".notification_handler.csv",
                                            ".push_channel.csv"};
    for (const char* suffix : kSuffixes) {
        uni::fileio file;
        if (!file.open(out_file + suffix, true, true, true)) return;
        if (file.open_output_stream() != nullptr) file.close();
    }
}

}  // namespace

app_name_widening::app_name_widening(const selk_run& run) : width_(run.store.app_name_width) {
    // Only names that the report prints widen the column, and only when it is padded.
    if (run.options.no_whitespace) return;
    for (const handler_entry& h : run.store.handlers) {
        if (h.app_name().size() <= width_) continue;
        std::size_t& longest = longest_[h.record_id];
        if (h.app_name().size() > longest) longest = h.app_name().size();
        if (h.app_name().size() > top_) top_ = h.app_name().size();
    }
}

const handler_entry* join_handler(const report_view& report, const notification_record& n) {
    if (report.layout.join_columns[kSchemaHandler] == 0) return nullptr;
    return report.store.handler_for(n.handler_id);
}

const channel_entry* join_push_channel(const report_view& report, const notification_record& n) {
    if (report.layout.join_columns[kSchemaPushChannel] == 0) return nullptr;
    return report.store.push_channel_for(n.handler_id);
}

void write_records(std::ostream& os, selk_run& run, std::vector<notification_record>& records) {
    if (run.options.switches[kSwitchPerTableFiles] != 0) {
        if (!run.options.out_file.empty()) create_per_table_files(run.options.out_file);
        return;
    }
    if (records.empty()) return;
    record_writer writer(os, run);
    for (notification_record& n : records) {
        if (!writer.write(n)) return;
    }
}

namespace {

// Below this many records the recovered ones are printed on the reading thread alone.
constexpr std::size_t kParallelRecovered = 256;
// Records a formatter decodes and formats at a time.
constexpr std::size_t kRecoveredBatch = 256;

// A record that did not read again: where, and why.
struct unread_record {
    std::string where;
    std::uint64_t offset;
    std::string why;
};

void say_unread(selk_run& run, const std::string& where, std::uint64_t offset, const std::string& why) {
    error_printf("prob reading %s: the recovered record at file offset %llu is not printed: %s\n",
                 where.c_str(), static_cast<unsigned long long>(offset), why.c_str());
    run.tables_incomplete = 1;
}

// The references of `records`, decoded and formatted on the formatter threads in batches (an ordered_stage):
// the reading thread admits each in turn (its offset not printed before), and writes the batches' texts, and
// names the records that did not read, in the list's order. The header is out.
void write_references_in_parallel(std::ostream& os, selk_run& run, recovered_notifications& records,
                                  record_writer& writer) {
    using batch = std::vector<std::size_t>;  // the admitted records
    struct batch_text {
        std::string text;
        std::vector<unread_record> unread;
    };
    const report_view report(run);
    const recovered_notifications& list = records;
    // A formatter: a reader and a row writer of its own, kept from batch to batch.
    const auto make_formatter = [&report, &list]() -> std::function<void(batch&, batch_text&)> {
        struct formatter {
            explicit formatter(const report_view& view, const recovered_notifications& references)
                : reader(references), rows(view) {}
            recovered_reader reader;
            string_append_buf buf;
            std::ostream out{&buf};
            report_row_writer rows;
            notification_record n;
            std::string why, where;
        };
        auto f = std::make_shared<formatter>(report, list);
        return [&report, f](batch& b, batch_text& out) {
            out.text.clear();
            out.unread.clear();
            f->buf.target(&out.text);
            for (const std::size_t i : b) {
                if (!f->reader.record(i, f->n, f->why, f->where)) {
                    out.unread.push_back(
                        unread_record{f->where, report.store.notifications.reference(i).offset, f->why});
                    continue;
                }
                // The row goes only into the batch's text: a failed write is memory that ran out. The header
                // is out before the first batch.
                bool header_pending = false;
                if (f->rows.write(f->out, report, header_pending, f->n) == 0) throw std::bad_alloc();
            }
        };
    };
    bool failed = false;
    // Nothing else runs while the recovered rows are written: the leaf decoders' share helps the formatters.
    const unsigned threads = run.threads.formatters + run.threads.decoders;
    const auto write_batch = [&](batch&, batch_text& out) {
        if (failed) return;
        os.write(out.text.data(), static_cast<std::streamsize>(out.text.size()));
        for (const unread_record& u : out.unread) say_unread(run, u.where, u.offset, u.why);
        failed = !os.good();
    };
    ordered_stage<batch, batch_text> stage(2 * static_cast<std::size_t>(threads) + 2, kRecoveredBatch,
                                           make_formatter, write_batch);
    stage.start(threads);
    for (std::size_t i = 0; i < records.size() && !failed; ++i) {
        const recovered_reference& r = records.reference(i);
        if (writer.admit_recovered(r.offset, r.source)) stage.add([i](batch& b) { b.push_back(i); });
    }
    stage.end();
}

}  // namespace

void write_records(std::ostream& os, selk_run& run, recovered_notifications& records) {
    if (run.options.switches[kSwitchPerTableFiles] != 0) {
        if (!run.options.out_file.empty()) create_per_table_files(run.options.out_file);
        return;
    }
    if (records.empty()) return;
    record_writer writer(os, run);
    if (!writer.start()) return;
    // The rows are formatted on the formatter threads, as the live rows are, once the header is out (a
    // timeline form's first row writes it), unless a joined text is too long to copy.
    const bool timeline = run.options.csvl2t || run.options.bodyfile;
    if ((!timeline || !run.header_on) && run.threads.formatters != 0 && !run.store.large_texts &&
        records.size() >= kParallelRecovered && records.all_references()) {
        write_references_in_parallel(os, run, records, writer);
        return;
    }
    notification_record n;  // each record decoded into it in turn
    std::string why, where;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const recovered_reference& r = records.reference(i);
        // A repeated offset is left out before its bytes are read again.
        if (r.file != recovered_notifications::kWholeRecord && !writer.admit_recovered(r.offset, r.source))
            continue;
        if (!records.record(i, n, why, where)) {
            say_unread(run, where, r.offset, why);
            continue;
        }
        const bool written =
            r.file == recovered_notifications::kWholeRecord ? writer.write(n) : writer.write_admitted(n);
        if (!written) return;
    }
}

printed_offsets::stretch& printed_offsets::stretch_of(std::uint64_t key) {
    const std::uint64_t wanted = key + 1;
    if (wanted == last_key_) return stretches_[last_index_];
    // At most half full: grown (and every key placed again) before that.
    if ((stretches_.size() + 1) * 2 > keys_.size()) {
        std::vector<std::uint64_t> old_keys(keys_.empty() ? 64 : keys_.size() * 2, 0);
        std::vector<std::uint32_t> old_indices(old_keys.size(), 0);
        old_keys.swap(keys_);
        old_indices.swap(indices_);
        const std::size_t mask = keys_.size() - 1;
        for (std::size_t k = 0; k < old_keys.size(); ++k) {
            if (old_keys[k] == 0) continue;
            std::size_t i = static_cast<std::size_t>((old_keys[k] * 0x9E3779B97F4A7C15ull) >> 20) & mask;
            while (keys_[i] != 0) i = (i + 1) & mask;
            keys_[i] = old_keys[k];
            indices_[i] = old_indices[k];
        }
    }
    const std::size_t mask = keys_.size() - 1;
    std::size_t i = static_cast<std::size_t>((wanted * 0x9E3779B97F4A7C15ull) >> 20) & mask;
    while (keys_[i] != 0 && keys_[i] != wanted) i = (i + 1) & mask;
    if (keys_[i] == 0) {
        keys_[i] = wanted;
        indices_[i] = static_cast<std::uint32_t>(stretches_.size());
        stretches_.emplace_back();
    }
    last_key_ = wanted;
    last_index_ = indices_[i];
    return stretches_[last_index_];
}

bool printed_offsets::insert(std::uint64_t offset) {
    stretch& s = stretch_of(offset >> kStretchBits);
    const std::uint16_t place = static_cast<std::uint16_t>(offset & ((1u << kStretchBits) - 1));
    const std::uint64_t bit = 1ull << (place & 63);
    if (s.bits) {
        std::uint64_t& word = s.bits[place >> 6];
        if ((word & bit) != 0) return false;
        word |= bit;
        return true;
    }
    std::uint16_t* const end = s.few + s.count;
    std::uint16_t* const at = std::lower_bound(s.few, end, place);
    if (at != end && *at == place) return false;
    if (s.count < kInline) {
        std::copy_backward(at, end, end + 1);
        *at = place;
        ++s.count;
        return true;
    }
    // Full: the places become a bitmap.
    s.bits.reset(new std::uint64_t[(1u << kStretchBits) / 64]());
    for (const std::uint16_t* p = s.few; p != end; ++p) s.bits[*p >> 6] |= 1ull << (*p & 63);
    s.bits[place >> 6] |= bit;
    return true;
}

record_writer::record_writer(std::ostream& os, selk_run& run) : os_(os), run_(run), report_(run) {}

record_writer::~record_writer() = default;

bool record_writer::admit(const notification_record& n) {
    return !is_recovered_record(n) || admit_recovered(n.record_offset, n.source_code());
}

bool record_writer::admit_recovered(std::uint64_t offset, unsigned source_code) {
    if (offset == 0) return true;
    printed_offsets& seen = source_in_main_db(source_code) ? main_file_offsets_ : other_file_offsets_;
    return seen.insert(offset);
}

bool record_writer::start() {
    if (failed_) return false;
    if (started_) return true;
    started_ = true;
    if (run_.options.switches[kSwitchPerTableFiles] != 0) {
        // As write_records: the per-table files are made once and nothing is printed.
        if (!run_.options.out_file.empty()) create_per_table_files(run_.options.out_file);
        return true;
    }
    if (!run_.options.csvl2t && !run_.options.bodyfile) {
        if (run_.header_on) {
            if (write_delimited_header(os_, run_) == 0) {
                failed_ = true;
                return false;
            }
        } else if (run_.header_fields.empty()) {
            // No header line is due, but the rows still need their template to size and place their cells.
            build_delimited_header_template(run_);
        }
    }
    rows_ = std::make_unique<report_row_writer>(report_);
    return true;
}

bool record_writer::write(const notification_record& n) {
    if (!start()) return false;
    if (run_.options.switches[kSwitchPerTableFiles] != 0) return true;
    if (!admit(n)) return true;
    return write_admitted(n);
}

bool record_writer::write_admitted(const notification_record& n) {
    if (!start()) return false;
    if (run_.options.switches[kSwitchPerTableFiles] != 0) return true;
    failed_ = rows_->write(os_, report_, run_.header_on, n) == 0;
    return !failed_;
}

report_row_writer::report_row_writer(const report_view& report) {
    if (report.options.csvl2t || report.options.bodyfile)
        timeline_ = std::make_unique<timeline_row_writer>(report);
    else
        delimited_ = std::make_unique<delimited_row_writer>(report);
}

report_row_writer::~report_row_writer() = default;

int report_row_writer::write(std::ostream& os, const report_view& report, bool& header_pending,
                             const notification_record& n) {
    const handler_entry* handler = join_handler(report, n);
    if (timeline_) return timeline_->write(os, report, header_pending, n, handler);
    return delimited_->write(os, report, n, handler, join_push_channel(report, n));
}
