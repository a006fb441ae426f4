#pragma once
// Helpers shared by the integration and reliability tests and the benchmarks.
// Header-only and free of Qt.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace brelvo_test {

inline std::vector<uint8_t> readFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An empty file of our own under $TMPDIR (or /tmp), or a folder when `dir`.
inline std::string makeTemp(const std::string& tag, bool dir = false)
{
    const char* base = std::getenv("TMPDIR");
    std::string name = std::string(base && *base ? base : "/tmp") + "/brelvo-" + tag + "-XXXXXX";
    int fd = dir ? (mkdtemp(name.data()) ? 0 : -1) : mkstemp(name.data());
    if (fd < 0)
        throw std::runtime_error("cannot make a temporary " + name);
    if (!dir)
        close(fd);
    return name;
}

// A fresh folder, removed with its contents.
class TempDir {
public:
    TempDir() : path_(makeTemp("test", true)) {}
    ~TempDir() { std::error_code ec; std::filesystem::remove_all(path_, ec); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string writeBytes(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        if (!out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size())))
            throw std::runtime_error("cannot write " + file(name));
        return file(name);
    }
    std::string writeText(const std::string& name, const std::string& s) const { return writeBytes(name, {s.begin(), s.end()}); }

private:
    std::string path_;
};

// Deterministic pseudo-random bytes (xorshift): a failing offset is reproducible.
inline std::vector<uint8_t> patternBytes(size_t n, uint32_t seed = 0x12345678u)
{
    std::vector<uint8_t> v(n);
    uint32_t x = seed ? seed : 1u;
    for (auto& b : v)
        x ^= x << 13, x ^= x >> 17, x ^= x << 5, b = uint8_t(x >> 24);
    return v;
}

// Sum of the little-endian 32-bit words over the whole words of `bytes`.
inline uint32_t wordSum(const std::vector<uint8_t>& bytes)
{
    uint32_t s = 0;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
        s += uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8 | uint32_t(bytes[i + 2]) << 16 |
             uint32_t(bytes[i + 3]) << 24;
    return s;
}

template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds timeout, std::chrono::milliseconds step = std::chrono::milliseconds(10))
{
    for (auto end = std::chrono::steady_clock::now() + timeout; !pred(); std::this_thread::sleep_for(step))
        if (std::chrono::steady_clock::now() >= end)
            return pred();
    return true;
}

// Writes `stem`.bin with `image` and its version file for product ABCDEFG
// (with the image's checksum) into `dir`; the image's path.
template <class Dir>
std::string writeFirmware(const Dir& dir, const std::string& stem, const std::vector<uint8_t>& image)
{
    char sum[64];
    std::snprintf(sum, sizeof sum, "checksum=0x%08x\n", wordSum(image));
    dir.writeText(stem + "-ver.bin", std::string("product=ABCDEFG\n") + sum);
    return dir.writeBytes(stem + ".bin", image);
}

// True once a socket of this namespace holds UDP `port`, read from the
// kernel's table: binding the port to find out would race with its owner.
inline bool udpPortBound(uint16_t port)
{
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, ":%04X", static_cast<unsigned>(port));
    std::ifstream in("/proc/self/net/udp");
    for (std::string line, slot, local; std::getline(in, line);) {
        std::istringstream(line) >> slot >> local;
        if (local.size() > 5 && local.compare(local.size() - 5, 5, suffix) == 0)
            return true;
    }
    return false;
}

// What with-netns.sh handed to this process; when !usable() the test skips.
struct NetnsEnv {
    std::string skipReason, toolAddr, devNs, devsim;
    std::vector<std::string> devAddrs;

    bool usable() const { return skipReason.empty(); }
    static NetnsEnv fromEnvironment()
    {
        auto get = [](const char* n) { return std::string(std::getenv(n) ? std::getenv(n) : ""); };
        NetnsEnv e{get("BRELVO_NETNS_SKIP"), get("BRELVO_TOOL_ADDR"), get("BRELVO_DEV_NS"), get("BRELVO_DEVSIM"), {}};
        std::istringstream in(get("BRELVO_DEV_ADDRS"));
        for (std::string a; in >> a;)
            e.devAddrs.push_back(a);
        if (e.skipReason.empty() && (get("BRELVO_NETNS") != "1" || e.toolAddr.empty() || e.devNs.empty()))
            e.skipReason = "not running inside tests/support/with-netns.sh (no private network namespace)";
        return e;
    }
};

struct ProcessResult {
    int exitCode = -1; // exit status, or 128 + signal number
    bool timedOut = false;
    std::string output; // stdout and stderr, interleaved
};

inline std::string readText(const std::string& path)
{
    auto b = readFileBytes(path);
    return std::string(b.begin(), b.end());
}

// A child in its own process group writing stdout and stderr to a file (no
// pipe a lingering grandchild could hold open). Destruction kills and reaps it.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv) : log_(makeTemp("child"))
    {
        std::vector<char*> args(argv.size() + 1, nullptr);
        std::transform(argv.begin(), argv.end(), args.begin(), [](const std::string& a) { return const_cast<char*>(a.c_str()); });
        if ((pid_ = fork()) == 0) {
            setpgid(0, 0);
            int fd = open(log_.c_str(), O_WRONLY);
            dup2(fd, 1), dup2(fd, 2);
            execvp(args[0], args.data());
            _exit(127);
        }
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
    }
    ~ChildProcess()
    {
        if (!reaped_)
            wait(std::chrono::milliseconds(0));
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

inline std::vector<std::string> inDeviceNamespace(const NetnsEnv& env, std::vector<std::string> argv)
{
    argv.insert(argv.begin(), {"ip", "netns", "exec", env.devNs});
    return argv;
}

// Sends file descriptor 1 (printf and std::cout alike) to a file until stop()
// or destruction; text() reads what was written so far.
class StdoutCapture {
public:
    StdoutCapture() : path_(makeTemp("stdout"))
    {
        flush();
        int fd = open(path_.c_str(), O_WRONLY);
        saved_ = dup(1), dup2(fd, 1), close(fd);
    }
    ~StdoutCapture() { stop(), unlink(path_.c_str()); }

    void stop()
    {
        flush();
        if (saved_ >= 0)
            dup2(saved_, 1), close(saved_), saved_ = -1;
    }
    std::string text() const { return flush(), readText(path_); }
    bool contains(const std::string& needle) const { return text().find(needle) != std::string::npos; }

private:
    static void flush() { std::cout.flush(), std::fflush(stdout); }
    std::string path_;
    int saved_ = -1;
};

} // namespace brelvo_test
