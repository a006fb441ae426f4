// The end-to-end tests rely on the simulated device to judge the real tool: it
// must take a correct exchange and catch every way a tool can get one wrong.

#include "DeviceSession.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <functional>

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

// A device that has had its Offer and Size; `knob` is a shaping percentage set to 100.
struct Device {
    DeviceSession s;
    Clock::time_point now = Clock::time_point() + 1h;
    std::vector<uint32_t> acks;

    Device(int SessionConfig::*knob, uint32_t imageLength) : s(0, config(knob))
    {
        s.begin(now);
        // The Offer comes from the listener's port, not the job port.
        feed(frame(TypeOffer, 10, 22, 0x0AD50702, {10, 213, 7, 1, kJobPort >> 8, kJobPort & 0xFF}), 5555);
        feed(frame(TypeSize, 8, 20, imageLength, {0, 0, 4, 0}));
        acks.clear(); // the kick-off
    }
    static SessionConfig config(int SessionConfig::*knob)
    {
        SessionConfig c;
        c.product = "ABCDEFG", c.retryMs = 100, c.timeoutMs = 1000, c.expectOptions = 3, c.progressSteps = 2;
        if (knob)
            c.*knob = 100;
        return c;
    }
    void feed(const Msg& m, uint16_t port = kJobPort)
    {
        for (const auto& o : s.onDatagram(m.data(), m.size(), 0x0AD50701, port, now))
            if (messageType(o.bytes.data(), o.bytes.size()) == TypeBlockAck)
                acks.push_back(readBE32(o.bytes.data() + 12));
    }
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
        {"resent with other bytes", "Block 0 was sent again with different bytes",
         [](auto& s) { s.insert(s.begin() + 1, s[0]), s[1][20] ^= 1; }, {0, 0, 1, 2}, done},
        {"short End", "End: datagram is 16 bytes", [](auto& s) { s[3].pop_back(); }, {0, 1, 2}, {}},
        {"wrong checksum", "End carries checksum", [](auto& s) { s[3][15] ^= 1; }, {0, 1, 2}, {TypeCheckFailed}},
        {"wrong options", "End carries options 1, expected 3", [](auto& s) { s[3][16] = 1; }, {0, 1, 2}, done},
        {"End before all blocks", "End arrived after 2 of 3 blocks", [](auto& s) { s.erase(s.begin() + 2); },
         {0, 1}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Msg> script{block(image, 0), block(image, 1), block(image, 2), frame(TypeEnd, 5, 17, sum, {3})};
        c.edit(script);
        Device r(nullptr, uint32_t(image.size()));
        for (const auto& m : script)
            r.feed(m);
        std::vector<int> after;
        for (int i = 0; i < 500 && !r.s.finished(); ++i)
            for (const auto& o : r.s.onTimer(r.now += 10ms))
                after.push_back(messageType(o.bytes.data(), o.bytes.size()));
        EXPECT_EQ(r.acks, c.acks);
        EXPECT_EQ(after, c.after);
        const std::string first = r.s.violations().empty() ? "" : r.s.violations()[0];
        EXPECT_EQ(r.s.succeeded(), !*c.violation) << first << r.s.failure();
        EXPECT_NE(first.find(c.violation), std::string::npos) << first;
        EXPECT_TRUE(*c.violation || r.s.received() == image);
    }
}

TEST(DeviceSession, ShapesLostAndRepeatedTraffic)
{
    const Msg image = imageOf(64 * 1024);
    using Case = std::tuple<int SessionConfig::*, size_t, uint32_t>; // knob, acks sent, blocks kept
    for (auto [knob, acks, kept] : {Case{&SessionConfig::ackLossPercent, 0, 64}, Case{&SessionConfig::dropBlockPercent, 0, 0},
                                    Case{&SessionConfig::dupAckPercent, 128, 64}}) {
        Device r(knob, uint32_t(image.size()));
        for (uint32_t i = 0; i < 64; ++i)
            r.feed(block(image, i));
        EXPECT_EQ(r.acks.size(), acks);
        EXPECT_EQ(r.s.blocksReceived(), kept);
        EXPECT_EQ(r.s.droppedBlocks(), 64 - kept);
    }
}
