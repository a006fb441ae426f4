#include "platform/Pacer.h"

#include <cerrno>
#include <ctime>
#include <sys/prctl.h>

namespace brelvo {

int64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

Pacer::Pacer(uint32_t intervalUs, uint32_t maxLagUs)
    : interval_(static_cast<int64_t>(intervalUs) * 1000), maxLag_(static_cast<int64_t>(maxLagUs) * 1000)
{
}

void Pacer::start()
{
    // The default slack (50 us) comes on top of every wake-up.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    next_ = monotonicNs();
}

void Pacer::wait()
{
    next_ += interval_;
    const int64_t now = monotonicNs();
    if (now - next_ > maxLag_) {
        next_ = now;
        return;
    }
    if (now >= next_)
        return;
    timespec at{static_cast<time_t>(next_ / 1000000000), static_cast<long>(next_ % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

} // namespace brelvo
