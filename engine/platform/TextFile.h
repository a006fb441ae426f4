// SPDX-License-Identifier: MIT
#pragma once

#include "platform/FileIdentity.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace brelvo {

// Reads a text file line by line; each line comes without its LF end and
// without the CRs before it. A last line without LF is still a line. Bytes
// are passed through as they are (NUL included). Reads in large blocks:
// firmware images of several MiB are scanned for their descriptor lines on
// every device request.
//
// A line of more than kMaxLineBytes (CRs included) is skipped unseen: the
// lines wanted here are short, and an image may be one line of a GiB.
class TextFile {
public:
    static constexpr size_t kMaxLineBytes = 64 * 1024;

    TextFile() = default;
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    bool open(const std::string& path);
    // The next line; false at the end of the file (or on a read error).
    bool readLine(std::string& line);
    // The next line without a copy: `*data` stays valid until the next
    // call or close().
    bool readLine(const char** data, size_t* length);
    void close();
    // The open file's identity at this moment; empty when not open.
    std::optional<FileIdentity> identity() const;

private:
    // Reads more after the unread bytes; false when nothing more came.
    bool fill();

    int fd_ = -1;
    std::vector<char> buffer_;  // larger than the longest line kept
    size_t begin_ = 0;          // first unread byte
    size_t end_ = 0;            // one past the last byte read
    bool atEnd_ = false;
};

} // namespace brelvo
