// SPDX-License-Identifier: MIT
#include "EngineConsoleMute.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// Present only in builds with a sanitizer.
extern "C" void __sanitizer_set_report_fd(void* fd) __attribute__((weak));

namespace brelvo_cli {

EngineConsoleMute::~EngineConsoleMute()
{
    if (!muted_)
        return;
    if (__sanitizer_set_report_fd)
        __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(2)));
    ::dup2(out_, 1);
    ::dup2(err_, 2);
    ::close(out_);
    ::close(err_);
}

bool EngineConsoleMute::start(std::string& error)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const int out = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    const int err = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (out < 0 || err < 0 || null < 0) {
        error = std::string("cannot set the engine's console aside: ") + std::strerror(errno);
        for (int fd : {out, err, null}) {
            if (fd >= 0)
                ::close(fd);
        }
        return false;
    }
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::close(null);
    out_ = out;
    err_ = err;
    muted_ = true;
    if (__sanitizer_set_report_fd)
        __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(err_)));
    return true;
}

} // namespace brelvo_cli
