// SPDX-License-Identifier: MIT
#include "StdoutCapture.h"

#include "Files.h"

#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <iostream>

namespace brelvo_test {

namespace {
void flushBoth() { std::cout.flush(), std::fflush(stdout); }
} // namespace

StdoutCapture::StdoutCapture() : path_(makeTemp("stdout"))
{
    flushBoth();
    const int fd = open(path_.c_str(), O_WRONLY);
    saved_ = dup(1), dup2(fd, 1), close(fd);
}

StdoutCapture::~StdoutCapture()
{
    stop();
    unlink(path_.c_str());
}

void StdoutCapture::stop()
{
    flushBoth();
    if (saved_ >= 0)
        dup2(saved_, 1), close(saved_), saved_ = -1;
}

std::string StdoutCapture::text() const
{
    flushBoth();
    return readText(path_);
}

} // namespace brelvo_test
