// SPDX-License-Identifier: MIT
#include "platform/NetworkInterfaces.h"

#include "platform/windows/WinSupport.h"

#include <iphlpapi.h>
#include <netioapi.h>

#include <functional>
#include <vector>

namespace brelvo {

namespace {

// Walks the IPv4 adapters; false when the system cannot be asked.
bool forEachAdapter(const std::function<void(const IP_ADAPTER_ADDRESSES&)>& visit)
{
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(AF_INET, flags, nullptr,
                                      reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR)
        return false;
    for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next)
        visit(*a);
    return true;
}

const char* operStateText(IF_OPER_STATUS s)
{
    switch (s) {
    case IfOperStatusUp: return "up";
    case IfOperStatusDown: return "down";
    case IfOperStatusTesting: return "testing";
    case IfOperStatusDormant: return "dormant";
    case IfOperStatusNotPresent: return "notpresent";
    case IfOperStatusLowerLayerDown: return "lowerlayerdown";
    default: return "unknown";
    }
}

} // namespace

std::vector<InterfaceAddress> listIpv4Addresses()
{
    std::vector<InterfaceAddress> out;
    forEachAdapter([&](const IP_ADAPTER_ADDRESSES& a) {
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = a.FirstUnicastAddress; u; u = u->Next) {
            if (!u->Address.lpSockaddr || u->Address.lpSockaddr->sa_family != AF_INET)
                continue;
            InterfaceAddress entry;
            // The name people see in the network settings ("Ethernet 2").
            entry.name = a.FriendlyName ? win::narrow(a.FriendlyName) : std::string(a.AdapterName);
            entry.address = reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr)->sin_addr.s_addr;
            ULONG mask = 0;
            if (ConvertLengthToIpv4Mask(u->OnLinkPrefixLength, &mask) == NO_ERROR)
                entry.netmask = mask;
            // Windows says only whether an adapter is operational: one that
            // is switched off reads as down, one without a cable as not up.
            entry.up = a.OperStatus != IfOperStatusDown && a.OperStatus != IfOperStatusNotPresent;
            entry.running = a.OperStatus == IfOperStatusUp;
            entry.lowerUp = a.OperStatus == IfOperStatusUp;
            entry.loopback = a.IfType == IF_TYPE_SOFTWARE_LOOPBACK;
            out.push_back(std::move(entry));
        }
    });
    return out;
}

LinkState readLinkState(const std::string& name, const std::string&)
{
    // Windows keeps no sysfs: the adapter's operational status stands in.
    LinkState state;
    forEachAdapter([&](const IP_ADAPTER_ADDRESSES& a) {
        if (state.known || !a.FriendlyName || win::narrow(a.FriendlyName) != name)
            return;
        state.known = true;
        state.operState = operStateText(a.OperStatus);
        state.carrier = a.OperStatus == IfOperStatusUp ? 1 : a.OperStatus == IfOperStatusDown ? -1 : 0;
    });
    return state;
}

} // namespace brelvo
