// SPDX-License-Identifier: MIT
#pragma once

#include "job/TransferCore.h"
#include "job/UpdateJob.h"
#include "platform/Error.h"
#include "platform/Socket.h"
#include "platform/Thread.h"
#include "protocol/UpdateRequest.h"
#include "record/Event.h"
#include "server/FirmwareSource.h"
#include "server/ServerSettings.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brelvo {

// What the listener needs of the server's table, events and transfer
// thread. Called on the listener's thread.
class ListenerHost {
public:
    virtual ~ListenerHost() = default;
    virtual void listenerEvent(Event event) = 0;
    // The sweep's silent addresses are lent from now on, less `own` and
    // those running jobs hold; how many are free.
    virtual int refillAddresses(const uint32_t* found, int count, const std::vector<uint32_t>& own) = 0;
    virtual bool tableFull() const = 0;
    // The job of a request (origin without its id), in the table with a lent
    // address (0: none free). Once the run is stopping it is entered already
    // stopped, without an address, so that it still has its row; null when
    // the table is full.
    virtual std::shared_ptr<UpdateJob> enterJob(UpdateJob::Origin origin, const std::string& image,
                                                const ServerSettings& run) = 0;
    // Ports of jobs whose sockets may still be open.
    virtual std::vector<uint16_t> portsInUse() const = 0;
    // The job and its socket go to the transfer thread, with the socket that
    // hears the Offers to its device's port (may be invalid); false: both
    // sockets stay the caller's.
    virtual bool handOver(const std::shared_ptr<UpdateJob>& job, SocketHandle socket, SocketHandle offerWatch,
                          const TransferCore::Setup& setup, Error* error) = 0;
    // Ends a job that never reached the transfer thread; `why` may be empty.
    virtual void endBeforeTransfer(const std::shared_ptr<UpdateJob>& job, int status, const std::string& why) = 0;
    // The listener's thread failed (its socket is closed): no request is
    // heard any more. Called on that thread as its last act but one.
    virtual void listenerDied(const std::string& why) = 0;
};

// The thread on UDP 3281. It sweeps the local /24 for addresses to lend,
// then for each request: admits it, has the server enter its job, prepares
// the job's bytes and socket and hands it to the transfer thread. Image
// reads happen here, so a slow disk never stalls a transfer.
class UpdateServerListener {
public:
    // Without a source, the firmware folder is read as it is.
    explicit UpdateServerListener(ListenerHost& host, std::unique_ptr<FirmwareSource> source = nullptr);
    ~UpdateServerListener(); // stops and joins
    UpdateServerListener(const UpdateServerListener&) = delete;
    UpdateServerListener& operator=(const UpdateServerListener&) = delete;

    // Serves requests on `socket` (bound on 3281; the listener closes it)
    // with `settings`. False when no thread could be made.
    bool start(SocketHandle socket, const ServerSettings& settings, Error* error = nullptr);
    // The thread ends within a second; a sweep or a read of the firmware
    // folder still running ends early.
    void stop();
    void join();
    // True from start() until the thread has closed its socket.
    bool running() const { return active_.load(); }

private:
    void run(SocketHandle socket);
    void lendSweptAddresses();
    // One datagram: is it a request we can serve (the image's path, or
    // empty after saying why not), then its job and the hand-over.
    void serveRequest(const uint8_t* datagram, int size, const SocketAddress& source);
    bool admitRequest(const uint8_t* datagram, int size, const SocketAddress& source, UpdateRequest* request);
    // True once the job is the transfer thread's, `offerWatch` with it.
    bool launchJob(const std::shared_ptr<UpdateJob>& job, const std::string& image, SocketHandle offerWatch);
    void died(SocketHandle socket, const std::string& why);
    // A UDP socket bound on a free port for the next job, or invalid.
    SocketHandle reserveJobSocket(uint16_t* port, Error* error);

    ListenerHost& host_;
    std::unique_ptr<FirmwareSource> firmware_;
    // The thread's own: the run's settings (set before it starts), whether
    // its sweep could run, the job it is launching.
    ServerSettings run_;
    bool sweepFailed_ = false;
    std::shared_ptr<UpdateJob> held_; // entered, not yet ended or handed over

    std::atomic<bool> active_{false};
    std::atomic<bool> keepRunning_{false};
    std::atomic<bool> sweepAbort_{false};
    Thread thread_;
};

} // namespace brelvo
