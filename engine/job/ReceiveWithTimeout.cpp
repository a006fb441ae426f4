#include "job/ReceiveWithTimeout.h"

namespace brelvo {

int receiveWithTimeout(SocketHandle s, uint8_t* buffer, size_t capacity, SocketAddress* source,
                       int timeoutMs)
{
    if (timeoutMs < 0)
        timeoutMs = 0;
    const int ready = waitReadable(s, timeoutMs / 1000, (timeoutMs % 1000) * 1000L);
    if (ready <= 0)
        return ready;
    return receiveFrom(s, buffer, capacity, source);
}

} // namespace brelvo
