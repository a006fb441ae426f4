// SPDX-License-Identifier: MIT
#include "DeviceSystem.h"

#include <winsock2.h>
#include <windows.h>

namespace devsim {

bool prepareDeviceSocket(brelvo::SocketHandle s)
{
    u_long nonBlocking = 1;
    ioctlsocket(static_cast<SOCKET>(s), FIONBIO, &nonBlocking);
    int rcv = 4 << 20;
    setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&rcv), sizeof rcv);
    return false;
}

uint32_t deviceBindAddress(uint32_t source) { return source; }

void processCpuSeconds(double& user, double& system)
{
    FILETIME created, ended, kernel, userTime;
    user = system = 0;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &userTime))
        return;
    auto seconds = [](const FILETIME& f) {
        return double((uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7; // 100 ns units
    };
    user = seconds(userTime);
    system = seconds(kernel);
}

// Large pages need a privilege an ordinary user lacks: nothing to hint.
void adviseLargePages(void*, size_t) {}

} // namespace devsim
