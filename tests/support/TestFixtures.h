#pragma once
// Helpers shared by the engine, tool and integration tests. Header-only and
// free of Qt so that every test binary can use it.
//
//   TempDir        a private folder removed with everything in it
//   waitFor        poll a condition until it holds or time runs out
//   NetnsEnv       what tests/support/with-netns.sh handed to the test
//   runProcess     run a child (e.g. the device simulator) and collect its output
//   ChildProcess   the same, started in the background and waited for later
//   StdoutCapture  redirect file descriptor 1 to read back console lines

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>

namespace brelvo_test {

// ---------------------------------------------------------------- files

inline void removeTree(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR* d = opendir(path.c_str())) {
            while (dirent* e = readdir(d)) {
                std::string n = e->d_name;
                if (n == "." || n == "..")
                    continue;
                removeTree(path + "/" + n);
            }
            closedir(d);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

inline std::vector<uint8_t> readFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A fresh folder under $TMPDIR (or /tmp), removed with its contents when the
// object goes away.
class TempDir {
public:
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/brelvo-test-XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data()))
            throw std::runtime_error("mkdtemp failed: " + std::string(std::strerror(errno)));
        path_ = buf.data();
    }
    ~TempDir() { removeTree(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    std::string writeBytes(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        std::string p = file(name);
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + p);
        return p;
    }
    std::string writeText(const std::string& name, const std::string& text) const
    {
        return writeBytes(name, std::vector<uint8_t>(text.begin(), text.end()));
    }
    std::string makeDir(const std::string& name) const
    {
        std::string p = file(name);
        mkdir(p.c_str(), 0755);
        return p;
    }

private:
    std::string path_;
};

// Deterministic pseudo-random bytes (xorshift), so a failing byte position is
// reproducible from the seed.
inline std::vector<uint8_t> patternBytes(size_t n, uint32_t seed = 0x12345678u)
{
    std::vector<uint8_t> v(n);
    uint32_t x = seed ? seed : 1u;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v[i] = static_cast<uint8_t>(x >> 24);
    }
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

// ---------------------------------------------------------------- waiting

template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds timeout,
             std::chrono::milliseconds step = std::chrono::milliseconds(10))
{
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (pred())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return pred();
        std::this_thread::sleep_for(step);
    }
}

// ---------------------------------------------------------------- namespaces

// What with-netns.sh handed to this process. `usable()` is false when the
// test must skip; `skipReason` then says why.
struct NetnsEnv {
    bool active = false;
    std::string skipReason;
    std::string toolAddr;
    std::string devNs;
    std::vector<std::string> devAddrs;
    std::string devsim;

    bool usable() const { return active && skipReason.empty(); }

    static NetnsEnv fromEnvironment()
    {
        NetnsEnv e;
        auto get = [](const char* n) {
            const char* v = std::getenv(n);
            return std::string(v ? v : "");
        };
        e.skipReason = get("BRELVO_NETNS_SKIP");
        e.active = get("BRELVO_NETNS") == "1";
        e.toolAddr = get("BRELVO_TOOL_ADDR");
        e.devNs = get("BRELVO_DEV_NS");
        e.devsim = get("BRELVO_DEVSIM");
        std::istringstream in(get("BRELVO_DEV_ADDRS"));
        for (std::string a; in >> a;)
            e.devAddrs.push_back(a);
        if (e.skipReason.empty() && !e.active)
            e.skipReason = "not running inside tests/support/with-netns.sh (no private network namespace)";
        else if (e.skipReason.empty() && (e.toolAddr.empty() || e.devNs.empty()))
            e.skipReason = "with-netns.sh environment is incomplete";
        return e;
    }
};

// ---------------------------------------------------------------- processes

struct ProcessResult {
    int exitCode = -1;      // exit status, or 128 + signal number
    bool timedOut = false;
    std::string output;     // stdout and stderr, interleaved
};

// A child whose stdout and stderr are collected through one pipe. The
// destructor kills and reaps a child that is still running.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv)
    {
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        pid_ = fork();
        if (pid_ < 0) {
            close(fds[0]);
            close(fds[1]);
            throw std::runtime_error("fork failed");
        }
        if (pid_ == 0) {
            setpgid(0, 0);
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            close(fds[0]);
            close(fds[1]);
            execvp(args[0], args.data());
            const char msg[] = "exec failed\n";
            (void)!write(2, msg, sizeof msg - 1);
            _exit(127);
        }
        close(fds[1]);
        fd_ = fds[0];
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
        reader_ = std::thread([this] { readAll(); });
    }
    ~ChildProcess()
    {
        if (pid_ > 0 && !reaped_) {
            kill(-pid_, SIGKILL);
            kill(pid_, SIGKILL);
            int st;
            waitpid(pid_, &st, 0);
        }
        stopReading_ = true;
        if (reader_.joinable())
            reader_.join();
        if (fd_ >= 0)
            close(fd_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Waits up to `timeout`; on time-out the child (and its group) is killed.
    ProcessResult wait(std::chrono::milliseconds timeout)
    {
        ProcessResult r;
        auto end = std::chrono::steady_clock::now() + timeout;
        int st = 0;
        for (;;) {
            pid_t p = waitpid(pid_, &st, WNOHANG);
            if (p == pid_)
                break;
            if (std::chrono::steady_clock::now() >= end) {
                r.timedOut = true;
                kill(-pid_, SIGKILL);
                kill(pid_, SIGKILL);
                waitpid(pid_, &st, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        reaped_ = true;
        // The reader finishes once every writer of the pipe has gone.
        auto drainEnd = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!eof_ && std::chrono::steady_clock::now() < drainEnd)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        stopReading_ = true;
        if (reader_.joinable())
            reader_.join();
        r.exitCode = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        r.output = output_;
        return r;
    }

private:
    void readAll()
    {
        char buf[4096];
        while (!stopReading_) {
            pollfd pfd{fd_, POLLIN, 0};
            int n = poll(&pfd, 1, 20);
            if (n <= 0)
                continue;
            ssize_t got = read(fd_, buf, sizeof buf);
            if (got > 0)
                output_.append(buf, static_cast<size_t>(got));
            else if (got == 0) {
                eof_ = true;
                return;
            }
        }
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    bool reaped_ = false;
    std::atomic<bool> stopReading_{false};
    std::atomic<bool> eof_{false};
    std::string output_;
    std::thread reader_;
};

inline ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout)
{
    ChildProcess child(argv);
    return child.wait(timeout);
}

// The argument list that runs `argv` inside the device namespace.
inline std::vector<std::string> inDeviceNamespace(const NetnsEnv& env, std::vector<std::string> argv)
{
    std::vector<std::string> full{"ip", "netns", "exec", env.devNs};
    full.insert(full.end(), argv.begin(), argv.end());
    return full;
}

// ---------------------------------------------------------------- stdout

// Sends file descriptor 1 (printf and std::cout alike) to a temporary file
// until stop() or destruction; text() reads what was written so far.
class StdoutCapture {
public:
    StdoutCapture()
    {
        std::fflush(stdout);
        std::cout.flush();
        char name[] = "/tmp/brelvo-stdout-XXXXXX";
        fd_ = mkstemp(name);
        if (fd_ < 0)
            throw std::runtime_error("mkstemp failed");
        path_ = name;
        saved_ = dup(1);
        dup2(fd_, 1);
    }
    ~StdoutCapture()
    {
        stop();
        if (fd_ >= 0)
            close(fd_);
        unlink(path_.c_str());
    }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    void stop()
    {
        if (saved_ < 0)
            return;
        std::fflush(stdout);
        std::cout.flush();
        dup2(saved_, 1);
        close(saved_);
        saved_ = -1;
    }
    std::string text() const
    {
        std::fflush(stdout);
        std::cout.flush();
        std::ifstream in(path_, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    bool contains(const std::string& needle) const { return text().find(needle) != std::string::npos; }

private:
    int fd_ = -1;
    int saved_ = -1;
    std::string path_;
};

} // namespace brelvo_test
