// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

namespace brelvo {

// The configuration appended to an image is masked word by word with this
// constant; words are little-endian 32-bit values at offsets 0, 4, 8, ...
constexpr uint32_t kConfigMask = 0x5A3C96E1u;

uint32_t loadWordLe(const uint8_t* p);
void storeWordLe(uint8_t* p, uint32_t v);
// Sum modulo 2^32 of the first `words` words of `data`.
uint32_t sumWords(const uint8_t* data, size_t words);
// XORs words [firstWord, endWord) of `data` with kConfigMask.
void maskWords(uint8_t* data, size_t firstWord, size_t endWord);

} // namespace brelvo
