// SPDX-License-Identifier: MIT
#include "protocol/UpdateRequest.h"
#include "protocol/WireFormat.h"

#include <cstring>

namespace brelvo {

namespace {

// The header and payload checks shared by both readers; the code's length
// through `codeLength`.
RequestProblem check(const uint8_t* datagram, size_t size, size_t* codeLength)
{
    if (datagram == nullptr || !wire::hasMagic(datagram, size) || size < wire::kHeaderSize)
        return RequestProblem::NotUpdateProtocol;
    const uint64_t payload = wire::payloadLength(datagram, size);
    if (wire::kHeaderSize + payload > size)
        return RequestProblem::PayloadPastEnd;
    const uint8_t* text = datagram + wire::kPayloadOffset;
    const void* zero = std::memchr(text, 0, static_cast<size_t>(payload));
    *codeLength = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - text) : static_cast<size_t>(payload);
    if (*codeLength > wire::kProductCodeField - 1)
        return RequestProblem::CodeTooLong;
    return RequestProblem::None;
}

} // namespace

RequestProblem readUpdateRequest(const uint8_t* datagram, size_t received, UpdateRequest* out)
{
    size_t codeLength = 0;
    const RequestProblem problem = check(datagram, received, &codeLength);
    if (problem != RequestProblem::None)
        return problem;
    const int type = wire::messageType(datagram, received);
    if (out) {
        out->type = type;
        out->productCode.assign(reinterpret_cast<const char*>(datagram + wire::kPayloadOffset), codeLength);
    }
    return type == wire::UpdateRequest ? RequestProblem::None : RequestProblem::NotARequest;
}

const char* requestProblemText(RequestProblem problem)
{
    switch (problem) {
    case RequestProblem::None:
        return "a well-formed update request";
    case RequestProblem::NotUpdateProtocol:
        return "not an update-protocol message";
    case RequestProblem::PayloadPastEnd:
        return "its declared length runs past the datagram";
    case RequestProblem::CodeTooLong:
        return "its product code is longer than 63 characters";
    case RequestProblem::NotARequest:
        return "a message of another type, not an update request";
    }
    return "?";
}

int parseUpdateRequest(const uint8_t* datagram, int received, int* type, char* code)
{
    if (datagram == nullptr || type == nullptr || code == nullptr || received < 0)
        return -1;
    size_t codeLength = 0;
    if (check(datagram, static_cast<size_t>(received), &codeLength) != RequestProblem::None)
        return -1;
    *type = wire::messageType(datagram, static_cast<size_t>(received));
    std::memcpy(code, datagram + wire::kPayloadOffset, codeLength);
    code[codeLength] = '\0';
    return 0;
}

} // namespace brelvo
