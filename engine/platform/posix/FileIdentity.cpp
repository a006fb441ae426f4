// SPDX-License-Identifier: MIT
#include "platform/FileIdentity.h"

#include "platform/posix/FileIdentityAt.h"

#include "platform/ErrorText.h"
#include "platform/RawFile.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brelvo {

namespace {

FileIdentity identityFromStat(const struct stat& st)
{
    FileIdentity id;
    id.device = static_cast<uint64_t>(st.st_dev);
    id.inode = static_cast<uint64_t>(st.st_ino);
    id.size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    id.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.ctimeNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    id.kind = S_ISREG(st.st_mode) ? FileKind::Regular : S_ISDIR(st.st_mode) ? FileKind::Directory : FileKind::Other;
    return id;
}

} // namespace

std::optional<FileIdentity> fileIdentity(const std::string& path, Error* error)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        const int code = errno;
        fail(error, code, errorTextEnglish(code));
        return std::nullopt;
    }
    return identityFromStat(st);
}

std::optional<FileIdentity> fileIdentityAt(int dirFd, const char* name)
{
    struct stat st{};
    if (::fstatat(dirFd, name, &st, 0) != 0)
        return std::nullopt;
    return identityFromStat(st);
}

std::optional<FileIdentity> descriptorIdentity(int fd)
{
    struct stat st{};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return std::nullopt;
    return identityFromStat(st);
}

bool isMissingFileError(int code) { return code == ENOENT || code == ENOTDIR; }

int64_t wallClockNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int openFileForReading(const std::string& path)
{
    // Not blocking while opening: a named pipe without a writer would hold
    // the caller (the request listener) for good. Only regular files are
    // kept: a pipe, a terminal or a device such as /dev/zero never ends or
    // never answers, and a folder is not a file to read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

} // namespace brelvo
