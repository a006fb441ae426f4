// SPDX-License-Identifier: MIT
#include "platform/EchoService.h"

namespace brelvo {

// Linux offers ICMP sockets instead of a service; the sweep opens those.
int pingThroughEchoService(const uint32_t*, int, int, uint8_t*, uint32_t*, const std::atomic<bool>*) { return -1; }

bool echoServiceAvailable() { return false; }

} // namespace brelvo
