// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace brelvo_test {

// Sends file descriptor 1 (printf and std::cout alike) to a file until stop()
// or destruction; text() reads what was written so far.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    void stop();
    std::string text() const;
    bool contains(const std::string& needle) const { return text().find(needle) != std::string::npos; }

private:
    std::string path_;
    int saved_ = -1;
};

} // namespace brelvo_test
