// SPDX-License-Identifier: MIT
#pragma once

#include "Files.h"
#include "Wait.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <algorithm>

namespace brelvo_test {

struct ProcessResult {
    int exitCode = -1; // exit status, or 128 + signal number
    bool timedOut = false;
    std::string output; // stdout and stderr, interleaved
};

// A child in its own process group writing stdout and stderr to a file (no
// pipe a lingering grandchild could hold open). Destruction kills and reaps
// it. Moved, not copied, so a vector of them may grow without killing anyone.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv) : log_(makeTemp("child"))
    {
        std::vector<char*> args(argv.size() + 1, nullptr);
        std::transform(argv.begin(), argv.end(), args.begin(), [](const std::string& a) { return const_cast<char*>(a.c_str()); });
        if ((pid_ = fork()) == 0) {
            setpgid(0, 0);
            const int fd = open(log_.c_str(), O_WRONLY);
            dup2(fd, 1), dup2(fd, 2);
            execvp(args[0], args.data());
            _exit(127);
        }
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
    }
    ChildProcess(ChildProcess&& other) noexcept : log_(std::move(other.log_)), pid_(other.pid_), reaped_(other.reaped_)
    {
        other.log_.clear(), other.reaped_ = true;
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess()
    {
        if (!reaped_)
            wait(std::chrono::milliseconds(0));
        if (!log_.empty())
            unlink(log_.c_str());
    }

    // Waits up to `timeout`, then kills the child's whole group.
    ProcessResult wait(std::chrono::milliseconds timeout)
    {
        int st = 0;
        ProcessResult r;
        r.timedOut = !waitFor([&] { return waitpid(pid_, &st, WNOHANG) == pid_; }, timeout, std::chrono::milliseconds(5));
        if (r.timedOut)
            kill(-pid_, SIGKILL), kill(pid_, SIGKILL), waitpid(pid_, &st, 0);
        reaped_ = true;
        r.exitCode = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        r.output = readText(log_);
        return r;
    }

private:
    std::string log_;
    pid_t pid_ = -1;
    bool reaped_ = false;
};

inline ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout)
{
    return ChildProcess(argv).wait(timeout);
}

} // namespace brelvo_test
