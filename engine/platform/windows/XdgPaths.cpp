// SPDX-License-Identifier: MIT
#include "platform/XdgPaths.h"

#include "platform/windows/WinSupport.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace brelvo {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// "C:\..." or "\\server\share\...": a path that does not depend on the
// current drive or folder.
bool isAbsolute(const std::string& p)
{
    if (p.size() >= 3 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':' && isSeparator(p[2]))
        return true;
    return p.size() >= 2 && isSeparator(p[0]) && isSeparator(p[1]);
}

std::string absoluteVariable(const char* name)
{
    const wchar_t* value = _wgetenv(win::widen(name).c_str());
    const std::string text = value ? win::narrow(value) : std::string();
    return isAbsolute(text) ? text : std::string();
}

std::string knownFolder(REFKNOWNFOLDERID id)
{
    wchar_t* path = nullptr;
    std::string out;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)) && path)
        out = win::narrow(path);
    CoTaskMemFree(path);
    return out;
}

// The XDG variables still count when set (a portable setup, a test that
// keeps its files apart); otherwise the user's own Windows folder.
std::string variableOrFolder(const char* variable, REFKNOWNFOLDERID id)
{
    const std::string dir = absoluteVariable(variable);
    return dir.empty() ? knownFolder(id) : dir;
}

} // namespace

std::string homeDirectory()
{
    const std::string home = absoluteVariable("USERPROFILE");
    return home.empty() ? knownFolder(FOLDERID_Profile) : home;
}

// %LOCALAPPDATA%: what a user's tool keeps stays on this machine.
std::string xdgDataHome() { return variableOrFolder("XDG_DATA_HOME", FOLDERID_LocalAppData); }

std::string xdgConfigHome() { return variableOrFolder("XDG_CONFIG_HOME", FOLDERID_RoamingAppData); }

int makeDirectories(const std::string& path, unsigned, std::string* failedPath)
{
    auto fail = [&](int code, const std::string& at) {
        if (failedPath)
            *failedPath = at;
        return code;
    };
    if (path.empty())
        return fail(ENOENT, path);
    // The drive ("C:\") or the share ("\\server\share\") is there or not;
    // folders are made below it.
    size_t end = 0;
    if (path.size() >= 2 && path[1] == ':')
        end = 2;
    else if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        end = path.find_first_of("\\/", 2);
        end = end == std::string::npos ? path.size() : path.find_first_of("\\/", end + 1);
        if (end == std::string::npos)
            return 0;
    }
    while (end != std::string::npos) {
        end = path.find_first_of("\\/", end + 1);
        const std::string prefix = path.substr(0, end);
        if (prefix.empty() || isSeparator(prefix.back()))
            continue;
        const std::wstring wide = win::widen(prefix);
        if (CreateDirectoryW(wide.c_str(), nullptr))
            continue;
        const DWORD why = GetLastError();
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return fail(win::errnoFromWin32(why == ERROR_ALREADY_EXISTS ? GetLastError() : why), prefix);
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return fail(ENOTDIR, prefix);
    }
    return 0;
}

} // namespace brelvo
