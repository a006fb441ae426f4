// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Socket.h"

#include <cstddef>
#include <cstdint>

namespace brelvo {

// A socket that hears the UDP datagrams reaching this host on any port, bound
// or not, whose payload begins with the four bytes of `magic` (big-endian)
// and then a byte of at most `highestType`; the system drops the others
// before they are queued. Invalid without the right to open raw sockets
// (root or CAP_NET_RAW) or where the system has no such socket.
SocketHandle openUdpSniffer(uint32_t magic, uint8_t highestType);

// One datagram queued on such a socket, without waiting: its UDP payload (cut
// to `capacity`), its source and the port it was sent to (network order).
// The payload's length; 0 when nothing is queued; -1 on a failure.
int receiveSniffed(SocketHandle s, uint8_t* payload, size_t capacity, SocketAddress* from, uint16_t* toPort);

} // namespace brelvo
