#pragma once

#include "ServeOptions.h"

namespace brelvo_cli {

// `brelvo-cli serve`: checks the settings as `check` does and refuses them
// on a failure (exit 2), makes sure the report file can be written, then
// serves. Exit codes: 0, 1, 2, 3 as listed in CommandLine.h.
int runServe(const ServeOptions& options);

} // namespace brelvo_cli
