// SPDX-License-Identifier: MIT
#pragma once

#include "CheckOptions.h"
#include "ServeOptions.h"

#include <string>
#include <vector>

namespace brelvo_cli {

// Exit codes shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitWarnings = 1;     // check: warnings; serve: some device failed
constexpr int kExitRefused = 2;      // usage error, or check found a failure
constexpr int kExitStartFailed = 3;  // serve: serving could not start

// What the command line asks for.
struct CommandLine {
    enum class Action { Help, Version, Check, Serve };
    Action action = Action::Help;
    CheckOptions check;
    ServeOptions serve;
};

// Parses `args` (the program name first) GNU style; false with a one-line
// message naming the option or argument at fault.
bool parseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error);

const char* helpText();
// "brelvo-cli 2.0.0"
std::string versionText();

} // namespace brelvo_cli
