// SPDX-License-Identifier: MIT
#pragma once
// Helpers shared by the Windows side of the platform layer only.

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>

namespace brelvo::win {

// The engine keeps paths and names in UTF-8; Windows takes them as UTF-16.
std::wstring widen(const std::string& utf8);
std::string narrow(const wchar_t* utf16, int length = -1);
inline std::string narrow(const std::wstring& utf16) { return narrow(utf16.c_str(), static_cast<int>(utf16.size())); }

// The errno value the engine's callers know for a Windows file error.
int errnoFromWin32(DWORD code);

// 100 ns since 1601 to nanoseconds since 1970.
inline int64_t unixNsFromFileTime(int64_t ticks) { return (ticks - 116444736000000000LL) * 100; }
inline int64_t fileTimeTicks(const FILETIME& t)
{
    return static_cast<int64_t>(static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime);
}

// Every file is opened so that others may read, write, rename or delete it meanwhile.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace brelvo::win
