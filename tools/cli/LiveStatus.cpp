// SPDX-License-Identifier: MIT
#include "LiveStatus.h"

#include "platform/AddressText.h"
#include "record/JobStatus.h"

#include <algorithm>

namespace brelvo_cli {

namespace {

constexpr size_t kProductWidth = 16;

// Product codes come from the network: printable ASCII passes, every other
// byte shows as '?', so the line's width is its length.
std::string asciiProduct(const std::string& code)
{
    std::string out;
    for (char c : code.substr(0, kProductWidth))
        out += c >= 0x20 && c < 0x7F ? c : '?';
    if (code.size() > kProductWidth)
        out.back() = '~';
    return out.empty() ? "-" : out;
}

std::string phaseWord(int status)
{
    const brelvo::StatusRow& row = brelvo::statusRow(status);
    return row.atWork ? row.atWork : row.english;
}

std::string fit(std::string line, int columns)
{
    const size_t width = static_cast<size_t>(std::max(columns - 1, 1));
    if (line.size() > width)
        line.resize(width);
    return line;
}

} // namespace

std::string LiveStatus::deviceLine(const brelvo::JobSnapshot& job, int columns)
{
    std::string line = "job " + std::to_string(job.id) + "  " + brelvo::addressToText(job.deviceAddress) + "  " +
                       asciiProduct(job.productCode) + "  " + phaseWord(job.status);
    if (job.status == brelvo::SendingBlocks || job.status == brelvo::DeviceWriting) {
        const int percent = std::min(std::max(job.progress, 0), 100);
        const std::string number = std::to_string(percent) + "%";
        // "  [" bar "]", then the number right-aligned in six columns.
        const int room = columns - 1 - static_cast<int>(line.size()) - 4 - 6;
        const int bar = std::min(room, 30);
        if (bar >= 5) {
            const int full = bar * percent / 100;
            line += "  [" + std::string(static_cast<size_t>(full), '#') +
                    std::string(static_cast<size_t>(bar - full), '.') + "]";
        }
        line += std::string(number.size() < 4 ? 6 - number.size() : 2, ' ') + number;
    }
    return fit(line, columns);
}

std::vector<std::string> LiveStatus::lines(const std::vector<brelvo::JobSnapshot>& atWork, const Totals& totals,
                                           int columns, int rows)
{
    std::vector<brelvo::JobSnapshot> jobs = atWork;
    std::sort(jobs.begin(), jobs.end(),
              [](const brelvo::JobSnapshot& a, const brelvo::JobSnapshot& b) { return a.id < b.id; });
    // Two rows stay free: the totals and the line the cursor waits on.
    const size_t room = static_cast<size_t>(std::max(rows - 2, 1));
    std::vector<std::string> out;
    const size_t shown = jobs.size() <= room ? jobs.size() : room - 1;
    for (size_t i = 0; i < shown; ++i)
        out.push_back(deviceLine(jobs[i], columns));
    if (shown < jobs.size())
        out.push_back(fit("... and " + std::to_string(jobs.size() - shown) + " more at work", columns));
    out.push_back(fit(std::to_string(totals.atWork) + " at work, " + std::to_string(totals.succeeded) +
                          " succeeded, " + std::to_string(totals.failed) + " failed, " +
                          std::to_string(totals.stopped) + " stopped  (Ctrl-C stops)",
                      columns));
    return out;
}

std::string LiveStatus::frame(const std::vector<std::string>& above, const std::vector<std::string>& block)
{
    std::string out = clear();
    for (const std::string& line : above)
        out += line + "\n";
    for (const std::string& line : block)
        out += line + "\n";
    drawn_ = static_cast<int>(block.size());
    return out;
}

std::string LiveStatus::clear()
{
    std::string out = "\r";
    if (drawn_ > 0)
        out += "\x1b[" + std::to_string(drawn_) + "A";
    out += "\x1b[J";
    drawn_ = 0;
    return out;
}

} // namespace brelvo_cli
