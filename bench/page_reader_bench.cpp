// One leaf page of the notification table through the own reader, as "-carve" reads it: the page decoded
// into rows, and the rows filled into notification records.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_db.h"
#include "io/fileio.h"
#include "notifications/records.h"
#include "notifications/table_queries.h"
#include "sqlite_format/btree.h"
#include "sqlite_format/schema_reader.h"

namespace {

constexpr text_encoding kUtf8 = text_encoding::utf8;

constexpr std::uint32_t kPageSize = 4096;
// Notifications that still fit on the table's one page, so that its root is a leaf.
constexpr int kRowsOnAPage = 14;

// The database in memory, its notification table's schema and its root page offset.
struct leaf_table {
    uni::fileio file;
    table_schema schema;
    std::uint64_t mask = 0;
    std::uint64_t root_offset = 0;
    bool ok = false;

    leaf_table() {
        const bench_db db(kRowsOnAPage);
        uni::fileio disk;
        if (db.path().empty() || !disk.open(db.path(), false, false, false)) return;
        std::vector<std::string> names, sqls;
        std::vector<std::uint32_t> roots;
        std::uint32_t page_size = kPageSize;
        std::uint8_t wal_image = 0;
        if (!read_master_table(names, sqls, roots, disk, page_size, db.path(), wal_image)) return;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] != "Notification") continue;
            std::uint32_t keyword_end = 0;
            parse_table_schema(schema, &keyword_end, sqls[i], 0, 1);
            root_offset = static_cast<std::uint64_t>(roots[i] - 1) * kPageSize;
        }
        mask = check_notification_schema(schema);
        std::vector<std::uint8_t> bytes(disk.size());
        std::uint64_t got = bytes.size();
        if (mask == 0 || !disk.read_at64(bytes.data(), &got, 0) || got != bytes.size()) return;
        ok = file.open_memory_copy(bytes, false, false) != 0;
    }
};

void decode_one_leaf_page(benchmark::State& state) {
    leaf_table t;
    std::vector<std::uint8_t> page(kPageSize);
    std::uint32_t got = kPageSize;
    if (!t.ok || !t.file.read_at(page.data(), &got, t.root_offset) || got != kPageSize || page[0] != 13) {
        state.SkipWithError("no leaf page");
        return;
    }
    for (auto _ : state) {
        artifact_map rows;
        parse_table_page(rows, page.data(), kPageSize, t.root_offset, t.root_offset, kPageSize, &t.file,
                         false, true, false, false, kUtf8, false);
        benchmark::DoNotOptimize(rows.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kPageSize);
}
BENCHMARK(decode_one_leaf_page);

void carve_one_leaf_page_into_records(benchmark::State& state) {
    leaf_table t;
    if (!t.ok) {
        state.SkipWithError("no leaf page");
        return;
    }
    std::size_t filled = 0;
    for (auto _ : state) {
        std::vector<table_record> rows;
        extract_table_records(rows, t.file, t.root_offset, kPageSize, 0, -1, true, false, kUtf8);
        for (const table_record& row : rows) {
            notification_record record;
            filled += populate_record_mapped(record, row.values, true, row.record_offset, t.mask,
                                             kSourceCarveMain, t.schema);
            set_metadata_from_table_record(record, row, t.mask, kTableNotification, t.schema);
        }
    }
    benchmark::DoNotOptimize(filled);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kPageSize);
    state.counters["rows"] = static_cast<double>(filled) / static_cast<double>(state.iterations());
}
BENCHMARK(carve_one_leaf_page_into_records);

}  // namespace
