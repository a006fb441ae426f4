// SPDX-License-Identifier: MIT
#include "SocketAddress.h"

#include "DeviceCodec.h"

#include <arpa/inet.h>

namespace devsim {

sockaddr_in socketAddress(uint32_t addr, uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(addr);
    a.sin_port = htons(port);
    return a;
}

std::string endpointText(uint32_t addr, uint16_t port) { return addressText(addr) + ":" + std::to_string(port); }

} // namespace devsim
