// SPDX-License-Identifier: MIT
#include "ServeOutput.h"

#include "platform/Terminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace brelvo_cli {

namespace {

constexpr int64_t kRedrawMs = 250;

} // namespace

ServeOutput::ServeOutput(int fd, int errFd, Mode mode)
    : fd_(fd),
      errFd_(errFd),
      mode_(mode),
      form_(mode == Mode::Json ? LineForm::Json : mode == Mode::Live ? LineForm::Terminal : LineForm::Log)
{
}

ServeOutput::Mode ServeOutput::choose(int fd, bool json)
{
    if (json)
        return Mode::Json;
    return brelvo::isLiveTerminal(fd) ? Mode::Live : Mode::Text;
}

void ServeOutput::line(const std::string& text)
{
    if (mode_ == Mode::Live)
        waiting_.push_back(text);
    else
        write(text + "\n");
}

void ServeOutput::status(const std::vector<std::string>& block, int64_t nowMs, bool force)
{
    if (mode_ != Mode::Live || (!force && nowMs - lastDrawMs_ < kRedrawMs))
        return;
    lastDrawMs_ = nowMs;
    write(block_.frame(waiting_, block));
    waiting_.clear();
}

void ServeOutput::finish()
{
    if (mode_ != Mode::Live)
        return;
    write(block_.frame(waiting_, {}));
    waiting_.clear();
    // Whatever comes after the block is gone is written as it comes.
    mode_ = Mode::Text;
}

void ServeOutput::terminalSize(int* columns, int* rows) const
{
    brelvo::terminalSize(fd_, columns, rows);
}

void ServeOutput::write(const std::string& bytes)
{
    if (failed_)
        return;
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const auto n = ::write(fd_, p, static_cast<unsigned>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Serving goes on: the run report keeps every device.
            failed_ = true;
            const std::string text = std::string("brelvo-cli: serve: cannot write to standard output: ") +
                                     std::strerror(n < 0 ? errno : EIO) +
                                     "; serving goes on, the run report keeps every device\n";
            const auto ignored = ::write(errFd_, text.data(), static_cast<unsigned>(text.size()));
            (void)ignored;
            return;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

} // namespace brelvo_cli
