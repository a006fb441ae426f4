// SPDX-License-Identifier: MIT
#include "platform/DirectorySearch.h"
#include "platform/posix/FileIdentityAt.h"

#include "platform/ErrorText.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>

namespace brelvo {

std::vector<DirectoryEntry> findEntries(const std::string& directory, const std::string& prefix)
{
    std::vector<DirectoryEntry> out;
    // Entries are named directory + "/" + name, so an empty directory text
    // means the file system's root, as the joined paths say.
    DIR* dir = ::opendir(directory.empty() ? "/" : directory.c_str());
    if (!dir)
        return out;
    const int dirFd = ::dirfd(dir);
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        if (!startsWithNoCase(name, prefix))
            continue;
        DirectoryEntry entry;
        entry.name = name;
        entry.path = directory + "/" + name;
        if (const std::optional<FileIdentity> id = fileIdentityAt(dirFd, e->d_name)) {
            entry.isDirectory = id->kind == FileKind::Directory;
            entry.identityKnown = true;
            entry.identity = *id;
        } else {
            entry.isDirectory = (e->d_type == DT_DIR);
        }
        out.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return out;
}

bool canListDirectory(const std::string& path, Error* error)
{
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        const int code = errno;
        return fail(error, code, errorTextEnglish(code));
    }
    ::closedir(dir);
    return true;
}

} // namespace brelvo
