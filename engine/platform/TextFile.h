// SPDX-License-Identifier: MIT
#pragma once

#include "platform/FileIdentity.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brelvo {

// Asked between the chunks of a long read: true abandons it.
using StopCheck = std::function<bool()>;

// Reads a text file line by line; each line comes without its LF end and
// without the CRs before it. A last line without LF is still a line. Bytes
// are passed through as they are (NUL included). Reads in large blocks:
// firmware images of several MiB are scanned for their descriptor lines on
// every device request.
//
// A line of more than kMaxLineBytes (CRs included) is skipped unseen, or
// seen by its first kHeadBytes only: the lines wanted here are short, and an
// image may be one line of a GiB.
class TextFile {
public:
    static constexpr size_t kMaxLineBytes = 64 * 1024;
    static constexpr size_t kHeadBytes = 64;

    TextFile() = default;
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // `stop`, when set, is asked before each block is read.
    bool open(const std::string& path, StopCheck stop = {});
    // The next line; false at the end of the file (or on a read error).
    bool readLine(std::string& line);
    // The next line without a copy: `*data` stays valid until the next
    // call or close(). With `cut`, an over-long line comes too, as its first
    // kHeadBytes, and `*cut` says which it was.
    bool readLine(const char** data, size_t* length, bool* cut = nullptr);
    void close();
    // The read ended because `stop` said so.
    bool stopped() const { return stopped_; }
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
    bool stopped_ = false;
    StopCheck stop_;
    std::string head_;          // of the over-long line being read
};

} // namespace brelvo
