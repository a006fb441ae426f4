// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Socket.h"
#include "protocol/EchoMessage.h"
#include "record/Event.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace brelvo {

constexpr int kSweepTargets = 253;

// How an echo socket delivers replies.
struct EchoSocket {
    SocketHandle handle = kInvalidSocket;
    bool withIpHeader = true;     // raw socket: whole IPv4 datagrams
    bool matchIdentifier = true;  // compare the reply's identifier with `identifier`
    uint16_t identifier = 0;      // raw 16 bits as they appear in a reply
};

// Collects echo replies for `waitMs` from the call, whatever else arrives
// (0 only takes what is queued), setting answered[i] when targets[i]
// answers the request it was sent (sequences[i]). 0 when the wait ran out
// or failed, -1 when a receive failed. A set `abort` flag ends the
// collection as a time-out.
int collectEchoReplies(const EchoSocket& socket, const uint32_t* targets, const uint16_t* sequences, int targetCount,
                       int waitMs, uint8_t* answered, const std::atomic<bool>* abort = nullptr);

// Probes hosts .1 to .253 of the /24 of `localAddress` with ICMP echo
// requests and writes the addresses that did not answer (ascending, network
// byte order, at most `capacity`) to `out`. Returns their number, or -1 when
// no ICMP socket could be opened.
int sweepFreeAddresses(const std::string& localAddress, int finalWaitMs, uint32_t* out, int capacity,
                       const std::atomic<bool>* abort = nullptr, IcmpMethod* method = nullptr);

// The 253 sweep targets of `localAddress` (network byte order).
void sweepTargets(uint32_t localAddress, uint32_t* targets);

} // namespace brelvo
