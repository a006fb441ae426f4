// SPDX-License-Identifier: MIT
#include "platform/TextFile.h"

#include "platform/FileStat.h"
#include "platform/RawFile.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace brelvo {

namespace {
constexpr size_t kBufferSize = 256 * 1024;
} // namespace

TextFile::~TextFile() { close(); }

bool TextFile::open(const std::string& path)
{
    close();
    fd_ = openFileForReading(path);
    if (fd_ < 0)
        return false;
    buffer_.resize(kBufferSize);
    return true;
}

bool TextFile::fill()
{
    if (fd_ < 0 || atEnd_)
        return false;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    for (;;) {
        const ssize_t n = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
        if (n > 0) {
            end_ += static_cast<size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // End of file, or the file went away under us: what was read stands.
        atEnd_ = true;
        return false;
    }
}

bool TextFile::readLine(const char** data, size_t* length)
{
    if (fd_ < 0)
        return false;
    size_t scanned = 0;
    const char* nl = nullptr;
    bool spilled = false;
    for (;;) {
        nl = static_cast<const char*>(std::memchr(buffer_.data() + begin_ + scanned, '\n', end_ - begin_ - scanned));
        if (nl)
            break;
        scanned = end_ - begin_;
        if (end_ == buffer_.size() && begin_ == 0) {
            // Longer than the buffer: keep what we have and go on reading.
            if (!spilled)
                longLine_.clear();
            longLine_.append(buffer_.data(), end_);
            spilled = true;
            end_ = 0;
            scanned = 0;
        }
        if (!fill())
            break;
    }
    const char* start = buffer_.data() + begin_;
    size_t n = nl ? static_cast<size_t>(nl - start) : end_ - begin_;
    if (!nl && !spilled && n == 0)
        return false;
    begin_ = nl ? begin_ + n + 1 : end_;
    if (spilled) {
        longLine_.append(start, n);
        start = longLine_.data();
        n = longLine_.size();
    }
    // A CR before the LF belongs to the line end, as text mode reads it.
    while (n > 0 && start[n - 1] == '\r')
        --n;
    *data = start;
    *length = n;
    return true;
}

bool TextFile::readLine(std::string& line)
{
    const char* data = nullptr;
    size_t length = 0;
    if (!readLine(&data, &length)) {
        line.clear();
        return false;
    }
    line.assign(data, length);
    return true;
}

void TextFile::close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    std::vector<char>().swap(buffer_);
    std::string().swap(longLine_);
    begin_ = end_ = 0;
    atEnd_ = false;
}

} // namespace brelvo

namespace brelvo {

bool TextFile::identity(FileIdentity* out) const { return descriptorIdentity(fd_, out); }

} // namespace brelvo
