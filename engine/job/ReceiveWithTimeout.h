#pragma once

#include "platform/Socket.h"

#include <cstddef>
#include <cstdint>

namespace brelvo {

// Waits up to `timeoutMs` (0 only polls) for a datagram on `s` and receives
// it: -1 when the wait failed, 0 when nothing arrived, otherwise what the
// receive gave (the datagram's size, cut to `capacity`, or -1). The
// sender's address goes to `source`.
int receiveWithTimeout(SocketHandle s, uint8_t* buffer, size_t capacity, SocketAddress* source,
                       int timeoutMs);

} // namespace brelvo
