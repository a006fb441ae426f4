// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>

namespace brelvo {

// Pings `targets` (network byte order) through the system's own echo
// service, which needs no rights: one request each, all in flight at once.
// Sets answered[i] and roundTripMs[i] for each target that answered within
// `waitMs`; a set `abort` ends the wait early. Returns how many answered,
// or -1 when the system has no such service (Linux: its ICMP sockets serve).
int pingThroughEchoService(const uint32_t* targets, int count, int waitMs, uint8_t* answered, uint32_t* roundTripMs,
                           const std::atomic<bool>* abort = nullptr);

// Whether the echo service above can be used here.
bool echoServiceAvailable();

} // namespace brelvo
