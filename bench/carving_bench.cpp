// Throughput of the hot paths of recovery: record decoding and signature matching over page-sized buffers,
// and the free space of every page of a database.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "bench_db.h"
#include "sqlite_format/carved_values.h"
#include "sqlite_format/freespace.h"
#include "sqlite_format/record.h"
#include "sqlite_format/signatures.h"

namespace {

// A page filled with copies of one small record: header [5, int, text 5, text 3, blob 2] and its body.
std::vector<std::uint8_t> page_of_records() {
    const std::uint8_t record[] = {0x05, 0x01, 0x17, 0x13, 0x10, 0x2A, 't',  'o',
                                   'a',  's',  't',  'x',  'm',  'l',  0xAB, 0xCD};
    std::vector<std::uint8_t> page;
    while (page.size() + sizeof record <= 4096) page.insert(page.end(), record, record + sizeof record);
    page.resize(4096, 0);
    return page;
}

void decode_values_of_a_page(benchmark::State& state) {
    const std::vector<std::uint8_t> page = page_of_records();
    for (auto _ : state) {
        std::size_t values = 0;
        for (std::size_t off = 0; off + 16 <= page.size(); off += 16) {
            std::vector<std::uint32_t> codes, sizes;
            std::uint32_t consumed = 0;
            if (!decode_record_header_n(&consumed, codes, sizes, page.data() + off + 1, 15, 4)) continue;
            std::vector<std::string> out;
            std::uint8_t truncated = 1;
            decode_record_values(nullptr, out, page.data() + off + 1 + consumed, 15 - consumed, codes, sizes,
                                 nullptr, true, &truncated);
            values += out.size();
        }
        benchmark::DoNotOptimize(values);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 4096);
}
BENCHMARK(decode_values_of_a_page);

void match_signature_at_every_byte(benchmark::State& state) {
    const std::vector<std::uint8_t> page = page_of_records();
    static const char* patterns[] = {"1", "-", "-", "+"};
    for (auto _ : state) {
        std::size_t hits = 0;
        for (std::uint32_t i = 0; i + 4 < page.size(); ++i)
            if (match_header_signature_fwd(page.data() + i, static_cast<std::uint32_t>(page.size() - i), 4, 0,
                                           patterns))
                ++hits;
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 4096);
}
BENCHMARK(match_signature_at_every_byte);

// The free space of every page from page 2 on of a database of 2,000 notifications, each page read into a
// buffer first, as the slack scan maps it.
void collect_slack_of_every_page(benchmark::State& state) {
    constexpr std::size_t kPage = 4096;
    const bench_db db(2000);
    std::ifstream in(db.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    if (bytes.size() < 2 * kPage) {
        state.SkipWithError("no database");
        return;
    }
    region_map slack;
    std::vector<std::uint8_t> page(kPage);
    for (auto _ : state) {
        slack.clear();
        for (std::size_t at = kPage; at + kPage <= bytes.size(); at += kPage) {
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), kPage, page.begin());
            (void)collect_page_slack(slack, page.data(), kPage, at, true, bytes.size() / kPage, kPage);
        }
        benchmark::DoNotOptimize(slack.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (bytes.size() - kPage)));
}
BENCHMARK(collect_slack_of_every_page);

}  // namespace
