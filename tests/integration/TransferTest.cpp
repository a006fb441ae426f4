// Whole updates over real sockets: the server on the tool side of a private
// namespace pair, simulated devices on the other side judging every byte.

#include "IntegrationHelpers.h"

#include <algorithm>
#include <set>

using namespace brelvo_it;
using brelvo_test::runProcess;

TEST(Transfer, OneDeviceGetsTheImageByteExactAndALentAddress)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(100003); // neither whole blocks nor whole words
    Server server(fw, env, "", brelvo::OptionUpdateBoot | brelvo::OptionEraseBoot);
    auto r = runProcess(devsimCommand(env, {"--bind", env.devAddrs[0], "--expect-image", fw.imagePath,
                                            "--expect-options", "3", "--expect-tool", env.toolAddr}),
                        60s);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(summaryField(r.output, "blocks"), "98/98") << r.output;
    auto job = server.waitJob(0, brelvo::DeviceWriteComplete);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->progress(), 100);
    EXPECT_TRUE(job->isFinished());
    // Lent from the sweep's pool: on the tool's /24, answering to no ping.
    std::string lent = job->lentAddressText();
    EXPECT_EQ(lent, summaryField(r.output, "lent")) << "the Offer carried another address";
    unsigned host = 0;
    EXPECT_EQ(std::sscanf(lent.c_str(), "10.213.7.%u", &host), 1) << lent;
    EXPECT_TRUE(host >= 2 && host <= 253 && host != 50) << lent;
}

TEST(Transfer, LargeConfigurationIsAppendedMasked)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(10001);
    auto config = brelvo_test::patternBytes(65536 + 7, 0xC0FFEEu);
    // Image then configuration; from the image's last whole word on, whole
    // words are XORed with the mask (little-endian), a partial tail is not.
    auto expected = fw.image;
    expected.insert(expected.end(), config.begin(), config.end());
    for (size_t w = fw.image.size() / 4; w < expected.size() / 4; ++w)
        for (unsigned b = 0; b < 4; ++b)
            expected[w * 4 + b] ^= uint8_t(0x5A3C96E1u >> (8 * b));
    char sum[16];
    std::snprintf(sum, sizeof sum, "0x%08x", brelvo_test::wordSum(expected));

    Server server(fw, env, fw.dir.writeBytes("device.cfg", config), brelvo::OptionUpdateBoot);
    auto r = runProcess(devsimCommand(env, {"--bind", env.devAddrs[0], "--expect-checksum", sum,
                                            "--expect-image", fw.dir.writeBytes("expected.out", expected),
                                            "--expect-options", "1"}),
                        60s);
    EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(Transfer, FiveDevicesAtOnceGetTheirOwnAddressesWhileAFinishedJobIsPruned)
{
    BRELVO_REQUIRE_NETNS(env);
    ASSERT_EQ(env.devAddrs.size(), 5u);
    FirmwareFolder fw(2 << 20);
    Server server(fw, env);
    RawDevice quick(env); // its job is over before the others start
    quick.request();
    ASSERT_TRUE(quick.awaitOffer(10000));
    quick.complete();
    ASSERT_TRUE(server.waitJob(0, brelvo::DeviceWriteComplete));
    // Requests by broadcast, as from devices with no tool address set.
    std::vector<std::string> argv{env.devsim, "--product", kProduct, "--broadcast", "--count", "5",
                                  "--expect-image", fw.imagePath};
    for (const auto& a : env.devAddrs)
        argv.insert(argv.end(), {"--bind", a});
    brelvo_test::ChildProcess devices(brelvo_test::inDeviceNamespace(env, argv));
    auto allSending = [&] {
        for (int i = 1; i <= 5; ++i)
            if (!server.waitJob(i, brelvo::SendingBlocks, 0ms))
                return false;
        return true;
    };
    ASSERT_TRUE(waitFor(allSending, 30s));
    server.pruneFinished();
    ASSERT_EQ(server.jobCount(), 5);
    auto r = devices.wait(90s);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::set<std::string> lent;
    for (int i = 0; i < 5; ++i) {
        auto job = server.waitJob(i, brelvo::DeviceWriteComplete);
        ASSERT_TRUE(job) << "job " << i;
        lent.insert(job->lentAddressText());
    }
    EXPECT_EQ(lent.size(), 5u) << "two jobs were lent the same address";
    for (const auto& a : env.devAddrs)
        EXPECT_EQ(lent.count(a), 0u) << a << " answers pings yet was lent";
}

TEST(Transfer, StopDuringTheBlockPhaseEndsTheJobWithTimeout)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(4 << 20); // about four seconds of paced blocks
    Server server(fw, env);
    brelvo_test::ChildProcess device(devsimCommand(env, {"--bind", env.devAddrs[0], "--timeout", "3000"}));
    std::shared_ptr<brelvo::UpdateJob> job;
    ASSERT_TRUE(waitFor([&] { return (job = server.waitJob(0, brelvo::SendingBlocks, 0ms)) && job->progress() >= 5; },
                        30s));
    ASSERT_LT(job->progress(), 90) << "the transfer was too quick to be stopped midway";
    server.stop();
    EXPECT_TRUE(waitFor([&] { return job->statusCode() == brelvo::TransferTimeout && job->isFinished(); }, 2s))
        << "status " << job->statusCode();
    EXPECT_EQ(job->progress(), 0);
    EXPECT_NE(device.wait(20s).exitCode, 0) << "the device got a whole image although the job was stopped";
}

TEST(Transfer, DeviceThatNeverAnswersTheOfferIsDroppedAfterFortySeconds)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(4096);
    Server server(fw, env);
    auto r = runProcess(devsimCommand(env, {"--bind", env.devAddrs[0], "--stop-after", "offer"}), 60s);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    auto offeredAt = std::chrono::steady_clock::now();
    auto job = server.waitJob(0, brelvo::OfferSent, 0ms);
    ASSERT_TRUE(job);
    EXPECT_FALSE(waitFor([&] { return job->isFinished(); }, 35s)) << "finished long before 40 s of silence";
    EXPECT_TRUE(waitFor([&] { return job->isFinished(); }, 15s));
    EXPECT_GE(std::chrono::steady_clock::now() - offeredAt, 38s);
    EXPECT_EQ(job->statusCode(), brelvo::OfferSent);
}
