// SPDX-License-Identifier: MIT
#pragma once
// The simulated devices of one run: a session and a socket each, every
// socket watched by one poller, so that a single thread serves them all.

#include "DeviceSession.h"
#include "DevsimOptions.h"

#include "platform/Poller.h"
#include "platform/Socket.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace devsim {

struct Device {
    std::unique_ptr<DeviceSession> session;
    brelvo::SocketHandle fd = brelvo::kInvalidSocket;
    uint32_t source = 0; // host order; 0: let the kernel choose
    uint16_t port = 0;   // host order
    Clock::time_point startAt;
    Clock::time_point wake = Clock::time_point::max(); // the session's nextWake(), kept current
    bool begun = false;
    bool watched = false; // by the poller
    // What --verbose has already told about the session, so that each
    // change is told once.
    DeviceSession::Phase shownPhase = DeviceSession::Phase::Idle;
    int shownSizesLost = 0;
    bool shownStall = false;
    unsigned sendErrors = 0;
};

// The devices and the poller over their sockets.
struct Fleet {
    brelvo::Poller poller;
    std::vector<Device> devices;
};

// A socket per device (bound, watched by the poller), its source address,
// its session and when it starts. False after saying on stderr what failed.
bool setUpFleet(const DevsimOptions& o, Fleet& fleet);
void closeFleet(Fleet& fleet);

// A source address must belong to this host, or every send would fail.
bool addressIsLocal(uint32_t hostOrderAddr);

} // namespace devsim
