// SPDX-License-Identifier: MIT
#include "ServeSession.h"

#include "CheckCommand.h"
#include "platform/Clock.h"
#include "platform/AppendFile.h"
#include "platform/Console.h"
#include "platform/ErrorText.h"
#include "platform/HostName.h"
#include "platform/WallClock.h"
#include "record/JobStatus.h"
#include "record/TextSafety.h"
#include "server/ServerSettings.h"
#include "server/UpdateServer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace brelvo_cli {

namespace {

constexpr int kTickMs = 100;
constexpr int kCrowdedTable = brelvo::UpdateServer::kMaxJobs / 2;
// How long a stop waits for the jobs' ends before the server is taken
// down anyway (its destruction ends whatever is left).
constexpr int64_t kStopWaitMs = 1500;

void writeAll(int fd, const std::string& text)
{
    const auto ignored = ::write(fd, text.data(), static_cast<unsigned>(text.size()));
    (void)ignored;
}

// Said before a second stop request ends the process.
void sayExitingAtOnce(int signo)
{
    writeAll(2, "\nbrelvo-cli: serve: " + signalName(signo) +
                    " while stopping: exiting at once; devices still ending get no report row\n");
}

// The findings go to standard output, the run's log: the journal keeps them
// for a service.
void printFindings(const std::vector<brelvo::Finding>& findings, bool json)
{
    for (const brelvo::Finding& f : findings) {
        const std::string text = json ? "{\"event\":\"finding\",\"finding\":" + findingAsJson(f) + "}\n"
                                      : findingAsText(f);
        std::fputs(text.c_str(), stdout);
    }
    std::fflush(stdout);
}

// The report is appended to, so a station keeps one file across runs; it
// must be writable before any device is served.
bool reportWritable(const std::string& path, std::string& error)
{
    brelvo::AppendFile file;
    if (const int code = file.open(path, brelvo::AppendFile::Mode::OpenOrCreate)) {
        error = brelvo::errorTextEnglish(code);
        return false;
    }
    return true;
}

} // namespace

bool shouldPrune(int ended, int lingering, int tableSize)
{
    if (ended + lingering == 0)
        return false;
    return lingering == 0 || tableSize >= kCrowdedTable;
}

int serveExitCode(EndReason reason, bool reportComplete, const ServeTally& tally)
{
    if (!reportComplete)
        return kExitReportIncomplete;
    return reason == EndReason::ListenerLost ? kExitStartFailed : tally.exitCode();
}

bool refusesSettings(const std::vector<brelvo::Finding>& findings)
{
    for (const brelvo::Finding& f : findings) {
        // A port held by someone else is the start's failure (exit 3), which
        // a service tries again: the other program may go away.
        if (f.severity == brelvo::Severity::Failure && f.id != brelvo::FindingId::PortInUse &&
            f.id != brelvo::FindingId::PortProbeFailed)
            return true;
    }
    return false;
}

int runServe(const ServeOptions& options)
{
    const std::vector<brelvo::Finding> findings = checkRunSettings(options);
    printFindings(findings, options.json);
    if (refusesSettings(findings)) {
        std::fprintf(stderr, "brelvo-cli: serve: refusing to start: the check above found a failure\n");
        return kExitRefused;
    }
    std::string error;
    if (!options.reportPath.empty() && !reportWritable(options.reportPath, error)) {
        std::fprintf(stderr, "brelvo-cli: serve: --report '%s' cannot be written: %s\n",
                     brelvo::displayText(options.reportPath).c_str(), error.c_str());
        return kExitRefused;
    }

    // A reader that went away must not end serving: a write then fails
    // with EPIPE and serving goes on.
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // The engine's own lines ("running...", "write:N, cnt=M" per progress
    // message) would break --json and flood a journal: serve prints its own.
    brelvo::setConsoleSink([](brelvo::ConsoleChannel, const std::string&) {});
    // Before the server makes any thread: they all inherit the blocked signals.
    brelvo::StopRequests signals;
    if (!signals.start(sayExitingAtOnce, error)) {
        std::fprintf(stderr, "brelvo-cli: serve: cannot start: %s\n", error.c_str());
        return kExitStartFailed;
    }
    ServeSession session(options, STDOUT_FILENO, STDERR_FILENO);
    return session.run(signals);
}

ServeSession::ServeSession(const ServeOptions& options, int out, int err)
    : options_(options),
      errFd_(err),
      out_(out, err, ServeOutput::choose(out, options.json)),
      tally_(options.devices, static_cast<int64_t>(options.idleExitSeconds) * 1000, nowMs())
{
}

int64_t ServeSession::nowMs() { return brelvo::monotonicNs() / 1000000; }

bool ServeSession::ended(const brelvo::JobSnapshot& job) const
{
    return resultSeen_.count(job.id) || (job.finished && brelvo::statusRow(job.status).final);
}

int ServeSession::run(brelvo::StopRequests& signals)
{
    brelvo::ServerSettings settings;
    settings.firmwareDir = options_.firmwareDir;
    settings.configPath = options_.configPath;
    settings.localAddress = options_.address;
    settings.options = serveWriteOptions(options_);
    settings.writeReport = true;
    settings.reportPath = options_.reportPath;

    ServeEnd end;
    end.deviceLimit = options_.devices;
    end.idleSeconds = options_.idleExitSeconds;
    {
        brelvo::UpdateServer server;
        if (server.start(settings) != 0) {
            tick(server, true);
            out_.finish();
            writeAll(errFd_, "brelvo-cli: serve: cannot start: " +
                                 startFailureText(server.startError(), server.startErrno()) + "\n");
            return kExitStartFailed;
        }
        tally_ = ServeTally(options_.devices, static_cast<int64_t>(options_.idleExitSeconds) * 1000, nowMs());
        end.reason = serveUntilEnd(server, signals, &end.signal);
        end.reportComplete = finishRun(server);
        end.report = server.reportPath();
        // The server's destruction joins its threads and ends whatever is
        // left: only after it are the tally and the report final.
    }
    end.succeeded = tally_.succeeded();
    end.failed = tally_.failed();
    end.stopped = tally_.stopped();
    end.elsewhere = tally_.elsewhere();
    end.exitCode = serveExitCode(end.reason, end.reportComplete, tally_);
    end.station = brelvo::hostName();
    // A second signal may be ending the process with another status: then
    // no end line at all rather than one that states a wrong one.
    if (const int ending = signals.settle())
        return ending;
    out_.finish();
    out_.line(endLine(end, brelvo::unixTimeMs(), out_.form()));
    if (end.reason == EndReason::ListenerLost)
        writeAll(errFd_, "brelvo-cli: serve: the listener on UDP port 3281 ended on its own; serving stopped\n");
    return end.exitCode;
}

EndReason ServeSession::serveUntilEnd(brelvo::UpdateServer& server, const brelvo::StopRequests& signals,
                                       int* signal)
{
    for (;;) {
        if (signals.wait(kTickMs)) {
            *signal = signals.signal();
            return EndReason::Signal;
        }
        tick(server, false);
        // The address sweep is work too: nothing else happens meanwhile.
        if (tally_.finished(nowMs(), atWork_ + (sweepDone_ ? 0 : 1)))
            return tally_.succeeded() + tally_.failed() >= options_.devices && options_.devices > 0
                       ? EndReason::DeviceLimit
                       : EndReason::Idle;
        if (!server.listenerRunning())
            return EndReason::ListenerLost;
    }
}

bool ServeSession::finishRun(brelvo::UpdateServer& server)
{
    server.stop();
    const int64_t deadline = nowMs() + kStopWaitMs;
    bool allEnded = false;
    for (;;) {
        tick(server, true);
        allEnded = atWork_ == 0 && server.activeTransfers() == 0;
        if (allEnded || nowMs() >= deadline)
            break;
        brelvo::sleepMilliseconds(10);
    }
    // A device still ending when the server goes may get no row.
    const bool complete = server.flushReports() && allEnded;
    tick(server, true); // a report that failed says so
    return complete;
}

void ServeSession::tick(brelvo::UpdateServer& server, bool stopping)
{
    events_.clear();
    server.takeEvents(events_);
    for (const brelvo::Event& e : events_)
        takeEvent(e);
    const uint64_t dropped = server.droppedEvents();
    if (dropped != droppedShown_) {
        droppedShown_ = dropped;
        out_.line(droppedLine(dropped, brelvo::unixTimeMs(), out_.form()));
    }
    const std::string report = server.reportPath();
    if (report != reportShown_ && !report.empty()) {
        reportShown_ = report;
        out_.line(reportLine(report, brelvo::unixTimeMs(), out_.form()));
    }
    // From the jobs themselves: a result event may be lost to a full queue.
    const brelvo::UpdateServer::EndedJobs ended = server.endedJobs();
    tally_.jobsEnded(static_cast<int>(ended.succeeded), static_cast<int>(ended.failed),
                     static_cast<int>(ended.stopped), static_cast<int>(ended.elsewhere), nowMs());
    takeTable(server, server.snapshot(), stopping);
}

void ServeSession::takeEvent(const brelvo::Event& e)
{
    const int64_t now = nowMs();
    tally_.activity(now);
    if (e.kind == brelvo::EventKind::SweepFinished)
        sweepDone_ = true;
    if (e.kind == brelvo::EventKind::JobResult && e.jobId != 0) {
        resultSeen_.insert(e.jobId);
        progress_.forget(e.jobId);
    }
    if (e.kind == brelvo::EventKind::DeviceWriting && (out_.live() || !progress_.writingStep(e.jobId, e.value)))
        return; // progress: the status block, or a line per tenth
    out_.line(eventLine(e, out_.form()));
}

void ServeSession::takeTable(brelvo::UpdateServer& server, const std::vector<brelvo::JobSnapshot>& table,
                             bool stopping)
{
    const int64_t now = nowMs();
    std::set<uint64_t> present;
    std::vector<brelvo::JobSnapshot> atWork;
    int endedCount = 0, lingering = 0;
    bool changed = false;
    std::map<uint64_t, std::pair<int, int>> seen;
    for (const brelvo::JobSnapshot& job : table) {
        present.insert(job.id);
        seen[job.id] = {job.status, job.progress};
        const auto before = lastSeen_.find(job.id);
        changed = changed || before == lastSeen_.end() || before->second != seen[job.id];
        if (ended(job)) {
            ++endedCount;
        } else {
            lingering += job.finished ? 1 : 0;
            atWork.push_back(job);
        }
    }
    lastSeen_.swap(seen);
    for (auto it = resultSeen_.begin(); it != resultSeen_.end();)
        it = present.count(*it) ? std::next(it) : resultSeen_.erase(it);
    atWork_ = static_cast<int>(atWork.size());
    if (changed)
        tally_.activity(now);

    if (!out_.live()) {
        for (const brelvo::JobSnapshot& job : progress_.sendingSteps(table))
            out_.line(progressLine(job, brelvo::unixTimeMs(), out_.form()));
    }
    drawStatus(atWork);

    if (!stopping && shouldPrune(endedCount, lingering, static_cast<int>(table.size())))
        server.pruneFinished();
}

void ServeSession::drawStatus(const std::vector<brelvo::JobSnapshot>& atWork)
{
    if (!out_.live())
        return;
    int columns = 80, rows = 24;
    out_.terminalSize(&columns, &rows);
    LiveStatus::Totals totals;
    totals.atWork = static_cast<int>(atWork.size());
    totals.succeeded = tally_.succeeded();
    totals.failed = tally_.failed();
    totals.stopped = tally_.stopped();
    out_.status(LiveStatus::lines(atWork, totals, columns, rows), nowMs());
}

} // namespace brelvo_cli
