// SPDX-License-Identifier: MIT
#pragma once

#include "job/TransferCore.h"
#include "platform/Error.h"
#include "platform/Poller.h"
#include "platform/Socket.h"
#include "platform/Thread.h"
#include "record/Event.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace brelvo {

class UpdateJob;

// Told what the transfer thread sees. Called on that thread: must not block.
class TransferObserver {
public:
    virtual ~TransferObserver() = default;
    virtual void transferEvent(Event event) = 0;
    // The job is over and its socket closed.
    virtual void transferEnded(const std::shared_ptr<UpdateJob>& job) = 0;
    // The thread failed: its jobs have ended as failed and no job is taken
    // any more.
    virtual void transferThreadFailed(const std::string& why) = 0;
    // Once per job: the device at `peer` answered the job's first unicast
    // datagram, so the system now knows its hardware address.
    virtual void deviceAnswered(const std::shared_ptr<UpdateJob>& job, const SocketAddress& peer)
    {
        (void)job, (void)peer;
    }
};

// One thread does the I/O of every job: datagrams and deadlines go to each
// job's TransferCore, its answers go out. Jobs in their block phase are read
// a batch every few ticks, so a hundred devices acknowledging blocks do not
// wake the thread a hundred times per tick.
class TransferScheduler {
public:
    // Datagrams read from one socket before the others get their turn.
    static constexpr int kDrainLimit = 64;
    // A job in its block phase is read every this many ticks, and before
    // each new pass.
    static constexpr int kTicksPerDrain = 8;

    explicit TransferScheduler(TransferObserver& observer);
    // `sniffer` (openUdpSniffer, owned from now on; may be invalid) hears the
    // requests and Offers of the whole network: another tool's Offer that
    // came before a job was handed over is then not missed, and the jobs'
    // own Offer watches are not needed.
    TransferScheduler(TransferObserver& observer, const TransferCore::Timing& timing,
                      SocketHandle sniffer = kInvalidSocket);
    ~TransferScheduler(); // ends every job still running (as if released) and joins
    TransferScheduler(const TransferScheduler&) = delete;
    TransferScheduler& operator=(const TransferScheduler&) = delete;

    // Takes over a job whose socket is bound on its port, and the socket
    // that has heard the Offers to its device's port since the request, if
    // any. The job starts with its Offer unless it was stopped meanwhile.
    // False when the thread cannot run (or failed): the caller ends the job
    // (the error's code says how) and keeps both sockets.
    bool add(const std::shared_ptr<UpdateJob>& job, SocketHandle socket, const TransferCore::Setup& setup,
             Error* error = nullptr, SocketHandle offerWatch = kInvalidSocket);
    // Jobs not yet ended.
    size_t activeJobs() const;
    // For the jobs' Stop and release.
    const std::shared_ptr<WakeSignal>& wakeSignal() const { return wake_; }

private:
    struct Active;

    void run();
    // On the thread that threw: every job it held ends as failed.
    void died(const std::string& why);
    // New jobs, Stops and releases.
    void takeWake();
    // A job whose deadline has come.
    void tick(Active& a);
    void takeInbox(int64_t now);
    void startJob(Active& a, int64_t now);
    void drain(Active& a, int limit);
    // A request (port 0) or an Offer (to a device's port) heard.
    struct Heard {
        SocketAddress from;
        uint16_t port = 0;
        uint32_t tool = 0;
        uint32_t lent = 0;
        uint16_t jobPort = 0;
    };
    void readOfferWatch(Active& a);
    void readSniffer();
    bool noteOffer(Active& a, uint32_t tool, uint16_t jobPort);
    void tellAnotherTool(const Heard& offer);
    void closeOfferWatch(Active& a);
    void closeSniffer();
    bool isOwnOffer(uint32_t tool, uint16_t jobPort) const;
    void transmit(Active& a, const TransferCore::Send& send);
    void afterStep(Active& a);
    void finish(Active& a);
    void watch(Active& a);
    int64_t earliestDeadline() const;

    TransferObserver& observer_;
    TransferCore::Timing timing_;
    std::shared_ptr<WakeSignal> wake_;
    Poller idlePoller_; // jobs outside their block phase, and the wake signal

    mutable std::mutex inboxMutex_;
    struct Incoming {
        std::shared_ptr<UpdateJob> job;
        SocketHandle socket;
        TransferCore::Setup setup;
        SocketHandle offerWatch;
    };
    std::vector<Incoming> inbox_;
    std::atomic<size_t> active_{0};

    // Only the transfer thread touches these.
    std::vector<std::unique_ptr<Active>> jobs_;
    ReceiveBatch batch_;
    std::vector<uint64_t> ready_;
    // Address and port of the latest jobs: an Offer naming one is ours.
    std::vector<SocketAddress> recentJobs_;
    size_t nextRecentJob_ = 0;
    SocketHandle sniffer_;
    std::deque<Heard> heard_;

    std::atomic<bool> quit_{false};
    bool threadStarted_ = false;
    bool threadFailed_ = false;
    Thread thread_;
};

} // namespace brelvo
