// Datagrams fed to one job's message handling (no socket) beside a small
// model: after each, status, finished, acknowledged blocks (each once),
// progress and peer (moved only by "upd:" datagrams) must match it.
// Input: byte 0 bit 0 starts after the Offer; bytes 1..2 the image length;
// then [flags][length][bytes...]: flags bit 1 ends a block phase, bit 0 sends
// to the block phase's accounting (when one runs), the rest pick the sender.

#include "FuzzCheck.h"

#include "job/UpdateJob.h"
#include "protocol/WireFormat.h"

#include <cstring>
#include <memory>
#include <vector>

using namespace brelvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const uint8_t request[] = {'u', 'p', 'd', ':', 0, 0, 0, 0, 0, 0, 0, 7, 'A', 'B', 'C', 'D', 'E', 'F', 'G'};
    std::shared_ptr<UpdateJob> job = UpdateJob::create(request, sizeof request);
    const std::vector<uint8_t> image(size_t(data[1]) << 8 | data[2], 0xA5);
    job->loadImage(image.data(), image.size(), 0x12345678u);
    const int blocks = int((image.size() + 1023) / 1024);
    int status = Accepted, acked = 0, written = 0, total = 0;
    std::vector<bool> marked(static_cast<size_t>(blocks));
    SocketAddress peer{};
    bool finished = false;
    if (data[0] & 1) {
        job->adoptSocket(kInvalidSocket); // the state right after the Offer
        status = OfferSent;
    }
    bool inPhase = false;
    for (size_t pos = 3; pos + 2 <= size;) {
        const uint8_t flags = data[pos];
        const size_t n = std::min<size_t>(data[pos + 1], size - pos - 2);
        std::unique_ptr<uint8_t[]> d(new uint8_t[n + !n]); // exact size: reading past a short message is caught
        std::memcpy(d.get(), data + pos + 2, n);
        pos += 2 + n;
        const SocketAddress source{0x0A000000u | flags, uint16_t(0x4000u + (flags >> 2))};
        const bool upd = n >= 4 && std::memcmp(d.get(), "upd:", 4) == 0;
        const int type = upd && n >= 5 ? int8_t(d[4]) : -1;
        peer = upd ? source : peer;
        inPhase = inPhase && !(flags & 2);
        if ((flags & 1) && inPhase) {
            const uint32_t index = type == 4 && n >= 16 ? wire::readBe32(d.get() + 12) : ~0u;
            const bool counts = index < uint32_t(blocks) && !marked[index];
            if (counts)
                marked[index] = true, ++acked;
            FUZZ_CHECK(job->accountBlockAck(d.get(), n, source) == counts);
        } else {
            auto expected = UpdateJob::Reaction::None;
            if (type == 2 && status == OfferSent)
                status = SizeSent, expected = UpdateJob::Reaction::SendSize;
            else if (type == 4 && n >= 16)
                status = SendingBlocks, expected = UpdateJob::Reaction::RunBlockPhase;
            else if (type == 7 || type == 9 || type == 10)
                status = type, finished = true;
            else if (type == 8 && n >= 20)
                status = DeviceWriting, written = int32_t(wire::readBe32(d.get() + 12)),
                total = int32_t(wire::readBe32(d.get() + 16)), expected = UpdateJob::Reaction::ReportProgress;
            FUZZ_CHECK(job->handleDatagram(d.get(), n, source) == expected);
            if (expected == UpdateJob::Reaction::RunBlockPhase) {
                job->beginBlockPhase(); // what sending the blocks does first
                acked = 0;
                inPhase = true;
            }
        }
        const int64_t p = status == SendingBlocks && blocks ? int64_t(acked) * 100 / blocks
                          : status == DeviceWriting && total > 0 ? int64_t(written) * 100 / total
                                                                 : status == DeviceWriteComplete ? 100 : 0;
        FUZZ_CHECK(job->statusCode() == status && job->isFinished() == finished);
        FUZZ_CHECK(job->acknowledgedBlocks() == acked && acked <= job->blockTotal() && job->blockTotal() == blocks);
        FUZZ_CHECK(job->progress() == int(p < 0 ? 0 : p > 100 ? 100 : p));
        FUZZ_CHECK(job->peerAddress().address == peer.address && job->peerAddress().port == peer.port);
    }
    for (int i = -1; i <= blocks; ++i)
        FUZZ_CHECK(job->blockAcknowledged(i) == (i >= 0 && i < blocks && marked[size_t(i)]));
    return 0;
}
