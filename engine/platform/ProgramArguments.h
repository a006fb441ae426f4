// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace brelvo {

// The program's arguments in UTF-8. On Windows they are read again in
// UTF-16 from the system: the C runtime's argv is in the ANSI code page,
// which turns a folder named in another script into question marks.
std::vector<std::string> programArguments(int argc, char** argv);

// Makes the console show the program's UTF-8 text as such (Windows; a
// no-op elsewhere, where terminals take UTF-8 already).
void useUtf8Console();

} // namespace brelvo
