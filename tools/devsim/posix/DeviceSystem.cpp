// SPDX-License-Identifier: MIT
#include "DeviceSystem.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>

namespace devsim {

bool prepareDeviceSocket(brelvo::SocketHandle s)
{
    fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK);
    int rcv = 4 << 20;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
    int one = 1;
    return setsockopt(s, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one) == 0;
}

uint32_t deviceBindAddress(uint32_t) { return 0; }

void processCpuSeconds(double& user, double& system)
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    user = double(ru.ru_utime.tv_sec) + double(ru.ru_utime.tv_usec) / 1e6;
    system = double(ru.ru_stime.tv_sec) + double(ru.ru_stime.tv_usec) / 1e6;
}

void adviseLargePages(void* p, size_t size)
{
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    const uintptr_t from = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(p) + size) & ~(kHuge - 1);
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)p;
    (void)size;
#endif
}

} // namespace devsim
