// SPDX-License-Identifier: MIT
// What ends serve and its exit code: results, --devices, --idle-exit.
#include "ServeTally.h"
#include "record/JobStatus.h"

#include <gtest/gtest.h>

using namespace brelvo_cli;

TEST(ServeTally, ResultsLimitsAndIdleTime)
{
    ServeTally none(0, 0, 1000);
    EXPECT_EQ(none.exitCode(), 0);             // nobody came: nothing failed
    EXPECT_FALSE(none.finished(1u << 30, 0));  // no limit, no idle exit: runs until stopped

    ServeTally t(3, 5000, 1000);
    t.jobEnded(1, brelvo::DeviceWriteComplete, 2000);
    t.jobEnded(1, brelvo::DeviceWriteComplete, 2100);  // reported twice, counted once
    t.jobEnded(2, brelvo::Stopped, 2200);              // the operator's stop is no result
    t.jobEnded(2, brelvo::DeviceWriteComplete, 2200);  // a job ends once: the first word stands
    EXPECT_EQ(t.succeeded() * 100 + t.failed() * 10 + t.stopped(), 101);
    EXPECT_EQ(t.exitCode(), 0);
    EXPECT_FALSE(t.finished(7199, 0));
    EXPECT_TRUE(t.finished(7200, 0));   // five seconds after the last thing that happened
    EXPECT_FALSE(t.finished(9000, 1));  // a job at work is never idle
    t.activity(8000);
    t.activity(100);  // an older time does not move the clock back
    EXPECT_FALSE(t.finished(12999, 0));
    EXPECT_TRUE(t.finished(13000, 0));

    for (int status : {brelvo::DeviceCheckFailed, brelvo::TransferTimeout}) {
        ServeTally f(3, 0, 0);
        f.jobEnded(9, brelvo::Stopped, 1);  // stopped jobs reach no limit
        f.jobEnded(10, brelvo::DeviceWriteComplete, 1);
        f.jobEnded(11, status, 2);
        EXPECT_EQ(f.exitCode(), 1) << status;
        EXPECT_FALSE(f.finished(3, 0));
        f.jobEnded(12, brelvo::DeviceWriteComplete, 3);
        EXPECT_TRUE(f.finished(4, 2));  // the limit ends the run even with jobs at work
    }
}
