// SPDX-License-Identifier: MIT
#pragma once

#include "ProgressLog.h"
#include "ServeLines.h"
#include "ServeOptions.h"
#include "ServeOutput.h"
#include "ServeTally.h"
#include "SignalWatcher.h"

#include "job/JobSnapshot.h"
#include "record/Event.h"

#include <cstdint>
#include <map>
#include <set>
#include <vector>

namespace brelvo {
class UpdateServer;
}

namespace brelvo_cli {

// Whether finished jobs are to be released from the engine's table (at most
// 100 jobs; a released job gives its lent address back). `ended` jobs have
// their result; `lingering` ones are finished but may still come back (a
// device silent in the block phase that answers again). A station that runs
// all day must never fill the table, and waves of devices can bring dozens
// of requests between two looks at it: so as soon as a job ended while
// nothing lingers, and, whatever lingers, once the table is half full.
bool shouldPrune(int ended, int lingering, int tableSize);

// One run of `brelvo-cli serve` after the check: starts the engine's server,
// prints what happens, keeps the table clear, and ends on a limit, a signal
// or a listener that ended on its own. Returns the exit code.
class ServeSession {
public:
    // `out` and `err` take the lines and the error messages.
    ServeSession(const ServeOptions& options, int out, int err);

    // Serves until a limit is reached, the listener ends, or `signals`
    // says a signal asked to stop.
    int run(const SignalWatcher& signals);

private:
    void tick(brelvo::UpdateServer& server, bool stopping);
    void takeEvent(const brelvo::Event& event);
    void takeTable(brelvo::UpdateServer& server, const std::vector<brelvo::JobSnapshot>& table, bool stopping);
    void drawStatus(const std::vector<brelvo::JobSnapshot>& atWork);
    // Stops the server and waits (a little) for every job's end and row.
    bool finishRun(brelvo::UpdateServer& server);
    bool ended(const brelvo::JobSnapshot& job) const;
    static int64_t nowMs();

    ServeOptions options_;
    int errFd_;
    ServeOutput out_;
    ServeTally tally_;
    ProgressLog progress_;
    std::vector<brelvo::Event> events_;
    std::set<uint64_t> resultSeen_;           // jobs in the table whose JobResult came
    std::map<uint64_t, std::pair<int, int>> lastSeen_; // status and progress at the last look
    int atWork_ = 0;
    bool sweepDone_ = false;
    uint64_t droppedShown_ = 0;
    std::string reportShown_;
};

} // namespace brelvo_cli
