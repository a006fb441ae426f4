#include "EngineTestSupport.h"
#include "platform/Pacer.h"
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

TEST(Pacer, NeverFasterThanTheIntervalAndRebasesAfterAStall)
{
    Pacer pacer(1000, 2000);
    pacer.start();
    const int64_t t0 = monotonicNs();
    for (int i = 0; i < 20; ++i)
        pacer.wait();
    EXPECT_GE(monotonicNs() - t0, 19 * 1000000LL); // the floor, not a speed
    // After a 10 ms stall the schedule restarts from now: no burst of ten
    // back-to-back steps to catch up.
    sleepMilliseconds(10);
    const int64_t before = monotonicNs();
    pacer.wait();
    EXPECT_GE(pacer.nextSlotNs(), before);
    for (int i = 0; i < 3; ++i)
        pacer.wait();
    EXPECT_GE(monotonicNs() - before, 3 * 1000000LL);
}
