// SPDX-License-Identifier: MIT
// The file the run report is written through: a new name is never taken
// over, a file moved away is noticed.
#include "EngineTestSupport.h"
#include "platform/AppendFile.h"

using namespace brelvo;
using namespace brelvo_test;

TEST(AppendFile, NewNamesAreNeverTakenOverAndVanishedFilesAreNoticed)
{
    TempDir dir;
    const std::string path = dir.file("r.csv");
    AppendFile f, other;
    ASSERT_EQ(f.open(path, AppendFile::Mode::CreateNew), 0);
    EXPECT_EQ(f.lastByte(), -1);
    EXPECT_EQ(f.append("one\r\n"), 0);
    EXPECT_EQ(f.size(), 5u);
    EXPECT_EQ(other.open(path, AppendFile::Mode::CreateNew), EEXIST);
    ASSERT_EQ(other.open(path, AppendFile::Mode::OpenOrCreate), 0);
    EXPECT_EQ(other.append("two"), 0);
    EXPECT_EQ(readText(path), "one\r\ntwo");
    EXPECT_EQ(f.lastByte(), 'o');

    EXPECT_TRUE(f.stillAtPath());
    ASSERT_EQ(std::rename(path.c_str(), dir.file("moved").c_str()), 0);
    EXPECT_FALSE(f.stillAtPath());
    dir.writeText("r.csv", "someone else's");
    EXPECT_FALSE(f.stillAtPath());
    EXPECT_EQ(other.open(dir.file("no/such/folder"), AppendFile::Mode::OpenOrCreate), ENOENT);
    EXPECT_EQ(other.append("x"), EBADF);
}

// (A short write's fragment is taken back: ReportWriter's disk-full case.)
#ifndef _WIN32 // a pipe by its /proc name
TEST(AppendFile, APipeNeedsNoSync)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    AppendFile p;
    ASSERT_EQ(p.open("/proc/self/fd/" + std::to_string(fds[1]), AppendFile::Mode::OpenOrCreate), 0);
    EXPECT_EQ(p.append("piped\n"), 0);
    char buffer[16] = {};
    EXPECT_EQ(::read(fds[0], buffer, sizeof buffer), 6);
    p.close();
    ::close(fds[0]);
    ::close(fds[1]);
}
#endif
