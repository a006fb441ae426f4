// SPDX-License-Identifier: MIT
#include "SignalWatcher.h"

#include "ServeLines.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <system_error>
#include <unistd.h>

namespace brelvo_cli {

SignalWatcher::~SignalWatcher()
{
    if (thread_.joinable()) {
        quitting_ = true;
        // A signal aimed at the thread itself ends its wait.
        pthread_kill(thread_.native_handle(), SIGTERM);
        thread_.join();
    }
    for (int& fd : pipe_) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    if (blocked_)
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

bool SignalWatcher::start(int messageFd, std::string& error)
{
    messageFd_ = messageFd;
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("no pipe for the signals: ") + std::strerror(errno);
        return false;
    }
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGHUP);
    const int rc = pthread_sigmask(SIG_BLOCK, &set_, &old_);
    if (rc != 0) {
        error = std::string("cannot block the signals: ") + std::strerror(rc);
        return false;
    }
    blocked_ = true;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error& e) {
        error = std::string("no thread to watch the signals: ") + e.what();
        return false;
    }
    return true;
}

int SignalWatcher::settle()
{
    int expected = 0;
    if (ending_.compare_exchange_strong(expected, -1) || expected < 0)
        return 0;
    return 128 + expected;
}

void SignalWatcher::run()
{
    for (;;) {
        siginfo_t info;
        const int signo = sigwaitinfo(&set_, &info);
        if (signo < 0)
            continue; // EINTR
        if (quitting_.load())
            return;
        int expected = 0;
        if (first_.compare_exchange_strong(expected, signo)) {
            const char byte = 1;
            while (::write(pipe_[1], &byte, 1) < 0 && errno == EINTR) {
            }
            continue;
        }
        expected = 0;
        if (!ending_.compare_exchange_strong(expected, signo))
            continue; // settled: the process returns the status its last line states
        const std::string text = "\nbrelvo-cli: serve: " + signalName(signo) +
                                 " while stopping: exiting at once; devices still ending get no report row\n";
        ssize_t ignored = ::write(messageFd_, text.data(), text.size());
        (void)ignored;
        ::_exit(128 + signo);
    }
}

} // namespace brelvo_cli
