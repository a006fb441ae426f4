// SPDX-License-Identifier: MIT
#pragma once
// Shared by the engine's unit tests: device messages, and a forked child in
// a network namespace of its own for anything that binds 3281, sweeps or
// broadcasts (nothing it sends leaves that namespace).

#include "EnvironmentScope.h"
#include "Files.h"
#include "TempDir.h"
#include "UdpPort.h"
#include "Wait.h"
#include "platform/Clock.h"
#include "protocol/WireFormat.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace brelvo_test {

using namespace std::chrono_literals;

// A message with the "upd:" header, `type`, and 32-bit big-endian `words`;
// `code` (an update request's product code) follows the words.
inline std::vector<uint8_t> message(int type, std::initializer_list<uint32_t> words = {}, const std::string& code = "")
{
    std::vector<uint8_t> d(12 + 4 * words.size() + code.size(), 0);
    std::memcpy(d.data(), "upd:", 4);
    d[4] = static_cast<uint8_t>(type);
    brelvo::wire::writeBe32(d.data() + 8, static_cast<uint32_t>(d.size() - 12));
    size_t at = 12;
    for (uint32_t w : words)
        brelvo::wire::writeBe32(d.data() + (at += 4) - 4, w);
    std::memcpy(d.data() + at, code.data(), code.size());
    return d;
}

inline std::vector<uint8_t> request(const std::string& code) { return message(0, {}, code); }

// In a child a failed check ends it; the parent reports the line.
#define CHILD_CHECK(cond)                                                                  \
    do {                                                                                   \
        if (!(cond)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ::_exit(1);                                                                    \
        }                                                                                  \
    } while (0)
constexpr int kChildSkipped = 77;

#ifdef _WIN32
// Windows has no fork: a body runs in the test's own process (ctest starts
// one per case), where a failed CHILD_CHECK ends it. What needs Linux's own
// tools (ip, sysctl, other users, a forked holder) ends the case as skipped.
[[noreturn]] inline void skipRest(const std::string& why)
{
    std::printf("[  SKIPPED ] the rest needs Linux: %s\n", why.c_str());
    std::fflush(nullptr);
    ::_exit(0);
}

inline void inChild(const std::function<void()>& body, const char* = "") { body(); }

// Inside the namespace tests/support/wine-run.sh made for the run: loopback
// only, prepared as answeringBelow(251) would. Outside it such a test skips.
inline void inPrivateNetns(const std::function<void()>& body)
{
    if (!std::getenv("BRELVO_WINE_NETNS"))
        GTEST_SKIP() << "not inside the private namespace of tests/support/wine-run.sh (needs root and ip)";
    TempDir home;
    EnvironmentScope data("XDG_DATA_HOME", home.path().c_str());
    body();
}

inline void sh(const std::string& command) { skipRest(command); }
inline void answeringBelow(int firstSilent)
{
    if (firstSilent != 251)
        skipRest("another set of answering addresses than wine-run.sh prepares");
}
inline bool asNobody(const std::function<void()>&) { skipRest("running as another user"); }
inline bool dropToNobodyWithoutThreads() { skipRest("a thread limit for another user"); }
inline bool raiseThreadLimit() { return true; }
#else
// Runs `body` in a forked child; its wait status.
inline int forkAndWait(const std::function<void()>& body)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        std::fflush(nullptr);
        ::_exit(0);
    }
    int status = -1;
    if (pid > 0)
        ::waitpid(pid, &status, 0);
    return status;
}

// Runs `body` in a forked child and reports how it ended; a child that
// exits with kChildSkipped skips the test with `skipWhy`.
inline void inChild(const std::function<void()>& body, const char* skipWhy = "")
{
    const int status = forkAndWait(body);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kChildSkipped)
        GTEST_SKIP() << skipWhy;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}

// Runs `body` in a child in a fresh network namespace with only loopback up
// (and a limited-broadcast route over it). Reports of the servers the child
// starts go to a folder of its own.
inline void inPrivateNetns(const std::function<void()>& body)
{
    TempDir home;
    inChild(
        [&] {
            ::setenv("XDG_DATA_HOME", home.path().c_str(), 1);
            if (::unshare(CLONE_NEWNET) != 0 ||
                std::system("ip link set lo up && ip route add 255.255.255.255/32 dev lo src 127.0.0.1") != 0)
                ::_exit(kChildSkipped);
            body();
        },
        "no private network namespace here (needs root and ip), or no way to take threads away");
}

// Runs a shell command in the child; a failure ends the child.
inline void sh(const std::string& command)
{
    if (std::system((command + " >/dev/null").c_str()) != 0) {
        std::fprintf(stderr, "command failed: %s\n", command.c_str());
        ::_exit(1);
    }
}

// In a private namespace: 10.213.9.1 is this machine's, hosts 2 to
// `firstSilent` - 1 of 10.213.9.0/24 answer pings, the rest are silent.
inline void answeringBelow(int firstSilent)
{
    std::string batch = "addr add 10.213.9.1/32 dev lo\nroute add 10.213.9.0/24 dev lo src 10.213.9.1\n";
    for (int host = 2; host < firstSilent; ++host)
        batch += "route add local 10.213.9." + std::to_string(host) + "/32 dev lo\n";
    FILE* ip = ::popen("ip -batch -", "w");
    CHILD_CHECK(ip && std::fputs(batch.c_str(), ip) >= 0 && ::pclose(ip) == 0);
}

// Runs `body` in a grandchild that is user and group nobody without other
// groups; false when it failed.
inline bool asNobody(const std::function<void()>& body)
{
    const int status = forkAndWait([&] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        body();
    });
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Drops the child to nobody with no room for another thread; false when the
// limit does not bite here. raiseThreadLimit() undoes the limit.
inline bool dropToNobodyWithoutThreads()
{
    rlimit lim{};
    if (::getrlimit(RLIMIT_NPROC, &lim) != 0)
        return false;
    lim.rlim_cur = 0;
    if (::setrlimit(RLIMIT_NPROC, &lim) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
        return false;
    pthread_t t;
    if (pthread_create(&t, nullptr, [](void*) -> void* { return nullptr; }, nullptr) != 0)
        return true;
    pthread_join(t, nullptr);
    return false;
}

inline bool raiseThreadLimit()
{
    rlimit lim{};
    ::getrlimit(RLIMIT_NPROC, &lim);
    lim.rlim_cur = lim.rlim_max;
    return ::setrlimit(RLIMIT_NPROC, &lim) == 0;
}
#endif

} // namespace brelvo_test
