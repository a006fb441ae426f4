// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

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
};

// The device said how its update ended: written, check failed, write failed.
constexpr bool isDeviceResult(int status)
{
    return status == DeviceCheckFailed || status == DeviceWriteComplete || status == DeviceWriteFailed;
}

// Write option bits handed from the window through the server to each job.
enum WriteOption : int {
    OptionUpdateBoot = 1,
    OptionEraseBoot = 2,
};

} // namespace brelvo
