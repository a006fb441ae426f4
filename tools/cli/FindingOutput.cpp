// SPDX-License-Identifier: MIT
#include "FindingOutput.h"

#include "CommandLine.h"
#include "OutputText.h"
#include "check/FindingText.h"
#include "record/EventFormat.h"

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

std::string findingAsText(const Finding& f)
{
    std::string out = label(f.severity) + terminalSafe(brelvo::findingMessage(f)) + "  [" +
                      brelvo::findingIdName(f.id) + "]\n";
    const std::string remedy = brelvo::findingRemedy(f);
    if (!remedy.empty())
        out += "      fix: " + terminalSafe(remedy) + "\n";
    for (const std::string& d : f.details)
        out += "      " + terminalSafe(d) + "\n";
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
    std::string out = "{\"severity\":" + jsonString(brelvo::severityName(f.severity)) +
                      ",\"id\":" + jsonString(brelvo::findingIdName(f.id)) +
                      ",\"message\":" + jsonString(brelvo::findingMessage(f)) +
                      ",\"remedy\":" + jsonString(brelvo::findingRemedy(f)) + ",\"args\":{";
    for (size_t i = 0; i < f.args.size(); ++i)
        out += (i ? "," : "") + jsonString(f.args[i].first) + ":" + jsonString(f.args[i].second);
    out += "},\"details\":[";
    for (size_t i = 0; i < f.details.size(); ++i)
        out += (i ? "," : "") + jsonString(f.details[i]);
    return out + "]}";
}

std::string checkAsJson(const std::vector<Finding>& findings, const std::string& version)
{
    const Counts c = count(findings);
    std::string out = "{\"program\":\"brelvo-cli\",\"version\":" + jsonString(version) + ",\"findings\":[";
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
