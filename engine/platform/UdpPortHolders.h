// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brelvo {

// A process with a descriptor of a socket.
struct ProcessInfo {
    int pid = 0;
    std::string comm;        // the kernel's short name (at most 15 bytes)
    std::string commandLine; // arguments joined by spaces; empty when hidden
};

// A UDP socket of this network namespace bound to a given port, with the
// processes that hold it as far as this process may look into them.
struct UdpPortHolder {
    uint64_t inode = 0;
    uint32_t uid = 0;        // the socket's owner
    std::string local;       // bound address and port, e.g. "0.0.0.0:3281", "[::]:3281"
    std::vector<ProcessInfo> processes; // empty: no readable process holds it
};

// The UDP and UDP-over-IPv6 sockets bound to `port` (host byte order), read
// from `procRoot`/net/udp and udp6, and their holders found through the
// socket links of `procRoot`/PID/fd. Processes whose descriptors this
// process may not read are skipped, so a holder may come without any.
// On Windows the system's UDP table names the owning process (its image
// path stands in for the command line) and `procRoot` is not used.
std::vector<UdpPortHolder> findUdpPortHolders(uint16_t port, const std::string& procRoot = "/proc");

// Binds a UDP socket to 0.0.0.0:`port` (host byte order) as the listener
// would, and closes it at once: 0 when that worked, else the errno. Sends
// nothing.
int tryBindUdpPort(uint16_t port);
bool isAddressInUseError(int code);

} // namespace brelvo
