// SPDX-License-Identifier: MIT
#include "DeviceLoop.h"

#include "platform/Clock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace devsim {

namespace {

const char* phaseName(DeviceSession::Phase p)
{
    switch (p) {
    case DeviceSession::Phase::Idle: return "idle";
    case DeviceSession::Phase::WaitOffer: return "request sent, waiting for the Offer";
    case DeviceSession::Phase::WaitSize: return "Offer received, Ready sent";
    case DeviceSession::Phase::WaitBlocks: return "Size received, receiving blocks";
    case DeviceSession::Phase::WaitEnd: return "all blocks in, waiting for End";
    case DeviceSession::Phase::Reporting: return "End received, reporting";
    case DeviceSession::Phase::Done: return "done";
    case DeviceSession::Phase::Failed: return "failed";
    }
    return "?";
}

// --verbose: what changed in the session since it was last told.
void showPhase(Device& d, bool verbose)
{
    if (!verbose)
        return;
    const DeviceSession& s = *d.session;
    if (s.sizesLost() != d.shownSizesLost) {
        d.shownSizesLost = s.sizesLost();
        std::fprintf(stderr, "device %d: Size message %d treated as lost (%ld ms)\n", s.index(), d.shownSizesLost,
                     s.elapsedMs());
    }
    if (s.stallBegun() && !d.shownStall) {
        d.shownStall = true;
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(s.stallEnd() - Clock::now()).count();
        std::fprintf(stderr, "device %d: %u blocks acknowledged, silent for %lld ms (%ld ms)\n", s.index(),
                     s.acksSent(), static_cast<long long>(ms), s.elapsedMs());
    }
    if (s.phase() != d.shownPhase) {
        d.shownPhase = s.phase();
        std::fprintf(stderr, "device %d: %s (%ld ms)\n", s.index(), phaseName(d.shownPhase), s.elapsedMs());
    }
}

} // namespace

DeviceLoop::DeviceLoop(const DevsimOptions& o, Fleet& fleet, const brelvo::StopRequests& stops)
    : o_(o), fleet_(fleet), stops_(stops), receiver_(std::make_unique<DatagramReceiver>())
{
}

void DeviceLoop::run()
{
    // Short ack delays and retries keep their time (Windows: a 1 ms tick).
    brelvo::usePreciseTimers();
    for (;;) {
        auto now = Clock::now();
        if (stops_.signal())
            abortUnfinished(now);
        Clock::time_point wake;
        if (!advance(now, wake))
            return;
        // The poller's clock may start elsewhere than Clock's: only the wait's length carries over.
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now).count();
        if (fleet_.poller.wait(brelvo::monotonicNs() + std::max<int64_t>(left, 0), ready_) <= 0)
            continue;
        now = Clock::now();
        for (uint64_t token : ready_)
            receive(fleet_.devices[size_t(token)], now);
    }
}

void DeviceLoop::abortUnfinished(Clock::time_point now)
{
    for (auto& d : fleet_.devices)
        if (!d.session->finished())
            d.session->abort("interrupted", now);
}

// Starts the devices whose time has come and fires the timers that are
// due. False once every device has finished; otherwise `wake` is when
// the next start or timer is due (at most 100 ms away: a stop request does
// not wake the wait).
bool DeviceLoop::advance(Clock::time_point now, Clock::time_point& wake)
{
    bool running = false;
    wake = now + std::chrono::milliseconds(100);
    for (auto& d : fleet_.devices) {
        if (!d.session->finished()) {
            if (!d.begun && now >= d.startAt) {
                d.begun = true;
                d.session->begin(now, outbox_);
                settle(d);
            } else if (d.begun && d.wake <= now) {
                d.session->onTimer(now, outbox_);
                settle(d);
            }
        }
        if (d.session->finished()) {
            if (d.watched) {
                // What reaches a finished device stays unread, as before.
                fleet_.poller.remove(d.fd);
                d.watched = false;
            }
            continue;
        }
        running = true;
        wake = std::min(wake, d.begun ? d.wake : d.startAt);
    }
    return running;
}

// Everything queued on the device's socket, a batch at a time.
void DeviceLoop::receive(Device& d, Clock::time_point now)
{
    DatagramReceiver& r = *receiver_;
    for (;;) {
        unsigned got = r.read(d.fd);
        for (unsigned i = 0; i < got && d.begun && !d.session->finished(); ++i) {
            if (r.truncated(i))
                d.session->onOversized(r.data(i), r.size(i), now);
            else
                d.session->onDatagram(r.data(i), r.size(i), r.fromAddr(i), r.fromPort(i), now, outbox_,
                                      r.wireNs(i));
        }
        if (d.begun)
            settle(d);
        if (got < DatagramReceiver::kBatch || d.session->finished())
            break;
    }
}

// After the session was fed: what it answered goes out, and its next
// timer is noted.
void DeviceLoop::settle(Device& d)
{
    sender_.send(d, o_, outbox_, o_.verbose);
    showPhase(d, o_.verbose);
    d.wake = d.session->nextWake();
}

} // namespace devsim
