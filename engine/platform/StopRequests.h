// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <memory>
#include <string>

namespace brelvo {

// The operator's requests to stop a command-line program: SIGINT, SIGTERM
// and SIGHUP, or on Windows Ctrl-C (taken as SIGINT), Ctrl-Break (SIGTERM)
// and the console's closing, a logoff or a shutdown (SIGHUP). The first is
// kept for the program to act on; a second calls `onSecond` with its number
// and ends the process at once with 128 + that number, unless the program
// has settled its exit status first. No program code runs in a signal
// handler.
class StopRequests {
public:
    using SecondHandler = void (*)(int signo);

    StopRequests();
    ~StopRequests(); // stops watching (and unblocks the signals again)
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

    // Before the program makes any other thread: on POSIX they inherit the
    // blocked signals. False with the reason.
    bool start(SecondHandler onSecond, std::string& error);
    // Waits up to `ms` for the first request; true once it has come.
    bool wait(int ms) const;
    // The first request's number; 0 before.
    int signal() const { return first_.load(); }
    // The program's exit status and report are final and about to be told:
    // a later request no longer ends the process. 0 then; when a second
    // request is already ending it, the status it ends with (128 + its
    // number), and nothing more may be told.
    int settle();

    struct State; // the system's side

private:
    std::unique_ptr<State> state_;
    std::atomic<int> first_{0};
    std::atomic<int> ending_{0}; // the second request that ends the process; -1: settled
};

} // namespace brelvo
