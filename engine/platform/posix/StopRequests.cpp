// SPDX-License-Identifier: MIT
#include "platform/StopRequests.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace brelvo {

// The signals stay blocked in every thread; a thread of this class takes
// them with sigwaitinfo and wakes the waiting loop through a pipe.
struct StopRequests::State {
    sigset_t set{};
    sigset_t old{};
    bool blocked = false;
    int pipe[2] = {-1, -1};
    SecondHandler onSecond = nullptr;
    std::atomic<bool> quitting{false};
    std::thread thread;
};

StopRequests::StopRequests() : state_(std::make_unique<State>()) {}

StopRequests::~StopRequests()
{
    State& s = *state_;
    if (s.thread.joinable()) {
        s.quitting = true;
        // A signal aimed at the thread itself ends its wait.
        pthread_kill(s.thread.native_handle(), SIGTERM);
        s.thread.join();
    }
    for (int& fd : s.pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    if (s.blocked)
        pthread_sigmask(SIG_SETMASK, &s.old, nullptr);
}

bool StopRequests::start(SecondHandler onSecond, std::string& error)
{
    State& s = *state_;
    s.onSecond = onSecond;
    if (::pipe2(s.pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("no pipe for the signals: ") + std::strerror(errno);
        return false;
    }
    sigemptyset(&s.set);
    sigaddset(&s.set, SIGINT);
    sigaddset(&s.set, SIGTERM);
    sigaddset(&s.set, SIGHUP);
    const int rc = pthread_sigmask(SIG_BLOCK, &s.set, &s.old);
    if (rc != 0) {
        error = std::string("cannot block the signals: ") + std::strerror(rc);
        return false;
    }
    s.blocked = true;
    try {
        s.thread = std::thread([this] {
            State& st = *state_;
            for (;;) {
                siginfo_t info;
                const int signo = sigwaitinfo(&st.set, &info);
                if (signo < 0)
                    continue; // EINTR
                if (st.quitting.load())
                    return;
                int expected = 0;
                if (first_.compare_exchange_strong(expected, signo)) {
                    const char byte = 1;
                    while (::write(st.pipe[1], &byte, 1) < 0 && errno == EINTR) {
                    }
                    continue;
                }
                expected = 0;
                if (!ending_.compare_exchange_strong(expected, signo))
                    continue; // settled: the process returns the status its last line states
                if (st.onSecond)
                    st.onSecond(signo);
                ::_exit(128 + signo);
            }
        });
    } catch (const std::system_error& e) {
        error = std::string("no thread to watch the signals: ") + e.what();
        return false;
    }
    return true;
}

bool StopRequests::wait(int ms) const
{
    pollfd wake{state_->pipe[0], POLLIN, 0};
    return ::poll(&wake, 1, ms) > 0 || first_.load() != 0;
}

} // namespace brelvo
