// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace brelvo {

// What an update request carries: its type (0 for a request) and the
// product code, which ends after the declared payload length or at the
// first zero byte.
struct UpdateRequest {
    int type = 0;
    std::string productCode;
};

enum class RequestProblem {
    None,
    NotUpdateProtocol, // shorter than the header, or no "upd:" magic
    PayloadPastEnd,    // the declared payload runs past the received bytes
    CodeTooLong,       // over 63 characters
    NotARequest,       // a valid header of another type
};

// Reads one received datagram. Nothing is read past `received` bytes.
RequestProblem readUpdateRequest(const uint8_t* datagram, size_t received, UpdateRequest* out);
// One line of English for a problem.
const char* requestProblemText(RequestProblem problem);

// The same reading for callers with a fixed 64-byte code field: on success
// sets *type from byte 4 (signed) and copies the code into `code`
// (zero-filled by the caller) and returns 0; -1 when an argument is missing
// or the datagram is not a well-formed update-protocol message (a header of
// another type still parses: the caller checks the type).
int parseUpdateRequest(const uint8_t* datagram, int received, int* type, char* code);

} // namespace brelvo
