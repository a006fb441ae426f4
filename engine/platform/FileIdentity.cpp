// SPDX-License-Identifier: MIT
#include "platform/FileIdentity.h"

#include "platform/ErrorText.h"

#include <cerrno>
#include <ctime>
#include <sys/stat.h>
#include <tuple>

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

bool FileIdentity::operator<(const FileIdentity& o) const
{
    return std::tie(device, inode, size, mtimeNs, ctimeNs, kind) <
           std::tie(o.device, o.inode, o.size, o.mtimeNs, o.ctimeNs, o.kind);
}

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

bool identitySettled(const FileIdentity& id, int64_t readStartNs, int64_t settleNs)
{
    return readStartNs - id.ctimeNs >= settleNs;
}

} // namespace brelvo
