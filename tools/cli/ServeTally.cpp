// SPDX-License-Identifier: MIT
#include "ServeTally.h"

#include "CommandLine.h"
#include "record/JobStatus.h"

namespace brelvo_cli {

ServeTally::ServeTally(int deviceLimit, int64_t idleExitMs, int64_t startMs)
    : deviceLimit_(deviceLimit), idleExitMs_(idleExitMs), lastActivityMs_(startMs)
{
}

void ServeTally::jobEnded(uint64_t jobId, int status, int64_t nowMs)
{
    activity(nowMs);
    if (!ended_.insert(jobId).second)
        return;
    switch (brelvo::statusRow(status).outcome) {
    case brelvo::StatusOutcome::Succeeded: ++succeeded_; break;
    case brelvo::StatusOutcome::Stopped: ++stopped_; break;
    default: ++failed_; break;
    }
}

void ServeTally::activity(int64_t nowMs)
{
    if (nowMs > lastActivityMs_)
        lastActivityMs_ = nowMs;
}

bool ServeTally::finished(int64_t nowMs, int jobsAtWork) const
{
    if (deviceLimit_ > 0 && succeeded_ + failed_ >= deviceLimit_)
        return true;
    return idleExitMs_ > 0 && jobsAtWork == 0 && nowMs - lastActivityMs_ >= idleExitMs_;
}

int ServeTally::exitCode() const { return failed_ > 0 ? kExitWarnings : kExitOk; }

} // namespace brelvo_cli
