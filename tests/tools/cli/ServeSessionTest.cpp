// SPDX-License-Identifier: MIT
// serve's decisions: which findings keep it from starting, when it releases
// finished jobs from the engine's table, and what ends it with which code.
#include "ServeSession.h"

#include <gtest/gtest.h>

using namespace brelvo_cli;
using brelvo::FindingId;
using brelvo::Severity;

TEST(ServeSession, PruningKeepsRoomAndLingeringDevices)
{
    const struct {
        int ended, lingering, table;
        bool prune;
    } cases[] = {
        {0, 0, 0, false},  {0, 0, 100, false},                   // nothing finished
        {1, 0, 1, true},   {1, 0, 100, true},                    // as soon as a job ended
        {3, 1, 10, false}, {0, 2, 49, false},                    // a silent device may come back
        {0, 1, 50, true},  {5, 2, 50, true},  {0, 1, 100, true}, // the table fills: room first
    };
    for (const auto& c : cases)
        EXPECT_EQ(shouldPrune(c.ended, c.lingering, c.table), c.prune)
            << c.ended << " " << c.lingering << " " << c.table;
}

TEST(ServeSession, OnlyAHeldPortLetsServeTryToStart)
{
    auto f = [](Severity s, FindingId id) {
        brelvo::Finding finding;
        finding.severity = s;
        finding.id = id;
        return finding;
    };
    EXPECT_FALSE(refusesSettings({}));
    EXPECT_FALSE(refusesSettings({f(Severity::Failure, FindingId::PortInUse)}));
    EXPECT_FALSE(refusesSettings({f(Severity::Failure, FindingId::PortProbeFailed),
                                  f(Severity::Warning, FindingId::SubnetShared)}));
    EXPECT_TRUE(refusesSettings({f(Severity::Failure, FindingId::PortInUse), f(Severity::Failure, FindingId::IcmpNone)}));
    EXPECT_TRUE(refusesSettings({f(Severity::Failure, FindingId::AddressNotLocal)}));
    EXPECT_FALSE(refusesSettings({f(Severity::Info, FindingId::AddressNotLocal)}));
}

TEST(ServeTally, ResultsLimitsAndIdleTime)
{
    // What ends serve and its exit code: results, --devices, --idle-exit.
    ServeTally none(0, 0, 1000);
    EXPECT_EQ(none.exitCode(), 0);             // nobody came: nothing failed
    EXPECT_FALSE(none.finished(1u << 30, 0));  // no limit, no idle exit: runs until stopped

    ServeTally t(3, 5000, 1000);
    t.jobsEnded(1, 0, 1, 1, 2200);  // the operator's stop is no result, nor another tool's device
    t.jobsEnded(1, 0, 1, 1, 4000);  // no change, no activity
    EXPECT_EQ(t.succeeded() * 1000 + t.failed() * 100 + t.stopped() * 10 + t.elsewhere(), 1011);
    EXPECT_EQ(t.exitCode(), 0);
    EXPECT_FALSE(t.finished(7199, 0));
    EXPECT_TRUE(t.finished(7200, 0));   // five seconds after the last thing that happened
    EXPECT_FALSE(t.finished(9000, 1));  // a job at work is never idle
    t.activity(8000);
    t.activity(100);  // an older time does not move the clock back
    EXPECT_FALSE(t.finished(12999, 0));
    EXPECT_TRUE(t.finished(13000, 0));

    ServeTally f(3, 0, 0);
    f.jobsEnded(1, 1, 5, 4, 2);  // stopped jobs reach no limit, nor do those of another tool
    EXPECT_EQ(f.exitCode(), 1);
    EXPECT_FALSE(f.finished(3, 0));
    f.jobsEnded(2, 1, 5, 4, 3);
    EXPECT_TRUE(f.finished(4, 2));  // the limit ends the run even with jobs at work
    // A report that lost rows outweighs a lost listener, which outweighs the devices.
    EXPECT_EQ(serveExitCode(EndReason::Idle, true, f), 1);
    EXPECT_EQ(serveExitCode(EndReason::ListenerLost, true, f), 3);
    EXPECT_EQ(serveExitCode(EndReason::ListenerLost, false, f), 4);
    EXPECT_EQ(serveExitCode(EndReason::Signal, false, t), 4);
    EXPECT_EQ(serveExitCode(EndReason::Signal, true, t), 0);  // served by another tool is no failure
}
