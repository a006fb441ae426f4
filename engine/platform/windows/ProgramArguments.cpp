// SPDX-License-Identifier: MIT
#include "platform/ProgramArguments.h"

#include "platform/windows/WinSupport.h"

#include <shellapi.h>

namespace brelvo {

std::vector<std::string> programArguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return {argv, argv + argc};
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i)
        out.push_back(win::narrow(wide[i]));
    LocalFree(wide);
    return out;
}

void useUtf8Console() { SetConsoleOutputCP(CP_UTF8); }

} // namespace brelvo
