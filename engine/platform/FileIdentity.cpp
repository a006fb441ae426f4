// SPDX-License-Identifier: MIT
#include "platform/FileIdentity.h"

#include <cerrno>
#include <ctime>
#include <sys/stat.h>
#include <tuple>

#include "platform/FileStat.h"

namespace brelvo {

bool FileIdentity::operator<(const FileIdentity& o) const
{
    return std::tie(device, inode, size, mtimeNs, ctimeNs, kind) <
           std::tie(o.device, o.inode, o.size, o.mtimeNs, o.ctimeNs, o.kind);
}

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

bool descriptorIdentity(int fd, FileIdentity* out)
{
    struct stat st{};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return false;
    *out = identityFromStat(st);
    return true;
}

StatOutcome fileIdentity(const std::string& path, FileIdentity* out)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? StatOutcome::Missing : StatOutcome::Failed;
    *out = identityFromStat(st);
    return StatOutcome::Ok;
}

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
