// SPDX-License-Identifier: MIT
#pragma once
// Files and bytes for tests and benchmarks.

#include <filesystem>
#ifdef _WIN32
#include <process.h>
#include <random>
#else
#include <unistd.h>
#endif
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace brelvo_test {

// The whole file; empty when it cannot be read.
inline std::vector<uint8_t> readFileBytes(const std::string& path)
{
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string readText(const std::string& path)
{
    const auto b = readFileBytes(path);
    return std::string(b.begin(), b.end());
}

// What joins a folder and a name in the paths the system hands out.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// An empty file of our own under $TMPDIR (or /tmp; Windows: its temporary
// folder), or a folder when `dir`.
inline std::string makeTemp(const std::string& tag, bool dir = false)
{
#ifdef _WIN32
    static std::mt19937 random(std::random_device{}() ^ static_cast<unsigned>(_getpid()));
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path p = base / ("brelvo-" + tag + "-" + std::to_string(random()));
        std::error_code ec;
        if (dir ? std::filesystem::create_directory(p, ec)
                : !std::filesystem::exists(p, ec) && std::ofstream(p, std::ios::binary).good())
            return p.u8string();
    }
    throw std::runtime_error("cannot make a temporary " + tag);
#else
    const char* base = std::getenv("TMPDIR");
    std::string name = std::string(base && *base ? base : "/tmp") + "/brelvo-" + tag + "-XXXXXX";
    const int fd = dir ? (mkdtemp(name.data()) ? 0 : -1) : mkstemp(name.data());
    if (fd < 0)
        throw std::runtime_error("cannot make a temporary " + name);
    if (!dir)
        close(fd);
    return name;
#endif
}

// Deterministic pseudo-random bytes (xorshift): a failing offset is reproducible.
inline std::vector<uint8_t> patternBytes(size_t n, uint32_t seed = 0x12345678u)
{
    std::vector<uint8_t> v(n);
    uint32_t x = seed ? seed : 1u;
    for (auto& b : v)
        x ^= x << 13, x ^= x >> 17, x ^= x << 5, b = uint8_t(x >> 24);
    return v;
}

// Sum of the little-endian 32-bit words over the whole words of `bytes`.
inline uint32_t wordSum(const std::vector<uint8_t>& bytes)
{
    uint32_t s = 0;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
        s += uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8 | uint32_t(bytes[i + 2]) << 16 |
             uint32_t(bytes[i + 3]) << 24;
    return s;
}

} // namespace brelvo_test
