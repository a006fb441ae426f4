#include "job/UpdateJob.h"

#include "job/ReceiveWithTimeout.h"
#include "platform/DebugOutput.h"
#include "platform/Pacer.h"
#include "protocol/WireFormat.h"

namespace brelvo {

namespace {

constexpr int kSilenceMs = 40000;
constexpr int kUnansweredLimit = 1000;
constexpr uint32_t kLimitedBroadcast = 0xFFFFFFFFu;

} // namespace

void UpdateJob::run()
{
    if (loadFirmware() != 0) {
        finishWorker();
        return;
    }
    if (openSocket() != 0) {
        finishWorker();
        return;
    }
    broadcastOffer();
    serve();
    finishWorker();
}

void UpdateJob::finishWorker()
{
    // Nothing sends from the image any more: give its memory back now rather
    // than when the operator clears the table (a hundred finished jobs could
    // otherwise hold 1.6 GB). The progress read-outs use the counters only.
    std::vector<uint8_t>().swap(image);
    std::vector<uint8_t>().swap(ackFlags);
    // A socket reserved by the listener for a job that failed before serving.
    if (sock != kInvalidSocket) {
        closeSocket(sock);
        sock = kInvalidSocket;
    }
    finished = 1;
    workerDone = true;
}

int UpdateJob::openSocket()
{
    if (sock != kInvalidSocket) { // bound by the listener (reserveSocket)
        status = OfferSent;
        return 0;
    }
    SocketHandle s = openUdpSocket();
    if (s == kInvalidSocket) {
        status = NetError;
        finished = 1;
        return -1;
    }
    if (bindSocket(s, 0, port) != 0) {
        closeSocket(s);
        status = NetError;
        finished = 1;
        return -1;
    }
    adoptSocket(s);
    return 0;
}

void UpdateJob::reserveSocket(SocketHandle s)
{
    if (sock != kInvalidSocket && sock != s)
        closeSocket(sock);
    sock = s;
}

void UpdateJob::adoptSocket(SocketHandle s)
{
    if (sock != kInvalidSocket && sock != s)
        closeSocket(sock);
    sock = s;
    status = OfferSent;
}

void UpdateJob::broadcastOffer()
{
    const size_t length = wire::encodeOffer(buffer.data(), lentAddr.load(), localAddr, port);
    SocketHandle b = openUdpSocket();
    peer.address = kLimitedBroadcast;
    peer.port = devicePort;
    if (b != kInvalidSocket) {
        enableBroadcast(b);
        // Bound to the chosen local address, the Offer leaves through that
        // address's network even when the machine has several.
        bindSocket(b, localAddr, 0);
        sendTo(b, buffer.data(), length, peer);
        closeSocket(b);
    }
    peer.address = lentAddr.load();
}

int UpdateJob::awaitDatagram(int timeoutMs, int* received, SocketAddress* source)
{
    const int ready = waitReadableAbortable(sock, timeoutMs, &abortWorker);
    if (ready <= 0)
        return ready;
    const int n = receiveFrom(sock, buffer.data(), buffer.size(), source);
    if (n < 0)
        return -1;
    *received = n;
    return 1;
}

void UpdateJob::serve()
{
    if (!abortWorker.load())
        running = 1;
    while (!abortWorker.load()) {
        int n = 0;
        SocketAddress source;
        const int r = awaitDatagram(kSilenceMs, &n, &source);
        if (r < 0) {
            status = NetError;
            break;
        }
        if (r == 0)
            break;
        switch (handleDatagram(buffer.data(), static_cast<size_t>(n), source)) {
        case Reaction::SendSize:
            sendFromBuffer(wire::encodeSize(buffer.data(), imageLength.load()));
            break;
        case Reaction::RunBlockPhase:
            if (sendBlocks() != 0) {
                status = TransferTimeout;
                finished = 1;
            }
            break;
        case Reaction::ReportProgress:
            debugOutput(progressText());
            break;
        case Reaction::None:
            break;
        }
        if (running.load() == 0)
            break;
    }
    if (sock != kInvalidSocket) {
        closeSocket(sock);
        sock = kInvalidSocket;
    }
    finished = 1;
}

void UpdateJob::sendFromBuffer(size_t length)
{
    sendTo(sock, buffer.data(), length, peer);
}

UpdateJob::Reaction UpdateJob::handleDatagram(const uint8_t* data, size_t length, const SocketAddress& source)
{
    if (!wire::hasMagic(data, length))
        return Reaction::None;
    peer = source;
    switch (wire::messageType(data, length)) {
    case wire::Ready:
        if (status.load() != OfferSent)
            return Reaction::None;
        status = SizeSent;
        return Reaction::SendSize;
    case wire::BlockAck:
        if (length < wire::kBlockAckMinSize)
            return Reaction::None;
        status = SendingBlocks;
        return Reaction::RunBlockPhase;
    case wire::CheckFailed:
        status = DeviceCheckFailed;
        finished = 1;
        return Reaction::None;
    case wire::WriteComplete:
        status = DeviceWriteComplete;
        finished = 1;
        return Reaction::None;
    case wire::WriteFailed:
        status = DeviceWriteFailed;
        finished = 1;
        return Reaction::None;
    case wire::WriteProgress: {
        uint32_t written = 0;
        uint32_t total = 0;
        if (!wire::decodeWriteProgress(data, length, &written, &total))
            return Reaction::None;
        status = DeviceWriting;
        writeDone = static_cast<int32_t>(written);
        writeTotal = static_cast<int32_t>(total);
        return Reaction::ReportProgress;
    }
    default:
        return Reaction::None;
    }
}

void UpdateJob::beginBlockPhase() { ackedBlocks = 0; }

bool UpdateJob::accountBlockAck(const uint8_t* data, size_t length, const SocketAddress& source)
{
    if (!wire::hasMagic(data, length))
        return false;
    peer = source;
    uint32_t index = 0;
    if (wire::messageType(data, length) != wire::BlockAck || !wire::decodeBlockAck(data, length, &index))
        return false;
    if (index >= static_cast<uint32_t>(blockCount.load()) || index >= ackFlags.size() || ackFlags[index] != 0)
        return false;
    ackFlags[index] = 1;
    ++ackedBlocks;
    return true;
}

int UpdateJob::sendBlocks()
{
    beginBlockPhase();
    int unanswered = 0;
    const int blocks = blockCount.load();
    // At most one block per millisecond on average, as the devices expect.
    Pacer pacer;
    pacer.start();
    for (;;) {
        int sentThisPass = 0;
        for (int j = 0; j < blocks; ++j) {
            if (running.load() == 0)
                return -1;
            if (ackFlags[static_cast<size_t>(j)] != 0)
                continue;
            sendFromBuffer(wire::encodeBlock(buffer.data(), static_cast<uint32_t>(j), image.data(), image.size()));
            ++sentThisPass;
            pacer.wait();

            bool answered = false;
            for (;;) {
                SocketAddress source;
                const int n = receiveWithTimeout(sock, buffer.data(), buffer.size(), &source, 0);
                if (n <= 0)
                    break;
                answered = true;
                accountBlockAck(buffer.data(), static_cast<size_t>(n), source);
            }
            if (answered)
                unanswered = 0;
            if (unanswered >= kUnansweredLimit)
                return -1;
            ++unanswered;
        }
        if (sentThisPass == 0)
            break;
    }
    sendFromBuffer(wire::encodeEnd(buffer.data(), checksum, options));
    return 0;
}

} // namespace brelvo
