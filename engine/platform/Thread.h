// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>
#include <thread>

namespace brelvo {

// A joinable thread. start() never throws: it returns -1 when the thread
// cannot be made (no memory, process limits).
class Thread {
public:
    // Called on a thread whose body threw, with the reason, before the
    // thread ends: the owner says so and cleans up what the body left.
    using Death = std::function<void(const std::string& why)>;

    Thread() = default;
    ~Thread();                          // detaches a thread still attached
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // `name` is said on standard error when a body throws and `died` is
    // missing or throws itself: no thread ends without a word.
    int start(std::function<void()> body, const char* name = "thread", Death died = {});
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
