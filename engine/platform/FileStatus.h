// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace brelvo {

// What the file system says about a path, following symbolic links.
struct FileStatus {
    bool exists = false;
    bool isRegular = false;
    bool isDirectory = false;
    uint64_t size = 0;
    int error = 0; // errno of the failed look-up when !exists
};

FileStatus fileStatus(const std::string& path);

// True when `path` is a folder whose entries this process may list; the
// errno otherwise through `error`.
bool canListDirectory(const std::string& path, int* error);

} // namespace brelvo
