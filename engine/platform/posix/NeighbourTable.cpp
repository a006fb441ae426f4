// SPDX-License-Identifier: MIT
#include "platform/NeighbourTable.h"

#include "platform/ErrorText.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace brelvo {

namespace {

constexpr const char* kTablePath = "/proc/net/arp";

} // namespace

bool readNeighbourTable(std::vector<Neighbour>* out, Error* error)
{
    out->clear();
    const int fd = ::open(kTablePath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        return fail(error, code, std::string("cannot open ") + kTablePath + ": " + errorTextEnglish(code));
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int code = errno;
            ::close(fd);
            return fail(error, code, std::string("cannot read ") + kTablePath + ": " + errorTextEnglish(code));
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    *out = parseNeighbourTable(text);
    return true;
}

} // namespace brelvo
