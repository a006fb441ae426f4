// SPDX-License-Identifier: MIT
#pragma once

#include "CheckOptions.h"
#include "check/Finding.h"

#include <cstdio>
#include <string>
#include <vector>

namespace brelvo_cli {

// `brelvo-cli check`: runs the pre-flight check and prints every finding to
// `out`; the exit code (0, 1 or 2; 2 also when `out` cannot be written).
int runCheck(const CheckOptions& options, std::FILE* out = stdout);

// The pre-flight check of the settings both commands share, as brelvo-cli.
std::vector<brelvo::Finding> checkRunSettings(const std::string& address, const std::string& firmwareDir,
                                              const std::string& configPath);

} // namespace brelvo_cli
