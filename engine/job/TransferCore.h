// SPDX-License-Identifier: MIT
#pragma once

#include "firmware/ImageStore.h"
#include "record/JobStatus.h"
#include "platform/Socket.h"
#include "protocol/WireFormat.h"
#include "record/Event.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brelvo {

// One device's exchange, without sockets, threads or clocks: it is handed the
// datagrams that reach the job's port and the time, and answers with the one
// datagram to send, if any. The transfer thread does the I/O for every job;
// tests and fuzzers drive this class directly. Times are nanoseconds of a
// monotonic clock chosen by the caller.
class TransferCore {
public:
    // How the block phase is paced and when a device counts as gone.
    struct Timing {
        int64_t blockIntervalNs = 1000000;   // one block per millisecond on average
        int64_t minBlockGapNs = 900000;      // never two blocks closer than this
        int64_t maxLagNs = 2000000;          // further behind: restart the schedule
        int64_t silenceNs = 40000000000LL;   // a device silent this long is gone
        int64_t giveUpSilenceNs = 5000000000LL; // block phase: no answer for this long ...
        int unansweredLimit = 1000;              // ... and this many sends in a row
        // A device that got another tool's Offer before ours and has not
        // answered this long after both arrived is taken to be served there.
        int64_t otherOfferGraceNs = 5000000000LL;
    };

    struct Setup {
        uint32_t localAddr = 0;  // network byte order, as everywhere in the engine
        uint16_t jobPort = 0;
        uint32_t lentAddr = 0;
        uint16_t devicePort = 0;
        uint8_t options = 0;
        // The bytes and their checksum, shared with every job sending the same.
        std::shared_ptr<const PreparedImage> image;
    };

    // What the caller must send now. `data` stays valid until the next call.
    struct Send {
        const uint8_t* data = nullptr;
        size_t length = 0;
        SocketAddress to;
        bool broadcast = false; // the Offer: from a broadcast socket on the local address

        explicit operator bool() const { return length != 0; }
    };

    // A WriteProgress message's counts, each shown on the debug channel.
    struct WriteCount {
        int32_t written = 0;
        int32_t total = 0;
    };

    explicit TransferCore(const Setup& setup);
    TransferCore(const Setup& setup, const Timing& timing);

    // Status 1 and the Offer, broadcast to the device's port.
    Send begin(int64_t now);
    // One datagram from `from`, of `length` bytes (0 counts as a datagram).
    Send onDatagram(int64_t now, const uint8_t* data, size_t length, const SocketAddress& from);
    // The time has come (see nextDeadline()): a block, End, a give-up or the
    // end of a silence.
    Send onTimer(int64_t now);
    // The datagram of the last step left at `now` (after its send call
    // returned): the next block keeps its gap from that moment.
    void sent(int64_t now);
    // The operator's Stop: an unfinished job ends "Stopped" and sends nothing more.
    void stop();
    // The table let go of the job: it ends; an unfinished one as "Stopped".
    void release();
    // Receiving on the job's socket failed: "Network Error!".
    void failNetwork();
    // The Offer never left (no socket, no route): "Network Error!" saying
    // why, and no word of an Offer sent.
    void offerFailed(const std::string& why);
    // Another tool (`tool`) broadcast an Offer to the device's port after
    // the device's request. A job that never heard from its device then ends
    // "Served by Another Tool" where its silence would end it "Timeout!";
    // `first`: that Offer reached this host before ours, so the waiting
    // device took it, and the silence ends otherOfferGraceNs from `now`.
    void otherToolOffered(int64_t now, uint32_t tool, bool first);

    // When onTimer() next has work; INT64_MAX when it never will.
    int64_t nextDeadline() const;
    // Over: the caller closes the job's socket and forgets the core.
    bool ended() const { return ended_; }
    bool inBlockPhase() const { return inBlockPhase_; }
    // The next tick ends a pass: what it sends next depends on every
    // acknowledgement received so far, so they must all be handed in first.
    bool wantsFreshAcks() const { return inBlockPhase_ && firstUnacknowledgedFrom(nextIndex_) >= blockCount_; }

    // Read-outs.
    int status() const { return status_; }
    bool finished() const { return finished_; }
    int progress() const;
    uint32_t blockCount() const { return blockCount_; }
    uint32_t acknowledgedBlocks() const { return ackedBlocks_; }
    bool blockAcknowledged(uint32_t index) const { return index < blockCount_ && ackFlags_[index] != 0; }
    int32_t writtenCount() const { return writeDone_; }
    int32_t writeTotalCount() const { return writeTotal_; }
    SocketAddress peer() const { return peer_; }
    uint32_t checksum() const { return checksum_; }
    uint8_t options() const { return setup_.options; }
    bool endSent() const { return endSent_; }
    uint32_t imageLength() const { return static_cast<uint32_t>(imageLength_); }
    uint64_t bytesSent() const;
    uint32_t blocksResent() const { return blocksResent_; }
    uint32_t sendsWithoutAnswer() const { return unanswered_; }

    // Since clearNotes(), oldest first: the events for the operator, with
    // what the core knows filled in (the caller adds the job's identity),
    // and the WriteProgress counts.
    const std::vector<Event>& notes() const { return notes_; }
    const std::vector<WriteCount>& writeCounts() const { return writeCounts_; }
    void clearNotes() { notes_.clear(), writeCounts_.clear(); }

private:
    Send sendTo(size_t length);
    Send beginBlockPhase(int64_t now);
    Send nextBlockStep(int64_t now);
    Send sendBlock(int64_t now, uint32_t index);
    Send sendEnd(int64_t now);
    void endWith(int status);
    Event& note(EventKind kind, int code = 0, int64_t value = 0);
    uint32_t firstUnacknowledgedFrom(uint32_t index) const;

    Setup setup_;
    Timing timing_;
    size_t imageLength_;
    uint32_t checksum_;
    uint32_t blockCount_;
    std::vector<uint8_t> ackFlags_;
    std::vector<uint8_t> sentOnce_;
    uint8_t out_[wire::kBlockMessageSize] = {};

    int status_ = Accepted;
    bool finished_ = false;
    bool ended_ = false;
    bool begun_ = false;
    bool heard_ = false;      // a datagram reached the job's port
    uint32_t otherTool_ = 0;  // the first other tool that offered to the device's port
    bool otherFirst_ = false; // an Offer of another tool reached this host before ours
    bool endSent_ = false;
    SocketAddress peer_;
    int32_t writeDone_ = 0;
    int32_t writeTotal_ = 0;
    int lastPercentNoted_ = -1;

    // Receive loop: the device is gone after this.
    int64_t silenceDeadline_ = 0;

    // Block phase.
    bool inBlockPhase_ = false;
    uint32_t ackedBlocks_ = 0;
    uint32_t flagsSet_ = 0;
    uint32_t nextIndex_ = 0;
    uint32_t sentThisPass_ = 0;
    int pass_ = 0;
    uint32_t unanswered_ = 0;
    bool answeredSinceSend_ = false;
    bool sentInPhase_ = false;
    int64_t lastAnswer_ = 0;
    int64_t lastSend_ = 0;
    bool lastWasBlock_ = false;
    int64_t slot_ = 0;
    int64_t nextSendAt_ = 0;
    uint64_t distinctBlocksSent_ = 0;
    uint32_t blocksResent_ = 0;

    std::vector<Event> notes_;
    std::vector<WriteCount> writeCounts_;
};

} // namespace brelvo
