// SPDX-License-Identifier: MIT
// The end-to-end tests rely on the simulated device to judge the real tool: it
// must take a correct exchange, catch every way a tool can get one wrong and
// misbehave exactly as it is told to.

#include "DeviceSession.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <numeric>

using namespace devsim;
using namespace std::chrono_literals;
using Msg = std::vector<uint8_t>;

namespace {
constexpr uint16_t kJobPort = 40000;
constexpr size_t kSlot = 2048; // what the receive loop reads of one datagram

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

uint32_t sumOf(const Msg& m) { return wordSum(m.data(), m.size()); }
Msg offer() { return frame(TypeOffer, 10, 22, 0x0AD50702, {10, 213, 7, 1, kJobPort >> 8, kJobPort & 0xFF}); }
Msg sizeMsg(uint32_t length) { return frame(TypeSize, 8, 20, length, {0, 0, 4, 0}); }
Msg endMsg(uint32_t sum) { return frame(TypeEnd, 5, 17, sum, {3}); }

SessionConfig baseConfig()
{
    SessionConfig c;
    c.product = "ABCDEFG", c.retryMs = 100, c.timeoutMs = 1000, c.expectOptions = 3, c.progressSteps = 2;
    c.offerTimeoutMs = 500;
    return c;
}

testing::AssertionResult has(const std::string& text, const std::string& part)
{
    if (text.find(part) != std::string::npos)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "'" << text << "' lacks '" << part << "'";
}

struct Step {
    Msg m;
    uint16_t port = kJobPort;
};
using Script = std::vector<Step>;

// What a tool sends for `stream`: the Offer (from the listener's port), Size, every block, End.
Script toolScript(const Msg& stream)
{
    Script s{{offer(), 5555}, {sizeMsg(uint32_t(stream.size()))}};
    for (uint32_t i = 0; i * 1024 < stream.size(); ++i)
        s.push_back({block(stream, i)});
    s.push_back({endMsg(sumOf(stream))});
    return s;
}

// A device that has asked for an update; records what it sends.
struct Device {
    DeviceSession s;
    Clock::time_point now = Clock::time_point() + 1h;
    std::vector<uint32_t> acks; // indexes of the BlockAcks sent, but the kick-off
    std::vector<int> sent;      // types of everything sent

    explicit Device(const SessionConfig& c) : s(0, c)
    {
        Outbox out;
        s.begin(now, out);
        EXPECT_TRUE(out.size() == 1 && out[0].toRequestTarget && messageType(out[0].bytes, out[0].size) == 0);
    }
    void record(const Outbox& out)
    {
        for (const auto& o : out) {
            sent.push_back(messageType(o.bytes, o.size));
            if (sent.back() == TypeBlockAck && readBE32(o.bytes + 12) != kKickOffIndex)
                acks.push_back(readBE32(o.bytes + 12));
        }
    }
    void feed(const Msg& m, uint16_t port = kJobPort, int64_t wireNs = -1)
    {
        Outbox out;
        if (m.size() > kSlot)
            s.onOversized(m.data(), kSlot, now);
        else
            s.onDatagram(m.data(), m.size(), 0x0AD50701, port, now, out, wireNs);
        record(out);
    }
    // The Offer and the Size of a `length`-byte image, and nothing recorded.
    void toBlocks(uint32_t length)
    {
        feed(offer(), 5555), feed(sizeMsg(length));
        acks.clear(), sent.clear();
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

// Each row: what the device is told to expect or to do, and what the tool
// sends (the correct script, edited); then what the device acknowledges,
// what it sends once the script is over, its first complaint (or, without
// one, why it failed) and how it ends.
TEST(DeviceSession, JudgesWhatTheToolSendsAndMisbehavesAsTold)
{
    const Msg image = imageOf(2502), config = imageOf(1031); // neither ends on a whole word
    const size_t imageWord = 2502 / 4, lastWord = (2502 + 1031) / 4;
    // The image and its configuration as the device's firmware reads them
    // back: little-endian words [fromWord, toWord) XORed with the mask.
    const auto masked = [&](size_t fromWord, size_t toWord) {
        Msg v = image;
        v.insert(v.end(), config.begin(), config.end());
        for (size_t i = fromWord * 4; i < toWord * 4 && i < v.size(); ++i)
            v[i] ^= uint8_t(kConfigMask >> (8 * (i % 4)));
        return v;
    };
    const Msg good = masked(imageWord, lastWord);
    using Edit = std::function<void(Script&)>;
    using Config = std::function<void(SessionConfig&)>;
    const Config withConfig = [&](SessionConfig& c) { c.expectConfig = std::make_shared<Msg>(config); };
    const Config noConfig = [](SessionConfig& c) { c.expectNoConfig = true; };
    const auto copy = [](size_t from, size_t to) -> Edit { return [=](Script& s) { s.insert(s.begin() + to, s[from]); }; };
    const int P = TypeWriteProgress, A = TypeBlockAck, R = TypeReady;
    const std::vector<int> done{P, P, TypeWriteComplete};
    const std::vector<uint32_t> all{0, 1, 2}, none;
    struct Case {
        const char *name, *fault; // in the first violation, else in the failure; "" for a clean exchange
        Config config;
        Msg stream; // empty: the image
        Edit edit;  // of: Offer, Size, block 0, 1, 2, End
        std::vector<uint32_t> acks;
        std::vector<int> after;
        const char* result = "";
    };
    const std::vector<Case> cases = {
        {"correct", "", {}, {}, {}, all, done, "complete"},
        {"blocks in another order", "", {}, {}, [](Script& s) { std::swap(s[2], s[4]); }, {2, 1, 0}, done},
        {"a late copy after End", "", {}, {}, copy(4, 6), all, done},
        {"length field", "Block: length field is 1024", {}, {},
         [](Script& s) { s.insert(s.begin() + 2, s[2]), writeBE32(s[2].m.data() + 8, 1024); }, all, done},
        {"index >= count", "Block: index 3 is beyond the block count 3", {}, {},
         [](Script& s) { s.insert(s.begin() + 2, s[2]), writeBE32(s[2].m.data() + 12, 3); }, all, done},
        {"datagram too long", "Block: datagram is 1041 bytes, not 1040", {}, {},
         [](Script& s) { s.insert(s.begin() + 2, s[2]), s[2].m.push_back(0); }, all, done},
        {"longer than any message", "Block: a datagram of more than 2048 bytes", {}, {},
         [](Script& s) { // a foreign one first: ignored
             s.insert(s.begin() + 2, 2, s[2]), s[2].m.resize(3000, 0), s[2].m[0] = 'x', s[3].m.resize(3000, 0);
         },
         all, done},
        {"resent with other bytes", "Block 0 was sent again with different bytes", {}, {},
         [](Script& s) { s.insert(s.begin() + 3, s[2]), s[3].m[20] ^= 1; }, {0, 0, 1, 2}, done},
        // Two words swapped keep the checksum; only the bytes tell.
        {"words out of place", "differ from the expected image at offset 1028", {}, {},
         [](Script& s) { std::swap_ranges(s[3].m.begin() + 20, s[3].m.begin() + 24, s[3].m.begin() + 24); }, all, done},
        {"Block before any Offer", "Block arrived before any Offer", {}, {}, copy(2, 0), all, done},
        {"Block before the Size", "Block arrived before the Size message", {}, {}, copy(2, 1), all, done},
        {"block size 2048", "Size: block size is 2048, not 1024", {}, {}, [](Script& s) { s[1].m[18] = 8; }, none, {}},
        {"a second Size", "a second Size message says 8192 bytes", {}, {},
         [](Script& s) { s.insert(s.begin() + 3, {sizeMsg(8192)}); }, all, done},
        {"Size from a foreign port", "Size came from port 5555, not the job port 40000", {}, {},
         [](Script& s) { s[1].port = 5555; }, all, done},
        {"another tool", "Offer names tool address 10.213.7.1, expected 10.213.7.9",
         [](SessionConfig& c) { c.expectToolAddr = 0x0AD50709; }, {}, {}, all, done},
        {"short End", "End: datagram is 16 bytes", {}, {}, [](Script& s) { s[5].m.pop_back(); }, all, {}, "failed"},
        {"wrong checksum", "End carries checksum", {}, {}, [](Script& s) { s[5].m[15] ^= 1; }, all, {TypeCheckFailed},
         "check-failed"},
        {"wrong options", "End carries options 1, expected 3", {}, {}, [](Script& s) { s[5].m[16] = 1; }, all, done},
        {"options beyond the two", "End: option byte 7 has bits beyond", {}, {}, [](Script& s) { s[5].m[16] = 7; },
         all, {}},
        {"End before all blocks", "End arrived after 2 of 3 blocks", {}, {}, [](Script& s) { s.erase(s.begin() + 4); },
         {0, 1}, {}},
        {"End repeated with other options", "a repeated End differs from the first", {}, {},
         [](Script& s) { s.push_back(s[5]), s[6].m[16] = 1; }, all, done},
        {"told to write and fail", "", [](SessionConfig& c) { c.result = Outcome::WriteFailed; }, {}, {}, all,
         {P, P, TypeWriteFailed}, "write-failed"},
        // The configuration behind the image, masked from the word holding the image's end.
        {"masked as it should be", "", withConfig, good, {}, {0, 1, 2, 3}, done},
        {"mask starts one word late", "offset 2500 (image tail, masked)", withConfig, masked(imageWord + 1, lastWord), {},
         {0, 1, 2, 3}, done},
        {"mask starts one word early", "differ from the expected image at offset 2496", withConfig,
         masked(imageWord - 1, lastWord), {}, {0, 1, 2, 3}, done},
        {"trailing partial word masked too", "offset 3532 (configuration byte 1030)", withConfig,
         masked(imageWord, lastWord + 1), {}, {0, 1, 2, 3}, done},
        {"configuration unmasked", "offset 2500", withConfig, masked(0, 0), {}, {0, 1, 2, 3}, done},
        {"configuration left out", "Size says 2502 bytes, expected 3533 (image 2502 + configuration 1031)", withConfig,
         {}, {}, all, done},
        {"checksum of the image alone", "End carries checksum", withConfig, good,
         [&](Script& s) { writeBE32(s.back().m.data() + 12, sumOf(image)); }, {0, 1, 2, 3}, {TypeCheckFailed}},
        {"none: the image alone", "", noConfig, {}, {}, all, done},
        {"none: a configuration appended", "Size says 3533 bytes, the expected image has 2502 and nothing may follow",
         noConfig, good, {}, {0, 1, 2, 3}, done},
        // What the device is told to do wrong.
        {"acknowledgements lost", "End arrived although block 0 was never acknowledged (0 of 3 were)",
         [](SessionConfig& c) { c.ackLossPercent = 100; }, {}, {}, none, done},
        {"blocks dropped", "End arrived after 0 of 3 blocks", [](SessionConfig& c) { c.dropBlockPercent = 100; }, {},
         {}, none, {}},
        {"acknowledgements doubled", "", [](SessionConfig& c) { c.dupAckPercent = 100; }, {}, {}, {0, 0, 1, 1, 2, 2},
         done},
        // Each held back behind the next; the last one goes out late.
        {"acknowledgements reordered", "End arrived although block 2 was never acknowledged",
         [](SessionConfig& c) { c.reorderAckPercent = 100; }, {}, {}, {1, 0, 2}, {P, A, P, TypeWriteComplete}},
        // Lost Size messages: only a tool that answers a repeated Ready gets on.
        {"one Size lost, answered again", "", [](SessionConfig& c) { c.loseSize = 1; }, {}, copy(1, 1), all, done},
        {"three Sizes lost", "", [](SessionConfig& c) { c.loseSize = 3; }, {}, [](Script& s) { s.insert(s.begin() + 1, 3, s[1]); },
         all, done},
        {"a lost Size not answered", "no Size message within 1000 ms", [](SessionConfig& c) { c.loseSize = 1; }, {},
         [](Script& s) { s.resize(2); }, none, std::vector<int>(9, R), "failed"},
        {"stop after the Offer", "", [](SessionConfig& c) { c.stopAfter = StopAfter::Offer; }, {}, {}, none, {},
         "stopped-after-offer"},
        {"stop after Size", "", [](SessionConfig& c) { c.stopAfter = StopAfter::Size; }, {}, {}, none, {},
         "stopped-after-size"},
        {"stop after two blocks", "", [](SessionConfig& c) { c.stopAfter = StopAfter::Blocks, c.stopAfterBlocks = 2; },
         {}, {}, {0}, {}, "stopped-after-blocks"},
        {"no Offer, none expected", "", [](SessionConfig& c) { c.expectNoOffer = true; }, {},
         [](Script& s) { s.clear(); }, none, {}, "no-offer"},
        {"an Offer where none may come", "an Offer arrived (tool 10.213.7.1, job port 40000) where none may come",
         [](SessionConfig& c) { c.expectNoOffer = true; }, {}, {}, none, {}, "failed"},
        {"no Offer at all", "no Offer within 500 ms", {}, {}, [](Script& s) { s.clear(); }, none, {}, "failed"},
    };
    for (bool keep : {true, false})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (keep ? ", bytes kept" : ", fingerprints"));
            const Msg& stream = c.stream.empty() ? image : c.stream;
            Script script = toolScript(stream);
            if (c.edit)
                c.edit(script);
            SessionConfig cfg = baseConfig();
            cfg.keepBytes = keep;
            cfg.expectImage = std::make_shared<Msg>(image);
            if (c.config)
                c.config(cfg);
            Device d(cfg);
            for (const auto& step : script)
                d.feed(step.m, step.port);
            const size_t scripted = d.sent.size();
            d.pass(5s);
            EXPECT_EQ(d.acks, c.acks);
            EXPECT_EQ(std::vector<int>(d.sent.begin() + scripted, d.sent.end()), c.after);
            EXPECT_TRUE(d.s.finished());
            EXPECT_EQ(d.s.succeeded(), !*c.fault) << d.firstViolation() << d.s.failure();
            EXPECT_TRUE(has(d.s.violations().empty() ? d.s.failure() : d.firstViolation(), c.fault));
            EXPECT_TRUE(has(d.s.resultText(), c.result));
            if (keep && !*c.fault && d.s.resultText() == "complete") {
                EXPECT_TRUE(std::equal(d.s.received().begin(), d.s.received().end(), stream.begin(), stream.end()));
            }
            EXPECT_TRUE(keep || d.s.received().empty());
        }
}

TEST(DeviceSession, FallsSilentAfterAcknowledgingNBlocks)
{
    const Msg image = imageOf(32 * 1024);
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
        Device d(cfg);
        d.toBlocks(uint32_t(image.size()));
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
            d.feed(endMsg(sumOf(image)));
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
        d.feed(endMsg(sumOf(image)));
        d.pass(1s);
        EXPECT_TRUE(d.s.succeeded()) << d.firstViolation() << d.s.failure();
    }
}

// Gaps count between the blocks from Size to End (a copy sent again counts),
// not from a block before Size nor to a late copy after End.
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
        bool strays = false; // block 0 1 us before Size; the last block again 1 ms later, and 1 us after End
    };
    const std::vector<Case> cases = {
        {"one block", {0}, 0, 0, 0, 0, 0, 0, ""},
        {"steady", {0, 1000, 2000, 3000, 4000}, 900, 4, 1000, 1000, 1000, 1000, ""},
        {"a pair too close", {0, 1000, 1100, 2100, 5100, 6000}, 900, 5, 100, 100, 1000, 1200,
         "Block 2 arrived 100.0 us after the Block before it, below --min-gap-us 900"},
        {"same instant", {0, 0, 1000}, 1, 2, 0, 0, 0, 500, "Block 1 arrived 0.0 us"},
        {"wall clock stepped back", {5000, 1000, 2000}, 0, 2, 0, 0, 0, 500, ""},
        {"strays", {0, 1000, 2000}, 500, 3, 1000, 1000, 1000, 1000, "Block arrived before the Size message", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionConfig cfg = baseConfig();
        cfg.minGapUs = c.minGapUs;
        Device d(cfg);
        const int64_t base = 1'700'000'000'000'000'000, last = base + c.arrivalsUs.back() * 1000;
        d.feed(offer(), 5555);
        if (c.strays)
            d.feed(block(image, 0), kJobPort, base - 1000);
        d.feed(sizeMsg(uint32_t(c.arrivalsUs.size() * 1024)));
        for (size_t i = 0; i < c.arrivalsUs.size(); ++i)
            d.feed(block(image, uint32_t(i)), kJobPort, base + c.arrivalsUs[i] * 1000);
        if (c.strays) {
            d.feed(block(image, 2), kJobPort, last + 1'000'000);
            d.feed(endMsg(sumOf(Msg(image.begin(), image.begin() + 3 * 1024))));
            d.feed(block(image, 2), kJobPort, last + 1'001'000);
        }
        GapStats g = d.s.gapStats();
        EXPECT_EQ(g.gaps, c.gaps);
        EXPECT_DOUBLE_EQ(g.minUs, c.minUs);
        EXPECT_DOUBLE_EQ(g.p1Us, c.p1Us);
        EXPECT_DOUBLE_EQ(g.medianUs, c.medianUs);
        EXPECT_DOUBLE_EQ(g.meanUs, c.meanUs);
        EXPECT_EQ(d.s.blockMessages(), c.arrivalsUs.size() + (c.strays ? 3 : 0));
        EXPECT_EQ(d.s.violationCount(), *c.violation ? 1u : 0u) << d.firstViolation();
        EXPECT_TRUE(has(d.firstViolation(), c.violation));
    }
}
