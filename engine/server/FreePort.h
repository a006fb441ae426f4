#pragma once

#include <cstdint>

namespace brelvo {

// A local port free at this moment, in network byte order: a UDP socket is
// bound to port 0 and the port the system chose is read back. 0xFFFF when
// no socket could be made, bound or asked.
uint16_t findFreePort();

} // namespace brelvo
