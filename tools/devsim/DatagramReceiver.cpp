// SPDX-License-Identifier: MIT
#include "DatagramReceiver.h"

#include <time.h>

#include <cerrno>
#include <cstring>

namespace devsim {

DatagramReceiver::DatagramReceiver()
{
    for (unsigned i = 0; i < kBatch; ++i)
        iov_[i] = iovec{data_[i], kSlot};
}

unsigned DatagramReceiver::read(int fd)
{
    for (unsigned i = 0; i < kBatch; ++i) {
        msghdr& h = msgs_[i].msg_hdr;
        h = msghdr{};
        h.msg_name = &from_[i];
        h.msg_namelen = sizeof from_[i];
        h.msg_iov = &iov_[i];
        h.msg_iovlen = 1;
        h.msg_control = control_[i];
        h.msg_controllen = sizeof control_[i];
    }
    int n;
    do
        n = recvmmsg(fd, msgs_, kBatch, MSG_DONTWAIT, nullptr);
    while (n < 0 && errno == EINTR);
    if (n <= 0)
        return 0;
    timespec fallback{};
    bool haveFallback = false;
    for (int i = 0; i < n; ++i) {
        wireNs_[i] = -1;
        msghdr& h = msgs_[i].msg_hdr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&h); c; c = CMSG_NXTHDR(&h, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec ts;
                std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                wireNs_[i] = int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
            }
        }
        if (wireNs_[i] < 0) {
            // The same clock as the kernel's stamps, read once per batch.
            if (!haveFallback)
                clock_gettime(CLOCK_REALTIME, &fallback);
            haveFallback = true;
            wireNs_[i] = int64_t(fallback.tv_sec) * 1000000000 + fallback.tv_nsec;
        }
    }
    return unsigned(n);
}

} // namespace devsim
