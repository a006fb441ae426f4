// SPDX-License-Identifier: MIT
// Updates over a lossy, duplicating and reordering path arrive byte for byte
// with code 9. (A device that acknowledges nothing: the block phase of
// FieldSafety.SilentDevicesEndWithTimeoutInEveryPhase.)

#include "IntegrationHelpers.h"

#include <regex>

using namespace brelvo_it;

struct LossCase {
    std::string name;
    std::vector<std::string> devsimOptions;
    std::string counter; // simulator report field that must lie in [low, high]
    long low, high;
};
void PrintTo(const LossCase& c, std::ostream* o) { *o << c.name; }

class Transfer : public ::testing::TestWithParam<LossCase> {};

TEST_P(Transfer, EndsInItsCode)
{
    BRELVO_REQUIRE_NETNS(env);
    LossCase c = GetParam();
    FirmwareFolder fw(300 * 1024 + 17, "kvx_ABCDEFG_V1", 7); // 301 blocks, the last one short
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
    Server server(fw, env, "", OptionUpdateBoot | OptionEraseBoot);
    c.devsimOptions.insert(c.devsimOptions.end(), {"--bind", env.devAddrs[0], "--port", "47000", "--expect-image",
                                                   fw.imagePath, "--expect-options", "3"});
    const auto run = brelvo_test::runDevsim(env, c.devsimOptions);
    EXPECT_EQ(run.exitCode, 0) << run.output; // bytes as expected, no violation
    auto job = server.waitJob(0, DeviceWriteComplete, 10s);
    ASSERT_TRUE(job) << "never reached code 9";
    EXPECT_TRUE(job->isFinished() && job->progress() == 100);
    EXPECT_LE(job->acknowledgedBlocks(), job->blockTotal()) << "an acknowledgement counted twice";
    std::smatch m;
    const std::string wire = onWire ? nft({"list", "table", "inet", "brelvo_loss"}).output : "";
    const auto report = brelvo_test::devsimReport(run.output, 0);
    const std::string count = !onWire ? (report.count(c.counter) ? report.at(c.counter) : "")
                              : std::regex_search(wire, m, std::regex("counter packets (\\d+)")) ? m[1].str() : "";
    ASSERT_FALSE(count.empty()) << run.output << wire;
    EXPECT_TRUE(std::stol(count) >= c.low && std::stol(count) <= c.high) << c.counter << ": " << count;
    server.stop(); // the record stays readable after the server winds down
    EXPECT_EQ(job->statusCode(), DeviceWriteComplete);
}

// Lost acks must cause re-sends; duplicated or late ones must not count twice
// (passes would end early, leaving holes).
INSTANTIATE_TEST_SUITE_P(Loss, Transfer,
                         ::testing::Values(LossCase{"ack5", {"--ack-loss", "5", "--seed", "11"}, "resent", 0, 1000},
                                           LossCase{"ack20", {"--ack-loss", "20", "--seed", "11"}, "resent", 1, 1000},
                                           LossCase{"ack50", {"--ack-loss", "50", "--seed", "11"}, "resent", 1, 1000},
                                           LossCase{"blocks5", {"--drop-blocks", "5", "--seed", "5"}, "dropped", 1, 1000},
                                           LossCase{"disorder", {"--dup-acks", "40", "--reorder-acks", "40"}, "resent", 0, 10}),
                         [](const auto& info) { return info.param.name; });
