// SPDX-License-Identifier: MIT
#include "platform/Socket.h"
#include "platform/Clock.h"

namespace brelvo {

int waitReadableAbortable(SocketHandle s, long milliseconds, const std::atomic<bool>* abort,
                          long sliceMs)
{
    if (milliseconds < 0)
        milliseconds = 0;
    if (!abort || sliceMs <= 0)
        return waitReadable(s, milliseconds / 1000, (milliseconds % 1000) * 1000);
    long remaining = milliseconds;
    for (;;) {
        if (abort->load())
            return 0;
        const long slice = remaining < sliceMs ? remaining : sliceMs;
        const uint32_t before = tickCount();
        const int r = waitReadable(s, slice / 1000, (slice % 1000) * 1000);
        if (r != 0)
            return r;
        const long spent = static_cast<long>(static_cast<uint32_t>(tickCount() - before));
        remaining -= spent > slice ? spent : slice;
        if (remaining <= 0)
            return 0;
    }
}

} // namespace brelvo
