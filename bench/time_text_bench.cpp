// FILETIME to report text, which every time cell of every row goes through: the time value alone, the
// value with its date and time texts, and the texts straight from the FILETIME as the rows make them.
// Each runs with the zone taken from the system's zone file (TZ unset, as on an examiner's machine) and
// from TZ=UTC, since the C library treats the two differently.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include "time/format_word.h"
#include "time/qm_time.h"
#include "time/time_text.h"

namespace {

constexpr std::uint64_t kFirst = 132521873530000000ull;  // 2020-12-11 19:09:13 UTC
constexpr std::uint64_t kStep = 370000000ull;            // 37 seconds

// Arg 0: TZ unset; arg 1: TZ=UTC.
void set_zone(const benchmark::State& state) {
    if (state.range(0) == 0)
        ::unsetenv("TZ");
    else
        ::setenv("TZ", "UTC", 1);
    ::tzset();
}

void filetime_to_time_value(benchmark::State& state) {
    set_zone(state);
    std::uint64_t ft = kFirst;
    for (auto _ : state) {
        const qm::time t(static_cast<unsigned long long>(ft), qm::type_filetime);
        benchmark::DoNotOptimize(t.valid);
        ft += kStep;
    }
}
BENCHMARK(filetime_to_time_value)->Arg(0)->Arg(1);

void filetime_to_date_and_time_text(benchmark::State& state) {
    set_zone(state);
    date_time_format f;
    parse_date_time_format(f, "yyyy-mm-dd", "hh:mm:ss.xxx", false);
    std::string date;
    std::string time;
    std::uint64_t ft = kFirst;
    for (auto _ : state) {
        const qm::time t(static_cast<unsigned long long>(ft), qm::type_filetime);
        format_date_time_by_format(date, time, t, f);
        benchmark::DoNotOptimize(date.data());
        benchmark::DoNotOptimize(time.data());
        ft += kStep;
    }
}
BENCHMARK(filetime_to_date_and_time_text)->Arg(0)->Arg(1);

// The road of a report's time cells: the texts straight from the FILETIME, without a whole time value.
void filetime_to_texts_directly(benchmark::State& state) {
    set_zone(state);
    date_time_format f;
    parse_date_time_format(f, "yyyy-mm-dd", "hh:mm:ss.xxx", false);
    std::string date;
    std::string time;
    std::uint64_t ft = kFirst;
    for (auto _ : state) {
        format_filetime_by_format(date, time, ft, f);
        benchmark::DoNotOptimize(date.data());
        benchmark::DoNotOptimize(time.data());
        ft += kStep;
    }
}
BENCHMARK(filetime_to_texts_directly)->Arg(0)->Arg(1);

}  // namespace
