// SPDX-License-Identifier: MIT
// The line reader under the version files and the firmware scan: line ends,
// binary bytes, lines longer than any buffer, and a file removed mid-read.
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

TEST(TextFile, LineEndsBinaryBytesAndLinesLongerThanAnyBuffer)
{
    TempDir dir;
    EXPECT_EQ(linesOf(dir.writeText("a", "one\r\ntwo\n\nthree  \r\nlast")),
              (std::vector<std::string>{"one", "two", "", "three  ", "last"}));
    EXPECT_EQ(linesOf(dir.writeText("b", std::string("a\0b\nc\0", 6))),
              (std::vector<std::string>{std::string("a\0b", 3), std::string("c\0", 2)}));
    EXPECT_TRUE(linesOf(dir.writeText("d", "")).empty());
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
    TextFile f;
    EXPECT_FALSE(f.open(dir.file("missing")));
    EXPECT_FALSE(f.open(dir.path())); // a folder is no text file
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
    EXPECT_TRUE(f.readLine(line) && line.size() == 300000u);
    EXPECT_TRUE(f.readLine(line) && line == "last");
    EXPECT_FALSE(f.readLine(line));
}
