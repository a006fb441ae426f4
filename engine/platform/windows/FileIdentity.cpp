// SPDX-License-Identifier: MIT
#include "platform/FileIdentity.h"

#include "platform/ErrorText.h"
#include "platform/RawFile.h"
#include "platform/windows/FileHandle.h"
#include "platform/windows/WinSupport.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>

namespace brelvo {

namespace win {

std::optional<FileIdentity> handleIdentity(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info))
        return std::nullopt;
    FileIdentity id;
    id.device = info.dwVolumeSerialNumber;
    id.inode = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    id.size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    id.mtimeNs = unixNsFromFileTime(fileTimeTicks(info.ftLastWriteTime));
    // The change time moves on every write, rename or attribute change and
    // cannot be set back; where the file system keeps none, the last write
    // stands in.
    FILE_BASIC_INFO basic{};
    id.ctimeNs = GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) && basic.ChangeTime.QuadPart
                     ? unixNsFromFileTime(basic.ChangeTime.QuadPart)
                     : id.mtimeNs;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        id.kind = FileKind::Directory;
    else if (GetFileType(h) == FILE_TYPE_DISK && !(info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE))
        id.kind = FileKind::Regular;
    else
        id.kind = FileKind::Other;
    return id;
}

HANDLE openForAttributes(const std::string& path)
{
    // Backup semantics let a folder be opened too; links are followed.
    return CreateFileW(widen(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace win

std::optional<FileIdentity> fileIdentity(const std::string& path, Error* error)
{
    const HANDLE h = path.empty() ? INVALID_HANDLE_VALUE : win::openForAttributes(path);
    if (h == INVALID_HANDLE_VALUE) {
        const int code = path.empty() ? ENOENT : win::errnoFromWin32(GetLastError());
        fail(error, code, errorTextEnglish(code));
        return std::nullopt;
    }
    std::optional<FileIdentity> id = win::handleIdentity(h);
    CloseHandle(h);
    if (!id)
        fail(error, EIO, errorTextEnglish(EIO));
    return id;
}

std::optional<FileIdentity> descriptorIdentity(int fd)
{
    if (fd < 0)
        return std::nullopt;
    return win::handleIdentity(reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
}

bool isMissingFileError(int code) { return code == ENOENT || code == ENOTDIR; }

int64_t wallClockNs()
{
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return win::unixNsFromFileTime(win::fileTimeTicks(now));
}

int openFileForReading(const std::string& path)
{
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open; a pipe or
    // a device opens but is no disk file and is refused.
    const HANDLE h = CreateFileW(win::widen(path).c_str(), GENERIC_READ, win::kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    const std::optional<FileIdentity> id = win::handleIdentity(h);
    if (!id || id->kind != FileKind::Regular) {
        CloseHandle(h);
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd < 0)
        CloseHandle(h);
    return fd;
}

} // namespace brelvo
