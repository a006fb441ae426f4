#pragma once

#include "platform/Socket.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace brelvo {

constexpr int kSweepTargets = 253;

// RFC 1071 checksum: 16-bit words summed in memory order (an odd last byte
// on its own), carries folded back, result complemented. Stored as it is
// into the header, it makes the whole message sum to zero.
uint16_t internetChecksum(const uint8_t* data, size_t length);

// The fields of an ICMP message read by the sweep.
struct EchoReply {
    uint8_t type = 0;
    uint16_t identifier = 0; // as stored in the message (raw 16 bits)
    uint16_t sequence = 0;   // as stored in the message (raw 16 bits)
    uint32_t sendTime = 0;   // as stored in the message (raw 32 bits)
};

// Reads an ICMP message out of any bytes. With `withIpHeader` the bytes are
// a whole IPv4 datagram and the header length field says where the ICMP
// message begins. False when the bytes are too short for the fields read
// (or the header length is impossible).
bool parseEchoReply(const uint8_t* data, size_t length, bool withIpHeader, EchoReply* reply);

// Builds the 12-byte echo request into `out`: type 8, code 0, the
// identifier and sequence in the machine's byte order, the send time, and
// the checksum over all 12 bytes.
void buildEchoRequest(uint8_t* out, uint16_t identifier, uint16_t sequence, uint32_t sendTime);

// How an echo socket delivers replies.
struct EchoSocket {
    SocketHandle handle = kInvalidSocket;
    bool withIpHeader = true;     // raw socket: whole IPv4 datagrams
    bool matchIdentifier = true;  // compare the reply's identifier with `identifier`
    uint16_t identifier = 0;      // raw 16 bits as they appear in a reply
};

// Collects echo replies until `waitMs` passes without one (0 only takes
// what is queued), setting answered[i] for the first target equal to each
// replying sender. 0 when the wait ran out or failed, -1 when a receive
// failed. A set `abort` flag ends the collection as a time-out.
int collectEchoReplies(const EchoSocket& socket, const uint32_t* targets, int targetCount, int waitMs,
                       uint8_t* answered, const std::atomic<bool>* abort = nullptr);

// Probes hosts .1 to .253 of the /24 of `localAddress` with ICMP echo
// requests and writes the addresses that did not answer (ascending, network
// byte order, at most `capacity`) to `out`. Returns their number, or -1 when
// no ICMP socket could be opened.
int sweepFreeAddresses(const std::string& localAddress, int finalWaitMs, uint32_t* out, int capacity,
                       const std::atomic<bool>* abort = nullptr);

// The 253 sweep targets of `localAddress` (network byte order).
void sweepTargets(uint32_t localAddress, uint32_t* targets);

} // namespace brelvo
