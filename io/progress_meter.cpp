#include "io/progress_meter.h"

#include <chrono>
#include <utility>

#include "io/console.h"

std::uint64_t steady_milliseconds() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

progress_meter::progress_meter(std::uint64_t total, clock now, drawer draw)
    : total_(total), now_(std::move(now)), draw_(std::move(draw)), status_line_(!draw_) {
    if (!now_) now_ = steady_milliseconds;
    if (!draw_) {
        draw_ = [](std::uint32_t hundredths) {
            status_printf(40, "percent done: %u.%02u", hundredths / 100, hundredths % 100);
        };
    }
}

std::uint32_t progress_meter::share() const {
    if (total_ == 0 || done_ >= total_) return 10000;
    // done_ < total_: the quotient stays below 10000, and the product cannot wrap for any file size.
    if (done_ <= UINT64_MAX / 10000) return static_cast<std::uint32_t>(done_ * 10000 / total_);
    const std::uint64_t q = done_ / (total_ / 10000);
    return q < 9999 ? static_cast<std::uint32_t>(q) : 9999;
}

void progress_meter::add(std::uint64_t work) {
    if (work == 0) return;
    done_ = work < total_ - done_ ? done_ + work : total_;
    const std::uint32_t now_share = share();
    if (draws_ != 0 && now_share <= shown_) return;
    const std::uint64_t at = now_();
    if (draws_ != 0 && at - drawn_at_ < kIntervalMs) return;
    draw_(now_share);
    shown_ = now_share;
    drawn_at_ = at;
    ++draws_;
}

void progress_meter::finish() {
    if (draws_ == 0) return;
    // A share reached within the last interval was not drawn: the line ends on what the step reached.
    const std::uint32_t reached = share();
    if (reached != shown_) {
        draw_(reached);
        shown_ = reached;
        ++draws_;
    }
    if (status_line_) clear_status_line();
}
