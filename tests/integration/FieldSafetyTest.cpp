// SPDX-License-Identifier: MIT
// What the operator must be able to trust, over real sockets: a device is
// never told "done" with data missing, no address is lent twice or from
// this machine, a silent or stopped device never looks alive, and the
// pacing and patience of the block phase are what devices can live with.

#include "IntegrationHelpers.h"

using namespace brelvo_it;

// Whatever the phase a device falls silent in, its job ends at "Timeout!"
// (the block phase gives up after five silent seconds, the others after
// forty), never at "Sending Data" or "Updating...", with the time-out before
// the result in the event stream and on record. The suite's one wait of forty
// seconds.
TEST(FieldSafety, SilentDevicesEndWithTimeoutInEveryPhase)
{
    BRELVO_REQUIRE_NETNS(env);
    ASSERT_GE(env.devAddrs.size(), 4u);
    FirmwareFolder fw(64 * 1024);
    Server server(env, ServerSettings{fw.dir.path(), "", "", 3, true, fw.dir.file("run.csv")});
    // The writing device reports once, then waits a minute for its next report.
    const std::vector<std::vector<std::string>> silent = {
        {"--stop-after", "offer"}, {"--stop-after", "size"}, {"--stop-after", "blocks:5"},
        {"--progress-steps", "2", "--progress-interval", "60000"}};
    std::vector<brelvo_test::ChildProcess> quiet;
    for (size_t i = 0; i < silent.size(); ++i) {
        std::vector<std::string> args{"--bind", env.devAddrs[i]};
        args.insert(args.end(), silent[i].begin(), silent[i].end());
        quiet.emplace_back(devsimCommand(env, args));
        ASSERT_TRUE(waitFor([&] { return server.jobCount() == int(i) + 1; }, 10s));
    }
    ASSERT_TRUE(server.waitJob(3, DeviceWriting));

    const int expectedBefore[] = {OfferSent, SizeSent, -1, DeviceWriting};
    for (int i : {0, 1, 3})
        EXPECT_EQ(server.jobAt(i)->statusCode(), expectedBefore[i]) << "job " << i << " before the silence ran out";
    for (int i = 0; i < 4; ++i) {
        auto job = server.jobAt(i);
        ASSERT_TRUE(job);
        EXPECT_TRUE(waitFor([&] { return job->workerEnded(); }, 50s)) << "job " << i << " still at " << job->statusCode();
        EXPECT_EQ(job->statusCode(), TransferTimeout) << "job " << i;
        EXPECT_EQ(job->progress(), 0);
        const auto kinds = server.kindsOf(job->id());
        ASSERT_GE(kinds.size(), 2u);
        EXPECT_TRUE(kinds[kinds.size() - 2] == EventKind::JobTimedOut && kinds.back() == EventKind::JobResult) << i;
    }
    ASSERT_TRUE(server.flushReports());
    const auto rows = brelvo_test::parseCsv(brelvo_test::readText(fw.dir.file("run.csv")));
    ASSERT_EQ(rows.size(), 5u);
    int offered = 0;
    for (size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 16u);
        EXPECT_TRUE(rows[i][10] == "14" && rows[i][11] == "Timeout!") << rows[i][10];
        // The device silent after the Offer: nothing sent, and its forty seconds given.
        if (rows[i][2].rfind(env.devAddrs[0] + ":", 0) == 0 && ++offered) {
            EXPECT_TRUE(rows[i][6] == "0" && std::atof(rows[i][13].c_str()) >= 39.0) << rows[i][13];
        }
    }
    EXPECT_EQ(offered, 1);
}

// Run 1 lends an address; Stop, Start, and Clear of run 1's job must not
// give that address back while run 2's job holds it. This machine's own
// address is never lent, even when it does not answer its own ping.
TEST(FieldSafety, AnAddressIsNotLentTwiceAfterStopStartAndClearNorThisMachinesOwn)
{
    BRELVO_REQUIRE_NETNS(env);
    ASSERT_EQ(std::system("sysctl -qw net.ipv4.icmp_echo_ignore_all=1"), 0);
    FirmwareFolder fw(4096);
    auto server = std::make_unique<Server>(fw, env);
    ASSERT_TRUE(RawDevice(env).requestAndComplete());
    ASSERT_TRUE(server->waitJob(0, DeviceWriteComplete));
    const std::string first = server->jobAt(0)->lentAddressText();
    server->stop();
    ASSERT_TRUE(waitFor([&] { return server->isIdle(); }, 5s));
    ASSERT_EQ(server->start(fw.dir.path(), "", env.toolAddr, 1), 0);
    RawDevice second(env), third(env);
    second.request();
    ASSERT_TRUE(second.awaitOffer(15000)); // after the new sweep
    auto held = server->waitJob(1, OfferSent);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->lentAddressText(), first) << "the new sweep found it free again, as it should";
    server->pruneFinished(); // Clear: run 1's job goes
    ASSERT_EQ(server->jobCount(), 1);
    third.request();
    ASSERT_TRUE(third.awaitOffer(10000));
    auto next = server->waitJob(1, OfferSent);
    ASSERT_TRUE(next);
    EXPECT_NE(next->lentAddressText(), held->lentAddressText()) << "one address lent to two live jobs";
    for (const auto& lent : {first, next->lentAddressText()})
        EXPECT_TRUE(lent != env.toolAddr && lent != "127.0.0.1") << lent;
}

// A Stop that comes while the job is still reading its image is not lost:
// in the event stream nothing the job sends follows the Stop, and no
// request is taken after it.
TEST(FieldSafety, AStopWhileTheImageIsReadSendsNothingAfterwards)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(16 << 20); // read while the Stop lands
    Server server(fw, env);
    ASSERT_TRUE(server.waitEvent(EventKind::SweepFinished)); // requests are read once it is done
    RawDevice device(env);
    device.request();
    ASSERT_TRUE(server.waitEvent(EventKind::RequestMatched, 5s, 0ms)); // its image is read next
    server.stop();
    auto job = server.jobAt(0);
    ASSERT_TRUE(job);
    EXPECT_TRUE(waitFor([&] { return job->workerEnded(); }, 5s));
    EXPECT_EQ(job->statusCode(), Stopped);
    server.waitEvent(EventKind::StopRequested);
    bool stopped = false;
    for (const Event& e : server.events) {
        stopped = stopped || e.kind == EventKind::StopRequested;
        EXPECT_FALSE(stopped && e.jobId == job->id() && e.kind != EventKind::JobResult) << "sent after the Stop: " << int(e.kind);
    }
    RawDevice late(env);
    late.request();
    EXPECT_FALSE(late.awaitOffer(1500));
    EXPECT_EQ(server.jobCount(), 1) << "a request was taken after the Stop";
}
