// The simulated device driven by a scripted tool: what it answers, and that
// it notices every way the tool can get the exchange wrong.

#include "DeviceSession.h"
#include "DevsimOptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace devsim;
using namespace std::chrono_literals;

namespace {

constexpr uint16_t kJobPort = 40000;
constexpr uint32_t kTool = 0x0AD50701; // 10.213.7.1

std::vector<uint8_t> frame(uint8_t type, uint32_t length, size_t total)
{
    std::vector<uint8_t> m(total, 0);
    std::copy_n("upd:", 4, m.begin());
    m[4] = type;
    writeBE32(m.data() + 8, length);
    return m;
}

std::vector<uint8_t> offer(uint32_t lent = 0x0AD50702, uint16_t port = kJobPort)
{
    auto m = frame(TypeOffer, 10, 22);
    writeBE32(m.data() + 12, lent);
    writeBE32(m.data() + 16, kTool);
    m[20] = uint8_t(port >> 8);
    m[21] = uint8_t(port);
    return m;
}

std::vector<uint8_t> sizeMsg(uint32_t length)
{
    auto m = frame(TypeSize, 8, 20);
    writeBE32(m.data() + 12, length);
    writeBE32(m.data() + 16, 1024);
    return m;
}

std::vector<uint8_t> block(const std::vector<uint8_t>& image, uint32_t index, uint8_t filler = 0xEE)
{
    auto m = frame(TypeBlock, 1028, 1040);
    writeBE32(m.data() + 12, index);
    for (size_t i = 0; i < 1024; ++i) {
        size_t at = size_t(index) * 1024 + i;
        m[16 + i] = at < image.size() ? image[at] : filler;
    }
    return m;
}

std::vector<uint8_t> endMsg(uint32_t checksum, uint8_t options)
{
    auto m = frame(TypeEnd, 5, 17);
    writeBE32(m.data() + 12, checksum);
    m[16] = options;
    return m;
}

std::vector<uint8_t> imageOf(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 7 + (i >> 8));
    return v;
}

int typeOf(const Outgoing& o) { return messageType(o.bytes.data(), o.bytes.size()); }

uint32_t ackIndex(const Outgoing& o) { return readBE32(o.bytes.data() + 12); }

// Drives one session through a normal exchange, keeping the clock in hand.
struct Harness {
    explicit Harness(SessionConfig c) : s(0, std::move(c)) {}

    std::vector<Outgoing> feed(const std::vector<uint8_t>& m, uint16_t port = kJobPort)
    {
        return s.onDatagram(m.data(), m.size(), kTool, port, now);
    }
    std::vector<Outgoing> tick(std::chrono::milliseconds d)
    {
        now += d;
        return s.onTimer(now);
    }
    // Up to the kick-off acknowledgement.
    void toBlocks(uint32_t length)
    {
        auto req = s.begin(now);
        ASSERT_EQ(req.size(), 1u);
        ASSERT_TRUE(req[0].toRequestTarget);
        auto r = feed(offer(), 5555); // the Offer comes from another socket
        ASSERT_EQ(r.size(), 1u);
        ASSERT_EQ(typeOf(r[0]), TypeReady);
        ASSERT_FALSE(r[0].toRequestTarget);
        r = feed(sizeMsg(length));
        ASSERT_EQ(r.size(), 1u);
        ASSERT_EQ(typeOf(r[0]), TypeBlockAck);
        ASSERT_EQ(ackIndex(r[0]), kKickOffIndex);
    }
    std::vector<uint32_t> sendAll(const std::vector<uint8_t>& image)
    {
        std::vector<uint32_t> acks;
        uint32_t n = uint32_t((image.size() + 1023) / 1024);
        for (uint32_t i = 0; i < n; ++i)
            for (auto& o : feed(block(image, i)))
                if (typeOf(o) == TypeBlockAck)
                    acks.push_back(ackIndex(o));
        return acks;
    }
    // Runs the timer until the session finishes; returns what it sent.
    std::vector<Outgoing> drain()
    {
        std::vector<Outgoing> all;
        for (int i = 0; i < 1000 && !s.finished(); ++i)
            for (auto& o : tick(10ms))
                all.push_back(o);
        return all;
    }

    DeviceSession s;
    Clock::time_point now = Clock::time_point() + 1h;
};

SessionConfig basic()
{
    SessionConfig c;
    c.product = "ABCDEFG";
    c.retryMs = 100;
    c.timeoutMs = 1000;
    c.offerTimeoutMs = 2000;
    return c;
}

} // namespace

TEST(DeviceSession, FullExchangeAcksEveryBlockChecksEndAndReports)
{
    auto image = imageOf(2500); // three blocks, the last one partial
    auto c = basic();
    c.expectImage = std::make_shared<std::vector<uint8_t>>(image);
    c.expectOptions = 3;
    c.progressSteps = 4;
    Harness h(c);
    h.toBlocks(2500);
    EXPECT_EQ(h.sendAll(image), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(h.s.phase(), DeviceSession::Phase::WaitEnd);
    EXPECT_TRUE(h.feed(endMsg(wordSum(image.data(), image.size()), 3)).empty());
    auto out = h.drain();
    ASSERT_EQ(out.size(), 5u);
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(typeOf(out[size_t(i)]), TypeWriteProgress);
        EXPECT_EQ(readBE32(out[size_t(i)].bytes.data() + 12), uint32_t(3 * (i + 1) / 4));
        EXPECT_EQ(readBE32(out[size_t(i)].bytes.data() + 16), 3u);
    }
    EXPECT_EQ(typeOf(out[4]), TypeWriteComplete);
    EXPECT_TRUE(h.s.succeeded()) << (h.s.violations().empty() ? h.s.failure() : h.s.violations()[0]);
    EXPECT_EQ(h.s.received(), image);
    EXPECT_EQ(h.s.resultText(), "complete");
    EXPECT_EQ(h.s.offer().lentAddr, 0x0AD50702u);
}

TEST(DeviceSession, WrongChecksumIsAViolationAndTheDeviceSaysCheckFailed)
{
    auto image = imageOf(1024);
    auto c = basic();
    c.progressSteps = 3;
    Harness h(c);
    h.toBlocks(1024);
    h.sendAll(image);
    h.feed(endMsg(wordSum(image.data(), image.size()) + 1, 1));
    auto out = h.drain();
    ASSERT_EQ(out.size(), 1u); // no progress for an image that failed its check
    EXPECT_EQ(typeOf(out[0]), TypeCheckFailed);
    EXPECT_FALSE(h.s.succeeded());
    ASSERT_EQ(h.s.violationCount(), 1u);
    EXPECT_NE(h.s.violations()[0].find("checksum"), std::string::npos);
}

TEST(DeviceSession, GivenChecksumAndOptionsAreComparedAsGiven)
{
    auto image = imageOf(100);
    auto c = basic();
    c.expectChecksum = 0xCAFEF00Du;
    c.expectOptions = 1;
    c.result = Outcome::WriteFailed;
    Harness h(c);
    h.toBlocks(100);
    h.sendAll(image);
    h.feed(endMsg(0xCAFEF00Du, 2));
    auto out = h.drain();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(typeOf(out.back()), TypeWriteFailed);
    ASSERT_EQ(h.s.violationCount(), 1u);
    EXPECT_NE(h.s.violations()[0].find("options"), std::string::npos);
}

TEST(DeviceSession, ImageMismatchIsFoundButFillerIsNot)
{
    auto image = imageOf(1500);
    auto wrong = image;
    wrong[1200] ^= 1;
    auto c = basic();
    c.expectImage = std::make_shared<std::vector<uint8_t>>(wrong);
    Harness h(c);
    h.toBlocks(1500);
    h.sendAll(image);
    h.feed(endMsg(wordSum(image.data(), image.size()), 0));
    h.drain();
    ASSERT_EQ(h.s.violationCount(), 1u);
    EXPECT_NE(h.s.violations()[0].find("offset 1200"), std::string::npos);

    // Filler after the image's end is the tool's business.
    auto c2 = basic();
    c2.expectImage = std::make_shared<std::vector<uint8_t>>(image);
    Harness h2(c2);
    h2.toBlocks(1500);
    h2.feed(block(image, 0));
    h2.feed(block(image, 1, 0x00));
    h2.feed(endMsg(wordSum(image.data(), image.size()), 0));
    h2.drain();
    EXPECT_TRUE(h2.s.succeeded());
}

TEST(DeviceSession, MalformedBlocksAreViolationsAndNotAcknowledged)
{
    auto image = imageOf(2048);
    Harness h(basic());
    h.toBlocks(2048);
    auto wrongField = block(image, 0);
    writeBE32(wrongField.data() + 8, 1024);
    EXPECT_TRUE(h.feed(wrongField).empty());
    auto beyond = block(image, 0);
    writeBE32(beyond.data() + 12, 2);
    EXPECT_TRUE(h.feed(beyond).empty());
    auto cut = block(image, 1);
    cut.pop_back();
    EXPECT_TRUE(h.feed(cut).empty());
    EXPECT_EQ(h.s.violationCount(), 3u);
    EXPECT_EQ(h.s.blocksReceived(), 0u);
}

TEST(DeviceSession, EndBeforeAllBlocksOrShortEndFails)
{
    auto image = imageOf(3000);
    Harness h(basic());
    h.toBlocks(3000);
    h.feed(block(image, 0));
    h.feed(endMsg(0, 0));
    EXPECT_EQ(h.s.phase(), DeviceSession::Phase::Failed);
    EXPECT_GE(h.s.violationCount(), 1u);

    Harness h2(basic());
    h2.toBlocks(3000);
    h2.sendAll(image);
    auto shortEnd = endMsg(wordSum(image.data(), image.size()), 0);
    shortEnd.pop_back();
    h2.feed(shortEnd);
    EXPECT_EQ(h2.s.phase(), DeviceSession::Phase::Failed);
    EXPECT_FALSE(h2.s.succeeded());
}

TEST(DeviceSession, RepeatedBlocksAreReAckedAndMustCarryTheSameBytes)
{
    auto image = imageOf(2048);
    Harness h(basic());
    h.toBlocks(2048);
    h.feed(block(image, 0));
    auto again = h.feed(block(image, 0));
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(ackIndex(again[0]), 0u);
    EXPECT_EQ(h.s.resentBlocks(), 1u);
    EXPECT_EQ(h.s.violationCount(), 0u);
    auto changed = image;
    changed[5] ^= 0x40;
    h.feed(block(changed, 0));
    EXPECT_EQ(h.s.violationCount(), 1u);
    EXPECT_EQ(h.s.blocksReceived(), 1u);
}

TEST(DeviceSession, MessagesFromAnotherPortThanTheOffersAreViolations)
{
    auto image = imageOf(10);
    Harness h(basic());
    h.s.begin(h.now);
    h.feed(offer(), 1234);
    h.feed(sizeMsg(10), kJobPort + 1);
    EXPECT_EQ(h.s.violationCount(), 1u);
    EXPECT_NE(h.s.violations()[0].find("port"), std::string::npos);
}

TEST(DeviceSession, ProtocolMessagesBeforeTheOfferAreViolationsForeignDatagramsAreNot)
{
    Harness h(basic());
    h.s.begin(h.now);
    std::vector<uint8_t> junk{'h', 'e', 'l', 'l', 'o', 0, 0, 0, 0, 0, 0, 0, 0};
    h.feed(junk);
    EXPECT_EQ(h.s.violationCount(), 0u);
    h.feed(sizeMsg(10));
    EXPECT_EQ(h.s.violationCount(), 1u);
    EXPECT_EQ(h.s.phase(), DeviceSession::Phase::WaitOffer);
}

TEST(DeviceSession, SilenceEndsEachWaitAndReadyIsRepeatedMeanwhile)
{
    Harness h(basic());
    h.s.begin(h.now);
    h.tick(1900ms);
    EXPECT_EQ(h.s.phase(), DeviceSession::Phase::WaitOffer);
    h.tick(200ms);
    EXPECT_EQ(h.s.phase(), DeviceSession::Phase::Failed);
    EXPECT_NE(h.s.failure().find("Offer"), std::string::npos);

    Harness h2(basic());
    h2.s.begin(h2.now);
    h2.feed(offer(), 1);
    int readies = 0;
    for (int i = 0; i < 12; ++i)
        for (auto& o : h2.tick(100ms))
            readies += typeOf(o) == TypeReady;
    EXPECT_GE(readies, 8);
    EXPECT_EQ(h2.s.phase(), DeviceSession::Phase::Failed);
    EXPECT_NE(h2.s.failure().find("Size"), std::string::npos);
}

TEST(DeviceSession, MissingEndIsAskedForAgainWithAKnownIndex)
{
    auto image = imageOf(4096);
    Harness h(basic());
    h.toBlocks(4096);
    h.sendAll(image);
    auto out = h.tick(150ms);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(typeOf(out[0]), TypeBlockAck);
    EXPECT_EQ(ackIndex(out[0]), 3u);
    h.feed(endMsg(wordSum(image.data(), image.size()), 0));
    h.feed(endMsg(wordSum(image.data(), image.size()), 0)); // the repeat of the repeat
    h.drain();
    EXPECT_TRUE(h.s.succeeded());
    EXPECT_EQ(h.s.endsReceived(), 2u);
}

TEST(DeviceSession, EmptyImageGoesFromKickOffStraightToEnd)
{
    Harness h(basic());
    h.toBlocks(0);
    EXPECT_EQ(h.s.phase(), DeviceSession::Phase::WaitEnd);
    h.feed(endMsg(0, 1));
    h.drain();
    EXPECT_TRUE(h.s.succeeded());
}

TEST(DeviceSession, LossDropDuplicateAndReorderOptionsShapeTheAcks)
{
    auto image = imageOf(64 * 1024);
    {
        auto c = basic();
        c.ackLossPercent = 100;
        Harness h(c);
        h.toBlocks(uint32_t(image.size()));
        EXPECT_TRUE(h.sendAll(image).empty());
        EXPECT_EQ(h.s.blocksReceived(), 64u);
    }
    {
        auto c = basic();
        c.dropBlockPercent = 100;
        Harness h(c);
        h.toBlocks(uint32_t(image.size()));
        EXPECT_TRUE(h.sendAll(image).empty());
        EXPECT_EQ(h.s.blocksReceived(), 0u);
        EXPECT_EQ(h.s.droppedBlocks(), 64u);
    }
    {
        auto c = basic();
        c.dupAckPercent = 100;
        Harness h(c);
        h.toBlocks(uint32_t(image.size()));
        EXPECT_EQ(h.sendAll(image).size(), 128u);
    }
    {
        auto c = basic();
        c.reorderAckPercent = 50;
        c.seed = 7;
        Harness h(c);
        h.toBlocks(uint32_t(image.size()));
        auto acks = h.sendAll(image);
        for (auto& o : h.tick(50ms)) // a held one is let go
            acks.push_back(ackIndex(o));
        std::vector<uint32_t> sorted = acks;
        std::sort(sorted.begin(), sorted.end());
        std::vector<uint32_t> all(64);
        for (uint32_t i = 0; i < 64; ++i)
            all[i] = i;
        EXPECT_EQ(sorted, all);
        EXPECT_NE(acks, all) << "nothing was reordered";
    }
    {
        auto c = basic();
        c.ackDelayMs = 30;
        Harness h(c);
        h.toBlocks(uint32_t(image.size()));
        EXPECT_TRUE(h.sendAll(image).empty());
        EXPECT_EQ(h.tick(40ms).size(), 64u);
    }
}

TEST(DeviceSession, StopAfterLeavesQuietly)
{
    auto c = basic();
    c.stopAfter = StopAfter::Offer;
    Harness h(c);
    h.s.begin(h.now);
    EXPECT_TRUE(h.feed(offer(), 1).empty());
    EXPECT_TRUE(h.s.succeeded());
    EXPECT_EQ(h.s.resultText(), "stopped-after-offer");

    auto image = imageOf(8192);
    auto c2 = basic();
    c2.stopAfter = StopAfter::Blocks;
    c2.stopAfterBlocks = 3;
    Harness h2(c2);
    h2.toBlocks(8192);
    EXPECT_EQ(h2.sendAll(image).size(), 2u);
    EXPECT_TRUE(h2.s.finished());
}

TEST(DevsimOptions, ParsesTheUsualCommandLines)
{
    DevsimOptions o;
    std::string err;
    ASSERT_TRUE(parseDevsimOptions({"--tool", "10.213.7.1", "--product=ABCDEFG", "--count", "5", "--bind",
                                    "10.213.7.50-10.213.7.54", "--ack-loss", "5", "--expect-checksum", "0x10"},
                                   o, err))
        << err;
    EXPECT_EQ(o.count, 5);
    EXPECT_EQ(o.bindAddrs.size(), 5u);
    EXPECT_EQ(o.session.ackLossPercent, 5);
    ASSERT_TRUE(o.session.expectChecksum.has_value());
    EXPECT_EQ(*o.session.expectChecksum, 16u);
    EXPECT_EQ(o.toolAddr, 0x0AD50701u);
}

TEST(DevsimOptions, RejectsWhatCannotWork)
{
    DevsimOptions o;
    std::string err;
    const std::vector<std::vector<std::string>> bad = {
        {"--tool", "10.0.0.1"},                                          // no product
        {"--product", "X"},                                              // nowhere to send
        {"--product", "X", "--tool", "10.0.0.1", "--broadcast"},         // both
        {"--product", "X", "--broadcast", "--ack-loss", "101"},
        {"--product", "X", "--broadcast", "--bind", "10.0.0.9-10.0.0.1"},
        {"--product", "X", "--broadcast", "--result", "maybe"},
        {"--product", "X", "--broadcast", "--port", "65535", "--count", "2"},
        {"--product", "X", "--broadcast", "--stop-after", "blocks:0"},
        {"--product", "X", "--broadcast", "--timeout"},
        {"--product", "X", "--broadcast", "--frobnicate"},
    };
    for (const auto& args : bad) {
        err.clear();
        EXPECT_FALSE(parseDevsimOptions(args, o, err)) << args.back();
        EXPECT_FALSE(err.empty());
    }
}
