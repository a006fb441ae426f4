// SPDX-License-Identifier: MIT
// The server on real sockets: the sweep against real kernel hosts, a taken
// port, the job table limit.

#include "IntegrationHelpers.h"
#include "platform/AddressText.h"
#include "server/AddressSweep.h"

#include <set>

using namespace brelvo_it;

// Only the addresses no host answers on are free; once every address of the
// network answers, a job ends with "Network Error!" and no Offer of 0.0.0.0
// goes out.
TEST(Sweep, OnlySilentAddressesAreFreeAndWithNoneFreeNoOfferGoesOut)
{
    BRELVO_REQUIRE_NETNS(env);
    uint32_t found[255];
    const int n = sweepFreeAddresses(env.toolAddr, 1000, found, 255);
    ASSERT_GE(n, 0) << "no ICMP socket in the namespace";
    std::vector<uint32_t> expected;
    for (uint32_t host = 2; host <= 253; ++host)
        if (host < 50 || host >= 50 + env.devAddrs.size())
            expected.push_back(htonl(0x0AD50700u | host)); // 10.213.7.host
    EXPECT_EQ(std::vector<uint32_t>(found, found + n), expected);

    std::string batch;
    for (uint32_t a : expected)
        batch += "addr add " + addressToText(a) + "/24 dev vd\n";
    const std::string file = brelvo_test::makeTemp("addrs");
    std::ofstream(file) << batch;
    ASSERT_EQ(std::system(("ip -n " + env.devNs + " -batch " + file).c_str()), 0);
    std::remove(file.c_str());
    FirmwareFolder fw(4096);
    Server server(fw, env);
    brelvo_test::StdoutCapture console;
    const auto r = brelvo_test::runProcess(
        devsimCommand(env, {"--bind", env.devAddrs[0], "--expect-no-offer", "--offer-timeout", "6000"}), 30s);
    console.stop();
    EXPECT_EQ(r.exitCode, 0) << "an Offer went out:\n" << r.output;
    auto job = server.waitJob(0, NetError);
    ASSERT_TRUE(job);
    EXPECT_TRUE(job->isFinished() && job->lentAddressText() == "0.0.0.0");
    EXPECT_TRUE(console.contains("no address to lend")) << console.text();
}

// A port another program holds fails the start (console and event), and a
// later start works; a hundred requests at once then fill the table, each job
// on a port of its own, and the 101st is refused with a warning.
TEST(Listener, ATakenPortFailsTheStartAndAHundredRequestsFillTheTable)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(1024);
    int blocker = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{AF_INET, htons(3281), {}, {}};
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    {
        UpdateServer server;
        brelvo_test::StdoutCapture console;
        EXPECT_EQ(server.start(fw.dir.path(), "", env.toolAddr, 1), -1) << "a run that can hear no device";
        EXPECT_TRUE(!server.listenerRunning() && server.isIdle()) << "no Stop needed after a failed start";
        EXPECT_EQ(console.text(), "running...\nsocket error: 98\n");
        std::vector<Event> events;
        server.takeEvents(events);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_TRUE(events[0].kind == EventKind::ListenerFailed && events[0].code == EADDRINUSE &&
                    events[0].severity == Severity::Failure);
    }
    close(blocker);

    // A narrow ephemeral range (this namespace's own) makes a port handed out twice likely.
    std::ofstream("/proc/sys/net/ipv4/ip_local_port_range") << "40000 40999";
    Server server(fw, env);
    std::vector<std::unique_ptr<RawDevice>> devices;
    for (int i = 0; i < 100; ++i) {
        devices.push_back(std::make_unique<RawDevice>(env));
        devices.back()->request();
    }
    ASSERT_TRUE(waitFor([&] { return server.jobCount() == 100; }, 20s)) << server.jobCount();
    std::set<uint16_t> ports;
    for (auto& d : devices) {
        EXPECT_TRUE(d->awaitOffer(5000));
        ports.insert(d->jobPort);
    }
    EXPECT_EQ(ports.size(), 100u) << "two jobs were handed the same port";
    RawDevice extra(env);
    brelvo_test::StdoutCapture console;
    extra.request();
    const Event* full = server.waitEvent(EventKind::RequestTableFull);
    ASSERT_TRUE(full);
    EXPECT_TRUE(full->productCode == kProduct && addressToText(full->address) == env.toolAddr &&
                full->severity == Severity::Warning);
    EXPECT_TRUE(console.contains("Too Many update had happened\n"));
    EXPECT_FALSE(extra.awaitOffer(500)) << "a 101st job was started";
    for (auto& d : devices) // so that stop is quick
        d->complete();
}
