// SPDX-License-Identifier: MIT
#pragma once
// Files and bytes for tests and benchmarks.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brelvo_test {

// The whole file; empty when it cannot be read.
std::vector<uint8_t> readFileBytes(const std::string& path);
std::string readText(const std::string& path);

// An empty file of our own under $TMPDIR (or /tmp), or a folder when `dir`.
std::string makeTemp(const std::string& tag, bool dir = false);

// Deterministic pseudo-random bytes (xorshift): a failing offset is reproducible.
std::vector<uint8_t> patternBytes(size_t n, uint32_t seed = 0x12345678u);

// Sum of the little-endian 32-bit words over the whole words of `bytes`.
uint32_t wordSum(const std::vector<uint8_t>& bytes);

} // namespace brelvo_test
