// SPDX-License-Identifier: MIT
// Every option of the simulator refuses a value it cannot use with a message
// naming the option, so a test script that asks for the wrong behaviour fails
// loudly instead of playing a different device.

#include "DevsimOptions.h"
#include "ExpectedText.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace devsim;

namespace {
std::vector<std::string> withBase(std::vector<std::string> extra)
{
    std::vector<std::string> a{"--product", "ABCDEFG", "--tool", "10.213.7.1"};
    a.insert(a.end(), extra.begin(), extra.end());
    return a;
}
} // namespace

// Each refused command line with its message, one per line in
// expected/refused-options.txt.
TEST(DevsimOptions, RefusesWhatItCannotPlay)
{
    const std::vector<std::string> cases[] = {
        withBase({"--lose-size", "-1"}), withBase({"--lose-size", "x"}), withBase({"--lose-size"}),
        withBase({"--ack-stall-after", "0", "--ack-stall-ms", "10"}), withBase({"--ack-stall-after", "5"}),
        withBase({"--ack-stall-ms", "5"}), withBase({"--ack-stall-after", "5", "--ack-stall-ms", "0"}),
        withBase({"--min-gap-us", "0"}), withBase({"--min-gap-us=2000000"}), withBase({"--expect-config", "none"}),
        withBase({"--expect-config", "cfg.bin"}), withBase({"--expect-config="}), withBase({"--expect-image="}),
        withBase({"--save-image", ""}), withBase({"--expect-no-offer", "--stop-after", "offer"}),
        withBase({"--hold-port", "3281"}), {"--hold-port", "0"}, {"--hold-port", "65536"}, {"--hold-seconds", "5"},
        {"--hold-port", "3281", "--hold-seconds", "0"}, withBase({"--cpu-report=yes"}), withBase({"--expect-no-offer=1"}),
    };
    std::string printed;
    for (const auto& args : cases) {
        DevsimOptions o;
        std::string error;
        const bool taken = parseDevsimOptions(args, o, error);
        for (const auto& a : args)
            printed += a + " ";
        printed += "-> " + (taken ? "taken" : error) + "\n";
    }
    const std::string diff = brelvo_test::expectedFileDiff(BRELVO_EXPECTED_DIR "/refused-options.txt", printed);
    EXPECT_TRUE(diff.empty()) << diff;
}

TEST(DevsimOptions, TakesTheNewBehaviours)
{
    DevsimOptions o;
    std::string error;
    ASSERT_TRUE(parseDevsimOptions(withBase({"--expect-image", "a.bin", "--expect-config", "c.cfg", "--lose-size", "2",
                                             "--ack-stall-after=100", "--ack-stall-ms", "3000", "--min-gap-us", "900",
                                             "--cpu-report"}),
                                   o, error))
        << error;
    EXPECT_EQ(std::make_tuple(o.expectConfigPath, o.session.expectNoConfig, o.session.loseSize, o.session.ackStallAfter,
                              o.session.ackStallMs, o.session.minGapUs, o.cpuReport),
              std::make_tuple(std::string("c.cfg"), false, 2, 100u, 3000, 900, true));
    ASSERT_TRUE(parseDevsimOptions(withBase({"--expect-image", "a.bin", "--expect-config", "none"}), o, error));
    EXPECT_TRUE(o.session.expectNoConfig && o.expectConfigPath.empty());

    ASSERT_TRUE(parseDevsimOptions({"--hold-port", "3281", "--hold-seconds", "30"}, o, error)) << error;
    EXPECT_EQ(o.holdPort * 100 + o.holdSeconds, 328130);
}
