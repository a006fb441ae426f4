// SPDX-License-Identifier: MIT
#include "ServeTally.h"

#include "CommandLine.h"

namespace brelvo_cli {

ServeTally::ServeTally(int deviceLimit, int64_t idleExitMs, int64_t startMs)
    : deviceLimit_(deviceLimit), idleExitMs_(idleExitMs), lastActivityMs_(startMs)
{
}

void ServeTally::jobsEnded(int succeeded, int failed, int stopped, int elsewhere, int64_t nowMs)
{
    if (succeeded == succeeded_ && failed == failed_ && stopped == stopped_ && elsewhere == elsewhere_)
        return;
    succeeded_ = succeeded, failed_ = failed, stopped_ = stopped, elsewhere_ = elsewhere;
    activity(nowMs);
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
