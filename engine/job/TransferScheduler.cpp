// SPDX-License-Identifier: MIT
#include "job/TransferScheduler.h"

#include "job/UpdateJob.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "record/EventFormat.h"

#include <climits>
#include <cstdio>

namespace brelvo {

namespace {

constexpr uint64_t kWakeToken = 0;
// Datagrams one receive call takes. A device acknowledges every block:
// reading them every few ticks takes a handful per call instead of one.
constexpr size_t kBatchSize = 16;

} // namespace

struct TransferScheduler::Active {
    std::shared_ptr<UpdateJob> job;
    SocketHandle socket = kInvalidSocket;
    uint64_t token = 0; // never kWakeToken
    std::unique_ptr<TransferCore> core;
    uint32_t localAddr = 0;
    bool watched = false;
    bool answerTold = false;
    int ticksSinceDrain = 0;
};

TransferScheduler::TransferScheduler(TransferObserver& observer)
    : TransferScheduler(observer, TransferCore::Timing())
{
}

TransferScheduler::TransferScheduler(TransferObserver& observer, const TransferCore::Timing& timing)
    : observer_(observer), timing_(timing), wake_(std::make_shared<WakeSignal>()),
      batch_(kBatchSize, wire::kJobBufferSize)
{
    idlePoller_.add(wake_->fd(), kWakeToken);
}

TransferScheduler::~TransferScheduler()
{
    quit_ = true;
    wake_->raise();
    thread_.join();
    // Whatever never reached the thread, or was still running, ends here.
    std::vector<Incoming> left;
    {
        std::lock_guard<std::mutex> lock(inboxMutex_);
        left.swap(inbox_);
    }
    const int64_t now = monotonicNs();
    for (Incoming& in : left) {
        closeSocket(in.socket);
        in.job->endEarly(Stopped, now);
        observer_.transferEnded(in.job);
        in.job->markEnded();
    }
}

bool TransferScheduler::add(const std::shared_ptr<UpdateJob>& job, SocketHandle socket,
                            const TransferCore::Setup& setup, Error* error)
{
    job->setWake(wake_);
    {
        std::lock_guard<std::mutex> lock(inboxMutex_);
        if (threadFailed_)
            return fail(error, NetError, "the transfer thread failed");
        if (!threadStarted_) {
            if (!idlePoller_.valid() || wake_->fd() < 0 ||
                thread_.start([this] { run(); }, "transfer", [this](const std::string& why) { died(why); }) != 0)
                return fail(error, NetError, "no thread could be started for the transfers");
            threadStarted_ = true;
        }
        inbox_.push_back(Incoming{job, socket, setup});
        ++active_;
    }
    wake_->raise();
    return true;
}

size_t TransferScheduler::activeJobs() const { return active_.load(); }

void TransferScheduler::run()
{
    usePreciseTimers();
    while (!quit_.load()) {
        if (idlePoller_.wait(earliestDeadline(), ready_) < 0) {
            // Never seen; rather than spin, wait a little and go on.
            sleepMilliseconds(1);
            continue;
        }
        bool woken = false;
        for (uint64_t token : ready_) {
            if (token == kWakeToken)
                woken = true;
            else
                drain(*reinterpret_cast<Active*>(token), kDrainLimit);
        }
        if (woken)
            takeWake();
        for (auto& a : jobs_) {
            if (!a->core->ended() && a->core->nextDeadline() <= monotonicNs())
                tick(*a);
        }
        for (size_t i = 0; i < jobs_.size();) {
            if (jobs_[i]->core->ended()) {
                finish(*jobs_[i]);
                jobs_.erase(jobs_.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
    }
    for (auto& a : jobs_) {
        a->core->release();
        afterStep(*a);
        finish(*a);
    }
    jobs_.clear();
}

void TransferScheduler::died(const std::string& why)
{
    std::vector<Incoming> left;
    {
        std::lock_guard<std::mutex> lock(inboxMutex_);
        threadFailed_ = true;
        left.swap(inbox_);
    }
    const auto end = [&](const std::shared_ptr<UpdateJob>& job, SocketHandle socket, int status) {
        closeSocket(socket);
        job->endEarly(status, monotonicNs());
        Event e;
        e.kind = EventKind::JobResult;
        e.code = status;
        e.detail = status == NetError ? "the transfer thread failed: " + why : std::string();
        observer_.transferEvent(job->event(std::move(e)));
        observer_.transferEnded(job);
        job->markEnded();
        --active_;
    };
    for (auto& a : jobs_) {
        if (a->watched)
            idlePoller_.remove(a->socket);
        // One whose device had already answered keeps its result.
        const bool over = a->core && a->core->ended();
        end(a->job, a->socket, over ? a->core->status() : NetError);
    }
    jobs_.clear();
    for (Incoming& in : left)
        end(in.job, in.socket, NetError);
    observer_.transferThreadFailed(why);
}

void TransferScheduler::takeWake()
{
    wake_->clear();
    takeInbox(monotonicNs());
    for (auto& a : jobs_) {
        if (a->core->ended())
            continue;
        if (a->job->released())
            a->core->release();
        else if (a->job->stopRequested())
            a->core->stop();
        afterStep(*a);
    }
}

// A job in its block phase reads its acknowledgements here, a batch at a
// time, and always before it decides what the next pass sends.
void TransferScheduler::tick(Active& a)
{
    if (a.core->inBlockPhase() && (++a.ticksSinceDrain >= kTicksPerDrain || a.core->wantsFreshAcks())) {
        a.ticksSinceDrain = 0;
        drain(a, kDrainLimit);
        if (a.core->ended() || !a.core->inBlockPhase())
            return;
    }
    // Each with the time of its own send.
    transmit(a, a.core->onTimer(monotonicNs()));
    afterStep(a);
}

void TransferScheduler::takeInbox(int64_t now)
{
    // One job at a time, its record made before it leaves the inbox: what
    // throws here leaves every job where died() finds it.
    for (;;) {
        auto a = std::make_unique<Active>();
        jobs_.reserve(jobs_.size() + 1);
        TransferCore::Setup setup;
        {
            std::lock_guard<std::mutex> lock(inboxMutex_);
            if (inbox_.empty())
                return;
            Incoming& in = inbox_.front();
            a->job = std::move(in.job);
            a->socket = in.socket;
            setup = std::move(in.setup);
            inbox_.erase(inbox_.begin());
        }
        // Pollers report a job by its record's address: records stay put
        // until the job has left both pollers.
        a->token = reinterpret_cast<uint64_t>(a.get());
        a->localAddr = setup.localAddr;
        jobs_.push_back(std::move(a));
        Active& added = *jobs_.back();
        added.core = std::make_unique<TransferCore>(setup, timing_);
        startJob(added, now);
    }
}

void TransferScheduler::startJob(Active& a, int64_t now)
{
    // A Stop that came while the job's files were read: it sends nothing.
    if (a.job->stopRequested()) {
        a.core->stop();
        afterStep(a);
        return;
    }
    transmit(a, a.core->begin(now));
    afterStep(a);
}

void TransferScheduler::drain(Active& a, int limit)
{
    for (int taken = 0; taken < limit && !a.core->ended();) {
        const int n = batch_.receive(a.socket);
        if (n < 0) {
            a.core->failNetwork();
            break;
        }
        for (int i = 0; i < n && !a.core->ended(); ++i)
            transmit(a, a.core->onDatagram(monotonicNs(), batch_.data(size_t(i)), batch_.length(size_t(i)),
                                           batch_.source(size_t(i))));
        taken += n;
        if (static_cast<size_t>(n) < batch_.size())
            break; // the queue is empty
    }
    afterStep(a);
}

void TransferScheduler::transmit(Active& a, const TransferCore::Send& send)
{
    if (!send)
        return;
    if (!send.broadcast) {
        sendTo(a.socket, send.data, send.length, send.to);
        // The gap to the next block counts from when this one really left:
        // a thread preempted between its clock reading and the send must
        // not follow up too closely.
        a.core->sent(monotonicNs());
        return;
    }
    // The Offer leaves from a socket of its own, bound to the chosen local
    // address so that it goes out through that address's network.
    SocketHandle b = openUdpSocket();
    if (b == kInvalidSocket)
        return;
    enableBroadcast(b);
    bindSocket(b, a.localAddr, 0);
    sendTo(b, send.data, send.length, send.to);
    closeSocket(b);
}

void TransferScheduler::afterStep(Active& a)
{
    a.job->publish(*a.core);
    for (const TransferCore::WriteCount& w : a.core->writeCounts()) {
        char text[64];
        std::snprintf(text, sizeof text, "write:%d, cnt=%d\r\n", w.written, w.total);
        debugOutput(text);
    }
    for (const Event& note : a.core->notes()) {
        observer_.transferEvent(a.job->event(note));
        // The first acknowledgement answers the Size, sent to this peer.
        if (note.kind == EventKind::BlockPhaseStarted && !a.answerTold) {
            a.answerTold = true;
            observer_.deviceAnswered(a.job, a.core->peer());
        }
    }
    a.core->clearNotes();
    watch(a);
}

void TransferScheduler::watch(Active& a)
{
    // Outside its block phase a job waits for its device and is woken by
    // it; in it, its socket is read on its ticks.
    const bool wanted = !a.core->ended() && !a.core->inBlockPhase();
    if (wanted == a.watched)
        return;
    if (wanted)
        a.watched = idlePoller_.add(a.socket, a.token) == 0;
    else
        a.watched = idlePoller_.remove(a.socket) != 0;
}

void TransferScheduler::finish(Active& a)
{
    if (a.watched)
        idlePoller_.remove(a.socket);
    a.watched = false;
    closeSocket(a.socket);
    a.socket = kInvalidSocket;
    a.job->publish(*a.core);
    a.job->closeRecord(monotonicNs());
    observer_.transferEnded(a.job);
    a.job->markEnded();
    --active_;
}

int64_t TransferScheduler::earliestDeadline() const
{
    int64_t earliest = INT64_MAX;
    for (const auto& a : jobs_) {
        const int64_t d = a->core->ended() ? INT64_MIN : a->core->nextDeadline();
        if (d < earliest)
            earliest = d;
    }
    return earliest;
}

} // namespace brelvo
