// The table limit under load: 100 devices at once all complete byte-exact,
// the 101st request is dropped with the console line, and a reader polling
// (later pruning) the table every few ms never sees a lost or doubled job.
// Job ports stay usable when lingering jobs hold most of the port range.

#include "Harness.h"

#include "platform/AddressText.h"
#include "platform/Socket.h"
#include "server/FreePort.h"

#include <atomic>
#include <fstream>
#include <set>
#include <thread>

using namespace reliability;

// `count` devices from the first address, each checked against the image.
static void wave(const NetnsEnv& env, const FirmwareFolder& fw, const TempDir& out, int count, const std::string& port,
                 const char* staggerMs)
{
    DevsimRun run = runDevsim(env, {"--count", std::to_string(count), "--bind", env.devAddrs[0] + "-" +
                                    env.devAddrs[size_t(count) - 1], "--port", port, "--stagger", staggerMs,
                                    "--save-image", out.file(port), "--expect-image", fw.imagePath}, 180s);
    EXPECT_EQ(run.process.exitCode, 0) << run.process.output;
    for (int i = 0; i < count; ++i)
        EXPECT_TRUE(readFileBytes(out.file(port) + "." + std::to_string(i)) == fw.image) << "device " << i;
}

TEST(Load, HundredDevicesThenTheTableIsFull)
{
    RELIABILITY_NETNS_ENV(env);
    if (env.devAddrs.size() < 100)
        GTEST_SKIP() << "needs 100 device addresses (DEVICES 100), got " << env.devAddrs.size();
    FirmwareFolder fw(8 * 1024 + 5); // 9 blocks
    TempDir out;
    UpdateServer server;
    ASSERT_TRUE(startListening(server, fw.dir.path(), "", env.toolAddr, OptionUpdateBoot));

    // As the window's timer does, only every 3 ms; `seen` keeps each job once.
    std::atomic<bool> prune{false}, done{false};
    std::vector<std::string> problems;
    std::vector<std::shared_ptr<UpdateJob>> seen;
    std::thread reader([&] {
        for (std::set<UpdateJob*> known; !done; std::this_thread::sleep_for(3ms)) {
            std::set<UpdateJob*> now;
            for (int i = 0, n = server.jobCount(); i < n; ++i) {
                auto job = server.jobAt(i);
                if (!job)
                    continue; // pruned since jobCount
                if (!now.insert(job.get()).second)
                    problems.push_back("one job in two slots");
                if (const int p = job->progress(); p < 0 || p > 100)
                    problems.push_back("progress " + std::to_string(p));
                if (known.insert(job.get()).second)
                    seen.push_back(job);
            }
            if (prune)
                server.pruneFinished();
        }
    });

    wave(env, fw, out, 100, "46000", "0");
    std::set<std::string> lent;
    for (int i = 0; i < 100; ++i)
        if (auto job = jobReaching(server, i, DeviceWriteComplete, 20s))
            lent.insert(job->lentAddressText());
    EXPECT_EQ(lent.size(), 100u) << "a job missed code 9, or two devices were lent one address";
    {
        brelvo_test::StdoutCapture console;
        DevsimRun extra = runDevsim(env, {"--bind", env.devAddrs[0], "--port", "46500", "--offer-timeout", "6000"});
        console.stop();
        EXPECT_NE(extra.process.exitCode, 0) << "the 101st device got an Offer: " << extra.process.output;
        EXPECT_TRUE(console.contains("Too Many update had happened\n")) << console.text();
    }
    EXPECT_EQ(server.jobCount(), 100);

    prune = true; // now finished jobs go while new ones arrive
    EXPECT_TRUE(brelvo_test::waitFor([&] { return server.jobCount() == 0; }, 10s));
    wave(env, fw, out, 30, "46600", "20");
    EXPECT_TRUE(brelvo_test::waitFor([&] { return server.jobCount() == 0; }, 20s)) << server.jobCount() << " left";
    done = true;
    reader.join();
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(seen.size(), 130u) << "jobs lost or made twice";
    for (const auto& j : seen)
        EXPECT_EQ(j->statusCode(), DeviceWriteComplete);
    server.stop();
}

// A probe in another protocol's space would hand out a port taken for UDP,
// and that job would fail with code 11.
TEST(Ports, ProbedPortIsFreeForUdp)
{
    using namespace reliability;
    if (!NetnsEnv::fromEnvironment().usable()) // the range below is the namespace's own
        GTEST_SKIP() << "needs a private network namespace: " << NetnsEnv::fromEnvironment().skipReason;
    const char* rangeFile = "/proc/sys/net/ipv4/ip_local_port_range";
    std::string saved;
    std::getline(std::ifstream(rangeFile), saved);
    if (!(std::ofstream(rangeFile) << "40000 40003\n").flush())
        GTEST_SKIP() << "cannot narrow the ephemeral port range in this namespace";
    std::vector<SocketHandle> held{openUdpSocket(), openUdpSocket(), openUdpSocket()};
    for (uint16_t i = 0; i < 3; ++i)
        ASSERT_EQ(bindSocket(held[i], 0, hostToNet16(40000 + i)), 0);
    for (int i = 0; i < 24; ++i) {
        SocketHandle s = openUdpSocket();
        const uint16_t port = findFreePort();
        EXPECT_EQ(bindSocket(s, 0, port), 0) << "probe " << i << " gave taken port " << netToHost16(port);
        closeSocket(s);
    }
    for (SocketHandle s : held)
        closeSocket(s);
    std::ofstream(rangeFile) << saved << "\n";
}
