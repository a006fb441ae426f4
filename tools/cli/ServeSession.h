// SPDX-License-Identifier: MIT
#pragma once

#include "CommandLine.h"
#include "ProgressLog.h"
#include "ServeLines.h"
#include "ServeOutput.h"
#include "ServeTally.h"

#include "check/Finding.h"
#include "job/JobSnapshot.h"
#include "platform/StopRequests.h"
#include "record/Event.h"

#include <cstdint>
#include <map>
#include <set>
#include <vector>

namespace brelvo {
class UpdateServer;
}

namespace brelvo_cli {

// Whether to release finished jobs from the engine's table of 100: a station
// serving all day must never fill it, yet a job `lingering` (silent in the
// block phase) may still come back. So at once when one `ended` and nothing
// lingers; whatever lingers, once the table is half full.
bool shouldPrune(int ended, int lingering, int tableSize);

// `brelvo-cli serve`: checks the settings as `check` does and refuses them
// on a failure (exit 2), makes sure the report file can be written, then
// serves with the engine's own console muted. Exit codes as in CommandLine.h.
int runServe(const ServeOptions& options);

// Whether the check's findings refuse serve's settings: any failure but a
// port held by another program, which fails the start itself (exit 3).
bool refusesSettings(const std::vector<brelvo::Finding>& findings);

// serve's exit code: a report that lost rows first (the station's record is
// what cannot be had again), then a lost listener, then the devices' results.
int serveExitCode(EndReason reason, bool reportComplete, const ServeTally& tally);

// One run of `brelvo-cli serve` after the check: serves, prints what happens,
// keeps the table clear; ends on a limit, a signal or a lost listener.
class ServeSession {
public:
    // `out` and `err` take the lines and the error messages.
    ServeSession(const ServeOptions& options, int out, int err);

    // The exit code.
    int run(brelvo::StopRequests& signals);

private:
    // Serves until a limit, a signal (its number in `signal`) or a lost listener.
    EndReason serveUntilEnd(brelvo::UpdateServer& server, const brelvo::StopRequests& signals, int* signal);
    void tick(brelvo::UpdateServer& server, bool stopping);
    void takeEvent(const brelvo::Event& event);
    void takeTable(brelvo::UpdateServer& server, const std::vector<brelvo::JobSnapshot>& table, bool stopping);
    void drawStatus(const std::vector<brelvo::JobSnapshot>& atWork);
    // Stops the server and waits (a little) for every job's end and row:
    // true when every device's row is on disk.
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
