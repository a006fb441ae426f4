// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <thread>

namespace brelvo_test {

// Polls `pred` every `step` until it holds or `timeout` passes; its last
// answer. A safety net for things that happen on other threads, not a timing.
template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds timeout, std::chrono::milliseconds step = std::chrono::milliseconds(10))
{
    for (auto end = std::chrono::steady_clock::now() + timeout; !pred(); std::this_thread::sleep_for(step))
        if (std::chrono::steady_clock::now() >= end)
            return pred();
    return true;
}

} // namespace brelvo_test
