// SPDX-License-Identifier: MIT
#pragma once

#include "Files.h"

#include <fcntl.h>
#include <cstdio>
#include <iostream>

namespace brelvo_test {

// Sends file descriptor 1 (printf and std::cout alike) to a file until stop()
// or destruction; text() reads what was written so far.
class StdoutCapture {
public:
    StdoutCapture() : path_(makeTemp("stdout"))
    {
        flushBoth();
        const int fd = open(path_.c_str(), O_WRONLY);
        saved_ = dup(1), dup2(fd, 1), close(fd);
    }
    ~StdoutCapture() { stop(), unlink(path_.c_str()); }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    void stop()
    {
        flushBoth();
        if (saved_ >= 0)
            dup2(saved_, 1), close(saved_), saved_ = -1;
    }
    std::string text() const { return flushBoth(), readText(path_); }
    bool contains(const std::string& needle) const { return text().find(needle) != std::string::npos; }

private:
    static void flushBoth() { std::cout.flush(), std::fflush(stdout); }
    std::string path_;
    int saved_ = -1;
};

} // namespace brelvo_test
