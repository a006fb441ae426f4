// SPDX-License-Identifier: MIT
// The server on real sockets: the sweep against real kernel hosts, a taken
// port, the job table limit.

#include "IntegrationHelpers.h"
#include "server/AddressSweep.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <grp.h>
#include <sched.h>
#include <sys/wait.h>

#include <cstring>
#include <set>

using namespace brelvo_it;

namespace {

// A host on the device side: pings the tool every 0.2 s and, with the
// identifier and sequence of the sweep's request to the first device,
// forges what must not count. From a silent address (.60): a reply with
// that device's sequence, one with a sequence never sent, one with another
// identifier, and a request (not a reply) carrying .60's own pair; from an
// address never asked (.254), a reply with .60's pair. Says on `ready`
// when it listens; ends when `stop` closes, telling in its exit code for
// how many sweeps it forged.
[[noreturn]] void hostileHost(const NetnsEnv& env, int stop, int ready)
{
    const int ns = open(("/run/netns/" + env.devNs).c_str(), O_RDONLY);
    if (ns < 0 || setns(ns, CLONE_NEWNET) != 0)
        _exit(100);
    const int icmp = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP), raw = socket(AF_INET, SOCK_RAW, IPPROTO_RAW);
    if (icmp < 0 || raw < 0 || write(ready, "r", 1) != 1)
        _exit(101);
    const std::string net = env.toolAddr.substr(0, env.toolAddr.rfind('.') + 1);
    const in_addr_t tool = inet_addr(env.toolAddr.c_str()), device = inet_addr(env.devAddrs[0].c_str()),
                    silent = inet_addr((net + "60").c_str()), unasked = inet_addr((net + "254").c_str());
    const auto send = [&](in_addr_t from, uint8_t type, uint16_t id, uint16_t seq) {
        uint8_t p[32] = {0x45, 0, 0, 32, 0, 0, 0, 0, 64, IPPROTO_ICMP};
        std::memcpy(p + 12, &from, 4);
        std::memcpy(p + 16, &tool, 4);
        brelvo::buildEchoRequest(p + 20, id, seq, 0);
        p[20] = type, p[22] = p[23] = 0;
        const uint16_t sum = brelvo::internetChecksum(p + 20, 12);
        std::memcpy(p + 22, &sum, 2);
        sockaddr_in to{AF_INET, 0, {tool}, {}};
        sendto(raw, p, sizeof p, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    };
    uint16_t id = 0, seq = 0;
    int sweeps = 0;
    for (auto tick = std::chrono::steady_clock::now();;) {
        pollfd p[2] = {{icmp, POLLIN, 0}, {stop, POLLIN, 0}};
        poll(p, 2, 20);
        if (p[1].revents)
            _exit(sweeps);
        uint8_t b[1500];
        brelvo::EchoReply r;
        const ssize_t n = p[0].revents ? recv(icmp, b, sizeof b, 0) : 0;
        if (n > 0 && brelvo::parseEchoReply(b, size_t(n), true, &r) && r.type == 8 &&
            std::memcmp(b + 12, &tool, 4) == 0 && std::memcmp(b + 16, &device, 4) == 0) {
            sweeps += !sweeps || r.identifier != id;
            id = r.identifier, seq = r.sequence;
        }
        if (std::chrono::steady_clock::now() < tick)
            continue;
        tick += 200ms;
        send(device, 8, 0x7777, 1);
        const uint16_t seqSilent = uint16_t(seq + (ntohl(silent) & 0xFF) - (ntohl(device) & 0xFF));
        if (sweeps) {
            send(silent, 0, id, seq), send(silent, 0, id, uint16_t(seq + 1000));
            send(silent, 0, uint16_t(id ^ 0x0101), seqSilent), send(silent, 8, id, seqSilent);
            send(unasked, 0, id, seqSilent);
        }
    }
}

// The sweep in a child, as nobody (through the datagram socket) when
// `unprivileged`: the method it used and the free addresses, or nothing
// when it went on for 20 s.
std::vector<uint32_t> sweepInChild(const std::string& local, bool unprivileged)
{
    int out[2];
    const pid_t pid = pipe(out) == 0 ? fork() : -1;
    if (pid < 0)
        return {};
    if (pid == 0) {
        uint32_t found[256];
        brelvo::IcmpMethod method{};
        if (unprivileged && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(1);
        const int n = brelvo::sweepFreeAddresses(local, 1000, found + 1, 255, nullptr, &method);
        found[0] = uint32_t(method);
        _exit(write(out[1], found, size_t(n + 1) * 4) < 0);
    }
    close(out[1]);
    pollfd p{out[0], POLLIN, 0};
    uint32_t got[256] = {};
    const ssize_t n = poll(&p, 1, 20000) > 0 ? read(out[0], got, sizeof got) : 0;
    kill(pid, SIGKILL), waitpid(pid, nullptr, 0), close(out[0]);
    return std::vector<uint32_t>(got, got + std::max<ssize_t>(n, 0) / 4);
}

} // namespace

// Whichever socket pings, while another host pings this machine and forges
// replies, the sweep ends and only the silent addresses are free; once every
// address of the network answers, a job ends with "Network Error!" and no
// Offer of 0.0.0.0 goes out.
TEST(Sweep, OnlyAnswersToItsOwnRequestsCountAndWithNoneFreeNoOfferGoesOut)
{
    BRELVO_REQUIRE_NETNS(env);
    std::vector<uint32_t> expected;
    for (uint32_t host = 2; host <= 253; ++host)
        if (host < 50 || host >= 50 + env.devAddrs.size())
            expected.push_back(htonl(0x0AD50700u | host)); // 10.213.7.host
    std::ofstream("/proc/sys/net/ipv4/ping_group_range") << "0 2147483647";
    int stop[2], ready[2];
    char listening = 0;
    ASSERT_TRUE(pipe(stop) == 0 && pipe(ready) == 0);
    const pid_t hostile = fork();
    ASSERT_GE(hostile, 0);
    if (hostile == 0)
        close(stop[1]), hostileHost(env, stop[0], ready[1]);
    close(stop[0]), close(ready[1]);
    ASSERT_EQ(read(ready[0], &listening, 1), 1) << "the other host could not listen";
    for (bool unprivileged : {false, true}) {
        std::vector<uint32_t> swept = sweepInChild(env.toolAddr, unprivileged);
        ASSERT_FALSE(swept.empty()) << "the sweep went on while another host pinged this machine";
        EXPECT_EQ(swept[0], uint32_t(unprivileged ? brelvo::IcmpMethod::Datagram : brelvo::IcmpMethod::Raw));
        EXPECT_EQ(std::vector<uint32_t>(swept.begin() + 1, swept.end()), expected)
            << "a stray or forged echo took an address";
    }
    int status = -1;
    EXPECT_EQ(waitpid(hostile, &status, WNOHANG), 0) << "the other host stopped before the sweeps ended";
    close(stop[1]);
    waitpid(hostile, &status, 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 2) << "forged replies for that many sweeps, not two";

    FILE* ip = popen(("ip -n " + env.devNs + " -batch -").c_str(), "w");
    ASSERT_TRUE(ip);
    for (uint32_t a : expected)
        std::fprintf(ip, "addr add %s/24 dev vd\n", addressToText(a).c_str());
    ASSERT_EQ(pclose(ip), 0);
    // The sweeps above left these addresses unresolved in the neighbour
    // table, which would keep them silent for a while yet.
    ASSERT_EQ(std::system("ip neigh flush dev vt"), 0);
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
