#include "EngineTestSupport.h"
#include "platform/DirectorySearch.h"
#include "platform/FileIdentity.h"
#include "platform/Poller.h"
#include "platform/RawFile.h"
#include "platform/Text.h"
#include "platform/TextFile.h"

#include <fcntl.h>
#include <future>
#include <sys/stat.h>

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

namespace {

// Odd things a firmware folder can hold besides files.
void addOddEntries(const TempDir& dir)
{
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("/dev/zero", dir.file("zero").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("nowhere").c_str(), dir.file("dangling").c_str()), 0);
    ASSERT_EQ(::symlink("loop", dir.file("loop").c_str()), 0);
    ASSERT_EQ(::symlink("folder", dir.file("tofolder").c_str()), 0);
}

} // namespace

TEST(FileOpening, OnlyRegularFilesOpenAndNothingBlocks)
{
    TempDir dir;
    addOddEntries(dir);
    dir.writeText("file", "x\n");
    ASSERT_EQ(::symlink("file", dir.file("tofile").c_str()), 0);
    const std::pair<const char*, bool> cases[] = {
        {"file", true},   {"tofile", true},    {"folder", false}, {"tofolder", false}, {"fifo", false},
        {"zero", false},  {"dangling", false}, {"loop", false},   {"missing", false},  {"file/below", false}};
    for (const auto& c : cases) {
        // A blocking open of a pipe without a writer never returns: run it
        // aside, and give it a writer if it hangs so that the test ends.
        auto opened = std::async(std::launch::async, [&] {
            const int fd = openFileForReading(dir.file(c.first));
            if (fd >= 0)
                ::close(fd);
            TextFile text;
            return std::make_pair(fd >= 0, text.open(dir.file(c.first)));
        });
        for (int round = 0; opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready; ++round) {
            if (round == 0)
                ADD_FAILURE() << c.first << " blocked the open";
            ::close(::open(dir.file("fifo").c_str(), O_WRONLY | O_NONBLOCK));
        }
        EXPECT_EQ(opened.get(), std::make_pair(c.second, c.second)) << c.first;
    }
}

TEST(DirectorySearch, EachEntryCarriesWhatItsStatFinds)
{
    TempDir dir;
    addOddEntries(dir);
    dir.writeText("file", "four");
    const auto listed = findEntries(dir.path(), "");
    std::vector<std::string> names;
    for (const DirectoryEntry& e : listed) {
        names.push_back(e.name);
        FileIdentity id;
        const StatOutcome found = fileIdentity(e.path, &id);
        EXPECT_EQ(e.identityKnown, found == StatOutcome::Ok) << e.name;
        if (e.identityKnown) {
            EXPECT_EQ(e.identity, id) << e.name;
            EXPECT_EQ(e.isDirectory, id.kind == FileKind::Directory) << e.name;
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"dangling", "fifo", "file", "folder", "loop", "tofolder", "zero"}));
    auto entry = [&](const std::string& name) {
        return *std::find_if(listed.begin(), listed.end(), [&](const DirectoryEntry& e) { return e.name == name; });
    };
    EXPECT_TRUE(entry("tofolder").isDirectory);
    EXPECT_FALSE(entry("dangling").isDirectory);
    EXPECT_FALSE(entry("dangling").identityKnown);
    EXPECT_EQ(entry("file").identity.size, 4u);
    EXPECT_EQ(entry("file").identity.kind, FileKind::Regular);
    EXPECT_EQ(entry("fifo").identity.kind, FileKind::Other);

    FileIdentity id;
    EXPECT_EQ(fileIdentity(dir.file("dangling"), &id), StatOutcome::Missing);
    EXPECT_EQ(fileIdentity(dir.file("file/below"), &id), StatOutcome::Missing);
    EXPECT_EQ(fileIdentity(dir.file("loop"), &id), StatOutcome::Failed);
    RawFile open;
    ASSERT_TRUE(open.open(dir.file("file")));
    FileIdentity viaDescriptor;
    ASSERT_TRUE(open.identity(&viaDescriptor));
    EXPECT_EQ(viaDescriptor, entry("file").identity);
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
