// SPDX-License-Identifier: MIT
// serve's status block on a terminal: every line fits its width and obeys
// nothing a device sent; each frame takes away what the last one drew.
#include "LiveStatus.h"
#include "record/JobStatus.h"
#include "platform/AddressText.h"

#include <gtest/gtest.h>

using namespace brelvo_cli;

namespace {

brelvo::JobSnapshot atWork(uint64_t id, int status, int progress, const std::string& product = "ABCDEFG")
{
    brelvo::JobSnapshot s;
    s.id = id;
    s.status = status;
    s.progress = progress;
    s.deviceAddress = brelvo::addressFromText("10.213.7.50");
    s.productCode = product;
    return s;
}

} // namespace

TEST(LiveStatus, LinesFitTheTerminalAndObeyNothing)
{
    EXPECT_EQ(LiveStatus::deviceLine(atWork(12, brelvo::SendingBlocks, 45), 80),
              "job 12  10.213.7.50  ABCDEFG  sending  [#############.................]   45%");
    EXPECT_EQ(LiveStatus::deviceLine(atWork(3, brelvo::DeviceWriting, 100), 60),
              "job 3  10.213.7.50  ABCDEFG  writing  [#############]  100%");
    EXPECT_EQ(LiveStatus::deviceLine(atWork(3, brelvo::TransferTimeout, 0), 80),
              "job 3  10.213.7.50  ABCDEFG  silent, waiting");
    EXPECT_EQ(LiveStatus::deviceLine(atWork(3, brelvo::SendingBlocks, 7), 50),  // no room for a bar
              "job 3  10.213.7.50  ABCDEFG  sending    7%");

    for (const std::string& product : {std::string("AB\x1b[2JCD"), std::string("\xe5\x9b\xba\xe4\xbb\xb6"),
                                       std::string("A\0B\r\n\x9b", 6), std::string(63, 'Z'), std::string()}) {
        for (int columns : {1, 10, 40, 61, 80, 132, 300}) {
            for (int status : {brelvo::SendingBlocks, brelvo::OfferSent, brelvo::DeviceWriting}) {
                const std::string line =
                    LiveStatus::deviceLine(atWork(99999999999ull, status, 37, product), columns);
                EXPECT_LE(line.size(), static_cast<size_t>(std::max(columns - 1, 1))) << columns;
                for (char c : line)
                    EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "byte " << int(static_cast<unsigned char>(c));
            }
        }
    }

    // Many devices on a small terminal: as many as fit, then how many more.
    std::vector<brelvo::JobSnapshot> jobs;
    for (uint64_t id = 20; id > 0; --id)
        jobs.push_back(atWork(id, brelvo::SendingBlocks, 50));
    LiveStatus::Totals totals{20, 7, 1, 0};
    const std::vector<std::string> block = LiveStatus::lines(jobs, totals, 80, 8);
    ASSERT_EQ(block.size(), 7u);  // one row stays for the cursor
    EXPECT_EQ(block[0].rfind("job 1  ", 0), 0u);
    EXPECT_EQ(block[4].rfind("job 5  ", 0), 0u);
    EXPECT_EQ(block[5], "... and 15 more at work");
    EXPECT_EQ(block[6], "20 at work, 7 succeeded, 1 failed, 0 stopped  (Ctrl-C stops)");
    EXPECT_EQ(LiveStatus::lines({}, {}, 80, 1).size(), 1u);
    EXPECT_EQ(LiveStatus::lines(jobs, totals, 80, 2).size(), 2u);  // "... and 20 more" and the totals

    LiveStatus live;
    EXPECT_EQ(live.frame({"event 1"}, {"a", "b"}), "\r\x1b[Jevent 1\na\nb\n");
    EXPECT_EQ(live.frame({}, {"c"}), "\r\x1b[2A\x1b[Jc\n");
    EXPECT_EQ(live.clear(), "\r\x1b[1A\x1b[J");
    EXPECT_EQ(live.clear(), "\r\x1b[J");
}
