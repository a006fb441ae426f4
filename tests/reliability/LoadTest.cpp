// SPDX-License-Identifier: MIT
// 100 devices at once, at full speed, complete byte-exact and never see two
// blocks closer than the pacing allows, and a reader polling (later pruning)
// the table every few ms sees no lost or doubled job. (The 101st device:
// Listener.ATakenPortFailsTheStartAndAHundredRequestsFillTheTable.)

#include "IntegrationHelpers.h"

#include <atomic>
#include <set>
#include <thread>

using namespace brelvo_it;

TEST(Load, HundredDevicesAtFullSpeedWhileTheTableIsReadAndPruned)
{
    BRELVO_REQUIRE_NETNS(env);
    if (env.devAddrs.size() < 100)
        GTEST_SKIP() << "needs 100 device addresses (DEVICES 100), got " << env.devAddrs.size();
    // Four MiB each, the last block short; a sanitizer build, several times
    // slower, keeps to 64 KiB so that the two cores are not simply swamped.
#ifdef BRELVO_SANITIZED
    FirmwareFolder fw((64 << 10) + 5, "kvx_ABCDEFG_V1", 7);
#else
    FirmwareFolder fw((4 << 20) + 5, "kvx_ABCDEFG_V1", 7);
#endif
    Server server(fw, env, "", OptionUpdateBoot);
    auto wave = [&](int count, const char* port, const char* staggerMs) {
        // Capture times jitter by some tens of microseconds: 0.9 ms less a margin.
        auto run = brelvo_test::runDevsim(env, {"--count", std::to_string(count), "--bind", env.devAddrs[0] + "-" +
                                                env.devAddrs[size_t(count) - 1], "--port", port, "--stagger", staggerMs,
                                                "--expect-image", fw.imagePath, "--min-gap-us", "850"}, 180s);
        EXPECT_EQ(run.exitCode, 0) << run.output; // each device got the image, byte for byte
    };

    // As the window's timer does, only every 3 ms; `seen` keeps each job once.
    std::atomic<bool> prune{false}, done{false};
    std::vector<std::string> problems;
    std::vector<std::shared_ptr<UpdateJob>> seen;
    std::thread reader([&] {
        for (std::set<UpdateJob*> known; !done; std::this_thread::sleep_for(3ms)) {
            std::set<UpdateJob*> now;
            for (int i = 0, n = server.jobCount(); i < n; ++i) {
                auto job = server.jobAt(i); // null when pruned since jobCount
                if (!job)
                    continue;
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

    wave(100, "46000", "0");
    std::set<std::string> lent;
    for (int i = 0; i < 100; ++i)
        if (auto job = server.waitJob(i, DeviceWriteComplete, 20s))
            lent.insert(job->lentAddressText());
    EXPECT_EQ(lent.size(), 100u) << "a job missed code 9, or two devices were lent one address";

    prune = true; // now finished jobs go while new ones arrive
    EXPECT_TRUE(waitFor([&] { return server.jobCount() == 0; }, 10s));
    wave(30, "46600", "20");
    EXPECT_TRUE(waitFor([&] { return server.jobCount() == 0; }, 20s)) << server.jobCount() << " left";
    done = true;
    reader.join();
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(seen.size(), 130u) << "jobs lost or made twice";
    for (const auto& j : seen)
        EXPECT_EQ(j->statusCode(), DeviceWriteComplete);
}
