// SPDX-License-Identifier: MIT
#include "platform/AppendFile.h"

#include "platform/windows/FileHandle.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <io.h>

namespace brelvo {

namespace {

HANDLE handleOf(int fd) { return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

std::atomic<AppendFile::SyncFunction> g_sync{nullptr};

} // namespace

void AppendFile::setSyncFunction(SyncFunction sync) { g_sync = sync; }

AppendFile::~AppendFile() { close(); }

int AppendFile::open(const std::string& path, Mode mode, unsigned)
{
    close();
    // Append-only access makes each write land at the end, as O_APPEND does;
    // others may read the file meanwhile. Permissions are the folder's.
    const HANDLE h = CreateFileW(win::widen(path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                 win::kShareAll, nullptr, mode == Mode::CreateNew ? CREATE_NEW : OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return win::errnoFromWin32(GetLastError());
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_APPEND | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return EMFILE;
    }
    fd_ = fd;
    path_ = path;
    return 0;
}

uint64_t AppendFile::size() const
{
    const std::optional<FileIdentity> id = win::handleIdentity(handleOf(fd_));
    return id && id->kind == FileKind::Regular ? id->size : 0;
}

int AppendFile::lastByte() const
{
    const uint64_t length = size();
    if (length == 0)
        return -1;
    const HANDLE reader = CreateFileW(win::widen(path_).c_str(), GENERIC_READ, win::kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (reader == INVALID_HANDLE_VALUE)
        return -1;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(length - 1);
    at.OffsetHigh = static_cast<DWORD>((length - 1) >> 32);
    unsigned char byte = 0;
    DWORD n = 0;
    const bool ok = ReadFile(reader, &byte, 1, &n, &at) && n == 1;
    CloseHandle(reader);
    return ok ? byte : -1;
}

int AppendFile::append(const std::string& record, bool* written)
{
    if (written)
        *written = false;
    const HANDLE h = handleOf(fd_);
    if (h == INVALID_HANDLE_VALUE)
        return EBADF;
    if (record.empty())
        return 0;
    const uint64_t before = size();
    DWORD n = 0;
    if (!WriteFile(h, record.data(), static_cast<DWORD>(record.size()), &n, nullptr) && n == 0)
        return win::errnoFromWin32(GetLastError());
    if (n != record.size()) {
        // Take the fragment back only when nobody else appended meanwhile;
        // append-only access cannot cut, a second handle can.
        if (size() == before + n) {
            const HANDLE cutter = ReOpenFile(h, GENERIC_WRITE, win::kShareAll, 0);
            if (cutter != INVALID_HANDLE_VALUE) {
                FILE_END_OF_FILE_INFO end{};
                end.EndOfFile.QuadPart = static_cast<LONGLONG>(before);
                SetFileInformationByHandle(cutter, FileEndOfFileInfo, &end, sizeof end);
                CloseHandle(cutter);
            }
        }
        return ENOSPC;
    }
    if (written)
        *written = true;
    if (const SyncFunction sync = g_sync.load())
        return sync(fd_) != 0 && errno != EINVAL && errno != EROFS ? errno : 0;
    // A console or a pipe has nothing to flush to a disk.
    if (!FlushFileBuffers(h) && GetFileType(h) == FILE_TYPE_DISK)
        return win::errnoFromWin32(GetLastError());
    return 0;
}

bool AppendFile::stillAtPath() const
{
    const std::optional<FileIdentity> mine = win::handleIdentity(handleOf(fd_));
    if (!mine)
        return false;
    const HANDLE named = win::openForAttributes(path_);
    const std::optional<FileIdentity> there = win::handleIdentity(named);
    if (named != INVALID_HANDLE_VALUE)
        CloseHandle(named);
    return there && there->device == mine->device && there->inode == mine->inode;
}

void AppendFile::close()
{
    if (fd_ >= 0)
        ::_close(fd_);
    fd_ = -1;
}

int syncDirectory(const std::string&)
{
    // NTFS journals a new folder entry itself; Windows cannot flush a folder.
    return 0;
}

} // namespace brelvo
