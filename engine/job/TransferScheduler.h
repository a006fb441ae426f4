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
    TransferScheduler(TransferObserver& observer, const TransferCore::Timing& timing);
    ~TransferScheduler(); // ends every job still running (as if released) and joins
    TransferScheduler(const TransferScheduler&) = delete;
    TransferScheduler& operator=(const TransferScheduler&) = delete;

    // Takes over a job whose socket is bound on its port. The job starts
    // with its Offer unless it was stopped meanwhile. False when the thread
    // cannot run (or failed): the caller ends the job (the error's code
    // says how).
    bool add(const std::shared_ptr<UpdateJob>& job, SocketHandle socket, const TransferCore::Setup& setup,
             Error* error = nullptr);
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
    };
    std::vector<Incoming> inbox_;
    std::atomic<size_t> active_{0};

    // Only the transfer thread touches these.
    std::vector<std::unique_ptr<Active>> jobs_;
    ReceiveBatch batch_;
    std::vector<uint64_t> ready_;

    std::atomic<bool> quit_{false};
    bool threadStarted_ = false;
    bool threadFailed_ = false;
    Thread thread_;
};

} // namespace brelvo
