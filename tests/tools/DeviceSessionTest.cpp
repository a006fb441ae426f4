// The simulated device driven by a scripted tool: it must take a correct
// exchange and catch every way a tool can get one wrong, since the end-to-end
// tests rely on it to judge the real tool.

#include "DeviceSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace devsim;
using namespace std::chrono_literals;
using Msg = std::vector<uint8_t>;

namespace {

constexpr uint16_t kJobPort = 40000;
constexpr uint32_t kTool = 0x0AD50701; // 10.213.7.1

Msg frame(uint8_t type, uint32_t length, size_t total, uint32_t word = 0)
{
    Msg m(total, 0);
    std::copy_n("upd:", 4, m.begin());
    m[4] = type;
    writeBE32(m.data() + 8, length);
    if (total >= 16)
        writeBE32(m.data() + 12, word);
    return m;
}

Msg offer()
{
    Msg m = frame(TypeOffer, 10, 22, 0x0AD50702);
    writeBE32(m.data() + 16, kTool);
    m[20] = kJobPort >> 8;
    m[21] = kJobPort & 0xFF;
    return m;
}

Msg block(const Msg& image, uint32_t index)
{
    Msg m = frame(TypeBlock, 1028, 1040, index);
    for (size_t i = 0, at = index * 1024u; i < 1024 && at + i < image.size(); ++i)
        m[16 + i] = image[at + i];
    return m;
}

Msg endMsg(uint32_t checksum, uint8_t options)
{
    Msg m = frame(TypeEnd, 5, 17, checksum);
    m[16] = options;
    return m;
}

int typeOf(const Outgoing& o) { return messageType(o.bytes.data(), o.bytes.size()); }

struct Device {
    DeviceSession s;
    Clock::time_point now = Clock::time_point() + 1h;
    std::vector<uint32_t> acks;
    std::vector<int> after; // message types sent once the script is over

    explicit Device(SessionConfig c, uint32_t imageLength) : s(0, std::move(c))
    {
        s.begin(now);
        feed(offer(), 5555); // the Offer comes from the listener, not the job port
        Msg size = frame(TypeSize, 8, 20, imageLength);
        writeBE32(size.data() + 16, 1024);
        feed(size);
        acks.clear(); // the kick-off
    }
    void feed(const Msg& m, uint16_t port = kJobPort)
    {
        for (const auto& o : s.onDatagram(m.data(), m.size(), kTool, port, now))
            if (typeOf(o) == TypeBlockAck)
                acks.push_back(readBE32(o.bytes.data() + 12));
    }
    void drain()
    {
        for (int i = 0; i < 500 && !s.finished(); ++i)
            for (const auto& o : s.onTimer(now += 10ms))
                after.push_back(typeOf(o));
    }
};

SessionConfig config()
{
    SessionConfig c;
    c.product = "ABCDEFG";
    c.retryMs = 100;
    c.timeoutMs = 1000;
    c.expectOptions = 3;
    c.progressSteps = 2;
    return c;
}

Msg imageOf(size_t n)
{
    Msg v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 7 + (i >> 8));
    return v;
}

} // namespace

TEST(DeviceSession, JudgesTheToolsScript)
{
    const Msg image = imageOf(2500); // three blocks, the last one partial
    const uint32_t sum = wordSum(image.data(), image.size());
    struct Case {
        const char* name;
        std::function<void(std::vector<Msg>&)> edit; // of: block 0, 1, 2, End
        const char* violation;                         // "" for a clean exchange
        std::vector<uint32_t> acks;
        std::vector<int> after;                        // what the device says at the end
    };
    const std::vector<int> completed{TypeWriteProgress, TypeWriteProgress, TypeWriteComplete};
    const std::vector<Case> cases = {
        {"correct", [](auto&) {}, "", {0, 1, 2}, completed},
        {"length field", [](auto& s) { s.insert(s.begin(), s[0]), writeBE32(s[0].data() + 8, 1024); },
         "length field is 1024", {0, 1, 2}, completed},
        {"index >= count", [](auto& s) { s.insert(s.begin(), s[0]), writeBE32(s[0].data() + 12, 3); },
         "beyond the block count 3", {0, 1, 2}, completed},
        {"resent with other bytes", [](auto& s) { s.insert(s.begin() + 1, s[0]), s[1][20] ^= 1; },
         "Block 0 was sent again with different bytes", {0, 0, 1, 2}, completed},
        {"short End", [](auto& s) { s[3].pop_back(); }, "End: datagram is 16 bytes", {0, 1, 2}, {}},
        {"wrong checksum", [](auto& s) { s[3][15] ^= 1; }, "End carries checksum", {0, 1, 2}, {TypeCheckFailed}},
        {"wrong options", [](auto& s) { s[3][16] = 1; }, "End carries options 1, expected 3", {0, 1, 2}, completed},
        {"End before all blocks", [](auto& s) { s.erase(s.begin() + 2); }, "End arrived after 2 of 3 blocks",
         {0, 1}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Msg> script{block(image, 0), block(image, 1), block(image, 2), endMsg(sum, 3)};
        c.edit(script);
        Device r(config(), uint32_t(image.size()));
        for (const auto& m : script)
            r.feed(m);
        r.drain();
        EXPECT_EQ(r.acks, c.acks);
        EXPECT_EQ(r.after, c.after);
        EXPECT_TRUE(r.s.finished());
        if (*c.violation) {
            EXPECT_FALSE(r.s.succeeded());
            ASSERT_FALSE(r.s.violations().empty());
            EXPECT_NE(r.s.violations()[0].find(c.violation), std::string::npos) << r.s.violations()[0];
        } else {
            EXPECT_TRUE(r.s.succeeded()) << (r.s.violations().empty() ? r.s.failure() : r.s.violations()[0]);
            EXPECT_EQ(r.s.received(), image);
        }
    }
}

TEST(DeviceSession, ShapesLostAndRepeatedTraffic)
{
    const Msg image = imageOf(64 * 1024);
    struct Case {
        int SessionConfig::*knob;
        size_t acks;
        uint32_t kept;
    };
    for (const Case& c : {Case{&SessionConfig::ackLossPercent, 0, 64}, Case{&SessionConfig::dropBlockPercent, 0, 0},
                          Case{&SessionConfig::dupAckPercent, 128, 64}}) {
        auto cfg = config();
        cfg.*c.knob = 100;
        Device r(cfg, uint32_t(image.size()));
        for (uint32_t i = 0; i < 64; ++i)
            r.feed(block(image, i));
        EXPECT_EQ(r.acks.size(), c.acks);
        EXPECT_EQ(r.s.blocksReceived(), c.kept);
        EXPECT_EQ(r.s.droppedBlocks(), 64 - c.kept);
    }
}
