// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace brelvo_cli {

// The engine writes console lines of its own to descriptors 1 and 2:
// "running...", "No data within five seconds." once a second while no
// request comes, "write:N, cnt=M" for every progress message of a device.
// They would break --json output and fill a service's journal, so while
// serving both descriptors point to /dev/null and the program writes its own
// lines to copies of the original ones. A sanitizer's reports follow the
// copy of standard error.
class EngineConsoleMute {
public:
    EngineConsoleMute() = default;
    // Points 1 and 2 back where they pointed before.
    ~EngineConsoleMute();
    EngineConsoleMute(const EngineConsoleMute&) = delete;
    EngineConsoleMute& operator=(const EngineConsoleMute&) = delete;

    // False with the reason; nothing is changed then.
    bool start(std::string& error);

    // The original standard output and standard error (1 and 2 before start()).
    int out() const { return out_; }
    int err() const { return err_; }

private:
    int out_ = 1;
    int err_ = 2;
    bool muted_ = false;
};

} // namespace brelvo_cli
