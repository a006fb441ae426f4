// SPDX-License-Identifier: MIT
#pragma once

#include "platform/FileIdentity.h"

#include <string>
#include <vector>

namespace brelvo {

struct DirectoryEntry {
    std::string name;
    std::string path;  // directory, '/', name
    bool isDirectory = false;
    // What the listing's own stat found (links followed); identityKnown is
    // false when the entry could not be examined (a link pointing nowhere).
    bool identityKnown = false;
    FileIdentity identity;
};

// Entries of `directory` whose names begin with `prefix`, letter case
// ignored; "." and ".." are left out. Sorted by name so that every run
// visits them in the same order: byte order, or on Windows NTFS's order
// (letter case ignored). An empty directory text lists the root (paths are
// directory + "/" + name, "\\" on Windows). Empty when the directory cannot
// be read. Each entry is examined once.
std::vector<DirectoryEntry> findEntries(const std::string& directory, const std::string& prefix);

// Whether this process may list the entries of the folder `path`: findEntries
// cannot tell an empty folder from one it may not read.
bool canListDirectory(const std::string& path, Error* error = nullptr);

} // namespace brelvo
