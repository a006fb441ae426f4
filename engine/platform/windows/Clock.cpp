// SPDX-License-Identifier: MIT
#include "platform/Clock.h"

#include "platform/windows/WinSupport.h"

#include <timeapi.h>

namespace brelvo {

void sleepMilliseconds(unsigned ms) { Sleep(ms); }

uint32_t tickCount() { return GetTickCount(); }

uint32_t processId() { return GetCurrentProcessId(); }

int64_t monotonicNs()
{
    static const int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    const int64_t counts = c.QuadPart;
    // Split so that the product cannot overflow over months of uptime.
    return counts / frequency * 1000000000 + counts % frequency * 1000000000 / frequency;
}

// The timer tick drops from 15.6 ms to 1 ms for the whole process; kept
// until the process ends, as only the transfer thread asks for it.
void usePreciseTimers()
{
    static const bool raised = timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)raised;
}

} // namespace brelvo
