// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace brelvo {

// A file that only grows by whole records, each on disk before append()
// returns: one write per record, then fdatasync (FlushFileBuffers on
// Windows). A crash or power cut
// loses at most the record being written, and a record is never split
// between two writes. A write that falls short (disk full, file size
// limit) is cut back off the file, so no half record stays behind.
class AppendFile {
public:
    enum class Mode {
        CreateNew,    // fails with EEXIST when the name is taken
        OpenOrCreate, // appends to what is there
    };

    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // 0 or errno. A new file gets `permissions` less the umask.
    int open(const std::string& path, Mode mode, unsigned permissions = 0644);
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // The file's length now; 0 when it is not open or not a regular file.
    uint64_t size() const;
    // The file's last byte, or -1 when it is empty or cannot be read.
    int lastByte() const;

    // Writes `record` in one write() and syncs it. 0 or errno; a short
    // write is reported as ENOSPC once it has been cut back. A sync the
    // file does not support (a pipe, a terminal) is not a failure.
    // `written` tells whether the whole record reached the file, which is
    // also the case when only the sync failed: writing it again would
    // repeat it.
    int append(const std::string& record, bool* written = nullptr);

    // False when the path no longer names this file (removed, renamed,
    // replaced): what is appended then reaches nobody.
    bool stillAtPath() const;

    void close();

    // What append() syncs with (null: fdatasync, or FlushFileBuffers on
    // Windows), process-wide: a test can count the syncs, which nothing
    // else can see.
    using SyncFunction = int (*)(int fd);
    static void setSyncFunction(SyncFunction sync);

private:
    int fd_ = -1;
    std::string path_;
};

// Makes a new entry in `folder` last through a power cut. 0 or errno.
int syncDirectory(const std::string& folder);

} // namespace brelvo
