// SPDX-License-Identifier: MIT
#include "platform/NeighbourTable.h"

#include "platform/ErrorText.h"
#include "platform/windows/WinSupport.h"

// ws2tcpip.h first: the neighbour table's types need its address types.
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>

namespace brelvo {

bool readNeighbourTable(std::vector<Neighbour>* out, Error* error)
{
    out->clear();
    MIB_IPNET_TABLE2* table = nullptr;
    const DWORD result = GetIpNetTable2(AF_INET, &table);
    if (result == ERROR_NOT_FOUND)
        return true; // an empty table, not a failure
    if (result != NO_ERROR) {
        const int code = win::errnoFromWin32(result);
        return fail(error, code, "cannot read the neighbour table: " + errorTextEnglish(code));
    }
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPNET_ROW2& row = table->Table[i];
        // Incomplete and failed entries may keep a stale or zero address.
        if (row.Address.si_family != AF_INET || row.PhysicalAddressLength != 6 || row.IsUnreachable ||
            row.State == NlnsIncomplete || row.State == NlnsUnreachable)
            continue;
        Neighbour n;
        n.address = row.Address.Ipv4.sin_addr.s_addr;
        for (int b = 0; b < 6; ++b)
            n.mac = (n.mac << 8) | row.PhysicalAddress[b];
        if (n.mac != 0)
            out->push_back(n);
    }
    FreeMibTable(table);
    return true;
}

} // namespace brelvo
