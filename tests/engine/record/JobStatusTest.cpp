// SPDX-License-Identifier: MIT
// What each status code means to the window's colours, the events' severity
// and brelvo-cli's tally, grouped by what happened to the device. (Its texts:
// the resources test holds them against the English catalogue.)
#include "record/EventFormat.h"
#include "record/JobStatus.h"

#include <gtest/gtest.h>

#include <climits>

using namespace brelvo;

TEST(JobStatus, EachCodeCountsAsWhatHappened)
{
    using O = StatusOutcome;
    using S = Severity;
    // The codes, their outcome, whether final, and the severity of a job's result event.
    const struct { std::vector<int> codes; O outcome; bool final; Severity severity; } groups[] = {
        {{Accepted, OfferSent, 2, SizeSent, 4, SendingBlocks, 6, DeviceWriting}, O::InProgress, false, S::Failure},
        {{DeviceWriteComplete}, O::Succeeded, true, S::Info},  // only the device's word is success
        {{DeviceCheckFailed, DeviceWriteFailed, NetError, ModelMismatch, FileError}, O::Failed, true, S::Failure},
        {{TransferTimeout}, O::Failed, false, S::Failure},     // silent: it may answer again
        {{Stopped}, O::Stopped, true, S::Warning},             // the operator's stop: no result
        {{ServedElsewhere}, O::Elsewhere, true, S::Info},      // its result is another tool's
        {{-1, 17, INT_MIN, INT_MAX}, O::Failed, false, S::Failure},
    };
    for (const auto& g : groups) {
        for (int code : g.codes) {
            Event result;
            result.kind = EventKind::JobResult, result.code = code;
            EXPECT_EQ(statusRow(code).outcome, g.outcome) << code;
            EXPECT_EQ(statusRow(code).final, g.final) << code;
            EXPECT_EQ(severityOf(result), g.severity) << code;
        }
    }
}
