// SPDX-License-Identifier: MIT
#include "ServeSession.h"

#include "CheckCommand.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/HostName.h"
#include "platform/WallClock.h"
#include "record/JobStatus.h"
#include "server/ServerSettings.h"
#include "server/UpdateServer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace brelvo_cli {

namespace {

constexpr int kTickMs = 100;
constexpr int kCrowdedTable = brelvo::UpdateServer::kMaxJobs / 2;
// How long a stop waits for the jobs' ends before the server is taken
// down anyway (its destruction ends whatever is left).
constexpr int64_t kStopWaitMs = 1500;

void writeAll(int fd, const std::string& text)
{
    ssize_t ignored = ::write(fd, text.data(), text.size());
    (void)ignored;
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
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    ::close(fd);
    return true;
}

} // namespace

bool shouldPrune(int ended, int lingering, int tableSize)
{
    if (ended + lingering == 0)
        return false;
    return lingering == 0 || tableSize >= kCrowdedTable;
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
    const std::vector<brelvo::Finding> findings =
        checkRunSettings(options.address, options.firmwareDir, options.configPath);
    printFindings(findings, options.json);
    if (refusesSettings(findings)) {
        std::fprintf(stderr, "brelvo-cli: serve: refusing to start: the check above found a failure\n");
        return kExitRefused;
    }
    std::string error;
    if (!options.reportPath.empty() && !reportWritable(options.reportPath, error)) {
        std::fprintf(stderr, "brelvo-cli: serve: --report '%s' cannot be written: %s\n",
                     terminalSafe(options.reportPath).c_str(), error.c_str());
        return kExitRefused;
    }

    // A reader that went away must not end serving: a write then fails
    // with EPIPE and serving goes on.
    std::signal(SIGPIPE, SIG_IGN);
    // The engine's own lines ("running...", "write:N, cnt=M" per progress
    // message) would break --json and flood a journal: serve prints its own.
    brelvo::setConsoleSink([](brelvo::ConsoleChannel, const std::string&) {});
    // Before the server makes any thread: they all inherit the blocked signals.
    SignalWatcher signals;
    if (!signals.start(STDERR_FILENO, error)) {
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

int ServeSession::run(const SignalWatcher& signals)
{
    brelvo::ServerSettings settings;
    settings.firmwareDir = options_.firmwareDir;
    settings.configPath = options_.configPath;
    settings.localAddress = options_.address;
    settings.options = serveWriteOptions(options_);
    settings.writeReport = true;
    settings.reportPath = options_.reportPath;

    brelvo::UpdateServer server;
    if (server.start(settings) != 0) {
        tick(server, true);
        out_.finish();
        writeAll(errFd_, "brelvo-cli: serve: cannot start: " +
                             startFailureText(server.startError(), server.startErrno()) + "\n");
        return kExitStartFailed;
    }
    tally_ = ServeTally(options_.devices, static_cast<int64_t>(options_.idleExitSeconds) * 1000, nowMs());

    ServeEnd end;
    end.deviceLimit = options_.devices;
    end.idleSeconds = options_.idleExitSeconds;
    for (;;) {
        pollfd wake{signals.wakeFd(), POLLIN, 0};
        if (::poll(&wake, 1, kTickMs) > 0 || signals.signal() != 0) {
            end.reason = EndReason::Signal;
            end.signal = signals.signal();
            break;
        }
        tick(server, false);
        // The address sweep is work too: nothing else happens meanwhile.
        if (tally_.finished(nowMs(), atWork_ + (sweepDone_ ? 0 : 1))) {
            end.reason = tally_.succeeded() + tally_.failed() >= options_.devices && options_.devices > 0
                             ? EndReason::DeviceLimit
                             : EndReason::Idle;
            break;
        }
        if (!server.listenerRunning()) {
            end.reason = EndReason::ListenerLost;
            break;
        }
    }

    end.reportComplete = finishRun(server);
    end.report = server.reportPath();
    end.succeeded = tally_.succeeded();
    end.failed = tally_.failed();
    end.stopped = tally_.stopped();
    end.exitCode = end.reason == EndReason::ListenerLost ? kExitStartFailed : tally_.exitCode();
    end.station = brelvo::hostName();
    out_.finish();
    out_.line(endLine(end, brelvo::unixTimeMs(), out_.form()));
    if (end.reason == EndReason::ListenerLost)
        writeAll(errFd_, "brelvo-cli: serve: the listener on UDP port 3281 ended on its own; serving stopped\n");
    // The server's destruction joins its threads and writes any row still queued.
    return end.exitCode;
}

bool ServeSession::finishRun(brelvo::UpdateServer& server)
{
    server.stop();
    const int64_t deadline = nowMs() + kStopWaitMs;
    for (;;) {
        tick(server, true);
        if ((atWork_ == 0 && server.activeTransfers() == 0) || nowMs() >= deadline)
            break;
        ::poll(nullptr, 0, 10);
    }
    const bool complete = server.flushReports();
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
        tally_.jobEnded(e.jobId, e.code, now);
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
            // Its JobResult may still be on its way (or was lost to a full
            // queue): the table's word counts as well, once.
            if (!resultSeen_.count(job.id))
                tally_.jobEnded(job.id, job.status, now);
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
