#pragma once
// Small helpers shared by the benchmark programs.

#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace brelvo_bench {

// One "device N ..." summary line of brelvo-devsim as key=value pairs
// ("endpoint" holds the address:port word).
inline std::map<std::string, std::string> devsimLine(const std::string& output, int index)
{
    std::istringstream in(output);
    std::string prefix = "device " + std::to_string(index) + " ";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) != 0 || line.find(" result=") == std::string::npos)
            continue;
        std::map<std::string, std::string> kv;
        std::istringstream words(line.substr(prefix.size()));
        std::string w;
        words >> w;
        kv["endpoint"] = w;
        while (words >> w) {
            auto eq = w.find('=');
            if (eq != std::string::npos)
                kv[w.substr(0, eq)] = w.substr(eq + 1);
        }
        return kv;
    }
    return {};
}

// Resident set size of this process in bytes.
inline long long residentBytes()
{
    std::ifstream in("/proc/self/statm");
    long long pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * 4096;
}

} // namespace brelvo_bench
