// SPDX-License-Identifier: MIT
#include "platform/RawFile.h"


#include <cerrno>
#include <cstdint>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace brelvo {

RawFile::~RawFile() { close(); }

bool RawFile::open(const std::string& path)
{
    close();
    fd_ = openFileForReading(path);
    return fd_ >= 0;
}

uint64_t RawFile::length() const
{
    const std::optional<FileIdentity> id = descriptorIdentity(fd_);
    return id ? id->size : 0;
}

std::optional<FileIdentity> RawFile::identity() const { return descriptorIdentity(fd_); }

size_t RawFile::read(void* buffer, size_t count)
{
    if (fd_ < 0)
        return 0;
    size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < count) {
        // One call reads at most 1 GiB: the C library's count is 32 bits on Windows.
        const size_t chunk = count - done < (size_t(1) << 30) ? count - done : size_t(1) << 30;
        const auto n = ::read(fd_, p + done, static_cast<unsigned>(chunk));
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
