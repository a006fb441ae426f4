// SPDX-License-Identifier: MIT
#include "platform/UdpPortHolders.h"

#include "platform/AddressText.h"
#include "platform/Socket.h"
#include "platform/windows/WinSupport.h"

#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <vector>

namespace brelvo {

namespace {

ProcessInfo describeProcess(DWORD pid)
{
    ProcessInfo info;
    info.pid = static_cast<int>(pid);
    const HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p)
        return info; // another user's process: its pid is all there is
    wchar_t path[MAX_PATH * 4];
    DWORD size = sizeof path / sizeof path[0];
    if (QueryFullProcessImageNameW(p, 0, path, &size)) {
        // The image's path stands in for the command line, which Windows
        // keeps inside the other process.
        info.commandLine = win::narrow(path, static_cast<int>(size));
        const size_t slash = info.commandLine.find_last_of("\\/");
        info.comm = slash == std::string::npos ? info.commandLine : info.commandLine.substr(slash + 1);
    }
    CloseHandle(p);
    return info;
}

template <class Table, class Row>
void readTable(ULONG family, uint16_t port, std::vector<UdpPortHolder>& out,
               std::string (*shown)(const Row&))
{
    std::vector<unsigned char> buffer(16 * 1024);
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        buffer.resize(size);
        result = GetExtendedUdpTable(buffer.data(), &size, FALSE, family, UDP_TABLE_OWNER_PID, 0);
    }
    if (result != NO_ERROR)
        return;
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const Row& row = table->table[i];
        if (netToHost16(static_cast<uint16_t>(row.dwLocalPort)) != port)
            continue;
        UdpPortHolder holder;
        holder.local = shown(row);
        holder.processes.push_back(describeProcess(row.dwOwningPid));
        out.push_back(std::move(holder));
    }
}

std::string shownV4(const MIB_UDPROW_OWNER_PID& row)
{
    return addressToText(row.dwLocalAddr) + ":" + std::to_string(netToHost16(static_cast<uint16_t>(row.dwLocalPort)));
}

std::string shownV6(const MIB_UDP6ROW_OWNER_PID& row)
{
    char text[INET6_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET6, row.ucLocalAddr, text, sizeof text);
    return "[" + std::string(text) + "]:" + std::to_string(netToHost16(static_cast<uint16_t>(row.dwLocalPort)));
}

} // namespace

std::vector<UdpPortHolder> findUdpPortHolders(uint16_t port, const std::string&)
{
    std::vector<UdpPortHolder> holders;
    readTable<MIB_UDPTABLE_OWNER_PID, MIB_UDPROW_OWNER_PID>(AF_INET, port, holders, shownV4);
    readTable<MIB_UDP6TABLE_OWNER_PID, MIB_UDP6ROW_OWNER_PID>(AF_INET6, port, holders, shownV6);
    return holders;
}

int tryBindUdpPort(uint16_t port)
{
    const SocketHandle s = openUdpSocket();
    if (s == kInvalidSocket)
        return lastSocketError();
    const int result = bindSocket(s, 0, hostToNet16(port)) == 0 ? 0 : lastSocketError();
    closeSocket(s);
    return result;
}

bool isAddressInUseError(int code) { return code == WSAEADDRINUSE; }

} // namespace brelvo
