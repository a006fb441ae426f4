// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace brelvo {

// The debug log channel: standard error, written by a thread of its own so
// that no caller ever waits for the reader; lines in order, none interleaved.
void debugOutput(const std::string& text);

} // namespace brelvo
