// SPDX-License-Identifier: MIT
#include "Files.h"

#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace brelvo_test {

std::vector<uint8_t> readFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string readText(const std::string& path)
{
    const auto b = readFileBytes(path);
    return std::string(b.begin(), b.end());
}

std::string makeTemp(const std::string& tag, bool dir)
{
    const char* base = std::getenv("TMPDIR");
    std::string name = std::string(base && *base ? base : "/tmp") + "/brelvo-" + tag + "-XXXXXX";
    const int fd = dir ? (mkdtemp(name.data()) ? 0 : -1) : mkstemp(name.data());
    if (fd < 0)
        throw std::runtime_error("cannot make a temporary " + name);
    if (!dir)
        close(fd);
    return name;
}

std::vector<uint8_t> patternBytes(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    uint32_t x = seed ? seed : 1u;
    for (auto& b : v)
        x ^= x << 13, x ^= x >> 17, x ^= x << 5, b = uint8_t(x >> 24);
    return v;
}

uint32_t wordSum(const std::vector<uint8_t>& bytes)
{
    uint32_t s = 0;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
        s += uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8 | uint32_t(bytes[i + 2]) << 16 |
             uint32_t(bytes[i + 3]) << 24;
    return s;
}

} // namespace brelvo_test
