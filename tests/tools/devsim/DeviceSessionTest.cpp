// SPDX-License-Identifier: MIT
// The end-to-end tests rely on the simulated device to judge the real tool: it
// must take a correct exchange and catch every way a tool can get one wrong.

#include "DeviceSession.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <numeric>
#include <optional>

using namespace devsim;
using namespace std::chrono_literals;
using Msg = std::vector<uint8_t>;

namespace {
constexpr uint16_t kJobPort = 40000;

Msg frame(uint8_t type, uint32_t length, size_t total, uint32_t word, const Msg& tail = {})
{
    Msg m(total, 0);
    std::copy_n("upd:", 4, m.begin());
    m[4] = type;
    writeBE32(m.data() + 8, length);
    writeBE32(m.data() + 12, word);
    std::copy(tail.begin(), tail.end(), m.begin() + 16);
    return m;
}

Msg block(const Msg& image, uint32_t i)
{
    return frame(TypeBlock, 1028, 1040, i, Msg(image.begin() + i * 1024, image.begin() + std::min<size_t>(image.size(), (i + 1) * 1024)));
}

Msg imageOf(size_t n)
{
    Msg v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 7 + (i >> 8));
    return v;
}

Msg offer() { return frame(TypeOffer, 10, 22, 0x0AD50702, {10, 213, 7, 1, kJobPort >> 8, kJobPort & 0xFF}); }
Msg sizeMsg(uint32_t length) { return frame(TypeSize, 8, 20, length, {0, 0, 4, 0}); }
Msg endMsg(uint32_t sum, uint8_t options = 3) { return frame(TypeEnd, 5, 17, sum, {options}); }

SessionConfig baseConfig()
{
    SessionConfig c;
    c.product = "ABCDEFG", c.retryMs = 100, c.timeoutMs = 1000, c.expectOptions = 3, c.progressSteps = 2;
    return c;
}

testing::AssertionResult has(const std::string& text, const std::string& part)
{
    if (text.find(part) != std::string::npos)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "'" << text << "' lacks '" << part << "'";
}

// A device that has had its Offer and (unless told otherwise) its Size;
// records what it sends.
struct Device {
    DeviceSession s;
    Clock::time_point now = Clock::time_point() + 1h;
    std::vector<uint32_t> acks; // indexes of the BlockAcks sent
    std::vector<int> sent;      // types of everything sent

    explicit Device(const SessionConfig& c, uint32_t imageLength = 4096, bool sendSize = true) : s(0, c)
    {
        Outbox out;
        s.begin(now, out);
        feed(offer(), 5555); // from the listener's port, not the job port
        if (sendSize)
            feed(sizeMsg(imageLength));
        acks.clear(), sent.clear(); // the kick-off
    }
    void record(const Outbox& out)
    {
        for (const auto& o : out) {
            sent.push_back(messageType(o.bytes, o.size));
            if (sent.back() == TypeBlockAck)
                acks.push_back(readBE32(o.bytes + 12));
        }
    }
    void feed(const Msg& m, uint16_t port = kJobPort, int64_t wireNs = -1)
    {
        Outbox out;
        s.onDatagram(m.data(), m.size(), 0x0AD50701, port, now, out, wireNs);
        record(out);
    }
    // Lets `d` pass in steps of `step`, running the timer after each.
    void pass(std::chrono::milliseconds d, std::chrono::milliseconds step = 10ms)
    {
        for (auto end = now + d; now < end && !s.finished();) {
            now += step;
            Outbox out;
            s.onTimer(now, out);
            record(out);
        }
    }
    std::string firstViolation() const { return s.violations().empty() ? "" : s.violations()[0]; }
};
} // namespace

TEST(DeviceSession, JudgesTheToolsScript)
{
    const Msg image = imageOf(2500); // three blocks, the last one partial
    const uint32_t sum = wordSum(image.data(), image.size());
    const std::vector<int> done{TypeWriteProgress, TypeWriteProgress, TypeWriteComplete};
    struct Case {
        const char *name, *violation; // violation: "" for a clean exchange
        std::function<void(std::vector<Msg>&)> edit; // of: block 0, 1, 2, End
        std::vector<uint32_t> acks;
        std::vector<int> after; // what the device sends once the script is over
    };
    const std::vector<Case> cases = {
        {"correct", "", [](auto&) {}, {0, 1, 2}, done},
        {"length field", "length field is 1024",
         [](auto& s) { s.insert(s.begin(), s[0]), writeBE32(s[0].data() + 8, 1024); }, {0, 1, 2}, done},
        {"index >= count", "beyond the block count 3",
         [](auto& s) { s.insert(s.begin(), s[0]), writeBE32(s[0].data() + 12, 3); }, {0, 1, 2}, done},
        {"datagram too long", "Block: datagram is 1041 bytes, not 1040",
         [](auto& s) { s.insert(s.begin(), s[0]), s[0].push_back(0); }, {0, 1, 2}, done},
        {"resent with other bytes", "Block 0 was sent again with different bytes",
         [](auto& s) { s.insert(s.begin() + 1, s[0]), s[1][20] ^= 1; }, {0, 0, 1, 2}, done},
        {"short End", "End: datagram is 16 bytes", [](auto& s) { s[3].pop_back(); }, {0, 1, 2}, {}},
        {"wrong checksum", "End carries checksum", [](auto& s) { s[3][15] ^= 1; }, {0, 1, 2}, {TypeCheckFailed}},
        {"wrong options", "End carries options 1, expected 3", [](auto& s) { s[3][16] = 1; }, {0, 1, 2}, done},
        {"End before all blocks", "End arrived after 2 of 3 blocks", [](auto& s) { s.erase(s.begin() + 2); },
         {0, 1}, {}},
        // Two words swapped keep the checksum; only the bytes tell.
        {"words out of place", "differ from the expected image at offset 1028",
         [](auto& s) { std::swap_ranges(s[1].begin() + 20, s[1].begin() + 24, s[1].begin() + 24); }, {0, 1, 2}, done},
        {"blocks in another order", "", [](auto& s) { std::swap(s[0], s[2]); }, {2, 1, 0}, done},
        {"End repeated with other options", "a repeated End differs from the first",
         [](auto& s) { s.push_back(s[3]), s[4][16] = 1; }, {0, 1, 2}, done},
    };
    for (bool keep : {true, false})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (keep ? ", bytes kept" : ", fingerprints"));
            std::vector<Msg> script{block(image, 0), block(image, 1), block(image, 2), endMsg(sum)};
            c.edit(script);
            SessionConfig cfg = baseConfig();
            cfg.keepBytes = keep;
            cfg.expectImage = std::make_shared<Msg>(image);
            Device r(cfg, uint32_t(image.size()));
            for (const auto& m : script)
                r.feed(m);
            const size_t scripted = r.sent.size();
            r.pass(5s);
            EXPECT_EQ(r.acks, c.acks);
            EXPECT_EQ(std::vector<int>(r.sent.begin() + scripted, r.sent.end()), c.after);
            EXPECT_EQ(r.s.succeeded(), !*c.violation) << r.firstViolation() << r.s.failure();
            EXPECT_TRUE(has(r.firstViolation(), c.violation));
            if (keep && !*c.violation) {
                EXPECT_TRUE(std::equal(r.s.received().begin(), r.s.received().end(), image.begin(), image.end()));
            }
            EXPECT_EQ(r.s.received().empty(), !keep);
        }
}

TEST(DeviceSession, ShapesLostAndRepeatedTraffic)
{
    const Msg image = imageOf(64 * 1024);
    using Case = std::tuple<int SessionConfig::*, size_t, uint32_t>; // knob, acks sent, blocks kept
    for (auto [knob, acks, kept] : {Case{&SessionConfig::ackLossPercent, 0, 64}, Case{&SessionConfig::dropBlockPercent, 0, 0},
                                    Case{&SessionConfig::dupAckPercent, 128, 64}}) {
        SessionConfig cfg = baseConfig();
        cfg.*knob = 100;
        Device r(cfg, uint32_t(image.size()));
        for (uint32_t i = 0; i < 64; ++i)
            r.feed(block(image, i));
        EXPECT_EQ(r.acks.size(), acks);
        EXPECT_EQ(r.s.blocksReceived(), kept);
        EXPECT_EQ(r.s.droppedBlocks(), 64 - kept);
    }
}

namespace {
// The stream with a configuration as the device's firmware reads it back:
// little-endian words [fromWord, toWord) XORed with the mask (bytes past the
// end of the stream left out).
Msg masked(const Msg& image, const Msg& config, size_t fromWord, size_t toWord)
{
    Msg v = image;
    v.insert(v.end(), config.begin(), config.end());
    for (size_t i = fromWord * 4; i < toWord * 4 && i < v.size(); ++i)
        v[i] ^= uint8_t(0x5A3C96E1u >> (8 * (i % 4)));
    return v;
}

// Feeds `stream` block by block, then End, and lets the device report.
void transfer(Device& d, const Msg& stream, uint32_t sum)
{
    for (uint32_t i = 0; i * 1024 < stream.size(); ++i)
        d.feed(block(stream, i));
    d.feed(endMsg(sum));
    d.pass(2s);
}
} // namespace

TEST(DeviceSession, ChecksTheConfigurationBehindTheImage)
{
    const Msg image = imageOf(2502), config = imageOf(1031); // neither ends on a whole word
    const size_t imageWord = 2502 / 4, lastWord = (2502 + 1031) / 4;
    const Msg good = masked(image, config, imageWord, lastWord);
    Msg alone = image;
    struct Case {
        const char *name, *violation;
        bool none; // --expect-config none instead of the file
        Msg stream;
        std::optional<uint32_t> sum; // unset: the sum of the stream
    };
    const std::vector<Case> cases = {
        {"masked from the word holding the image's end", "", false, good, {}},
        {"mask starts one word late", "offset 2500 (image tail, masked)", false,
         masked(image, config, imageWord + 1, lastWord), {}},
        {"mask starts one word early", "differ from the expected image at offset 2496", false,
         masked(image, config, imageWord - 1, lastWord), {}},
        {"trailing partial word masked too", "offset 3532 (configuration byte 1030)", false,
         masked(image, config, imageWord, lastWord + 1), {}},
        {"configuration unmasked", "offset 2500", false, masked(image, config, 0, 0), {}},
        {"configuration left out", "Size says 2502 bytes, expected 3533 (image 2502 + configuration 1031)", false,
         alone, {}},
        {"checksum of the image alone", "End carries checksum", false, good, wordSum(image.data(), image.size())},
        {"none: the image alone", "", true, alone, {}},
        {"none: a configuration appended", "Size says 3533 bytes, the expected image has 2502 and nothing may follow",
         true, good, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionConfig cfg = baseConfig();
        cfg.expectImage = std::make_shared<Msg>(image);
        cfg.expectNoConfig = c.none;
        if (!c.none)
            cfg.expectConfig = std::make_shared<Msg>(config);
        Device d(cfg, uint32_t(c.stream.size()));
        transfer(d, c.stream, c.sum ? *c.sum : wordSum(c.stream.data(), c.stream.size()));
        EXPECT_TRUE(d.s.finished());
        EXPECT_EQ(d.s.succeeded(), !*c.violation) << d.firstViolation();
        EXPECT_TRUE(has(d.firstViolation(), c.violation));
    }
}

TEST(DeviceSession, LostSizeMessagesNeedAToolThatAnswersRepeatedReady)
{
    struct Case {
        int lose;
        bool toolAnswersRepeats;
        bool reachesBlocks;
    };
    for (auto c : {Case{0, false, true}, Case{1, true, true}, Case{3, true, true}, Case{1, false, false}}) {
        SCOPED_TRACE(testing::Message() << "lose " << c.lose << (c.toolAnswersRepeats ? ", answered" : ""));
        SessionConfig cfg = baseConfig();
        cfg.loseSize = c.lose;
        Device d(cfg, 0, false);
        d.feed(sizeMsg(4096)); // the answer to the Ready that followed the Offer
        int sizes = 1;
        while (!d.s.finished() && d.acks.empty() && sizes < 20) {
            const auto readies = std::count(d.sent.begin(), d.sent.end(), TypeReady);
            d.pass(10ms);
            if (c.toolAnswersRepeats && std::count(d.sent.begin(), d.sent.end(), TypeReady) > readies)
                d.feed(sizeMsg(4096)), ++sizes;
        }
        EXPECT_EQ(d.s.sizesLost(), c.lose);
        if (c.reachesBlocks) {
            EXPECT_EQ(sizes, c.lose + 1);
            EXPECT_EQ(d.acks, std::vector<uint32_t>{kKickOffIndex});
            EXPECT_EQ(d.s.phase(), DeviceSession::Phase::WaitBlocks);
        } else {
            EXPECT_TRUE(d.acks.empty());
            EXPECT_FALSE(d.s.succeeded());
            EXPECT_TRUE(has(d.s.failure(), "no Size message"));
            EXPECT_GE(std::count(d.sent.begin(), d.sent.end(), TypeReady), 5); // one per retry interval
        }
    }
}

TEST(DeviceSession, FallsSilentAfterAcknowledgingNBlocks)
{
    const Msg image = imageOf(32 * 1024);
    const uint32_t sum = wordSum(image.data(), image.size());
    auto range = [](uint32_t from, uint32_t to) {
        std::vector<uint32_t> v(to - from);
        std::iota(v.begin(), v.end(), from);
        return v;
    };
    struct Case {
        const char* name;
        int ackDelayMs;
        bool endDuringSilence;
        std::vector<uint32_t> acksBefore, acksAfter; // before the silence ends, at its end
    };
    // With delayed acknowledgements the silence begins when the tenth goes
    // out (block 9 at 14 ms); those of blocks 10..13, due by then, wait for it.
    auto withDelayed = range(10, 14);
    withDelayed.push_back(31);
    for (const auto& c : {Case{"tool sends the rest again", 0, false, range(0, 10), {31}},
                          Case{"End during the silence", 0, true, range(0, 10), {}},
                          Case{"delayed acknowledgements", 5, false, range(0, 10), withDelayed}}) {
        SCOPED_TRACE(c.name);
        SessionConfig cfg = baseConfig();
        cfg.ackStallAfter = 10, cfg.ackStallMs = 300, cfg.ackDelayMs = c.ackDelayMs;
        Device d(cfg, uint32_t(image.size()));
        for (uint32_t i = 0; i < 32; ++i) {
            d.feed(block(image, i));
            d.pass(1ms, 1ms);
        }
        EXPECT_EQ(d.s.blocksReceived(), 32u) << "blocks are kept during the silence";
        EXPECT_EQ(d.s.phase(), DeviceSession::Phase::WaitEnd);
        d.pass(250ms); // the request for End is due every 100 ms, but not now
        EXPECT_EQ(d.acks, c.acksBefore);
        EXPECT_EQ(d.sent.size(), d.acks.size()) << "something other than an acknowledgement went out";
        if (c.endDuringSilence) {
            d.feed(endMsg(sum));
            EXPECT_TRUE(has(d.firstViolation(), "End arrived although block 10 was never acknowledged (10 of 32"));
            continue;
        }
        d.pass(60ms);
        // Awake: what was held goes out, with a request for End (an
        // acknowledgement of the last block); then the blocks the tool sends
        // again are acknowledged.
        EXPECT_EQ(std::vector<uint32_t>(d.acks.begin() + 10, d.acks.end()), c.acksAfter);
        std::vector<uint8_t> acked(32, 0);
        for (uint32_t a : d.acks)
            acked[a] = 1;
        for (uint32_t i = 0; i < 32; ++i)
            if (!acked[i])
                d.feed(block(image, i));
        d.pass(20ms);
        for (uint32_t a : d.acks)
            acked[a] = 1;
        EXPECT_EQ(std::count(acked.begin(), acked.end(), 1), 32);
        d.feed(endMsg(sum));
        d.pass(1s);
        EXPECT_TRUE(d.s.succeeded()) << d.firstViolation() << d.s.failure();
    }
}

TEST(DeviceSession, TimesTheGapsBetweenBlockArrivals)
{
    const Msg image = imageOf(8 * 1024);
    struct Case {
        const char* name;
        std::vector<int64_t> arrivalsUs; // one Block each, block i at arrivalsUs[i]
        int minGapUs;
        size_t gaps;
        double minUs, p1Us, medianUs, meanUs;
        const char* violation;
    };
    const std::vector<Case> cases = {
        {"one block", {0}, 0, 0, 0, 0, 0, 0, ""},
        {"steady", {0, 1000, 2000, 3000, 4000}, 900, 4, 1000, 1000, 1000, 1000, ""},
        {"a pair too close", {0, 1000, 1100, 2100, 5100}, 900, 4, 100, 100, 1000, 1275,
         "Block 2 arrived 100.0 us after the Block before it, below --min-gap-us 900"},
        {"same instant", {0, 0, 1000}, 1, 2, 0, 0, 0, 500, "Block 1 arrived 0.0 us"},
        {"wall clock stepped back", {5000, 1000, 2000}, 0, 2, 0, 0, 0, 500, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionConfig cfg = baseConfig();
        cfg.minGapUs = c.minGapUs;
        Device d(cfg, uint32_t(image.size()));
        const int64_t base = 1'700'000'000'000'000'000;
        for (size_t i = 0; i < c.arrivalsUs.size(); ++i)
            d.feed(block(image, uint32_t(i)), kJobPort, base + c.arrivalsUs[i] * 1000);
        GapStats g = d.s.gapStats();
        EXPECT_EQ(g.gaps, c.gaps);
        EXPECT_DOUBLE_EQ(g.minUs, c.minUs);
        EXPECT_DOUBLE_EQ(g.p1Us, c.p1Us);
        EXPECT_DOUBLE_EQ(g.medianUs, c.medianUs);
        EXPECT_DOUBLE_EQ(g.meanUs, c.meanUs);
        EXPECT_EQ(d.s.violationCount(), *c.violation ? 1u : 0u);
        EXPECT_TRUE(has(d.firstViolation(), c.violation));
    }
}

TEST(DeviceSession, GapsCountOnlyBlocksOfTheBlockPhase)
{
    const Msg image = imageOf(3 * 1024);
    SessionConfig cfg = baseConfig();
    cfg.minGapUs = 500;
    Device d(cfg, uint32_t(image.size()), false);
    const int64_t t = 1'000'000'000;
    d.feed(block(image, 0), kJobPort, t); // before Size: a violation, not a gap
    d.feed(sizeMsg(uint32_t(image.size())));
    for (uint32_t i = 0; i < 3; ++i)
        d.feed(block(image, i), kJobPort, t + (i + 1) * 1'000'000);
    d.feed(endMsg(wordSum(image.data(), image.size())));
    d.feed(block(image, 2), kJobPort, t + 3'000'001); // a late copy after End
    EXPECT_EQ(d.s.gapStats().gaps, 2u);
    EXPECT_DOUBLE_EQ(d.s.gapStats().minUs, 1000.0);
    EXPECT_EQ(d.s.blockMessages(), 5u);
    EXPECT_EQ(d.s.violationCount(), 1u) << d.firstViolation();
}

TEST(DeviceSession, OfferExpectations)
{
    struct Case {
        const char* name;
        bool noOffer;
        StopAfter stop;
        bool offered;
        const char* result;
        bool ok;
    };
    for (const auto& c : {Case{"no Offer, none expected", true, StopAfter::Never, false, "no-offer", true},
                          Case{"an Offer where none may come", true, StopAfter::Never, true, "failed", false},
                          Case{"stop after the Offer", false, StopAfter::Offer, true, "stopped-after-offer", true},
                          Case{"no Offer at all", false, StopAfter::Never, false, "failed", false}}) {
        SCOPED_TRACE(c.name);
        SessionConfig cfg = baseConfig();
        cfg.expectNoOffer = c.noOffer, cfg.stopAfter = c.stop, cfg.offerTimeoutMs = 500;
        DeviceSession s(0, cfg);
        auto now = Clock::time_point() + 1h;
        Outbox out;
        s.begin(now, out);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_TRUE(out[0].toRequestTarget);
        out.clear();
        const Msg o = offer();
        if (c.offered)
            s.onDatagram(o.data(), o.size(), 0x0AD50701, 5555, now + 100ms, out);
        for (int i = 1; i <= 100; ++i) {
            const Msg size = sizeMsg(4096); // what a tool would answer a Ready with
            if (c.offered)
                s.onDatagram(size.data(), size.size(), 0x0AD50701, kJobPort, now + i * 10ms, out);
            s.onTimer(now + i * 10ms, out);
        }
        EXPECT_TRUE(out.empty()) << "the device answered: type " << messageType(out[0].bytes, out[0].size);
        EXPECT_TRUE(s.finished());
        EXPECT_EQ(s.resultText(), c.result);
        EXPECT_EQ(s.succeeded(), c.ok) << (s.violations().empty() ? s.failure() : s.violations()[0]);
    }
}

TEST(DeviceSession, AnotherToolAForeignPortAChangedSizeAndAnOversizedDatagramAreFaults)
{
    SessionConfig cfg = baseConfig();
    cfg.expectToolAddr = 0x0AD50709; // the Offer names 10.213.7.1
    Device d(cfg);
    d.feed(sizeMsg(4096), 5555);
    d.feed(sizeMsg(8192));
    Msg big = block(imageOf(4096), 0);
    big.resize(2048);
    d.s.onOversized(big.data(), big.size(), d.now);
    big[0] = 'x'; // not the protocol: ignored
    d.s.onOversized(big.data(), big.size(), d.now);
    const char* want[] = {"Offer names tool address 10.213.7.1, expected 10.213.7.9",
                          "Size came from port 5555, not the job port 40000", "a second Size message says 8192 bytes",
                          "Block: a datagram of more than 2048 bytes"};
    ASSERT_EQ(d.s.violationCount(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_TRUE(has(d.s.violations()[i], want[i]));
}
