// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Socket.h"

#include <cstdint>
#include <vector>

namespace brelvo {

// Waits on many sockets at once with a deadline in nanoseconds of the
// monotonic clock, so one thread can serve every job and still keep a
// sub-millisecond schedule. Where the system's timed waits are coarse
// (Windows), the last stretch before a deadline is waited out on the
// high-resolution counter.
class Poller {
public:
    Poller();
    ~Poller();
    Poller(const Poller&) = delete;
    Poller& operator=(const Poller&) = delete;

    bool valid() const;
    // Watches `s` for readability and reports `token` when it is. 0 or -1.
    int add(SocketHandle s, uint64_t token);
    int remove(SocketHandle s);
    // Waits until a watched descriptor is readable or `deadlineNs` passes
    // (INT64_MAX: no deadline; a deadline in the past only polls). The
    // tokens of the readable ones go to `ready` (cleared first). The number
    // of them, or -1 on failure.
    int wait(int64_t deadlineNs, std::vector<uint64_t>& ready);

private:
#ifdef _WIN32
    struct Watched {
        SocketHandle socket;
        uint64_t token;
    };
    std::vector<Watched> watched_;
    void* timer_ = nullptr; // a high-resolution waitable timer
#else
    int fd_ = -1;
    bool precise_ = true; // the kernel takes nanosecond time-outs
#endif
};

// A handle that another thread makes readable to wake a Poller: an event
// counter, or on Windows a loopback socket that sends itself a byte.
class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    SocketHandle fd() const { return fd_; }
    bool valid() const { return fd_ != kInvalidSocket; }
    void raise();
    // Takes the signal back (after the wake-up).
    void clear();

private:
    SocketHandle fd_ = kInvalidSocket;
};

} // namespace brelvo
