#pragma once

#include <cstdint>

namespace brelvo {

// Silent addresses of the local /24 found by the last sweep, each with a
// lent flag. Addresses in network byte order, in ascending host order.
struct FreeAddressPool {
    static constexpr int kCapacity = 255;

    uint32_t addresses[kCapacity] = {};
    int32_t count = 0; // -1 after a failed sweep; either way, <= 0 means empty
    uint32_t lent[kCapacity] = {};
};

// The first entry not lent, now marked lent; 0 when there is none.
uint32_t lendAddress(FreeAddressPool& pool);
// Clears the lent flag of the first entry equal to `address`; an address
// of 0 or one not in the pool changes nothing.
void returnAddress(FreeAddressPool& pool, uint32_t address);
// Replaces the pool's content with `count` addresses, none lent.
void refillPool(FreeAddressPool& pool, const uint32_t* addresses, int count);

} // namespace brelvo
