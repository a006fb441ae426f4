// SPDX-License-Identifier: MIT
// serve's progress lines: one per tenth of the block phase and of the
// device's writing, whatever the table does between two looks.
#include "ProgressLog.h"
#include "record/JobStatus.h"

#include <gtest/gtest.h>

using namespace brelvo_cli;

TEST(ProgressLog, OneLinePerTenth)
{
    auto job = [](uint64_t id, int status, int progress, bool finished = false) {
        brelvo::JobSnapshot s;
        s.id = id;
        s.status = status;
        s.progress = progress;
        s.finished = finished;
        return s;
    };
    using brelvo::SendingBlocks;
    // The table as the loop sees it tick by tick, and the lines it prints.
    const struct {
        std::vector<brelvo::JobSnapshot> table;
        std::vector<std::pair<uint64_t, int>> lines;
    } ticks[] = {
        {{job(1, brelvo::OfferSent, 0), job(2, SendingBlocks, 0)}, {}},
        {{job(1, SendingBlocks, 9), job(2, SendingBlocks, 10)}, {{2, 10}}},
        {{job(1, SendingBlocks, 35), job(2, SendingBlocks, 19)}, {{1, 35}}},        // 10 and 20 skipped: one line
        {{job(1, SendingBlocks, 12), job(2, SendingBlocks, 20)}, {{2, 20}}},        // a phase started again
        {{job(1, SendingBlocks, 39), job(2, brelvo::DeviceWriting, 50)}, {}},
        {{job(1, SendingBlocks, 100), job(2, brelvo::TransferTimeout, 0, true)}, {{1, 100}}},
        {{job(1, SendingBlocks, 100, true)}, {}},                                   // finished: nothing more
        {{job(2, SendingBlocks, 25)}, {{2, 25}}},   // job 2 left the table and came back: forgotten
        {{job(7, SendingBlocks, -5), job(8, SendingBlocks, 250)}, {{8, 250}}},      // out of range
        {{job(8, SendingBlocks, 100)}, {}},
    };
    ProgressLog log;
    int n = 0;
    for (const auto& t : ticks) {
        std::vector<std::pair<uint64_t, int>> got;
        for (const brelvo::JobSnapshot& s : log.sendingSteps(t.table))
            got.emplace_back(s.id, s.progress);
        EXPECT_EQ(got, t.lines) << "tick " << n++;
    }

    // Writing: the first report, then each new tenth.
    const std::pair<int64_t, bool> writing[] = {{0, true}, {5, false}, {10, true}, {19, false}, {45, true},
                                                {40, false}, {99, true}, {100, true}, {100, false}};
    for (const auto& w : writing)
        EXPECT_EQ(log.writingStep(5, w.first), w.second) << w.first;
    log.forget(5);
    EXPECT_TRUE(log.writingStep(5, 100));  // a job forgotten starts over
}
