// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brelvo {

// One IPv4 route of the main table. Addresses in network byte order.
struct Ipv4Route {
    std::string interface;
    uint32_t destination = 0;
    uint32_t gateway = 0;
    uint32_t mask = 0;
    unsigned flags = 0; // RTF_UP 0x1, RTF_GATEWAY 0x2, RTF_HOST 0x4
    int metric = 0;

    bool isDefault() const { return destination == 0 && mask == 0 && (flags & 0x1u); }
};

// The IPv4 routes this machine (its network namespace) uses now; empty when
// they cannot be read.
std::vector<Ipv4Route> readIpv4Routes();

// Linux: the routes in the kernel's text table at `path` (/proc/net/route);
// lines that do not parse are left out. Empty when it cannot be read.
std::vector<Ipv4Route> readIpv4RouteFile(const std::string& path);

} // namespace brelvo
