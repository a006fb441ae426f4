// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

namespace brelvo {

// Waits on many descriptors at once with a deadline in nanoseconds of the
// monotonic clock, so one thread can serve every job and still keep a
// sub-millisecond schedule.
class Poller {
public:
    Poller();
    ~Poller();
    Poller(const Poller&) = delete;
    Poller& operator=(const Poller&) = delete;

    bool valid() const { return fd_ >= 0; }
    // Watches `fd` for readability and reports `token` when it is. 0 or -1.
    int add(int fd, uint64_t token);
    int remove(int fd);
    // Waits until a watched descriptor is readable or `deadlineNs` passes
    // (INT64_MAX: no deadline; a deadline in the past only polls). The
    // tokens of the readable ones go to `ready` (cleared first). The number
    // of them, or -1 on failure.
    int wait(int64_t deadlineNs, std::vector<uint64_t>& ready);

private:
    int fd_ = -1;
    bool precise_ = true; // the kernel takes nanosecond time-outs
};

// A descriptor that another thread makes readable to wake a Poller.
class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    int fd() const { return fd_; }
    void raise();
    // Takes the signal back (after the wake-up).
    void clear();

private:
    int fd_ = -1;
};

} // namespace brelvo
