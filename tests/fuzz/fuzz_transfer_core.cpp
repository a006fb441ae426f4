// SPDX-License-Identifier: MIT
// A script of datagrams and clock ticks fed to one job's transfer core,
// checked against what the exchange allows: the Offer first and once,
// Size only for a Ready before the blocks began, blocks only while some are
// unacknowledged and never two closer than the minimum gap, End only once
// every block is acknowledged, nothing at all once the job is over, the peer
// moved only by "upd:" datagrams, progress within 0..100.
// Input: bytes 0..1 the image length; then records of [op][delta][length][bytes]:
// op bit 0 a datagram (else a tick), bit 1 a Stop, the rest pick the sender;
// delta advances the clock (x 37 us, or x 1.3 s when op bit 7 is set).

#include "FuzzCheck.h"

#include "job/TransferCore.h"
#include "protocol/WireFormat.h"

#include <cstring>
#include <memory>
#include <vector>

using namespace brelvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    auto prepared = std::make_shared<PreparedImage>();
    prepared->bytes.assign(size_t(data[0]) << 8 | data[1], 0xA5);
    prepared->checksum = 0x12345678u;
    const std::vector<uint8_t>& image = prepared->bytes;
    TransferCore::Setup setup;
    setup.localAddr = 0x0100000Au;
    setup.jobPort = 0x3412;
    setup.lentAddr = 0x0200000Au;
    setup.devicePort = 0x7856;
    setup.options = 3;
    setup.image = prepared;
    TransferCore::Timing timing;
    TransferCore core(setup, timing);
    const uint32_t blocks = uint32_t((image.size() + 1023) / 1024);

    int64_t now = 1000000000;
    int offers = 0;
    int64_t lastBlockAt = -1;
    bool blocksBegan = false;
    SocketAddress peer{};
    auto check = [&](const TransferCore::Send& s) {
        FUZZ_CHECK(core.progress() >= 0 && core.progress() <= 100);
        FUZZ_CHECK(core.acknowledgedBlocks() <= blocks && core.blockCount() == blocks);
        FUZZ_CHECK(!core.ended() || core.finished());
        if (!s)
            return;
        FUZZ_CHECK(s.length >= wire::kHeaderSize && wire::hasMagic(s.data, s.length));
        const int type = wire::messageType(s.data, s.length);
        if (type == wire::Offer) {
            FUZZ_CHECK(++offers == 1 && s.broadcast && s.length == wire::kOfferSize);
            peer = SocketAddress{setup.lentAddr, setup.devicePort};
            return;
        }
        FUZZ_CHECK(offers == 1 && !s.broadcast && s.to == peer && !core.ended());
        if (type == wire::Size) {
            FUZZ_CHECK(!blocksBegan && s.length == wire::kSizeSize && wire::readBe32(s.data + 12) == image.size());
        } else if (type == wire::Block) {
            const uint32_t index = wire::readBe32(s.data + 12);
            FUZZ_CHECK(s.length == wire::kBlockMessageSize && index < blocks && !core.blockAcknowledged(index));
            // Also across phases: End and a give-up come on a tick that
            // already kept the gap.
            FUZZ_CHECK(lastBlockAt < 0 || now - lastBlockAt >= timing.minBlockGapNs);
            blocksBegan = true;
            lastBlockAt = now;
        } else {
            FUZZ_CHECK(type == wire::End && s.length == wire::kEndSize);
            for (uint32_t i = 0; i < blocks; ++i)
                FUZZ_CHECK(core.blockAcknowledged(i));
            FUZZ_CHECK(wire::readBe32(s.data + 12) == prepared->checksum && s.data[16] == setup.options);
        }
    };
    check(core.begin(now));
    for (size_t pos = 2; pos + 3 <= size;) {
        const uint8_t op = data[pos];
        now += (op & 0x80) ? int64_t(data[pos + 1]) * 1300000000 : int64_t(data[pos + 1]) * 37000;
        const size_t n = std::min<size_t>(data[pos + 2], size - pos - 3);
        std::unique_ptr<uint8_t[]> d(new uint8_t[n + !n]); // exact size: reading past a short message is caught
        std::memcpy(d.get(), data + pos + 3, n);
        pos += 3 + n;
        const bool wasEnded = core.ended();
        if (op & 2) {
            const bool finishedBefore = core.finished();
            const int statusBefore = core.status();
            core.stop();
            FUZZ_CHECK(core.ended() && (wasEnded || core.status() == (finishedBefore ? statusBefore : Stopped)));
            continue;
        }
        if (op & 1) {
            const SocketAddress source{0x0A000000u | op, uint16_t(0x4000u + (op >> 2))};
            const bool upd = n >= 4 && std::memcmp(d.get(), "upd:", 4) == 0;
            if (upd && !wasEnded)
                peer = source;
            const TransferCore::Send s = core.onDatagram(now, d.get(), n, source);
            FUZZ_CHECK(!wasEnded || !s);
            check(s);
            FUZZ_CHECK(core.peer() == peer || wasEnded);
        } else {
            const TransferCore::Send s = core.onTimer(now);
            FUZZ_CHECK(!wasEnded || !s);
            check(s);
        }
        FUZZ_CHECK(core.nextDeadline() >= now || core.ended() || core.inBlockPhase());
    }
    return 0;
}
