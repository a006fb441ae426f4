// SPDX-License-Identifier: MIT
#pragma once

#include "job/UpdateJob.h"
#include "platform/Error.h"
#include "platform/NeighbourTable.h"
#include "platform/Thread.h"
#include "record/Event.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace brelvo {

// What the resolver tells the server, from its own thread.
class MacResolverHost {
public:
    virtual ~MacResolverHost() = default;
    virtual void resolverEvent(Event event) = 0;
    // The job's hardware address is settled: its row may go to its report.
    virtual void rowSettled(const std::shared_ptr<UpdateJob>& job) = 0;
    // The thread failed: no address is learnt any more, the rows it held
    // went to their reports.
    virtual void resolverThreadFailed(const std::string& why) = 0;
};

// Learns each job's device hardware address from the system's neighbour
// table on a thread of its own: the transfer thread only hands the job over,
// so no block waits for the table. Lookups close together share one reading;
// an address missing from the table is looked for a few more times, then
// the job's log says once why it cannot be known. The row of a job that ends
// with its lookup pending waits for one last reading.
class MacResolver {
public:
    using TableReader = std::function<bool(std::vector<Neighbour>*, Error*)>;

    explicit MacResolver(MacResolverHost& host, TableReader reader = readNeighbourTable);
    // Settles every lookup, hands over every row held, joins.
    ~MacResolver();
    MacResolver(const MacResolver&) = delete;
    MacResolver& operator=(const MacResolver&) = delete;

    // The job's device answers from `peer` (network byte order).
    void lookUp(const std::shared_ptr<UpdateJob>& job, uint32_t peer);
    // The job is over: its row goes to the host now, or once its lookup settled.
    void jobEnded(const std::shared_ptr<UpdateJob>& job);
    // A new run: addresses seen before no longer count as asking again.
    void newRun();
    // Waits until the rows held when called were handed over.
    void flush();
    bool holdsRows() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Lookup {
        std::shared_ptr<UpdateJob> job;
        uint32_t peer = 0;
        int attempts = 0;
        Clock::time_point due;
        uint64_t run = 0;
        bool ended = false;
    };
    // The job that last showed a hardware address in this run.
    struct Seen {
        uint64_t job = 0;
        std::weak_ptr<UpdateJob> record;
        int status = 0;
        bool ended = false;
    };

    using Told = std::vector<Event>;

    void run();
    // On the dying thread: every lookup ends unknown, every row held goes.
    void died(const std::string& why);
    // With mutex_ held: the job's lookup, pending or being read; null when none.
    Lookup* findLookup(const std::shared_ptr<UpdateJob>& job);
    // With mutex_ held: what learning `mac` for the lookup's job is to tell.
    void learnt(const Lookup& lookup, uint64_t mac, Told& told);

    MacResolverHost& host_;
    TableReader reader_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable settled_;
    std::vector<Lookup> pending_;
    std::vector<Lookup> inFlight_; // the batch whose table is being read
    std::map<uint64_t, Seen> seen_; // by hardware address
    uint64_t run_ = 0;
    int rowsHeld_ = 0;
    bool stopping_ = false;
    bool threadRunning_ = false;
    bool failed_ = false; // the thread died: lookups end at once
    Thread thread_;
};

} // namespace brelvo
