// SPDX-License-Identifier: MIT
#include "platform/RouteTable.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace brelvo {

namespace {

// The table prints each 32-bit value as it lies in memory, as %08X.
bool parseHex32(const std::string& text, uint32_t& out)
{
    if (text.empty() || text.size() > 8)
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text.c_str(), &end, 16);
    if (errno || *end || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

} // namespace

std::vector<Ipv4Route> readIpv4RouteFile(const std::string& path)
{
    std::vector<Ipv4Route> routes;
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line)) // the column titles
        return routes;
    while (std::getline(in, line)) {
        // Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT
        std::istringstream fields(line);
        std::string iface, dest, gateway, flags, refcnt, use, metric, mask;
        if (!(fields >> iface >> dest >> gateway >> flags >> refcnt >> use >> metric >> mask))
            continue;
        Ipv4Route r;
        uint32_t flagBits = 0;
        if (!parseHex32(dest, r.destination) || !parseHex32(gateway, r.gateway) ||
            !parseHex32(flags, flagBits) || !parseHex32(mask, r.mask))
            continue;
        char* end = nullptr;
        errno = 0;
        const long m = std::strtol(metric.c_str(), &end, 10);
        if (errno || *end || m < 0 || m > 0x7FFFFFFF)
            continue;
        r.interface = iface;
        r.flags = flagBits;
        r.metric = static_cast<int>(m);
        routes.push_back(std::move(r));
    }
    return routes;
}

} // namespace brelvo
