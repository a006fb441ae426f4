// SPDX-License-Identifier: MIT
#include "platform/NetworkInterfaces.h"

#include <fstream>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

// IFF_LOWER_UP is in <linux/if.h>, which clashes with <net/if.h>.
#ifndef IFF_LOWER_UP
#define IFF_LOWER_UP 0x10000
#endif

namespace brelvo {

std::vector<InterfaceAddress> listIpv4Addresses()
{
    std::vector<InterfaceAddress> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return out;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_name)
            continue;
        InterfaceAddress entry;
        entry.name = a->ifa_name;
        entry.address = reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr;
        if (a->ifa_netmask && a->ifa_netmask->sa_family == AF_INET)
            entry.netmask = reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr;
        entry.up = (a->ifa_flags & IFF_UP) != 0;
        entry.running = (a->ifa_flags & IFF_RUNNING) != 0;
        entry.lowerUp = (a->ifa_flags & IFF_LOWER_UP) != 0;
        entry.loopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
        out.push_back(std::move(entry));
    }
    ::freeifaddrs(list);
    return out;
}

namespace {

bool readFirstLine(const std::string& path, std::string& line)
{
    std::ifstream in(path);
    return in && std::getline(in, line);
}

} // namespace

LinkState readLinkState(const std::string& name, const std::string& sysClassNet)
{
    LinkState state;
    // Interface names never hold '/', but a name from elsewhere might.
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return state;
    const std::string dir = sysClassNet + "/" + name + "/";
    std::string text;
    if (!readFirstLine(dir + "ifindex", text))
        return state;
    const unsigned here = ::if_nametoindex(name.c_str());
    if (here == 0 || text != std::to_string(here))
        return state;
    if (!readFirstLine(dir + "operstate", state.operState))
        return state;
    state.known = true;
    if (readFirstLine(dir + "carrier", text) && (text == "0" || text == "1"))
        state.carrier = text == "1" ? 1 : 0;
    return state;
}

} // namespace brelvo
