// Updates over a lossy, duplicating and reordering path must arrive byte for
// byte with code 9; a device that acknowledges nothing must end in code 14.

#include "Harness.h"

#include <regex>

using namespace reliability;

struct LossCase {
    std::string name;
    std::vector<std::string> devsimOptions;
    std::string counter; // simulator report field that must lie in [low, high]
    long low, high;
};

void PrintTo(const LossCase& c, std::ostream* o) { *o << c.name; }

class Transfer : public ::testing::TestWithParam<LossCase> {};

TEST_P(Transfer, ByteExactWithCode9)
{
    RELIABILITY_NETNS_ENV(env);
    LossCase c = GetParam();
    TempDir out;
    // Blocks are dropped on the wire (the 1048-byte datagrams) when nftables works here.
    auto nft = [&](std::vector<std::string> a) {
        a.insert(a.begin(), "nft");
        return brelvo_test::runProcess(brelvo_test::inDeviceNamespace(env, a), 20s);
    };
    const bool onWire = c.counter == "dropped" &&
        nft({"-f", out.writeText("loss.nft", "table inet brelvo_loss {\n chain in {\n  type filter hook input priority 0;"
                                             "\n  udp dport 47000 udp length 1048 numgen random mod 100 < 5 counter drop;"
                                             "\n }\n}\n")}).exitCode == 0;
    if (onWire)
        c.devsimOptions.clear();
    FirmwareFolder fw(300 * 1024 + 17); // 301 blocks, the last one short
    UpdateServer server;
    ASSERT_TRUE(startListening(server, fw.dir.path(), "", env.toolAddr, OptionUpdateBoot | OptionEraseBoot));
    std::vector<std::string> args{"--bind", env.devAddrs[0], "--port", "47000", "--save-image", out.file("got.bin"),
                                  "--expect-image", fw.imagePath, "--expect-options", "3"};
    args.insert(args.end(), c.devsimOptions.begin(), c.devsimOptions.end());
    const DevsimRun run = runDevsim(env, args);
    auto job = jobReaching(server, 0, DeviceWriteComplete, 10s);
    ASSERT_EQ(run.devices.size(), 1u) << run.process.output;
    EXPECT_EQ(run.process.exitCode, 0) << run.process.output;
    EXPECT_EQ(run.devices[0].at("violations"), "0") << run.process.output;
    EXPECT_TRUE(readFileBytes(out.file("got.bin")) == fw.image) << "the received image differs";
    ASSERT_TRUE(job) << "no code 9";
    EXPECT_EQ(job->progress(), 100);
    EXPECT_LE(job->acknowledgedBlocks(), job->blockTotal()) << "an acknowledgement counted twice";
    std::smatch m;
    const std::string counted = onWire ? nft({"list", "table", "inet", "brelvo_loss"}).output : run.process.output;
    if (onWire)
        nft({"delete", "table", "inet", "brelvo_loss"});
    ASSERT_TRUE(std::regex_search(counted, m, std::regex((onWire ? "counter packets " : " " + c.counter + "=") + "(\\d+)")));
    EXPECT_TRUE(std::stol(m[1]) >= c.low && std::stol(m[1]) <= c.high) << c.counter << ": " << m[0];
}

// Lost acknowledgements must cause re-sends; duplicated or late ones must
// not count twice (that would end passes early and leave holes).
INSTANTIATE_TEST_SUITE_P(Loss, Transfer,
                         ::testing::Values(LossCase{"ack5", {"--ack-loss", "5", "--seed", "11"}, "resent", 0, 1000},
                                           LossCase{"ack20", {"--ack-loss", "20", "--seed", "11"}, "resent", 1, 1000},
                                           LossCase{"ack50", {"--ack-loss", "50", "--seed", "11"}, "resent", 1, 1000},
                                           LossCase{"blocks5", {"--drop-blocks", "5", "--seed", "5"}, "dropped", 1, 1000},
                                           LossCase{"disorder", {"--dup-acks", "40", "--reorder-acks", "40", "--seed", "3"},
                                                    "resent", 0, 10}),
                         [](const auto& info) { return info.param.name; });

TEST(Loss, EveryAckDroppedEndsInTimeout)
{
    RELIABILITY_NETNS_ENV(env);
    FirmwareFolder fw(64 * 1024);
    UpdateServer server;
    ASSERT_TRUE(startListening(server, fw.dir.path(), "", env.toolAddr, OptionUpdateBoot));
    // The kick-off acknowledgement still goes (it starts the block phase),
    // none for blocks, and the device never asks again: it gives up after 10 s.
    const DevsimRun run = runDevsim(env, {"--bind", env.devAddrs[0], "--ack-loss", "100", "--retry", "60000",
                                          "--timeout", "8000"});
    ASSERT_EQ(run.devices.size(), 1u) << run.process.output;
    EXPECT_EQ(run.devices[0].at("ends"), "0") << "an End followed no acknowledgement";
    auto job = jobReaching(server, 0, TransferTimeout, 5s);
    ASSERT_TRUE(job) << "no code 14";
    EXPECT_TRUE(job->isFinished());
    EXPECT_EQ(job->acknowledgedBlocks(), 0);
    server.stop(); // the record stays readable after the server winds down
    EXPECT_EQ(job->statusCode(), TransferTimeout);
}
