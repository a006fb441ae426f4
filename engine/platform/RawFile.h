// SPDX-License-Identifier: MIT
#pragma once

#include "platform/FileIdentity.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace brelvo {

// A file read as raw bytes, shared with other readers and writers.
class RawFile {
public:
    RawFile() = default;
    ~RawFile();
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    bool open(const std::string& path);
    // The file's length in bytes at this moment; 0 when not open.
    uint64_t length() const;
    // The open file's identity at this moment; empty when not open.
    std::optional<FileIdentity> identity() const;
    // Reads up to `count` bytes; returns how many arrived (short at the end
    // of the file or on an error).
    size_t read(void* buffer, size_t count);
    void close();

private:
    int fd_ = -1;
};

// Opens `path` read-only for a reader that needs a regular file (links
// followed); never blocks on a pipe or device. The descriptor, or -1 when
// nothing is there, it cannot be opened, or it is no regular file.
int openFileForReading(const std::string& path);

// Reads the whole file; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& bytes);

} // namespace brelvo
