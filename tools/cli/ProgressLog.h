// SPDX-License-Identifier: MIT
#pragma once

#include "job/JobSnapshot.h"

#include <cstdint>
#include <map>
#include <vector>

namespace brelvo_cli {

// Which progress a log (not a terminal) shows: a line per device per tenth
// of a phase, so many devices do not flood a journal. The block phase comes
// from the table (no event per block), the writing from DeviceWriting events.
class ProgressLog {
public:
    // The jobs whose block phase reached a tenth (10 %, 20 %, ...) it had not
    // reached before, each once with the percent it has now. Jobs no longer
    // in `table` are forgotten.
    std::vector<brelvo::JobSnapshot> sendingSteps(const std::vector<brelvo::JobSnapshot>& table);
    // A DeviceWriting event of `jobId` at `percent`: true for the job's first
    // one and for each that reaches a new tenth.
    bool writingStep(uint64_t jobId, int64_t percent);
    // The job ended.
    void forget(uint64_t jobId);

private:
    std::map<uint64_t, int> sentTenth_;
    std::map<uint64_t, int> writtenTenth_;
};

} // namespace brelvo_cli
