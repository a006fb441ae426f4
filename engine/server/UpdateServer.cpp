// SPDX-License-Identifier: MIT
#include "server/UpdateServer.h"

#include "firmware/FirmwareIndex.h"
#include "firmware/ImageStore.h"
#include "platform/AddressText.h"
#include "platform/Clock.h"
#include "platform/WallClock.h"
#include "platform/Console.h"
#include "platform/DebugOutput.h"
#include "platform/NetworkInterfaces.h"
#include "platform/Socket.h"
#include "protocol/UpdateRequest.h"
#include "protocol/WireFormat.h"
#include "record/EventFormat.h"
#include "record/ReportWriter.h"
#include "server/AddressSweep.h"
#include "server/FreePort.h"

#include <cstring>

namespace brelvo {

namespace {

std::string errnoText(int err) { return std::strerror(err); }

// The run's report file; a failure to write it reaches the front-end as an
// event, through a queue the writer shares since it may outlive the server.
std::shared_ptr<ReportWriter> newRunReport(const ServerSettings& wanted, std::shared_ptr<EventQueue> queue)
{
    RunReport::Target target;
    target.path = wanted.reportPath;
    target.runStartMs = unixTimeMs();
    return std::make_shared<ReportWriter>(target, [queue](const RunReport::Problem& problem) {
        Event e;
        e.kind = EventKind::ReportFailed;
        e.wallTimeMs = unixTimeMs();
        e.path = problem.path;
        e.code = problem.code;
        e.detail = problem.detail;
        e.severity = severityOf(e);
        queue->push(std::move(e));
    });
}

} // namespace

UpdateServer::UpdateServer()
    : firmwareIndex_(std::make_unique<FirmwareIndex>()), imageStore_(std::make_unique<ImageStore>())
{
}

UpdateServer::~UpdateServer()
{
    keepRunning_ = false;
    abortAll_ = true;
    sweepAbort_ = true;
    listener_.join();
    // Ends every transfer still running and joins the transfer thread.
    scheduler_.reset();
}

int UpdateServer::start(const std::string& dir, const std::string& config, const std::string& address, int opts)
{
    ServerSettings s;
    s.firmwareDir = dir;
    s.configPath = config;
    s.localAddress = address;
    s.options = opts;
    return start(s);
}

int UpdateServer::start(const ServerSettings& wanted)
{
    if (listenerActive_.load())
        return refuseStart("the previous run is still ending", 0);
    // The previous listener has cleared its flag as its last act; collect it.
    listener_.join();
    {
        std::lock_guard<std::mutex> lock(startMutex_);
        startError_.clear();
        startErrno_ = 0;
    }

    consoleWrite("running...\n");
    SocketHandle s = kInvalidSocket;
    if (bindRequestPort(&s) != 0)
        return -1;

    settings_ = wanted;
    // A new report per run; rows of jobs from earlier runs still go to theirs.
    std::shared_ptr<ReportWriter> runReport = wanted.writeReport ? newRunReport(wanted, events_) : nullptr;
    {
        std::lock_guard<std::mutex> lock(startMutex_);
        report_ = std::move(runReport);
    }
    if (!scheduler_) {
        TransferObserver& observer = *this;
        scheduler_ = std::make_unique<TransferScheduler>(observer);
    }
    return launchListener(s);
}

int UpdateServer::refuseStart(const std::string& why, int err)
{
    std::lock_guard<std::mutex> lock(startMutex_);
    startError_ = why;
    startErrno_ = err;
    return -1;
}

// Port 3281 is bound here, not on the listener's thread: a port held by
// another program (a second copy of the tool) fails the start itself
// instead of leaving a run that can never hear a device.
int UpdateServer::bindRequestPort(SocketHandle* socket)
{
    SocketHandle s = openUdpSocket();
    if (s != kInvalidSocket && bindSocket(s, 0, hostToNet16(wire::kRequestPort)) == 0) {
        *socket = s;
        return 0;
    }
    const int err = lastSocketError();
    closeSocket(s);
    consolePrintf("socket error: %d\n", err);
    if (s != kInvalidSocket)
        debugOutput("socket error:" + std::to_string(err));
    Event e;
    e.kind = EventKind::ListenerFailed;
    e.severity = Severity::Failure;
    e.port = hostToNet16(wire::kRequestPort);
    e.code = err;
    publishEvent(std::move(e));
    return refuseStart("UDP port 3281 cannot be bound: " + errnoText(err), err);
}

int UpdateServer::launchListener(SocketHandle s)
{
    listenerActive_ = true;
    keepRunning_ = true;
    sweepAbort_ = false;
    if (listener_.start([this, s] { runListener(s); }) != 0) {
        consoleWrite("_beginthreadex Failed\n");
        closeSocket(s);
        // Leave the server startable and idle rather than stuck "running".
        listenerActive_ = false;
        keepRunning_ = false;
        return refuseStart("no thread could be started for the listener", 0);
    }
    return 0;
}

std::string UpdateServer::startError() const
{
    std::lock_guard<std::mutex> lock(startMutex_);
    return startError_;
}

int UpdateServer::startErrno() const
{
    std::lock_guard<std::mutex> lock(startMutex_);
    return startErrno_;
}

void UpdateServer::stop()
{
    std::vector<std::shared_ptr<UpdateJob>> asked;
    {
        // Under the table lock: once the table is walked no request can be
        // entered any more (appendJob tests keepRunning under this lock).
        std::lock_guard<std::mutex> lock(tableMutex_);
        keepRunning_ = false;
        sweepAbort_ = true; // a sweep still running need not finish
        for (int i = 0; i < jobCount_; ++i)
            asked.push_back(jobs_[i]);
    }
    int unfinished = 0;
    for (const auto& job : asked) {
        unfinished += job->isFinished() ? 0 : 1;
        job->stop();
    }
    Event e;
    e.kind = EventKind::StopRequested;
    e.value = unfinished;
    publishEvent(std::move(e));
}

bool UpdateServer::isIdle() const
{
    if (keepRunning_.load() || listenerActive_.load())
        return false;
    std::lock_guard<std::mutex> lock(tableMutex_);
    for (int i = 0; i < jobCount_; ++i) {
        // Once stopped, every job ends within a tick; waiting for that means
        // an idle server has handed every row to its report.
        if (!jobs_[i]->isFinished() || !jobs_[i]->workerEnded())
            return false;
    }
    return true;
}

int UpdateServer::jobCount() const
{
    std::lock_guard<std::mutex> lock(tableMutex_);
    return jobCount_;
}

std::shared_ptr<UpdateJob> UpdateServer::jobAt(int index) const
{
    std::lock_guard<std::mutex> lock(tableMutex_);
    if (index < 0 || index >= jobCount_)
        return nullptr;
    return jobs_[index];
}

std::vector<JobSnapshot> UpdateServer::snapshot() const
{
    std::vector<JobSnapshot> out;
    std::lock_guard<std::mutex> lock(tableMutex_);
    out.reserve(static_cast<size_t>(jobCount_));
    for (int i = 0; i < jobCount_; ++i)
        out.push_back(jobs_[i]->snapshot());
    return out;
}

size_t UpdateServer::activeTransfers() const { return scheduler_ ? scheduler_->activeJobs() : 0; }

size_t UpdateServer::takeEvents(std::vector<Event>& out) { return events_->drain(out); }

uint64_t UpdateServer::droppedEvents() const { return events_->dropped(); }

void UpdateServer::renumberRows()
{
    for (int i = 0; i < jobCount_; ++i)
        jobs_[i]->setRow(i + 1);
}

void UpdateServer::pruneFinished()
{
    std::vector<std::shared_ptr<UpdateJob>> done;
    {
        std::lock_guard<std::mutex> lock(tableMutex_);
        int kept = 0;
        for (int i = 0; i < jobCount_; ++i) {
            std::shared_ptr<UpdateJob> job = std::move(jobs_[i]);
            if (job->isFinished()) {
                returnAddress(pool_, job->lentAddress(), job->id());
                job->setRow(0);
                done.push_back(std::move(job));
            } else {
                jobs_[kept++] = std::move(job);
            }
        }
        for (int i = kept; i < kMaxJobs; ++i)
            jobs_[i].reset();
        jobCount_ = kept;
        renumberRows();
    }
    // A released job still listening for a late message ends now.
    for (const auto& job : done)
        job->release();
}

bool UpdateServer::appendJob(const std::shared_ptr<UpdateJob>& job, uint32_t* lent, bool* full)
{
    std::lock_guard<std::mutex> lock(tableMutex_);
    *full = jobCount_ >= kMaxJobs;
    if (*full || !keepRunning_.load())
        return false;
    jobs_[jobCount_++] = job;
    job->setRow(jobCount_);
    *lent = lendAddress(pool_, job->id());
    return true;
}

std::vector<uint16_t> UpdateServer::portsInUse() const
{
    std::vector<uint16_t> ports;
    std::lock_guard<std::mutex> lock(tableMutex_);
    for (int i = 0; i < jobCount_; ++i) {
        if (!jobs_[i]->workerEnded())
            ports.push_back(jobs_[i]->jobPort());
    }
    return ports;
}

SocketHandle UpdateServer::reserveJobSocket(uint16_t* port)
{
    // The probed number first; when something took it since the probe, any
    // number the system picks.
    *port = findFreePortExcluding(portsInUse());
    SocketHandle s = openUdpSocket();
    if (s == kInvalidSocket)
        return kInvalidSocket;
    if (*port != 0xFFFF && bindSocket(s, 0, *port) == 0)
        return s;
    SocketAddress bound;
    if (bindSocket(s, 0, 0) == 0 && socketName(s, &bound) == 0) {
        *port = bound.port;
        return s;
    }
    closeSocket(s);
    return kInvalidSocket;
}

void UpdateServer::publishEvent(Event event)
{
    if (event.wallTimeMs == 0)
        event.wallTimeMs = unixTimeMs();
    event.severity = severityOf(event);
    events_->push(std::move(event));
}

std::string UpdateServer::reportPath() const
{
    std::lock_guard<std::mutex> lock(startMutex_);
    return report_ ? report_->path() : std::string();
}

bool UpdateServer::flushReports()
{
    std::shared_ptr<ReportWriter> current;
    {
        std::lock_guard<std::mutex> lock(startMutex_);
        current = report_;
    }
    return !current || current->flush();
}

Event UpdateServer::jobEvent(const UpdateJob& job, EventKind kind) const
{
    Event e;
    e.kind = kind;
    e.jobId = job.id();
    e.row = job.row();
    e.address = job.device().address;
    e.port = job.device().port;
    e.lentAddress = job.lentAddress();
    e.productCode = job.productCodeText();
    return e;
}

void UpdateServer::endBeforeTransfer(const std::shared_ptr<UpdateJob>& job, int status, const std::string& why)
{
    if (!why.empty())
        consolePrintf("job %d (%s): %s\n", job->row(), job->productCodeText().c_str(), why.c_str());
    job->endEarly(status, monotonicNs());
    Event e = jobEvent(*job, EventKind::JobResult);
    e.severity = Severity::Failure;
    e.code = status;
    e.detail = why;
    publishEvent(std::move(e));
    transferEnded(job);
    job->markEnded();
}

void UpdateServer::transferEvent(Event event) { publishEvent(std::move(event)); }

void UpdateServer::transferEnded(const std::shared_ptr<UpdateJob>& job)
{
    if (job->report())
        job->report()->submit(job->summary());
}

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
    const PrepareResult prepared = imageStore_->prepare(image, productCode, run.configPath);
    if (prepared.status != PrepareStatus::Ok) {
        endBeforeTransfer(job, prepared.status == PrepareStatus::ModelMismatch ? ModelMismatch : FileError,
                          prepared.reason);
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
        endBeforeTransfer(job, NetError, "no UDP port could be bound for the job: " + errnoText(lastSocketError()));
        return;
    }
    job->setPort(port);

    TransferCore::Setup setup;
    setup.localAddr = addressFromText(run.localAddress);
    setup.jobPort = port;
    setup.lentAddr = lent;
    setup.devicePort = source.port;
    setup.options = static_cast<uint8_t>(run.options & 0xFF);
    setup.image = prepared.image->bytes.data();
    setup.imageLength = prepared.image->bytes.size();
    setup.checksum = prepared.image->checksum;
    setup.keepAlive = prepared.image;
    if (scheduler_->add(job, jobSocket, setup) != 0) {
        closeSocket(jobSocket);
        consoleWrite("_beginthreadex Failed\n");
        endBeforeTransfer(job, NetError, "no thread could be started for the transfers");
    }
}

} // namespace brelvo
