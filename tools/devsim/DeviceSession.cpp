// SPDX-License-Identifier: MIT
#include "DeviceSession.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string_view>

namespace devsim {

namespace {

constexpr size_t kKeptViolations = 20;
// A held-back acknowledgement goes out at the latest after this long, so
// reordering never turns into loss.
constexpr auto kHoldLimit = std::chrono::milliseconds(20);

const char* typeName(int type)
{
    static const char* names[] = {"Request", "Offer", "Ready", "Size", "BlockAck", "Block",
                                  "End", "CheckFailed", "WriteProgress", "WriteComplete", "WriteFailed"};
    return type >= 0 && type <= 10 ? names[type] : "unknown type";
}

// Tells a resent block from its first copy without keeping the bytes.
size_t fingerprint(const uint8_t* bytes, size_t n)
{
    return std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(bytes), n));
}

std::string hex32(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", v);
    return buf;
}

} // namespace

DeviceSession::DeviceSession(int index, SessionConfig config)
    : index_(index), cfg_(std::move(config)), rng_(cfg_.seed * 2654435761u + uint32_t(index) * 40503u + 1u)
{
}

void DeviceSession::violation(const std::string& what)
{
    ++violationCount_;
    if (violations_.size() < kKeptViolations)
        violations_.push_back(what);
}

void DeviceSession::fail(const std::string& why, Clock::time_point now)
{
    failure_ = why;
    phase_ = Phase::Failed;
    finishedAt_ = now;
    pending_.clear();
    heldAck_.reset();
}

void DeviceSession::finishOk(Clock::time_point now)
{
    phase_ = Phase::Done;
    finishedAt_ = now;
    pending_.clear();
    heldAck_.reset();
}

bool DeviceSession::chance(int percent)
{
    if (percent <= 0)
        return false;
    if (percent >= 100)
        return true;
    return int(rng_() % 100u) < percent;
}

void DeviceSession::begin(Clock::time_point now, Outbox& out)
{
    started_ = now;
    phase_ = Phase::WaitOffer;
    deadline_ = now + std::chrono::milliseconds(cfg_.offerTimeoutMs);
    Outgoing& o = out.add(true);
    o.size = uint8_t(encodeRequest(o.bytes, cfg_.product));
    if (o.size == 0) {
        out.clear();
        fail("the product code has more than " + std::to_string(kMaxProductCode) + " characters", now);
    }
}

void DeviceSession::sendReady(Outbox& out)
{
    Outgoing& o = out.add();
    o.size = uint8_t(encodeReady(o.bytes));
}

void DeviceSession::sendBlockAck(uint32_t index, Outbox& out)
{
    Outgoing& o = out.add();
    o.size = uint8_t(encodeBlockAck(o.bytes, index));
}

void DeviceSession::markAcknowledged(uint32_t index)
{
    if (index < acked_.size() && !acked_[index]) {
        acked_[index] = 1;
        ++blocksAcked_;
    }
}

void DeviceSession::emitAck(uint32_t index, Clock::time_point now, Outbox& out)
{
    sendBlockAck(index, out);
    ++acksSent_;
    markAcknowledged(index);
    if (cfg_.ackStallAfter && !stallBegun_ && blocksAcked_ >= cfg_.ackStallAfter) {
        stallBegun_ = true;
        stallUntil_ = now + std::chrono::milliseconds(cfg_.ackStallMs);
    }
}

void DeviceSession::queueAck(uint32_t index, Clock::time_point now, Outbox& out)
{
    if (stalled(now))
        return; // received but not acknowledged, not even later
    if (chance(cfg_.ackLossPercent))
        return;
    int copies = chance(cfg_.dupAckPercent) ? 2 : 1;
    for (int c = 0; c < copies; ++c) {
        if (cfg_.ackDelayMs > 0) {
            pending_.push_back({now + std::chrono::milliseconds(cfg_.ackDelayMs), index});
            continue;
        }
        if (heldAck_) {
            emitAck(index, now, out);
            emitAck(*heldAck_, now, out);
            heldAck_.reset();
        } else if (chance(cfg_.reorderAckPercent)) {
            heldAck_ = index;
            heldSince_ = now;
        } else {
            emitAck(index, now, out);
        }
    }
}

void DeviceSession::flushAcks(Clock::time_point now, Outbox& out, bool all)
{
    // Every acknowledgement is delayed by the same amount, so the queue is
    // in the order they fall due.
    while (!pending_.empty() && (all || pending_.front().due <= now)) {
        emitAck(pending_.front().index, now, out);
        pending_.pop_front();
    }
    if (heldAck_ && (all || now - heldSince_ >= kHoldLimit)) {
        emitAck(*heldAck_, now, out);
        heldAck_.reset();
    }
}

void DeviceSession::recordBlockArrival(uint32_t index, int64_t wireNs, Clock::time_point now)
{
    if (wireNs < 0)
        wireNs = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
    if (wireArrivals_++ == 0) {
        lastWireNs_ = wireNs;
        return;
    }
    // Kernel timestamps come from the wall clock; one stepped back gives no gap.
    int64_t gap = std::max<int64_t>(0, wireNs - lastWireNs_);
    lastWireNs_ = wireNs;
    gapSumNs_ += gap;
    gapsNs_.push_back(uint32_t(std::min<int64_t>(gap, 0xFFFFFFFFll)));
    if (cfg_.minGapUs > 0 && gap < int64_t(cfg_.minGapUs) * 1000) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "Block %u arrived %.1f us after the Block before it, below --min-gap-us %d",
                      unsigned(index), double(gap) / 1000.0, cfg_.minGapUs);
        violation(buf);
    }
}

GapStats DeviceSession::gapStats() const
{
    GapStats g;
    g.gaps = gapsNs_.size();
    if (g.gaps == 0)
        return g;
    std::vector<uint32_t> sorted(gapsNs_);
    std::sort(sorted.begin(), sorted.end());
    auto rank = [&](double q) {
        size_t r = size_t(std::ceil(q * double(sorted.size())));
        return double(sorted[r ? r - 1 : 0]) / 1000.0;
    };
    g.minUs = double(sorted.front()) / 1000.0;
    g.p1Us = rank(0.01);
    g.medianUs = rank(0.5);
    g.meanUs = double(gapSumNs_) / double(g.gaps) / 1000.0;
    return g;
}

void DeviceSession::onDatagram(const uint8_t* data, size_t size, uint32_t /*srcAddr*/, uint16_t srcPort,
                               Clock::time_point now, Outbox& out, int64_t wireNs)
{
    if (finished())
        return;
    int type = messageType(data, size);
    if (type < 0)
        return; // not the update protocol: a device ignores it
    if (type == TypeBlock) {
        ++blockMessages_;
        // Spacing on the wire counts from the Size message to the first End.
        if (phase_ == Phase::WaitBlocks || phase_ == Phase::WaitEnd)
            recordBlockArrival(size >= 16 ? readBE32(data + 12) : 0, wireNs, now);
    }

    if (type == TypeOffer) {
        receiveOffer(data, size, now, out);
        return;
    }
    if (phase_ == Phase::WaitOffer) {
        violation(std::string(typeName(type)) + " arrived before any Offer");
        return;
    }
    if (srcPort != offer_.jobPort)
        violation(std::string(typeName(type)) + " came from port " + std::to_string(srcPort) +
                  ", not the job port " + std::to_string(offer_.jobPort) + " of the Offer");

    switch (type) {
    case TypeSize:
        receiveSize(data, size, now, out);
        return;
    case TypeBlock:
        receiveBlock(data, size, now, out);
        return;
    case TypeEnd:
        receiveEnd(data, size, now);
        return;
    default:
        violation(std::string("unexpected ") + typeName(type) + " (type " + std::to_string(type) +
                  ") from the tool");
        return;
    }
}

void DeviceSession::receiveOffer(const uint8_t* data, size_t size, Clock::time_point now, Outbox& out)
{
    Offer o;
    std::string err = decodeOffer(data, size, o);
    if (phase_ != Phase::WaitOffer) {
        // A second job for the same device port; nothing for this session.
        return;
    }
    if (!err.empty()) {
        violation(err);
        fail("the Offer could not be used: " + err, now);
        return;
    }
    offer_ = o;
    if (cfg_.expectNoOffer) {
        violation("an Offer arrived (tool " + addressText(o.toolAddr) + ", job port " +
                  std::to_string(o.jobPort) + ") where none may come");
        fail("offered although no Offer was expected", now);
        return;
    }
    if (cfg_.expectToolAddr && o.toolAddr != *cfg_.expectToolAddr)
        violation("Offer names tool address " + addressText(o.toolAddr) + ", expected " +
                  addressText(*cfg_.expectToolAddr));
    if (cfg_.stopAfter == StopAfter::Offer) {
        stoppedAt_ = "offer";
        finishOk(now);
        return;
    }
    sendReady(out);
    phase_ = Phase::WaitSize;
    deadline_ = now + std::chrono::milliseconds(cfg_.timeoutMs);
    nextRetry_ = now + std::chrono::milliseconds(cfg_.retryMs);
}

void DeviceSession::receiveSize(const uint8_t* data, size_t size, Clock::time_point now, Outbox& out)
{
    SizeInfo s;
    std::string err = decodeSize(data, size, s);
    if (phase_ == Phase::WaitSize && sizesLost_ < cfg_.loseSize) {
        // Lost on the way: the device keeps repeating Ready, so only a
        // tool that answers a repeated Ready gets any further.
        ++sizesLost_;
        if (!err.empty())
            violation(err);
        return;
    }
    if (!err.empty()) {
        violation(err);
        if (phase_ == Phase::WaitSize)
            fail("the Size message could not be used: " + err, now);
        return;
    }
    if (phase_ != Phase::WaitSize) {
        if (s.imageLength != size_.imageLength)
            violation("a second Size message says " + std::to_string(s.imageLength) + " bytes, the first said " +
                      std::to_string(size_.imageLength));
        return;
    }
    size_ = s;
    blockCount_ = s.blockCount();
    checkSizeAgainstExpected();
    if (cfg_.stopAfter == StopAfter::Size) {
        stoppedAt_ = "size";
        finishOk(now);
        return;
    }
    startBlockPhase(now, out);
}

void DeviceSession::checkSizeAgainstExpected()
{
    if (!cfg_.expectImage)
        return;
    const uint32_t length = size_.imageLength;
    const size_t imageBytes = cfg_.expectImage->size();
    const size_t configBytes = cfg_.expectConfig ? cfg_.expectConfig->size() : 0;
    const std::string says = "Size says " + std::to_string(length) + " bytes, ";
    if (cfg_.expectConfig && imageBytes + configBytes != length)
        violation(says + "expected " + std::to_string(imageBytes + configBytes) + " (image " +
                  std::to_string(imageBytes) + " + configuration " + std::to_string(configBytes) + ")");
    else if (!cfg_.expectConfig && imageBytes != length)
        violation(says + "the expected image has " + std::to_string(imageBytes) +
                  (cfg_.expectNoConfig ? " and nothing may follow it" : ""));
}

void DeviceSession::startBlockPhase(Clock::time_point now, Outbox& out)
{
    if (cfg_.keepBytes && !image_.allocate(size_.imageLength)) {
        fail("no memory for " + std::to_string(size_.imageLength) + " bytes", now);
        return;
    }
    if (!cfg_.keepBytes)
        fingerprints_.assign(blockCount_, 0);
    have_.assign(blockCount_, 0);
    acked_.assign(blockCount_, 0);
    gapsNs_.reserve(blockCount_ + blockCount_ / 8 + 16);
    sendBlockAck(kKickOffIndex, out);
    phase_ = blockCount_ ? Phase::WaitBlocks : Phase::WaitEnd;
    deadline_ = now + std::chrono::milliseconds(cfg_.timeoutMs);
    nextRetry_ = now + std::chrono::milliseconds(cfg_.retryMs);
}

void DeviceSession::receiveBlock(const uint8_t* data, size_t size, Clock::time_point now, Outbox& out)
{
    if (phase_ == Phase::WaitSize) {
        violation("Block arrived before the Size message");
        return;
    }
    if (phase_ == Phase::Reporting)
        return; // a late copy after End: harmless
    handleBlock(data, size, now, out);
}

void DeviceSession::receiveEnd(const uint8_t* data, size_t size, Clock::time_point now)
{
    if (phase_ == Phase::WaitSize) {
        violation("End arrived before the Size message");
        fail("End before Size", now);
        return;
    }
    if (phase_ == Phase::WaitBlocks) {
        violation("End arrived after " + std::to_string(blocksHave_) + " of " + std::to_string(blockCount_) +
                  " blocks");
        fail("End before all blocks arrived", now);
        return;
    }
    if (phase_ == Phase::Reporting) {
        receiveRepeatedEnd(data, size);
        return;
    }
    handleEnd(data, size, now);
}

void DeviceSession::receiveRepeatedEnd(const uint8_t* data, size_t size)
{
    EndInfo e;
    std::string err = decodeEnd(data, size, e);
    ++endsReceived_;
    if (!err.empty())
        violation(err);
    else if (e.checksum != end_.checksum || e.options != end_.options)
        violation("a repeated End differs from the first");
}

void DeviceSession::onOversized(const uint8_t* head, size_t headSize, Clock::time_point /*now*/)
{
    if (finished())
        return;
    int type = messageType(head, headSize);
    if (type < 0)
        return; // not the update protocol
    if (type == TypeBlock)
        ++blockMessages_;
    violation(std::string(typeName(type)) + ": a datagram of more than " + std::to_string(headSize) +
              " bytes, longer than any message");
}

void DeviceSession::handleBlock(const uint8_t* data, size_t size, Clock::time_point now, Outbox& out)
{
    Block b;
    std::string err = decodeBlock(data, size, blockCount_, b);
    if (!err.empty()) {
        violation(err);
        return;
    }
    if (!sawBlock_)
        firstBlock_ = now;
    sawBlock_ = true;
    lastBlock_ = now;
    deadline_ = now + std::chrono::milliseconds(cfg_.timeoutMs);
    if (chance(cfg_.dropBlockPercent)) {
        ++droppedBlocks_;
        return;
    }
    const size_t off = size_t(b.index) * kBlockSize;
    const size_t n = std::min<size_t>(kBlockSize, size_.imageLength - off);
    if (have_[b.index]) {
        ++resentBlocks_;
        bool same = cfg_.keepBytes ? std::memcmp(image_.data() + off, b.bytes, n) == 0
                                   : fingerprint(b.bytes, n) == fingerprints_[b.index];
        if (!same)
            violation("Block " + std::to_string(b.index) + " was sent again with different bytes");
    } else {
        if (cfg_.keepBytes)
            std::memcpy(image_.data() + off, b.bytes, n);
        else
            fingerprints_[b.index] = fingerprint(b.bytes, n);
        // Blocks start on whole words; only the last can end inside one,
        // which the sum leaves out as it does at the end of the image.
        receivedSum_ += wordSum(b.bytes, n);
        compareWithExpected(off, b.bytes, n);
        have_[b.index] = 1;
        ++blocksHave_;
    }
    if (cfg_.stopAfter == StopAfter::Blocks && blocksHave_ >= cfg_.stopAfterBlocks) {
        stoppedAt_ = "blocks";
        finishOk(now);
        return;
    }
    queueAck(b.index, now, out);
    if (phase_ == Phase::WaitBlocks && blocksHave_ == blockCount_) {
        phase_ = Phase::WaitEnd;
        nextRetry_ = now + std::chrono::milliseconds(cfg_.retryMs);
    }
}

void DeviceSession::handleEnd(const uint8_t* data, size_t size, Clock::time_point now)
{
    EndInfo e;
    std::string err = decodeEnd(data, size, e);
    if (!err.empty()) {
        violation(err);
        fail("the End message could not be used: " + err, now);
        return;
    }
    ++endsReceived_;
    end_ = e;
    endAt_ = now;
    if (blocksAcked_ < blockCount_) {
        auto first = std::find(acked_.begin(), acked_.end(), 0);
        violation("End arrived although block " + std::to_string(first - acked_.begin()) +
                  " was never acknowledged (" + std::to_string(blocksAcked_) + " of " + std::to_string(blockCount_) +
                  " were)");
    }
    const uint32_t receivedSum = receivedSum_;
    uint32_t expected = cfg_.expectChecksum ? *cfg_.expectChecksum : receivedSum;
    bool sumOk = e.checksum == expected;
    if (!sumOk)
        violation("End carries checksum " + hex32(e.checksum) + ", expected " + hex32(expected) +
                  (cfg_.expectChecksum ? " (given)" : " (sum of the received bytes)"));
    if (cfg_.expectOptions && e.options != *cfg_.expectOptions)
        violation("End carries options " + std::to_string(e.options) + ", expected " +
                  std::to_string(*cfg_.expectOptions));
    checkReceivedBytes(receivedSum);
    reported_ = sumOk ? cfg_.result : Outcome::CheckFailed;
    progressSent_ = (sumOk && reported_ != Outcome::CheckFailed) ? 0 : cfg_.progressSteps;
    phase_ = Phase::Reporting;
    nextRetry_ = now;
}

void DeviceSession::compareWithExpected(size_t offset, const uint8_t* bytes, size_t n)
{
    // Blocks land in any order; only the lowest differing offset is told.
    if (!cfg_.expectImage || offset >= firstMismatch_)
        return;
    const auto& image = *cfg_.expectImage;
    const size_t total = image.size() + (cfg_.expectConfig ? cfg_.expectConfig->size() : 0);
    if (offset >= total)
        return; // more than expected: the length check at End tells
    n = std::min(n, total - offset);
    const uint8_t* want = image.data() + offset;
    uint8_t masked[kBlockSize];
    if (cfg_.expectConfig && offset + n > image.size() / 4 * 4) {
        maskedStreamBytes(image, *cfg_.expectConfig, offset, masked, n);
        want = masked;
    }
    if (std::memcmp(bytes, want, n) != 0)
        firstMismatch_ = offset + size_t(std::mismatch(bytes, bytes + n, want).first - bytes);
}

void DeviceSession::checkReceivedBytes(uint32_t receivedSum)
{
    if (cfg_.expectConfig && cfg_.expectChecksum && end_.checksum != receivedSum)
        violation("End carries checksum " + hex32(end_.checksum) + ", the sum of the received bytes is " +
                  hex32(receivedSum));
    if (!cfg_.expectImage)
        return;
    const auto& want = *cfg_.expectImage;
    const size_t got = size_.imageLength;
    const size_t at = firstMismatch_;
    if (!cfg_.expectConfig) {
        if (at != SIZE_MAX)
            violation("received bytes differ from the expected image at offset " + std::to_string(at));
        else if (cfg_.expectNoConfig && got > want.size())
            violation("received " + std::to_string(got) + " bytes, " + std::to_string(got - want.size()) +
                      " more than the image: something was appended where no configuration may be");
        else if (want.size() != got)
            violation("received " + std::to_string(got) + " bytes, the expected image has " +
                      std::to_string(want.size()));
        return;
    }
    const auto& config = *cfg_.expectConfig;
    const size_t total = want.size() + config.size();
    if (at != SIZE_MAX && at < want.size() / 4 * 4)
        violation("received bytes differ from the expected image at offset " + std::to_string(at));
    else if (at != SIZE_MAX)
        violation("received bytes differ from the image and its masked configuration at offset " + std::to_string(at) +
                  (at >= want.size() ? " (configuration byte " + std::to_string(at - want.size()) + ")"
                                     : " (image tail, masked)"));
    else if (got != total)
        violation("received " + std::to_string(got) + " bytes, the image and its configuration have " +
                  std::to_string(total) + " (" + std::to_string(want.size()) + " + " + std::to_string(config.size()) +
                  ")");
}

void DeviceSession::onTimer(Clock::time_point now, Outbox& out)
{
    if (finished())
        return;
    if (stalled(now)) {
        // Nothing goes out; only running out of time still counts.
        if (now >= deadline_ && phase_ != Phase::Reporting)
            fail("no Block for " + std::to_string(cfg_.timeoutMs) + " ms during the device's own silence (have " +
                     std::to_string(blocksHave_) + " of " + std::to_string(blockCount_) + ")",
                 now);
        return;
    }
    flushAcks(now, out, false);
    switch (phase_) {
    case Phase::WaitOffer:
        tickWaitOffer(now);
        break;
    case Phase::WaitSize:
        tickWaitSize(now, out);
        break;
    case Phase::WaitBlocks:
        tickWaitBlocks(now, out);
        break;
    case Phase::WaitEnd:
        tickWaitEnd(now, out);
        break;
    case Phase::Reporting:
        if (now >= nextRetry_)
            sendNextReport(now, out);
        break;
    default:
        break;
    }
}

void DeviceSession::tickWaitOffer(Clock::time_point now)
{
    if (now >= deadline_ && cfg_.expectNoOffer) {
        noOfferAsExpected_ = true;
        finishOk(now);
    } else if (now >= deadline_) {
        fail("no Offer within " + std::to_string(cfg_.offerTimeoutMs) + " ms", now);
    }
}

void DeviceSession::tickWaitSize(Clock::time_point now, Outbox& out)
{
    if (now >= deadline_)
        fail("no Size message within " + std::to_string(cfg_.timeoutMs) + " ms of the Offer", now);
    else if (now >= nextRetry_) {
        sendReady(out);
        nextRetry_ = now + std::chrono::milliseconds(cfg_.retryMs);
    }
}

void DeviceSession::tickWaitBlocks(Clock::time_point now, Outbox& out)
{
    if (now >= deadline_)
        fail("no Block for " + std::to_string(cfg_.timeoutMs) + " ms (have " + std::to_string(blocksHave_) + " of " +
                 std::to_string(blockCount_) + ")",
             now);
    else if (!sawBlock_ && now >= nextRetry_) {
        sendBlockAck(kKickOffIndex, out);
        nextRetry_ = now + std::chrono::milliseconds(cfg_.retryMs);
    }
}

void DeviceSession::tickWaitEnd(Clock::time_point now, Outbox& out)
{
    if (now >= deadline_)
        fail("no End message within " + std::to_string(cfg_.timeoutMs) + " ms", now);
    else if (now >= nextRetry_) {
        // Asking again makes the tool run its block phase once more,
        // which with every block acknowledged only repeats End.
        flushAcks(now, out, true);
        sendBlockAck(blockCount_ ? blockCount_ - 1 : kKickOffIndex, out);
        if (blockCount_)
            markAcknowledged(blockCount_ - 1);
        nextRetry_ = now + std::chrono::milliseconds(cfg_.retryMs);
    }
}

// One step of progress, or the result once every step has gone out.
void DeviceSession::sendNextReport(Clock::time_point now, Outbox& out)
{
    if (progressSent_ < cfg_.progressSteps) {
        ++progressSent_;
        uint32_t total = blockCount_ ? blockCount_ : 1;
        uint32_t written = uint32_t(uint64_t(total) * uint32_t(progressSent_) / uint32_t(cfg_.progressSteps));
        Outgoing& o = out.add();
        o.size = uint8_t(encodeWriteProgress(o.bytes, written, total));
        nextRetry_ = now + std::chrono::milliseconds(cfg_.progressIntervalMs);
        return;
    }
    MessageType t = reported_ == Outcome::Complete      ? TypeWriteComplete
                    : reported_ == Outcome::CheckFailed ? TypeCheckFailed
                                                        : TypeWriteFailed;
    Outgoing& o = out.add();
    o.size = uint8_t(encodeResult(o.bytes, t));
    finishOk(now);
}

Clock::time_point DeviceSession::nextWake() const
{
    if (finished() || phase_ == Phase::Idle)
        return Clock::time_point::max();
    Clock::time_point t = deadline_;
    if (phase_ == Phase::Reporting)
        t = nextRetry_;
    else if (phase_ == Phase::WaitSize || phase_ == Phase::WaitEnd || (phase_ == Phase::WaitBlocks && !sawBlock_))
        t = std::min(t, nextRetry_);
    if (!pending_.empty())
        t = std::min(t, pending_.front().due);
    if (heldAck_)
        t = std::min(t, heldSince_ + kHoldLimit);
    if (stallBegun_ && t < stallUntil_)
        t = std::min(deadline_, stallUntil_); // nothing is sent before the silence ends
    return t;
}

std::string DeviceSession::resultText() const
{
    switch (phase_) {
    case Phase::Failed:
        return "failed";
    case Phase::Done:
        if (noOfferAsExpected_)
            return "no-offer";
        if (!stoppedAt_.empty())
            return "stopped-after-" + stoppedAt_;
        return reported_ == Outcome::Complete ? "complete" : reported_ == Outcome::CheckFailed ? "check-failed"
                                                                                              : "write-failed";
    case Phase::Idle:
        return "not-started";
    case Phase::WaitOffer:
        return "waiting-offer";
    case Phase::WaitSize:
        return "waiting-size";
    case Phase::WaitBlocks:
        return "receiving";
    case Phase::WaitEnd:
        return "waiting-end";
    case Phase::Reporting:
        return "reporting";
    }
    return "?";
}

long DeviceSession::elapsedMs() const
{
    if (phase_ == Phase::Idle)
        return 0;
    auto end = finished() ? finishedAt_ : Clock::now();
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(end - started_).count());
}

long long DeviceSession::blockPhaseUs() const
{
    if (!sawBlock_ || endsReceived_ == 0)
        return 0;
    return std::chrono::duration_cast<std::chrono::microseconds>(endAt_ - firstBlock_).count();
}

} // namespace devsim
