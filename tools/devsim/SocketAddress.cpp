// SPDX-License-Identifier: MIT
#include "SocketAddress.h"

#include "DeviceCodec.h"

#include "platform/AddressText.h"

namespace devsim {

brelvo::SocketAddress socketAddress(uint32_t addr, uint16_t port)
{
    return brelvo::SocketAddress{brelvo::hostToNet32(addr), brelvo::hostToNet16(port)};
}

std::string endpointText(uint32_t addr, uint16_t port) { return addressText(addr) + ":" + std::to_string(port); }

std::string endpointText(const brelvo::SocketAddress& a)
{
    return endpointText(brelvo::netToHost32(a.address), brelvo::netToHost16(a.port));
}

} // namespace devsim
