// SPDX-License-Identifier: MIT
#include "ProgressLog.h"

#include "record/JobStatus.h"

#include <algorithm>
#include <set>

namespace brelvo_cli {

namespace {

int tenth(int64_t percent) { return static_cast<int>(std::min<int64_t>(std::max<int64_t>(percent, 0), 100) / 10); }

} // namespace

std::vector<brelvo::JobSnapshot> ProgressLog::sendingSteps(const std::vector<brelvo::JobSnapshot>& table)
{
    std::vector<brelvo::JobSnapshot> steps;
    std::set<uint64_t> present;
    for (const brelvo::JobSnapshot& job : table) {
        present.insert(job.id);
        if (job.finished || job.status != brelvo::SendingBlocks)
            continue;
        // 0 % is what the block phase's own line says.
        int& shown = sentTenth_.emplace(job.id, 0).first->second;
        const int reached = tenth(job.progress);
        if (reached > shown) {
            shown = reached;
            steps.push_back(job);
        }
    }
    for (auto it = sentTenth_.begin(); it != sentTenth_.end();)
        it = present.count(it->first) ? std::next(it) : sentTenth_.erase(it);
    return steps;
}

bool ProgressLog::writingStep(uint64_t jobId, int64_t percent)
{
    const auto found = writtenTenth_.find(jobId);
    const int reached = tenth(percent);
    if (found == writtenTenth_.end()) {
        writtenTenth_.emplace(jobId, reached);
        return true;
    }
    if (reached <= found->second)
        return false;
    found->second = reached;
    return true;
}

void ProgressLog::forget(uint64_t jobId)
{
    sentTenth_.erase(jobId);
    writtenTenth_.erase(jobId);
}

} // namespace brelvo_cli
