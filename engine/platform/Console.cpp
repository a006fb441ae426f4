#include "platform/Console.h"
#include "platform/DebugOutput.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace brelvo {

namespace {

std::mutex& outputMutex()
{
    static std::mutex m;
    return m;
}

void writeAll(int fd, const std::string& text)
{
    std::lock_guard<std::mutex> lock(outputMutex());
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

} // namespace

void consoleWrite(const std::string& text) { writeAll(STDOUT_FILENO, text); }

void consolePrintf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n > 0) {
        std::vector<char> buf(static_cast<size_t>(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), format, args);
        consoleWrite(std::string(buf.data(), static_cast<size_t>(n)));
    }
    va_end(args);
}

void debugOutput(const std::string& text) { writeAll(STDERR_FILENO, text); }

} // namespace brelvo
