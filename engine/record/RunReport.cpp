// SPDX-License-Identifier: MIT
#include "record/RunReport.h"

#include "platform/AddressText.h"
#include "platform/NeighbourTable.h"
#include "platform/WallClock.h"
#include "platform/XdgPaths.h"
#include "record/JobStatus.h"
#include "record/TextSafety.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace brelvo {

namespace {

constexpr unsigned kFolderMode = 0755;
constexpr unsigned kFileMode = 0644;
// More runs started within one second than anyone makes by hand.
constexpr int kMaxNameAttempts = 1000;

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string timeCell(int64_t unixMs) { return unixMs ? isoLocalTime(unixMs) : std::string(); }

} // namespace

RunReport::RunReport(Target target) : target_(std::move(target)) {}

std::string RunReport::defaultFolder()
{
    const std::string data = xdgDataHome();
    return data.empty() ? data : data + "/brelvo-tool/reports";
}

std::string RunReport::fileName(int64_t runStartMs, int attempt)
{
    std::string name = fileNameLocalTime(runStartMs);
    if (attempt > 1)
        name += "_" + std::to_string(attempt);
    return name + ".csv";
}

std::string RunReport::headerLine()
{
    return "started,finished,device,product_code,lent_address,image_file,bytes_sent,checksum,options,"
           "configuration_file,result_code,result_text,blocks_resent,seconds,device_mac,station\r\n";
}

std::string RunReport::rowLine(const JobSummary& s)
{
    char checksum[16] = "";
    if (s.checksumKnown)
        std::snprintf(checksum, sizeof checksum, "0x%08" PRIx32, s.checksum);
    char seconds[40] = "";
    if (std::isfinite(s.seconds))
        std::snprintf(seconds, sizeof seconds, "%.3f", s.seconds);
    std::string line;
    line.reserve(256);
    const auto cell = [&line](const std::string& text, bool last = false) {
        line += text;
        line += last ? "\r\n" : ",";
    };
    cell(timeCell(s.startedMs));
    cell(timeCell(s.finishedMs));
    cell(addressToText(s.deviceAddress) + ":" + std::to_string(netToHost16(s.devicePort)));
    cell(csvField(s.productCode));
    cell(s.lentAddress ? addressToText(s.lentAddress) : std::string());
    cell(csvField(s.imagePath));
    cell(std::to_string(s.bytesSent));
    cell(checksum);
    cell(s.optionsSent ? std::to_string(s.options) : std::string());
    cell(csvField(s.configPath));
    cell(std::to_string(s.resultCode));
    cell(csvField(statusRow(s.resultCode).english));
    cell(std::to_string(s.blocksResent));
    cell(seconds);
    cell(macText(s.deviceMac));
    cell(csvField(s.station), true);
    return line;
}

bool RunReport::failAt(const std::string& path, int code, const char* step, Error* error)
{
    failedPath_ = path;
    return fail(error, code, step);
}

bool RunReport::createInFolder(const std::string& folder, Error* error)
{
    std::string failedAt;
    if (const int code = makeDirectories(folder, kFolderMode, &failedAt))
        return failAt(failedAt, code, "making the report folder", error);
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const std::string path = folder + "/" + fileName(target_.runStartMs, attempt);
        const int code = file_.open(path, AppendFile::Mode::CreateNew, kFileMode);
        if (code == EEXIST)
            continue;
        if (code)
            return failAt(path, code, "creating the report file", error);
        path_ = path;
        // The new name itself must survive a power cut, not only the rows.
        (void)syncDirectory(folder);
        return true;
    }
    return failAt(folder, EEXIST, "every report name for this second is taken", error);
}

bool RunReport::reopen(Error* error)
{
    if (target_.path.empty()) {
        // Our own folder: make it again if it went away with the file.
        std::string failedAt;
        if (const int code = makeDirectories(folderOf(path_), kFolderMode, &failedAt))
            return failAt(failedAt, code, "making the report folder", error);
    }
    if (const int code = file_.open(path_, AppendFile::Mode::OpenOrCreate, kFileMode))
        return failAt(path_, code, "opening the report file", error);
    return true;
}

bool RunReport::open(Error* error)
{
    if (file_.isOpen()) {
        if (file_.stillAtPath())
            return true;
        file_.close(); // removed or renamed: rows written there would reach nobody
    }
    bool opened;
    if (!path_.empty()) {
        opened = reopen(error);
    } else if (!target_.path.empty()) {
        path_ = target_.path;
        opened = reopen(error);
    } else {
        const std::string folder = target_.folder.empty() ? defaultFolder() : target_.folder;
        opened = folder.empty() ? failAt("$HOME", ENOENT, "finding a home folder for the reports", error)
                                : createInFolder(folder, error);
    }
    if (!opened)
        return false;
    if (file_.size() == 0) {
        if (const int code = file_.append(headerLine())) {
            file_.close(); // the next try sees an empty file again
            return failAt(path_, code, "writing the header row", error);
        }
        lineEndOwed_ = false;
    } else {
        // A file cut off in mid-row (by a crash of another writer, or of
        // ours before the write was whole) gets its line ended first, so
        // our rows begin on lines of their own.
        const int last = file_.lastByte();
        lineEndOwed_ = last >= 0 && last != '\n';
    }
    return true;
}

bool RunReport::write(const JobSummary& summary, bool* landed, Error* error)
{
    if (landed)
        *landed = false;
    if (!open(error))
        return false;
    const std::string line = (lineEndOwed_ ? "\r\n" : "") + rowLine(summary);
    bool written = false;
    const int code = file_.append(line, &written);
    if (written)
        lineEndOwed_ = false;
    if (landed)
        *landed = written;
    if (code)
        return failAt(path_, code, written ? "syncing a row to disk" : "writing a row", error);
    return true;
}

void RunReport::close() { file_.close(); }

} // namespace brelvo
