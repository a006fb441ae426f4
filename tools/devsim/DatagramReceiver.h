// SPDX-License-Identifier: MIT
#pragma once
// A batch of datagrams read with one recvmmsg, each with the kernel's
// receive time when the socket gives it. About 70 KiB: keep it on the heap.

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>

namespace devsim {

class DatagramReceiver {
public:
    static constexpr unsigned kBatch = 32;
    // Larger than any message of the protocol; a longer datagram is judged
    // from its head.
    static constexpr size_t kSlot = 2048;

    DatagramReceiver();

    // Reads what is queued, up to a batch; 0 when nothing is.
    unsigned read(int fd);

    // Datagram i of the last batch. Inline: the loop asks for each field of
    // every datagram.
    const uint8_t* data(unsigned i) const { return data_[i]; }
    size_t size(unsigned i) const { return msgs_[i].msg_len; }
    bool truncated(unsigned i) const { return (msgs_[i].msg_hdr.msg_flags & MSG_TRUNC) != 0; }
    uint32_t fromAddr(unsigned i) const { return ntohl(from_[i].sin_addr.s_addr); }
    uint16_t fromPort(unsigned i) const { return ntohs(from_[i].sin_port); }
    int64_t wireNs(unsigned i) const { return wireNs_[i]; } // CLOCK_REALTIME, in nanoseconds

private:
    alignas(64) uint8_t data_[kBatch][kSlot];
    sockaddr_in from_[kBatch];
    alignas(cmsghdr) char control_[kBatch][CMSG_SPACE(sizeof(timespec)) + 64];
    iovec iov_[kBatch];
    mmsghdr msgs_[kBatch];
    int64_t wireNs_[kBatch];
};

} // namespace devsim
