// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace brelvo_test {

// True once a socket of this network namespace holds UDP `port` (IPv4),
// read from the kernel's table: binding the port to find out would race
// with its owner. The one way tests and benchmarks wait for a listener.
inline bool udpPortBound(uint16_t port)
{
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, ":%04X", static_cast<unsigned>(port));
    std::ifstream in("/proc/self/net/udp");
    for (std::string line, slot, local; std::getline(in, line);) {
        std::istringstream(line) >> slot >> local;
        if (local.size() > 5 && local.compare(local.size() - 5, 5, suffix) == 0)
            return true;
    }
    return false;
}

} // namespace brelvo_test
