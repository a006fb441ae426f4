// SPDX-License-Identifier: MIT
#pragma once
// Command line of brelvo-devsim.

#include "DeviceSession.h"

#include <cstdint>
#include <string>
#include <vector>

namespace devsim {

struct DevsimOptions {
    SessionConfig session;
    int count = 1;
    std::vector<uint32_t> bindAddrs; // host order; device i uses entry i mod size
    int basePort = 0;                // 0: each device gets an ephemeral port
    uint32_t toolAddr = 0;           // host order; unused with broadcast
    bool haveTool = false;
    bool broadcast = false;
    uint16_t toolPort = kRequestPort;
    int startDelayMs = 0;
    int staggerMs = 0;
    std::string expectImagePath;
    std::string expectConfigPath; // empty: none given, or "none" (then session.expectNoConfig)
    std::string saveImagePath;
    bool verbose = false;
    bool help = false;
    bool version = false;
    bool cpuReport = false;
    int holdPort = 0;    // not 0: hold this UDP port instead of playing devices
    int holdSeconds = 0; // 0: until interrupted
};

// False with a one-line explanation in `error` when the arguments are not
// usable. `args` excludes the program name.
bool parseDevsimOptions(const std::vector<std::string>& args, DevsimOptions& out, std::string& error);

const char* devsimHelpText();

} // namespace devsim
