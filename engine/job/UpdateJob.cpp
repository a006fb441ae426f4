#include "job/UpdateJob.h"

#include "platform/AddressText.h"
#include "platform/Console.h"
#include "protocol/WireFormat.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace brelvo {

UpdateJob::UpdateJob() = default;

UpdateJob::~UpdateJob()
{
    if (thread.joinable()) {
        if (thread.isCurrent()) {
            // The worker held the last reference: it is on its way out.
            thread.detach();
        } else {
            abortWorker = true;
            running = 0;
            thread.join();
        }
    }
    if (sock != kInvalidSocket) {
        closeSocket(sock);
        sock = kInvalidSocket;
    }
}

std::shared_ptr<UpdateJob> UpdateJob::create(const uint8_t* datagram, int length)
{
    if (datagram == nullptr || length < static_cast<int>(wire::kHeaderSize))
        return nullptr;
    const size_t size = static_cast<size_t>(length);
    if (!wire::hasMagic(datagram, size) || wire::messageType(datagram, size) != wire::UpdateRequest)
        return nullptr;
    const uint64_t payload = wire::payloadLength(datagram, size);
    if (wire::kHeaderSize + payload > size)
        return nullptr;
    const char* text = reinterpret_cast<const char*>(datagram + wire::kPayloadOffset);
    const size_t codeLength = strnlen(text, static_cast<size_t>(payload));
    if (codeLength > wire::kProductCodeField - 1)
        return nullptr;
    try {
        std::shared_ptr<UpdateJob> job(new UpdateJob());
        job->buffer.assign(wire::kJobBufferSize, 0);
        job->productCode.assign(text, codeLength);
        return job;
    } catch (...) {
        return nullptr;
    }
}

void UpdateJob::init(const std::string& firmware, const std::string& config, uint32_t local,
                     uint16_t jobPort, uint32_t lent, uint16_t devPort, uint8_t opts)
{
    firmwarePath = firmware;
    configPath = config;
    localAddr = local;
    port = jobPort;
    lentAddr = lent;
    devicePort = devPort;
    options = opts;
}

int UpdateJob::start()
{
    if (started)
        return -1;
    started = true;
    std::shared_ptr<UpdateJob> self = shared_from_this();
    workerDone = false;
    if (thread.start([self] { self->run(); }) != 0) {
        workerDone = true;
        consoleWrite("_beginthreadex Failed\n");
        status = NetError;
        finished = 1;
        return -1;
    }
    return 0;
}

bool UpdateJob::isFinished() const { return finished.load() != 0; }

int UpdateJob::statusCode() const { return status.load(); }

int UpdateJob::progress() const
{
    int64_t percent = 0;
    switch (status.load()) {
    case SendingBlocks: {
        const int64_t blocks = blockCount.load();
        if (ackFlagsPresent.load() && blocks > 0)
            percent = static_cast<int64_t>(ackedBlocks.load()) * 100 / blocks;
        break;
    }
    case DeviceWriting: {
        const int64_t total = writeTotal.load();
        if (total > 0)
            percent = static_cast<int64_t>(writeDone.load()) * 100 / total;
        break;
    }
    case DeviceWriteComplete:
        percent = 100;
        break;
    default:
        break;
    }
    // The device's counters are whatever it sends; the bar stays in range.
    if (percent < 0)
        percent = 0;
    if (percent > 100)
        percent = 100;
    return static_cast<int>(percent);
}

std::string UpdateJob::lentAddressText() const { return addressToText(lentAddr.load()); }

void UpdateJob::stop() { running = 0; }

void UpdateJob::release()
{
    // Nobody looks at a released job any more: its worker may end.
    running = 0;
}

void UpdateJob::shutdown()
{
    abortWorker = true;
    running = 0;
    thread.join();
}

bool UpdateJob::blockAcknowledged(int index) const
{
    return index >= 0 && static_cast<size_t>(index) < ackFlags.size() && ackFlags[static_cast<size_t>(index)] != 0;
}

std::string UpdateJob::progressText() const
{
    char text[64];
    std::snprintf(text, sizeof text, "write:%d, cnt=%d\r\n", writeDone.load(), writeTotal.load());
    return text;
}

} // namespace brelvo
