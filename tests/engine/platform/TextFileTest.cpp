// SPDX-License-Identifier: MIT
// The line reader under the version files and the firmware scan: line ends,
// binary bytes, over-long lines, and a file removed mid-read.
#include "EngineTestSupport.h"
#include "platform/TextFile.h"

using namespace brelvo;
using namespace brelvo_test;

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

TEST(TextFile, LineEndsBinaryBytesAndOverLongLines)
{
    TempDir dir;
    EXPECT_EQ(linesOf(dir.writeText("a", "one\r\ntwo\n\nthree  \r\nlast")),
              (std::vector<std::string>{"one", "two", "", "three  ", "last"}));
    EXPECT_EQ(linesOf(dir.writeText("b", std::string("a\0b\nc\0", 6))),
              (std::vector<std::string>{std::string("a\0b", 3), std::string("c\0", 2)}));
    EXPECT_TRUE(linesOf(dir.writeText("d", "")).empty());
    // Lines around the bound (CRs count) and the reader's block size, a CR LF
    // split across a block edge; over-long ones, the last without LF, are skipped.
    const size_t max = TextFile::kMaxLineBytes;
    std::string text;
    std::vector<std::string> want, heads;
    for (size_t n : {size_t(0), size_t(1), max - 1, max, max + 1, size_t(262143), size_t(262144), size_t(700001)}) {
        const std::string line(n, static_cast<char>('a' + n % 26));
        text += line + (n % 2 ? "\r\n" : "\n");
        if (n + n % 2 <= max)
            want.push_back(line);
        else
            heads.push_back(line.substr(0, TextFile::kHeadBytes));
    }
    want.push_back("after");
    text += "after\nproduct=" + std::string(300000, 'Z');
    heads.push_back("product=" + std::string(TextFile::kHeadBytes - 8, 'Z'));
    EXPECT_EQ(linesOf(dir.writeText("long", text)), want);
    // Asked for, the over-long ones come too, as their heads.
    TextFile cutting;
    ASSERT_TRUE(cutting.open(dir.file("long")));
    const char* data = nullptr;
    size_t length = 0;
    bool cut = false;
    std::vector<std::string> seen;
    while (cutting.readLine(&data, &length, &cut))
        if (cut)
            seen.push_back(std::string(data, length));
    EXPECT_EQ(seen, heads);
    EXPECT_TRUE(linesOf(dir.writeText("one long", std::string(max + 1, 'x'))).empty());
    EXPECT_FALSE(TextFile().open(dir.file("missing")) || TextFile().open(dir.path())); // a folder is no text file
}

TEST(TextFile, AFileRemovedWhileOpenStillReadsToItsEnd)
{
    TempDir dir;
    std::string text = "first\n";
    for (int i = 0; i < 5; ++i)  // past the first block read
        text += std::string(60000, 'x') + "\n";
    const std::string path = dir.writeText("gone", text + "last\n");
    TextFile f;
    ASSERT_TRUE(f.open(path));
    std::string line;
    ASSERT_TRUE(f.readLine(line));
    ASSERT_EQ(std::remove(path.c_str()), 0);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(f.readLine(line) && line.size() == 60000u);
    EXPECT_TRUE(f.readLine(line) && line == "last");
    EXPECT_FALSE(f.readLine(line));
}
