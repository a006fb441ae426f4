// SPDX-License-Identifier: MIT
#include "platform/UdpSniffer.h"

namespace brelvo {

// Raw sockets on Windows see no UDP datagrams of other programs: the station
// hears other tools on the devices' ports instead.
SocketHandle openUdpSniffer(uint32_t, uint8_t) { return kInvalidSocket; }

int receiveSniffed(SocketHandle, uint8_t*, size_t, SocketAddress*, uint16_t*) { return -1; }

} // namespace brelvo
