// SPDX-License-Identifier: MIT
#include "job/UpdateJob.h"

#include "job/TransferCore.h"
#include "platform/AddressText.h"
#include "platform/Clock.h"
#include "platform/WallClock.h"
#include "platform/Poller.h"

namespace brelvo {

UpdateJob::UpdateJob(Origin origin) : origin_(std::move(origin))
{
    summary_.jobId = origin_.id;
    summary_.startedMs = origin_.acceptedWallMs;
    summary_.deviceAddress = origin_.device.address;
    summary_.devicePort = origin_.device.port;
    summary_.productCode = origin_.productCode;
    summary_.station = origin_.station;
}

std::shared_ptr<UpdateJob> UpdateJob::create(Origin origin)
{
    return std::shared_ptr<UpdateJob>(new UpdateJob(std::move(origin)));
}

std::string UpdateJob::lentAddressText() const { return addressToText(lentAddr_.load()); }

JobSnapshot UpdateJob::snapshot() const
{
    JobSnapshot s;
    s.id = origin_.id;
    s.status = status_.load();
    s.progress = progress_.load();
    s.finished = finished_.load();
    s.lentAddress = lentAddr_.load();
    s.deviceAddress = origin_.device.address;
    s.devicePort = origin_.device.port;
    s.productCode = origin_.productCode;
    s.mac = mac_.load(std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(summaryMutex_);
    s.imagePath = summary_.imagePath;
    s.checksum = summary_.checksum;
    s.checksumKnown = summary_.checksumKnown;
    s.options = summary_.options;
    return s;
}

Event UpdateJob::event(Event e) const
{
    if (e.wallTimeMs == 0)
        e.wallTimeMs = unixTimeMs();
    e.jobId = origin_.id;
    e.row = row_.load();
    e.address = origin_.device.address;
    e.port = origin_.device.port;
    e.lentAddress = lentAddr_.load();
    e.productCode = origin_.productCode;
    e.mac = mac_.load(std::memory_order_relaxed);
    return e;
}

void UpdateJob::stop()
{
    stopRequested_ = true;
    std::shared_ptr<WakeSignal> wake;
    {
        std::lock_guard<std::mutex> lock(summaryMutex_);
        wake = wake_;
    }
    if (wake)
        wake->raise();
}

void UpdateJob::release()
{
    released_ = true;
    stop();
}

JobSummary UpdateJob::summary() const
{
    std::lock_guard<std::mutex> lock(summaryMutex_);
    JobSummary s = summary_;
    s.resultCode = status_.load();
    s.lentAddress = lentAddr_.load();
    s.deviceMac = mac_.load(std::memory_order_relaxed);
    return s;
}

void UpdateJob::assign(uint32_t lentAddr, const std::string& imagePath, const std::string& configPath,
                       uint8_t options)
{
    lentAddr_ = lentAddr;
    std::lock_guard<std::mutex> lock(summaryMutex_);
    summary_.imagePath = imagePath;
    summary_.configPath = configPath;
    summary_.options = options;
}

void UpdateJob::setWake(std::shared_ptr<WakeSignal> wake)
{
    std::lock_guard<std::mutex> lock(summaryMutex_);
    wake_ = std::move(wake);
}

void UpdateJob::publish(const TransferCore& core)
{
    progress_.store(core.progress(), std::memory_order_relaxed);
    blockTotal_.store(static_cast<int32_t>(core.blockCount()), std::memory_order_relaxed);
    ackedBlocks_.store(static_cast<int32_t>(core.acknowledgedBlocks()), std::memory_order_relaxed);
    status_.store(core.status(), std::memory_order_relaxed);
    finished_ = core.finished();
    std::lock_guard<std::mutex> lock(summaryMutex_);
    summary_.bytesSent = core.bytesSent();
    summary_.checksum = core.checksum();
    summary_.checksumKnown = true;
    summary_.blocksResent = core.blocksResent();
    summary_.optionsSent = core.endSent();
}

void UpdateJob::endEarly(int status, int64_t nowNs)
{
    status_ = status;
    progress_ = 0;
    finished_ = true;
    closeRecord(nowNs);
}

void UpdateJob::closeRecord(int64_t nowNs)
{
    std::lock_guard<std::mutex> lock(summaryMutex_);
    summary_.finishedMs = unixTimeMs();
    summary_.seconds = static_cast<double>(nowNs - origin_.acceptedNs) / 1e9;
    wake_.reset();
}

void UpdateJob::markEnded()
{
    finished_ = true;
    ended_ = true;
}

} // namespace brelvo
