// SPDX-License-Identifier: MIT
#include "platform/Terminal.h"

#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace brelvo {

bool isLiveTerminal(int fd)
{
    const char* term = std::getenv("TERM");
    return ::isatty(fd) && term && *term && std::strcmp(term, "dumb") != 0;
}

bool terminalSize(int fd, int* columns, int* rows)
{
    winsize size{};
    const bool known = ::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0;
    *columns = known ? size.ws_col : 80;
    *rows = known ? size.ws_row : 24;
    return known;
}

} // namespace brelvo
