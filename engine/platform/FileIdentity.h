// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Error.h"

#include <cstdint>
#include <optional>
#include <string>

namespace brelvo {

enum class FileKind { Regular, Directory, Other };

// What tells one version of a file from another without reading it: the
// same device and inode (on Windows the volume serial and file index) with
// the same size and times is taken to be the same bytes. The change time is
// set by the system on every write, rename or time change and cannot be set
// back, so a file rewritten in place and given its old modification time
// still looks different.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    FileKind kind = FileKind::Other;

    bool operator==(const FileIdentity& o) const
    {
        return device == o.device && inode == o.inode && size == o.size && mtimeNs == o.mtimeNs &&
               ctimeNs == o.ctimeNs && kind == o.kind;
    }
    bool operator!=(const FileIdentity& o) const { return !(*this == o); }
    bool operator<(const FileIdentity& o) const;
};

// The identity of `path`, symbolic links followed; empty when the look-up
// fails, with its errno and text in `error`.
std::optional<FileIdentity> fileIdentity(const std::string& path, Error* error = nullptr);
// The identity of an open descriptor (the C library's, on every system).
std::optional<FileIdentity> descriptorIdentity(int fd);
// A failed look-up's errno that means nothing is there (or a link points nowhere).
bool isMissingFileError(int code);

// The file system's clock in nanoseconds since 1970, the clock file times
// are taken from.
int64_t wallClockNs();

// True when bytes read at `readStartNs` from a file of identity `id` can be
// trusted to stay what they were for as long as the identity stays the
// same. File times have a coarse grain (several milliseconds, more across
// a network), so a file changed again within the grain of its last change
// keeps its identity; a read made that close to the last change is
// trusted only once a later read confirms it.
bool identitySettled(const FileIdentity& id, int64_t readStartNs, int64_t settleNs);

} // namespace brelvo
