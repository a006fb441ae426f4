#include "TestFixtures.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace brelvo_test;
using namespace std::chrono_literals;

namespace {

bool exists(const std::string& p)
{
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

} // namespace

TEST(TempDirTest, WritesFilesAndRemovesEverythingIncludingSubfolders)
{
    std::string root;
    {
        TempDir dir;
        root = dir.path();
        auto bin = dir.writeBytes("a.bin", {0, 1, 2, 255});
        dir.makeDir("sub");
        dir.writeText("sub/b.txt", "product=X\r\n");
        EXPECT_EQ(readFileBytes(bin), (std::vector<uint8_t>{0, 1, 2, 255}));
        EXPECT_EQ(readFileBytes(dir.file("sub/b.txt")).size(), 11u);
    }
    EXPECT_FALSE(exists(root));
}

TEST(PatternTest, WordSumUsesWholeLittleEndianWordsOnly)
{
    EXPECT_EQ(wordSum({1, 0, 0, 0, 0, 1, 0, 0, 9}), 0x101u);
    EXPECT_EQ(wordSum({0xff, 0xff, 0xff, 0xff, 2, 0, 0, 0}), 1u); // wraps modulo 2^32
    EXPECT_NE(patternBytes(64, 1), patternBytes(64, 2));
    EXPECT_EQ(patternBytes(64, 7), patternBytes(64, 7));
}

TEST(WaitForTest, ReturnsAsSoonAsTrueAndFalseAfterTimeout)
{
    int calls = 0;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(waitFor([&] { return ++calls >= 3; }, 2s, 1ms));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
    EXPECT_FALSE(waitFor([] { return false; }, 30ms));
}

TEST(ProcessTest, CollectsOutputAndExitCode)
{
    auto r = runProcess({"/bin/sh", "-c", "echo out; echo err >&2; exit 3"}, 5s);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.output.find("out\n"), std::string::npos);
    EXPECT_NE(r.output.find("err\n"), std::string::npos);
}

TEST(ProcessTest, KillsAChildThatOverrunsIncludingItsChildren)
{
    auto t0 = std::chrono::steady_clock::now();
    // The grandchild holds the pipe open; the wait must not hang on it.
    auto r = runProcess({"/bin/sh", "-c", "sleep 30 & sleep 30"}, 200ms);
    EXPECT_TRUE(r.timedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
}

TEST(ProcessTest, MissingProgramGives127)
{
    auto r = runProcess({"/nonexistent/program"}, 5s);
    EXPECT_EQ(r.exitCode, 127);
}

TEST(StdoutCaptureTest, CapturesPrintfAndStreamsThenRestores)
{
    std::string text;
    {
        StdoutCapture cap;
        std::printf("socket error: %d\n", 98);
        std::cout << "running..." << std::endl;
        text = cap.text();
    }
    EXPECT_NE(text.find("socket error: 98\n"), std::string::npos);
    EXPECT_NE(text.find("running...\n"), std::string::npos);
    StdoutCapture again;
    std::printf("second\n");
    EXPECT_TRUE(again.contains("second\n"));
    EXPECT_FALSE(again.contains("running..."));
}

TEST(NetnsEnvTest, ReadsWrapperEnvironmentOrGivesAReason)
{
    const char* keys[] = {"BRELVO_NETNS", "BRELVO_NETNS_SKIP", "BRELVO_TOOL_ADDR", "BRELVO_DEV_NS",
                          "BRELVO_DEV_ADDRS", "BRELVO_DEVSIM"};
    std::vector<std::pair<std::string, std::string>> saved;
    for (auto k : keys) {
        const char* v = getenv(k);
        if (v)
            saved.emplace_back(k, v);
        unsetenv(k);
    }
    auto none = NetnsEnv::fromEnvironment();
    EXPECT_FALSE(none.usable());
    EXPECT_FALSE(none.skipReason.empty());

    setenv("BRELVO_NETNS", "1", 1);
    setenv("BRELVO_TOOL_ADDR", "10.213.7.1", 1);
    setenv("BRELVO_DEV_NS", "xdev", 1);
    setenv("BRELVO_DEV_ADDRS", "10.213.7.50  10.213.7.51", 1);
    auto e = NetnsEnv::fromEnvironment();
    EXPECT_TRUE(e.usable());
    EXPECT_EQ(e.devAddrs, (std::vector<std::string>{"10.213.7.50", "10.213.7.51"}));
    EXPECT_EQ(inDeviceNamespace(e, {"x", "y"}),
              (std::vector<std::string>{"ip", "netns", "exec", "xdev", "x", "y"}));

    setenv("BRELVO_NETNS_SKIP", "no root", 1);
    EXPECT_FALSE(NetnsEnv::fromEnvironment().usable());
    EXPECT_EQ(NetnsEnv::fromEnvironment().skipReason, "no root");

    for (auto k : keys)
        unsetenv(k);
    for (auto& kv : saved)
        setenv(kv.first.c_str(), kv.second.c_str(), 1);
}
