// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Error.h"
#include "platform/Thread.h"
#include "record/JobSummary.h"
#include "record/RunReport.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace brelvo {

// Writes the run report on its own thread, so no disk wait reaches a
// transfer: submit() only queues, and rows keep their order. The file is
// made at once, so an unwritable folder shows when the run starts. A
// failure is said once until rows get through again; the failed row and
// those after it are tried again on each submit, flush and destruction, so
// none is lost while the process lives (a full disk freed, a folder fixed).
class ReportWriter {
public:
    // `path`: the folder or file at fault, or empty; the error: an errno and
    // the step. Called on the writer thread, or on the caller's when no
    // thread can be had: it must be thread-safe.
    using ProblemHandler = std::function<void(const std::string& path, const Error& error)>;

    // `onThreadDeath`: the writer thread failed (called on it); the rows
    // left are written on flush and destruction instead.
    explicit ReportWriter(RunReport::Target target, ProblemHandler onProblem = {},
                          Thread::Death onThreadDeath = {});
    // Writes what is queued (one last try), then joins the thread.
    // `onProblem` may be called until it returns.
    ~ReportWriter();
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // Queues one job's row. Never waits for the disk.
    void submit(JobSummary summary);
    // Waits until every row submitted before the call is on disk, or was
    // tried and failed: true when they are all on disk.
    bool flush();

    // The report file once it was made; empty before.
    std::string path() const;
    uint64_t rowsWritten() const;
    // Queued, or kept after a failure.
    uint64_t rowsWaiting() const;

private:
    void run();
    void died(const std::string& why);
    // Writes queued rows until the queue is empty or a row fails. Only one
    // thread at a time (fileMutex_).
    void drain(bool openEvenIfIdle);
    void tell(const std::string& path, const Error& error);
    // With mutex_ held: false when no thread runs.
    bool startThread();
    // Without mutex_ held; says it once.
    void sayThreadProblem();

    RunReport report_;
    ProblemHandler onProblem_;
    Thread::Death onThreadDeath_;
    std::mutex fileMutex_;   // report_ and failing_
    bool failing_ = false;   // a failure was said and nothing got through since

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable served_;
    std::deque<JobSummary> queue_;
    bool pending_ = false;   // the thread has work or a flush to serve
    bool stopping_ = false;
    bool threadRunning_ = false;
    bool threadProblemSaid_ = false;
    uint64_t submitted_ = 0;
    uint64_t written_ = 0;
    uint64_t flushRequested_ = 0;
    uint64_t flushServed_ = 0;
    std::string path_;
    Thread thread_;
};

} // namespace brelvo
