// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <thread>

namespace brelvo {

// A joinable thread. start() never throws: it returns -1 when the thread
// cannot be made (no memory, process limits).
class Thread {
public:
    Thread() = default;
    ~Thread();                          // detaches a thread still attached
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    int start(std::function<void()> body);
    // Waits for the thread to end; no effect when there is none or when
    // called from the thread itself.
    void join();
    void detach();
    bool joinable() const { return attached_; }
    bool isCurrent() const;

private:
    std::thread thread_;
    bool attached_ = false;
};

} // namespace brelvo
