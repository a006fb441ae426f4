// SPDX-License-Identifier: MIT
#pragma once
// Exact output kept in a file under the test folder's expected/, compared
// byte for byte; BRELVO_UPDATE_EXPECTED=1 rewrites the file instead.

#include "Files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace brelvo_test {

inline void expectTextFile(const std::string& name, const std::string& actual)
{
    const std::string path = std::string(BRELVO_EXPECTED_DIR) + "/" + name;
    const char* update = std::getenv("BRELVO_UPDATE_EXPECTED");
    if (update && std::string(update) == "1") {
        std::ofstream(std::filesystem::u8path(path), std::ios::binary) << actual;
        std::printf("rewrote %s\n", path.c_str());
        return;
    }
    const std::string expected = readText(path);
    if (expected == actual)
        return;
    // The first line that differs, as a reader looks for it.
    std::istringstream e(expected), a(actual);
    std::string want, got;
    int line = 1;
    for (;; ++line) {
        const bool moreWanted = bool(std::getline(e, want)), moreGot = bool(std::getline(a, got));
        if (!moreWanted || !moreGot || want != got)
            break;
    }
    ADD_FAILURE() << path << (expected.empty() ? " (missing or empty)" : "") << ":" << line
                  << ": first difference\n  expected: " << want << "\n  actual:   " << got
                  << "\n(BRELVO_UPDATE_EXPECTED=1 rewrites the file from what the code gives)";
}

} // namespace brelvo_test
