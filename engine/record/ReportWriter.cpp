// SPDX-License-Identifier: MIT
#include "record/ReportWriter.h"

#include <cerrno>

namespace brelvo {

ReportWriter::ReportWriter(RunReport::Target target, ProblemHandler onProblem, Thread::Death onThreadDeath)
    : report_(std::move(target)), onProblem_(std::move(onProblem)), onThreadDeath_(std::move(onThreadDeath))
{
    std::unique_lock<std::mutex> lock(mutex_);
    pending_ = true; // the first pass makes the file
    if (startThread())
        return;
    lock.unlock();
    sayThreadProblem();
    // No thread to be had: make the file here, where the run starts (never
    // a transfer thread), so its problems are still said at once.
    drain(true);
}

ReportWriter::~ReportWriter()
{
    bool running;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        pending_ = true;
        running = threadRunning_;
    }
    wake_.notify_one();
    if (!running)
        drain(false);
    // Also a thread that failed: it may still be saying so.
    thread_.join();
}

bool ReportWriter::startThread()
{
    if (!threadRunning_ &&
        thread_.start([this] { run(); }, "report", [this](const std::string& why) { died(why); }) == 0)
        threadRunning_ = true;
    return threadRunning_;
}

// The rows it left wait for the next flush or the destruction, which write
// them on their own thread, as when no thread could be had.
void ReportWriter::died(const std::string& why)
{
    struct Release {
        ReportWriter& w;
        ~Release()
        {
            {
                std::lock_guard<std::mutex> lock(w.mutex_);
                w.threadRunning_ = false;
                w.threadProblemSaid_ = true;
                w.flushServed_ = w.flushRequested_;
            }
            w.served_.notify_all();
        }
    } release{*this}; // said first, so a flush that returns finds it said
    if (onThreadDeath_)
        onThreadDeath_(why);
}

void ReportWriter::sayThreadProblem()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (threadProblemSaid_)
            return;
        threadProblemSaid_ = true;
    }
    if (onProblem_)
        onProblem_(std::string(), Error{EAGAIN, "starting the report thread; rows are written when the run ends"});
}

void ReportWriter::submit(JobSummary summary)
{
    bool noThread = false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        queue_.push_back(std::move(summary));
        ++submitted_;
        pending_ = true;
        if (!stopping_)
            noThread = !startThread(); // rows wait in the queue until one runs
    }
    wake_.notify_one();
    if (noThread)
        sayThreadProblem();
}

bool ReportWriter::flush()
{
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t target = submitted_;
    if (!threadRunning_) {
        lock.unlock();
        drain(false);
        lock.lock();
        return written_ >= target;
    }
    const uint64_t ticket = ++flushRequested_;
    pending_ = true;
    wake_.notify_one();
    served_.wait(lock, [&] { return flushServed_ >= ticket; });
    if (!threadRunning_) { // it failed meanwhile
        lock.unlock();
        drain(false);
        lock.lock();
    }
    return written_ >= target;
}

std::string ReportWriter::path() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return path_;
}

uint64_t ReportWriter::rowsWritten() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

uint64_t ReportWriter::rowsWaiting() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
}

void ReportWriter::run()
{
    bool first = true;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return pending_; });
        pending_ = false;
        const bool stop = stopping_;
        const uint64_t ticket = flushRequested_;
        lock.unlock();
        drain(first);
        first = false;
        lock.lock();
        flushServed_ = ticket;
        served_.notify_all();
        if (stop)
            return;
    }
}

void ReportWriter::drain(bool openEvenIfIdle)
{
    std::lock_guard<std::mutex> fileLock(fileMutex_);
    const auto publishPath = [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        path_ = report_.path();
    };
    if (openEvenIfIdle) {
        Error error;
        const bool opened = report_.open(&error);
        publishPath();
        if (!opened) {
            tell(report_.failedPath(), error);
            return;
        }
        failing_ = false;
    }
    for (;;) {
        JobSummary row;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty())
                return;
            row = queue_.front(); // a copy: submit() may grow the queue meanwhile
        }
        bool landed = false;
        Error error;
        const bool wrote = report_.write(row, &landed, &error);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            path_ = report_.path();
            if (landed) {
                queue_.pop_front();
                ++written_;
            }
        }
        if (!wrote) {
            tell(report_.failedPath(), error);
            if (!landed)
                return; // this row and those after it wait for the next try
        } else {
            failing_ = false;
        }
    }
}

void ReportWriter::tell(const std::string& path, const Error& error)
{
    if (failing_)
        return;
    failing_ = true;
    if (onProblem_)
        onProblem_(path, error);
}

} // namespace brelvo
