// SPDX-License-Identifier: MIT
// The index stands in for a full scan of the firmware folder on every
// request: it must answer as the scan does while reading only what changed.
#include "FirmwareTestSupport.h"
#include "firmware/FirmwareIndex.h"
#include "firmware/FirmwareMatch.h"
#include "platform/DirectorySearch.h"

#include <random>
#include <thread>

using namespace brelvo;
using namespace brelvo_test;

namespace {
std::string answer(const TempDir& dir, const std::string& name) { return name.empty() ? "" : dir.file(name); }
} // namespace

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
             FileIdentity old;
             ASSERT_EQ(fileIdentity(c, &old), StatOutcome::Ok);
             setModified(dir.file("new"), old.mtimeNs / 1000000000 - 1000000000);
             ASSERT_EQ(::rename(dir.file("new").c_str(), c.c_str()), 0);
         },
         "kvx_CCCCCCC.bin", 1},
        {"rewritten in place and given its old time back",
         [&] {
             const std::string c = dir.file("kvx_CCCCCCC-ver.bin");
             FileIdentity old;
             ASSERT_EQ(fileIdentity(c, &old), StatOutcome::Ok);
             sleepMilliseconds(20);  // past the grain of the change time
             dir.writeText("kvx_CCCCCCC-ver.bin", "product=NOTMINE\n");
             setModified(c, old.mtimeNs / 1000000000 - 1000000000);
         },
         "kvx_AAAAAAA.bin", 1},
        {"renamed", [&] { ::rename(dir.file("kvx_AAAAAAA.bin").c_str(), dir.file("kvx_DDDDDDD.bin").c_str()); },
         "kvx_DDDDDDD.bin", 1},
        {"removed", [&] { std::remove(dir.file("kvx_DDDDDDD.bin").c_str()); }, "", 0},
        {"product= changes", [&] { writeDated(dir, "kvx_BBBBBBB.bin", "junk\nproduct=ABCDEFG \r\n"); },
         "kvx_BBBBBBB.bin", 1},
        {"a folder appears", [&] { ::mkdir(dir.file("kvx_ABCDEFG").c_str(), 0755); }, "kvx_BBBBBBB.bin", 0},
    };
    for (const Step& s : steps) {
        s.change();
        const uint64_t before = index.descriptorReads();
        EXPECT_EQ(index.find(dir.path(), "ABCDEFG"), answer(dir, s.want)) << s.what;
        EXPECT_EQ(index.descriptorReads() - before, s.reads) << s.what;
        EXPECT_EQ(findFirmwareImage(dir.path(), "ABCDEFG"), answer(dir, s.want)) << s.what;
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
    TempDir dir;
    FirmwareIndex index(0);
    makeEntry(dir, "kvx_ZZZZZZZ.bin", "->target");
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

// Random folders and random changes between requests: the index answers
// every code as the full scan does.
TEST(FirmwareIndex, RandomFoldersMatchTheFullScan)
{
    const std::vector<std::string> codes = {"ABCDEFG", "HIJKLMN", "XXXXXXX", "AB", ""};
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        std::mt19937 rng(seed);
        auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
        auto randomName = [&] {
            static const char* stems[] = {"kvx_", "KVX_", "kVx-", "kvx", "kv_", "x_kvx_"};
            static const char* tails[] = {".bin", "-ver.bin", "_V1.bin", "_V2-ver.bin", "", "ver.bin"};
            std::string code = codes[pick(codes.size())];
            return stems[pick(6)] + code + tails[pick(6)];
        };
        auto randomContent = [&] {
            const int kind = static_cast<int>(pick(12));
            if (kind == 0)
                return std::string("/");
            if (kind == 1)
                return std::string("->nowhere");
            if (kind == 2)
                return std::string("|");
            std::string text;
            for (size_t lines = pick(5); lines > 0; --lines) {
                switch (pick(7)) {
                case 0: text += "product=" + codes[pick(codes.size())] + (pick(2) ? " \r\n" : "\n"); break;
                case 1: text += "PRODUCT=" + codes[pick(codes.size())] + "\n"; break;
                case 2: text += "cHeCkSuM=0x" + std::to_string(rng()) + "\n"; break;
                case 3: text += std::string(pick(3000), char(pick(256))) + "\n"; break;
                case 4: text += "product= " + codes[pick(codes.size())] + "\n"; break;
                case 5: text += "product="; break;  // no line end
                default: text += "noise\r\n"; break;
                }
            }
            return text;
        };
        TempDir dir;
        FirmwareIndex index(0);
        FirmwareIndex careful;  // the default settling time
        for (int round = 0; round < 6; ++round) {
            const int changes = round == 0 ? 8 : static_cast<int>(pick(4));
            for (int i = 0; i < changes; ++i) {
                std::vector<std::string> present;
                for (const DirectoryEntry& e : findEntries(dir.path(), ""))
                    present.push_back(e.name);
                const size_t what = present.empty() ? 0 : pick(4);
                const std::string name = present.empty() ? "" : present[pick(present.size())];
                struct stat st{};
                const bool plain = !name.empty() && ::lstat(dir.file(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
                if (what == 0) {  // add (or replace a plain file)
                    const std::string n = randomName();
                    if (::lstat(dir.file(n).c_str(), &st) != 0 || S_ISREG(st.st_mode)) {
                        std::remove(dir.file(n).c_str());
                        makeEntry(dir, n, randomContent());
                    }
                } else if (what == 1) {  // remove
                    std::filesystem::remove_all(dir.file(name));
                } else if (what == 2) {  // rename
                    const std::string n = randomName();
                    if (::lstat(dir.file(n).c_str(), &st) != 0)
                        ::rename(dir.file(name).c_str(), dir.file(n).c_str());
                } else if (plain) {  // same size, other bytes
                    std::string text = readText(dir.file(name));
                    if (!text.empty())
                        text[pick(text.size())] = pick(2) ? '\n' : 'p';
                    writeDated(dir, name, text);
                }
            }
            for (const std::string& code : codes) {
                const std::string want = findFirmwareImage(dir.path(), code);
                ASSERT_EQ(index.find(dir.path(), code), want) << "seed " << seed << " round " << round;
                ASSERT_EQ(careful.find(dir.path(), code), want) << "seed " << seed << " round " << round;
            }
        }
    }
}
