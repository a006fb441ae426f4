// SPDX-License-Identifier: MIT
#include "platform/Terminal.h"

#include "platform/windows/WinSupport.h"

#include <cstdlib>
#include <cstring>
#include <io.h>

namespace brelvo {

namespace {

HANDLE consoleOf(int fd)
{
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) ? h : INVALID_HANDLE_VALUE;
}

} // namespace

bool isLiveTerminal(int fd)
{
    const char* term = std::getenv("TERM");
    if (term && std::strcmp(term, "dumb") == 0)
        return false;
    const HANDLE h = consoleOf(fd);
    DWORD mode = 0;
    // Windows 10's console understands the sequences once asked to.
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) &&
           SetConsoleMode(h, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool terminalSize(int fd, int* columns, int* rows)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const HANDLE h = consoleOf(fd);
    const bool known = h != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(h, &info) &&
                       info.srWindow.Right > info.srWindow.Left && info.srWindow.Bottom > info.srWindow.Top;
    *columns = known ? info.srWindow.Right - info.srWindow.Left + 1 : 80;
    *rows = known ? info.srWindow.Bottom - info.srWindow.Top + 1 : 24;
    return known;
}

} // namespace brelvo
