// SPDX-License-Identifier: MIT
#include "CheckCommand.h"

#include "CommandLine.h"
#include "FindingOutput.h"
#include "check/PreflightCheck.h"

#include <cerrno>
#include <cstring>

namespace brelvo_cli {

std::vector<brelvo::Finding> checkRunSettings(const std::string& address, const std::string& firmwareDir,
                                              const std::string& configPath)
{
    brelvo::PreflightInput input;
    input.localAddress = address;
    input.firmwareDir = firmwareDir;
    input.configPath = configPath;
    input.programName = "brelvo-cli";
    return brelvo::runPreflightCheck(input);
}

int runCheck(const CheckOptions& options, std::FILE* out)
{
    const std::vector<brelvo::Finding> findings =
        checkRunSettings(options.address, options.firmwareDir, options.configPath);

    std::string text;
    if (options.json) {
        text = checkAsJson(findings, versionText().substr(sizeof "brelvo-cli"));
    } else {
        for (const brelvo::Finding& f : findings)
            text += findingAsText(f);
        text += summaryAsText(findings);
    }
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0) {
        std::fprintf(stderr, "brelvo-cli: check: cannot write the findings: %s\n", std::strerror(errno));
        return kExitRefused;
    }
    return checkExitCode(findings);
}

} // namespace brelvo_cli
