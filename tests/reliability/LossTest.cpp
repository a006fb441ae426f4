// Updates over a lossy, duplicating and reordering path: the image must
// arrive byte for byte, duplicates must be counted once, and a device that
// acknowledges nothing must end the job with code 14 rather than hang it.
// Every test runs in its own namespace pair (brelvo_add_netns_test).

#include "Harness.h"

#include "platform/Clock.h"

#include <cstdio>

using namespace brelvo;
using namespace reliability;
using brelvo_test::readFileBytes;

namespace {

constexpr size_t kImageBytes = 300 * 1024 + 17; // 301 blocks, the last one short

struct TransferOutcome {
    DevsimRun run;
    std::vector<uint8_t> received;
    std::shared_ptr<UpdateJob> job;
    std::vector<std::string> problems;
};

// One device through a whole update with the given simulator options.
TransferOutcome transfer(const NetnsEnv& env, const FirmwareFolder& fw, std::vector<std::string> options)
{
    TransferOutcome o;
    UpdateServer server;
    if (server.start(fw.path(), "", env.toolAddr, OptionUpdateBoot | OptionEraseBoot) != 0) {
        o.problems.push_back("start refused");
        return o;
    }
    TablePoller poller(server);
    TempDir out;
    std::vector<std::string> args{"--bind", env.devAddrs[0], "--port", "47000", "--save-image",
                                  out.file("received.bin"), "--expect-image", fw.imagePath,
                                  "--expect-options", "3"};
    args.insert(args.end(), options.begin(), options.end());
    o.run = runDevsim(env, args);
    o.received = readFileBytes(out.file("received.bin"));
    o.job = waitForJob(server, 0, [](const UpdateJob& j) { return j.statusCode() == DeviceWriteComplete; },
                       std::chrono::seconds(10));
    poller.stop();
    o.problems = poller.problems();
    server.stop();
    return o;
}

void expectComplete(const TransferOutcome& o, const FirmwareFolder& fw, const std::string& what)
{
    ASSERT_TRUE(o.problems.empty()) << joined(o.problems);
    ASSERT_EQ(o.run.process.exitCode, 0) << o.run.process.output;
    ASSERT_EQ(o.run.devices.size(), 1u) << o.run.process.output;
    const DeviceReport& d = o.run.devices[0];
    EXPECT_EQ(d.get("result"), "complete") << o.run.process.output;
    EXPECT_EQ(d.get("violations"), "0") << o.run.process.output;
    ASSERT_EQ(o.received.size(), fw.image.size());
    EXPECT_TRUE(o.received == fw.image) << "the received image differs from the firmware";
    ASSERT_NE(o.job, nullptr) << "the job never reached code 9";
    EXPECT_TRUE(o.job->isFinished());
    EXPECT_EQ(o.job->progress(), 100);
    EXPECT_LE(o.job->acknowledgedBlocks(), o.job->blockTotal());
    std::printf("[ transfer ] %s: %zu bytes, block phase %.1f ms, device run %.0f ms, resent %s, acks %s\n",
                what.c_str(), o.received.size(), d.number("block_phase_us") / 1000.0,
                double(d.number("elapsed_ms")), d.get("resent").c_str(), d.get("acks").c_str());
}

std::vector<std::string> nftFile(const TempDir& dir, int percent, int port)
{
    const std::string path = dir.writeText(
        "loss.nft", "table inet brelvo_loss {\n"
                    "  chain in {\n"
                    "    type filter hook input priority 0; policy accept;\n"
                    "    udp dport " + std::to_string(port) + " udp length 1048 numgen random mod 100 < " +
                        std::to_string(percent) + " counter drop;\n"
                    "  }\n"
                    "}\n");
    return {"nft", "-f", path};
}

} // namespace

class AckLoss : public ::testing::TestWithParam<int> {};

TEST_P(AckLoss, UpdateCompletesByteExact)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    RELIABILITY_NEEDS_NETNS(env);
    FirmwareFolder fw(kImageBytes);
    const int percent = GetParam();
    TransferOutcome o = transfer(env, fw, {"--ack-loss", std::to_string(percent), "--seed", "11"});
    expectComplete(o, fw, std::to_string(percent) + "% of acknowledgements lost");
    if (percent >= 20 && !o.run.devices.empty()) {
        EXPECT_GT(o.run.devices[0].number("resent"), 0) << "lost acknowledgements must cause re-sends";
    }
}

INSTANTIATE_TEST_SUITE_P(Loss, AckLoss, ::testing::Values(5, 20, 50));

TEST(Loss, BlocksDroppedOnTheWire)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    RELIABILITY_NEEDS_NETNS(env);
    if (std::system("command -v nft >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "nft (nftables) is not installed; the simulator's --drop-blocks case still runs";
    TempDir rules;
    auto load = brelvo_test::runProcess(brelvo_test::inDeviceNamespace(env, nftFile(rules, 5, 47000)),
                                        std::chrono::seconds(20));
    if (load.exitCode != 0)
        GTEST_SKIP() << "nftables refused the loss rule here: " << load.output;
    FirmwareFolder fw(kImageBytes);
    TransferOutcome o = transfer(env, fw, {});
    auto list = brelvo_test::runProcess(
        brelvo_test::inDeviceNamespace(env, {"nft", "list", "table", "inet", "brelvo_loss"}), std::chrono::seconds(20));
    expectComplete(o, fw, "5% of blocks dropped by nftables");
    // The rule really dropped blocks, or the test proved nothing.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(list.output, m, std::regex(R"(counter packets (\d+))"))) << list.output;
    EXPECT_GT(std::stol(m[1]), 0) << list.output;
}

TEST(Loss, BlocksDroppedBySimulator)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    RELIABILITY_NEEDS_NETNS(env);
    FirmwareFolder fw(kImageBytes);
    TransferOutcome o = transfer(env, fw, {"--drop-blocks", "5", "--seed", "5"});
    expectComplete(o, fw, "5% of blocks lost in the device");
    if (!o.run.devices.empty()) {
        EXPECT_GT(o.run.devices[0].number("dropped"), 0);
    }
}

TEST(Loss, DuplicatedAndReorderedAcksCountOnce)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    RELIABILITY_NEEDS_NETNS(env);
    FirmwareFolder fw(kImageBytes);
    TransferOutcome o = transfer(env, fw, {"--dup-acks", "40", "--reorder-acks", "40", "--seed", "3"});
    expectComplete(o, fw, "40% duplicated and 40% reordered acknowledgements");
    // Nothing was lost, so hardly anything needs sending twice; counting a
    // duplicate as a new block would end passes early and leave holes.
    if (!o.run.devices.empty()) {
        EXPECT_LE(o.run.devices[0].number("resent"), 10) << o.run.process.output;
    }
}

TEST(Loss, EveryAckDroppedEndsInTimeout)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    RELIABILITY_NEEDS_NETNS(env);
    FirmwareFolder fw(64 * 1024);
    UpdateServer server;
    ASSERT_EQ(server.start(fw.path(), "", env.toolAddr, OptionUpdateBoot), 0);
    TablePoller poller(server);
    // The simulator still sends its kick-off acknowledgement (which starts
    // the block phase) but none for blocks, and never asks again.
    TempDir out;
    brelvo_test::ChildProcess device(brelvo_test::inDeviceNamespace(
        env, {env.devsim, "--tool", env.toolAddr, "--product", kProduct, "--bind", env.devAddrs[0], "--ack-loss",
              "100", "--retry", "60000", "--timeout", "8000", "--save-image", out.file("received.bin")}));

    std::shared_ptr<UpdateJob> job = waitForJob(
        server, 0, [](const UpdateJob& j) { return j.statusCode() == SendingBlocks; }, std::chrono::seconds(30));
    if (!job) {
        auto j = server.jobAt(0);
        FAIL() << "the block phase never started; job status " << (j ? j->statusCode() : -1) << "; device: "
               << device.wait(std::chrono::seconds(30)).output;
    }
    const auto phaseSeen = std::chrono::steady_clock::now();
    ASSERT_TRUE(brelvo_test::waitFor([&] { return job->statusCode() == TransferTimeout; }, std::chrono::seconds(30)))
        << "status " << job->statusCode();
    const double gaveUpAfter = std::chrono::duration<double>(std::chrono::steady_clock::now() - phaseSeen).count();
    EXPECT_TRUE(job->isFinished());
    EXPECT_EQ(job->progress(), 0);
    EXPECT_EQ(job->acknowledgedBlocks(), 0);
    // The limit is 1000 sends in a row, each followed by a 1 ms pause.
    EXPECT_GE(gaveUpAfter, 0.9);
    std::printf("[ timeout  ] every acknowledgement lost: code 14 after %.2f s of block phase\n", gaveUpAfter);

    auto result = device.wait(std::chrono::seconds(30));
    auto reports = parseReports(result.output);
    ASSERT_EQ(reports.size(), 1u) << result.output;
    EXPECT_NE(reports[0].get("result"), "complete");
    EXPECT_EQ(reports[0].get("ends"), "0") << "no End may follow an unacknowledged transfer";
    poller.stop();
    EXPECT_TRUE(poller.problems().empty()) << joined(poller.problems());
    // The record stays readable and the server winds down without a crash.
    server.stop();
    EXPECT_EQ(job->statusCode(), TransferTimeout);
}
