// The run report: its rows, its file names, and what it does when the
// disk, the folder or the process fails.
#include "EngineTestSupport.h"
#include "platform/AddressText.h"
#include "platform/XdgPaths.h"
#include "record/ReportWriter.h"
#include "record/RunReport.h"
#include "record/TextSafety.h"

#include <csignal>
#include <sys/stat.h>
#include <thread>

using namespace brelvo;
using brelvo_test::TempDir;
using Rows = std::vector<std::vector<std::string>>;

namespace {

// Sets (or unsets) one environment variable for a scope.
class EnvScope {
public:
    EnvScope(const char* name, const char* value) : name_(name)
    {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        old_ = old ? old : "";
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~EnvScope() { had_ ? ::setenv(name_.c_str(), old_.c_str(), 1) : ::unsetenv(name_.c_str()); }

private:
    std::string name_, old_;
    bool had_;
};

std::string readAll(const std::string& path)
{
    const auto bytes = brelvo_test::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// RFC 4180 with CRLF records, each on one physical line. False when the
// text is not such a file (a cut-off record, a bare CR or LF, a stray
// quote), so a torn row cannot pass.
bool parseCsv(const std::string& text, Rows* rows)
{
    rows->clear();
    size_t i = 0;
    while (i < text.size()) {
        const size_t end = text.find("\r\n", i);
        if (end == std::string::npos)
            return false;
        const std::string line = text.substr(i, end - i);
        if (line.find_first_of("\r\n") != std::string::npos)
            return false;
        std::vector<std::string> fields(1);
        bool quoted = false, inQuotes = false;
        for (size_t k = 0; k < line.size(); ++k) {
            const char c = line[k];
            if (inQuotes) {
                if (c != '"')
                    fields.back() += c;
                else if (k + 1 < line.size() && line[k + 1] == '"')
                    fields.back() += '"', ++k;
                else
                    inQuotes = false;
            } else if (c == ',') {
                fields.emplace_back();
                quoted = false;
            } else if (c == '"' && fields.back().empty() && !quoted) {
                inQuotes = quoted = true;
            } else if (c == '"' || quoted) {
                return false;
            } else {
                fields.back() += c;
            }
        }
        if (inQuotes)
            return false;
        rows->push_back(fields);
        i = end + 2;
    }
    return true;
}

Rows parsedFile(const std::string& path)
{
    Rows rows;
    EXPECT_TRUE(parseCsv(readAll(path), &rows)) << readAll(path);
    return rows;
}

const std::vector<std::string> kHeader{"started", "finished", "device", "product_code", "lent_address",
                                       "image_file", "bytes_sent", "checksum", "options", "configuration_file",
                                       "result_code", "result_text", "blocks_resent", "seconds"};

// A row whose job id sits in blocks_resent, to tell rows apart.
JobSummary summary(uint32_t id, const std::string& code = "ABCDEFG")
{
    JobSummary s;
    s.jobId = id;
    s.startedMs = 1796607665123;           // 2026-12-07T01:41:05.123Z
    s.finishedMs = s.startedMs + 12345;
    s.deviceAddress = addressFromText("10.213.7.50");
    s.devicePort = hostToNet16(6000);
    s.productCode = code;
    s.lentAddress = addressFromText("10.213.7.200");
    s.imagePath = "/srv/fw/kvx_ABCDEFG_V2.bin";
    s.bytesSent = 1048576;
    s.checksum = 0xdeadbeef;
    s.checksumKnown = true;
    s.options = 1;
    s.resultCode = 9;
    s.blocksResent = id;
    s.seconds = 12.345;
    return s;
}

// The blocks_resent cells of the data rows: which rows, in which order.
std::vector<std::string> rowIds(const Rows& rows)
{
    std::vector<std::string> ids;
    for (size_t r = 1; r < rows.size(); ++r)
        ids.push_back(rows[r].size() == kHeader.size() ? rows[r][12] : "torn");
    return ids;
}

// Problems told by a writer, from any thread.
struct ProblemLog {
    std::mutex mutex;
    std::vector<RunReport::Problem> seen;
    ReportWriter::ProblemHandler handler()
    {
        return [this](const RunReport::Problem& p) {
            std::lock_guard<std::mutex> lock(mutex);
            seen.push_back(p);
        };
    }
    size_t count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return seen.size();
    }
};

// Runs `body` in a forked child; its CHILD_CHECKs fail the test.
void inChild(const std::function<void()>& body, bool* skipped = nullptr)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (skipped)
        *skipped = WIFEXITED(status) && WEXITSTATUS(status) == brelvo_test::kChildSkipped;
    if (!skipped || !*skipped) {
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    }
}

} // namespace

TEST(RunReport, RowsOfARunFieldByField)
{
    EnvScope tz("TZ", "CST-8");
    TempDir dir;
    JobSummary ok = summary(0);
    ok.configPath = "/home/op/factory.cfg";
    ok.options = 3;
    JobSummary checkFailed = summary(4);
    checkFailed.resultCode = 7;
    checkFailed.checksum = 0x0000abcd;
    checkFailed.seconds = 3.0005;
    JobSummary timedOut = summary(977);
    timedOut.resultCode = 14;
    timedOut.lentAddress = 0;
    timedOut.bytesSent = 3072;
    timedOut.checksumKnown = false;
    timedOut.finishedMs = timedOut.startedMs + 40000;
    timedOut.seconds = 40;

    RunReport report({"", dir.file("run.csv"), 0});
    for (const JobSummary& s : {ok, checkFailed, timedOut})
        ASSERT_EQ(report.write(s), 0) << report.lastProblem().detail;
    const Rows rows = parsedFile(dir.file("run.csv"));
    const Rows want{
        kHeader,
        {"2026-12-07T09:41:05.123+08:00", "2026-12-07T09:41:17.468+08:00", "10.213.7.50:6000", "ABCDEFG",
         "10.213.7.200", "/srv/fw/kvx_ABCDEFG_V2.bin", "1048576", "0xdeadbeef", "3", "/home/op/factory.cfg", "9",
         "Update Complete!", "0", "12.345"},
        {"2026-12-07T09:41:05.123+08:00", "2026-12-07T09:41:17.468+08:00", "10.213.7.50:6000", "ABCDEFG",
         "10.213.7.200", "/srv/fw/kvx_ABCDEFG_V2.bin", "1048576", "0x0000abcd", "1", "", "7",
         "Verification Failed!", "4", "3.001"},
        {"2026-12-07T09:41:05.123+08:00", "2026-12-07T09:41:45.123+08:00", "10.213.7.50:6000", "ABCDEFG", "",
         "/srv/fw/kvx_ABCDEFG_V2.bin", "3072", "", "1", "", "14", "Timeout!", "977", "40.000"},
    };
    ASSERT_EQ(rows.size(), want.size());
    for (size_t r = 0; r < want.size(); ++r)
        for (size_t c = 0; c < kHeader.size(); ++c)
            EXPECT_EQ(rows[r].at(c), want[r][c]) << "row " << r << ", " << kHeader[c];
}

TEST(RunReport, HostileProductCodesStayInTheirCell)
{
    TempDir dir;
    const std::pair<std::string, std::string> cases[] = {
        {"=1+1", "'=1+1"},
        {"+1", "'+1"},
        {"-1", "'-1"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tX", "'\\tX"},
        {"a,b\"c", "a,b\"c"},
        {"CR\rLF\nCRLF\r\n", "CR\\rLF\\nCRLF\\r\\n"},
        {"\xff\xfe", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xC0\xAF\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xE2\x80\xAE" "GFEDCBA", "\\u202eGFEDCBA"},
        {std::string("A\0B", 3), "A\\x00B"},
        {std::string(63, '"'), std::string(63, '"')},
    };
    RunReport report({"", dir.file("hostile.csv"), 0});
    for (const auto& c : cases)
        ASSERT_EQ(report.write(summary(1, c.first)), 0);
    report.close();
    const std::string text = readAll(dir.file("hostile.csv"));
    EXPECT_TRUE(isValidUtf8(text));
    const Rows rows = parsedFile(dir.file("hostile.csv"));
    ASSERT_EQ(rows.size(), std::size(cases) + 1);
    for (size_t i = 0; i < std::size(cases); ++i) {
        ASSERT_EQ(rows[i + 1].size(), kHeader.size()) << i;
        EXPECT_EQ(rows[i + 1][3], cases[i].second) << i;
        EXPECT_EQ(rows[i + 1][4], "10.213.7.200") << i; // the cells after it did not move
    }
}

TEST(RunReport, NewFileNamesNeverOverwrite)
{
    EnvScope tz("TZ", "CST-8");
    TempDir dir;
    EnvScope data("XDG_DATA_HOME", dir.file("data").c_str());
    const std::string folder = dir.file("data/brelvo-tool/reports");
    EXPECT_EQ(RunReport::defaultFolder(), folder);
    const mode_t oldMask = ::umask(022);
    const int64_t start = 1796607665123; // 09:41:05 at +08:00
    ASSERT_EQ(makeDirectories(folder, 0755), 0);
    dir.writeText("data/brelvo-tool/reports/2026-12-07_09-41-05.csv", "keep");

    RunReport second({"", "", start}), third({"", "", start + 876});
    ASSERT_EQ(second.open(), 0) << second.lastProblem().detail;
    ASSERT_EQ(third.open(), 0);
    ::umask(oldMask);
    EXPECT_EQ(second.path(), folder + "/2026-12-07_09-41-05_2.csv");
    EXPECT_EQ(third.path(), folder + "/2026-12-07_09-41-05_3.csv");
    EXPECT_EQ(readAll(folder + "/2026-12-07_09-41-05.csv"), "keep");
    EXPECT_EQ(readAll(second.path()), RunReport::headerLine());
    struct stat st{};
    ASSERT_EQ(::stat(third.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(::stat(dir.file("data/brelvo-tool").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    ASSERT_EQ(second.write(summary(2)), 0);
    EXPECT_EQ(rowIds(parsedFile(second.path())), std::vector<std::string>{"2"});
    EXPECT_EQ(rowIds(parsedFile(third.path())), std::vector<std::string>{});
}

TEST(RunReport, ExplicitPathAppendsAndEndsACutOffLine)
{
    TempDir dir;
    const std::string row = RunReport::rowLine(summary(5));
    struct Case {
        const char* name;
        const char* before; // null: no file
        std::string after;
    } const cases[] = {
        {"none", nullptr, RunReport::headerLine() + row},
        {"empty", "", RunReport::headerLine() + row},
        {"earlier run", "h\r\nr\r\n", "h\r\nr\r\n" + row},
        {"LF only", "h\nr\n", "h\nr\n" + row},
        {"cut off", "h\r\nhalf a r", "h\r\nhalf a r\r\n" + row},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(c.name);
        if (c.before)
            dir.writeText(c.name, c.before);
        RunReport report({"ignored when a path is given", path, 0});
        ASSERT_EQ(report.write(summary(5)), 0) << c.name;
        EXPECT_EQ(readAll(path), c.after) << c.name;
    }
    RunReport missing({"", dir.file("no/such/folder/r.csv"), 0});
    EXPECT_EQ(missing.write(summary(1)), ENOENT);
    EXPECT_EQ(missing.lastProblem().path, dir.file("no/such/folder/r.csv"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("no"))); // a path given is not made up
}

TEST(RunReport, AFileRemovedOrMovedMidRunIsMadeAgain)
{
    TempDir dir;
    RunReport report({dir.file("reports"), "", 1796607665123});
    ASSERT_EQ(report.write(summary(1)), 0);
    const std::string path = report.path();
    ASSERT_EQ(std::rename(path.c_str(), dir.file("moved.csv").c_str()), 0);
    ASSERT_EQ(report.write(summary(2)), 0);
    std::filesystem::remove_all(dir.file("reports"));
    ASSERT_EQ(report.write(summary(3)), 0);
    ASSERT_EQ(report.write(summary(4)), 0);
    EXPECT_EQ(report.path(), path);
    EXPECT_EQ(rowIds(parsedFile(dir.file("moved.csv"))), std::vector<std::string>{"1"});
    EXPECT_EQ(rowIds(parsedFile(path)), (std::vector<std::string>{"3", "4"}));
}

TEST(ReportWriter, RowsInOrderFromConcurrentSubmitters)
{
    TempDir dir;
    ProblemLog problems;
    std::string path;
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
        EXPECT_TRUE(writer.flush());
        EXPECT_EQ(writer.rowsWritten(), 400u);
        EXPECT_EQ(writer.rowsWaiting(), 0u);
        path = writer.path();
        writer.submit(summary(9999)); // left to the destructor
    }
    EXPECT_EQ(problems.count(), 0u);
    const std::vector<std::string> ids = rowIds(parsedFile(path));
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
    EXPECT_EQ(problems.seen[0].code, ENOTDIR);
    EXPECT_EQ(problems.seen[0].path, dir.file("file.txt"));
    EXPECT_EQ(writer.rowsWaiting(), 3u);
    EXPECT_EQ(writer.path(), "");

    // Made writable: the waiting rows go first, in order.
    ASSERT_EQ(std::remove(dir.file("file.txt").c_str()), 0);
    writer.submit(summary(4));
    EXPECT_TRUE(writer.flush());
    EXPECT_EQ(problems.count(), 1u);
    EXPECT_EQ(rowIds(parsedFile(writer.path())), (std::vector<std::string>{"1", "2", "3", "4"}));
}

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
        struct stat st{};
        CHILD_CHECK(::stat(path.c_str(), &st) == 0);
        rlimit lim{static_cast<rlim_t>(st.st_size) + 40, RLIM_INFINITY}; // less than a row
        CHILD_CHECK(::setrlimit(RLIMIT_FSIZE, &lim) == 0);
        writer.submit(summary(2));
        CHILD_CHECK(!writer.flush());
        writer.submit(summary(3));
        CHILD_CHECK(!writer.flush());
        CHILD_CHECK(problems.count() == 1 && problems.seen[0].code == ENOSPC && problems.seen[0].path == path);
        lim.rlim_cur = RLIM_INFINITY;
        CHILD_CHECK(::setrlimit(RLIMIT_FSIZE, &lim) == 0);
        writer.submit(summary(4));
        CHILD_CHECK(writer.flush());
        CHILD_CHECK(problems.count() == 1);
    });
    EXPECT_EQ(rowIds(parsedFile(path)), (std::vector<std::string>{"1", "2", "3", "4"}));
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
            CHILD_CHECK(writer.flush());
            CHILD_CHECK(::write(ready[1], "x", 1) == 1);
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

        const std::vector<std::string> ids = rowIds(parsedFile(path));
        ASSERT_GE(ids.size(), 2u) << delayMs;
        for (size_t i = 0; i < ids.size(); ++i)
            ASSERT_EQ(ids[i], std::to_string(i + 1)) << "delay " << delayMs << ", row " << i;
    }
}

TEST(ReportWriter, WithoutAThreadRowsAreWrittenWhenFlushed)
{
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const std::string path = dir.file("nothread.csv");
    bool skipped = false;
    inChild(
        [&] {
            if (!brelvo_test::dropToNobodyWithoutThreads())
                ::_exit(brelvo_test::kChildSkipped);
            ProblemLog problems;
            {
                ReportWriter writer({"", path, 0}, problems.handler());
                writer.submit(summary(1));
                writer.submit(summary(2));
                CHILD_CHECK(writer.flush());
                writer.submit(summary(3)); // left to the destructor
            }
            CHILD_CHECK(problems.count() == 1 && problems.seen[0].code == EAGAIN);
        },
        &skipped);
    if (skipped)
        GTEST_SKIP() << "cannot take threads away here (needs root)";
    EXPECT_EQ(rowIds(parsedFile(path)), (std::vector<std::string>{"1", "2", "3"}));
}
