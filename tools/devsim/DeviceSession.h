// SPDX-License-Identifier: MIT
#pragma once
// One simulated device: a state machine fed with the datagrams that reach the
// device's socket and with the passing of time, answering with the datagrams
// the device sends. It owns no socket, so it can be driven by a poll loop
// over many devices or directly by tests.

#include "DeviceCodec.h"
#include "ImageBuffer.h"
#include "Outbox.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace devsim {

using Clock = std::chrono::steady_clock;

enum class Outcome { Complete, CheckFailed, WriteFailed };
enum class StopAfter { Never, Offer, Size, Blocks };

struct SessionConfig {
    std::string product;
    std::shared_ptr<const std::vector<uint8_t>> expectImage; // null: not compared
    // With expectImage: the configuration that must follow the image, masked
    // as the tool sends it (null: not checked); or, with expectNoConfig,
    // nothing may follow the image.
    std::shared_ptr<const std::vector<uint8_t>> expectConfig;
    bool expectNoConfig = false;
    bool expectNoOffer = false; // success is hearing no Offer before offerTimeoutMs
    // Keep the received bytes (for --save-image and received()). Otherwise a
    // device keeps a fingerprint per block and judges the bytes as they
    // land: a hundred devices of a few megabytes each then cost no memory.
    bool keepBytes = false;
    std::optional<uint32_t> expectChecksum;                  // unset: the sum of what arrived
    std::optional<int> expectOptions;
    std::optional<uint32_t> expectToolAddr;                  // host order
    int ackLossPercent = 0;     // acknowledgements not sent
    int dropBlockPercent = 0;   // received blocks treated as lost
    int dupAckPercent = 0;      // acknowledgements sent twice
    int reorderAckPercent = 0;  // acknowledgements held back behind the next one
    int ackDelayMs = 0;         // each acknowledgement sent this much later
    uint32_t seed = 1;
    int progressSteps = 0;
    int progressIntervalMs = 20;
    Outcome result = Outcome::Complete;
    int timeoutMs = 10000;      // each wait once the tool has answered
    int offerTimeoutMs = 30000; // the wait for the Offer (the tool sweeps first)
    int retryMs = 500;          // repeat Ready / kick-off / End request after this
    StopAfter stopAfter = StopAfter::Never;
    uint32_t stopAfterBlocks = 0;
    int minGapUs = 0;           // a gap between Block arrivals below this is a violation (0: off)
    int loseSize = 0;           // the first this many Size messages are treated as lost
    uint32_t ackStallAfter = 0; // after acknowledging this many blocks (0: never) ...
    int ackStallMs = 0;         // ... the device sends nothing for this long
};

// Gaps between consecutive Block arrivals of the block phase, in
// microseconds (nearest-rank percentiles).
struct GapStats {
    size_t gaps = 0; // 0: fewer than two blocks arrived
    double minUs = 0;
    double p1Us = 0;
    double medianUs = 0;
    double meanUs = 0;
};

class DeviceSession {
public:
    enum class Phase { Idle, WaitOffer, WaitSize, WaitBlocks, WaitEnd, Reporting, Done, Failed };

    DeviceSession(int index, SessionConfig config);

    // Each appends what the device sends in answer to `out`.
    // `wireNs`: when the datagram reached the host (the kernel's receive time
    // in nanoseconds, any epoch); negative: `now` stands in for it.
    void begin(Clock::time_point now, Outbox& out);
    void onDatagram(const uint8_t* data, size_t size, uint32_t srcAddr, uint16_t srcPort, Clock::time_point now,
                    Outbox& out, int64_t wireNs = -1);
    void onTimer(Clock::time_point now, Outbox& out);
    // A datagram longer than any message, of which only the head was read.
    void onOversized(const uint8_t* head, size_t headSize, Clock::time_point now);
    // Ends the session from outside (a send that cannot go out, an interrupt).
    void abort(const std::string& why, Clock::time_point now) { fail(why, now); }
    // When onTimer next has something to do.
    Clock::time_point nextWake() const;

    Phase phase() const { return phase_; }
    bool finished() const { return phase_ == Phase::Done || phase_ == Phase::Failed; }
    bool succeeded() const { return phase_ == Phase::Done && violationCount_ == 0; }
    const std::vector<std::string>& violations() const { return violations_; }
    const std::string& failure() const { return failure_; }
    std::string resultText() const;

    int index() const { return index_; }
    const Offer& offer() const { return offer_; }
    uint32_t imageLength() const { return size_.imageLength; }
    uint32_t blockCount() const { return blockCount_; }
    uint32_t blocksReceived() const { return blocksHave_; }
    uint32_t resentBlocks() const { return resentBlocks_; }
    uint32_t droppedBlocks() const { return droppedBlocks_; }
    uint32_t acksSent() const { return acksSent_; }
    uint32_t endsReceived() const { return endsReceived_; }
    const EndInfo& end() const { return end_; }
    // What arrived, zero where no block did; empty unless keepBytes.
    const ImageBuffer& received() const { return image_; }
    long elapsedMs() const;
    // From the first Block to the first End, in microseconds (0 before).
    long long blockPhaseUs() const;
    uint32_t violationCount() const { return violationCount_; }
    int sizesLost() const { return sizesLost_; }
    // Whether the silence of ackStallAfter/ackStallMs has begun, and when it ends.
    bool stallBegun() const { return stallBegun_; }
    Clock::time_point stallEnd() const { return stallUntil_; }
    // Every Block datagram that reached the session, whatever became of it.
    uint64_t blockMessages() const { return blockMessages_; }
    GapStats gapStats() const;

private:
    void violation(const std::string& what);
    void fail(const std::string& why, Clock::time_point now);
    void finishOk(Clock::time_point now);
    bool chance(int percent);
    void queueAck(uint32_t index, Clock::time_point now, Outbox& out);
    void flushAcks(Clock::time_point now, Outbox& out, bool all);
    // One per message kind the device receives, after onDatagram has
    // counted it and checked where it came from.
    void receiveOffer(const uint8_t* data, size_t size, Clock::time_point now, Outbox& out);
    void receiveSize(const uint8_t* data, size_t size, Clock::time_point now, Outbox& out);
    void checkSizeAgainstExpected();
    void startBlockPhase(Clock::time_point now, Outbox& out);
    void receiveBlock(const uint8_t* data, size_t size, Clock::time_point now, Outbox& out);
    void receiveEnd(const uint8_t* data, size_t size, Clock::time_point now);
    void receiveRepeatedEnd(const uint8_t* data, size_t size);
    void handleBlock(const uint8_t* data, size_t size, Clock::time_point now, Outbox& out);
    void handleEnd(const uint8_t* data, size_t size, Clock::time_point now);
    void emitAck(uint32_t index, Clock::time_point now, Outbox& out);
    void markAcknowledged(uint32_t index);
    // What onTimer does in each phase.
    void tickWaitOffer(Clock::time_point now);
    void tickWaitSize(Clock::time_point now, Outbox& out);
    void tickWaitBlocks(Clock::time_point now, Outbox& out);
    void tickWaitEnd(Clock::time_point now, Outbox& out);
    void sendNextReport(Clock::time_point now, Outbox& out);
    bool stalled(Clock::time_point now) const { return stallBegun_ && now < stallUntil_; }
    void checkReceivedBytes(uint32_t receivedSum);
    void compareWithExpected(size_t offset, const uint8_t* bytes, size_t n);
    void recordBlockArrival(uint32_t index, int64_t wireNs, Clock::time_point now);
    static void sendReady(Outbox& out);
    static void sendBlockAck(uint32_t index, Outbox& out);

    int index_;
    SessionConfig cfg_;
    std::mt19937 rng_;
    Phase phase_ = Phase::Idle;
    std::vector<std::string> violations_; // the first few, in order
    uint32_t violationCount_ = 0;
    std::string failure_;
    std::string stoppedAt_;

    Offer offer_;
    SizeInfo size_;
    uint32_t blockCount_ = 0;
    ImageBuffer image_;                // with keepBytes
    std::vector<size_t> fingerprints_; // without: a hash of each block's first copy
    uint32_t receivedSum_ = 0;         // wordSum of what arrived, kept as blocks land
    size_t firstMismatch_ = SIZE_MAX;  // lowest offset that differs from what is expected
    std::vector<uint8_t> have_;
    uint32_t blocksHave_ = 0;
    uint32_t resentBlocks_ = 0;
    uint32_t droppedBlocks_ = 0;
    uint32_t acksSent_ = 0;
    uint32_t endsReceived_ = 0;
    int sizesLost_ = 0;
    std::vector<uint8_t> acked_; // per block: an acknowledgement went out
    uint32_t blocksAcked_ = 0;
    bool stallBegun_ = false;
    Clock::time_point stallUntil_;
    bool noOfferAsExpected_ = false;
    EndInfo end_;
    Outcome reported_ = Outcome::Complete;
    int progressSent_ = 0;

    struct PendingAck {
        Clock::time_point due;
        uint32_t index;
    };
    std::deque<PendingAck> pending_;
    std::optional<uint32_t> heldAck_;
    Clock::time_point heldSince_;

    Clock::time_point started_;
    Clock::time_point deadline_;
    Clock::time_point nextRetry_;
    Clock::time_point firstBlock_;
    Clock::time_point lastBlock_;
    Clock::time_point endAt_;
    Clock::time_point finishedAt_;
    bool sawBlock_ = false;

    uint64_t blockMessages_ = 0;
    // Block-phase arrival gaps in nanoseconds, capped at 2^32-1 (a longer
    // gap only matters for the mean, which comes from the sum).
    std::vector<uint32_t> gapsNs_;
    int64_t gapSumNs_ = 0;
    int64_t lastWireNs_ = 0;
    uint64_t wireArrivals_ = 0;
};

} // namespace devsim
