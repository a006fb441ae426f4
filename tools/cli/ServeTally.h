// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace brelvo_cli {

// What `brelvo-cli serve` counts while it runs: the devices that reached a
// result, and when the run should end (--devices, --idle-exit). Fed by the
// front-end's loop with the server's count of ended jobs; knows nothing of
// the server itself.
class ServeTally {
public:
    // `deviceLimit` 0: no limit; `idleExitMs` 0: never idle out. The run
    // counts as active from `startMs` on.
    ServeTally(int deviceLimit, int64_t idleExitMs, int64_t startMs);

    // So many jobs have ended so far, by outcome; a change at `nowMs` is
    // activity.
    void jobsEnded(int succeeded, int failed, int stopped, int elsewhere, int64_t nowMs);
    // Anything a device did (request, block, progress) at `nowMs`.
    void activity(int64_t nowMs);

    // True once the device limit is reached, or when no job is at work and
    // nothing happened for the idle time.
    bool finished(int64_t nowMs, int jobsAtWork) const;

    int succeeded() const { return succeeded_; }
    int failed() const { return failed_; }
    int stopped() const { return stopped_; }
    // Devices that took another tool's Offer: neither success nor failure here.
    int elsewhere() const { return elsewhere_; }
    // 0 when every device with a result succeeded (also when none came), 1
    // when one failed or timed out.
    int exitCode() const;

private:
    int deviceLimit_;
    int64_t idleExitMs_;
    int64_t lastActivityMs_;
    int succeeded_ = 0;
    int failed_ = 0;
    int stopped_ = 0;
    int elsewhere_ = 0;
};

} // namespace brelvo_cli
