// SPDX-License-Identifier: MIT
#pragma once

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <iphlpapi.h>
#include <vector>
#undef interface // a macro of the COM headers; a plain name elsewhere
#endif
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
#ifdef _WIN32
    std::vector<unsigned char> buffer(64 * 1024);
    ULONG size = static_cast<ULONG>(buffer.size());
    if (GetUdpTable(reinterpret_cast<MIB_UDPTABLE*>(buffer.data()), &size, FALSE) != NO_ERROR)
        return false;
    const auto* table = reinterpret_cast<const MIB_UDPTABLE*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
        if (ntohs(static_cast<u_short>(table->table[i].dwLocalPort)) == port)
            return true;
    return false;
#endif
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
