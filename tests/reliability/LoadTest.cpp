// The table limit under load: 100 simulated devices at once all complete
// with byte-exact images, the 101st request is dropped with the console
// line, and a thread that reads (and later prunes) the table every few
// milliseconds, as the window does, never sees a lost, doubled or
// impossible job. The sanitizer builds run this too (TSan for races).

#include "Harness.h"

#include <cstdio>
#include <set>

using namespace brelvo;
using namespace reliability;
using brelvo_test::readFileBytes;

namespace {

constexpr size_t kImageBytes = 8 * 1024 + 5; // 9 blocks: quick, but several passes of the loop

std::string range(const NetnsEnv& env, size_t first, size_t count)
{
    return env.devAddrs[first] + "-" + env.devAddrs[first + count - 1];
}

} // namespace

TEST(Load, HundredDevicesThenTheTableIsFull)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    RELIABILITY_NEEDS_NETNS(env);
    if (env.devAddrs.size() < 100)
        GTEST_SKIP() << "needs 100 device addresses (DEVICES 100), got " << env.devAddrs.size();
    FirmwareFolder fw(kImageBytes);
    TempDir out;
    UpdateServer server;
    ASSERT_EQ(server.start(fw.path(), "", env.toolAddr, OptionUpdateBoot), 0);
    TablePoller poller(server);

    // Wave 1: the whole table at once.
    DevsimRun wave1 = runDevsim(env, {"--count", "100", "--bind", range(env, 0, 100), "--port", "46000",
                                      "--save-image", out.file("w1.bin"), "--expect-image", fw.imagePath},
                                std::chrono::seconds(180));
    std::printf("[ load     ] 100 devices at once: %.2f s for the simulator run\n", wave1.seconds);
    ASSERT_EQ(wave1.process.exitCode, 0) << wave1.process.output;
    ASSERT_EQ(wave1.devices.size(), 100u) << wave1.process.output;
    for (const DeviceReport& d : wave1.devices) {
        EXPECT_EQ(d.get("result"), "complete") << "device " << d.index;
        EXPECT_TRUE(readFileBytes(out.file("w1.bin." + std::to_string(d.index))) == fw.image)
            << "device " << d.index << " received another image";
    }
    ASSERT_TRUE(brelvo_test::waitFor(
        [&] {
            for (int i = 0; i < 100; ++i) {
                auto j = server.jobAt(i);
                if (!j || j->statusCode() != DeviceWriteComplete)
                    return false;
            }
            return true;
        },
        std::chrono::seconds(20)))
        << "not every job reached code 9";
    EXPECT_EQ(server.jobCount(), 100);
    std::set<std::string> lent;
    for (int i = 0; i < 100; ++i) {
        auto j = server.jobAt(i);
        EXPECT_EQ(j->progress(), 100);
        lent.insert(j->lentAddressText());
    }
    EXPECT_EQ(lent.size(), 100u) << "two devices were lent the same address";
    EXPECT_EQ(lent.count("0.0.0.0"), 0u);

    // The 101st request finds a full table: dropped, with the console line.
    {
        brelvo_test::StdoutCapture console;
        DevsimRun extra = runDevsim(env, {"--bind", env.devAddrs[0], "--port", "46500", "--offer-timeout", "6000"},
                                    std::chrono::seconds(60));
        console.stop();
        EXPECT_NE(extra.process.exitCode, 0) << "the 101st device must get no Offer: " << extra.process.output;
        EXPECT_TRUE(console.contains("Too Many update had happened\n")) << console.text();
    }
    EXPECT_EQ(server.jobCount(), 100);
    EXPECT_EQ(server.jobAt(100), nullptr);

    // Wave 2: the reader now also prunes finished jobs while new ones come.
    poller.setPrune(true);
    ASSERT_TRUE(brelvo_test::waitFor([&] { return server.jobCount() == 0; }, std::chrono::seconds(10)));
    DevsimRun wave2 = runDevsim(env, {"--count", "30", "--bind", range(env, 0, 30), "--port", "46600",
                                      "--stagger", "20", "--save-image", out.file("w2.bin"), "--expect-image",
                                      fw.imagePath},
                                std::chrono::seconds(120));
    ASSERT_EQ(wave2.process.exitCode, 0) << wave2.process.output;
    ASSERT_EQ(wave2.devices.size(), 30u);
    for (const DeviceReport& d : wave2.devices)
        EXPECT_TRUE(readFileBytes(out.file("w2.bin." + std::to_string(d.index))) == fw.image) << d.index;
    ASSERT_TRUE(brelvo_test::waitFor([&] { return server.jobCount() == 0; }, std::chrono::seconds(20)))
        << server.jobCount() << " jobs left after pruning";
    poller.stop();

    EXPECT_TRUE(poller.problems().empty()) << joined(poller.problems());
    EXPECT_LE(poller.maxCount(), UpdateServer::kMaxJobs);
    const auto seen = poller.seen();
    EXPECT_EQ(seen.size(), 130u) << "jobs lost or made twice";
    for (const auto& j : seen) {
        EXPECT_EQ(j->statusCode(), DeviceWriteComplete);
        EXPECT_NE(j->lentAddressText(), "0.0.0.0");
    }
    std::printf("[ load     ] table polled %ld times\n", poller.polls());
    server.stop();
    EXPECT_TRUE(brelvo_test::waitFor([&] { return server.isIdle(); }, std::chrono::seconds(10)));
}
