#include "server/FreePort.h"

#include "platform/Socket.h"

namespace brelvo {

uint16_t findFreePort()
{
    SocketHandle s = openTcpSocket();
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
