// SPDX-License-Identifier: MIT
#include "server/FreePort.h"

#include "platform/Socket.h"

#include <algorithm>

namespace brelvo {

namespace {

constexpr int kAttempts = 64;

bool freeForUdp(uint16_t port)
{
    SocketHandle u = openUdpSocket();
    if (u == kInvalidSocket)
        return false;
    const bool free = bindSocket(u, 0, port) == 0;
    closeSocket(u);
    return free;
}

} // namespace

uint16_t findFreePortExcluding(const std::vector<uint16_t>& exclude)
{
    // Probe sockets of rejected numbers stay bound until the end, so that
    // the system offers a different number each time.
    std::vector<SocketHandle> held;
    uint16_t result = 0xFFFF;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        SocketHandle s = openTcpSocket();
        if (s == kInvalidSocket)
            break;
        held.push_back(s);
        SocketAddress bound;
        if (bindSocket(s, 0, 0) != 0 || socketName(s, &bound) != 0)
            break;
        if (std::find(exclude.begin(), exclude.end(), bound.port) != exclude.end())
            continue;
        if (freeForUdp(bound.port)) {
            result = bound.port;
            break;
        }
    }
    for (SocketHandle s : held)
        closeSocket(s);
    return result;
}

uint16_t findFreePort() { return findFreePortExcluding({}); }

} // namespace brelvo
