#include "platform/LocalAddresses.h"

#include <ifaddrs.h>
#include <netinet/in.h>

namespace brelvo {

std::vector<uint32_t> localIpv4Addresses()
{
    std::vector<uint32_t> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return out;
    for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr != nullptr && i->ifa_addr->sa_family == AF_INET)
            out.push_back(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    }
    freeifaddrs(list);
    return out;
}

} // namespace brelvo
