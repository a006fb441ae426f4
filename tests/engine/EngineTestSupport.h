#pragma once
// Shared by the engine's unit tests: scratch folders, device messages, and a
// forked child inside a network namespace of its own for anything that
// broadcasts or sweeps.

#include "Files.h"
#include "TempDir.h"
#include "platform/Clock.h"
#include "protocol/WireFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <sched.h>
#include <sys/resource.h>

namespace brelvo_test {

// A message with the "upd:" header, `type`, and 32-bit big-endian `words`;
// `code` (an update request's product code) follows the words.
inline std::vector<uint8_t> message(int type, std::initializer_list<uint32_t> words = {},
                                    const std::string& code = "", const char* magic = "upd:")
{
    std::vector<uint8_t> d(12 + 4 * words.size() + code.size(), 0);
    std::memcpy(d.data(), magic, 4);
    d[4] = static_cast<uint8_t>(type);
    brelvo::wire::writeBe32(d.data() + 8, static_cast<uint32_t>(d.size() - 12));
    size_t at = 12;
    for (uint32_t w : words)
        brelvo::wire::writeBe32(d.data() + (at += 4) - 4, w);
    std::memcpy(d.data() + at, code.data(), code.size());
    return d;
}

inline std::vector<uint8_t> request(const std::string& code) { return message(0, {}, code); }

// Polls `done` until it holds or `seconds` pass; a safety net, not a timing.
inline bool waitUntil(const std::function<bool()>& done, int seconds = 30)
{
    for (int i = 0; i < seconds * 100 && !done(); ++i)
        brelvo::sleepMilliseconds(10);
    return done();
}

// In the child a failed check ends it; the parent reports the line.
#define CHILD_CHECK(cond)                                                              \
    do {                                                                               \
        if (!(cond)) {                                                                 \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ::_exit(1);                                                                \
        }                                                                              \
    } while (0)
constexpr int kChildSkipped = 77;

// Runs `body` in a child in a fresh network namespace with only loopback up
// (with a limited-broadcast route over it).
inline void inPrivateNetns(const std::function<void()>& body)
{
    // Reports of the servers the child starts go to a folder of its own.
    TempDir home;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("XDG_DATA_HOME", home.path().c_str(), 1);
        if (::unshare(CLONE_NEWNET) != 0 ||
            std::system("ip link set lo up && ip route add 255.255.255.255/32 dev lo src 127.0.0.1") != 0)
            ::_exit(kChildSkipped);
        body();
        std::fflush(nullptr);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kChildSkipped)
        GTEST_SKIP() << "no private network namespace here (needs root and ip), or no way to limit threads";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}

// Drops the child to nobody with no room for another thread; false when the
// limit does not bite here. raiseThreadLimit() undoes it.
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

} // namespace brelvo_test
