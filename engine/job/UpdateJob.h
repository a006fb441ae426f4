// SPDX-License-Identifier: MIT
#pragma once

#include "job/JobSnapshot.h"
#include "record/JobStatus.h"
#include "platform/Socket.h"
#include "record/Event.h"
#include "record/JobSummary.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace brelvo {

class ReportWriter;
class TransferCore;
class WakeSignal;

// One device's update as the table and the window see it: what it has
// reached, and the operator's Stop. The exchange itself runs in a
// TransferCore on the transfer thread, which publishes its state here;
// records are shared, so the window, the table and the transfer thread can
// each hold one for as long as they need.
class UpdateJob {
public:
    // Where a job comes from: the accepted request.
    struct Origin {
        uint64_t id = 0;             // unique for the server's lifetime
        std::string productCode;     // as received
        SocketAddress device;        // the request's source
        int64_t acceptedWallMs = 0;  // Unix time
        int64_t acceptedNs = 0;      // monotonic clock
        std::string station;         // the host name of the machine serving it
    };

    static std::shared_ptr<UpdateJob> create(Origin origin);
    UpdateJob(const UpdateJob&) = delete;
    UpdateJob& operator=(const UpdateJob&) = delete;

    uint64_t id() const { return origin_.id; }
    bool isFinished() const { return finished_.load(); }
    int statusCode() const { return status_.load(); }
    int progress() const { return progress_.load(); } // 0..100
    // Blocks of the image, and those acknowledged in the current block phase.
    int blockTotal() const { return blockTotal_.load(); }
    int acknowledgedBlocks() const { return ackedBlocks_.load(); }
    uint32_t lentAddress() const { return lentAddr_.load(); }
    std::string lentAddressText() const;
    uint16_t jobPort() const { return jobPort_.load(); }
    const std::string& productCodeText() const { return origin_.productCode; }
    SocketAddress device() const { return origin_.device; }
    // The device's hardware address (platform/NeighbourTable.h); 0 until learnt.
    uint64_t deviceMac() const { return mac_.load(std::memory_order_relaxed); }
    // The job's 1-based row in the server's table (0 once it left the table).
    int row() const { return row_.load(); }
    JobSnapshot snapshot() const;
    // `e` as told of this job: with its row, device, hardware address once
    // known, lent address, product code and, when `e` has none, the time.
    Event event(Event e) const;
    Event event(EventKind kind) const
    {
        Event e;
        e.kind = kind;
        return event(std::move(e));
    }

    // The operator's Stop: an unfinished job sends nothing more and ends
    // "Stopped" (at once, also while its files are still being read).
    void stop();
    // The table let go of the job: it ends at once if it has not.
    void release();
    bool stopRequested() const { return stopRequested_.load(); }
    bool released() const { return released_.load(); }

    // True once the job is over: its socket is closed and nothing about it
    // changes any more.
    bool workerEnded() const { return ended_.load(); }

    // What the run report keeps of the job (complete once workerEnded()).
    JobSummary summary() const;

private:
    friend class TransferScheduler;
    friend class UpdateServer;
    friend class MacResolver;

    explicit UpdateJob(Origin origin);

    // Set by the server before the job is handed over.
    void assign(uint32_t lentAddr, const std::string& imagePath, const std::string& configPath, uint8_t options);
    void setRow(int row) { row_ = row; }
    void setPort(uint16_t port) { jobPort_ = port; }
    void setDeviceMac(uint64_t mac) { mac_.store(mac, std::memory_order_relaxed); }
    void setWake(std::shared_ptr<WakeSignal> wake);
    void setReport(std::shared_ptr<ReportWriter> report) { report_ = std::move(report); }
    const std::shared_ptr<ReportWriter>& report() const { return report_; }
    // The transfer thread copies the core's state out after every step.
    void publish(const TransferCore& core);
    // Ends a job that never reached the transfer (files, address, socket);
    // markEnded() follows once its row was handed to the report.
    void endEarly(int status, int64_t nowNs);
    // The job's end time goes into its record.
    void closeRecord(int64_t nowNs);
    // Nothing about the job changes any more.
    void markEnded();

    const Origin origin_;
    std::atomic<int32_t> status_{Accepted};
    std::atomic<int32_t> progress_{0};
    std::atomic<int32_t> blockTotal_{0};
    std::atomic<int32_t> ackedBlocks_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> ended_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> released_{false};
    std::atomic<uint32_t> lentAddr_{0};
    std::atomic<uint16_t> jobPort_{0};
    std::atomic<int> row_{0};
    std::atomic<uint64_t> mac_{0};

    // Written before the hand-over or by the transfer thread; read under
    // summaryMutex_ by whoever writes the report.
    mutable std::mutex summaryMutex_;
    JobSummary summary_;
    std::shared_ptr<WakeSignal> wake_;
    // The report of the run that accepted the job: its row goes there.
    std::shared_ptr<ReportWriter> report_;
};

} // namespace brelvo
