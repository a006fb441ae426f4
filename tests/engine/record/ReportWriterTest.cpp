// SPDX-License-Identifier: MIT
// The report's writer thread: rows from many jobs in order, and no row lost
// or torn when the folder is in the way, the disk fills, the process is
// killed or no thread can be had.
#include "ReportRows.h"
#include "platform/AppendFile.h"
#include "record/ReportWriter.h"

#include <csignal>
#include <sys/stat.h>
#include <thread>

using namespace brelvo;
using namespace brelvo_test;

TEST(ReportWriter, RowsInOrderFromConcurrentSubmittersEachSynced)
{
    TempDir dir;
    ProblemLog problems;
    std::string path;
    static std::atomic<int> syncs{0};
    AppendFile::setSyncFunction([](int) { return ++syncs, 0; }); // counted, not done: the count is the point
    {
        ReportWriter writer({dir.file("reports"), "", 1796607665123}, problems.handler());
        std::vector<std::thread> threads;
        for (uint32_t t = 0; t < 4; ++t)
            threads.emplace_back([&writer, t] {
                for (uint32_t i = 0; i < 100; ++i)
                    writer.submit(summary(t * 1000 + i));
            });
        for (auto& th : threads)
            th.join();
        EXPECT_TRUE(writer.flush() && writer.rowsWritten() == 400u && writer.rowsWaiting() == 0u)
            << writer.rowsWritten();
        path = writer.path();
        writer.submit(summary(9999)); // left to the destructor
    }
    AppendFile::setSyncFunction(nullptr);
    EXPECT_EQ(syncs.load(), 1 + 401) << "the header and every row on disk before the next is written";
    EXPECT_EQ(problems.count(), 0u);
    const std::vector<std::string> ids = rowIds(path);
    ASSERT_EQ(ids.size(), 401u);
    EXPECT_EQ(ids.back(), "9999");
    int next[4] = {0, 0, 0, 0}; // each submitter's rows in its own order
    for (size_t i = 0; i + 1 < ids.size(); ++i) {
        const int id = std::stoi(ids[i]);
        EXPECT_EQ(id % 1000, next[id / 1000]++) << i;
    }
}

TEST(ReportWriter, UnwritableFolderIsSaidOnceAndRowsWaitForIt)
{
    TempDir dir;
    dir.writeText("file.txt", "a file where a folder should be");
    ProblemLog problems;
    ReportWriter writer({dir.file("file.txt/reports"), "", 1796607665123}, problems.handler());
    for (uint32_t i = 1; i <= 3; ++i)
        writer.submit(summary(i));
    EXPECT_FALSE(writer.flush());
    ASSERT_EQ(problems.count(), 1u);
    EXPECT_TRUE(problems.seen[0].code == ENOTDIR && problems.seen[0].path == dir.file("file.txt"))
        << problems.seen[0].path;
    EXPECT_TRUE(writer.rowsWaiting() == 3u && writer.path() == "") << writer.rowsWaiting() << writer.path();

    // Made writable: the waiting rows go first, in order.
    ASSERT_EQ(std::remove(dir.file("file.txt").c_str()), 0);
    writer.submit(summary(4));
    EXPECT_TRUE(writer.flush() && problems.count() == 1u);
    EXPECT_EQ(rowIds(writer.path()), (std::vector<std::string>{"1", "2", "3", "4"}));
}

#ifndef _WIN32 // a file size limit and a killed child need Linux
TEST(ReportWriter, DiskFullMidRunLosesNoRowAndLeavesNoFragment)
{
    TempDir dir;
    const std::string path = dir.file("limited.csv");
    inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        ProblemLog problems;
        ReportWriter writer({"", path, 0}, problems.handler());
        writer.submit(summary(1));
        CHILD_CHECK(writer.flush());
        rlimit lim{static_cast<rlim_t>(std::filesystem::file_size(path)) + 40, RLIM_INFINITY}; // less than a row
        CHILD_CHECK(::setrlimit(RLIMIT_FSIZE, &lim) == 0);
        for (uint32_t id : {2u, 3u}) {
            writer.submit(summary(id));
            CHILD_CHECK(!writer.flush());
        }
        CHILD_CHECK(problems.count() == 1 && problems.seen[0].code == ENOSPC && problems.seen[0].path == path);
        lim.rlim_cur = RLIM_INFINITY;
        CHILD_CHECK(::setrlimit(RLIMIT_FSIZE, &lim) == 0);
        writer.submit(summary(4));
        CHILD_CHECK(writer.flush() && problems.count() == 1);
    });
    EXPECT_EQ(rowIds(path), (std::vector<std::string>{"1", "2", "3", "4"}));
    for (const auto& row : reportRows(path))
        EXPECT_NE(row.at(3), "") << "a row written again came out empty";
}

TEST(ReportWriter, KilledWhileWritingKeepsEveryEarlierRow)
{
    for (int delayMs : {0, 1, 3, 10}) {
        TempDir dir;
        const std::string path = dir.file("killed.csv");
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(ready[0]);
            ReportWriter writer({"", path, 0});
            writer.submit(summary(1));
            writer.submit(summary(2));
            CHILD_CHECK(writer.flush() && ::write(ready[1], "x", 1) == 1);
            for (uint32_t id = 3;; ++id) { // until killed
                writer.submit(summary(id, "=\"row\"," + std::to_string(id)));
                writer.flush();
            }
        }
        ::close(ready[1]);
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        brelvo::sleepMilliseconds(delayMs);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << status;

        const std::vector<std::string> ids = rowIds(path);
        ASSERT_GE(ids.size(), 2u) << delayMs;
        for (size_t i = 0; i < ids.size(); ++i)
            ASSERT_EQ(ids[i], std::to_string(i + 1)) << "delay " << delayMs << ", row " << i;
    }
}
#endif

TEST(ReportWriter, WithoutAThreadTheFileIsMadeAtOnceAndRowsWrittenWhenFlushed)
{
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const std::string path = dir.file("nothread.csv");
    inChild(
        [&] {
            if (!dropToNobodyWithoutThreads())
                ::_exit(kChildSkipped);
            ProblemLog problems;
            {
                ReportWriter writer({"", path, 0}, problems.handler());
                CHILD_CHECK(writer.path() == path); // made before the first row, to tell its problems now
                writer.submit(summary(1));
                writer.submit(summary(2));
                CHILD_CHECK(writer.flush());
                writer.submit(summary(3)); // left to the destructor
            }
            CHILD_CHECK(problems.count() == 1 && problems.seen[0].code == EAGAIN);
        },
        "cannot take threads away here (needs root)");
    if (IsSkipped())
        return;
    EXPECT_EQ(rowIds(path), (std::vector<std::string>{"1", "2", "3"}));
}

// A writer thread that throws (here: in the problem handler) says so, and
// neither flush nor the end waits for it: they write its rows themselves.
TEST(ReportWriter, AWriterThreadThatDiesIsSaidAndFlushWritesItsRows)
{
    TempDir dir;
    dir.writeText("file.txt", "a file where a folder should be");
    std::string died;
    std::string path;
    {
        ReportWriter writer(
            {dir.file("file.txt/reports"), "", 1796607665123},
            [](const std::string&, const Error&) { throw std::runtime_error("handler failed"); },
            [&](const std::string& why) { died = why; });
        writer.submit(summary(1));
        EXPECT_TRUE(!writer.flush() && died == "handler failed") << died;
        ASSERT_EQ(std::remove(dir.file("file.txt").c_str()), 0);
        writer.submit(summary(2));
        EXPECT_TRUE(writer.flush());
        path = writer.path();
        writer.submit(summary(3)); // left to the destructor
    }
    EXPECT_EQ(rowIds(path), (std::vector<std::string>{"1", "2", "3"}));
}
