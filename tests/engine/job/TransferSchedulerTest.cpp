// SPDX-License-Identifier: MIT
// The transfer thread against a scripted device on loopback, in a private
// network namespace (the Offer is a broadcast). Datagrams are queued on the
// job's socket before it is handed over, so what the thread reads when is
// decided by the order of events, not by timing.

#include "EngineTestSupport.h"
#include "job/TransferScheduler.h"
#include "job/UpdateJob.h"
#include "platform/AddressText.h"
#include "platform/UdpSniffer.h"

#include <mutex>

using namespace brelvo;
using namespace brelvo_test;

namespace {

struct Recorder : TransferObserver {
    std::mutex mutex;
    std::vector<Event> events;
    std::atomic<bool> ended{false};
    std::atomic<bool> throwOnce{false}; // the first event kills the thread
    std::string threadFailed;

    void transferEvent(Event event) override
    {
        if (throwOnce.exchange(false))
            throw std::bad_alloc();
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(std::move(event));
    }
    void transferEnded(const std::shared_ptr<UpdateJob>&) override { ended = true; }
    void transferThreadFailed(const std::string& why) override { threadFailed = why; }
};

SocketHandle boundUdp(uint32_t address, SocketAddress* bound)
{
    const SocketHandle s = openUdpSocket();
    CHILD_CHECK(s != kInvalidSocket && bindSocket(s, address, 0) == 0 && socketName(s, bound) == 0);
    return s;
}

// What the device receives until End, blocks as 100 + index (a job stuck
// for 30 s ends the list early).
std::vector<int> receiveUntilEnd(SocketHandle device)
{
    std::vector<int> types;
    uint8_t d[wire::kJobBufferSize];
    while (types.empty() || types.back() != wire::End) {
        const int n = waitReadable(device, 30, 0) == 1 ? receiveFrom(device, d, sizeof d, nullptr) : -1;
        if (n < 0)
            break;
        const int type = wire::messageType(d, size_t(n));
        types.push_back(type == wire::Block ? 100 + int(wire::readBe32(d + 12)) : type);
    }
    return types;
}

} // namespace

// Also: a thread that dies ends its job as failed, says why, and takes no
// job after.
TEST(Scheduler, AcknowledgementsQueuedDuringAPassAreReadBeforeTheNextAndAStopBeforeTheStartSendsNothing)
{
    inPrivateNetns([] {
        const uint32_t loopback = addressFromText("127.0.0.1");
        constexpr int kBlocks = 4;
        static_assert(kBlocks < TransferScheduler::kTicksPerDrain, "the pass must end between two periodic reads");
        enum { Served, StopFirst, Dies };
        for (const int mode : {Served, StopFirst, Dies}) {
            const bool stopFirst = mode == StopFirst;
            Recorder observer;
            observer.throwOnce = mode == Dies;
            SocketAddress device, jobPort;
            const SocketHandle deviceSocket = boundUdp(0, &device); // any address: a broadcast reaches it
            const SocketHandle jobSocket = boundUdp(loopback, &jobPort);
            const SocketAddress to{loopback, jobPort.port};
            // Ready and the acknowledgement that starts the blocks, filler up
            // to the thread's first read, then every block's acknowledgement.
            std::vector<std::vector<uint8_t>> queued{message(2), message(4, {0})};
            queued.resize(TransferScheduler::kDrainLimit, std::vector<uint8_t>{'x'});
            for (uint32_t i = 0; i < kBlocks; ++i)
                queued.push_back(message(4, {i}));
            for (const auto& d : queued)
                CHILD_CHECK(sendTo(deviceSocket, d.data(), d.size(), to) == int(d.size()));

            auto image = std::make_shared<PreparedImage>();
            image->bytes.assign(kBlocks * wire::kBlockSize, 0x5A);
            image->checksum = 0xC0FFEE;
            const TransferCore::Setup setup{loopback, jobPort.port, loopback, device.port, 0, image};
            UpdateJob::Origin origin;
            origin.id = 7;
            origin.device = SocketAddress{loopback, device.port};
            const auto job = UpdateJob::create(origin);
            if (stopFirst) // while its files were read
                job->stop();
            std::vector<int> seen;
            {
                TransferScheduler scheduler(observer);
                CHILD_CHECK(scheduler.add(job, jobSocket, setup));
                if (mode == Served) {
                    seen = receiveUntilEnd(deviceSocket);
                    const std::vector<uint8_t> written = message(9);
                    sendTo(deviceSocket, written.data(), written.size(), to);
                }
                CHILD_CHECK(waitFor([&] { return observer.ended.load(); }, 30s));
                if (mode == Dies)
                    CHILD_CHECK(!scheduler.add(UpdateJob::create(origin), openUdpSocket(), setup));
            }
            std::vector<EventKind> kinds;
            for (const Event& e : observer.events) {
                kinds.push_back(e.kind);
                CHILD_CHECK(e.jobId == 7 && e.address == loopback && e.port == device.port && e.wallTimeMs > 0);
            }
            using K = EventKind;
            CHILD_CHECK(job->summary().optionsSent == (mode == Served));
            if (mode == Dies) {
                CHILD_CHECK(kinds == std::vector<K>{K::JobResult} && job->statusCode() == NetError);
                CHILD_CHECK(observer.threadFailed == "out of memory");
            } else if (stopFirst) {
                CHILD_CHECK(kinds == std::vector<K>{K::JobResult} && job->statusCode() == Stopped);
                CHILD_CHECK(waitReadable(deviceSocket, 0, 0) == 0); // not even the Offer
            } else {
                CHILD_CHECK(seen == (std::vector<int>{wire::Offer, wire::Size, 100, 101, 102, 103, wire::End}));
                CHILD_CHECK(kinds == (std::vector<K>{K::OfferSent, K::SizeSent, K::BlockPhaseStarted, K::EndSent,
                                                     K::JobResult}));
                CHILD_CHECK(observer.events[0].jobPort == jobPort.port && observer.events[3].checksum == 0xC0FFEE);
                CHILD_CHECK(job->statusCode() == DeviceWriteComplete && job->summary().blocksResent == 0);
            }
            CHILD_CHECK(job->workerEnded());
            closeSocket(deviceSocket);
        }
    });
}

// The Offers heard since the device's request, ours among them, whether each
// job hears its device's port or a sniffer hears the network: another tool's
// before ours is the one the silent device took, one after ours only says
// another tool is there, and ours is never another tool's.
TEST(Scheduler, AnotherToolsOfferIsJudgedByItsPlaceBeforeOrAfterOurs)
{
    inPrivateNetns([] {
        const uint32_t loopback = addressFromText("127.0.0.1");
        const uint32_t other = addressFromText("127.0.0.9");
        const uint32_t lent = addressFromText("127.0.0.77");
        TransferCore::Timing timing;
        timing.silenceNs = 2000000000; // no device answers here
        timing.otherOfferGraceNs = 0;
#ifdef _WIN32 // no sniffer there: the devices' ports are heard instead
        for (const int variant : {0, 1}) {
#else
        for (const int variant : {0, 1, 2, 3}) {
#endif
            const bool before = variant & 1, sniffing = variant & 2;
            Recorder observer;
            SocketAddress devicePort, jobPort, sender;
            const SocketHandle watch = openSharedUdpSocket(0);
            CHILD_CHECK(watch != kInvalidSocket && socketName(watch, &devicePort) == 0);
            const SocketHandle jobSocket = boundUdp(loopback, &jobPort);
            const SocketHandle otherTool = boundUdp(loopback, &sender);
            uint8_t offer[wire::kOfferSize];
            wire::encodeOffer(offer, lent, other, hostToNet16(4000));
            const auto offerFromOther = [&] {
                CHILD_CHECK(sendTo(otherTool, offer, sizeof offer, {loopback, devicePort.port}) == int(sizeof offer));
            };
            const TransferCore::Setup setup{loopback, jobPort.port, lent, devicePort.port, 0,
                                            std::make_shared<PreparedImage>()};
            UpdateJob::Origin origin;
            origin.device = SocketAddress{loopback, devicePort.port};
            const auto job = UpdateJob::create(origin);
            {
                const SocketHandle sniffer =
                    sniffing ? openUdpSniffer(wire::readBe32(wire::kMagic), wire::Offer) : kInvalidSocket;
                CHILD_CHECK(sniffing == (sniffer != kInvalidSocket));
                TransferScheduler scheduler(observer, timing, sniffer);
                const std::vector<uint8_t> ask = request("ABCDEFG"); // from the device's port
                CHILD_CHECK(sendTo(watch, ask.data(), ask.size(), {loopback, hostToNet16(3281)}) == int(ask.size()));
                if (before)
                    offerFromOther();
                CHILD_CHECK(scheduler.add(job, jobSocket, setup, nullptr, watch));
                if (!before) { // once our Offer is out, its copy is heard first
                    CHILD_CHECK(waitFor([&] { return std::lock_guard<std::mutex>(observer.mutex), !observer.events.empty(); },
                                        30s));
                    offerFromOther();
                }
                CHILD_CHECK(waitFor([&] { return observer.ended.load(); }, 30s));
            }
            std::vector<Event> others;
            std::string why;
            for (const Event& e : observer.events) {
                if (e.kind == EventKind::AnotherTool)
                    others.push_back(e);
                if (e.kind == EventKind::JobResult)
                    why = e.detail;
            }
            CHILD_CHECK(job->statusCode() == ServedElsewhere && others.size() == 1);
            CHILD_CHECK(others[0].address == other && others[0].lentAddress == lent && others[0].port == devicePort.port);
            CHILD_CHECK(why == (before ? "the device took the Offer of the tool at 127.0.0.9, which came before ours"
                                       : "the device never answered; the tool at 127.0.0.9 offered to it too"));
            closeSocket(otherTool);
        }
    });
}
