// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace brelvo_test {

// True once a socket of this network namespace holds UDP `port` (IPv4),
// read from the kernel's table: binding the port to find out would race
// with its owner. The one way tests and benchmarks wait for a listener.
bool udpPortBound(uint16_t port);

} // namespace brelvo_test
