// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <csignal>
#include <string>
#include <thread>

namespace brelvo_cli {

// SIGINT, SIGTERM and SIGHUP while serving: the first asks for a clean stop,
// a second ends the process at once (exit 128 + its number) unless the run
// has settled its exit status first. The signals stay blocked in every
// thread; this class's thread takes them with sigwaitinfo, so no work runs
// in a handler, and wakes the serving loop through a pipe.
class SignalWatcher {
public:
    SignalWatcher() = default;
    // Ends the watching thread and unblocks the signals again.
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    // Blocks the signals in the calling thread, and so in every thread it
    // starts afterwards, then starts watching. `messageFd` takes the line
    // said before a second signal ends the process. False with the reason.
    bool start(int messageFd, std::string& error);

    // Readable once the first signal came.
    int wakeFd() const { return pipe_[0]; }
    // The first signal's number; 0 before.
    int signal() const { return first_.load(); }
    // The run's exit status and report are final and about to be told: a
    // later signal no longer ends the process. 0 then; when a second signal
    // is already ending it, the status it ends with (128 + its number), and
    // nothing more may be told.
    int settle();

private:
    void run();

    sigset_t set_{};
    sigset_t old_{};
    bool blocked_ = false;
    int pipe_[2] = {-1, -1};
    int messageFd_ = -1;
    std::atomic<int> first_{0};
    std::atomic<int> ending_{0}; // the second signal that ends the process; -1: settled
    std::atomic<bool> quitting_{false};
    std::thread thread_;
};

} // namespace brelvo_cli
