// SPDX-License-Identifier: MIT
#include "server/FreeAddressPool.h"

#include <algorithm>

namespace brelvo {

namespace {
int validCount(const FreeAddressPool& pool)
{
    if (pool.count <= 0)
        return 0;
    return pool.count < FreeAddressPool::kCapacity ? pool.count : FreeAddressPool::kCapacity;
}
} // namespace

uint32_t lendAddress(FreeAddressPool& pool, uint64_t holder, const std::vector<uint32_t>& withheld)
{
    if (holder == 0)
        return 0;
    const int n = validCount(pool);
    for (int i = 0; i < n; ++i) {
        if (pool.lent[i] == 0 && std::find(withheld.begin(), withheld.end(), pool.addresses[i]) == withheld.end()) {
            pool.lent[i] = holder;
            return pool.addresses[i];
        }
    }
    return 0;
}

void returnAddress(FreeAddressPool& pool, uint32_t address, uint64_t holder)
{
    if (address == 0 || holder == 0)
        return;
    const int n = validCount(pool);
    for (int i = 0; i < n; ++i) {
        if (pool.addresses[i] == address) {
            if (pool.lent[i] == holder)
                pool.lent[i] = 0;
            return;
        }
    }
}

void reserveAddress(FreeAddressPool& pool, uint32_t address, uint64_t holder)
{
    if (address == 0 || holder == 0)
        return;
    const int n = validCount(pool);
    for (int i = 0; i < n; ++i) {
        if (pool.addresses[i] == address) {
            if (pool.lent[i] == 0)
                pool.lent[i] = holder;
            return;
        }
    }
}

void refillPool(FreeAddressPool& pool, const uint32_t* addresses, int count, const std::vector<uint32_t>& never)
{
    int kept = 0;
    for (int i = 0; i < count && kept < FreeAddressPool::kCapacity; ++i) {
        if (std::find(never.begin(), never.end(), addresses[i]) != never.end())
            continue;
        pool.addresses[kept] = addresses[i];
        pool.lent[kept] = 0;
        ++kept;
    }
    pool.count = count < 0 ? count : kept;
}

int freeAddresses(const FreeAddressPool& pool)
{
    const int n = validCount(pool);
    int free = 0;
    for (int i = 0; i < n; ++i)
        free += pool.lent[i] == 0 ? 1 : 0;
    return free;
}

} // namespace brelvo
