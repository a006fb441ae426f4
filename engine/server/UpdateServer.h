// SPDX-License-Identifier: MIT
#pragma once

#include "job/JobSnapshot.h"
#include "job/TransferScheduler.h"
#include "job/UpdateJob.h"
#include "platform/Error.h"
#include "platform/Socket.h"
#include "record/Event.h"
#include "record/EventQueue.h"
#include "server/FreeAddressPool.h"
#include "server/MacResolver.h"
#include "server/ServerSettings.h"
#include "server/UpdateServerListener.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace brelvo {

class ReportWriter;

// The engine object a front-end drives. Construction starts nothing;
// start() binds UDP 3281 and launches the listener (which sweeps the local
// /24 first); one transfer thread serves every job. Public calls come from
// one front-end thread; what happens is told through events (takeEvents).
// The server owns the job table and its address pool.
class UpdateServer : private TransferObserver, private ListenerHost, private MacResolverHost {
public:
    static constexpr int kMaxJobs = 100;

    // Without a source, requests are served from the firmware folder as it is.
    explicit UpdateServer(std::unique_ptr<FirmwareSource> firmware = nullptr);
    ~UpdateServer() override; // stops and joins everything it started
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    // 0 on success; -1 when a listener is still active, the socket layer
    // cannot be started, port 3281 cannot be bound, or no thread could be
    // made; -2 when the socket layer offers another version than 1.1
    // (startError() says which). Texts are UTF-8; options are
    // OptionUpdateBoot | OptionEraseBoot.
    int start(const std::string& firmwareDir, const std::string& configPath,
              const std::string& localAddress, int options);
    int start(const ServerSettings& settings);
    // Why the last start() failed, in English; errno of a socket failure.
    std::string startError() const;
    int startErrno() const;

    void stop();
    bool isIdle() const;
    int jobCount() const;
    // The job at `index` (0 .. jobCount()-1), or null. The returned
    // reference stays valid however the table changes afterwards.
    std::shared_ptr<UpdateJob> jobAt(int index) const;
    void pruneFinished();
    // Every job in table order, copied under one lock: what a front-end shows.
    std::vector<JobSnapshot> snapshot() const;

    // True while a listener thread runs or is about to.
    bool listenerRunning() const { return listener_.running(); }
    // The listener of the last start() failed (a ThreadFailed event said
    // why): the run hears no request any more; a new start() may follow.
    bool listenerFailed() const { return listenerFailed_.load(); }
    // Jobs whose transfer is not over yet (their sockets are open).
    size_t activeTransfers() const;

    // Moves the events made since the last call to `out`; how many. Events
    // that did not fit the queue are counted by droppedEvents().
    size_t takeEvents(std::vector<Event>& out);
    uint64_t droppedEvents() const;

    // The jobs that ended since the server was made, by outcome. Counted as
    // each job ends, when its row goes to the report: unlike the JobResult
    // events, which a full queue drops, none is missed.
    struct EndedJobs {
        uint64_t succeeded = 0;
        uint64_t failed = 0;  // failed or timed out
        uint64_t stopped = 0; // ended by Stop, without a result
        uint64_t elsewhere = 0; // the device took another tool's Offer
    };
    EndedJobs endedJobs() const;

    // The report file of the current (or last) run; empty when none is written.
    std::string reportPath() const;
    // Waits until every row of the runs so far is on disk: true when all are.
    bool flushReports();

private:
    // A failed start() keeps its error for startError() and answers -1.
    int refuseStart(Error error);
    // 0, or -1 / -2 when the socket layer cannot be started or offers
    // another version (said on the console and kept in `error`).
    int startSockets(Error* error);
    // Port 3281, bound; invalid after saying why.
    SocketHandle bindRequestPort(Error* error);
    void renumberRows();
    void publishEvent(Event event);

    void transferEvent(Event event) override;
    void transferEnded(const std::shared_ptr<UpdateJob>& job) override;
    void transferThreadFailed(const std::string& why) override;
    void deviceAnswered(const std::shared_ptr<UpdateJob>& job, const SocketAddress& peer) override;

    void resolverEvent(Event event) override;
    void rowSettled(const std::shared_ptr<UpdateJob>& job) override;
    void resolverThreadFailed(const std::string& why) override;

    void listenerEvent(Event event) override;
    int refillAddresses(const uint32_t* found, int count, const std::vector<uint32_t>& own) override;
    bool tableFull() const override;
    std::shared_ptr<UpdateJob> enterJob(UpdateJob::Origin origin, const std::string& image,
                                        const ServerSettings& run) override;
    std::vector<uint16_t> portsInUse() const override;
    bool handOver(const std::shared_ptr<UpdateJob>& job, SocketHandle socket, SocketHandle offerWatch,
                  const TransferCore::Setup& setup, Error* error) override;
    // Another tool offered an address: it is withheld; true when that tool
    // is new to this run and worth saying.
    bool noteAnotherTool(const Event& offer);
    void endBeforeTransfer(const std::shared_ptr<UpdateJob>& job, int status, const std::string& why) override;
    void listenerDied(const std::string& why) override;
    // A thread that failed: its event and its console line.
    void sayThreadFailed(const char* thread, const std::string& why);

    // The job table and the address pool share this lock. The table is
    // kept compact: slots 0 .. jobCount_-1 all hold jobs.
    mutable std::mutex tableMutex_;
    int jobCount_ = 0;
    std::shared_ptr<UpdateJob> jobs_[kMaxJobs];
    FreeAddressPool pool_;
    // Addresses another tool offered, not lent until the time (monotonic
    // ns) given; and the other tools this run has named.
    std::map<uint32_t, int64_t> withheld_;
    std::set<uint32_t> toolsNamed_;
    uint64_t nextJobId_ = 1;
    // Requests are entered from start() until stop(); cleared under
    // tableMutex_, so no job is entered once stop() walked the table.
    std::atomic<bool> accepting_{false};
    std::atomic<bool> listenerFailed_{false};

    bool consoleFailureSaid_ = false; // the front-end's thread only

    mutable std::mutex startMutex_;
    Error startError_;
    EndedJobs ended_; // under startMutex_

    // Shared with the report writers, which may outlive the server in a
    // job someone still holds.
    std::shared_ptr<EventQueue> events_ = std::make_shared<EventQueue>();
    std::shared_ptr<ReportWriter> report_; // the current run's
    std::string station_;                  // this machine's host name, read at each start
    // Learns the devices' hardware addresses; the scheduler's jobs end into it.
    std::unique_ptr<MacResolver> resolver_;
    std::unique_ptr<TransferScheduler> scheduler_;
    UpdateServerListener listener_;
};

} // namespace brelvo
