// SPDX-License-Identifier: MIT
#include "platform/DirectorySearch.h"

#include "platform/ErrorText.h"
#include "platform/Text.h"
#include "platform/windows/FileHandle.h"

#include <algorithm>

namespace brelvo {

std::vector<DirectoryEntry> findEntries(const std::string& directory, const std::string& prefix)
{
    std::vector<DirectoryEntry> out;
    // Every name, filtered here: a wildcard would also match the short
    // (8.3) names Windows makes up for long ones.
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileExW(win::widen(directory + "\\*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return out;
    do {
        const std::string name = win::narrow(found.cFileName);
        if (name == "." || name == ".." || !startsWithNoCase(name, prefix))
            continue;
        DirectoryEntry entry;
        entry.name = name;
        entry.path = directory + "\\" + name;
        const HANDLE h = win::openForAttributes(entry.path);
        const std::optional<FileIdentity> id = win::handleIdentity(h);
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        if (id) {
            entry.isDirectory = id->kind == FileKind::Directory;
            entry.identityKnown = true;
            entry.identity = *id;
        } else {
            entry.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        }
        out.push_back(std::move(entry));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    // The listing order decides ties between matching images. It is NTFS's:
    // names compared as upper case UTF-16. A FAT stick or another system's
    // share (or Wine's host folders) would list in an order of their own;
    // sorting keeps every Windows machine choosing the same image.
    std::stable_sort(out.begin(), out.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
        const std::wstring wa = win::widen(a.name), wb = win::widen(b.name);
        return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()),
                                    TRUE) == CSTR_LESS_THAN;
    });
    return out;
}

bool canListDirectory(const std::string& path, Error* error)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileExW(win::widen(path + "\\*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD why = GetLastError();
        // A folder with nothing in it has still "." and ".."; this is a file.
        const int code = why == ERROR_FILE_NOT_FOUND ? ENOENT : why == ERROR_DIRECTORY ? ENOTDIR : win::errnoFromWin32(why);
        return fail(error, code, errorTextEnglish(code));
    }
    FindClose(search);
    return true;
}

} // namespace brelvo
