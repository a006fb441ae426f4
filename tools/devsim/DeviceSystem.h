// SPDX-License-Identifier: MIT
#pragma once
// What the simulator needs of the OS beyond the platform layer, with a side
// per OS (posix/, windows/) like the platform's own. DatagramReceiver and
// DatagramSender keep their system calls in the same two folders.

#include "platform/Socket.h"

#include <cstddef>
#include <cstdint>

namespace devsim {

// Readies a device's fresh UDP socket: non-blocking, a receive buffer for a
// burst of blocks, the kernel's receive times where it stamps them (true
// then).
bool prepareDeviceSocket(brelvo::SocketHandle s);

// The address (host order) a device's socket binds to. Linux delivers the
// broadcast Offer only to 0.0.0.0 and sends from `source` datagram by
// datagram; Windows has no per-datagram source but delivers an interface's
// broadcasts to a socket bound to its address.
uint32_t deviceBindAddress(uint32_t source);

// The process's CPU time so far, in seconds.
void processCpuSeconds(double& user, double& system);

// A hint that [p, p + size) be backed by large pages; costs only speed if
// not taken.
void adviseLargePages(void* p, size_t size);

} // namespace devsim
