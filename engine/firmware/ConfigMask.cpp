// SPDX-License-Identifier: MIT
#include "firmware/ConfigMask.h"

namespace brelvo {

uint32_t loadWordLe(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void storeWordLe(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t sumWords(const uint8_t* data, size_t words)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < words; ++i)
        sum += loadWordLe(data + i * 4);
    return sum;
}

void maskWords(uint8_t* data, size_t firstWord, size_t endWord)
{
    for (size_t i = firstWord; i < endWord; ++i)
        storeWordLe(data + i * 4, loadWordLe(data + i * 4) ^ kConfigMask);
}

} // namespace brelvo
