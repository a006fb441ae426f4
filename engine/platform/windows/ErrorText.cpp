// SPDX-License-Identifier: MIT
#include "platform/ErrorText.h"

#include "platform/windows/WinSupport.h"

#include <cstring>
#include <mutex>

namespace brelvo {

namespace {

// The system's English text even where Windows speaks another language;
// the English catalogue may be missing there, then a few codes this tool
// meets still read in words.
std::string systemText(int code)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                   nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                   reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n ? win::narrow(text, static_cast<int>(n)) : std::string();
    if (text)
        LocalFree(text);
    while (!out.empty() && (out.back() == ' ' || out.back() == '.' || out.back() == '\r' || out.back() == '\n'))
        out.pop_back();
    if (!out.empty())
        return out;
    switch (code) {
    case WSAEADDRINUSE: return "Only one usage of each socket address is normally permitted";
    case WSAEADDRNOTAVAIL: return "The requested address is not valid in its context";
    case WSAEACCES: return "An attempt was made to access a socket in a way forbidden by its access permissions";
    case WSAETIMEDOUT: return "The operation timed out";
    case WSAENETUNREACH: return "A socket operation was attempted to an unreachable network";
    case WSAEWOULDBLOCK: return "A non-blocking socket operation could not be completed immediately";
    case WSAEPROTONOSUPPORT: return "The requested protocol is not supported";
    case WSANOTINITIALISED: return "Windows Sockets are not started";
    default: return "Windows error " + std::to_string(code);
    }
}

} // namespace

std::string errorTextEnglish(int code)
{
    // Socket codes are Windows' own (10000 and up); the others are errno
    // values, whose texts the C runtime has only in English.
    if (code >= 10000)
        return systemText(code);
    static std::mutex m;
    std::lock_guard<std::mutex> lock(m);
    const char* text = std::strerror(code);
    if (!text || std::strncmp(text, "Unknown error", 13) == 0)
        return "error " + std::to_string(code);
    return text;
}

bool isAddressInUse(int code) { return code == WSAEADDRINUSE; }

} // namespace brelvo
