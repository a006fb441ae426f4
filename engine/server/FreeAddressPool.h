// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

namespace brelvo {

// Silent addresses of the local /24 found by the last sweep, each with the
// job it is lent to. Addresses in network byte order, in ascending host
// order. An address goes back to the pool only from the job that holds it,
// so a job of an earlier run can never free an address lent anew.
struct FreeAddressPool {
    static constexpr int kCapacity = 255;

    uint32_t addresses[kCapacity] = {};
    int32_t count = 0; // -1 after a failed sweep; either way, <= 0 means empty
    uint64_t lent[kCapacity] = {}; // the holder's job id; 0 while free
};

// The first entry neither lent nor in `withheld`, now lent to `holder` (not
// 0); 0 when there is none.
uint32_t lendAddress(FreeAddressPool& pool, uint64_t holder, const std::vector<uint32_t>& withheld = {});
// Frees `address` when `holder` holds it; anything else changes nothing.
void returnAddress(FreeAddressPool& pool, uint32_t address, uint64_t holder);
// Marks `address`, if the pool has it free, as held by `holder` (a job of an
// earlier run still using it).
void reserveAddress(FreeAddressPool& pool, uint32_t address, uint64_t holder);
// Replaces the pool's content with `count` addresses, none lent, leaving
// out every address in `never` (this machine's own).
void refillPool(FreeAddressPool& pool, const uint32_t* addresses, int count,
                const std::vector<uint32_t>& never = {});
// Entries not lent.
int freeAddresses(const FreeAddressPool& pool);

} // namespace brelvo
