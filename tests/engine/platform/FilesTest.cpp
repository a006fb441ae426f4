#include "platform/DirectorySearch.h"
#include "platform/RawFile.h"
#include "platform/TextFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace brelvo;

namespace {

class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/brelvo-platform-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& path() const { return path_; }
    std::string write(const std::string& name, const std::string& bytes) const
    {
        const std::string p = path_ + "/" + name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }

private:
    std::string path_;
};

std::vector<std::string> readLines(const std::string& path)
{
    std::vector<std::string> lines;
    TextFile f;
    EXPECT_TRUE(f.open(path));
    std::string line;
    while (f.readLine(line))
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(DirectorySearch, PrefixIgnoresCaseSkipsDotsAndSortsByName)
{
    TempDir dir;
    dir.write("kvx_B.bin", "b");
    dir.write("KVX_A.bin", "a");
    dir.write("Kvx_C-ver.bin", "c");
    dir.write("other.bin", "o");
    dir.write("kv", "short");
    mkdir((dir.path() + "/kvx_dir").c_str(), 0755);

    const auto entries = findEntries(dir.path(), "kvx");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, "KVX_A.bin");
    EXPECT_EQ(entries[1].name, "Kvx_C-ver.bin");
    EXPECT_EQ(entries[2].name, "kvx_B.bin");
    EXPECT_EQ(entries[3].name, "kvx_dir");
    EXPECT_EQ(entries[0].path, dir.path() + "/KVX_A.bin");
    EXPECT_FALSE(entries[0].isDirectory);
    EXPECT_TRUE(entries[3].isDirectory);
}

TEST(DirectorySearch, MissingDirectoryGivesNothing)
{
    EXPECT_TRUE(findEntries("/nonexistent/brelvo/dir", "kvx").empty());
}

TEST(TextFile, LinesLoseTheirEndsWhateverTheStyle)
{
    TempDir dir;
    const auto p = dir.write("t.txt", "one\r\ntwo\n\nthree  \r\nlast");
    const auto lines = readLines(p);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "one");
    EXPECT_EQ(lines[1], "two");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "three  ");
    EXPECT_EQ(lines[4], "last");
}

TEST(TextFile, BinaryBytesAndMissingFiles)
{
    TempDir dir;
    const auto p = dir.write("b.bin", std::string("a\0b\nc", 5));
    const auto lines = readLines(p);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string("a\0b", 3));
    EXPECT_EQ(lines[1], "c");

    TextFile f;
    EXPECT_FALSE(f.open(dir.path() + "/missing"));
    EXPECT_FALSE(f.open(dir.path())); // a directory is not a text file
    std::string line;
    EXPECT_FALSE(f.readLine(line));

    const auto empty = dir.write("e.txt", "");
    EXPECT_TRUE(readLines(empty).empty());
}

TEST(RawFile, ReadsGiveExactByteCounts)
{
    TempDir dir;
    std::string bytes(3000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    const auto p = dir.write("r.bin", bytes);

    RawFile f;
    ASSERT_TRUE(f.open(p));
    EXPECT_EQ(f.length(), 3000u);
    std::string part(1024, '\0');
    EXPECT_EQ(f.read(&part[0], 1024), 1024u);
    EXPECT_EQ(part, bytes.substr(0, 1024));
    std::string rest(4096, '\0');
    EXPECT_EQ(f.read(&rest[0], 4096), 1976u); // short at the end
    EXPECT_EQ(rest.substr(0, 1976), bytes.substr(1024));
    EXPECT_EQ(f.read(&rest[0], 10), 0u);

    std::string whole;
    EXPECT_TRUE(readWholeFile(p, whole));
    EXPECT_EQ(whole, bytes);
    EXPECT_FALSE(readWholeFile(dir.path() + "/missing", whole));
    RawFile d;
    EXPECT_FALSE(d.open(dir.path()));
    EXPECT_EQ(d.length(), 0u);
}
