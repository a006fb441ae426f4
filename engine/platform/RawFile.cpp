// SPDX-License-Identifier: MIT
#include "platform/RawFile.h"


#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brelvo {

RawFile::~RawFile() { close(); }

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

bool RawFile::open(const std::string& path)
{
    close();
    fd_ = openFileForReading(path);
    return fd_ >= 0;
}

uint64_t RawFile::length() const
{
    struct stat st{};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_size < 0)
        return 0;
    return static_cast<uint64_t>(st.st_size);
}

std::optional<FileIdentity> RawFile::identity() const { return descriptorIdentity(fd_); }

size_t RawFile::read(void* buffer, size_t count)
{
    if (fd_ < 0)
        return 0;
    size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < count) {
        ssize_t n = ::read(fd_, p + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void RawFile::close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool readWholeFile(const std::string& path, std::string& bytes)
{
    RawFile f;
    if (!f.open(path))
        return false;
    const uint64_t len = f.length();
    if (len > static_cast<uint64_t>(SIZE_MAX / 2))
        return false;
    try {
        bytes.assign(static_cast<size_t>(len), '\0');
    } catch (...) {
        return false;
    }
    return f.read(&bytes[0], bytes.size()) == bytes.size();
}

} // namespace brelvo
