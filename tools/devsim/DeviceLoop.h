// SPDX-License-Identifier: MIT
#pragma once
// The event loop: starts each device at its time, hands it its datagrams and
// its timers and sends what it answers, until every device has finished.
// One thread serves every device. At full pace a hundred devices receive
// 100,000 blocks a second on a machine the tool shares, so a block costs one
// share of a batched receive, one share of a batched send (on Linux: one
// system call each per batch) and no allocation.

#include "DatagramReceiver.h"
#include "DatagramSender.h"
#include "DevsimOptions.h"
#include "Fleet.h"
#include "Outbox.h"

#include "platform/StopRequests.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace devsim {

class DeviceLoop {
public:
    // Once a stop is requested, every device still running is ended as
    // interrupted, so that its summary is printed.
    DeviceLoop(const DevsimOptions& o, Fleet& fleet, const brelvo::StopRequests& stops);

    // Returns once every device has finished.
    void run();

private:
    void abortUnfinished(Clock::time_point now);
    bool advance(Clock::time_point now, Clock::time_point& wake);
    void receive(Device& d, Clock::time_point now);
    void settle(Device& d);

    const DevsimOptions& o_;
    Fleet& fleet_;
    const brelvo::StopRequests& stops_;
    std::unique_ptr<DatagramReceiver> receiver_; // large: on the heap
    DatagramSender sender_;
    Outbox outbox_;
    std::vector<uint64_t> ready_; // the devices whose sockets are readable
};

} // namespace devsim
