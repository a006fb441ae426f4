// The server's own behaviour on real sockets: the sweep against real kernel
// hosts, a port that is taken, the job table limit and pruning while jobs run.

#include "IntegrationHelpers.h"

#include "DeviceCodec.h"
#include "server/AddressSweep.h"

#include <netinet/ip.h>
#include <poll.h>

#include <algorithm>

using namespace brelvo_it;
using brelvo_test::ChildProcess;
using brelvo_test::StdoutCapture;
using brelvo_test::waitFor;

namespace {

std::string dotted(uint32_t networkOrder)
{
    in_addr a{networkOrder};
    return inet_ntoa(a);
}

uint32_t toNetwork(const std::string& text)
{
    in_addr a{};
    inet_aton(text.c_str(), &a);
    return a.s_addr;
}

// A stand-in device made of one UDP socket in the tool's own namespace: the
// job's broadcast Offer reaches it there too. Its port lies below the
// ephemeral range, so it never takes the port a job was told is free.
struct RawDevice {
    int fd = -1;
    uint16_t jobPort = 0;

    RawDevice()
    {
        static uint16_t next = 21000;
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        for (int tries = 0; tries < 1000; ++tries) {
            a.sin_port = htons(next++);
            if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
                break;
        }
    }
    ~RawDevice() { close(fd); }

    void sendTo(const std::vector<uint8_t>& m, const std::string& addr, uint16_t port) const
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = toNetwork(addr);
        sendto(fd, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    void request(const std::string& toolAddr) const { sendTo(devsim::encodeRequest(kProduct), toolAddr, 3281); }

    // Waits for this device's Offer; true when a well-formed one arrived.
    bool awaitOffer(int ms)
    {
        pollfd p{fd, POLLIN, 0};
        uint8_t buf[2048];
        while (poll(&p, 1, ms) > 0) {
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            devsim::Offer o;
            if (n > 0 && devsim::messageType(buf, size_t(n)) == devsim::TypeOffer &&
                devsim::decodeOffer(buf, size_t(n), o).empty()) {
                jobPort = o.jobPort;
                return true;
            }
        }
        return false;
    }
    void complete(const std::string& toolAddr) const
    {
        sendTo(devsim::encodeResult(devsim::TypeWriteComplete), toolAddr, jobPort);
    }
};

} // namespace

TEST(Sweep, KernelHostsAnswerAndOnlySilentAddressesAreFree)
{
    BRELVO_REQUIRE_NETNS(env);
    uint32_t found[255];
    int n = brelvo::sweepFreeAddresses(env.toolAddr, 1000, found, 255);
    ASSERT_GE(n, 0) << "no ICMP socket in the namespace";
    std::vector<std::string> free;
    for (int i = 0; i < n; ++i)
        free.push_back(dotted(found[i]));
    // Everyone on the link answers: the tool itself and each device address.
    EXPECT_EQ(n, 253 - 1 - int(env.devAddrs.size()));
    EXPECT_EQ(std::count(free.begin(), free.end(), env.toolAddr), 0);
    for (const auto& a : env.devAddrs)
        EXPECT_EQ(std::count(free.begin(), free.end(), a), 0) << a;
    ASSERT_FALSE(free.empty());
    EXPECT_EQ(free.front(), "10.213.7.2");
    EXPECT_EQ(free.back(), "10.213.7.253");
    for (int i = 1; i < n; ++i)
        EXPECT_LT(ntohl(found[i - 1]), ntohl(found[i])) << "not ascending";
}

TEST(Sweep, TheKernelAnswersOurChecksumAndDropsABrokenOne)
{
    BRELVO_REQUIRE_NETNS(env);
    int fd = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (fd < 0)
        GTEST_SKIP() << "no raw ICMP socket: " << std::strerror(errno);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = toNetwork(env.devAddrs[0]);
    auto replied = [&](uint16_t id) {
        uint8_t buf[1024];
        pollfd p{fd, POLLIN, 0};
        auto end = std::chrono::steady_clock::now() + 700ms;
        while (std::chrono::steady_clock::now() < end && poll(&p, 1, 100) >= 0) {
            if (!(p.revents & POLLIN))
                continue;
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            size_t ihl = n > 0 ? size_t(buf[0] & 0x0F) * 4 : 0;
            uint16_t got;
            if (n >= ssize_t(ihl + 8) && buf[ihl] == 0) {
                std::memcpy(&got, buf + ihl + 4, 2);
                if (got == id)
                    return true;
            }
        }
        return false;
    };
    uint8_t req[12];
    brelvo::buildEchoRequest(req, 0x4242, 7, 12345);
    uint8_t sum[12];
    std::memcpy(sum, req, 12);
    EXPECT_EQ(brelvo::internetChecksum(sum, 12), 0) << "a stored checksum must make the message sum to zero";
    uint8_t broken[12];
    brelvo::buildEchoRequest(broken, 0x4343, 8, 12345);
    broken[2] ^= 0x01;
    sendto(fd, broken, 12, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    EXPECT_FALSE(replied(0x4343)) << "the kernel answered a request with a wrong checksum";
    sendto(fd, req, 12, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    EXPECT_TRUE(replied(0x4242)) << "no answer to a correct echo request";
    close(fd);
}

TEST(Listener, TakenPortEndsTheListenerWithTheErrnoAndALaterStartWorks)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(2048);
    int blocker = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(3281);
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);

    brelvo::UpdateServer server;
    std::string out;
    {
        StdoutCapture cap;
        EXPECT_EQ(server.start(fw.dir.path(), "", env.toolAddr, 1), 0);
        EXPECT_TRUE(waitFor([&] { return !server.listenerRunning(); }, 3s));
        out = cap.text();
    }
    EXPECT_NE(out.find("running...\n"), std::string::npos) << out;
    EXPECT_NE(out.find("socket error: 98\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("after send"), std::string::npos) << "swept although the port was not bound";
    EXPECT_FALSE(server.isIdle()) << "idle before stop was asked";
    server.stop();
    EXPECT_TRUE(waitFor([&] { return server.isIdle(); }, 2s));

    close(blocker);
    ASSERT_TRUE(startServer(server, fw.dir.path(), "", env));
    EXPECT_TRUE(server.listenerRunning());
    EXPECT_EQ(server.start(fw.dir.path(), "", env.toolAddr, 1), -1) << "a second listener was accepted";
    // And it serves: a device gets its image.
    auto r = brelvo_test::runProcess(devsimCommand(env, {"--bind", env.devAddrs[0], "--expect-image", fw.imagePath}),
                                     60s);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    ASSERT_TRUE(stopAndWaitIdle(server));
    EXPECT_FALSE(udpPortInUse(3281)) << "port 3281 still held after the listener ended";
}

TEST(Listener, HundredJobsFillTheTableThenRequestsAreRefusedUntilPruned)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(1024);
    brelvo::UpdateServer server;
    ASSERT_TRUE(startServer(server, fw.dir.path(), "", env));

    std::vector<std::unique_ptr<RawDevice>> devices;
    for (int i = 0; i < 100; ++i) {
        devices.push_back(std::make_unique<RawDevice>());
        devices.back()->request(env.toolAddr);
    }
    ASSERT_TRUE(waitFor([&] { return server.jobCount() == 100; }, 20s)) << server.jobCount();
    // Which devices heard their Offer (a job whose socket could not be
    // bound never sends one; that race has a test of its own below).
    std::vector<RawDevice*> offered;
    for (auto& d : devices)
        if (d->awaitOffer(5000))
            offered.push_back(d.get());
    ASSERT_GE(offered.size(), 90u);

    RawDevice extra;
    std::string out;
    {
        StdoutCapture cap;
        extra.request(env.toolAddr);
        waitFor([&] { return cap.contains("Too Many update had happened\n"); }, 3s);
        out = cap.text();
    }
    EXPECT_NE(out.find("Too Many update had happened\n"), std::string::npos);
    EXPECT_EQ(server.jobCount(), 100);
    EXPECT_FALSE(extra.awaitOffer(500)) << "a 101st job was started";

    std::vector<std::shared_ptr<brelvo::UpdateJob>> before;
    for (int i = 0; i < 100; ++i) {
        before.push_back(server.jobAt(i));
        ASSERT_TRUE(before.back()) << "slot " << i;
    }
    auto finishedCount = [&] {
        return int(std::count_if(before.begin(), before.end(), [](auto& j) { return j->isFinished(); }));
    };
    // Only finished jobs go: with those that are still waiting, pruning now
    // keeps every one of them.
    int early = finishedCount();
    server.pruneFinished();
    EXPECT_EQ(server.jobCount(), 100 - early);

    // All but three devices report completion; three stay mid-update.
    for (size_t i = 3; i < offered.size(); ++i)
        offered[i]->complete(env.toolAddr);
    ASSERT_TRUE(waitFor([&] { return finishedCount() == 97; }, 10s)) << finishedCount();
    server.pruneFinished();
    ASSERT_EQ(server.jobCount(), 3);
    for (int i = 0; i < 3; ++i) {
        auto j = server.jobAt(i);
        ASSERT_TRUE(j);
        EXPECT_FALSE(j->isFinished());
        EXPECT_EQ(j->statusCode(), brelvo::OfferSent);
        EXPECT_NE(std::find(before.begin(), before.end(), j), before.end());
    }
    EXPECT_FALSE(server.jobAt(3));

    // Room again: the next request is served and appended after the three.
    RawDevice late;
    late.request(env.toolAddr);
    EXPECT_TRUE(late.awaitOffer(5000));
    EXPECT_TRUE(waitFor([&] { return server.jobCount() == 4; }, 3s));
    server.stop();
}

TEST(Listener, PruneDuringATransferKeepsTheRunningJobIntact)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(2 << 20);
    brelvo::UpdateServer server;
    ASSERT_TRUE(startServer(server, fw.dir.path(), "", env));

    // Two quick jobs that finish at once...
    RawDevice a, b;
    a.request(env.toolAddr);
    ASSERT_TRUE(a.awaitOffer(10000));
    b.request(env.toolAddr);
    ASSERT_TRUE(b.awaitOffer(10000));
    a.complete(env.toolAddr);
    b.complete(env.toolAddr);
    // ...and a real device in the middle of its blocks.
    ChildProcess device(devsimCommand(env, {"--bind", env.devAddrs[0], "--expect-image", fw.imagePath}));
    std::shared_ptr<brelvo::UpdateJob> running;
    ASSERT_TRUE(waitFor(
        [&] {
            if (server.jobCount() < 3)
                return false;
            running = server.jobAt(2);
            return running && running->statusCode() == brelvo::SendingBlocks && running->progress() > 0;
        },
        30s));
    std::string lentBefore = running->lentAddressText();
    ASSERT_TRUE(waitFor([&] { return server.jobAt(0)->isFinished() && server.jobAt(1)->isFinished(); }, 5s));
    server.pruneFinished();
    ASSERT_EQ(server.jobCount(), 1);
    EXPECT_EQ(server.jobAt(0), running);
    EXPECT_FALSE(running->isFinished()) << "pruned at status " << running->statusCode();
    EXPECT_EQ(running->lentAddressText(), lentBefore);

    auto r = device.wait(60s);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(waitFor([&] { return running->statusCode() == brelvo::DeviceWriteComplete; }, 5s));
    EXPECT_EQ(running->progress(), 100);
    // A pruned address goes back to the pool: the next device may get it.
    ASSERT_TRUE(stopAndWaitIdle(server));
}

TEST(Listener, SimultaneousRequestsEachGetAPortOfTheirOwn)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(1024);
    brelvo::UpdateServer server;
    ASSERT_TRUE(startServer(server, fw.dir.path(), "", env));
    std::vector<std::unique_ptr<RawDevice>> devices;
    for (int i = 0; i < 100; ++i) {
        devices.push_back(std::make_unique<RawDevice>());
        devices.back()->request(env.toolAddr);
    }
    ASSERT_TRUE(waitFor([&] { return server.jobCount() == 100; }, 20s)) << server.jobCount();
    int offers = 0;
    for (auto& d : devices)
        offers += d->awaitOffer(5000);
    std::map<uint16_t, int> ports;
    for (int i = 0; i < 100; ++i) {
        auto j = server.jobAt(i);
        ASSERT_TRUE(j);
        ++ports[j->boundPort()];
        EXPECT_NE(j->statusCode(), brelvo::NetError)
            << "job " << i << " could not bind its port " << ntohs(j->boundPort());
    }
    EXPECT_EQ(ports.size(), 100u) << "two jobs were handed the same port";
    EXPECT_EQ(offers, 100);
    for (auto& d : devices)
        d->complete(env.toolAddr);
    ASSERT_TRUE(stopAndWaitIdle(server));
}
