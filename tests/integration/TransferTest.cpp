// Whole updates over real sockets: the server on the tool side of a private
// namespace pair, simulated devices on the other side.

#include "IntegrationHelpers.h"

#include <algorithm>
#include <set>

using namespace brelvo_it;
using brelvo_test::ChildProcess;
using brelvo_test::runProcess;
using brelvo_test::waitFor;

namespace {

std::shared_ptr<brelvo::UpdateJob> onlyJob(brelvo::UpdateServer& server)
{
    return server.jobCount() == 1 ? server.jobAt(0) : nullptr;
}

} // namespace

TEST(Transfer, OneDeviceGetsTheImageByteExactAndALentAddress)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(100003); // neither whole blocks nor whole words
    brelvo::UpdateServer server;
    ASSERT_TRUE(startServer(server, fw.dir.path(), "", env, brelvo::OptionUpdateBoot | brelvo::OptionEraseBoot));

    auto r = runProcess(devsimCommand(env, {"--bind", env.devAddrs[0], "--expect-image", fw.imagePath,
                                            "--expect-options", "3", "--expect-tool", env.toolAddr,
                                            "--progress-steps", "4"}),
                        60s);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    auto line = deviceLine(r.output, 0);
    ASSERT_FALSE(line.empty()) << r.output;
    EXPECT_EQ(line["result"], "complete");
    EXPECT_EQ(line["bytes"], "100003");
    EXPECT_EQ(line["blocks"], "98/98");
    EXPECT_EQ(hostPart(line["endpoint"]), env.devAddrs[0]);

    auto job = onlyJob(server);
    ASSERT_TRUE(job);
    EXPECT_TRUE(waitFor([&] { return job->statusCode() == brelvo::DeviceWriteComplete; }, 5s))
        << "status " << job->statusCode();
    EXPECT_EQ(job->progress(), 100);
    EXPECT_TRUE(job->isFinished());
    // The lent address comes from the sweep: on the tool's /24, neither the
    // tool nor a device (they answer pings), and the one the Offer carried.
    std::string lent = job->lentAddressText();
    EXPECT_EQ(lent, line["lent"]);
    EXPECT_EQ(lent.rfind("10.213.7.", 0), 0u) << lent;
    EXPECT_NE(lent, env.toolAddr);
    EXPECT_EQ(std::count(env.devAddrs.begin(), env.devAddrs.end(), lent), 0);
    EXPECT_NE(lent, "10.213.7.0");
    ASSERT_TRUE(stopAndWaitIdle(server));
}

TEST(Transfer, LargeConfigurationIsAppendedMaskedAndSmallOneIsNot)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(10001);
    auto config = brelvo_test::patternBytes(65536 + 7, 0xC0FFEEu);
    std::string configPath = fw.dir.writeBytes("device.cfg", config);
    auto expected = expectedWithConfig(fw.image, config);
    std::string expectedPath = fw.dir.writeBytes("expected.out", expected);
    char sum[16];
    std::snprintf(sum, sizeof sum, "0x%08x", brelvo_test::wordSum(expected));

    brelvo::UpdateServer server;
    ASSERT_TRUE(startServer(server, fw.dir.path(), configPath, env, brelvo::OptionUpdateBoot));
    auto r = runProcess(devsimCommand(env, {"--bind", env.devAddrs[0], "--expect-image", expectedPath,
                                            "--expect-checksum", sum, "--expect-options", "1"}),
                        60s);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(deviceLine(r.output, 0)["bytes"], std::to_string(10001 + 65536 + 7)) << r.output;
    ASSERT_TRUE(stopAndWaitIdle(server));
    server.pruneFinished();

    // One byte short of the threshold: the image goes alone, with the
    // version file's checksum.
    auto small = brelvo_test::patternBytes(65535, 0xC0FFEEu);
    std::string smallPath = fw.dir.writeBytes("small.cfg", small);
    ASSERT_TRUE(startServer(server, fw.dir.path(), smallPath, env, 0));
    r = runProcess(devsimCommand(env, {"--bind", env.devAddrs[0], "--expect-image", fw.imagePath,
                                       "--expect-checksum", fw.checksumArg(), "--expect-options", "0"}),
                   60s);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    ASSERT_TRUE(stopAndWaitIdle(server));
}

TEST(Transfer, FiveDevicesAtOnceEachGetTheirOwnJobAndAddress)
{
    BRELVO_REQUIRE_NETNS(env);
    ASSERT_GE(env.devAddrs.size(), 5u);
    FirmwareFolder fw(300 * 1024 + 5);
    brelvo::UpdateServer server;
    ASSERT_TRUE(startServer(server, fw.dir.path(), "", env));

    std::vector<std::string> args{"--count", "5", "--expect-image", fw.imagePath, "--progress-steps", "2"};
    for (int i = 0; i < 5; ++i) {
        args.push_back("--bind");
        args.push_back(env.devAddrs[size_t(i)]);
    }
    // Requests by broadcast this time, as a device without a configured
    // tool address would send them.
    std::vector<std::string> argv{env.devsim, "--product", kProduct, "--broadcast"};
    argv.insert(argv.end(), args.begin(), args.end());
    auto r = runProcess(brelvo_test::inDeviceNamespace(env, argv), 90s);
    EXPECT_EQ(r.exitCode, 0) << r.output;

    ASSERT_EQ(server.jobCount(), 5);
    std::set<std::string> lent;
    for (int i = 0; i < 5; ++i) {
        auto job = server.jobAt(i);
        ASSERT_TRUE(job);
        EXPECT_TRUE(waitFor([&] { return job->statusCode() == brelvo::DeviceWriteComplete; }, 5s));
        lent.insert(job->lentAddressText());
        EXPECT_EQ(deviceLine(r.output, i)["result"], "complete");
    }
    EXPECT_EQ(lent.size(), 5u) << "two jobs were lent the same address";
    for (const auto& a : env.devAddrs)
        EXPECT_EQ(lent.count(a), 0u) << a << " answers pings yet was lent";
    ASSERT_TRUE(stopAndWaitIdle(server));
}

TEST(Transfer, LostAndRepeatedAcknowledgementsStillGiveAnExactImage)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(200 * 1024 + 3);
    brelvo::UpdateServer server;
    ASSERT_TRUE(startServer(server, fw.dir.path(), "", env));
    auto r = runProcess(devsimCommand(env, {"--bind", env.devAddrs[0], "--expect-image", fw.imagePath,
                                            "--ack-loss", "10", "--drop-blocks", "5", "--dup-acks", "10",
                                            "--reorder-acks", "10", "--seed", "42"}),
                        90s);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    auto line = deviceLine(r.output, 0);
    EXPECT_NE(line["resent"], "0") << "no block was sent again: loss was not simulated";
    auto job = onlyJob(server);
    ASSERT_TRUE(job);
    EXPECT_TRUE(waitFor([&] { return job->statusCode() == brelvo::DeviceWriteComplete; }, 5s));
    ASSERT_TRUE(stopAndWaitIdle(server));
}

TEST(Transfer, StopDuringTheBlockPhaseEndsTheJobWithTimeout)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(4 << 20); // about four seconds of paced blocks
    brelvo::UpdateServer server;
    ASSERT_TRUE(startServer(server, fw.dir.path(), "", env));
    ChildProcess device(devsimCommand(env, {"--bind", env.devAddrs[0], "--timeout", "3000"}));

    std::shared_ptr<brelvo::UpdateJob> job;
    ASSERT_TRUE(waitFor(
        [&] {
            job = onlyJob(server);
            return job && job->statusCode() == brelvo::SendingBlocks && job->progress() >= 5;
        },
        30s));
    int before = job->progress();
    ASSERT_LT(before, 90) << "the transfer was too quick to be stopped midway";
    auto t0 = std::chrono::steady_clock::now();
    server.stop();
    EXPECT_TRUE(waitFor([&] { return job->statusCode() == brelvo::TransferTimeout; }, 2s))
        << "status " << job->statusCode();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_TRUE(job->isFinished());
    EXPECT_EQ(job->progress(), 0);
    auto r = device.wait(20s);
    EXPECT_NE(r.exitCode, 0) << "the device got a whole image although the job was stopped:\n" << r.output;
    EXPECT_TRUE(waitFor([&] { return server.isIdle(); }, 45s));
}

TEST(Transfer, DeviceThatNeverAnswersTheOfferLeavesTheJobAtOfferSentUntilSilenceEndsIt)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(4096);
    brelvo::UpdateServer server;
    ASSERT_TRUE(startServer(server, fw.dir.path(), "", env));
    auto r = runProcess(devsimCommand(env, {"--bind", env.devAddrs[0], "--stop-after", "offer"}), 60s);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    auto offeredAt = std::chrono::steady_clock::now();
    auto job = onlyJob(server);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->statusCode(), brelvo::OfferSent);
    EXPECT_FALSE(job->isFinished());
    EXPECT_FALSE(waitFor([&] { return job->isFinished(); }, 30s)) << "finished long before the 40 s silence";
    EXPECT_TRUE(waitFor([&] { return job->isFinished(); }, 20s));
    auto waited = std::chrono::steady_clock::now() - offeredAt;
    EXPECT_GE(waited, 38s);
    EXPECT_EQ(job->statusCode(), brelvo::OfferSent);
    EXPECT_EQ(job->progress(), 0);
    ASSERT_TRUE(stopAndWaitIdle(server));
}
