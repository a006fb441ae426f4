#pragma once

#include "job/JobSnapshot.h"
#include "job/UpdateJob.h"
#include "platform/Socket.h"
#include "platform/Thread.h"
#include "server/FreeAddressPool.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace brelvo {

// The engine object the window drives. Construction starts nothing; start()
// launches the listener on UDP 3281 (after an ICMP sweep of the local /24).
// All public calls are made from one thread (the window's); the listener and
// the job workers run on their own threads.
class UpdateServer {
public:
    static constexpr int kMaxJobs = 100;

    UpdateServer();
    ~UpdateServer();                   // stops and joins everything it started
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    // 0 on success, -1 when a listener is still active or no thread could
    // be made. Texts are UTF-8; options are OptionUpdateBoot | OptionEraseBoot.
    int start(const std::string& firmwareDir, const std::string& configPath,
              const std::string& localAddress, int options);
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
    bool listenerRunning() const { return listenerActive.load(); }

private:
    // Body of the listener thread: 0 after an orderly end, -3 no socket,
    // -4 port 3281 not bound.
    int runListener();
    // A UDP socket bound on a free port for the next job (the port through
    // `port`, network byte order), or invalid with `port` 0xFFFF or the
    // probed number when none could be bound.
    SocketHandle reserveJobSocket(uint16_t* port);
    // Enters a new job in the table and lends it an address (one step under
    // the table lock). False when the table is full.
    bool appendJob(const std::shared_ptr<UpdateJob>& job, uint32_t* lent);
    // Ports handed to jobs whose workers may still bind or hold them.
    std::vector<uint16_t> portsInUse() const;

    std::string firmwareDir;
    std::string configPath;
    std::string localAddress;
    int options = 0;

    // The job table and the address pool share this lock. The table is
    // kept compact: slots 0 .. jobCount_-1 all hold jobs.
    mutable std::mutex tableMutex;
    int jobCount_ = 0;
    std::shared_ptr<UpdateJob> jobs[kMaxJobs];
    // Released jobs whose workers may still run; joined before they go.
    std::vector<std::shared_ptr<UpdateJob>> retired;
    FreeAddressPool pool;

    std::atomic<bool> listenerActive{false};
    std::atomic<bool> keepRunning{false};
    std::atomic<bool> abortAll{false}; // set only by destruction
    Thread listener;
};

} // namespace brelvo
