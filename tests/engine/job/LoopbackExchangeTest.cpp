#include "JobTestSupport.h"
#include "PrivateNetns.h"
#include "TempDir.h"
#include "job/ConfigMask.h"
#include "job/ReceiveWithTimeout.h"
#include "platform/AddressText.h"
#include "platform/Clock.h"
#include "server/FreePort.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <thread>

using namespace brelvo;
using namespace brelvo_test;

namespace {

const uint32_t kLoopback = addressFromText("127.0.0.1");

bool waitUntil(const std::function<bool()>& done, int seconds = 30)
{
    for (int i = 0; i < seconds * 100; ++i) {
        if (done())
            return true;
        sleepMilliseconds(10);
    }
    return done();
}

// A stand-in for a device: one UDP socket on the loopback interface.
class FakeDevice {
public:
    explicit FakeDevice(uint32_t bindAddress = kLoopback, uint16_t port = 0)
    {
        s_ = openUdpSocket();
        bindSocket(s_, bindAddress, port);
        socketName(s_, &address_);
        if (address_.address == 0)
            address_.address = kLoopback;
    }
    ~FakeDevice() { closeSocket(s_); }
    FakeDevice(const FakeDevice&) = delete;
    FakeDevice& operator=(const FakeDevice&) = delete;

    const SocketAddress& address() const { return address_; }
    void send(const std::vector<uint8_t>& d, const SocketAddress& to) { sendTo(s_, d.data(), d.size(), to); }
    // The next datagram; empty when none comes within `timeoutMs`.
    std::vector<uint8_t> receive(int timeoutMs = 10000, SocketAddress* from = nullptr)
    {
        std::vector<uint8_t> buf(4096);
        SocketAddress src;
        const int n = receiveWithTimeout(s_, buf.data(), buf.size(), &src, timeoutMs);
        if (from)
            *from = src;
        buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return buf;
    }

private:
    SocketHandle s_ = kInvalidSocket;
    SocketAddress address_;
};

int typeOf(const std::vector<uint8_t>& d)
{
    return wire::hasMagic(d.data(), d.size()) ? wire::messageType(d.data(), d.size()) : -100;
}

// A job serving on a loopback socket in a thread of the test.
class ServedJob {
public:
    ServedJob(const std::vector<uint8_t>& image, uint32_t checksum, uint8_t options)
    {
        job = makeJob();
        job->init("", "", kLoopback, 0, 0, 0, options);
        job->loadImage(image.data(), image.size(), checksum);
        SocketHandle s = openUdpSocket();
        bindSocket(s, kLoopback, 0);
        socketName(s, &address);
        job->adoptSocket(s);
        worker = std::thread([this] { job->serve(); });
    }
    ~ServedJob() { end(); }
    void end()
    {
        if (worker.joinable()) {
            job->shutdown();
            worker.join();
        }
    }

    std::shared_ptr<UpdateJob> job;
    SocketAddress address;
    std::thread worker;
};

std::vector<uint8_t> patternImage(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + (i >> 10));
    return v;
}

} // namespace

TEST(ReceiveWithTimeout, PollsWaitsAndReceivesOnLoopback)
{
    FakeDevice a, b;
    uint8_t buf[8];
    SocketAddress from;
    EXPECT_EQ(receiveWithTimeout(0x7FFF, buf, sizeof buf, &from, 0), -1); // not a socket
    SocketHandle s = openUdpSocket();
    bindSocket(s, kLoopback, 0);
    EXPECT_EQ(receiveWithTimeout(s, buf, sizeof buf, &from, 0), 0);
    SocketAddress me;
    socketName(s, &me);
    a.send({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, me);
    EXPECT_EQ(receiveWithTimeout(s, buf, sizeof buf, &from, 10000), 8); // cut to capacity
    EXPECT_EQ(from, a.address());
    EXPECT_EQ(buf[7], 8);
    closeSocket(s);
}

TEST(LoopbackExchange, FullTransferWithRetransmissionsAndLateMessages)
{
    const std::vector<uint8_t> image = patternImage(2500);
    ServedJob served(image, 0x01020304u, 3);
    FakeDevice device, stranger;

    device.send(deviceMessage(2), served.address);
    std::vector<uint8_t> size = device.receive();
    ASSERT_EQ(size.size(), 20u);
    EXPECT_EQ(typeOf(size), 3);
    EXPECT_EQ(wire::readBe32(size.data() + 12), 2500u);
    EXPECT_EQ(wire::readBe32(size.data() + 16), 1024u);
    EXPECT_EQ(served.job->statusCode(), SizeSent);

    // Start the block phase; acknowledge block 1 only the second time it
    // comes, so that a later pass has to resend it.
    device.send(deviceMessage(4, {0}), served.address);
    std::set<uint32_t> acked;
    int block1Seen = 0;
    std::vector<uint8_t> end;
    for (int guard = 0; guard < 10000; ++guard) {
        std::vector<uint8_t> d = device.receive();
        ASSERT_FALSE(d.empty()) << "the job went silent during the block phase";
        if (typeOf(d) == 6) {
            end = d;
            break;
        }
        ASSERT_EQ(typeOf(d), 5);
        ASSERT_EQ(d.size(), 1040u);
        const uint32_t index = wire::readBe32(d.data() + 12);
        ASSERT_LT(index, 3u);
        const size_t from = index * 1024;
        const size_t n = std::min<size_t>(1024, image.size() - from);
        ASSERT_TRUE(std::equal(image.begin() + from, image.begin() + from + n, d.begin() + 16));
        for (size_t i = 16 + n; i < 1040; ++i)
            ASSERT_EQ(d[i], 0) << "filler";
        if (index == 1 && ++block1Seen < 2)
            continue;
        acked.insert(index);
        device.send(deviceMessage(4, {index}), served.address);
    }
    ASSERT_EQ(end.size(), 17u);
    EXPECT_EQ(std::vector<uint8_t>(end.begin() + 12, end.end()), (std::vector<uint8_t>{1, 2, 3, 4, 3}));
    EXPECT_EQ(acked.size(), 3u);
    EXPECT_GE(block1Seen, 2);
    EXPECT_EQ(served.job->acknowledgedBlocks(), 3);

    device.send(deviceMessage(8, {50, 200}), served.address);
    ASSERT_TRUE(waitUntil([&] { return served.job->statusCode() == DeviceWriting; }));
    EXPECT_EQ(served.job->progress(), 25);

    // A stray datagram from another host must not take the stream over.
    stranger.send({'n', 'o', 'i', 's', 'e'}, served.address);
    // A BlockAck after End: every block is acknowledged, so only End again.
    device.send(deviceMessage(4, {2}), served.address);
    std::vector<uint8_t> again = device.receive();
    EXPECT_EQ(again, end);
    EXPECT_EQ(served.job->statusCode(), SendingBlocks);
    EXPECT_EQ(served.job->acknowledgedBlocks(), 0);

    // Ready at code 5 is ignored; WriteComplete ends the job's work.
    device.send(deviceMessage(2), served.address);
    device.send(deviceMessage(9), served.address);
    ASSERT_TRUE(waitUntil([&] { return served.job->isFinished(); }));
    EXPECT_EQ(served.job->statusCode(), DeviceWriteComplete);
    EXPECT_EQ(served.job->progress(), 100);
    EXPECT_TRUE(device.receive(0).empty()) << "no Size for a late Ready";
    EXPECT_TRUE(stranger.receive(0).empty()) << "nothing went to the stranger";

    // The loop goes on after a final code until stopped.
    EXPECT_TRUE(served.job->isRunning());
    served.job->stop();
    device.send({'x'}, served.address);
    served.worker.join();
    EXPECT_EQ(served.job->statusCode(), DeviceWriteComplete);
}

TEST(LoopbackExchange, EmptyImageSendsEndAtOnce)
{
    ServedJob served({}, 0, 1);
    FakeDevice device;
    device.send(deviceMessage(2), served.address);
    std::vector<uint8_t> size = device.receive();
    ASSERT_EQ(size.size(), 20u);
    EXPECT_EQ(wire::readBe32(size.data() + 12), 0u);
    device.send(deviceMessage(4, {0}), served.address);
    std::vector<uint8_t> end = device.receive();
    ASSERT_EQ(end.size(), 17u);
    EXPECT_EQ(typeOf(end), 6);
    EXPECT_EQ(end[16], 1);
}

TEST(LoopbackExchange, SilentDeviceMakesTheBlockPhaseGiveUp)
{
    const std::vector<uint8_t> image = patternImage(1100 * 1024);
    ServedJob served(image, 0, 0);
    FakeDevice device;
    device.send(deviceMessage(4, {0}), served.address);
    ASSERT_TRUE(waitUntil([&] { return served.job->statusCode() == TransferTimeout; }, 60));
    EXPECT_TRUE(served.job->isFinished());
    EXPECT_EQ(served.job->progress(), 0);
    // The receive loop still listens: a new BlockAck restarts the phase.
    EXPECT_TRUE(served.job->isRunning());
}

TEST(LoopbackExchange, StopDuringTheBlockPhaseGivesTimeoutAndEndsTheLoop)
{
    const std::vector<uint8_t> image = patternImage(1100 * 1024);
    ServedJob served(image, 0, 0);
    FakeDevice device;
    device.send(deviceMessage(4, {0}), served.address);
    std::vector<uint8_t> first = device.receive();
    ASSERT_EQ(typeOf(first), 5);
    served.job->stop();
    served.worker.join(); // ends without another datagram
    EXPECT_EQ(served.job->statusCode(), TransferTimeout);
    EXPECT_TRUE(served.job->isFinished());
}

TEST(JobWorker, OfferIsBroadcastAndTheDeviceIsServed)
{
    EXPECT_CHILD_PASSES(runInPrivateNetns([] {
        TempDir fw;
        const std::string image(3000, 'i');
        fw.write("kvx_ABCDEFG-ver.bin", "product=ABCDEFG\nchecksum=0x99\n");
        const std::string path = fw.write("kvx_ABCDEFG.bin", image);
        const uint16_t devPort = findFreePort();
        FakeDevice device(0, devPort); // a broadcast receiver binds the wildcard address
        const uint16_t jobPort = findFreePort();
        auto job = makeJob("ABCDEFG");
        job->init(path, "", kLoopback, jobPort, addressFromText("127.0.0.200"), devPort, 2);
        CHILD_CHECK(job->start() == 0);

        std::vector<uint8_t> offer = device.receive();
        CHILD_CHECK(offer.size() == 22);
        CHILD_CHECK(typeOf(offer) == 1);
        CHILD_CHECK(wire::readBe32(offer.data() + 8) == 10);
        uint32_t lent, local;
        uint16_t port;
        std::memcpy(&lent, offer.data() + 12, 4);
        std::memcpy(&local, offer.data() + 16, 4);
        std::memcpy(&port, offer.data() + 20, 2);
        CHILD_CHECK(addressToText(lent) == "127.0.0.200");
        CHILD_CHECK(local == kLoopback);
        CHILD_CHECK(port == jobPort);
        CHILD_CHECK(job->statusCode() == OfferSent);

        device.send(deviceMessage(2), SocketAddress{kLoopback, jobPort});
        std::vector<uint8_t> size = device.receive();
        CHILD_CHECK(typeOf(size) == 3);
        CHILD_CHECK(wire::readBe32(size.data() + 12) == 3000);
        device.send(deviceMessage(10), SocketAddress{kLoopback, jobPort});
        CHILD_CHECK(waitUntil([&] { return job->isFinished(); }));
        CHILD_CHECK(job->statusCode() == DeviceWriteFailed);
        job->stop();
        device.send({'x'}, SocketAddress{kLoopback, jobPort});
        CHILD_CHECK(waitUntil([&] { return job->workerEnded(); }));
    }, true));
}

TEST(JobWorker, MissingImageSendsNothing)
{
    EXPECT_CHILD_PASSES(runInPrivateNetns([] {
        TempDir fw;
        fw.write("kvx_ABCDEFG-ver.bin", "product=ABCDEFG\n");
        const uint16_t devPort = findFreePort();
        FakeDevice device(0, devPort);
        auto job = makeJob("ABCDEFG");
        job->init(fw.file("kvx_ABCDEFG.bin"), "", kLoopback, findFreePort(), 0, devPort, 1);
        CHILD_CHECK(job->start() == 0);
        CHILD_CHECK(waitUntil([&] { return job->workerEnded(); }));
        CHILD_CHECK(job->isFinished());
        CHILD_CHECK(job->statusCode() == FileError);
        CHILD_CHECK(device.receive(0).empty());
    }, true));
}

TEST(JobWorker, PortInUseIsNetworkError)
{
    EXPECT_CHILD_PASSES(runInPrivateNetns([] {
        TempDir fw;
        fw.write("kvx_ABCDEFG-ver.bin", "");
        const std::string path = fw.write("kvx_ABCDEFG.bin", "img");
        FakeDevice holder(0, 0);
        auto job = makeJob("ABCDEFG");
        job->init(path, "", kLoopback, holder.address().port, 0, hostToNet16(9), 1);
        CHILD_CHECK(job->start() == 0);
        CHILD_CHECK(waitUntil([&] { return job->workerEnded(); }));
        CHILD_CHECK(job->statusCode() == NetError);
        CHILD_CHECK(job->isFinished());
    }));
}

TEST(JobWorker, ThreadThatCannotStartFinishesTheJob)
{
    EXPECT_CHILD_PASSES(runInPrivateNetns([] {
        if (!dropToNobodyWithoutThreads())
            childSkip("cannot drop to an unprivileged user with a thread limit");
        {
            Thread probe;
            if (probe.start([] {}) == 0) {
                probe.join();
                childSkip("the process limit does not stop thread creation here");
            }
        }
        auto job = makeJob("ABCDEFG");
        job->init("/nonexistent/kvx_ABCDEFG.bin", "", kLoopback, 0, 0, 0, 1);
        CHILD_CHECK(job->start() == -1);
        CHILD_CHECK(job->isFinished());
        CHILD_CHECK(job->statusCode() == NetError);
        CHILD_CHECK(job->workerEnded());
        CHILD_CHECK(job->progress() == 0);
        CHILD_CHECK(job->start() == -1); // no second attempt
    }));
}

TEST(JobWorker, DroppingTheLastReferenceEndsAWaitingWorker)
{
    EXPECT_CHILD_PASSES(runInPrivateNetns([] {
        TempDir fw;
        fw.write("kvx_ABCDEFG-ver.bin", "");
        const std::string path = fw.write("kvx_ABCDEFG.bin", "img");
        auto job = makeJob("ABCDEFG");
        job->init(path, "", kLoopback, findFreePort(), 0, hostToNet16(9), 1);
        CHILD_CHECK(job->start() == 0);
        CHILD_CHECK(waitUntil([&] { return job->isRunning(); }));
        std::weak_ptr<UpdateJob> watch = job;
        job->shutdown(); // the owner goes away: the 40 s wait is cut short
        CHILD_CHECK(job->workerEnded());
        CHILD_CHECK(job->isFinished());
        job.reset();
        CHILD_CHECK(watch.expired());
    }, true));
}
