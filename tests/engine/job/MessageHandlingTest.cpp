#include "JobTestSupport.h"
#include "platform/AddressText.h"

#include <gtest/gtest.h>

using namespace brelvo;
using namespace brelvo_test;
using Reaction = UpdateJob::Reaction;

namespace {

const SocketAddress kDevice{0x3201A8C0u, 0x3412};
const SocketAddress kStranger{0x0901A8C0u, 0x9999};

class Messages : public ::testing::Test {
protected:
    std::shared_ptr<UpdateJob> job = makeJob();

    Reaction feed(const std::vector<uint8_t>& d, const SocketAddress& from = kDevice, size_t cut = 0)
    {
        return job->handleDatagram(d.data(), cut ? cut : d.size(), from);
    }
    bool ack(uint32_t index, const SocketAddress& from = kDevice)
    {
        const auto d = deviceMessage(4, {index});
        return job->accountBlockAck(d.data(), d.size(), from);
    }
    void loadBlocks(size_t bytes)
    {
        std::vector<uint8_t> image(bytes, 0x11);
        job->loadImage(image.data(), image.size(), 0);
    }
    // The job as after binding its socket (code 1).
    void offerSent() { job->adoptSocket(kInvalidSocket); }
};

} // namespace

TEST_F(Messages, ReadyIsAnsweredOnlyWhileTheOfferIsOut)
{
    EXPECT_EQ(feed(deviceMessage(2)), Reaction::None); // code 0: not yet
    EXPECT_EQ(job->statusCode(), Accepted);
    offerSent();
    EXPECT_EQ(job->statusCode(), OfferSent);
    EXPECT_EQ(feed(deviceMessage(2)), Reaction::SendSize);
    EXPECT_EQ(job->statusCode(), SizeSent);
    EXPECT_EQ(feed(deviceMessage(2)), Reaction::None); // no second Size at 3
    EXPECT_EQ(feed(deviceMessage(4, {0})), Reaction::RunBlockPhase);
    EXPECT_EQ(feed(deviceMessage(2)), Reaction::None); // nor at 5
    feed(deviceMessage(8, {1, 2}));
    EXPECT_EQ(feed(deviceMessage(2)), Reaction::None); // nor at 8
    EXPECT_EQ(job->statusCode(), DeviceWriting);
}

TEST_F(Messages, ProgressPercentages)
{
    loadBlocks(10 * 1024);
    feed(deviceMessage(4, {0}));
    EXPECT_EQ(job->statusCode(), SendingBlocks);
    job->beginBlockPhase();
    EXPECT_EQ(job->progress(), 0);
    EXPECT_TRUE(ack(0));
    EXPECT_TRUE(ack(5));
    EXPECT_TRUE(ack(9));
    EXPECT_EQ(job->progress(), 30);

    EXPECT_EQ(feed(deviceMessage(8, {7, 9})), Reaction::ReportProgress);
    EXPECT_EQ(job->progress(), 77);
    feed(deviceMessage(8, {50, 200}));
    EXPECT_EQ(job->progress(), 25);
    EXPECT_EQ(job->progressText(), "write:50, cnt=200\r\n");
    feed(deviceMessage(8, {7, 0}));
    EXPECT_EQ(job->progress(), 0);
    // Whatever the device claims, the bar stays within 0..100.
    feed(deviceMessage(8, {500, 200}));
    EXPECT_EQ(job->progress(), 100);
    feed(deviceMessage(8, {0xFFFFFFFFu, 200}));
    EXPECT_EQ(job->progress(), 0);

    feed(deviceMessage(9));
    EXPECT_EQ(job->statusCode(), DeviceWriteComplete);
    EXPECT_TRUE(job->isFinished());
    EXPECT_EQ(job->progress(), 100);
}

TEST_F(Messages, BlockPhaseWithoutImageShowsZero)
{
    feed(deviceMessage(4, {0}));
    EXPECT_EQ(job->statusCode(), SendingBlocks);
    EXPECT_EQ(job->progress(), 0);
    EXPECT_FALSE(ack(0)); // no blocks at all
}

TEST_F(Messages, FinalMessagesSetTheirCodeAndFinish)
{
    for (int type : {7, 10, 9}) {
        auto j = makeJob();
        const auto d = deviceMessage(type);
        EXPECT_EQ(j->handleDatagram(d.data(), d.size(), kDevice), Reaction::None);
        EXPECT_EQ(j->statusCode(), type);
        EXPECT_TRUE(j->isFinished());
        EXPECT_EQ(j->progress(), type == 9 ? 100 : 0);
        // A later message can still change the code; finished stays.
        const auto p = deviceMessage(8, {1, 4});
        j->handleDatagram(p.data(), p.size(), kDevice);
        EXPECT_EQ(j->statusCode(), DeviceWriting);
        EXPECT_TRUE(j->isFinished());
    }
}

TEST_F(Messages, AcknowledgementsAreCountedOnce)
{
    loadBlocks(3 * 1024 + 1); // 4 blocks
    job->beginBlockPhase();
    EXPECT_TRUE(ack(3));
    EXPECT_FALSE(ack(3)); // repeated
    EXPECT_FALSE(ack(4)); // == blockCount
    EXPECT_FALSE(ack(0x80000001u)); // top bit set
    EXPECT_FALSE(ack(0xFFFFFFFFu));
    EXPECT_EQ(job->acknowledgedBlocks(), 1);
    EXPECT_TRUE(job->blockAcknowledged(3));
    EXPECT_FALSE(job->blockAcknowledged(1));

    // Other messages in the block phase count nothing.
    const auto ready = deviceMessage(2, {1});
    EXPECT_FALSE(job->accountBlockAck(ready.data(), ready.size(), kDevice));
    const auto foreignType = deviceMessage(0x84, {1});
    EXPECT_FALSE(job->accountBlockAck(foreignType.data(), foreignType.size(), kDevice));
    // A short acknowledgement is ignored, not read past its end.
    const auto shortAck = deviceMessage(4, {1});
    EXPECT_FALSE(job->accountBlockAck(shortAck.data(), 15, kDevice));
    EXPECT_EQ(job->acknowledgedBlocks(), 1);

    // A new phase restarts the count but keeps the flags.
    job->beginBlockPhase();
    EXPECT_EQ(job->acknowledgedBlocks(), 0);
    EXPECT_FALSE(ack(3));
    EXPECT_TRUE(ack(2));
    EXPECT_EQ(job->acknowledgedBlocks(), 1);
}

TEST_F(Messages, ShortMessagesAreIgnored)
{
    offerSent();
    EXPECT_EQ(feed(deviceMessage(4, {0}), kDevice, 15), Reaction::None);
    EXPECT_EQ(job->statusCode(), OfferSent);
    EXPECT_EQ(feed(deviceMessage(8, {5, 10}), kDevice, 19), Reaction::None);
    EXPECT_EQ(job->statusCode(), OfferSent);
    EXPECT_EQ(job->writtenCount(), 0);
    EXPECT_EQ(feed(deviceMessage(2), kDevice, 4), Reaction::None); // magic only, no type
    EXPECT_EQ(feed(deviceMessage(2), kDevice, 3), Reaction::None);
    EXPECT_EQ(feed(deviceMessage(2), kDevice, 0), Reaction::SendSize); // 0 = whole (12 bytes)
}

TEST_F(Messages, OnlyUpdateDatagramsMovePeer)
{
    offerSent();
    feed(deviceMessage(2), kDevice);
    EXPECT_EQ(job->peerAddress(), kDevice);

    const std::vector<uint8_t> junk = {'h', 'e', 'l', 'l', 'o', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(feed(junk, kStranger), Reaction::None);
    EXPECT_EQ(job->peerAddress(), kDevice);
    EXPECT_FALSE(job->accountBlockAck(junk.data(), junk.size(), kStranger));
    EXPECT_EQ(job->peerAddress(), kDevice);

    // An update datagram of a type the job does not act on still moves it.
    feed(deviceMessage(0x7F), kStranger);
    EXPECT_EQ(job->peerAddress(), kStranger);
}

TEST_F(Messages, UnknownAndNegativeTypesChangeNothing)
{
    offerSent();
    for (int type : {0, 1, 3, 5, 6, 11, 0x7F, 0x82, 0x84, 0xFF}) {
        EXPECT_EQ(feed(deviceMessage(type, {1, 2})), Reaction::None) << type;
        EXPECT_EQ(job->statusCode(), OfferSent) << type;
    }
    EXPECT_FALSE(job->isFinished());
}
