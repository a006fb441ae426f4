// SPDX-License-Identifier: MIT
#include "RunServe.h"

#include "CheckCommand.h"
#include "CommandLine.h"
#include "FindingOutput.h"
#include "OutputText.h"
#include "ServeSession.h"
#include "SignalWatcher.h"
#include "check/FindingText.h"
#include "platform/Console.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace brelvo_cli {

namespace {

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

} // namespace brelvo_cli
