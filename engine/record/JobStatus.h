// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

namespace brelvo {

// The step a device's job has reached. 1, 3 and 5 equal the type of the
// message the tool sends at that step; 7 to 10 equal the type of the
// message the device last sent. 2, 4 and 6 are never set by a job but the
// window still has texts for them.
enum JobStatus : int32_t {
    Accepted = 0,
    OfferSent = 1,
    SizeSent = 3,
    SendingBlocks = 5,
    DeviceCheckFailed = 7,
    DeviceWriting = 8,
    DeviceWriteComplete = 9,
    DeviceWriteFailed = 10,
    NetError = 11,
    ModelMismatch = 12,
    FileError = 13,
    TransferTimeout = 14,
    Stopped = 15,     // ended by the operator's Stop before the device's result
    ServedElsewhere = 16, // the device took another tool's Offer instead of ours
};

// How a job stands for the window's colours, the events' severity and
// brelvo-cli's tally and exit code. Stopped: the operator's stop, no result.
// Elsewhere: another tool serves the device, so its result is recorded there.
enum class StatusOutcome { InProgress, Succeeded, Failed, Stopped, Elsewhere };

// Everything the front-ends and the report know of a status code: one row
// per code (statusRow), so a new status is one row and its two catalogue
// entries.
struct StatusRow {
    int code;
    const char* english;  // the window's English text, the report's result_text
    const char* key;      // the window's catalogue key (context "Brelvo")
    StatusOutcome outcome;
    bool final;           // nothing about the job changes any more
    const char* atWork;   // brelvo-cli's word for a job at work; null: the English text
};

// The row of `code`; a code without one gets "Unknown Error!", a failure
// that is not final.
const StatusRow& statusRow(int code);

// The rows of every known code, in order.
const std::vector<StatusRow>& statusRows();

// Write option bits handed from the window through the server to each job.
enum WriteOption : int {
    OptionUpdateBoot = 1,
    OptionEraseBoot = 2,
};

} // namespace brelvo
