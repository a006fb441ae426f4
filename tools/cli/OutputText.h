// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace brelvo_cli {

// File names, product codes and command lines come from outside and may hold
// any bytes. These keep them from steering a terminal or breaking JSON.

// Valid UTF-8 without control characters passes unchanged; control bytes,
// DEL and bytes that are not UTF-8 become \xNN, and a backslash \\.
std::string terminalSafe(const std::string& bytes);

// A JSON string literal, quotes included. Bytes that are not UTF-8 become
// U+FFFD.
std::string jsonString(const std::string& bytes);

} // namespace brelvo_cli
