#include "io/progress_meter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "terminal_capture.h"

namespace {

// The meter on a clock the test sets: each step is (the clock's time in ms, work added), and what is drawn
// is the list of shares in hundredths of a percent.
struct meter_case {
    const char* name;
    std::uint64_t total;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> steps;
    std::vector<std::uint32_t> drawn;
};

TEST(progress_meter, draws_only_a_rise_and_at_most_once_an_interval) {
    const std::vector<meter_case> cases = {
        {"the first piece at once, the rest of the same instant not",
         1000,
         {{0, 100}, {0, 100}, {0, 100}},
         {1000}},
        {"a rise an interval after the last draw",
         1000,
         {{0, 100}, {100, 100}, {250, 100}, {499, 100}, {500, 100}},
         {1000, 3000, 5000}},
        {"no rise, no draw, however late", 100000, {{0, 1}, {1000, 1}, {2000, 97}}, {0, 9}},
        {"never past the whole", 10, {{0, 4}, {300, 30}, {600, 5}}, {4000, 10000}},
        {"nothing added, nothing drawn", 10, {{0, 0}, {300, 0}}, {}},
        {"a clock that stands still draws once", 400, {{7, 100}, {7, 100}, {7, 100}, {7, 100}}, {2500}},
        {"a total beyond what a product of 10000 holds",
         UINT64_MAX - 1,
         {{0, UINT64_MAX / 2}, {250, UINT64_MAX / 4}, {500, UINT64_MAX}},
         {5000, 7500, 10000}},
    };
    for (const meter_case& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint64_t now = 0;
        std::vector<std::uint32_t> drawn;
        progress_meter meter(
            c.total, [&now] { return now; }, [&drawn](std::uint32_t share) { drawn.push_back(share); });
        std::uint64_t done = 0;
        for (const auto& step : c.steps) {
            now = step.first;
            meter.add(step.second);
            done = step.second < c.total - done ? done + step.second : c.total;
            EXPECT_EQ(meter.done(), done);
        }
        EXPECT_EQ(drawn, c.drawn);
        EXPECT_EQ(meter.draws(), c.drawn.size());
    }
}

// The default drawer is the status line: "percent done" with two decimals, at the end the share reached (not
// drawn within the interval) and then cleared, and nothing at all where nothing was drawn.
TEST(progress_meter, draws_on_the_status_line_and_clears_it) {
    const std::string clear_short = "\x1b[2K\r    \r";
    const std::string clear_long = "\x1b[2K\r" + std::string(27, ' ') + "\r";
    terminal_capture::capture_terminal_stderr();
    {
        progress_meter meter(10000, [] { return std::uint64_t{0}; });
        meter.add(1234);
        meter.add(1000);  // the same instant: drawn only at the end
        meter.finish();
    }
    EXPECT_EQ(terminal_capture::captured_terminal_stderr(),
              clear_short + "percent done: 12.34\r" + clear_short + "percent done: 22.34\r" + clear_long);
    terminal_capture::capture_terminal_stderr();
    progress_meter idle(10000);
    idle.finish();
    EXPECT_EQ(terminal_capture::captured_terminal_stderr(), "");
}

}  // namespace
