// SPDX-License-Identifier: MIT
#pragma once

#include "check/Finding.h"

#include <string>
#include <vector>

namespace brelvo_cli {

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
