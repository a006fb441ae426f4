// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brelvo {

// One IPv4 address of a network interface of this namespace. Addresses are
// in network byte order, as everywhere in the engine.
struct InterfaceAddress {
    std::string name;
    uint32_t address = 0;
    uint32_t netmask = 0;
    bool up = false;       // switched on (ip link set NAME up)
    bool running = false;  // operational: the kernel would pass traffic
    bool lowerUp = false;  // the link layer has a carrier
    bool loopback = false;
};

// Every IPv4 address of every interface, in the order the system gives
// them; empty when the system cannot be asked.
std::vector<InterfaceAddress> listIpv4Addresses();

// The state an interface reports in sysfs: operstate ("up", "down",
// "unknown", "dormant", "lowerlayerdown", ...) and carrier (1, 0, or -1 when
// the kernel will not say, as for an interface that is switched off).
struct LinkState {
    bool known = false; // false: no sysfs entry for this interface here
    std::string operState;
    int carrier = -1;
};

// Reads `sysClassNet`/NAME/{ifindex,operstate,carrier}; on Windows the
// adapter's operational status stands in and `sysClassNet` is not used. A sysfs mounted for
// another network namespace (unshare without a fresh /sys) describes other
// interfaces of the same name: its ifindex must match this namespace's, or
// the state counts as unknown.
LinkState readLinkState(const std::string& name, const std::string& sysClassNet = "/sys/class/net");

} // namespace brelvo
