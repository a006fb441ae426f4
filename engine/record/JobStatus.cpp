// SPDX-License-Identifier: MIT
#include "record/JobStatus.h"

namespace brelvo {

namespace {

constexpr StatusOutcome kInProgress = StatusOutcome::InProgress;
constexpr StatusOutcome kFailed = StatusOutcome::Failed;

// Codes no job sets count as failures, as the window always coloured them.
const StatusRow kUnknown{-1, "Unknown Error!", "Content.undefineError", kFailed, false, nullptr};

} // namespace

const std::vector<StatusRow>& statusRows()
{
    // A time-out in the block phase is not final: the device may answer
    // again and the job goes on.
    static const std::vector<StatusRow> rows{
        {Accepted, "Find Update Server", "Content.findUpServer", kInProgress, false, "accepted"},
        {OfferSent, "Sending Data", "Content.sendData", kInProgress, false, "offer sent"},
        {2, "Sending Data", "Content.sendData", kInProgress, false, nullptr},
        {SizeSent, "Sending Data", "Content.sendData", kInProgress, false, "size sent"},
        {4, "Sending Data", "Content.sendData", kInProgress, false, nullptr},
        {SendingBlocks, "Sending Data", "Content.sendData", kInProgress, false, "sending"},
        {6, "Send Successfully!", "Content.sendComplete", kInProgress, false, nullptr},
        {DeviceCheckFailed, "Verification Failed!", "Content.checkFailed", kFailed, true, nullptr},
        {DeviceWriting, "Updating...", "Content.burnWriting", kInProgress, false, "writing"},
        {DeviceWriteComplete, "Update Complete!", "Content.writeComplete", StatusOutcome::Succeeded, true, nullptr},
        {DeviceWriteFailed, "Update Failed!", "Content.writeFailed", kFailed, true, nullptr},
        {NetError, "Network Error!", "Content.netError", kFailed, true, nullptr},
        {ModelMismatch, "Model Mismatch!", "Content.modeError", kFailed, true, nullptr},
        {FileError, "Open Failed!", "Content.openUpFileFailed", kFailed, true, nullptr},
        {TransferTimeout, "Timeout!", "Content.timeout", kFailed, false, "silent, waiting"},
        {Stopped, "Stopped", "Content.stopped", StatusOutcome::Stopped, true, nullptr},
        {ServedElsewhere, "Served by Another Tool", "Content.servedElsewhere", StatusOutcome::Elsewhere, true, nullptr},
    };
    return rows;
}

const StatusRow& statusRow(int code)
{
    for (const StatusRow& row : statusRows()) {
        if (row.code == code)
            return row;
    }
    return kUnknown;
}

} // namespace brelvo
