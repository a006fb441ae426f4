// SPDX-License-Identifier: MIT
#pragma once
// IPv4 addresses as the simulator keeps them (host order) and as the socket
// calls want them, and the address:port text of the summary and the errors.

#include <netinet/in.h>

#include <cstdint>
#include <string>

namespace devsim {

sockaddr_in socketAddress(uint32_t hostOrderAddr, uint16_t hostOrderPort);
std::string endpointText(uint32_t hostOrderAddr, uint16_t hostOrderPort);

} // namespace devsim
