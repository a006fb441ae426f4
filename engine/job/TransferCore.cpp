// SPDX-License-Identifier: MIT
#include "job/TransferCore.h"

#include "platform/AddressText.h"

#include <algorithm>
#include <climits>

namespace brelvo {

namespace {

constexpr uint32_t kLimitedBroadcast = 0xFFFFFFFFu;

int64_t alignDown(int64_t t, int64_t interval) { return t - ((t % interval) + interval) % interval; }

} // namespace

TransferCore::TransferCore(const Setup& setup) : TransferCore(setup, Timing()) {}

TransferCore::TransferCore(const Setup& setup, const Timing& timing)
    : setup_(setup),
      timing_(timing),
      imageLength_(setup.image ? setup.image->bytes.size() : 0),
      checksum_(setup.image ? setup.image->checksum : 0),
      blockCount_(static_cast<uint32_t>((imageLength_ + wire::kBlockSize - 1) / wire::kBlockSize)),
      ackFlags_(blockCount_, 0),
      sentOnce_(blockCount_, 0)
{
    if (timing_.blockIntervalNs <= 0)
        timing_.blockIntervalNs = 1;
}

TransferCore::Send TransferCore::sendTo(size_t length)
{
    lastWasBlock_ = false;
    Send s;
    s.data = out_;
    s.length = length;
    s.to = peer_;
    return s;
}

Event& TransferCore::note(EventKind kind, int code, int64_t value)
{
    notes_.emplace_back();
    Event& e = notes_.back();
    e.kind = kind;
    e.code = code;
    e.value = value;
    return e;
}

void TransferCore::endWith(int status)
{
    status_ = status;
    finished_ = true;
    ended_ = true;
    inBlockPhase_ = false;
    Event& e = note(EventKind::JobResult, status);
    if (status == Stopped)
        e.detail = "stopped by the operator";
    else if (status == NetError)
        e.detail = "receiving on the job's port failed";
    else if (status == ServedElsewhere && otherFirst_)
        e.detail = "the device took the Offer of the tool at " + addressToText(otherTool_) + ", which came before ours";
    else if (status == ServedElsewhere)
        e.detail = "the device never answered; the tool at " + addressToText(otherTool_) + " offered to it too";
}

TransferCore::Send TransferCore::begin(int64_t now)
{
    if (begun_ || ended_)
        return Send();
    begun_ = true;
    status_ = OfferSent;
    silenceDeadline_ = now + timing_.silenceNs;
    const size_t length = wire::encodeOffer(out_, setup_.lentAddr, setup_.localAddr, setup_.jobPort);
    Send s;
    s.data = out_;
    s.length = length;
    s.to = SocketAddress{kLimitedBroadcast, setup_.devicePort};
    s.broadcast = true;
    // From the first answer on the job talks to whoever answers; until then
    // to the address the device was lent.
    peer_ = SocketAddress{setup_.lentAddr, setup_.devicePort};
    note(EventKind::OfferSent).jobPort = setup_.jobPort;
    return s;
}

TransferCore::Send TransferCore::onDatagram(int64_t now, const uint8_t* data, size_t length,
                                            const SocketAddress& from)
{
    if (ended_ || !begun_)
        return Send();
    heard_ = true;

    if (inBlockPhase_) {
        // While blocks go out only acknowledgements count; anything else is
        // dropped, as a device is not expected to say more before End.
        if (length == 0)
            return Send();
        answeredSinceSend_ = true;
        lastAnswer_ = now;
        if (!wire::hasMagic(data, length))
            return Send();
        peer_ = from;
        uint32_t index = 0;
        if (wire::messageType(data, length) != wire::BlockAck || !wire::decodeBlockAck(data, length, &index))
            return Send();
        if (index < blockCount_ && ackFlags_[index] == 0) {
            ackFlags_[index] = 1;
            ++ackedBlocks_;
            ++flagsSet_;
        }
        return Send();
    }

    silenceDeadline_ = now + timing_.silenceNs;
    if (!wire::hasMagic(data, length))
        return Send();
    peer_ = from;
    switch (wire::messageType(data, length)) {
    case wire::Ready:
        // Devices repeat Ready when the Size was lost: answer it again until
        // the first acknowledgement shows the Size arrived.
        if (status_ != OfferSent && status_ != SizeSent)
            return Send();
        status_ = SizeSent;
        note(EventKind::SizeSent, 0, static_cast<int64_t>(imageLength_));
        return sendTo(wire::encodeSize(out_, static_cast<uint32_t>(imageLength_)));
    case wire::BlockAck:
        if (length < wire::kBlockAckMinSize)
            return Send();
        // A device that comes back after the phase gave up is served again:
        // until it reaches a result the job is not finished.
        status_ = SendingBlocks;
        finished_ = false;
        return beginBlockPhase(now);
    case wire::CheckFailed:
        endWith(DeviceCheckFailed);
        return Send();
    case wire::WriteComplete:
        endWith(DeviceWriteComplete);
        return Send();
    case wire::WriteFailed:
        endWith(DeviceWriteFailed);
        return Send();
    case wire::WriteProgress: {
        uint32_t written = 0;
        uint32_t total = 0;
        if (!wire::decodeWriteProgress(data, length, &written, &total))
            return Send();
        status_ = DeviceWriting;
        writeDone_ = static_cast<int32_t>(written);
        writeTotal_ = static_cast<int32_t>(total);
        writeCounts_.push_back(WriteCount{writeDone_, writeTotal_});
        const int percent = progress();
        if (percent != lastPercentNoted_) // the same percent again is no news
            note(EventKind::DeviceWriting, 0, percent);
        lastPercentNoted_ = percent;
        return Send();
    }
    default:
        return Send();
    }
}

TransferCore::Send TransferCore::beginBlockPhase(int64_t now)
{
    inBlockPhase_ = true;
    // Flags of an earlier run of the phase stand (those blocks are not sent
    // again), but the count shown starts from nothing.
    ackedBlocks_ = 0;
    nextIndex_ = 0;
    sentThisPass_ = 0;
    pass_ = 1;
    unanswered_ = 0;
    answeredSinceSend_ = false;
    sentInPhase_ = false;
    lastAnswer_ = now;
    slot_ = alignDown(now, timing_.blockIntervalNs);
    nextSendAt_ = now;
    note(EventKind::BlockPhaseStarted, 0, blockCount_);
    return nextBlockStep(now);
}

uint32_t TransferCore::firstUnacknowledgedFrom(uint32_t index) const
{
    while (index < blockCount_ && ackFlags_[index] != 0)
        ++index;
    return index;
}

TransferCore::Send TransferCore::nextBlockStep(int64_t now)
{
    uint32_t index = firstUnacknowledgedFrom(nextIndex_);
    if (index >= blockCount_) {
        if (sentThisPass_ == 0)
            return sendEnd(now);
        // Another pass over whatever is still unacknowledged.
        ++pass_;
        sentThisPass_ = 0;
        index = firstUnacknowledgedFrom(0);
        if (index >= blockCount_)
            return sendEnd(now);
        note(EventKind::BlocksResent, pass_, static_cast<int64_t>(blockCount_ - flagsSet_));
    }
    return sendBlock(now, index);
}

TransferCore::Send TransferCore::sendBlock(int64_t now, uint32_t index)
{
    ++sentThisPass_;
    nextIndex_ = index + 1;
    if (sentOnce_[index]) {
        ++blocksResent_;
    } else {
        sentOnce_[index] = 1;
        ++distinctBlocksSent_;
    }
    sentInPhase_ = true;
    lastSend_ = now;
    slot_ += timing_.blockIntervalNs;
    if (now - slot_ > timing_.maxLagNs) // stalled: no burst to catch up
        slot_ = alignDown(now, timing_.blockIntervalNs) + timing_.blockIntervalNs;
    const int64_t earliest = now + timing_.minBlockGapNs;
    nextSendAt_ = slot_ > earliest ? slot_ : earliest;
    Send s = sendTo(wire::encodeBlock(out_, index, setup_.image->bytes.data(), imageLength_));
    lastWasBlock_ = true;
    return s;
}

void TransferCore::sent(int64_t now)
{
    if (!lastWasBlock_ || !inBlockPhase_ || now <= lastSend_)
        return;
    lastSend_ = now;
    const int64_t earliest = now + timing_.minBlockGapNs;
    if (nextSendAt_ < earliest)
        nextSendAt_ = earliest;
}

TransferCore::Send TransferCore::sendEnd(int64_t now)
{
    inBlockPhase_ = false;
    endSent_ = true;
    silenceDeadline_ = now + timing_.silenceNs;
    Event& e = note(EventKind::EndSent);
    e.checksum = checksum_;
    e.options = setup_.options;
    return sendTo(wire::encodeEnd(out_, checksum_, setup_.options));
}

TransferCore::Send TransferCore::onTimer(int64_t now)
{
    if (ended_ || !begun_)
        return Send();
    if (inBlockPhase_) {
        if (now < nextSendAt_)
            return Send();
        if (sentInPhase_) {
            if (answeredSinceSend_)
                unanswered_ = 0;
            answeredSinceSend_ = false;
            if (unanswered_ >= static_cast<uint32_t>(timing_.unansweredLimit) &&
                now - lastAnswer_ >= timing_.giveUpSilenceNs) {
                // The device stopped answering: give up the phase but keep
                // listening, a later acknowledgement starts it again.
                inBlockPhase_ = false;
                status_ = TransferTimeout;
                finished_ = true;
                silenceDeadline_ = now + timing_.silenceNs;
                note(EventKind::JobTimedOut, SendingBlocks, 1).detail = "the device stopped acknowledging blocks";
                return Send();
            }
            ++unanswered_;
        }
        return nextBlockStep(now);
    }
    if (now >= silenceDeadline_) {
        if (!heard_ && otherTool_ != 0) {
            endWith(ServedElsewhere);
            return Send();
        }
        const int before = status_;
        if (!statusRow(status_).final && status_ != TransferTimeout)
            note(EventKind::JobTimedOut, before, 0).detail = "the device was silent for 40 seconds";
        endWith(statusRow(status_).final ? status_ : TransferTimeout);
    }
    return Send();
}

void TransferCore::stop()
{
    if (ended_)
        return;
    endWith(finished_ ? status_ : Stopped);
}

void TransferCore::release() { stop(); }

void TransferCore::failNetwork()
{
    if (!ended_)
        endWith(NetError);
}

void TransferCore::offerFailed(const std::string& why)
{
    if (ended_)
        return;
    notes_.erase(std::remove_if(notes_.begin(), notes_.end(),
                                [](const Event& e) { return e.kind == EventKind::OfferSent; }),
                 notes_.end());
    endWith(NetError);
    notes_.back().detail = "the Offer could not be sent: " + why;
}

void TransferCore::otherToolOffered(int64_t now, uint32_t tool, bool first)
{
    if (ended_ || !begun_ || heard_)
        return;
    if (otherTool_ == 0)
        otherTool_ = tool;
    if (!first)
        return;
    otherFirst_ = true;
    if (now + timing_.otherOfferGraceNs < silenceDeadline_)
        silenceDeadline_ = now + timing_.otherOfferGraceNs;
}

int64_t TransferCore::nextDeadline() const
{
    if (ended_ || !begun_)
        return INT64_MAX;
    return inBlockPhase_ ? nextSendAt_ : silenceDeadline_;
}

int TransferCore::progress() const
{
    int64_t percent = 0;
    switch (status_) {
    case SendingBlocks:
        if (blockCount_ > 0)
            percent = static_cast<int64_t>(ackedBlocks_) * 100 / blockCount_;
        break;
    case DeviceWriting:
        if (writeTotal_ > 0)
            percent = static_cast<int64_t>(writeDone_) * 100 / writeTotal_;
        break;
    case DeviceWriteComplete:
        percent = 100;
        break;
    default:
        break;
    }
    // The device's counters are whatever it sends; the bar stays in range.
    return percent < 0 ? 0 : percent > 100 ? 100 : static_cast<int>(percent);
}

uint64_t TransferCore::bytesSent() const
{
    const uint64_t bytes = distinctBlocksSent_ * wire::kBlockSize;
    return bytes < imageLength_ ? bytes : imageLength_;
}

} // namespace brelvo
