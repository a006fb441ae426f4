#include "server/FreeAddressPool.h"

namespace brelvo {

namespace {
int validCount(const FreeAddressPool& pool)
{
    if (pool.count <= 0)
        return 0;
    return pool.count < FreeAddressPool::kCapacity ? pool.count : FreeAddressPool::kCapacity;
}
} // namespace

uint32_t lendAddress(FreeAddressPool& pool)
{
    const int n = validCount(pool);
    for (int i = 0; i < n; ++i) {
        if (pool.lent[i] == 0) {
            pool.lent[i] = 1;
            return pool.addresses[i];
        }
    }
    return 0;
}

void returnAddress(FreeAddressPool& pool, uint32_t address)
{
    if (address == 0)
        return;
    const int n = validCount(pool);
    for (int i = 0; i < n; ++i) {
        if (pool.addresses[i] == address) {
            pool.lent[i] = 0;
            return;
        }
    }
}

void refillPool(FreeAddressPool& pool, const uint32_t* addresses, int count)
{
    pool.count = count;
    const int n = validCount(pool);
    for (int i = 0; i < n; ++i) {
        pool.addresses[i] = addresses[i];
        pool.lent[i] = 0;
    }
}

} // namespace brelvo
