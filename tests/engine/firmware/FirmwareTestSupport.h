// SPDX-License-Identifier: MIT
#pragma once
// Shared by the firmware tests: files with chosen times and odd entries.

#include "EngineTestSupport.h"

#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace brelvo_test {

// Gives `path` the modification time `seconds` after 2001-09-09: a time of
// our choosing, so a rewrite of the same length still changes what a stat
// sees even within one tick of the file system's clock.
inline void setModified(const std::string& path, int64_t seconds)
{
#ifdef _WIN32
    const HANDLE h = CreateFileW(std::filesystem::u8path(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    const int64_t ticks = (1000000000 + seconds) * 10000000LL + 116444736000000000LL; // 100 ns since 1601
    const FILETIME t{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const bool set = SetFileTime(h, nullptr, nullptr, &t);
    CloseHandle(h);
    ASSERT_TRUE(set) << path;
#else
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(1000000000 + seconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
#endif
}

// A link or a named pipe where the system makes them without rights
// (Windows asks an administrator for a link and has no named pipes in
// folders); false where it does not.
#ifdef _WIN32
constexpr bool kOddEntries = false;
inline bool makeLink(const std::string&, const std::string&) { return false; }
inline bool makePipe(const std::string&) { return false; }
#else
constexpr bool kOddEntries = true;
inline bool makeLink(const std::string& target, const std::string& path)
{
    return ::symlink(target.c_str(), path.c_str()) == 0;
}
inline bool makePipe(const std::string& path) { return ::mkfifo(path.c_str(), 0644) == 0; }
#endif

// Writes `text` to `name` in `dir` with a modification time never used before.
inline std::string writeDated(const TempDir& dir, const std::string& name, const std::string& text)
{
    static int64_t last = 0;
    const std::string path = dir.writeText(name, text);
    setModified(path, ++last);
    return path;
}

// `content` "/" makes a folder, "->x" a link to x, "|" a pipe; anything
// else is a file's text. Where links and pipes cannot be made, the text
// stands in.
inline void makeEntry(const TempDir& dir, const std::string& name, const std::string& content)
{
    const std::string path = dir.file(name);
    if (content == "/")
        ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::u8path(path)));
    else if (kOddEntries && content.rfind("->", 0) == 0)
        ASSERT_TRUE(makeLink(content.substr(2), path));
    else if (kOddEntries && content == "|")
        ASSERT_TRUE(makePipe(path));
    else
        writeDated(dir, name, content);
}

} // namespace brelvo_test
