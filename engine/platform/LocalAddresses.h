#pragma once

#include <cstdint>
#include <vector>

namespace brelvo {

// Every IPv4 address configured on this machine's interfaces (network byte
// order), loopback included. Empty when the system cannot tell.
std::vector<uint32_t> localIpv4Addresses();

} // namespace brelvo
