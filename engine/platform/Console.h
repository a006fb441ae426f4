// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>

namespace brelvo {

// The engine's console lines, and its debug channel (debugOutput).
enum class ConsoleChannel { Lines, Debug };

// Where both channels go. By default lines go to standard output and the
// debug channel to standard error, a piece the reader has no room for left
// out rather than waited for. The sink is called under the console's lock,
// one piece at a time, so pieces of different threads never interleave; it
// must not write to the console itself, nor wait for a reader.
using ConsoleSink = std::function<void(ConsoleChannel channel, const std::string& text)>;

// For the rest of the process, or until set again; empty: the default.
void setConsoleSink(ConsoleSink sink);

// A console line (or several, or part of one), as it is.
void consoleWrite(const std::string& text);
// printf-style, then consoleWrite.
void consolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Why the thread writing the debug channel failed (its lines are dropped
// since); empty while it works.
std::string consoleFailure();

} // namespace brelvo
