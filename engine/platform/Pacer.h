#pragma once

#include <cstdint>

namespace brelvo {

// Keeps a steady rate of one step per interval against an absolute
// schedule, so the lateness of each wake-up does not add up over thousands
// of steps. Never faster than the interval on average; after a stall longer
// than `maxLagUs` (preemption) the schedule restarts from now instead of
// bursting to catch up.
class Pacer {
public:
    explicit Pacer(uint32_t intervalUs = 1000, uint32_t maxLagUs = 2000);

    // The schedule begins now. Also makes the calling thread's timers fire
    // as exactly as the kernel allows.
    void start();
    // Waits for the next step's slot.
    void wait();

    // The schedule's next slot, in nanoseconds of the monotonic clock.
    int64_t nextSlotNs() const { return next_; }

private:
    int64_t interval_;
    int64_t maxLag_;
    int64_t next_ = 0;
};

// Nanoseconds of the monotonic clock.
int64_t monotonicNs();

} // namespace brelvo
