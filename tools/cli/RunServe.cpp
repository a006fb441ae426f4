#include "RunServe.h"

#include "CommandLine.h"
#include "FindingOutput.h"
#include "OutputText.h"
#include "check/FindingText.h"
#include "check/PreflightCheck.h"

#include <cerrno>
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

int runServe(const ServeOptions& options)
{
    brelvo::PreflightInput input;
    input.localAddress = options.address;
    input.firmwareDir = options.firmwareDir;
    input.configPath = options.configPath;
    input.programName = "brelvo-cli";
    const std::vector<brelvo::Finding> findings = brelvo::runPreflightCheck(input);
    printFindings(findings, options.json);
    if (brelvo::worstSeverity(findings) == brelvo::Severity::Failure) {
        std::fprintf(stderr, "brelvo-cli: serve: refusing to start: the check above found a failure\n");
        return kExitRefused;
    }
    std::string error;
    if (!options.reportPath.empty() && !reportWritable(options.reportPath, error)) {
        std::fprintf(stderr, "brelvo-cli: serve: --report '%s' cannot be written: %s\n",
                     terminalSafe(options.reportPath).c_str(), error.c_str());
        return kExitRefused;
    }

    // Serving itself is not part of this program yet: the engine's server
    // is to start here with options.firmwareDir, options.configPath,
    // options.address and serveWriteOptions(options); its job results feed a
    // ServeTally (ServeTally.h) until tally.finished() or SIGINT/SIGTERM, and
    // tally.exitCode() is the exit code. A server that does not start is
    // kExitStartFailed.
    std::fprintf(stderr, "brelvo-cli: serve: serving is not available in this build yet\n");
    return kExitStartFailed;
}

} // namespace brelvo_cli
