// SPDX-License-Identifier: MIT
// The run report's rows and file names, and a file that moves, vanishes or
// was cut off by an earlier crash.
#include "ExpectedText.h"
#include "ReportRows.h"
#include "platform/XdgPaths.h"
#include "record/RunReport.h"

#include <sys/stat.h>

using namespace brelvo;
using namespace brelvo_test;

TEST(RunReport, RowsOfARunFieldByField)
{
    EnvironmentScope tz("TZ", "CST-8");
    TempDir dir;
    JobSummary ok = summary(0);
    ok.configPath = "/home/op/factory,1.cfg";
    ok.options = 3;
    // A product code no spreadsheet may run, with a separator, quotes and a
    // byte that is not UTF-8: the cells after it must not move.
    JobSummary checkFailed = summary(4, "=1,\"q\"\xff");
    checkFailed.resultCode = 7;
    checkFailed.checksum = 0x0000abcd;
    checkFailed.seconds = 3.0005;
    checkFailed.station = "=st,1";
    JobSummary timedOut = summary(977);
    timedOut.resultCode = 14;
    timedOut.lentAddress = 0;
    timedOut.bytesSent = 3072;
    timedOut.checksumKnown = false;
    timedOut.optionsSent = false; // silent before End
    timedOut.finishedMs = timedOut.startedMs + 40000;
    timedOut.seconds = 40;
    timedOut.deviceMac = 0;

    RunReport report({"", dir.file("run.csv"), 0});
    Error error;
    for (const JobSummary& s : {ok, checkFailed, timedOut})
        ASSERT_TRUE(report.write(s, nullptr, &error)) << error.text;
    EXPECT_EQ(brelvo_test::expectedFileDiff(BRELVO_EXPECTED_DIR "/report-rows.csv", readText(dir.file("run.csv"))), "");
    // New columns come after the old ones: a script reading those by position reads the same.
    EXPECT_EQ(RunReport::headerLine().rfind("started,finished,device,product_code,lent_address,image_file,bytes_sent,"
                                            "checksum,options,configuration_file,result_code,result_text,blocks_resent,"
                                            "seconds,", 0), 0u);
}

TEST(RunReport, NewFileNamesNeverOverwrite)
{
    EnvironmentScope env("TZ", "CST-8");
    TempDir dir;
    env.set("XDG_DATA_HOME", dir.file("data").c_str());
    const std::string folder = dir.file("data/brelvo-tool/reports");
    EXPECT_EQ(RunReport::defaultFolder(), folder);
    const mode_t oldMask = ::umask(022);
    const int64_t start = 1796607665123; // 09:41:05 at +08:00
    ASSERT_EQ(makeDirectories(folder, 0755), 0);
    dir.writeText("data/brelvo-tool/reports/2026-12-07_09-41-05.csv", "keep");

    RunReport second({"", "", start}), third({"", "", start + 876});
    ASSERT_TRUE(second.open());
    ASSERT_TRUE(third.open());
    ::umask(oldMask);
    EXPECT_EQ(second.path(), folder + "/2026-12-07_09-41-05_2.csv");
    EXPECT_EQ(third.path(), folder + "/2026-12-07_09-41-05_3.csv");
    EXPECT_EQ(readText(folder + "/2026-12-07_09-41-05.csv"), "keep");
#ifndef _WIN32 // no permission bits there
    struct stat st{};
    ASSERT_EQ(::stat(third.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
#endif
    ASSERT_TRUE(second.write(summary(2)));
    EXPECT_EQ(rowIds(second.path()), std::vector<std::string>{"2"});
    EXPECT_EQ(rowIds(third.path()), std::vector<std::string>{});
}

TEST(RunReport, ExplicitPathAppendsAndEndsACutOffLine)
{
    TempDir dir;
    const std::string rows = RunReport::rowLine(summary(5)) + RunReport::rowLine(summary(6));
    struct Case {
        const char* name;
        const char* before; // null: no file
        std::string after;
    } const cases[] = {
        {"none", nullptr, RunReport::headerLine() + rows},
        {"empty", "", RunReport::headerLine() + rows},
        {"earlier run", "h\r\nr\r\n", "h\r\nr\r\n" + rows},
        {"LF only", "h\nr\n", "h\nr\n" + rows},
        {"cut off", "h\r\nhalf a r", "h\r\nhalf a r\r\n" + rows},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(c.name);
        if (c.before)
            dir.writeText(c.name, c.before);
        RunReport report({"ignored when a path is given", path, 0});
        ASSERT_TRUE(report.write(summary(5)) && report.write(summary(6))) << c.name;
        EXPECT_EQ(readText(path), c.after) << c.name;
    }
    RunReport missing({"", dir.file("no/such/folder/r.csv"), 0});
    Error error;
    EXPECT_FALSE(missing.write(summary(1), nullptr, &error));
    EXPECT_EQ(error.code, ENOENT);
    EXPECT_EQ(missing.failedPath(), dir.file("no/such/folder/r.csv"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("no"))); // a path given is not made up
}

TEST(RunReport, AFileRemovedOrMovedMidRunIsMadeAgain)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows refuses to remove a folder while a file in it is open";
#endif
    TempDir dir;
    RunReport report({dir.file("reports"), "", 1796607665123});
    ASSERT_TRUE(report.write(summary(1)));
    const std::string path = report.path();
    ASSERT_EQ(std::rename(path.c_str(), dir.file("moved.csv").c_str()), 0);
    ASSERT_TRUE(report.write(summary(2)));
    std::filesystem::remove_all(dir.file("reports"));
    const mode_t oldMask = ::umask(022);
    ASSERT_TRUE(report.write(summary(3)));
    ::umask(oldMask);
    struct stat st{};
    ASSERT_EQ(::stat(dir.file("reports").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    ASSERT_TRUE(report.write(summary(4)));
    EXPECT_EQ(report.path(), path);
    EXPECT_EQ(rowIds(dir.file("moved.csv")), std::vector<std::string>{"1"});
    EXPECT_EQ(rowIds(path), (std::vector<std::string>{"3", "4"}));
}
