// One notification row through the record filling and the output layer: the tables of a small database
// read by the library path, a notification filled from its column texts as the row filler fills the
// library's rows, and written as a delimited row, as log2timeline events and as a bodyfile line into a
// stream that discards it.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_db.h"
#include "io/null_stream.h"
#include "notifications/database_state.h"
#include "notifications/library_path.h"
#include "notifications/report_delimited.h"
#include "notifications/report_timeline.h"
#include "notifications/report_writer.h"
#include "notifications/row_pipeline.h"

namespace {

// Options of the given output switches for the benchmark database.
bool parse_options(selk_options& options, const bench_db& db, const std::vector<std::string>& switches) {
    std::vector<std::string> args = {"selk", "-db", db.path(), "-quiet"};
    args.insert(args.end(), switches.begin(), switches.end());
    return !db.path().empty() && parse_selk_options(options, args) != 0;
}

// The column texts of one notification as the library hands them to the row callback.
std::vector<std::string> notification_texts() {
    return {"1",
            "1001",
            "2",
            std::string(16, '\x11'),
            "toast",
            "<toast launch=\"app\"><visual><binding template=\"ToastGeneric\"><text>Message "
            "1</text><text>Lunch on Friday?</text></binding></visual></toast>",
            "",
            "",
            "132593220371930000",
            "132590628371930000",
            "1",
            "Xml",
            "0",
            "0"};
}

// The values and sizes of `texts` as the row callback receives them.
void point_at(std::vector<std::string>& texts, std::vector<char*>& values, std::vector<unsigned>& sizes) {
    for (std::string& t : texts) {
        values.push_back(&t[0]);
        sizes.push_back(static_cast<unsigned>(t.size()));
    }
}

// The benchmark database's tables read into the run (its notification written to a stream that discards
// it), and `n` filled from notification_texts() by the row filler of the run's notification schema.
bool read_database(selk_run& run, const bench_db& db, notification_record& n) {
    std::string path = db.path();
    null_out_stream discarded;
    {
        record_writer writer(discarded, run);
        row_pipeline rows(discarded, run, writer, 0);
        if (read_database_tables(run, path, rows) == 0) return false;
        rows.finish();
        if (rows.rows_seen() == 0) return false;
    }
    std::vector<std::string> texts = notification_texts();
    std::vector<char*> values;
    std::vector<unsigned> sizes;
    point_at(texts, values, sizes);
    notification_row_filler filler;
    filler.schema = &run.layout.schemas[kSchemaNotification];
    filler.mask = filler.schema->column_mask;
    notification_row row;
    row.count = static_cast<int>(values.size());
    row.values = values.data();
    row.sizes = &sizes;
    return filler.fill(n, row) && !run.store.handlers.empty() && !run.store.push_channels.empty();
}

// The benchmark database of one row read with the given output switches; `ok` when it could be.
struct bench_run {
    explicit bench_run(const std::vector<std::string>& switches)
        : db(1),
          parsed(parse_options(options, db, switches)),
          run(options),
          ok(parsed && read_database(run, db, notification)) {}

    const bench_db db;
    selk_options options;
    const bool parsed;
    selk_run run;
    notification_record notification;
    const bool ok;
};

// Arg 0: default padded rows; 1: "-csv"; 2: "-csvl2t"; 3: "-bodyfile".
void write_one_row(benchmark::State& state) {
    static const std::vector<std::string> kSwitches[] = {{}, {"-csv"}, {"-csvl2t"}, {"-bodyfile"}};
    bench_run b(kSwitches[state.range(0)]);
    const selk_options& options = b.options;
    selk_run& run = b.run;
    if (!b.ok) {
        state.SkipWithError("cannot read the benchmark database");
        return;
    }
    notification_record& n = b.notification;
    const handler_entry* handler = &run.store.handlers[0];
    const channel_entry* channel = &run.store.push_channels[0];
    null_out_stream out;
    if (!options.csvl2t && !options.bodyfile) write_delimited_header(out, run);
    const report_view report(run);
    for (auto _ : state) {
        int ok;
        if (options.bodyfile)
            ok = write_notification_bodyfile(out, run, n, handler);
        else if (options.csvl2t)
            ok = write_notification_l2t(out, run, n, handler);
        else
            ok = write_delimited_row(out, report, n, handler, channel);
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(write_one_row)->DenseRange(0, 3);

// Default padded rows as a report writes them: through one writer kept from row to row.
void write_rows_of_a_report(benchmark::State& state) {
    bench_run b({});
    selk_run& run = b.run;
    if (!b.ok) {
        state.SkipWithError("cannot read the benchmark database");
        return;
    }
    notification_record& n = b.notification;
    const handler_entry* handler = &run.store.handlers[0];
    const channel_entry* channel = &run.store.push_channels[0];
    null_out_stream out;
    write_delimited_header(out, run);
    const report_view report(run);
    delimited_row_writer writer(report);
    for (auto _ : state) {
        const int ok = writer.write(out, report, n, handler, channel);
        benchmark::DoNotOptimize(ok);
        // A new arrival time each row, as in a table: the handler's and channel's times repeat.
        n.arrival_time += 370000000ull;
    }
}
BENCHMARK(write_rows_of_a_report);

// The column texts of one notification as the library hands them to the row callback.
void fill_one_notification(benchmark::State& state) {
    bench_run b({});
    selk_run& run = b.run;
    if (!b.ok) {
        state.SkipWithError("cannot read the benchmark database");
        return;
    }
    const std::uint64_t mask = run.layout.schemas[kSchemaNotification].column_mask;
    std::vector<std::string> texts = notification_texts();
    std::vector<char*> values;
    std::vector<unsigned> sizes;
    point_at(texts, values, sizes);
    for (auto _ : state) {
        notification_record record;
        const int ok = record.populate_record(static_cast<int>(values.size()), values.data(), sizes, false, 0,
                                              mask, static_cast<int>(values.size()), kSourceSqliteLib);
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(fill_one_notification);

}  // namespace
