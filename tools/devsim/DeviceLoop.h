// SPDX-License-Identifier: MIT
#pragma once
// The event loop: starts each device at its time, hands it its datagrams and
// its timers and sends what it answers, until every device has finished.
// One thread serves every device. At full pace a hundred devices receive
// 100,000 blocks a second on a machine the tool shares, so a block costs one
// share of a batched receive (recvmmsg), one share of a batched send
// (sendmmsg) and no allocation.

#include "DatagramReceiver.h"
#include "DatagramSender.h"
#include "DevsimOptions.h"
#include "Fleet.h"
#include "Outbox.h"

#include <sys/epoll.h>

#include <csignal>
#include <memory>
#include <vector>

namespace devsim {

class DeviceLoop {
public:
    // `interrupted` is set by a signal handler; once it is, every device
    // still running is ended as interrupted, so that its summary is printed.
    DeviceLoop(const DevsimOptions& o, Fleet& fleet, const volatile std::sig_atomic_t& interrupted);

    // Returns once every device has finished.
    void run();

private:
    void abortUnfinished(Clock::time_point now);
    bool advance(Clock::time_point now, Clock::time_point& wake);
    void receive(Device& d, Clock::time_point now);
    void settle(Device& d);

    const DevsimOptions& o_;
    Fleet& fleet_;
    const volatile std::sig_atomic_t& interrupted_;
    std::unique_ptr<DatagramReceiver> receiver_; // large: on the heap
    DatagramSender sender_;
    Outbox outbox_;
    std::vector<epoll_event> events_;
};

} // namespace devsim
