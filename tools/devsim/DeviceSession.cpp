#include "DeviceSession.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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

std::string hex32(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", v);
    return buf;
}

Outgoing toJob(std::vector<uint8_t> bytes) { return Outgoing{std::move(bytes), false}; }

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

std::vector<Outgoing> DeviceSession::begin(Clock::time_point now)
{
    started_ = now;
    phase_ = Phase::WaitOffer;
    deadline_ = now + std::chrono::milliseconds(cfg_.offerTimeoutMs);
    return {Outgoing{encodeRequest(cfg_.product), true}};
}

void DeviceSession::emitAck(uint32_t index, std::vector<Outgoing>& out)
{
    out.push_back(toJob(encodeBlockAck(index)));
    ++acksSent_;
}

void DeviceSession::queueAck(uint32_t index, Clock::time_point now, std::vector<Outgoing>& out)
{
    if (chance(cfg_.ackLossPercent))
        return;
    int copies = chance(cfg_.dupAckPercent) ? 2 : 1;
    for (int c = 0; c < copies; ++c) {
        if (cfg_.ackDelayMs > 0) {
            pending_.push_back({now + std::chrono::milliseconds(cfg_.ackDelayMs), index});
            continue;
        }
        if (heldAck_) {
            emitAck(index, out);
            emitAck(*heldAck_, out);
            heldAck_.reset();
        } else if (chance(cfg_.reorderAckPercent)) {
            heldAck_ = index;
            heldSince_ = now;
        } else {
            emitAck(index, out);
        }
    }
}

void DeviceSession::flushAcks(Clock::time_point now, std::vector<Outgoing>& out, bool all)
{
    if (!pending_.empty()) {
        auto due = std::stable_partition(pending_.begin(), pending_.end(),
                                         [&](const PendingAck& p) { return all || p.due <= now; });
        for (auto it = pending_.begin(); it != due; ++it)
            emitAck(it->index, out);
        pending_.erase(pending_.begin(), due);
    }
    if (heldAck_ && (all || now - heldSince_ >= kHoldLimit)) {
        emitAck(*heldAck_, out);
        heldAck_.reset();
    }
}

std::vector<Outgoing> DeviceSession::onDatagram(const uint8_t* data, size_t size, uint32_t /*srcAddr*/,
                                                uint16_t srcPort, Clock::time_point now)
{
    std::vector<Outgoing> out;
    if (finished())
        return out;
    int type = messageType(data, size);
    if (type < 0)
        return out; // not the update protocol: a device ignores it

    if (type == TypeOffer) {
        Offer o;
        std::string err = decodeOffer(data, size, o);
        if (phase_ != Phase::WaitOffer) {
            // A second job for the same device port; nothing for this session.
            ++offersReceived_;
            return out;
        }
        if (!err.empty()) {
            violation(err);
            fail("the Offer could not be used: " + err, now);
            return out;
        }
        ++offersReceived_;
        offer_ = o;
        if (cfg_.expectToolAddr && o.toolAddr != *cfg_.expectToolAddr)
            violation("Offer names tool address " + addressText(o.toolAddr) + ", expected " +
                      addressText(*cfg_.expectToolAddr));
        if (cfg_.stopAfter == StopAfter::Offer) {
            stoppedAt_ = "offer";
            finishOk(now);
            return out;
        }
        out.push_back(toJob(encodeReady()));
        phase_ = Phase::WaitSize;
        deadline_ = now + std::chrono::milliseconds(cfg_.timeoutMs);
        nextRetry_ = now + std::chrono::milliseconds(cfg_.retryMs);
        return out;
    }

    if (phase_ == Phase::WaitOffer) {
        violation(std::string(typeName(type)) + " arrived before any Offer");
        return out;
    }
    if (srcPort != offer_.jobPort)
        violation(std::string(typeName(type)) + " came from port " + std::to_string(srcPort) +
                  ", not the job port " + std::to_string(offer_.jobPort) + " of the Offer");

    switch (type) {
    case TypeSize: {
        SizeInfo s;
        std::string err = decodeSize(data, size, s);
        if (!err.empty()) {
            violation(err);
            if (phase_ == Phase::WaitSize)
                fail("the Size message could not be used: " + err, now);
            return out;
        }
        if (phase_ != Phase::WaitSize) {
            if (s.imageLength != size_.imageLength)
                violation("a second Size message says " + std::to_string(s.imageLength) + " bytes, the first said " +
                          std::to_string(size_.imageLength));
            return out;
        }
        size_ = s;
        haveSize_ = true;
        blockCount_ = s.blockCount();
        if (cfg_.expectImage && cfg_.expectImage->size() != s.imageLength)
            violation("Size says " + std::to_string(s.imageLength) + " bytes, the expected image has " +
                      std::to_string(cfg_.expectImage->size()));
        if (cfg_.stopAfter == StopAfter::Size) {
            stoppedAt_ = "size";
            finishOk(now);
            return out;
        }
        image_.assign(s.imageLength, 0);
        have_.assign(blockCount_, 0);
        out.push_back(toJob(encodeBlockAck(kKickOffIndex)));
        phase_ = blockCount_ ? Phase::WaitBlocks : Phase::WaitEnd;
        deadline_ = now + std::chrono::milliseconds(cfg_.timeoutMs);
        nextRetry_ = now + std::chrono::milliseconds(cfg_.retryMs);
        return out;
    }
    case TypeBlock:
        if (phase_ == Phase::WaitSize) {
            violation("Block arrived before the Size message");
            return out;
        }
        if (phase_ == Phase::Reporting)
            return out; // a late copy after End: harmless
        handleBlock(data, size, now, out);
        return out;
    case TypeEnd:
        if (phase_ == Phase::WaitSize) {
            violation("End arrived before the Size message");
            fail("End before Size", now);
            return out;
        }
        if (phase_ == Phase::WaitBlocks) {
            violation("End arrived after " + std::to_string(blocksHave_) + " of " + std::to_string(blockCount_) +
                      " blocks");
            fail("End before all blocks arrived", now);
            return out;
        }
        if (phase_ == Phase::Reporting) {
            EndInfo e;
            std::string err = decodeEnd(data, size, e);
            ++endsReceived_;
            if (!err.empty())
                violation(err);
            else if (e.checksum != end_.checksum || e.options != end_.options)
                violation("a repeated End differs from the first");
            return out;
        }
        handleEnd(data, size, now);
        return out;
    default:
        violation(std::string("unexpected ") + typeName(type) + " (type " + std::to_string(type) +
                  ") from the tool");
        return out;
    }
}

void DeviceSession::handleBlock(const uint8_t* data, size_t size, Clock::time_point now, std::vector<Outgoing>& out)
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
    size_t off = size_t(b.index) * kBlockSize;
    size_t n = std::min<size_t>(kBlockSize, image_.size() - off);
    if (have_[b.index]) {
        ++resentBlocks_;
        if (std::memcmp(image_.data() + off, b.bytes, n) != 0)
            violation("Block " + std::to_string(b.index) + " was sent again with different bytes");
    } else {
        std::memcpy(image_.data() + off, b.bytes, n);
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
    uint32_t expected = cfg_.expectChecksum ? *cfg_.expectChecksum : wordSum(image_.data(), image_.size());
    bool sumOk = e.checksum == expected;
    if (!sumOk)
        violation("End carries checksum " + hex32(e.checksum) + ", expected " + hex32(expected) +
                  (cfg_.expectChecksum ? " (given)" : " (sum of the received bytes)"));
    if (cfg_.expectOptions && e.options != *cfg_.expectOptions)
        violation("End carries options " + std::to_string(e.options) + ", expected " +
                  std::to_string(*cfg_.expectOptions));
    if (cfg_.expectImage) {
        const auto& want = *cfg_.expectImage;
        size_t common = std::min(want.size(), image_.size());
        auto mism = std::mismatch(image_.begin(), image_.begin() + long(common), want.begin());
        if (mism.first != image_.begin() + long(common))
            violation("received bytes differ from the expected image at offset " +
                      std::to_string(mism.first - image_.begin()));
        else if (want.size() != image_.size())
            violation("received " + std::to_string(image_.size()) + " bytes, the expected image has " +
                      std::to_string(want.size()));
    }
    reported_ = sumOk ? cfg_.result : Outcome::CheckFailed;
    progressSent_ = (sumOk && reported_ != Outcome::CheckFailed) ? 0 : cfg_.progressSteps;
    phase_ = Phase::Reporting;
    nextRetry_ = now;
}

std::vector<Outgoing> DeviceSession::onTimer(Clock::time_point now)
{
    std::vector<Outgoing> out;
    if (finished())
        return out;
    flushAcks(now, out, false);
    const auto retry = std::chrono::milliseconds(cfg_.retryMs);
    switch (phase_) {
    case Phase::WaitOffer:
        if (now >= deadline_)
            fail("no Offer within " + std::to_string(cfg_.offerTimeoutMs) + " ms", now);
        break;
    case Phase::WaitSize:
        if (now >= deadline_)
            fail("no Size message within " + std::to_string(cfg_.timeoutMs) + " ms of the Offer", now);
        else if (now >= nextRetry_) {
            out.push_back(toJob(encodeReady()));
            nextRetry_ = now + retry;
        }
        break;
    case Phase::WaitBlocks:
        if (now >= deadline_)
            fail("no Block for " + std::to_string(cfg_.timeoutMs) + " ms (have " + std::to_string(blocksHave_) +
                     " of " + std::to_string(blockCount_) + ")",
                 now);
        else if (!sawBlock_ && now >= nextRetry_) {
            out.push_back(toJob(encodeBlockAck(kKickOffIndex)));
            nextRetry_ = now + retry;
        }
        break;
    case Phase::WaitEnd:
        if (now >= deadline_)
            fail("no End message within " + std::to_string(cfg_.timeoutMs) + " ms", now);
        else if (now >= nextRetry_) {
            // Asking again makes the tool run its block phase once more,
            // which with every block acknowledged only repeats End.
            flushAcks(now, out, true);
            out.push_back(toJob(encodeBlockAck(blockCount_ ? blockCount_ - 1 : kKickOffIndex)));
            nextRetry_ = now + retry;
        }
        break;
    case Phase::Reporting:
        if (now >= nextRetry_) {
            if (progressSent_ < cfg_.progressSteps) {
                ++progressSent_;
                uint32_t total = blockCount_ ? blockCount_ : 1;
                uint32_t written = uint32_t(uint64_t(total) * uint32_t(progressSent_) / uint32_t(cfg_.progressSteps));
                out.push_back(toJob(encodeWriteProgress(written, total)));
                nextRetry_ = now + std::chrono::milliseconds(cfg_.progressIntervalMs);
            } else {
                MessageType t = reported_ == Outcome::Complete      ? TypeWriteComplete
                                : reported_ == Outcome::CheckFailed ? TypeCheckFailed
                                                                    : TypeWriteFailed;
                out.push_back(toJob(encodeResult(t)));
                finishOk(now);
            }
        }
        break;
    default:
        break;
    }
    return out;
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
    for (const auto& p : pending_)
        t = std::min(t, p.due);
    if (heldAck_)
        t = std::min(t, heldSince_ + kHoldLimit);
    return t;
}

std::string DeviceSession::resultText() const
{
    switch (phase_) {
    case Phase::Failed:
        return "failed";
    case Phase::Done:
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
