// The "percent done" status line of one long step whose amount of work is known before it starts (the slack
// scan over every region of a database and its companion). The share shown only rises, and it is redrawn at
// most once per interval of its clock, however many small pieces the work comes in: a terminal gets a few
// lines a second, not one per page. The clock and the drawing can be handed in, so that a test drives the
// meter without depending on how fast it runs; by default they are the steady clock and the status line of
// console.h (a terminal only).
#pragma once

#include <cstdint>
#include <functional>

class progress_meter {
  public:
    // Milliseconds from any fixed point; never goes back.
    using clock = std::function<std::uint64_t()>;
    // Draws the share done, in hundredths of a percent (0 to 10000).
    using drawer = std::function<void(std::uint32_t hundredths)>;
    // At most four redraws a second.
    static constexpr std::uint64_t kIntervalMs = 250;

    // `total` units of work; no clock: the steady clock; no drawer: "percent done: N.NN" on the status line.
    explicit progress_meter(std::uint64_t total, clock now = clock(), drawer draw = drawer());
    progress_meter(const progress_meter&) = delete;
    progress_meter& operator=(const progress_meter&) = delete;

    // `work` more units are done (never counted past the total; 0 does nothing). The share is drawn when it
    // rose since it was last drawn and that was at least an interval ago (the first time, at once).
    void add(std::uint64_t work);
    // The step is over: when something was drawn, the share reached is drawn unless it was the last drawn,
    // and then the status line (the default drawer's) is cleared.
    void finish();

    std::uint64_t total() const { return total_; }
    std::uint64_t done() const { return done_; }
    // How many times the share was drawn.
    unsigned draws() const { return draws_; }

  private:
    std::uint32_t share() const;

    std::uint64_t total_;
    std::uint64_t done_ = 0;
    clock now_;
    drawer draw_;
    bool status_line_;            // draws on the status line of console.h
    std::uint32_t shown_ = 0;     // the share drawn last, in hundredths of a percent
    std::uint64_t drawn_at_ = 0;  // when it was drawn
    unsigned draws_ = 0;
};

// The steady clock in milliseconds.
std::uint64_t steady_milliseconds();
