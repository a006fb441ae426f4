// SPDX-License-Identifier: MIT
#include "platform/Console.h"
#include "platform/DebugOutput.h"
#include "platform/Thread.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>
#include <vector>
#ifdef _WIN32
#include <io.h>
#include <unistd.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace brelvo {

namespace {

// 1 when `fd` takes more output within `ms`, 0 when not yet, -1 when it
// never will (closed, or its reader gone).
int roomIn(int fd, int ms)
{
#ifdef _WIN32
    // Windows cannot tell how much a pipe takes before a write blocks: a
    // reader that stalls can hold up the writer there.
    (void)ms;
    return _get_osfhandle(fd) == -1 ? -1 : 1;
#else
    pollfd p{fd, POLLOUT, 0};
    int r;
    do
        r = ::poll(&p, 1, ms);
    while (r < 0 && errno == EINTR);
    if (r < 0 || (p.revents & (POLLERR | POLLNVAL)))
        return -1;
    return (p.revents & POLLOUT) ? 1 : 0;
#endif
}

// One whole piece of text to `fd` (1), or nothing when the reader has no
// room for it (0) or the output failed (-1): a terminal that does not keep
// up, or a pipe nobody reads, must not hold up the thread that writes (the
// listener, which Stop and Exit wait for).
int writeAll(int fd, const std::string& text)
{
    const int room = roomIn(fd, 0);
    if (room <= 0)
        return room;
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return 1;
}

struct Output {
    std::mutex mutex;
    ConsoleSink sink; // empty: the standard streams
};

Output& output()
{
    static Output o;
    return o;
}

// As writeAll; a sink takes every piece.
int emit(ConsoleChannel channel, const std::string& text)
{
    Output& o = output();
    std::lock_guard<std::mutex> lock(o.mutex);
    if (!o.sink)
        return writeAll(channel == ConsoleChannel::Debug ? STDERR_FILENO : STDOUT_FILENO, text);
    o.sink(channel, text);
    return 1;
}

} // namespace

void setConsoleSink(ConsoleSink sink)
{
    Output& o = output();
    std::lock_guard<std::mutex> lock(o.mutex);
    o.sink = std::move(sink);
}

void consoleWrite(const std::string& text) { emit(ConsoleChannel::Lines, text); }

void consolePrintf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n > 0) {
        std::vector<char> buf(static_cast<size_t>(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), format, args);
        consoleWrite(std::string(buf.data(), static_cast<size_t>(n)));
    }
    va_end(args);
}

namespace {

// The transfer thread reports every write-progress message here and must
// never wait for a sink (a reader of standard error) that stopped reading:
// a thread of its own writes, and past a limit lines are dropped, not held.
class DebugLog {
public:
    ~DebugLog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        ready_.notify_one();
        writer_.join();
    }

    void add(const std::string& text)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (lines_.size() >= kMaxLines || !failure_.empty())
                return;
            lines_.push_back(text);
            if (!writer_.joinable() &&
                writer_.start([this] { loop(); }, "console", [this](const std::string& why) { died(why); }) != 0) {
                lines_.clear();
                return;
            }
        }
        ready_.notify_one();
    }

    std::string failure()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return failure_;
    }

private:
    static constexpr size_t kMaxLines = 10000;

    void loop()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ready_.wait(lock, [this] { return quit_ || !lines_.empty(); });
            if (lines_.empty() && quit_)
                return;
            std::deque<std::string> batch;
            batch.swap(lines_);
            lock.unlock();
            // This thread may wait for the reader, but outside the console's
            // lock, and not past the end of the process.
            for (const std::string& line : batch) {
                while (emit(ConsoleChannel::Debug, line) == 0 && !quit_.load() && roomIn(STDERR_FILENO, 100) >= 0) {
                }
            }
            lock.lock();
        }
    }

    // Said on standard error too: the sink may be what failed.
    void died(const std::string& why)
    {
        writeAll(STDERR_FILENO, "brelvo: the console thread failed: " + why + "\n");
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = why.empty() ? "?" : why;
        lines_.clear();
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::string> lines_;
    std::atomic<bool> quit_{false};
    std::string failure_;
    Thread writer_;
};

DebugLog& debugLog()
{
    // Made after the output, so it ends first: its writer writes through it.
    output();
    static DebugLog log;
    return log;
}

} // namespace

void debugOutput(const std::string& text) { debugLog().add(text); }

std::string consoleFailure() { return debugLog().failure(); }

} // namespace brelvo
