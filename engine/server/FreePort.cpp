#include "server/FreePort.h"

#include "platform/Socket.h"

namespace brelvo {

uint16_t findFreePort()
{
    // Probed in the UDP space, where the job will bind it: a TCP probe can
    // return a port that a lingering job's UDP socket still holds.
    SocketHandle s = openUdpSocket();
    if (s == kInvalidSocket)
        return 0xFFFF;
    SocketAddress bound;
    if (bindSocket(s, 0, 0) != 0 || socketName(s, &bound) != 0) {
        closeSocket(s);
        return 0xFFFF;
    }
    closeSocket(s);
    return bound.port;
}

} // namespace brelvo
