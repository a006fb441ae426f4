// A sequence of datagrams fed to one job's message handling without any
// socket: the receive loop's handling and the block phase's accounting of
// acknowledgements. A small model of the exchange runs beside the job and
// every step is checked against it: the status is a known code, progress
// stays in 0..100, no block is counted twice, ackedBlocks never exceeds
// blockCount, and only "upd:" datagrams move the peer.
//
// Input layout: byte 0 picks the start (bit 0: Offer already sent), bytes
// 1..2 the image length (big-endian, at most 65535, so up to 64 blocks);
// then records of [flags][length][bytes...], where bit 0 of flags routes
// the datagram to the block phase's accounting (when a phase runs), bit 1
// ends the block phase first, and the other bits pick the sender.

#include "FuzzCheck.h"

#include "job/UpdateJob.h"
#include "server/WireFormat.h"

#include <cstring>
#include <memory>
#include <vector>

using namespace brelvo;

namespace {

bool knownStatus(int s)
{
    switch (s) {
    case Accepted: case OfferSent: case SizeSent: case SendingBlocks: case DeviceCheckFailed:
    case DeviceWriting: case DeviceWriteComplete: case DeviceWriteFailed: case NetError:
    case ModelMismatch: case FileError: case TransferTimeout:
        return true;
    default:
        return false;
    }
}

struct Model {
    int status = Accepted;
    bool finished = false;
    int blockCount = 0;
    std::vector<uint8_t> flags;
    int acked = 0;
    int32_t written = 0;
    int32_t total = 0;
    SocketAddress peer;

    int progress() const
    {
        int64_t p = 0;
        if (status == SendingBlocks && blockCount > 0)
            p = int64_t(acked) * 100 / blockCount;
        else if (status == DeviceWriting && total > 0)
            p = int64_t(written) * 100 / total;
        else if (status == DeviceWriteComplete)
            p = 100;
        return p < 0 ? 0 : p > 100 ? 100 : int(p);
    }
};

bool magic(const uint8_t* d, size_t n) { return n >= 4 && std::memcmp(d, "upd:", 4) == 0; }
int typeOf(const uint8_t* d, size_t n) { return n >= 5 ? int(int8_t(d[4])) : -1; }

void checkAgainst(const UpdateJob& job, const Model& m)
{
    FUZZ_CHECK(knownStatus(job.statusCode()));
    FUZZ_CHECK(job.statusCode() == m.status);
    FUZZ_CHECK(job.isFinished() == m.finished);
    FUZZ_CHECK(job.acknowledgedBlocks() == m.acked);
    FUZZ_CHECK(job.acknowledgedBlocks() >= 0 && job.acknowledgedBlocks() <= job.blockTotal());
    FUZZ_CHECK(job.blockTotal() == m.blockCount);
    const int p = job.progress();
    FUZZ_CHECK(p >= 0 && p <= 100);
    FUZZ_CHECK(p == m.progress());
    FUZZ_CHECK(job.peerAddress().address == m.peer.address && job.peerAddress().port == m.peer.port);
    FUZZ_CHECK(job.writtenCount() == m.written && job.writeTotalCount() == m.total);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const uint8_t request[] = {'u', 'p', 'd', ':', 0, 0, 0, 0, 0, 0, 0, 7, 'A', 'B', 'C', 'D', 'E', 'F', 'G'};
    std::shared_ptr<UpdateJob> job = UpdateJob::create(request, sizeof request);
    FUZZ_CHECK(job != nullptr);

    Model m;
    const size_t imageLength = (size_t(data[1]) << 8) | data[2];
    std::vector<uint8_t> image(imageLength, 0xA5);
    job->loadImage(image.data(), image.size(), 0x12345678u);
    m.blockCount = int((imageLength + 1023) / 1024);
    m.flags.assign(size_t(m.blockCount), 0);
    if (data[0] & 1) {
        job->adoptSocket(kInvalidSocket); // the state right after the Offer, without a socket
        m.status = OfferSent;
    }
    checkAgainst(*job, m);

    bool inPhase = false;
    size_t pos = 3;
    while (pos + 2 <= size) {
        const uint8_t flags = data[pos];
        size_t length = data[pos + 1];
        pos += 2;
        if (length > size - pos)
            length = size - pos;
        // Exactly the datagram's bytes on the heap, so that reading a field
        // of a short message past its end is caught.
        std::unique_ptr<uint8_t[]> d(new uint8_t[length ? length : 1]);
        if (length)
            std::memcpy(d.get(), data + pos, length);
        pos += length;
        const SocketAddress source{0x0A000000u | flags, uint16_t(0x4000u + (flags >> 2))};

        if (flags & 2)
            inPhase = false;
        if ((flags & 1) && inPhase) {
            bool counted = false;
            if (magic(d.get(), length)) {
                m.peer = source;
                if (typeOf(d.get(), length) == 4 && length >= 16) {
                    const uint32_t index = wire::readBe32(d.get() + 12);
                    if (index < uint32_t(m.blockCount) && !m.flags[index]) {
                        m.flags[index] = 1;
                        ++m.acked;
                        counted = true;
                    }
                }
            }
            FUZZ_CHECK(job->accountBlockAck(d.get(), length, source) == counted);
            checkAgainst(*job, m);
            continue;
        }

        UpdateJob::Reaction expected = UpdateJob::Reaction::None;
        if (magic(d.get(), length)) {
            m.peer = source;
            switch (typeOf(d.get(), length)) {
            case 2:
                if (m.status == OfferSent) {
                    m.status = SizeSent;
                    expected = UpdateJob::Reaction::SendSize;
                }
                break;
            case 4:
                if (length >= 16) {
                    m.status = SendingBlocks;
                    expected = UpdateJob::Reaction::RunBlockPhase;
                }
                break;
            case 7: case 9: case 10:
                m.status = typeOf(d.get(), length);
                m.finished = true;
                break;
            case 8:
                if (length >= 20) {
                    m.status = DeviceWriting;
                    m.written = int32_t(wire::readBe32(d.get() + 12));
                    m.total = int32_t(wire::readBe32(d.get() + 16));
                    expected = UpdateJob::Reaction::ReportProgress;
                }
                break;
            default:
                break;
            }
        }
        const UpdateJob::Reaction got = job->handleDatagram(d.get(), length, source);
        FUZZ_CHECK(got == expected);
        if (got == UpdateJob::Reaction::RunBlockPhase) {
            // What sendBlocks() does first; its sends need a socket.
            job->beginBlockPhase();
            m.acked = 0;
            inPhase = true;
        }
        checkAgainst(*job, m);
    }
    // Every block counted is marked, and marks are never lost.
    int marked = 0;
    for (int i = 0; i < m.blockCount; ++i) {
        FUZZ_CHECK(job->blockAcknowledged(i) == (m.flags[size_t(i)] != 0));
        marked += m.flags[size_t(i)];
    }
    FUZZ_CHECK(job->acknowledgedBlocks() <= marked);
    FUZZ_CHECK(!job->blockAcknowledged(-1) && !job->blockAcknowledged(m.blockCount));
    return 0;
}
