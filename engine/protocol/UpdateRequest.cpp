#include "protocol/UpdateRequest.h"
#include "protocol/WireFormat.h"

#include <cstring>

namespace brelvo {

int parseUpdateRequest(const uint8_t* datagram, int received, int* type, char* code)
{
    if (datagram == nullptr || type == nullptr || code == nullptr || received < 0)
        return -1;
    const size_t size = static_cast<size_t>(received);
    if (!wire::hasMagic(datagram, size) || size < wire::kHeaderSize)
        return -1;
    const uint64_t payload = wire::payloadLength(datagram, size);
    if (wire::kHeaderSize + payload > size)
        return -1;
    const uint8_t* text = datagram + wire::kPayloadOffset;
    const void* zero = std::memchr(text, 0, static_cast<size_t>(payload));
    const size_t codeLength = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - text)
                                   : static_cast<size_t>(payload);
    if (codeLength > wire::kProductCodeField - 1)
        return -1;
    *type = wire::messageType(datagram, size);
    std::memcpy(code, text, codeLength);
    code[codeLength] = '\0';
    return 0;
}

} // namespace brelvo
