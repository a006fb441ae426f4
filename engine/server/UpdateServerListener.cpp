// SPDX-License-Identifier: MIT
// The listener thread's side of the server: the sweep that finds addresses
// to lend, then the loop on port 3281 that admits each request, enters its
// job into the table and hands it to the transfer thread.
#include "server/UpdateServer.h"

#include "firmware/FirmwareIndex.h"
#include "firmware/ImageStore.h"
#include "platform/AddressText.h"
#include "platform/Clock.h"
#include "platform/WallClock.h"
#include "platform/Console.h"
#include "platform/ErrorText.h"
#include "platform/NetworkInterfaces.h"
#include "platform/Socket.h"
#include "protocol/UpdateRequest.h"
#include "protocol/WireFormat.h"
#include "server/AddressSweep.h"

#include <cstring>

namespace brelvo {

// The sweep finds the /24's addresses nobody answers on; the pool lends them
// to devices, less this machine's own and those jobs still running hold.
void UpdateServer::lendSweptAddresses(const std::string& local)
{
    uint32_t found[FreeAddressPool::kCapacity];
    IcmpMethod method = IcmpMethod::None;
    const int n = sweepFreeAddresses(local, 2000, found, FreeAddressPool::kCapacity, &sweepAbort_, &method);
    // This machine's own addresses are never lent, whether or not they
    // answered (a host that ignores pings is still here).
    std::vector<uint32_t> own;
    for (const InterfaceAddress& a : listIpv4Addresses())
        own.push_back(a.address);
    int free = 0;
    {
        std::lock_guard<std::mutex> lock(tableMutex_);
        refillPool(pool_, found, n, own);
        // Jobs of earlier runs keep what they were lent.
        for (int i = 0; i < jobCount_; ++i) {
            if (!jobs_[i]->workerEnded())
                reserveAddress(pool_, jobs_[i]->lentAddress(), jobs_[i]->id());
        }
        free = freeAddresses(pool_);
    }
    Event e;
    e.kind = EventKind::SweepFinished;
    e.severity = n < 0 ? Severity::Failure : free == 0 ? Severity::Warning : Severity::Info;
    e.value = n < 0 ? -1 : free;
    e.icmp = method;
    if (n < 0)
        e.detail = "no ICMP socket could be opened: no address can be lent";
    publishEvent(std::move(e));
}

int UpdateServer::runListener(SocketHandle s)
{
    const std::string local = settings_.localAddress;
    {
        Event e;
        e.kind = EventKind::ListenerStarted;
        e.port = hostToNet16(wire::kRequestPort);
        publishEvent(std::move(e));
    }

    lendSweptAddresses(local);

    // One byte more than a request may have, so that a longer datagram shows
    // itself by its size and is dropped.
    uint8_t buffer[wire::kRequestBufferSize + 1];
    while (keepRunning_.load() && !abortAll_.load()) {
        const int ready = waitReadable(s, 1, 0);
        if (ready < 0)
            break;
        if (ready == 0) {
            consoleWrite("No data within five seconds.\n");
            continue;
        }
        std::memset(buffer, 0, sizeof buffer);
        SocketAddress source;
        const int n = receiveFrom(s, buffer, sizeof buffer, &source);
        if (n <= 0)
            continue;
        serveRequest(buffer, n, source);
    }

    closeSocket(s);
    stopSocketLayer();
    listenerActive_ = false;
    return 0;
}

void UpdateServer::serveRequest(const uint8_t* datagram, int size, const SocketAddress& source)
{
    const ServerSettings run = settings_;
    UpdateRequest request;
    const std::string image = admitRequest(datagram, size, source, run, &request);
    if (image.empty())
        return;
    uint32_t lent = 0;
    std::shared_ptr<UpdateJob> job = enterJob(request, source, image, run, &lent);
    if (job)
        launchJob(job, request.productCode, source, image, lent, run);
}

std::string UpdateServer::admitRequest(const uint8_t* datagram, int size, const SocketAddress& source,
                                       const ServerSettings& run, UpdateRequest* request)
{
    Event e;
    e.address = source.address;
    e.port = source.port;
    auto refuse = [&](EventKind kind, const std::string& detail) {
        e.kind = kind;
        e.value = size;
        e.detail = detail;
        publishEvent(std::move(e));
        return std::string();
    };
    if (size > static_cast<int>(wire::kRequestBufferSize))
        return refuse(EventKind::RequestMalformed, "longer than 256 bytes");
    const RequestProblem problem = readUpdateRequest(datagram, static_cast<size_t>(size), request);
    e.productCode = request->productCode;
    if (jobCount() >= kMaxJobs) {
        consoleWrite("Too Many update had happened\n");
        return refuse(EventKind::RequestTableFull, "");
    }
    if (problem != RequestProblem::None)
        return refuse(EventKind::RequestMalformed, requestProblemText(problem));
    {
        Event received = e;
        received.kind = EventKind::RequestReceived;
        publishEvent(std::move(received));
    }
    const std::string image = firmwareIndex_->find(run.firmwareDir, request->productCode);
    if (image.empty()) {
        e.path = run.firmwareDir;
        return refuse(EventKind::RequestNoFirmware, "");
    }
    return image;
}

std::shared_ptr<UpdateJob> UpdateServer::enterJob(const UpdateRequest& request, const SocketAddress& source,
                                                  const std::string& image, const ServerSettings& run,
                                                  uint32_t* lent)
{
    UpdateJob::Origin origin;
    {
        std::lock_guard<std::mutex> lock(tableMutex_);
        origin.id = nextJobId_++;
    }
    origin.productCode = request.productCode;
    origin.device = source;
    origin.acceptedWallMs = unixTimeMs();
    origin.acceptedNs = monotonicNs();
    std::shared_ptr<UpdateJob> job = UpdateJob::create(std::move(origin));
    {
        std::lock_guard<std::mutex> lock(startMutex_);
        job->setReport(report_);
    }
    bool full = false;
    if (!appendJob(job, lent, &full)) {
        if (full) {
            consoleWrite("Too Many update had happened\n");
            Event e;
            e.kind = EventKind::RequestTableFull;
            e.address = source.address;
            e.port = source.port;
            e.productCode = request.productCode;
            publishEvent(std::move(e));
        }
        return nullptr; // stopped meanwhile: no request is taken after Stop
    }
    job->assign(*lent, image, run.configPath, static_cast<uint8_t>(run.options & 0xFF));
    Event matched = jobEvent(*job, EventKind::RequestMatched);
    matched.path = image;
    publishEvent(std::move(matched));
    return job;
}

void UpdateServer::launchJob(const std::shared_ptr<UpdateJob>& job, const std::string& productCode,
                             const SocketAddress& source, const std::string& image, uint32_t lent,
                             const ServerSettings& run)
{
    if (lent == 0) {
        int found = 0;
        {
            std::lock_guard<std::mutex> lock(tableMutex_);
            found = pool_.count;
        }
        endBeforeTransfer(job, NetError,
                          found < 0 ? "no address to lend: the address sweep could not run (no ICMP socket)"
                                    : "no address to lend: every address of the network answered or is lent");
        return;
    }
    static_assert(kPrepareModelMismatch == ModelMismatch && kPrepareFileError == FileError, "store failures end jobs");
    Error why;
    const std::shared_ptr<const PreparedImage> prepared = imageStore_->prepare(image, productCode, run.configPath, &why);
    if (!prepared) {
        endBeforeTransfer(job, why.code, why.text);
        return;
    }
    if (job->stopRequested()) {
        endBeforeTransfer(job, Stopped, "");
        return;
    }

    // The job's socket is bound here, before the hand-over: a number that
    // was only probed could meanwhile be taken by another socket.
    uint16_t port = 0xFFFF;
    SocketHandle jobSocket = reserveJobSocket(&port);
    if (jobSocket == kInvalidSocket) {
        endBeforeTransfer(job, NetError, "no UDP port could be bound for the job: " + errorTextEnglish(lastSocketError()));
        return;
    }
    job->setPort(port);

    TransferCore::Setup setup;
    setup.localAddr = addressFromText(run.localAddress);
    setup.jobPort = port;
    setup.lentAddr = lent;
    setup.devicePort = source.port;
    setup.options = static_cast<uint8_t>(run.options & 0xFF);
    setup.image = prepared->bytes.data();
    setup.imageLength = prepared->bytes.size();
    setup.checksum = prepared->checksum;
    setup.keepAlive = prepared;
    if (scheduler_->add(job, jobSocket, setup) != 0) {
        closeSocket(jobSocket);
        consoleWrite("_beginthreadex Failed\n");
        endBeforeTransfer(job, NetError, "no thread could be started for the transfers");
    }
}

} // namespace brelvo
