#include "EngineTestSupport.h"
#include "platform/Poller.h"

#include <algorithm>
#include <climits>
#include <unistd.h>
#include "platform/Text.h"
#include "platform/TextFile.h"

using namespace brelvo;
using brelvo_test::TempDir;

namespace {

std::vector<std::string> linesOf(const std::string& path)
{
    std::vector<std::string> lines;
    TextFile f;
    EXPECT_TRUE(f.open(path));
    for (std::string line; f.readLine(line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(Text, ParseUnsigned32ReadsLikeStrtoulBaseZero)
{
    const std::pair<const char*, uint32_t> cases[] = {
        {"1234", 1234},        {"0x1A2b", 0x1A2B},          {"0XFF", 0xFF},        {"017", 15},
        {"019", 1},            {" \t42abc", 42},             {"4294967295", 0xFFFFFFFFu},
        {"4294967296", 0xFFFFFFFFu}, {"0x1FFFFFFFF", 0xFFFFFFFFu}, {"-1", 0xFFFFFFFFu},
        {"-2", 0xFFFFFFFEu},   {"+7", 7},                   {"", 0},               {"0x", 0},
        {"junk", 0},           {"12\r", 12}};
    for (const auto& c : cases)
        EXPECT_EQ(parseUnsigned32(c.first), c.second) << '"' << c.first << '"';
}

TEST(TextFile, LineEndsAndBinaryBytes)
{
    TempDir dir;
    EXPECT_EQ(linesOf(dir.writeText("a", "one\r\ntwo\n\nthree  \r\nlast")),
              (std::vector<std::string>{"one", "two", "", "three  ", "last"}));
    EXPECT_EQ(linesOf(dir.writeText("b", std::string("a\0b\nc\0", 6))),
              (std::vector<std::string>{std::string("a\0b", 3), std::string("c\0", 2)}));
    EXPECT_EQ(linesOf(dir.writeText("c", "x\n")), std::vector<std::string>{"x"});
    EXPECT_TRUE(linesOf(dir.writeText("d", "")).empty());
    TextFile f;
    EXPECT_FALSE(f.open(dir.file("missing")));
    EXPECT_FALSE(f.open(dir.path())); // a folder is no text file
    std::string line = "stale";
    EXPECT_FALSE(f.readLine(line));
}

TEST(TextFile, LinesLongerThanAnyBufferComeWhole)
{
    TempDir dir;
    // Lines of every length around the reader's block sizes, a CR LF split
    // across a block edge, and a last line without LF.
    std::string text;
    std::vector<std::string> want;
    for (size_t n : {0u, 1u, 4095u, 65536u, 262143u, 262144u, 262145u, 700001u}) {
        want.push_back(std::string(n, 'a' + static_cast<char>(want.size())));
        text += want.back() + (n % 2 ? "\r\n" : "\n");
    }
    want.push_back("product=" + std::string(600000, 'Z'));
    text += want.back();
    EXPECT_EQ(linesOf(dir.writeText("long", text)), want);
}

TEST(TextFile, AFileRemovedWhileOpenStillReadsToItsEnd)
{
    TempDir dir;
    const std::string path = dir.writeText("gone", "first\n" + std::string(300000, 'x') + "\nlast\n");
    TextFile f;
    ASSERT_TRUE(f.open(path));
    std::string line;
    ASSERT_TRUE(f.readLine(line));
    ASSERT_EQ(std::remove(path.c_str()), 0);
    EXPECT_TRUE(f.readLine(line));
    EXPECT_EQ(line.size(), 300000u);
    EXPECT_TRUE(f.readLine(line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(f.readLine(line));
    EXPECT_FALSE(f.open(path));
}

TEST(Poller, ReportsReadableDescriptorsTheWakeSignalAndTheDeadline)
{
    Poller poller;
    WakeSignal wake;
    ASSERT_TRUE(poller.valid());
    ASSERT_EQ(poller.add(wake.fd(), 7), 0);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    ASSERT_EQ(poller.add(pipeFds[0], 42), 0);
    std::vector<uint64_t> ready{99};
    // Nothing readable: a deadline already past only polls.
    EXPECT_EQ(poller.wait(monotonicNs() - 1, ready), 0);
    EXPECT_TRUE(ready.empty());
    // A deadline ahead is kept (not anticipated), whatever the kernel's grain.
    const int64_t deadline = monotonicNs() + 3000000;
    EXPECT_EQ(poller.wait(deadline, ready), 0);
    EXPECT_GE(monotonicNs(), deadline);
    // Readiness and the wake signal, each by its token; a taken signal is quiet.
    ASSERT_EQ(::write(pipeFds[1], "x", 1), 1);
    wake.raise();
    wake.raise();
    EXPECT_EQ(poller.wait(INT64_MAX, ready), 2);
    std::sort(ready.begin(), ready.end());
    EXPECT_EQ(ready, (std::vector<uint64_t>{7, 42}));
    wake.clear();
    char c;
    ASSERT_EQ(::read(pipeFds[0], &c, 1), 1);
    EXPECT_EQ(poller.wait(monotonicNs(), ready), 0);
    EXPECT_EQ(poller.remove(pipeFds[0]), 0);
    EXPECT_EQ(poller.remove(pipeFds[0]), -1);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}
