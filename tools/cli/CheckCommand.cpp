// SPDX-License-Identifier: MIT
#include "CheckCommand.h"

#include "check/FindingText.h"
#include "check/PreflightCheck.h"
#include "record/EventFormat.h"
#include "record/TextSafety.h"

#include <cerrno>
#include <cstring>

namespace brelvo_cli {

using brelvo::Finding;
using brelvo::Severity;

namespace {

struct Counts {
    int failures = 0, warnings = 0, infos = 0;
};

Counts count(const std::vector<Finding>& findings)
{
    Counts c;
    for (const Finding& f : findings)
        ++(f.severity == Severity::Failure ? c.failures : f.severity == Severity::Warning ? c.warnings : c.infos);
    return c;
}

std::string plural(int n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

const char* label(Severity s)
{
    switch (s) {
    case Severity::Failure: return "FAIL  ";
    case Severity::Warning: return "WARN  ";
    case Severity::Info: break;
    }
    return "ok    ";
}

} // namespace

std::vector<brelvo::Finding> checkRunSettings(const CheckOptions& options)
{
    brelvo::PreflightInput input;
    input.localAddress = options.address;
    input.firmwareDir = options.firmwareDir;
    input.configPath = options.configPath;
    input.options = brelvo::OptionUpdateBoot | (options.erase ? brelvo::OptionEraseBoot : 0);
    input.programName = "brelvo-cli";
    return brelvo::runPreflightCheck(input);
}

int runCheck(const CheckOptions& options, std::FILE* out)
{
    const std::vector<brelvo::Finding> findings = checkRunSettings(options);

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

std::string findingAsText(const Finding& f)
{
    std::string out = label(f.severity) + brelvo::displayText(brelvo::findingMessage(f)) + "  [" +
                      brelvo::findingIdName(f.id) + "]\n";
    const std::string remedy = brelvo::findingRemedy(f);
    if (!remedy.empty())
        out += "      fix: " + brelvo::displayText(remedy) + "\n";
    for (const std::string& d : f.details)
        out += "      " + brelvo::displayText(d) + "\n";
    return out;
}

std::string summaryAsText(const std::vector<Finding>& findings)
{
    const Counts c = count(findings);
    if (c.failures)
        return "check: " + plural(c.failures, "failure") + ", " + plural(c.warnings, "warning") +
               ": a run would fail\n";
    if (c.warnings)
        return "check: " + plural(c.warnings, "warning") + ": devices may not be served as expected\n";
    return "check: no problems found\n";
}

std::string findingAsJson(const Finding& f)
{
    std::string out = "{\"severity\":" + brelvo::jsonString(brelvo::severityName(f.severity)) +
                      ",\"id\":" + brelvo::jsonString(brelvo::findingIdName(f.id)) +
                      ",\"message\":" + brelvo::jsonString(brelvo::findingMessage(f)) +
                      ",\"remedy\":" + brelvo::jsonString(brelvo::findingRemedy(f)) + ",\"args\":{";
    for (size_t i = 0; i < f.args.size(); ++i)
        out += (i ? "," : "") + brelvo::jsonString(f.args[i].first) + ":" + brelvo::jsonString(f.args[i].second);
    out += "},\"details\":[";
    for (size_t i = 0; i < f.details.size(); ++i)
        out += (i ? "," : "") + brelvo::jsonString(f.details[i]);
    return out + "]}";
}

std::string checkAsJson(const std::vector<Finding>& findings, const std::string& version)
{
    const Counts c = count(findings);
    std::string out = "{\"program\":\"brelvo-cli\",\"version\":" + brelvo::jsonString(version) + ",\"findings\":[";
    for (size_t i = 0; i < findings.size(); ++i)
        out += std::string(i ? ",\n" : "\n") + "  " + findingAsJson(findings[i]);
    out += "\n],\"summary\":{\"failures\":" + std::to_string(c.failures) +
           ",\"warnings\":" + std::to_string(c.warnings) + ",\"info\":" + std::to_string(c.infos) +
           ",\"exit\":" + std::to_string(checkExitCode(findings)) + "}}\n";
    return out;
}

int checkExitCode(const std::vector<Finding>& findings)
{
    switch (brelvo::worstSeverity(findings)) {
    case Severity::Failure: return kExitRefused;
    case Severity::Warning: return kExitWarnings;
    case Severity::Info: break;
    }
    return kExitOk;
}

} // namespace brelvo_cli
