// SPDX-License-Identifier: MIT
#include "platform/RouteTable.h"

namespace brelvo {

std::vector<Ipv4Route> readIpv4Routes() { return readIpv4RouteFile("/proc/net/route"); }

} // namespace brelvo
