// SPDX-License-Identifier: MIT
#pragma once
// Shared by the firmware tests: files with chosen times, odd entries, and
// the plain walk the index must agree with.

#include "EngineTestSupport.h"
#include "firmware/FirmwareDescriptor.h"
#include "platform/DirectorySearch.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace brelvo_test {

// Gives `path` the modification time `seconds` after 2001-09-09: a time of
// our choosing, so a rewrite of the same length still changes what a stat
// sees even within one tick of the file system's clock.
inline void setModified(const std::string& path, int64_t seconds)
{
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(1000000000 + seconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// Writes `text` to `name` in `dir` with a modification time never used before.
inline std::string writeDated(const TempDir& dir, const std::string& name, const std::string& text)
{
    static int64_t last = 0;
    const std::string path = dir.writeText(name, text);
    setModified(path, ++last);
    return path;
}

// `content` "/" makes a folder, "->x" a link to x, "|" a pipe; anything
// else is a file's text.
inline void makeEntry(const TempDir& dir, const std::string& name, const std::string& content)
{
    const std::string path = dir.file(name);
    if (content == "/")
        ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    else if (content.rfind("->", 0) == 0)
        ASSERT_EQ(::symlink(content.substr(2).c_str(), path.c_str()), 0);
    else if (content == "|")
        ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    else
        writeDated(dir, name, content);
}

// Every kvx entry in name order, matched by its name, then by its own
// product= line in place of it; the last match wins.
inline std::string scanForFirmware(const std::string& dir, const std::string& code)
{
    std::string chosen;
    for (const brelvo::DirectoryEntry& e : brelvo::findEntries(dir, "kvx")) {
        if (e.isDirectory)
            continue;
        std::string served = e.name.size() > 4 ? e.name.substr(4, 7) : "";
        if (served == code)
            chosen = e.path;
        const auto lines = brelvo::readFirmwareDescriptor(e.path);
        if (lines && lines->hasProduct && !lines->productCut)
            served = lines->product;
        if (served == code)
            chosen = e.path;
    }
    for (size_t at = 0; (at = chosen.find("-ver.bin", at)) != std::string::npos; at += 4)
        chosen.replace(at, 8, ".bin");
    return chosen;
}

} // namespace brelvo_test
