// SPDX-License-Identifier: MIT
#include "platform/FileStatus.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace brelvo {

FileStatus fileStatus(const std::string& path)
{
    FileStatus out;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        out.error = errno;
        return out;
    }
    out.exists = true;
    out.isRegular = S_ISREG(st.st_mode);
    out.isDirectory = S_ISDIR(st.st_mode);
    out.size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    return out;
}

bool canListDirectory(const std::string& path, int* error)
{
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        if (error)
            *error = errno;
        return false;
    }
    ::closedir(dir);
    return true;
}

} // namespace brelvo
