// SPDX-License-Identifier: MIT
#include "DatagramReceiver.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>

#include <cerrno>
#include <cstring>

namespace devsim {

// One recvmmsg takes the whole batch.
struct DatagramReceiver::Native {
    sockaddr_in from[kBatch];
    alignas(cmsghdr) char control[kBatch][CMSG_SPACE(sizeof(timespec)) + 64];
    iovec iov[kBatch];
    mmsghdr msgs[kBatch];
};

DatagramReceiver::DatagramReceiver() : native_(std::make_unique<Native>())
{
    for (unsigned i = 0; i < kBatch; ++i)
        native_->iov[i] = iovec{data_[i], kSlot};
}

DatagramReceiver::~DatagramReceiver() = default;

unsigned DatagramReceiver::read(brelvo::SocketHandle fd)
{
    Native& nv = *native_;
    for (unsigned i = 0; i < kBatch; ++i) {
        msghdr& h = nv.msgs[i].msg_hdr;
        h = msghdr{};
        h.msg_name = &nv.from[i];
        h.msg_namelen = sizeof nv.from[i];
        h.msg_iov = &nv.iov[i];
        h.msg_iovlen = 1;
        h.msg_control = nv.control[i];
        h.msg_controllen = sizeof nv.control[i];
    }
    int n;
    do
        n = recvmmsg(fd, nv.msgs, kBatch, MSG_DONTWAIT, nullptr);
    while (n < 0 && errno == EINTR);
    if (n <= 0)
        return 0;
    timespec fallback{};
    bool haveFallback = false;
    for (int i = 0; i < n; ++i) {
        msghdr& h = nv.msgs[i].msg_hdr;
        size_[i] = nv.msgs[i].msg_len;
        truncated_[i] = (h.msg_flags & MSG_TRUNC) != 0;
        fromAddr_[i] = ntohl(nv.from[i].sin_addr.s_addr);
        fromPort_[i] = ntohs(nv.from[i].sin_port);
        wireNs_[i] = -1;
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
