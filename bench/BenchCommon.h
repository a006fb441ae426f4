// SPDX-License-Identifier: MIT
#pragma once
// Small helpers shared by the benchmark programs.

#include <fstream>
#include <string>

namespace brelvo_bench {

// Resident set size of this process in bytes.
inline long long residentBytes()
{
    std::ifstream in("/proc/self/statm");
    long long pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * 4096;
}

} // namespace brelvo_bench
