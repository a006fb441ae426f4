// SPDX-License-Identifier: MIT
#include "server/UpdateServer.h"

#include "platform/AddressText.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/DebugOutput.h"
#include "platform/UdpSniffer.h"
#include "platform/ErrorText.h"
#include "platform/HostName.h"
#include "platform/WallClock.h"
#include "record/EventFormat.h"
#include "record/JobStatus.h"
#include "record/ReportWriter.h"

namespace brelvo {

namespace {

// How long an address another tool offered is not lent here: longer than
// any update, so the device that took it is done with it.
constexpr int64_t kWithholdNs = 600LL * 1000000000;
// Other tools named in one run (a forged flood of Offers names no more).
constexpr size_t kToolsNamed = 16;

// The run's report file; a failure to write it reaches the front-end as an
// event, through a queue the writer shares since it may outlive the server.
std::shared_ptr<ReportWriter> newRunReport(const ServerSettings& wanted, std::shared_ptr<EventQueue> queue)
{
    RunReport::Target target;
    target.path = wanted.reportPath;
    target.runStartMs = unixTimeMs();
    const auto push = [queue](Event e) {
        e.wallTimeMs = unixTimeMs();
        e.severity = severityOf(e);
        queue->push(std::move(e));
    };
    return std::make_shared<ReportWriter>(
        target,
        [push](const std::string& path, const Error& error) {
            Event e;
            e.kind = EventKind::ReportFailed;
            e.path = path;
            e.code = error.code;
            e.detail = error.text;
            push(std::move(e));
        },
        [push](const std::string& why) {
            consolePrintf("report thread failed: %s\n", why.c_str());
            Event e;
            e.kind = EventKind::ThreadFailed;
            e.thread = "report";
            e.detail = why;
            push(std::move(e));
        });
}

} // namespace

UpdateServer::UpdateServer(std::unique_ptr<FirmwareSource> firmware)
    : resolver_(std::make_unique<MacResolver>(static_cast<MacResolverHost&>(*this))), listener_(*this, std::move(firmware))
{
}

UpdateServer::~UpdateServer()
{
    // Every job is stopped first, so that a read of its files ends at once
    // and the listener can be joined.
    stop();
    listener_.join();
    // Ends every transfer still running and joins the transfer thread; the
    // resolver then settles the rows it holds.
    scheduler_.reset();
    resolver_.reset();
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
    if (listener_.running())
        return refuseStart(Error{0, "the previous run is still ending"});
    // The previous listener has cleared its flag as its last act; collect it.
    listener_.join();
    {
        std::lock_guard<std::mutex> lock(startMutex_);
        startError_ = Error();
    }
    listenerFailed_ = false;

    consoleWrite("running...\n");
    Error error;
    if (const int refused = startSockets(&error)) {
        refuseStart(std::move(error));
        return refused;
    }
    const SocketHandle s = bindRequestPort(&error);
    if (s == kInvalidSocket) {
        stopSocketLayer();
        return refuseStart(std::move(error));
    }

    // A new report per run; rows of jobs from earlier runs still go to theirs.
    std::shared_ptr<ReportWriter> runReport = wanted.writeReport ? newRunReport(wanted, events_) : nullptr;
    {
        std::lock_guard<std::mutex> lock(startMutex_);
        report_ = std::move(runReport);
        station_ = hostName();
    }
    resolver_->newRun();
    if (!scheduler_) {
        // Without the right to sniff, each job hears its device's port from
        // its request on (a little later than the network).
        TransferObserver& observer = *this;
        scheduler_ = std::make_unique<TransferScheduler>(
            observer, TransferCore::Timing(), openUdpSniffer(wire::readBe32(wire::kMagic), wire::Offer));
    }
    {
        std::lock_guard<std::mutex> lock(tableMutex_);
        toolsNamed_.clear();
    }
    accepting_ = true;
    if (!listener_.start(s, wanted, &error)) {
        accepting_ = false;
        stopSocketLayer();
        return refuseStart(std::move(error));
    }
    return 0;
}

int UpdateServer::refuseStart(Error error)
{
    std::lock_guard<std::mutex> lock(startMutex_);
    startError_ = std::move(error);
    return -1;
}

// The socket layer is started for each run and stopped when its listener
// ends; only Windows has one, and only there can these steps fail.
int UpdateServer::startSockets(Error* error)
{
    unsigned offered = 0;
    if (const int code = startSocketLayer(&offered)) {
        consolePrintf("WSAStartup failed. return: %d\n", code);
        fail(error, 0, "the socket layer cannot be started: " + errorTextEnglish(code));
        return -1;
    }
    if (offered != kSocketLayerVersion) {
        consolePrintf("wsaData.wVersion: %u is not equal to wVersionRequested: %u\n", offered, kSocketLayerVersion);
        stopSocketLayer();
        fail(error, 0, "the socket layer offers version " + std::to_string(offered & 0xFF) + "." +
                           std::to_string(offered >> 8 & 0xFF) + ", not 1.1");
        return -2;
    }
    return 0;
}

// Port 3281 is bound here, not on the listener's thread: a port held by
// another program (a second copy of the tool) fails the start itself
// instead of leaving a run that can never hear a device.
SocketHandle UpdateServer::bindRequestPort(Error* error)
{
    SocketHandle s = openUdpSocket();
    if (s != kInvalidSocket && bindSocket(s, 0, hostToNet16(wire::kRequestPort)) == 0)
        return s;
    const int err = lastSocketError();
    closeSocket(s);
    consolePrintf("socket error: %d\n", err);
    if (s != kInvalidSocket)
        debugOutput("socket error:" + std::to_string(err));
    Event e;
    e.kind = EventKind::ListenerFailed;
    e.port = hostToNet16(wire::kRequestPort);
    e.code = err;
    publishEvent(std::move(e));
    fail(error, err, "UDP port 3281 cannot be bound: " + errorTextEnglish(err));
    return kInvalidSocket;
}

std::string UpdateServer::startError() const
{
    std::lock_guard<std::mutex> lock(startMutex_);
    return startError_.text;
}

int UpdateServer::startErrno() const
{
    std::lock_guard<std::mutex> lock(startMutex_);
    return startError_.code;
}

void UpdateServer::stop()
{
    std::vector<std::shared_ptr<UpdateJob>> asked;
    {
        // Under the table lock: a job entered after the walk is entered
        // stopped (enterJob tests accepting_ under this lock).
        std::lock_guard<std::mutex> lock(tableMutex_);
        accepting_ = false;
        for (int i = 0; i < jobCount_; ++i)
            asked.push_back(jobs_[i]);
    }
    listener_.stop();
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
    if (accepting_.load() || listener_.running())
        return false;
    {
        std::lock_guard<std::mutex> lock(tableMutex_);
        for (int i = 0; i < jobCount_; ++i) {
            // Once stopped, every job ends within a tick; waiting for that
            // means an idle server has handed every row to its report ...
            if (!jobs_[i]->isFinished() || !jobs_[i]->workerEnded())
                return false;
        }
    }
    // ... unless the row waits for the job's hardware address.
    return !resolver_->holdsRows();
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

size_t UpdateServer::takeEvents(std::vector<Event>& out)
{
    // The console's writer serves the whole process: each server says once
    // that it failed.
    if (!consoleFailureSaid_) {
        const std::string why = consoleFailure();
        if (!why.empty()) {
            consoleFailureSaid_ = true;
            sayThreadFailed("console", why);
        }
    }
    return events_->drain(out);
}

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

int UpdateServer::refillAddresses(const uint32_t* found, int count, const std::vector<uint32_t>& own)
{
    std::lock_guard<std::mutex> lock(tableMutex_);
    refillPool(pool_, found, count, own);
    // Jobs of earlier runs keep what they were lent.
    for (int i = 0; i < jobCount_; ++i) {
        if (!jobs_[i]->workerEnded())
            reserveAddress(pool_, jobs_[i]->lentAddress(), jobs_[i]->id());
    }
    return freeAddresses(pool_);
}

bool UpdateServer::tableFull() const { return jobCount() >= kMaxJobs; }

std::shared_ptr<UpdateJob> UpdateServer::enterJob(UpdateJob::Origin origin, const std::string& image,
                                                  const ServerSettings& run)
{
    std::shared_ptr<ReportWriter> report;
    {
        std::lock_guard<std::mutex> lock(startMutex_);
        report = report_;
        origin.station = station_;
    }
    std::shared_ptr<UpdateJob> job;
    uint32_t lent = 0;
    bool stopping = false;
    {
        // Entered and lent an address in one step, and only while the run
        // takes requests: after Stop the job is entered stopped, for its
        // row. (The listener, the only thread that enters jobs, made sure
        // there is room.)
        std::lock_guard<std::mutex> lock(tableMutex_);
        if (jobCount_ >= kMaxJobs)
            return nullptr;
        origin.id = nextJobId_++;
        job = UpdateJob::create(std::move(origin));
        job->setReport(std::move(report));
        jobs_[jobCount_++] = job;
        job->setRow(jobCount_);
        stopping = !accepting_.load();
        if (stopping) {
            job->stop();
        } else {
            std::vector<uint32_t> withheld;
            const int64_t now = monotonicNs();
            for (auto it = withheld_.begin(); it != withheld_.end();) {
                if (it->second <= now) {
                    it = withheld_.erase(it);
                } else {
                    withheld.push_back(it->first);
                    ++it;
                }
            }
            lent = lendAddress(pool_, job->id(), withheld);
        }
    }
    job->assign(lent, image, run.configPath, static_cast<uint8_t>(run.options & 0xFF));
    if (stopping)
        return job;
    Event matched = job->event(EventKind::RequestMatched);
    matched.path = image;
    publishEvent(std::move(matched));
    return job;
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

bool UpdateServer::handOver(const std::shared_ptr<UpdateJob>& job, SocketHandle socket, SocketHandle offerWatch,
                            const TransferCore::Setup& setup, Error* error)
{
    job->setPort(setup.jobPort);
    return scheduler_->add(job, socket, setup, error, offerWatch);
}

bool UpdateServer::noteAnotherTool(const Event& offer)
{
    std::lock_guard<std::mutex> lock(tableMutex_);
    if (offer.lentAddress != 0 && (withheld_.size() < FreeAddressPool::kCapacity || withheld_.count(offer.lentAddress)))
        withheld_[offer.lentAddress] = monotonicNs() + kWithholdNs;
    return toolsNamed_.size() < kToolsNamed && toolsNamed_.insert(offer.address).second;
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
    resolver_->flush();
    std::shared_ptr<ReportWriter> current;
    {
        std::lock_guard<std::mutex> lock(startMutex_);
        current = report_;
    }
    return !current || current->flush();
}

void UpdateServer::endBeforeTransfer(const std::shared_ptr<UpdateJob>& job, int status, const std::string& why)
{
    if (!why.empty())
        consolePrintf("job %d (%s): %s\n", job->row(), job->productCodeText().c_str(), why.c_str());
    job->endEarly(status, monotonicNs());
    Event e = job->event(EventKind::JobResult);
    e.code = status;
    e.detail = why;
    publishEvent(std::move(e));
    transferEnded(job);
    job->markEnded();
}

void UpdateServer::listenerDied(const std::string& why)
{
    {
        std::lock_guard<std::mutex> lock(tableMutex_);
        accepting_ = false;
    }
    listenerFailed_ = true;
    sayThreadFailed("listener", why);
}

void UpdateServer::sayThreadFailed(const char* thread, const std::string& why)
{
    consolePrintf("%s thread failed: %s\n", thread, why.c_str());
    Event e;
    e.kind = EventKind::ThreadFailed;
    e.thread = thread;
    e.detail = why;
    publishEvent(std::move(e));
}

void UpdateServer::transferEvent(Event event)
{
    if (event.kind != EventKind::AnotherTool || noteAnotherTool(event))
        publishEvent(std::move(event));
}

void UpdateServer::transferThreadFailed(const std::string& why) { sayThreadFailed("transfer", why); }

void UpdateServer::resolverThreadFailed(const std::string& why) { sayThreadFailed("resolver", why); }

void UpdateServer::listenerEvent(Event event) { publishEvent(std::move(event)); }

void UpdateServer::transferEnded(const std::shared_ptr<UpdateJob>& job) { resolver_->jobEnded(job); }

void UpdateServer::deviceAnswered(const std::shared_ptr<UpdateJob>& job, const SocketAddress& peer)
{
    resolver_->lookUp(job, peer.address);
}

void UpdateServer::resolverEvent(Event event) { publishEvent(std::move(event)); }

void UpdateServer::rowSettled(const std::shared_ptr<UpdateJob>& job)
{
    {
        std::lock_guard<std::mutex> lock(startMutex_);
        switch (statusRow(job->statusCode()).outcome) {
        case StatusOutcome::Succeeded: ++ended_.succeeded; break;
        case StatusOutcome::Stopped: ++ended_.stopped; break;
        case StatusOutcome::Elsewhere: ++ended_.elsewhere; break;
        default: ++ended_.failed; break;
        }
    }
    if (job->report())
        job->report()->submit(job->summary());
}

UpdateServer::EndedJobs UpdateServer::endedJobs() const
{
    std::lock_guard<std::mutex> lock(startMutex_);
    return ended_;
}

} // namespace brelvo
