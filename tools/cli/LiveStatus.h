// SPDX-License-Identifier: MIT
#pragma once

#include "job/JobSnapshot.h"

#include <string>
#include <vector>

namespace brelvo_cli {

// The status block of `brelvo-cli serve` on a terminal: one line per device
// at work and a line of totals, redrawn in place below the event lines. The
// block is plain ASCII and every line is cut to the terminal's width less
// one column, so no line wraps and the cursor moves stay exact.
class LiveStatus {
public:
    struct Totals {
        int atWork = 0;
        int succeeded = 0;
        int failed = 0;
        int stopped = 0;
    };

    // The block for a terminal of `columns` x `rows`: the devices at work by
    // job id, as many as leave two rows free (then "... and N more"), and
    // the totals last.
    static std::vector<std::string> lines(const std::vector<brelvo::JobSnapshot>& atWork, const Totals& totals,
                                          int columns, int rows);
    // "job 12  10.213.7.50  ABCDEFG  sending  [#####.....]  45%", at most
    // `columns` - 1 characters.
    static std::string deviceLine(const brelvo::JobSnapshot& job, int columns);

    // The bytes that take the block drawn last away, print `above` (lines
    // that stay) and draw `block` below them.
    std::string frame(const std::vector<std::string>& above, const std::vector<std::string>& block);
    // Takes the block away; the cursor is left where it began.
    std::string clear();

private:
    int drawn_ = 0; // lines of the block on the screen, the cursor below them
};

} // namespace brelvo_cli
