#pragma once

// Runs a piece of a test in a forked child that has moved into a network
// namespace of its own (only a loopback interface, brought up here), so that
// whatever it sends (broadcasts, sweeps) never leaves this process tree.
// The child reports failures as text through a pipe.

#include <arpa/inet.h>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <net/if.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brelvo_test {

struct ChildOutcome {
    bool skipped = false;
    bool passed = false;
    std::string message; // skip reason or failure text
};

namespace detail {

inline int& reportFd()
{
    static int fd = -1;
    return fd;
}

inline bool writeFile(const char* path, const std::string& text)
{
    int fd = ::open(path, O_WRONLY);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

inline bool bringLoopbackUp()
{
    int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0)
        return false;
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(s, SIOCGIFFLAGS, &ifr) == 0;
    if (ok) {
        ifr.ifr_flags |= IFF_UP | IFF_RUNNING;
        ok = ::ioctl(s, SIOCSIFFLAGS, &ifr) == 0;
    }
    ::close(s);
    return ok;
}

inline void report(const char* kind, const std::string& text)
{
    const std::string line = std::string(kind) + text + "\n";
    if (reportFd() >= 0)
        (void)!::write(reportFd(), line.data(), line.size());
}

} // namespace detail

// Inside the child: a failed check ends the child with its text.
inline void childFail(const char* file, int line, const char* what)
{
    char text[512];
    std::snprintf(text, sizeof text, "%s:%d: %s", file, line, what);
    detail::report("FAIL ", text);
    ::_exit(1);
}

inline void childSkip(const std::string& reason)
{
    detail::report("SKIP ", reason);
    ::_exit(0);
}

#define CHILD_CHECK(cond)                                                       \
    do {                                                                        \
        if (!(cond))                                                            \
            ::brelvo_test::childFail(__FILE__, __LINE__, "check failed: " #cond); \
    } while (0)

// Runs `body` in a child inside a private network namespace with lo up
// (and, with `broadcastRoute`, a limited-broadcast route over lo). The
// body returns normally to pass; CHILD_CHECK ends it with a failure.
inline ChildOutcome runInPrivateNetns(const std::function<void()>& body, bool broadcastRoute = false)
{
    ChildOutcome outcome;
    int fds[2];
    if (::pipe(fds) != 0) {
        outcome.skipped = true;
        outcome.message = "no pipe";
        return outcome;
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        outcome.skipped = true;
        outcome.message = "cannot fork";
        return outcome;
    }
    if (pid == 0) {
        ::close(fds[0]);
        detail::reportFd() = fds[1];
        if (::unshare(CLONE_NEWNET) != 0) {
            const uid_t uid = ::getuid();
            const gid_t gid = ::getgid();
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
                childSkip(std::string("no private network namespace: ") + std::strerror(errno));
            detail::writeFile("/proc/self/setgroups", "deny");
            detail::writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
            detail::writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
        }
        if (!detail::bringLoopbackUp())
            childSkip("cannot bring up loopback in the private namespace");
        if (broadcastRoute &&
            std::system("ip route add 255.255.255.255/32 dev lo src 127.0.0.1 >/dev/null 2>&1") != 0)
            childSkip("cannot add a broadcast route in the private namespace (ip missing?)");
        body();
        std::fflush(nullptr);
        detail::report("PASS ", "");
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    if (text.rfind("SKIP ", 0) == 0) {
        outcome.skipped = true;
        outcome.message = text.substr(5);
    } else if (text.rfind("PASS ", 0) == 0 && WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0) {
        outcome.passed = true;
    } else {
        outcome.message = text.empty() ? "child ended without a report (status " +
                                             std::to_string(wstatus) + ")"
                                       : text;
    }
    return outcome;
}

// Drops to an unprivileged user (nobody) with no room for another thread
// or process: thread creation then fails. The hard limit stays open so
// that raiseThreadLimit() can undo it.
inline bool dropToNobodyWithoutThreads()
{
    rlimit lim{};
    if (::getrlimit(RLIMIT_NPROC, &lim) != 0)
        return false;
    lim.rlim_cur = 0;
    if (::setrlimit(RLIMIT_NPROC, &lim) != 0)
        return false;
    if (::setgid(65534) != 0 || ::setuid(65534) != 0)
        return false;
    return ::getuid() == 65534;
}

inline bool raiseThreadLimit()
{
    rlimit lim{};
    if (::getrlimit(RLIMIT_NPROC, &lim) != 0)
        return false;
    lim.rlim_cur = lim.rlim_max;
    return ::setrlimit(RLIMIT_NPROC, &lim) == 0;
}

} // namespace brelvo_test

#define EXPECT_CHILD_PASSES(outcome)                                  \
    do {                                                              \
        const ::brelvo_test::ChildOutcome o_ = (outcome);             \
        if (o_.skipped)                                               \
            GTEST_SKIP() << o_.message;                               \
        EXPECT_TRUE(o_.passed) << o_.message;                         \
    } while (0)
