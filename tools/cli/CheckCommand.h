// SPDX-License-Identifier: MIT
#pragma once

#include "CommandLine.h"
#include "check/Finding.h"

#include <cstdio>
#include <string>
#include <vector>

namespace brelvo_cli {

// `brelvo-cli check`: runs the pre-flight check and prints every finding to
// `out`; the exit code (0, 1 or 2; 2 also when `out` cannot be written).
int runCheck(const CheckOptions& options, std::FILE* out = stdout);

// The pre-flight check of the settings both commands share, as brelvo-cli.
std::vector<brelvo::Finding> checkRunSettings(const CheckOptions& options);

// A finding as lines for a person: severity, message and id, then its remedy
// and details indented. Ends with a newline.
std::string findingAsText(const brelvo::Finding& finding);
// One line: "check: 1 failure, 2 warnings: a run would fail".
std::string summaryAsText(const std::vector<brelvo::Finding>& findings);

// One JSON object on one line (no newline):
// {"severity":..,"id":..,"message":..,"remedy":..,"args":{..},"details":[..]}
std::string findingAsJson(const brelvo::Finding& finding);
// The whole check as one JSON document:
// {"program":..,"version":..,"findings":[..],"summary":{..}}, newline-terminated.
std::string checkAsJson(const std::vector<brelvo::Finding>& findings, const std::string& version);

// 0 when nothing is worse than info, 1 with warnings, 2 with a failure.
int checkExitCode(const std::vector<brelvo::Finding>& findings);

} // namespace brelvo_cli
