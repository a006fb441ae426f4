// SPDX-License-Identifier: MIT
#pragma once

#include "CheckOptions.h"

#include <cstdio>

namespace brelvo_cli {

// `brelvo-cli check`: runs the pre-flight check and prints every finding to
// `out`; the exit code (0, 1 or 2; 2 also when `out` cannot be written).
int runCheck(const CheckOptions& options, std::FILE* out = stdout);

} // namespace brelvo_cli
