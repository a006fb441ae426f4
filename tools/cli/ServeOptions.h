// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace brelvo_cli {

// The settings of `brelvo-cli serve`, checked for form by the parser.
struct ServeOptions {
    std::string address;
    std::string firmwareDir;
    std::string configPath;     // empty: none
    bool json = false;          // one JSON object per output line
    bool erase = false;         // --erase
    bool updateBoot = true;     // cleared by --no-update-boot
    int devices = 0;            // --devices N; 0: no limit
    int idleExitSeconds = 0;    // --idle-exit S; 0: never
    std::string reportPath;     // --report FILE; empty: none
};

// The write option bits the server hands to every job.
int serveWriteOptions(const ServeOptions& options);

} // namespace brelvo_cli
