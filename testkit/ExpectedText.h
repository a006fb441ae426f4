// SPDX-License-Identifier: MIT
#pragma once
// Printed texts compared with an expected-output file, byte for byte;
// BRELVO_UPDATE_EXPECTED=1 rewrites the file instead.

#include "Files.h"

#include <cstdio>
#include <sstream>

namespace brelvo_test {

// `text` on one readable line: a backslash doubled, every byte outside
// printable ASCII as \xNN, so a control byte never hides in the file.
inline std::string visibleText(const std::string& text)
{
    std::string out;
    char hex[5];
    for (const unsigned char c : text)
        out += c == '\\' ? "\\\\" : c >= 0x20 && c < 0x7F ? std::string(1, char(c)) : (std::snprintf(hex, sizeof hex, "\\x%02x", c), hex);
    return out;
}

// "" when the file at `path` holds exactly `actual`; else its first
// differing line, expected and actual.
inline std::string expectedFileDiff(const std::string& path, const std::string& actual)
{
    const char* update = std::getenv("BRELVO_UPDATE_EXPECTED");
    if (update && std::string(update) == "1")
        return std::ofstream(std::filesystem::u8path(path), std::ios::binary) << actual ? "" : "cannot write " + path;
    const std::string expected = readText(path);
    std::istringstream e(expected), a(actual);
    for (int line = 1; expected != actual; ++line) {
        std::string le, la;
        if (!std::getline(e, le))
            le = "<end of file>";
        if (!std::getline(a, la))
            la = "<end of text>";
        if (le != la || e.eof() != a.eof())
            return path + ":" + std::to_string(line) + " differs (BRELVO_UPDATE_EXPECTED=1 rewrites it)\n  expected: " +
                   le + "\n    actual: " + la;
    }
    return "";
}

} // namespace brelvo_test
