// SPDX-License-Identifier: MIT
#include "server/FreeAddressPool.h"

#include <gtest/gtest.h>

using namespace brelvo;

// An address lent twice, or this machine's own, breaks two devices at once.
TEST(FreeAddressPool, LendsEachAddressOnceAndTakesItBackOnlyFromItsHolder)
{
    FreeAddressPool pool;
    const uint32_t found[] = {11, 12, 13, 14};
    refillPool(pool, found, 4, {12}); // 12 is this machine's own
    reserveAddress(pool, 13, 7);      // still held by a job of an earlier run
    EXPECT_EQ(freeAddresses(pool), 2);
    EXPECT_EQ(lendAddress(pool, 1, {11, 99}), 14u) << "11 is withheld (another tool offered it)";
    EXPECT_EQ(lendAddress(pool, 2, {14}), 11u);
    EXPECT_EQ(lendAddress(pool, 3), 0u) << "none left";
    returnAddress(pool, 11, 1); // not its holder
    returnAddress(pool, 13, 7);
    EXPECT_EQ(lendAddress(pool, 4, {13}), 0u);
    EXPECT_EQ(lendAddress(pool, 4), 13u);
    returnAddress(pool, 11, 2);
    EXPECT_EQ(lendAddress(pool, 5), 11u);
    EXPECT_EQ(freeAddresses(pool), 0);

    refillPool(pool, found, -1); // a sweep that could not ping
    EXPECT_EQ(lendAddress(pool, 6), 0u);
}
