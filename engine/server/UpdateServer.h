// SPDX-License-Identifier: MIT
#pragma once

#include "job/JobSnapshot.h"
#include "job/TransferScheduler.h"
#include "job/UpdateJob.h"
#include "platform/Socket.h"
#include "platform/Thread.h"
#include "record/Event.h"
#include "protocol/UpdateRequest.h"
#include "record/EventQueue.h"
#include "server/FreeAddressPool.h"
#include "server/ServerSettings.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace brelvo {

class FirmwareIndex;
class ImageStore;
class ReportWriter;

// The engine object a front-end drives. Construction starts nothing;
// start() binds UDP 3281 and launches the listener (which sweeps the local
// /24 first); one transfer thread serves every job. Public calls come from
// one front-end thread; what happens is told through events (takeEvents).
class UpdateServer : private TransferObserver {
public:
    static constexpr int kMaxJobs = 100;

    UpdateServer();
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
    bool listenerRunning() const { return listenerActive_.load(); }
    // Jobs whose transfer is not over yet (their sockets are open).
    size_t activeTransfers() const;

    // Moves the events made since the last call to `out`; how many. Events
    // that did not fit the queue are counted by droppedEvents().
    size_t takeEvents(std::vector<Event>& out);
    uint64_t droppedEvents() const;

    // The report file of the current (or last) run; empty when none is written.
    std::string reportPath() const;
    // Waits until every row of the runs so far is on disk: true when all are.
    bool flushReports();

private:
    // The steps of start(): each failure is kept for startError() and
    // answers -1.
    int refuseStart(const std::string& why, int err);
    int startSockets();
    int bindRequestPort(SocketHandle* socket);
    int launchListener(SocketHandle socket);
    int runListener(SocketHandle socket);
    void lendSweptAddresses(const std::string& localAddress);
    // One datagram on port 3281, in three steps: is it a request we can
    // serve (the image's path, or empty after saying why not); the job in
    // the table with its address; the job's files, socket and hand-over.
    void serveRequest(const uint8_t* datagram, int size, const SocketAddress& source);
    std::string admitRequest(const uint8_t* datagram, int size, const SocketAddress& source,
                             const ServerSettings& run, UpdateRequest* request);
    std::shared_ptr<UpdateJob> enterJob(const UpdateRequest& request, const SocketAddress& source,
                                        const std::string& image, const ServerSettings& run, uint32_t* lent);
    void launchJob(const std::shared_ptr<UpdateJob>& job, const std::string& productCode,
                   const SocketAddress& source, const std::string& image, uint32_t lent, const ServerSettings& run);
    // A UDP socket bound on a free port for the next job (the port through
    // `port`, network byte order), or invalid.
    SocketHandle reserveJobSocket(uint16_t* port);
    // Enters a new job in the table and lends it an address (one step under
    // the table lock). False when the table is full or the run was stopped.
    bool appendJob(const std::shared_ptr<UpdateJob>& job, uint32_t* lent, bool* full);
    std::vector<uint16_t> portsInUse() const;
    void renumberRows();
    void endBeforeTransfer(const std::shared_ptr<UpdateJob>& job, int status, const std::string& why);
    void publishEvent(Event event);
    Event jobEvent(const UpdateJob& job, EventKind kind) const;

    void transferEvent(Event event) override;
    void transferEnded(const std::shared_ptr<UpdateJob>& job) override;

    ServerSettings settings_;

    // The job table and the address pool share this lock. The table is
    // kept compact: slots 0 .. jobCount_-1 all hold jobs.
    mutable std::mutex tableMutex_;
    int jobCount_ = 0;
    std::shared_ptr<UpdateJob> jobs_[kMaxJobs];
    FreeAddressPool pool_;
    uint64_t nextJobId_ = 1;

    mutable std::mutex startMutex_;
    std::string startError_;
    int startErrno_ = 0;

    // Shared with the report writers, which may outlive the server in a
    // job someone still holds.
    std::shared_ptr<EventQueue> events_ = std::make_shared<EventQueue>();
    std::shared_ptr<ReportWriter> report_; // the current run's
    std::unique_ptr<FirmwareIndex> firmwareIndex_;
    std::unique_ptr<ImageStore> imageStore_;
    std::unique_ptr<TransferScheduler> scheduler_;

    std::atomic<bool> listenerActive_{false};
    std::atomic<bool> keepRunning_{false};
    std::atomic<bool> abortAll_{false}; // set only by destruction
    std::atomic<bool> sweepAbort_{false}; // Stop or destruction: the sweep ends early
    Thread listener_;
};

} // namespace brelvo
