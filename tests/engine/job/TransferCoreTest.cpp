// SPDX-License-Identifier: MIT
// The exchange with one device, driven without sockets or clocks: what the
// core answers to each datagram and tick, its pacing, its give-up rule, its
// time-outs and Stop.

#include "EngineTestSupport.h"
#include "job/TransferCore.h"

#include <algorithm>

using namespace brelvo;
using namespace brelvo_test;

namespace {

const SocketAddress kDevice{0x3201A8C0u, 0x3412};
const SocketAddress kStranger{0x0901A8C0u, 0x9999};
constexpr int64_t kMs = 1000000;
constexpr int64_t kSecond = 1000 * kMs;

class Core : public ::testing::Test {
protected:
    std::unique_ptr<TransferCore> core;
    int64_t now = 1000 * kSecond;

    void make(size_t bytes)
    {
        auto image = std::make_shared<PreparedImage>();
        image->bytes.assign(bytes, 0x11);
        image->checksum = 0x01020304u;
        const TransferCore::Setup setup{0x0A01A8C0u, 0x50C3, 0xC801A8C0u, kDevice.port, 3, image};
        core = std::make_unique<TransferCore>(setup);
    }
    void SetUp() override { make(3 * 1024 + 1); }

    static int typeOf(const TransferCore::Send& s) { return s ? wire::messageType(s.data, s.length) : -1; }
    int feed(const std::vector<uint8_t>& d, size_t length = 0)
    {
        return typeOf(core->onDatagram(now, d.data(), length ? length : d.size(), kDevice));
    }
    int tick(int64_t step = 0) { return typeOf(core->onTimer(now += step)); }
    // Offer, Ready, then the BlockAck that starts the block phase.
    void toBlockPhase()
    {
        ASSERT_EQ(typeOf(core->begin(now)), wire::Offer);
        ASSERT_EQ(feed(message(2)), wire::Size);
        ASSERT_EQ(feed(message(4, {0})), wire::Block);
    }
    // The index of the block sent at a tick `step` later; -1 for anything else.
    int64_t nextBlock(int64_t step = kMs)
    {
        const TransferCore::Send s = core->onTimer(now += step);
        return typeOf(s) == wire::Block ? int64_t(sentIndex(s)) : -1;
    }
    // Acknowledges every block as it goes out until End; the blocks sent.
    int acknowledgeUntilEnd()
    {
        int blocks = 0;
        while (core->inBlockPhase())
            if (const int64_t block = nextBlock(); block >= 0)
                ++blocks, feed(message(4, {uint32_t(block)}));
        return blocks;
    }
    static uint32_t sentIndex(const TransferCore::Send& s) { return wire::readBe32(s.data + 12); }
};

} // namespace

TEST_F(Core, OfferSizeAndARepeatedReadyUntilTheFirstAcknowledgement)
{
    EXPECT_EQ(feed(message(2)), -1) << "nothing before the Offer";
    const TransferCore::Send offer = core->begin(now);
    ASSERT_TRUE(offer.broadcast);
    EXPECT_EQ(offer.to, (SocketAddress{0xFFFFFFFFu, kDevice.port}));
    EXPECT_EQ(std::vector<uint8_t>(offer.data + 12, offer.data + offer.length),
              (std::vector<uint8_t>{0xC0, 0xA8, 1, 0xC8, 0xC0, 0xA8, 1, 0x0A, 0xC3, 0x50}));
    EXPECT_EQ(core->peer(), (SocketAddress{0xC801A8C0u, kDevice.port}));
    EXPECT_FALSE(core->begin(now)) << "one Offer per job";
    // A device whose Size got lost says Ready again, and gets it again.
    EXPECT_EQ(feed(message(2)), wire::Size);
    EXPECT_EQ(feed(message(2)), wire::Size);
    EXPECT_EQ(feed(message(4, {0}), 15), -1) << "short BlockAck";
    EXPECT_EQ(core->status(), SizeSent);
    EXPECT_EQ(feed(message(4, {0})), wire::Block);
    EXPECT_EQ(core->status(), SendingBlocks);
    for (int type : {0, 1, 2, 3, 5, 6, 7, 9, 11, 0x84, 0xFF})
        EXPECT_EQ(feed(message(type, {1, 2})), -1) << type;
    EXPECT_TRUE(core->status() == SendingBlocks && core->acknowledgedBlocks() == 0)
        << "only acknowledgements count while blocks go out";
    acknowledgeUntilEnd();
    EXPECT_EQ(feed(message(2)), -1) << "nor is Ready answered after End";
}

TEST_F(Core, AcknowledgementsCountOnceAndOnlyForRealBlocks)
{
    toBlockPhase(); // block 0 is out
    EXPECT_EQ(feed(message(4, {3})), -1);
    for (uint32_t bad : {3u, 4u, 0x80000001u, 0xFFFFFFFFu})
        feed(message(4, {bad}));
    feed(message(4, {1}), 15);
    EXPECT_TRUE(core->acknowledgedBlocks() == 1u && core->blockAcknowledged(3)) << core->acknowledgedBlocks();
    // Blocks 1 and 2 are still owed; 3 is not sent again; then block 0 again.
    std::vector<int64_t> sent;
    for (int i = 0; i < 3; ++i)
        sent.push_back(nextBlock());
    EXPECT_EQ(sent, (std::vector<int64_t>{1, 2, 0}));
    EXPECT_EQ(core->blocksResent(), 1u);
    for (uint32_t i : {0u, 1u, 2u})
        feed(message(4, {i}));
    EXPECT_EQ(tick(kMs), wire::End);
    EXPECT_EQ(core->bytesSent(), 3u * 1024) << "block 3 was acknowledged before it was ever sent";
    // A late acknowledgement runs the phase again: End at once, no block,
    // and the count shown starts from nothing.
    EXPECT_EQ(feed(message(4, {0})), wire::End);
    EXPECT_TRUE(core->acknowledgedBlocks() == 0u && core->progress() == 0) << core->acknowledgedBlocks();
    // Every block of a short last one: the bytes sent are the image's.
    make(3 * 1024 + 1);
    toBlockPhase();
    feed(message(4, {0}));
    EXPECT_EQ(acknowledgeUntilEnd(), 3);
    EXPECT_EQ(core->bytesSent(), 3u * 1024 + 1);
}

TEST_F(Core, ProgressOfBlocksAndOfTheDevicesWriting)
{
    make(10 * 1024);
    toBlockPhase();
    for (uint32_t i : {0u, 5u, 9u})
        feed(message(4, {i}));
    EXPECT_EQ(core->progress(), 30);
    const std::pair<std::pair<uint32_t, uint32_t>, int> writes[] = {
        {{7, 9}, 77}, {{50, 200}, 25}, {{7, 0}, 0}, {{0xFFFFFFFFu, 200}, 0}, {{500, 200}, 100}};
    make(10);
    core->begin(now);
    for (const auto& w : writes) {
        feed(message(8, {w.first.first, w.first.second}));
        EXPECT_EQ(core->progress(), w.second) << w.first.first << "/" << w.first.second;
    }
    feed(message(8, {5, 10}), 19);
    EXPECT_EQ(core->progress(), 100) << "a short WriteProgress counts for nothing";
    EXPECT_TRUE(core->status() == DeviceWriting && !core->ended());
}

// Late and early ticks, as a loaded machine delivers them: no two blocks
// closer than 0.9 ms, no drift above the 1 ms average, and after a stall
// no burst to catch up.
TEST_F(Core, PacingKeepsTheMinimumGapAndTheAverage)
{
    make(4100 * 1024);
    toBlockPhase();
    uint32_t seed = 7;
    std::vector<int64_t> sends{now};
    while (core->inBlockPhase() && sends.size() < 4000) {
        seed = seed * 1103515245u + 12345u;
        // The thread wakes between 0 and 200 us after the deadline, and
        // sometimes 1.5 ms late (never long enough to restart the schedule).
        const int64_t late = (seed >> 16) % 200 * 1000 + ((seed >> 8) % 50 == 0 ? 1500 * 1000 : 0);
        now = std::max(now, core->nextDeadline()) + late;
        const TransferCore::Send s = core->onTimer(now);
        if (typeOf(s) == wire::Block) {
            feed(message(4, {sentIndex(s)}));
            sends.push_back(now);
        }
    }
    ASSERT_EQ(sends.size(), 4000u);
    std::vector<int64_t> gaps;
    for (size_t i = 1; i < sends.size(); ++i)
        gaps.push_back(sends[i] - sends[i - 1]);
    EXPECT_GE(*std::min_element(gaps.begin(), gaps.end()), 900 * 1000);
    const double mean = double(sends.back() - sends.front()) / double(gaps.size());
    EXPECT_TRUE(mean >= 1.0 * kMs && mean <= 1.05 * kMs) << mean;

    ASSERT_EQ(tick(50 * kMs), wire::Block); // the thread was away for 50 ms
    int burst = 0;
    for (const int64_t after = now; now < after + 10 * kMs; now += 100 * 1000)
        burst += tick() == wire::Block ? 1 : 0;
    EXPECT_LE(burst, 10) << "at most one block per millisecond after the stall";
    // A block that left the socket late: the gap counts from then.
    now = std::max(now, core->nextDeadline());
    ASSERT_EQ(tick(), wire::Block);
    core->sent(now + 400 * 1000);
    EXPECT_EQ(core->nextDeadline(), now + 1300 * 1000);
}

// The give-up needs both: 1000 sends without an answer and 5 s of silence,
// and comes at the first tick that has both.
TEST_F(Core, TheBlockPhaseGivesUpOnlyAfterFiveSilentSecondsAndAThousandSends)
{
    struct Case {
        const char* name;
        int64_t tickNs;      // time between sends
        int answerEvery;     // the device answers every N-th send (0: never)
        int64_t stallFromMs, stallToMs; // the device is silent from .. to (ms after the start)
        bool givesUp;
        int sends; // blocks sent after the first when it gives up
    };
    const Case cases[] = {
        {"silent device at 1 ms per block: 5 s", kMs, 0, 0, 0, true, 4999},
        {"silent device, slow ticks: the 1000th unanswered send", 10 * kMs, 0, 0, 0, true, 1000},
        {"a four-second stall is survived", kMs, 1, 100, 4100, false, 0},
        {"an answer every 900 sends keeps it going", kMs, 900, 0, 0, false, 0},
        {"slow ticks, an answer every 600 sends (6 s)", 10 * kMs, 600, 0, 0, false, 0},
    };
    for (const Case& c : cases) {
        make(20000 * 1024);
        const int64_t start = now;
        toBlockPhase();
        int sends = 0;
        while (core->inBlockPhase() && now - start < 20 * kSecond) {
            const int64_t block = nextBlock(c.tickNs), ms = (now - start) / kMs;
            const bool stalled = ms >= c.stallFromMs && ms < c.stallToMs;
            sends += block >= 0;
            if (block >= 0 && c.answerEvery && sends % c.answerEvery == 0 && !stalled)
                feed(message(4, {uint32_t(block)}));
        }
        EXPECT_EQ(core->status() == TransferTimeout, c.givesUp) << c.name;
        if (c.givesUp) {
            EXPECT_EQ(sends, c.sends) << c.name;
            EXPECT_TRUE(core->finished() && !core->ended()) << c.name << ": still listening";
            EXPECT_EQ(core->nextDeadline(), now + 40 * kSecond) << c.name << ": silence counts from the give-up";
            if (&c != cases) { // a device back after the give-up is served again: unfinished, so Stop says Stopped
                EXPECT_EQ(feed(message(4, {1})), wire::Block) << c.name;
                EXPECT_TRUE(core->status() == SendingBlocks && !core->finished()) << c.name;
            }
            core->stop();
            EXPECT_TRUE(core->status() == (&c == cases ? TransferTimeout : Stopped) && core->ended())
                << c.name << ": Stop after the give-up";
        }
    }
}

TEST_F(Core, FortySilentSecondsEndEveryPhaseWithTimeout)
{
    // Each case reaches a phase half a minute in, then the device falls silent.
    const std::pair<const char*, std::vector<std::vector<uint8_t>>> roads[] = {
        {"after the Offer", {}},
        {"after Size", {message(2)}},
        {"while writing", {message(2), message(8, {1, 9})}},
    };
    for (const auto& road : roads) {
        make(10);
        core->begin(now);
        for (const auto& d : road.second)
            now += 30 * kSecond, feed(d);
        const int64_t quiet = now;
        now = quiet + 39 * kSecond;
        tick();
        EXPECT_FALSE(core->ended()) << road.first;
        EXPECT_EQ(now = core->nextDeadline(), quiet + 40 * kSecond) << road.first;
        tick();
        EXPECT_TRUE(core->status() == TransferTimeout && core->ended()) << road.first;
    }
    // After End the silence counts from End.
    make(10);
    toBlockPhase();
    feed(message(4, {0}));
    ASSERT_EQ(tick(kMs), wire::End);
    EXPECT_EQ(core->nextDeadline(), now + 40 * kSecond);
}

// A device that took another tool's Offer is no time-out here; one that sent
// the job anything at all is never taken to be served elsewhere.
TEST_F(Core, AnotherToolsOfferEndsOnlyASilentJobAsServedElsewhere)
{
    // Steps (ms after the Offer): o, O: another tool's Offer after, before
    // ours; R: Ready; x: a datagram without magic. Then the job's end.
    const std::string before = "the device took the Offer of the tool at 192.168.1.9, which came before ours";
    const std::string silent = "the device never answered; the tool at 192.168.1.9 offered to it too";
    const struct {
        std::vector<std::pair<int64_t, char>> steps;
        int status;
        int64_t endsAt;
        std::string detail;
    } cases[] = {
        {{{1, 'o'}}, ServedElsewhere, 40000, silent},
        {{{1, 'o'}, {2, 'O'}}, ServedElsewhere, 5002, before},
        {{{1, 'O'}, {3000, 'R'}}, TransferTimeout, 43000, "the device was silent for 40 seconds"},
        {{{1, 'R'}, {2, 'O'}}, TransferTimeout, 40001, "the device was silent for 40 seconds"},
        {{{1, 'x'}, {2, 'O'}}, TransferTimeout, 40001, "the device was silent for 40 seconds"},
    };
    for (const auto& c : cases) {
        make(10);
        const int64_t offered = now;
        core->begin(now);
        for (const auto& step : c.steps) {
            now = offered + step.first * kMs;
            if (step.second == 'R' || step.second == 'x')
                feed(step.second == 'R' ? message(2) : std::vector<uint8_t>{1, 2, 3});
            else
                core->otherToolOffered(now, kStranger.address, step.second == 'O');
        }
        EXPECT_EQ(now = core->nextDeadline(), offered + c.endsAt * kMs) << c.detail;
        core->clearNotes();
        tick();
        EXPECT_TRUE(core->ended() && core->status() == c.status) << c.detail;
        EXPECT_EQ(core->notes().front().detail, c.detail);
    }
}

// Each end says why (a device's result speaks for itself); nothing is sent
// after it, not even the Offer of a job stopped before it began.
TEST_F(Core, EndsSayWhyAndNothingIsSentAfterwards)
{
    const std::tuple<std::function<void()>, int, std::string> ends[] = {
        {[&] { core->stop(); }, Stopped, "stopped by the operator"},
        {[&] { core->failNetwork(); }, NetError, "receiving on the job's port failed"},
        {[&] { now = core->nextDeadline(), tick(); }, TransferTimeout, "the device was silent for 40 seconds"},
        {[&] { feed(message(7)); }, DeviceCheckFailed, ""},
        {[&] { feed(message(9)); }, DeviceWriteComplete, ""},
        {[&] { feed(message(10)); }, DeviceWriteFailed, ""},
    };
    for (const auto& [end, status, why] : ends) {
        make(10);
        core->begin(now);
        feed(message(2));
        core->clearNotes();
        end();
        EXPECT_TRUE(core->status() == status && core->ended() && core->finished()) << status;
        EXPECT_EQ(core->notes().front().detail, why);
        EXPECT_EQ(core->progress(), status == DeviceWriteComplete ? 100 : 0);
        const size_t told = core->notes().size();
        EXPECT_TRUE(tick(41 * kSecond) == -1 && feed(message(4, {0})) == -1) << status;
        core->failNetwork(), core->stop();
        EXPECT_TRUE(core->status() == status && core->notes().size() == told);
    }
    make(4 * 1024); // a Stop in the block phase empties the bar
    toBlockPhase();
    feed(message(4, {uint32_t(nextBlock())}));
    const int moved = core->progress();
    core->stop();
    EXPECT_TRUE(moved == 25 && core->progress() == 0) << moved;
    make(10);
    core->stop();
    EXPECT_TRUE(!core->begin(now) && core->status() == Stopped) << "no Offer once stopped";
}

TEST_F(Core, NotesTellEachStepOnceWithWhatTheCoreKnows)
{
    make(2048);
    core->begin(now);
    feed(message(2));
    feed(message(4, {0}));
    for (uint32_t i : {1u, 0u}) { // block 1, then block 0 again
        EXPECT_EQ(nextBlock(), i);
        feed(message(4, {i}));
    }
    tick(kMs); // End
    for (const auto& d : {message(8, {1, 2}), message(8, {1, 2}), message(8, {2, 2}), message(9)})
        feed(d);
    using K = EventKind;
    using Notes = std::vector<std::pair<K, int64_t>>; // kind and value
    Notes notes;
    for (const Event& e : core->notes())
        notes.emplace_back(e.kind, e.value);
    EXPECT_EQ(notes, (Notes{{K::OfferSent, 0}, {K::SizeSent, 2048}, {K::BlockPhaseStarted, 2}, {K::BlocksResent, 1},
                            {K::EndSent, 0}, {K::DeviceWriting, 50}, {K::DeviceWriting, 100}, {K::JobResult, 0}}))
        << "the same percent again is no news";
    const std::vector<Event>& n = core->notes(); // the Offer's port, pass 2, End's checksum and options, the result
    EXPECT_EQ(std::make_tuple(n[0].jobPort, n[3].code, n[4].checksum, n[4].options, n.back().code),
              std::make_tuple(uint16_t(0x50C3), 2, 0x01020304u, uint8_t(3), int(DeviceWriteComplete)));
    EXPECT_EQ(core->writeCounts().size(), 3u) << "every WriteProgress goes to the debug channel";
    EXPECT_EQ(core->writeCounts()[2].written, 2);
}
