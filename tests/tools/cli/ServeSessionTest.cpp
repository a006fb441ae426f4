// SPDX-License-Identifier: MIT
// When serve releases finished jobs from the engine's table of 100.
#include "ServeSession.h"

#include <gtest/gtest.h>

using namespace brelvo_cli;

TEST(ServeSession, PruningKeepsRoomAndLingeringDevices)
{
    const struct {
        int ended, lingering, table;
        bool prune;
    } cases[] = {
        {0, 0, 0, false},  {0, 0, 100, false},                   // nothing finished
        {1, 0, 1, true},   {1, 0, 100, true},                    // as soon as a job ended
        {3, 1, 10, false}, {0, 2, 49, false},                    // a silent device may come back
        {0, 1, 50, true},  {5, 2, 50, true},  {0, 1, 100, true}, // the table fills: room first
    };
    for (const auto& c : cases)
        EXPECT_EQ(shouldPrune(c.ended, c.lingering, c.table), c.prune)
            << c.ended << " " << c.lingering << " " << c.table;

}
