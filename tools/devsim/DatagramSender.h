// SPDX-License-Identifier: MIT
#pragma once
// Sends a session's datagrams from the device's socket in as few system
// calls as the OS allows. On Linux the packets name their source address
// although the socket listens on 0.0.0.0 (it must, to hear the broadcast
// Offer); on Windows the socket is bound to that address (DeviceSystem.h).

#include "DevsimOptions.h"
#include "Fleet.h"
#include "Outbox.h"

#include "platform/Socket.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace devsim {

class DatagramSender {
public:
    DatagramSender();
    ~DatagramSender();

    // Sends what `out` holds and empties it. A datagram the kernel refuses
    // after a short wait is counted in the device's sendErrors and the rest
    // still go; an update request that cannot go out ends the session.
    void send(Device& d, const DevsimOptions& o, Outbox& out, bool verbose);

private:
    struct Native; // the system's message headers, kept from call to call

    // Readies datagrams of `out` addressed to one of the two targets (which
    // must outlive the send), from `source` (host order) when there is one.
    void prepare(const Outbox& out, uint32_t source, const brelvo::SocketAddress& toRequest,
                 const brelvo::SocketAddress& toJob);
    // Sends from datagram `from` on, up to `count`: how many went, or -1 with
    // the system's code in `error` and `transient` set when a short wait may
    // let it go.
    int sendSome(brelvo::SocketHandle s, size_t from, size_t count, int& error, bool& transient);

    std::unique_ptr<Native> native_;
};

} // namespace devsim
