// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace brelvo {

void sleepMilliseconds(unsigned ms);
// Milliseconds since an arbitrary start; wraps at 2^32.
uint32_t tickCount();
uint32_t processId();
// Nanoseconds of the monotonic clock.
int64_t monotonicNs();
// Makes the calling thread's timed waits end as exactly as the kernel
// allows (the default slack of 50 us comes on top of every wake-up; on
// Windows the process's timer tick drops to 1 ms).
void usePreciseTimers();

} // namespace brelvo
