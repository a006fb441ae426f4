// SPDX-License-Identifier: MIT
// Updates over a lossy, duplicating and reordering path arrive byte for byte
// with code 9; a device that acknowledges nothing ends in code 14.

#include "Harness.h"

using namespace reliability;

struct LossCase {
    std::string name;
    std::vector<std::string> devsimOptions;
    std::string counter; // simulator report field that must lie in [low, high]
    long low, high;
    int status = DeviceWriteComplete;
};
void PrintTo(const LossCase& c, std::ostream* o) { *o << c.name; }

class Transfer : public ::testing::TestWithParam<LossCase> {};

TEST_P(Transfer, EndsInItsCode)
{
    RELIABILITY_NETNS_ENV(env);
    LossCase c = GetParam();
    FirmwareFolder fw(300 * 1024 + 17); // 301 blocks, the last one short
    auto nft = [&](std::vector<std::string> a) {
        a.insert(a.begin(), "nft");
        return brelvo_test::runProcess(brelvo_test::inDeviceNamespace(env, a), 20s);
    };
    // Blocks (the 1048-byte datagrams) are dropped on the wire when nftables works here.
    const bool onWire = c.counter == "dropped" &&
        nft({"-f", fw.dir.writeText("loss.nft", "table inet brelvo_loss {\n chain in {\n  type filter hook input"
                                                " priority 0;\n  udp dport 47000 udp length 1048 numgen random mod 100"
                                                " < 5 counter drop;\n }\n}\n")}).exitCode == 0;
    if (onWire)
        c.devsimOptions.clear();
    UpdateServer server;
    ASSERT_TRUE(startListening(server, fw.dir.path(), "", OptionUpdateBoot | OptionEraseBoot, env));
    c.devsimOptions.insert(c.devsimOptions.end(), {"--bind", env.devAddrs[0], "--port", "47000", "--expect-image",
                                                   fw.imagePath, "--expect-options", "3"});
    const auto run = runDevsim(env, c.devsimOptions);
    EXPECT_EQ(run.exitCode == 0, c.status == DeviceWriteComplete) << run.output; // 0: bytes as expected, no violation
    auto job = jobReaching(server, 0, c.status, 10s);
    ASSERT_TRUE(job) << "never reached code " << c.status;
    EXPECT_TRUE(job->isFinished() && (c.status != DeviceWriteComplete || job->progress() == 100));
    EXPECT_LE(job->acknowledgedBlocks(), job->blockTotal()) << "an acknowledgement counted twice";
    std::smatch m;
    const std::string wire = onWire ? nft({"list", "table", "inet", "brelvo_loss"}).output : "";
    const std::string count = !onWire ? field(run.output, c.counter)
                              : std::regex_search(wire, m, std::regex("counter packets (\\d+)")) ? m[1].str() : "";
    ASSERT_FALSE(count.empty()) << run.output << wire;
    EXPECT_TRUE(std::stol(count) >= c.low && std::stol(count) <= c.high) << c.counter << ": " << count;
    server.stop(); // the record stays readable after the server winds down
    EXPECT_EQ(job->statusCode(), c.status);
}

// Lost acks must cause re-sends; duplicated or late ones must not count twice
// (passes would end early, leaving holes). With none (bar the kick-off one,
// and no asking again) no End may follow and the job times out.
INSTANTIATE_TEST_SUITE_P(
    Loss, Transfer,
    ::testing::Values(LossCase{"ack5", {"--ack-loss", "5", "--seed", "11"}, "resent", 0, 1000},
                      LossCase{"ack20", {"--ack-loss", "20", "--seed", "11"}, "resent", 1, 1000},
                      LossCase{"ack50", {"--ack-loss", "50", "--seed", "11"}, "resent", 1, 1000},
                      LossCase{"blocks5", {"--drop-blocks", "5", "--seed", "5"}, "dropped", 1, 1000},
                      LossCase{"disorder", {"--dup-acks", "40", "--reorder-acks", "40"}, "resent", 0, 10},
                      LossCase{"ack100", {"--ack-loss", "100", "--retry", "60000", "--timeout", "8000"}, "ends", 0, 0,
                               TransferTimeout}),
    [](const auto& info) { return info.param.name; });
