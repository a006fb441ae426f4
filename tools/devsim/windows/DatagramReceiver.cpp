// SPDX-License-Identifier: MIT
#include "DatagramReceiver.h"

#include "platform/Clock.h"

#include <winsock2.h>

namespace devsim {

// Windows has no call that takes several datagrams: a loop of receives on
// the non-blocking socket, until nothing more is queued.
struct DatagramReceiver::Native {};

DatagramReceiver::DatagramReceiver() : native_(std::make_unique<Native>()) {}

DatagramReceiver::~DatagramReceiver() = default;

unsigned DatagramReceiver::read(brelvo::SocketHandle s)
{
    unsigned n = 0;
    while (n < kBatch) {
        sockaddr_in from{};
        int len = sizeof from;
        int got = recvfrom(static_cast<SOCKET>(s), reinterpret_cast<char*>(data_[n]), int(kSlot), 0,
                           reinterpret_cast<sockaddr*>(&from), &len);
        // A longer datagram arrives cut, reported as an error.
        const bool cut = got == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE;
        if (got == SOCKET_ERROR && !cut)
            break;
        size_[n] = cut ? kSlot : size_t(got);
        truncated_[n] = cut;
        fromAddr_[n] = ntohl(from.sin_addr.s_addr);
        fromPort_[n] = ntohs(from.sin_port);
        // No kernel stamps here: the gaps are timed on reading.
        wireNs_[n] = brelvo::monotonicNs();
        ++n;
    }
    return n;
}

} // namespace devsim
