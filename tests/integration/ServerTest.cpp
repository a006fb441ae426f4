// SPDX-License-Identifier: MIT
// The server on real sockets: the sweep against real kernel hosts, a taken
// port, the job table limit.

#include "IntegrationHelpers.h"
#include "server/AddressSweep.h"

#include <cstring>
#include <set>

using namespace brelvo_it;

TEST(Sweep, OnlyTheSilentAddressesAreFreeAndABrokenEchoGetsNoAnswer)
{
    BRELVO_REQUIRE_NETNS(env);
    uint32_t found[255];
    int n = brelvo::sweepFreeAddresses(env.toolAddr, 1000, found, 255);
    ASSERT_GE(n, 0) << "no ICMP socket in the namespace";
    std::vector<uint32_t> expected;
    for (uint32_t host = 2; host <= 253; ++host)
        if (host < 50 || host >= 50 + env.devAddrs.size())
            expected.push_back(htonl(0x0AD50700u | host)); // 10.213.7.host
    EXPECT_EQ(std::vector<uint32_t>(found, found + n), expected);

    // The sweep means something only if the kernel checks what we send.
    int fd = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    ASSERT_GE(fd, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    inet_aton(env.devAddrs[0].c_str(), &to.sin_addr);
    uint8_t req[12], buf[1024];
    brelvo::buildEchoRequest(req, 0x4343, 8, 12345);
    req[2] ^= 0x01;
    sendto(fd, req, 12, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 700) > 0) {
        ssize_t len = recv(fd, buf, sizeof buf, 0);
        size_t ihl = size_t(buf[0] & 0x0F) * 4;
        EXPECT_FALSE(len >= ssize_t(ihl + 8) && buf[ihl] == 0 && std::memcmp(buf + ihl + 4, req + 4, 2) == 0)
            << "the kernel answered an echo request with a wrong checksum";
    }
    close(fd);
}

TEST(Listener, TakenPortFailsTheStartWithTheErrnoAndALaterStartWorks)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(2048);
    int blocker = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{AF_INET, htons(3281), {}, {}};
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    {
        brelvo::UpdateServer server;
        brelvo_test::StdoutCapture console;
        EXPECT_EQ(server.start(fw.dir.path(), "", env.toolAddr, 1), -1) << "a run that can hear no device";
        EXPECT_FALSE(server.listenerRunning());
        EXPECT_TRUE(server.isIdle()) << "no Stop needed after a failed start";
        EXPECT_EQ(console.text(), "running...\nsocket error: 98\n");
    }
    close(blocker);
    Server server(fw, env);
    EXPECT_TRUE(RawDevice(env).requestAndComplete()) << "the listener started after the failure serves no one";
}

TEST(Listener, HundredSimultaneousRequestsFillTheTableWithDistinctPorts)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(1024);
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
    EXPECT_TRUE(waitFor([&] { return console.contains("Too Many update had happened\n"); }, 3s));
    EXPECT_FALSE(extra.awaitOffer(500)) << "a 101st job was started";
    for (auto& d : devices) // so that stop is quick
        d->complete();
}
