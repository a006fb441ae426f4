// SPDX-License-Identifier: MIT
// Which entry of a firmware folder serves a product code. The index stands
// in for a full scan on every request: it must answer from what it read and
// from what it kept alike, reading only what changed.
#include "FirmwareTestSupport.h"
#include "firmware/FirmwareIndex.h"

#include <thread>

using namespace brelvo;
using namespace brelvo_test;

namespace {
std::string answer(const TempDir& dir, const std::string& name) { return name.empty() ? "" : dir.file(name); }
} // namespace

TEST(FirmwareIndex, TheLastMatchByNameOrProductLineWins)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files; // name, content (see makeEntry)
        std::string code;
        std::string want; // file name, "" for none
    };
    const std::string binary = std::string("\x7f\0\r\n", 4) + std::string(300000, 'p') + "\nproduct=BINARYX\r\n\0";
    const Case cases[] = {
        {"two entries for one code: the last wins",
         {{"kvx_ABCDEFG_V1.bin", "x"}, {"kvx_XXXXXXX-ver.bin", "product=ABCDEFG\n"}, {"kvx_ZZZZZZZ", "y"}},
         "ABCDEFG", "kvx_XXXXXXX.bin"},
        {"a name match whose product= names another model, then a match by name only",
         {{"kvx_ABCDEFG_1.bin", "product=OTHERXX\n"}, {"kvx_ABCDEFG_2.bin", "noise\n"}}, "ABCDEFG",
         "kvx_ABCDEFG_2.bin"},
        {"a later name match is kept whatever its product= says",
         {{"kvx_ABCDEFG_1.bin", "noise"}, {"kvx_ABCDEFG_2.bin", "product=OTHERXX\n"}}, "ABCDEFG",
         "kvx_ABCDEFG_2.bin"},
        {"product= names the other model", {{"kvx_ABCDEFG_1.bin", "product=OTHERXX\n"}}, "OTHERXX", "kvx_ABCDEFG_1.bin"},
        {"the last product= line wins", {{"kvx_QQQQQQQ", "product=ABCDEFG\r\nproduct=OTHERXX  \n"}}, "OTHERXX",
         "kvx_QQQQQQQ"},
        {"trailing spaces go, a leading one stays",
         {{"kvx_XXXXXXX-ver.bin", "product=ABCDEFG   \r\nchecksum=1\n"}, {"kvx_YYYYYYY", "product= ABCDEFG\n"}},
         "ABCDEFG", "kvx_XXXXXXX.bin"},
        {"PRODUCT= is no product line", {{"kvx_XXXXXXX-ver.bin", "PRODUCT=ABCDEFG\n"}}, "ABCDEFG", ""},
        {"letter case of kvx ignored, of the code not", {{"KvX_ABCDEFG", "x"}, {"kvx_abcdefg", "x"}}, "ABCDEFG",
         "KvX_ABCDEFG"},
        {"a folder is skipped", {{"kvx_ABCDEFG", "/"}}, "ABCDEFG", ""},
        {"a pipe is matched by its name and does not block",
         {{"kvx_ABCDEFG.bin", "x"}, {"kvx_ABCDEFG_P", "|"}, {"kvx_QQQQQQQ_P", "|"}}, "ABCDEFG", "kvx_ABCDEFG_P"},
        {"a link to nowhere is matched by its name", {{"kvx_ABCDEFG.bin", "->nowhere"}}, "ABCDEFG", "kvx_ABCDEFG.bin"},
        {"a link to a device is not read", {{"kvx_ABCDEFG.bin", "->/dev/zero"}}, "ABCDEFG", "kvx_ABCDEFG.bin"},
        {"a link to a file is read", {{"kvx_0", "product=LINKED\n"}, {"kvx_1", "->kvx_0"}}, "LINKED", "kvx_1"},
        {"-ver.bin anywhere becomes .bin", {{"kvx_A-ver.bin.x-ver.bin", "product=VV\n"}}, "VV", "kvx_A.bin.x.bin"},
        {"an empty code by name", {{"kvx_", "x"}, {"KVX.bin", "x"}}, "", "kvx_"},
        {"an empty product=", {{"kvx_ZZZZZZZ-ver.bin", "product=\n"}}, "", "kvx_ZZZZZZZ.bin"},
        {"a long code never by name", {{"kvx_ABCDEFGHIJ.bin", "x"}}, "ABCDEFGHIJ", ""},
        {"a long code by product=", {{"kvx_ABCDEFG-ver.bin", "product=ABCDEFGHIJ\n"}}, "ABCDEFGHIJ", "kvx_ABCDEFG.bin"},
        {"product= among binary lines", {{"kvx_AAAAAAA-ver.bin", binary}}, "BINARYX", "kvx_AAAAAAA.bin"},
        {"nothing", {{"other", "product=ABCDEFG\n"}}, "ABCDEFG", ""},
        // Lines too long to be descriptor lines are not held: a product= one serves no code.
        {"a MiB-long product= line is none", {{"kvx_XXXXXXX-ver.bin", "product=ABCDEFG" + std::string(1 << 20, ' ')}},
         "ABCDEFG", ""},
        {"a product= line after a MiB-long one", {{"kvx_XXXXXXX-ver.bin", std::string(1 << 20, 'p') + "\nproduct=ABCDEFG"}},
         "ABCDEFG", "kvx_XXXXXXX.bin"},
    };
    for (const Case& c : cases) {
        const bool odd = std::any_of(c.files.begin(), c.files.end(),
                                     [](const auto& f) { return f.second == "|" || f.second.rfind("->", 0) == 0; });
        if (odd && !kOddEntries)
            continue;
        TempDir dir;
        for (const auto& f : c.files)
            makeEntry(dir, f.first, f.second);
        FirmwareIndex index(0);
        for (int round = 0; round < 2; ++round) // read, then kept
            EXPECT_EQ(index.find(dir.path(), c.code), answer(dir, c.want)) << c.what << ", round " << round;
    }
    // A tie goes to the last in name order, whatever order the folder lists in.
    TempDir many;
    for (int i = 0; i < 16; ++i)
        writeDated(many, "kvx_" + std::to_string(i / 10) + std::to_string(i % 10), "product=MANYXXX\n");
    EXPECT_EQ(FirmwareIndex(0).find(many.path(), "MANYXXX"), many.file("kvx_15"));
    EXPECT_EQ(FirmwareIndex().find("/nonexistent/brelvo", "ABCDEFG"), "");
}

TEST(FirmwareIndex, FollowsTheFolderAndReadsOnlyWhatChanged)
{
    TempDir dir;
    FirmwareIndex index(0);
    writeDated(dir, "kvx_AAAAAAA.bin", "product=ABCDEFG\n");
    writeDated(dir, "kvx_BBBBBBB.bin", "product=OTHERXX\n");
    struct Step {
        const char* what;
        std::function<void()> change;
        std::string want;     // answer for ABCDEFG
        uint64_t reads;       // files read for it
    };
    const Step steps[] = {
        {"first request", [] {}, "kvx_AAAAAAA.bin", 2},
        {"nothing changed", [] {}, "kvx_AAAAAAA.bin", 0},
        {"a file added", [&] { writeDated(dir, "kvx_CCCCCCC-ver.bin", "product=ABCDEFG\n"); }, "kvx_CCCCCCC.bin", 1},
        {"replaced: same size, new content and time",
         [&] { writeDated(dir, "kvx_CCCCCCC-ver.bin", "product=NOTMINE\n"); }, "kvx_AAAAAAA.bin", 1},
        {"replaced by another file of the same size and time",
         [&] {
             const std::string c = dir.file("kvx_CCCCCCC-ver.bin");
             dir.writeText("new", "product=ABCDEFG\n");
             const std::optional<FileIdentity> old = fileIdentity(c);
             ASSERT_TRUE(old);
             setModified(dir.file("new"), old->mtimeNs / 1000000000 - 1000000000);
             std::filesystem::rename(dir.file("new"), c); // over the old one, on every system
         },
         "kvx_CCCCCCC.bin", 1},
        {"rewritten in place and given its old time back",
         [&] {
             const std::string c = dir.file("kvx_CCCCCCC-ver.bin");
             const std::optional<FileIdentity> old = fileIdentity(c);
             ASSERT_TRUE(old);
             sleepMilliseconds(20);  // past the grain of the change time
             dir.writeText("kvx_CCCCCCC-ver.bin", "product=NOTMINE\n");
             setModified(c, old->mtimeNs / 1000000000 - 1000000000);
         },
         "kvx_AAAAAAA.bin", 1},
        {"renamed", [&] { ::rename(dir.file("kvx_AAAAAAA.bin").c_str(), dir.file("kvx_DDDDDDD.bin").c_str()); },
         "kvx_DDDDDDD.bin", 1},
        {"removed", [&] { std::remove(dir.file("kvx_DDDDDDD.bin").c_str()); }, "", 0},
        {"product= changes", [&] { writeDated(dir, "kvx_BBBBBBB.bin", "junk\nproduct=ABCDEFG \r\n"); },
         "kvx_BBBBBBB.bin", 1},
        {"a folder appears", [&] { std::filesystem::create_directory(dir.file("kvx_ABCDEFG")); }, "kvx_BBBBBBB.bin", 0},
    };
    for (const Step& s : steps) {
        s.change();
        const uint64_t before = index.descriptorReads();
        EXPECT_EQ(index.find(dir.path(), "ABCDEFG"), answer(dir, s.want)) << s.what;
        EXPECT_EQ(index.descriptorReads() - before, s.reads) << s.what;
    }
    // Another folder starts over; coming back reads everything again.
    TempDir other;
    EXPECT_EQ(index.find(other.path(), "ABCDEFG"), "");
    const uint64_t before = index.descriptorReads();
    EXPECT_EQ(index.find(dir.path(), "ABCDEFG"), dir.file("kvx_BBBBBBB.bin"));
    EXPECT_EQ(index.descriptorReads() - before, 2u);
}

TEST(FirmwareIndex, UnopenedAndFreshEntriesAreReadAgain)
{
    if (!kOddEntries)
        GTEST_SKIP() << "needs a link and a named pipe in a folder";
    TempDir dir;
    FirmwareIndex index(0);
    makeEntry(dir, "kvx_ZZZZZZZ.bin", "->target");
    makeEntry(dir, "kvx_PIPEXXX", "|");  // never opened: its writer would see a reader come and go
    EXPECT_EQ(index.find(dir.path(), "ABCDEFG"), "");
    EXPECT_EQ(index.find(dir.path(), "ZZZZZZZ"), dir.file("kvx_ZZZZZZZ.bin"));  // by its name
    EXPECT_EQ(index.descriptorReads(), 2u);  // tried each time
    writeDated(dir, "target", "product=ABCDEFG\n");
    EXPECT_EQ(index.find(dir.path(), "ABCDEFG"), dir.file("kvx_ZZZZZZZ.bin"));
    EXPECT_EQ(index.find(dir.path(), "ZZZZZZZ"), dir.file("kvx_ZZZZZZZ.bin"));  // a name match stays
    EXPECT_EQ(index.descriptorReads(), 3u);

    // Files changed within the settling time of the clock's grain are read
    // on every request until they are old enough to be trusted.
    FirmwareIndex careful(int64_t(3600) * 1000000000);
    dir.writeText("kvx_FRESHXX", "product=ABCDEFG\n");
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(careful.find(dir.path(), "ABCDEFG"), dir.file("kvx_ZZZZZZZ.bin"));
        EXPECT_EQ(careful.descriptorReads(), 2u * i);
    }
}

TEST(FirmwareIndex, RequestsAndListingsFromSeveralThreads)
{
    TempDir a, b;
    writeDated(a, "kvx_ABCDEFG", "x");
    writeDated(b, "kvx_OTHERXX", "product=ABCDEFG\n");
    FirmwareIndex index(0);
    std::atomic<int> wrong{0};
    auto ask = [&](const TempDir& dir, const std::string& want) {
        for (int i = 0; i < 300; ++i) {
            wrong += index.find(dir.path(), "ABCDEFG") != want;
            wrong += index.entries(dir.path()).size() != 1;
        }
    };
    // Two folders in turn: every call starts over while the other reads.
    std::thread t1(ask, std::cref(a), a.file("kvx_ABCDEFG"));
    std::thread t2(ask, std::cref(b), b.file("kvx_OTHERXX"));
    t1.join();
    t2.join();
    EXPECT_EQ(wrong.load(), 0);
}
