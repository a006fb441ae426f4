#pragma once

#include <cstddef>
#include <cstdint>

namespace brelvo {

// Parses an update request (header "upd:", type, big-endian payload length,
// then the product code). On success sets *type from byte 4 (signed) and
// copies the code, which ends after L bytes or at the first zero byte, into
// `code` (a zero-filled field of wire::kProductCodeField bytes) and returns 0.
// Returns -1 when an argument is missing, the magic is not "upd:", the
// datagram is shorter than its header, the payload runs past `received`, or
// the code would not fit in 63 characters. Nothing is written outside `code`.
int parseUpdateRequest(const uint8_t* datagram, int received, int* type, char* code);

} // namespace brelvo
