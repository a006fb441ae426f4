// SPDX-License-Identifier: MIT
#include "job/TransferScheduler.h"

#include "job/UpdateJob.h"
#include "platform/Clock.h"
#include "platform/AddressText.h"
#include "platform/DebugOutput.h"
#include "platform/ErrorText.h"
#include "platform/UdpSniffer.h"
#include "record/EventFormat.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace brelvo {

namespace {

constexpr uint64_t kWakeToken = 0;
// Datagrams one receive call takes. A device acknowledges every block:
// reading them every few ticks takes a handful per call instead of one.
constexpr size_t kBatchSize = 16;
// The poller's token of a job's Offer watch: its record's address with the
// low bit set (records are aligned, so a job's own token never has it); and
// of the sniffer, which no record's address can be.
constexpr uint64_t kOfferWatchBit = 1;
constexpr uint64_t kSnifferToken = 2;
// Jobs remembered to tell our own Offers from another tool's: more than the
// table holds, so a late copy of a finished job's Offer is still ours.
constexpr size_t kRecentJobs = 256;
// Requests and Offers the sniffer heard, kept for jobs still being prepared.
constexpr size_t kHeardLimit = 512;

} // namespace

struct TransferScheduler::Active {
    std::shared_ptr<UpdateJob> job;
    SocketHandle socket = kInvalidSocket;
    uint64_t token = 0; // never kWakeToken
    std::unique_ptr<TransferCore> core;
    uint32_t localAddr = 0;
    uint16_t jobPort = 0;
    uint16_t devicePort = 0;
    bool watched = false;
    bool answerTold = false;
    SocketHandle offerWatch = kInvalidSocket;
    bool ownOfferSeen = false;
    uint32_t otherToolFirst = 0; // whose Offer came before ours; 0: none
    int ticksSinceDrain = 0;
};

TransferScheduler::TransferScheduler(TransferObserver& observer)
    : TransferScheduler(observer, TransferCore::Timing())
{
}

TransferScheduler::TransferScheduler(TransferObserver& observer, const TransferCore::Timing& timing,
                                     SocketHandle sniffer)
    : observer_(observer), timing_(timing), wake_(std::make_shared<WakeSignal>()),
      batch_(kBatchSize, wire::kJobBufferSize), sniffer_(sniffer)
{
    idlePoller_.add(wake_->fd(), kWakeToken);
    if (sniffer_ != kInvalidSocket && idlePoller_.add(sniffer_, kSnifferToken) != 0)
        closeSniffer();
}

TransferScheduler::~TransferScheduler()
{
    quit_ = true;
    wake_->raise();
    thread_.join();
    closeSniffer();
    // Whatever never reached the thread, or was still running, ends here.
    std::vector<Incoming> left;
    {
        std::lock_guard<std::mutex> lock(inboxMutex_);
        left.swap(inbox_);
    }
    const int64_t now = monotonicNs();
    for (Incoming& in : left) {
        closeSocket(in.socket);
        closeSocket(in.offerWatch);
        in.job->endEarly(Stopped, now);
        observer_.transferEnded(in.job);
        in.job->markEnded();
    }
}

bool TransferScheduler::add(const std::shared_ptr<UpdateJob>& job, SocketHandle socket,
                            const TransferCore::Setup& setup, Error* error, SocketHandle offerWatch)
{
    job->setWake(wake_);
    {
        std::lock_guard<std::mutex> lock(inboxMutex_);
        if (threadFailed_)
            return fail(error, NetError, "the transfer thread failed");
        if (!threadStarted_) {
            if (!idlePoller_.valid() || !wake_->valid() ||
                thread_.start([this] { run(); }, "transfer", [this](const std::string& why) { died(why); }) != 0)
                return fail(error, NetError, "no thread could be started for the transfers");
            threadStarted_ = true;
        }
        inbox_.push_back(Incoming{job, socket, setup, offerWatch});
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
            else if (token == kSnifferToken)
                readSniffer();
            else if (token & kOfferWatchBit)
                readOfferWatch(*reinterpret_cast<Active*>(token & ~kOfferWatchBit));
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
    const auto end = [&](const std::shared_ptr<UpdateJob>& job, SocketHandle socket, SocketHandle offerWatch,
                         int status) {
        closeSocket(socket);
        closeSocket(offerWatch);
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
        if (a->offerWatch != kInvalidSocket)
            idlePoller_.remove(a->offerWatch);
        // One whose device had already answered keeps its result.
        const bool over = a->core && a->core->ended();
        end(a->job, a->socket, a->offerWatch, over ? a->core->status() : NetError);
    }
    jobs_.clear();
    for (Incoming& in : left)
        end(in.job, in.socket, in.offerWatch, NetError);
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
            a->offerWatch = in.offerWatch;
            setup = std::move(in.setup);
            inbox_.erase(inbox_.begin());
        }
        // Pollers report a job by its record's address: records stay put
        // until the job has left both pollers.
        a->token = reinterpret_cast<uint64_t>(a.get());
        a->localAddr = setup.localAddr;
        a->jobPort = setup.jobPort;
        a->devicePort = setup.devicePort;
        jobs_.push_back(std::move(a));
        Active& added = *jobs_.back();
        added.core = std::make_unique<TransferCore>(setup, timing_);
        const SocketAddress self{added.localAddr, added.jobPort};
        if (recentJobs_.size() < kRecentJobs)
            recentJobs_.push_back(self);
        else
            recentJobs_[nextRecentJob_++ % kRecentJobs] = self;
        startJob(added, now);
        if (sniffer_ != kInvalidSocket) {
            // The sniffer heard what came since the device's latest request,
            // all of it before our Offer.
            closeSocket(added.offerWatch);
            added.offerWatch = kInvalidSocket;
            const auto asked = std::find_if(heard_.rbegin(), heard_.rend(), [&](const Heard& h) {
                return h.port == 0 && h.from == added.job->device();
            });
            for (auto it = asked.base(); asked != heard_.rend() && it != heard_.end(); ++it) {
                if (it->port != 0 && it->port == added.devicePort)
                    noteOffer(added, it->tool, it->jobPort);
            }
        } else if (added.offerWatch != kInvalidSocket &&
                   idlePoller_.add(added.offerWatch, added.token | kOfferWatchBit) != 0) {
            closeSocket(added.offerWatch);
            added.offerWatch = kInvalidSocket;
        }
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

// What reached the device's port since its request, our own Offer among it.
void TransferScheduler::readOfferWatch(Active& a)
{
    for (int taken = 0; taken < kDrainLimit && a.offerWatch != kInvalidSocket;) {
        const int n = batch_.receive(a.offerWatch);
        if (n < 0)
            closeOfferWatch(a);
        for (int i = 0; i < n; ++i) {
            Heard h;
            h.port = a.devicePort;
            if (wire::decodeOffer(batch_.data(size_t(i)), batch_.length(size_t(i)), &h.lent, &h.tool, &h.jobPort) &&
                h.tool != 0 && noteOffer(a, h.tool, h.jobPort))
                tellAnotherTool(h);
        }
        taken += n;
        if (n <= 0 || static_cast<size_t>(n) < batch_.size())
            break;
    }
}

// Every request and Offer reaching this host, in the order they came: an
// Offer goes to the jobs serving its port, and both are kept for the jobs
// whose files are still being read.
void TransferScheduler::readSniffer()
{
    uint8_t d[wire::kRequestBufferSize];
    for (int i = 0; i < kDrainLimit && sniffer_ != kInvalidSocket; ++i) {
        Heard h;
        const int n = receiveSniffed(sniffer_, d, sizeof d, &h.from, &h.port);
        if (n < 0)
            closeSniffer();
        if (n <= 0)
            break;
        if (wire::messageType(d, size_t(n)) == wire::UpdateRequest) {
            if (h.port != hostToNet16(wire::kRequestPort))
                continue;
            h.port = 0;
        } else if (!wire::decodeOffer(d, size_t(n), &h.lent, &h.tool, &h.jobPort) || h.tool == 0) {
            continue;
        } else {
            const bool foreign = !isOwnOffer(h.tool, h.jobPort);
            for (auto& a : jobs_) {
                if (a->devicePort == h.port)
                    noteOffer(*a, h.tool, h.jobPort);
            }
            if (foreign)
                tellAnotherTool(h);
        }
        heard_.push_back(h);
        if (heard_.size() > kHeardLimit)
            heard_.pop_front();
    }
}

// Another tool's Offer before ours is the one the waiting device took. True
// when the Offer is another tool's.
bool TransferScheduler::noteOffer(Active& a, uint32_t tool, uint16_t jobPort)
{
    const int64_t now = monotonicNs();
    if (isOwnOffer(tool, jobPort)) {
        if (jobPort == a.jobPort && tool == a.localAddr && !a.ownOfferSeen) {
            a.ownOfferSeen = true;
            if (a.otherToolFirst != 0)
                a.core->otherToolOffered(now, a.otherToolFirst, true);
        }
        return false;
    }
    if (!a.ownOfferSeen && a.otherToolFirst == 0)
        a.otherToolFirst = tool;
    a.core->otherToolOffered(now, tool, false);
    return true;
}

void TransferScheduler::tellAnotherTool(const Heard& offer)
{
    Event e;
    e.kind = EventKind::AnotherTool;
    e.address = offer.tool;
    e.lentAddress = offer.lent;
    e.port = offer.port;
    observer_.transferEvent(std::move(e));
}

void TransferScheduler::closeSniffer()
{
    if (sniffer_ == kInvalidSocket)
        return;
    idlePoller_.remove(sniffer_);
    closeSocket(sniffer_);
    sniffer_ = kInvalidSocket;
}

void TransferScheduler::closeOfferWatch(Active& a)
{
    if (a.offerWatch == kInvalidSocket)
        return;
    idlePoller_.remove(a.offerWatch);
    closeSocket(a.offerWatch);
    a.offerWatch = kInvalidSocket;
}

bool TransferScheduler::isOwnOffer(uint32_t tool, uint16_t jobPort) const
{
    for (const SocketAddress& job : recentJobs_) {
        if (job == SocketAddress{tool, jobPort})
            return true;
    }
    return false;
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
    // It goes out once: if it cannot, the device will never answer, and
    // waiting for its silence would blame the device.
    SocketHandle b = openUdpSocket();
    const bool sent = b != kInvalidSocket && enableBroadcast(b) == 0 && bindSocket(b, a.localAddr, 0) == 0 &&
                      sendTo(b, send.data, send.length, send.to) >= 0;
    if (!sent)
        a.core->offerFailed(errorTextEnglish(lastSocketError()));
    if (b != kInvalidSocket)
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
    closeOfferWatch(a);
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
