// SPDX-License-Identifier: MIT
#pragma once

#include "ServeOptions.h"
#include "check/Finding.h"

#include <vector>

namespace brelvo_cli {

// `brelvo-cli serve`: checks the settings as `check` does and refuses them
// on a failure (exit 2), makes sure the report file can be written, then
// serves with the engine's own console muted. Exit codes as in CommandLine.h.
int runServe(const ServeOptions& options);

// Whether the check's findings refuse serve's settings: any failure but a
// port held by another program, which fails the start itself (exit 3).
bool refusesSettings(const std::vector<brelvo::Finding>& findings);

} // namespace brelvo_cli
