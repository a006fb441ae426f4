// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace brelvo {

// The debug channel (ConsoleChannel::Debug), written by a thread of its own
// so that no caller waits for the sink; lines in order, none interleaved.
void debugOutput(const std::string& text);

} // namespace brelvo
