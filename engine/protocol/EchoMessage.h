// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

namespace brelvo {

constexpr size_t kEchoRequestSize = 12;

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

// Which of `count` requests an echo reply (type 0) from `from` answers: the
// one sent to that very address, whose sequence it echoes, with
// `identifier` when `checkIdentifier`. -1 for other programs' replies and
// forged or stray ones.
int answeredRequest(const EchoReply& reply, uint32_t from, bool checkIdentifier, uint16_t identifier,
                    const uint32_t* addresses, const uint16_t* sequences, int count);

// Builds the 12-byte echo request into `out`: type 8, code 0, the
// identifier and sequence in the machine's byte order, the send time, and
// the checksum over all 12 bytes.
void buildEchoRequest(uint8_t* out, uint16_t identifier, uint16_t sequence, uint32_t sendTime);

} // namespace brelvo
