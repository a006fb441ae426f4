// SPDX-License-Identifier: MIT
#pragma once
// Sends a session's datagrams from the device's socket in as few system
// calls as the kernel allows. With a source address the packets leave from
// that address although the socket listens on 0.0.0.0 (it must, to hear the
// broadcast Offer).

#include "DevsimOptions.h"
#include "Fleet.h"
#include "Outbox.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <vector>

namespace devsim {

class DatagramSender {
public:
    // Sends what `out` holds and empties it. A datagram the kernel refuses
    // after a short wait is counted in the device's sendErrors and the rest
    // still go; an update request that cannot go out ends the session.
    void send(Device& d, const DevsimOptions& o, Outbox& out, bool verbose);

private:
    // A header per datagram of `out`, addressed to one of the two targets
    // (which must outlive the send), with the source address when there is
    // one.
    void prepare(const Outbox& out, uint32_t source, sockaddr_in& toRequest, sockaddr_in& toJob);

    // Kept from call to call: a send costs no allocation once they are grown.
    std::vector<mmsghdr> msgs_;
    std::vector<iovec> iov_;
    alignas(cmsghdr) char control_[CMSG_SPACE(sizeof(in_pktinfo))];
};

} // namespace devsim
