// SPDX-License-Identifier: MIT
#include "platform/XdgPaths.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace brelvo {

namespace {

std::string absoluteVariable(const char* name)
{
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? std::string(value) : std::string();
}

std::string underHome(const char* variable, const char* fallback)
{
    std::string dir = absoluteVariable(variable);
    if (!dir.empty())
        return dir;
    const std::string home = homeDirectory();
    return home.empty() ? std::string() : (home == "/" ? std::string() : home) + fallback;
}

} // namespace

std::string homeDirectory()
{
    std::string home = absoluteVariable("HOME");
    if (!home.empty())
        return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (found && found->pw_dir && found->pw_dir[0] == '/')
        return found->pw_dir;
    return std::string();
}

std::string xdgDataHome() { return underHome("XDG_DATA_HOME", "/.local/share"); }

std::string xdgConfigHome() { return underHome("XDG_CONFIG_HOME", "/.config"); }

int makeDirectories(const std::string& path, unsigned mode, std::string* failedPath)
{
    auto fail = [&](int code, const std::string& at) {
        if (failedPath)
            *failedPath = at;
        return code;
    };
    if (path.empty())
        return fail(ENOENT, path);
    // Each prefix that ends before a '/' (and the whole path) in turn, so a
    // folder made by another process in between is simply found.
    size_t end = 0;
    while (end != std::string::npos) {
        end = path.find('/', end + 1);
        const std::string prefix = path.substr(0, end);
        if (prefix.empty() || prefix.back() == '/')
            continue; // "//" or a trailing '/'
        if (::mkdir(prefix.c_str(), static_cast<mode_t>(mode)) == 0)
            continue;
        const int code = errno;
        struct stat st{};
        if (::stat(prefix.c_str(), &st) != 0) // a dangling link says why here
            return fail(code == EEXIST ? errno : code, prefix);
        if (!S_ISDIR(st.st_mode))
            return fail(ENOTDIR, prefix);
    }
    return 0;
}

} // namespace brelvo
