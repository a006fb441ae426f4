// SPDX-License-Identifier: MIT
#pragma once

#include "platform/AppendFile.h"
#include "platform/Error.h"
#include "record/JobSummary.h"

#include <cstdint>
#include <string>

namespace brelvo {

// The run report: one CSV row per device whose job ended, in a file the
// user keeps. RFC 4180, UTF-8 without a byte order mark, CRLF line ends
// (the line end RFC 4180 names, and the one every spreadsheet reads
// without asking). Columns, after a header row:
//   started, finished        ISO 8601 local time with offset
//   device                   a.b.c.d:port
//   product_code             through csvField
//   lent_address             empty when none was lent
//   image_file               through csvField
//   bytes_sent               decimal
//   checksum                 0x%08x; empty when unknown
//   options                  the option byte of End, decimal
//   configuration_file       through csvField; empty: none
//   result_code              the job's status code
//   result_text              its English status text
//   blocks_resent            decimal
//   seconds                  from accepted to ended, 3 decimals
//   device_mac               aa:bb:cc:dd:ee:ff; empty when not known
//   station                  the serving machine's host name, through csvField
// Columns are only ever added at the end: scripts read them by position.
// Each row goes to the file in one write() and is synced before the next,
// so a crash or power cut loses at most the row being written.
//
// Not thread-safe: one thread at a time (ReportWriter owns one for the
// engine).
class RunReport {
public:
    // Where the rows go. With `path` set, rows are appended to that file
    // (made when missing, its folder not); the header is written only when
    // it is new or empty. Otherwise a new file is made in `folder` (or in
    // defaultFolder() when that is empty too), named by the run's start in
    // local time, "2026-12-07_09-41-05.csv", then "..._2.csv" and on when
    // the name is taken: an existing file is never written to.
    struct Target {
        std::string folder;
        std::string path;
        int64_t runStartMs = 0; // Unix time in milliseconds
    };

    explicit RunReport(Target target);
    RunReport(const RunReport&) = delete;
    RunReport& operator=(const RunReport&) = delete;

    // $XDG_DATA_HOME/brelvo-tool/reports; empty when there is no home.
    static std::string defaultFolder();
    // A run's file name; attempt 1 is the plain name, 2 adds "_2", ...
    static std::string fileName(int64_t runStartMs, int attempt);
    // The header row and one job's row, each with its CRLF.
    static std::string headerLine();
    static std::string rowLine(const JobSummary& summary);

    // Makes or opens the file now, and again after it was removed or
    // renamed (the same name, a fresh header). A failure's code is an errno,
    // its text the step; failedPath() names the folder or file.
    bool open(Error* error = nullptr);
    // Opens when needed, then appends one row. `landed` is set when the row
    // reached the file, also when only its sync failed: it must not be
    // written again.
    bool write(const JobSummary& summary, bool* landed = nullptr, Error* error = nullptr);
    void close();

    // The file's path once it was made; empty before.
    const std::string& path() const { return path_; }
    const std::string& failedPath() const { return failedPath_; }

private:
    bool failAt(const std::string& path, int code, const char* step, Error* error);
    bool createInFolder(const std::string& folder, Error* error);
    bool reopen(Error* error);

    Target target_;
    std::string path_;
    AppendFile file_;
    bool lineEndOwed_ = false; // the file ends in a cut-off line
    std::string failedPath_;
};

} // namespace brelvo
