// SPDX-License-Identifier: MIT
// What the operator must be able to trust, over real sockets: a device is
// never told "done" with data missing, no address is lent twice or from
// this machine, a silent or stopped device never looks alive, and the
// pacing and patience of the block phase are what devices can live with.

#include "IntegrationHelpers.h"

#include <set>

using namespace brelvo_it;

namespace {

int statusOf(brelvo::UpdateServer& server, int index)
{
    auto job = server.jobAt(index);
    return job ? job->statusCode() : -1;
}

} // namespace

// A Size that got lost is asked for again and answered again; a device that
// stalls for three seconds in its acknowledgements is still served; erase
// without a configuration sends the image alone with both option bits.
TEST(FieldSafety, LostSizeStalledAcknowledgementsAndEraseAloneStillComplete)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(300 * 1024);
    Server server(fw, env, "", brelvo::OptionUpdateBoot | brelvo::OptionEraseBoot);
    const std::vector<std::vector<std::string>> devices = {
        {"--lose-size", "2", "--retry", "200"},
        {"--ack-stall-after", "100", "--ack-stall-ms", "3000"},
        {"--expect-config", "none", "--expect-options", "3"},
    };
    for (size_t i = 0; i < devices.size(); ++i) {
        std::vector<std::string> args{"--bind", env.devAddrs[0], "--expect-image", fw.imagePath};
        args.insert(args.end(), devices[i].begin(), devices[i].end());
        const auto r = brelvo_test::runProcess(devsimCommand(env, args), 60s);
        EXPECT_EQ(r.exitCode, 0) << devices[i][0] << "\n" << r.output;
        auto job = server.waitJob(int(i), brelvo::DeviceWriteComplete);
        EXPECT_TRUE(job) << devices[i][0] << ": status " << statusOf(server, int(i));
    }
}

// Whatever the phase a device falls silent in, its row ends at "Timeout!"
// once forty seconds have passed, never at "Sending Data" or "Updating...".
TEST(FieldSafety, SilentDevicesEndWithTimeoutInEveryPhase)
{
    BRELVO_REQUIRE_NETNS(env);
    ASSERT_GE(env.devAddrs.size(), 3u);
    FirmwareFolder fw(64 * 1024);
    Server server(fw, env);
    // The writing device is played by hand: every block acknowledged, a
    // progress report, then nothing.
    std::vector<brelvo_test::ChildProcess> quiet;
    quiet.emplace_back(devsimCommand(env, {"--bind", env.devAddrs[0], "--stop-after", "offer"}));
    ASSERT_TRUE(waitFor([&] { return server.jobCount() == 1; }, 10s));
    quiet.emplace_back(devsimCommand(env, {"--bind", env.devAddrs[1], "--stop-after", "size"}));
    ASSERT_TRUE(waitFor([&] { return server.jobCount() == 2; }, 10s));
    quiet.emplace_back(devsimCommand(env, {"--bind", env.devAddrs[2], "--stop-after", "blocks:5"}));
    ASSERT_TRUE(waitFor([&] { return server.jobCount() == 3; }, 10s));
    RawDevice writer(env);
    writer.request();
    ASSERT_TRUE(writer.awaitOffer(10000));
    writer.send(devsim::encodeReady(), writer.jobPort);
    ASSERT_FALSE(writer.awaitType(devsim::TypeSize, 5000).empty());
    writer.send(devsim::encodeBlockAck(devsim::kKickOffIndex), writer.jobPort);
    bool ended = false;
    for (int i = 0; i < 1000 && !ended; ++i) {
        uint8_t buf[2048];
        pollfd p{writer.fd, POLLIN, 0};
        const ssize_t n = poll(&p, 1, 2000) > 0 ? recv(writer.fd, buf, sizeof buf, 0) : -1;
        ASSERT_GT(n, 0) << "the job stopped sending";
        const int type = devsim::messageType(buf, size_t(n));
        if (type == devsim::TypeBlock)
            writer.send(devsim::encodeBlockAck(devsim::readBE32(buf + 12)), writer.jobPort);
        ended = type == devsim::TypeEnd;
    }
    ASSERT_TRUE(ended);
    writer.send(devsim::encodeWriteProgress(1, 2), writer.jobPort);
    ASSERT_TRUE(server.waitJob(3, brelvo::DeviceWriting));

    // The block phase gives up after five silent seconds (and keeps
    // listening); the others wait for the forty.
    const int expectedBefore[] = {brelvo::OfferSent, brelvo::SizeSent, -1, brelvo::DeviceWriting};
    for (int i : {0, 1, 3})
        EXPECT_EQ(statusOf(server, i), expectedBefore[i]) << "job " << i << " before the silence ran out";
    for (int i = 0; i < 4; ++i) {
        auto job = server.jobAt(i);
        ASSERT_TRUE(job);
        EXPECT_TRUE(waitFor([&] { return job->workerEnded(); }, 50s)) << "job " << i << " still at " << statusOf(server, i);
        EXPECT_EQ(job->statusCode(), brelvo::TransferTimeout) << "job " << i;
        EXPECT_EQ(job->progress(), 0);
    }
}

// Run 1 lends an address; Stop, Start, and Clear of run 1's job must not
// give that address back while run 2's job holds it.
TEST(FieldSafety, AnAddressOfAnEarlierRunIsNotLentTwiceAfterStopStartAndClear)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(4096);
    auto server = std::make_unique<Server>(fw, env);
    ASSERT_TRUE(RawDevice(env).requestAndComplete());
    ASSERT_TRUE(server->waitJob(0, brelvo::DeviceWriteComplete));
    const std::string first = server->jobAt(0)->lentAddressText();
    server->stop();
    ASSERT_TRUE(waitFor([&] { return server->isIdle(); }, 5s));
    ASSERT_EQ(server->start(fw.dir.path(), "", env.toolAddr, 1), 0);
    RawDevice second(env), third(env);
    second.request();
    ASSERT_TRUE(second.awaitOffer(15000)); // after the new sweep
    auto held = server->waitJob(1, brelvo::OfferSent);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->lentAddressText(), first) << "the new sweep found it free again, as it should";
    server->pruneFinished(); // Clear: run 1's job goes
    ASSERT_EQ(server->jobCount(), 1);
    third.request();
    ASSERT_TRUE(third.awaitOffer(10000));
    auto next = server->waitJob(1, brelvo::OfferSent);
    ASSERT_TRUE(next);
    EXPECT_NE(next->lentAddressText(), held->lentAddressText()) << "one address lent to two live jobs";
}

// This machine's own address never goes to a device, even when it does not
// answer its own ping.
TEST(FieldSafety, ThisMachinesAddressIsNeverLentEvenWhenItIgnoresPings)
{
    BRELVO_REQUIRE_NETNS(env);
    ASSERT_EQ(std::system("sysctl -qw net.ipv4.icmp_echo_ignore_all=1"), 0);
    FirmwareFolder fw(4096);
    Server server(fw, env);
    RawDevice device(env);
    ASSERT_TRUE(device.requestAndComplete());
    auto job = server.waitJob(0, brelvo::DeviceWriteComplete);
    ASSERT_TRUE(job);
    EXPECT_NE(job->lentAddressText(), env.toolAddr);
    EXPECT_NE(job->lentAddressText(), "127.0.0.1");
}

// Every address of the network answers: the job ends with "Network
// Error!" and no Offer of 0.0.0.0 goes out.
TEST(FieldSafety, NoAddressToLendEndsTheJobWithoutAnOffer)
{
    BRELVO_REQUIRE_NETNS(env);
    std::string batch;
    for (int host = 2; host <= 253; ++host)
        if (std::find(env.devAddrs.begin(), env.devAddrs.end(), "10.213.7." + std::to_string(host)) == env.devAddrs.end())
            batch += "addr add 10.213.7." + std::to_string(host) + "/24 dev vd\n";
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
    auto job = server.waitJob(0, brelvo::NetError);
    ASSERT_TRUE(job) << "status " << statusOf(server, 0);
    EXPECT_TRUE(job->isFinished() && job->lentAddressText() == "0.0.0.0");
    EXPECT_TRUE(console.contains("no address to lend")) << console.text();
}

// A Stop that comes while the job is still reading its image is not lost:
// nothing is sent after it, and no request is taken after it.
TEST(FieldSafety, AStopWhileTheImageIsReadSendsNothingAfterwards)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(16 << 20); // long enough to read that the Stop lands meanwhile
    Server server(fw, env);
    std::this_thread::sleep_for(2500ms); // the sweep
    RawDevice device(env);
    device.request();
    ASSERT_TRUE(waitFor([&] { return server.jobCount() == 1; }, 5s, 0ms));
    server.stop();
    const auto stoppedAt = std::chrono::steady_clock::now();
    auto job = server.jobAt(0);
    ASSERT_TRUE(job);
    EXPECT_TRUE(waitFor([&] { return job->workerEnded(); }, 1s));
    EXPECT_EQ(job->statusCode(), brelvo::Stopped);
    const bool offered = device.awaitOffer(1500);
    EXPECT_FALSE(offered && std::chrono::steady_clock::now() - stoppedAt > 50ms) << "an Offer after the Stop";
    RawDevice late(env);
    late.request();
    EXPECT_FALSE(late.awaitOffer(1500));
    EXPECT_EQ(server.jobCount(), 1) << "a request was taken after the Stop";
}
