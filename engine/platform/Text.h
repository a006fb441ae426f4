// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace brelvo {

// The 8-bit string helpers the engine uses.

// Up to `count` characters from `start`; fewer near the end, empty beyond.
std::string mid(const std::string& s, size_t start, size_t count = std::string::npos);
// Replaces every non-overlapping occurrence of `from`, left to right,
// letter case significant. Returns the number of replacements.
int replaceAll(std::string& s, const std::string& from, const std::string& to);
bool startsWith(const std::string& s, const std::string& prefix);
// Prefix test ignoring ASCII letter case.
bool startsWithNoCase(const std::string& s, const std::string& prefix);
// strtoul with base 0 and 32-bit results: leading white space skipped, an
// optional sign ('-' negates modulo 2^32), "0x" hexadecimal, leading 0
// octal, else decimal; stops at the first character that does not fit;
// a value beyond 32 bits gives 0xFFFFFFFF.
uint32_t parseUnsigned32(const std::string& text);

} // namespace brelvo

namespace brelvo {

// `s` with every control character (a line break, a tab, DEL) shown as
// '?', so that a file name fits on one line of a message.
std::string oneLine(const std::string& s);

} // namespace brelvo
