// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>
#include <chrono>
#include <string>
#include <vector>

namespace brelvo_test {

struct ProcessResult {
    int exitCode = -1; // exit status, or 128 + signal number
    bool timedOut = false;
    std::string output; // stdout and stderr, interleaved
};

// A child in its own process group writing stdout and stderr to a file (no
// pipe a lingering grandchild could hold open). Destruction kills and reaps
// it. Movable, so a vector of them may grow without killing anyone.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ~ChildProcess();

    // Waits up to `timeout`, then kills the child's whole group.
    ProcessResult wait(std::chrono::milliseconds timeout);

private:
    std::string log_;
    pid_t pid_ = -1;
    bool reaped_ = false;
};

ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout);

} // namespace brelvo_test
