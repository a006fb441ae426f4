// SPDX-License-Identifier: MIT
#include "server/UpdateServer.h"

#include "firmware/FirmwareIndex.h"
#include "firmware/ImageStore.h"
#include "platform/AddressText.h"
#include "platform/Clock.h"
#include "platform/WallClock.h"
#include "platform/Console.h"
#include "platform/DebugOutput.h"
#include "platform/ErrorText.h"
#include "record/EventFormat.h"
#include "record/ReportWriter.h"
#include "server/FreePort.h"

namespace brelvo {

namespace {

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
    if (const int refused = startSockets())
        return refused;
    SocketHandle s = kInvalidSocket;
    if (bindRequestPort(&s) != 0) {
        stopSocketLayer();
        return -1;
    }

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

// The socket layer is started for each run and stopped when its listener
// ends; only Windows has one, and only there can these steps fail.
int UpdateServer::startSockets()
{
    unsigned offered = 0;
    if (const int code = startSocketLayer(&offered)) {
        consolePrintf("WSAStartup failed. return: %d\n", code);
        return refuseStart("the socket layer cannot be started: " + errorTextEnglish(code), 0);
    }
    if (offered != kSocketLayerVersion) {
        consolePrintf("wsaData.wVersion: %u is not equal to wVersionRequested: %u\n", offered, kSocketLayerVersion);
        stopSocketLayer();
        refuseStart("the socket layer offers version " + std::to_string(offered & 0xFF) + "." +
                        std::to_string(offered >> 8 & 0xFF) + ", not 1.1",
                    0);
        return -2;
    }
    return 0;
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
    return refuseStart("UDP port 3281 cannot be bound: " + errorTextEnglish(err), err);
}

int UpdateServer::launchListener(SocketHandle s)
{
    listenerActive_ = true;
    keepRunning_ = true;
    sweepAbort_ = false;
    if (listener_.start([this, s] { runListener(s); }) != 0) {
        consoleWrite("_beginthreadex Failed\n");
        closeSocket(s);
        stopSocketLayer();
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

} // namespace brelvo
