// SPDX-License-Identifier: MIT
#pragma once

namespace brelvo {

// Whether descriptor `fd` is a terminal that takes the escape sequences of
// a live status block: TERM set and not "dumb", or on Windows a console
// that accepts virtual terminal sequences (switched on here).
bool isLiveTerminal(int fd);
// The terminal's columns and rows; false, with 80 x 24, when unknown.
bool terminalSize(int fd, int* columns, int* rows);

} // namespace brelvo
