// SPDX-License-Identifier: MIT
#include "platform/TextFile.h"

#include "platform/RawFile.h"

#include <cerrno>
#include <cstring>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace brelvo {

namespace {
constexpr size_t kBufferSize = 256 * 1024;
static_assert(TextFile::kMaxLineBytes < kBufferSize, "a kept line and its LF fit the buffer");
} // namespace

TextFile::~TextFile() { close(); }

bool TextFile::open(const std::string& path, StopCheck stop)
{
    close();
    stop_ = std::move(stop);
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
    if (stop_ && stop_()) {
        atEnd_ = stopped_ = true;
        return false;
    }
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    for (;;) {
        const auto n = ::read(fd_, buffer_.data() + end_, static_cast<unsigned>(buffer_.size() - end_));
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

bool TextFile::readLine(const char** data, size_t* length, bool* cut)
{
    if (fd_ < 0)
        return false;
    if (cut)
        *cut = false;
    size_t scanned = 0;     // unread bytes known to hold no LF
    bool skipping = false;  // inside an over-long line: its bytes are dropped as they come
    for (;;) {
        const char* nl =
            static_cast<const char*>(std::memchr(buffer_.data() + begin_ + scanned, '\n', end_ - begin_ - scanned));
        size_t n = nl ? static_cast<size_t>(nl - (buffer_.data() + begin_)) : end_ - begin_;
        if (!nl || n > kMaxLineBytes) {
            if (n > kMaxLineBytes && !skipping) {
                skipping = true;
                head_.assign(buffer_.data() + begin_, kHeadBytes);
            }
        }
        if (!nl) {
            if (skipping) {
                begin_ = end_;
                n = 0;
            }
            scanned = n;
            if (fill())
                continue;
            if (n == 0 && !skipping)
                return false;
        }
        const char* start = buffer_.data() + begin_;  // fill() may have moved the bytes
        begin_ += nl ? n + 1 : n;
        if (skipping) {
            skipping = false;
            scanned = 0;
            if (!cut)
                continue;
            *cut = true;
            *data = head_.data();
            *length = head_.size();
            return true;
        }
        // A CR before the LF belongs to the line end, as text mode reads it.
        while (n > 0 && start[n - 1] == '\r')
            --n;
        *data = start;
        *length = n;
        return true;
    }
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
    begin_ = end_ = 0;
    atEnd_ = stopped_ = false;
    stop_ = nullptr;
}

std::optional<FileIdentity> TextFile::identity() const { return descriptorIdentity(fd_); }

} // namespace brelvo
