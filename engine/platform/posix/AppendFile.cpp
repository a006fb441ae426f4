// SPDX-License-Identifier: MIT
#include "platform/AppendFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brelvo {

namespace {

std::atomic<AppendFile::SyncFunction> g_sync{nullptr};

} // namespace

void AppendFile::setSyncFunction(SyncFunction sync) { g_sync = sync; }

AppendFile::~AppendFile() { close(); }

int AppendFile::open(const std::string& path, Mode mode, unsigned permissions)
{
    close();
    int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY;
    if (mode == Mode::CreateNew)
        flags |= O_EXCL;
    int fd;
    do
        fd = ::open(path.c_str(), flags, static_cast<mode_t>(permissions));
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return errno;
    fd_ = fd;
    path_ = path;
    return 0;
}

uint64_t AppendFile::size() const
{
    struct stat st{};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return static_cast<uint64_t>(st.st_size);
}

int AppendFile::lastByte() const
{
    const uint64_t length = size();
    if (length == 0)
        return -1;
    // The descriptor is write-only; a second one reads the tail.
    const int reader = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (reader < 0)
        return -1;
    unsigned char byte = 0;
    const ssize_t n = ::pread(reader, &byte, 1, static_cast<off_t>(length - 1));
    ::close(reader);
    return n == 1 ? byte : -1;
}

int AppendFile::append(const std::string& record, bool* written)
{
    if (written)
        *written = false;
    if (fd_ < 0)
        return EBADF;
    if (record.empty())
        return 0;
    struct stat before{};
    const bool regular = ::fstat(fd_, &before) == 0 && S_ISREG(before.st_mode);
    ssize_t n;
    do
        n = ::write(fd_, record.data(), record.size());
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno;
    if (static_cast<size_t>(n) != record.size()) {
        // Take the fragment back only when nobody else appended meanwhile.
        struct stat after{};
        if (regular && ::fstat(fd_, &after) == 0 && after.st_size == before.st_size + n)
            (void)::ftruncate(fd_, before.st_size);
        return ENOSPC;
    }
    if (written)
        *written = true;
    const SyncFunction sync = g_sync.load();
    if ((sync ? sync(fd_) : ::fdatasync(fd_)) != 0 && errno != EINVAL && errno != EROFS)
        return errno;
    return 0;
}

bool AppendFile::stillAtPath() const
{
    struct stat mine{}, named{};
    if (fd_ < 0 || ::fstat(fd_, &mine) != 0)
        return false;
    if (::stat(path_.c_str(), &named) != 0)
        return false;
    return mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

void AppendFile::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

int syncDirectory(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int result = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return result;
}

} // namespace brelvo
