// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <set>

namespace brelvo_cli {

// What `brelvo-cli serve` counts while it runs: the devices that reached a
// result, and when the run should end (--devices, --idle-exit). Fed by the
// front-end's event loop; knows nothing of the server itself.
class ServeTally {
public:
    // `deviceLimit` 0: no limit; `idleExitMs` 0: never idle out. The run
    // counts as active from `startMs` on.
    ServeTally(int deviceLimit, int64_t idleExitMs, int64_t startMs);

    // A job ended with `status`, counted by the status's outcome; once per
    // job, however often its end is reported.
    void jobEnded(uint64_t jobId, int status, int64_t nowMs);
    // Anything a device did (request, block, progress) at `nowMs`.
    void activity(int64_t nowMs);

    // True once the device limit is reached, or when no job is at work and
    // nothing happened for the idle time.
    bool finished(int64_t nowMs, int jobsAtWork) const;

    int succeeded() const { return succeeded_; }
    int failed() const { return failed_; }
    int stopped() const { return stopped_; }
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
    std::set<uint64_t> ended_;
};

} // namespace brelvo_cli
