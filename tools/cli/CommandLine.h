// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace brelvo_cli {

// Exit codes shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitWarnings = 1;     // check: warnings; serve: some device failed
constexpr int kExitRefused = 2;      // usage error, or check found a failure
constexpr int kExitStartFailed = 3;  // serve: serving could not start, or its listener ended
constexpr int kExitReportIncomplete = 4; // serve: the run report lost rows

// The settings `brelvo-cli check` reads; `serve` checks them before it starts.
struct CheckOptions {
    std::string address;
    std::string firmwareDir;
    std::string configPath; // empty: none
    bool json = false;      // check: one JSON document; serve: one JSON object per line
    bool erase = false;     // --erase: checked against the configuration
};

// The settings of `brelvo-cli serve`, checked for form by the parser.
struct ServeOptions : CheckOptions {
    bool updateBoot = true;     // cleared by --no-update-boot
    int devices = 0;            // --devices N; 0: no limit
    int idleExitSeconds = 0;    // --idle-exit S; 0: never
    std::string reportPath;     // --report FILE; empty: none
};

// The write option bits the server hands to every job.
int serveWriteOptions(const ServeOptions& options);

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
