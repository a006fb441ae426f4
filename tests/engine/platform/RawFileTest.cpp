// SPDX-License-Identifier: MIT
// Whatever a firmware folder holds, only regular files open, and nothing
// blocks the request listener while it looks.
#include "EngineTestSupport.h"
#include "platform/RawFile.h"
#include "platform/TextFile.h"

#include <fcntl.h>
#include <future>
#include <sys/stat.h>

using namespace brelvo;
using namespace brelvo_test;

TEST(RawFile, OnlyRegularFilesOpenAndNothingBlocks)
{
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    dir.writeText("file", "x\n");
    const std::pair<const char*, const char*> links[] = {
        {"zero", "/dev/zero"}, {"dangling", "nowhere"}, {"loop", "loop"}, {"tofolder", "folder"}, {"tofile", "file"}};
    for (const auto& l : links)
        ASSERT_EQ(::symlink(l.second, dir.file(l.first).c_str()), 0);
    const std::pair<const char*, bool> cases[] = {
        {"file", true},  {"tofile", true},    {"folder", false}, {"tofolder", false}, {"fifo", false},
        {"zero", false}, {"dangling", false}, {"loop", false},   {"missing", false},  {"file/below", false}};
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
