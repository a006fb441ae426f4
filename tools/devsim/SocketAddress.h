// SPDX-License-Identifier: MIT
#pragma once
// IPv4 addresses as the simulator keeps them (host order) and as the socket
// calls want them, and the address:port text of the summary and the errors.

#include "platform/Socket.h"

#include <cstdint>
#include <string>

namespace devsim {

brelvo::SocketAddress socketAddress(uint32_t hostOrderAddr, uint16_t hostOrderPort);
std::string endpointText(uint32_t hostOrderAddr, uint16_t hostOrderPort);
std::string endpointText(const brelvo::SocketAddress& a);

} // namespace devsim
