// SPDX-License-Identifier: MIT
#pragma once
// The system's own form of an IPv4 socket address, for the code that calls the
// socket API itself: both sides of the platform layer and the simulator's seam.

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#endif

#include "platform/Socket.h"

namespace brelvo {

inline sockaddr_in nativeAddress(uint32_t address, uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = port;
    sa.sin_addr.s_addr = address;
    return sa;
}

inline sockaddr_in nativeAddress(const SocketAddress& a) { return nativeAddress(a.address, a.port); }

} // namespace brelvo
