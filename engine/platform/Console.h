// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace brelvo {

// The engine's console lines on standard output. Each call is one locked
// write, so lines of different threads never interleave.
void consoleWrite(const std::string& text);
// printf-style, then consoleWrite.
void consolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace brelvo
