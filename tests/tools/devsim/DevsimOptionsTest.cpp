// SPDX-License-Identifier: MIT
// Every option of the simulator refuses a value it cannot use with a message
// naming the option, so a test script that asks for the wrong behaviour fails
// loudly instead of playing a different device.

#include "DevsimOptions.h"

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

TEST(DevsimOptions, RefusesWhatItCannotPlay)
{
    struct Case {
        std::vector<std::string> args;
        const char* error; // must appear in the message
    };
    const std::vector<Case> cases = {
        {withBase({"--lose-size", "-1"}), "--lose-size wants a number from 0 to 1000"},
        {withBase({"--lose-size", "x"}), "--lose-size wants a number"},
        {withBase({"--lose-size"}), "--lose-size needs a value"},
        {withBase({"--ack-stall-after", "0", "--ack-stall-ms", "10"}), "--ack-stall-after wants a number from 1"},
        {withBase({"--ack-stall-after", "5"}), "--ack-stall-after needs --ack-stall-ms"},
        {withBase({"--ack-stall-ms", "5"}), "--ack-stall-ms needs --ack-stall-after"},
        {withBase({"--ack-stall-after", "5", "--ack-stall-ms", "0"}), "--ack-stall-ms wants a number from 1"},
        {withBase({"--min-gap-us", "0"}), "--min-gap-us wants a number from 1"},
        {withBase({"--min-gap-us=2000000"}), "--min-gap-us wants a number from 1 to 1000000"},
        {withBase({"--expect-config", "none"}), "--expect-config needs --expect-image"},
        {withBase({"--expect-config", "cfg.bin"}), "--expect-config needs --expect-image"},
        {withBase({"--expect-config="}), "--expect-config wants a file name or 'none'"},
        {withBase({"--expect-image="}), "--expect-image wants a file name"},
        {withBase({"--save-image", ""}), "--save-image wants a file name"},
        {withBase({"--expect-no-offer", "--stop-after", "offer"}), "--expect-no-offer and --stop-after"},
        {withBase({"--hold-port", "3281"}), "--hold-port plays no device"},
        {{"--hold-port", "0"}, "--hold-port wants a number from 1 to 65535"},
        {{"--hold-port", "65536"}, "--hold-port wants a number from 1 to 65535"},
        {{"--hold-seconds", "5"}, "--hold-seconds only goes with --hold-port"},
        {{"--hold-port", "3281", "--hold-seconds", "0"}, "--hold-seconds wants a number from 1"},
        {withBase({"--cpu-report=yes"}), "--cpu-report takes no value"},
        {withBase({"--expect-no-offer=1"}), "--expect-no-offer takes no value"},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        DevsimOptions o;
        std::string error;
        EXPECT_FALSE(parseDevsimOptions(c.args, o, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
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
