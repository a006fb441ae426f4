// SPDX-License-Identifier: MIT
#pragma once

#include "job/JobSnapshot.h"
#include "record/Event.h"

#include <cstdint>
#include <string>

namespace brelvo_cli {

// serve's lines, without line ends: "<ISO local time> <message>" for a log,
// "<hh:mm:ss> <message>" for a terminal (more fits 80 columns), or one JSON
// object shaped as the engine's events (time, event, severity first).
enum class LineForm { Log, Terminal, Json };

// An engine event. Text names a job by its id ("job 17"), which holds for the
// whole run, unlike its table row; JSON is the engine's own line.
std::string eventLine(const brelvo::Event& event, LineForm form);

// A job's block phase reached `job.progress` percent (acknowledged blocks).
// JSON: {"time","event":"progress","severity":"info","job","device","mac" (once known),"code","status","value"}.
std::string progressLine(const brelvo::JobSnapshot& job, int64_t wallMs, LineForm form);

// The run report's file became known.
std::string reportLine(const std::string& path, int64_t wallMs, LineForm form);

// The engine's event queue overflowed: `dropped` events in all were lost.
std::string droppedLine(uint64_t dropped, int64_t wallMs, LineForm form);

// Why serving ended.
enum class EndReason { DeviceLimit, Idle, Signal, ListenerLost };

struct ServeEnd {
    EndReason reason = EndReason::Signal;
    int signal = 0;        // with EndReason::Signal
    int deviceLimit = 0;   // --devices
    int idleSeconds = 0;   // --idle-exit
    int succeeded = 0;
    int failed = 0;
    int stopped = 0;       // ended by the stop, no result
    int elsewhere = 0;     // took another tool's Offer
    std::string report;    // empty: none
    bool reportComplete = true; // every row reached the file
    int exitCode = 0;
    std::string station;   // this machine's host name
};

// The last line of a run.
// JSON: {"time","event":"serve_ended","severity","reason":"devices|idle|signal|listener",
//        "signal" (only for a signal),"succeeded","failed","stopped","elsewhere","report","report_complete",
//        "exit","station"}. Text names the devices served by another tool only when there are some.
std::string endLine(const ServeEnd& end, int64_t wallMs, LineForm form);

// Why the server did not start, for standard error after "cannot start: ".
// A port held by someone else gets a hint how to find who.
std::string startFailureText(const std::string& why, int error);

// "SIGTERM", "SIGINT", "SIGHUP", or "signal N".
std::string signalName(int signal);

} // namespace brelvo_cli
