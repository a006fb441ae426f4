// SPDX-License-Identifier: MIT
#include "platform/RouteTable.h"

#include "platform/AddressText.h"
#include "platform/windows/WinSupport.h"

#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>

// Windows' headers make "interface" a keyword, which the route's field is.
#undef interface

namespace brelvo {

namespace {

// The name the interface list gives the same card (its alias, "Ethernet 2").
std::string interfaceName(const NET_LUID& luid)
{
    wchar_t alias[IF_MAX_STRING_SIZE + 1] = {};
    if (ConvertInterfaceLuidToAlias(&luid, alias, IF_MAX_STRING_SIZE + 1) != NO_ERROR)
        return std::string();
    return win::narrow(alias);
}

// Network byte order, as the rest of the route.
uint32_t maskOf(unsigned prefix)
{
    return prefix == 0 ? 0 : hostToNet32(0xFFFFFFFFu << (32 - prefix));
}

} // namespace

std::vector<Ipv4Route> readIpv4Routes()
{
    std::vector<Ipv4Route> routes;
    MIB_IPFORWARD_TABLE2* table = nullptr;
    if (GetIpForwardTable2(AF_INET, &table) != NO_ERROR || !table)
        return routes;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPFORWARD_ROW2& row = table->Table[i];
        const unsigned prefix = row.DestinationPrefix.PrefixLength;
        if (row.DestinationPrefix.Prefix.si_family != AF_INET || prefix > 32)
            continue;
        Ipv4Route r;
        r.interface = interfaceName(row.InterfaceLuid);
        r.destination = row.DestinationPrefix.Prefix.Ipv4.sin_addr.s_addr;
        r.gateway = row.NextHop.si_family == AF_INET ? row.NextHop.Ipv4.sin_addr.s_addr : 0;
        r.mask = maskOf(prefix);
        // The active table holds only usable routes; the flags say what
        // Linux's would.
        r.flags = 0x1u | (r.gateway ? 0x2u : 0u) | (prefix == 32 ? 0x4u : 0u);
        r.metric = static_cast<int>(row.Metric);
        routes.push_back(std::move(r));
    }
    FreeMibTable(table);
    return routes;
}

} // namespace brelvo
