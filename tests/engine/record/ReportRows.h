// SPDX-License-Identifier: MIT
#pragma once
// Shared by the run report's tests: a job summary to write, and the report
// read back.

#include "Csv.h"
#include "EngineTestSupport.h"
#include "platform/AddressText.h"
#include "record/JobSummary.h"
#include "record/ReportWriter.h"

#include <mutex>

namespace brelvo_test {

// A row whose job id sits in blocks_resent, to tell rows apart.
inline brelvo::JobSummary summary(uint32_t id, const std::string& code = "ABCDEFG")
{
    brelvo::JobSummary s;
    s.jobId = id;
    s.startedMs = 1796607665123; // 2026-12-07T01:41:05.123Z
    s.finishedMs = s.startedMs + 12345;
    s.deviceAddress = brelvo::addressFromText("10.213.7.50");
    s.devicePort = brelvo::hostToNet16(6000);
    s.productCode = code;
    s.lentAddress = brelvo::addressFromText("10.213.7.200");
    s.imagePath = "/srv/fw/kvx_ABCDEFG_V2.bin";
    s.bytesSent = 1048576;
    s.checksum = 0xdeadbeef;
    s.checksumKnown = true;
    s.options = 1;
    s.optionsSent = true;
    s.resultCode = 9;
    s.blocksResent = id;
    s.seconds = 12.345;
    s.deviceMac = 0x02000ad50732;
    s.station = "bench-3";
    return s;
}

// The report's records; a file that is not well-formed CSV fails the test.
inline CsvRows reportRows(const std::string& path)
{
    CsvRows rows;
    EXPECT_TRUE(parseCsv(readText(path), &rows)) << readText(path);
    return rows;
}

// The blocks_resent cells of the data rows: which rows, in which order; a
// row of another width than the header's is torn.
inline std::vector<std::string> rowIds(const std::string& path)
{
    const CsvRows rows = reportRows(path);
    std::vector<std::string> ids;
    for (size_t r = 1; r < rows.size(); ++r)
        ids.push_back(rows[r].size() == rows[0].size() ? rows[r][12] : "torn");
    return ids;
}

// Problems told by a writer, from any thread.
struct ProblemLog {
    std::mutex mutex;
    struct Problem {
        std::string path;
        int code;
    };
    std::vector<Problem> seen;

    brelvo::ReportWriter::ProblemHandler handler()
    {
        return [this](const std::string& path, const brelvo::Error& error) {
            std::lock_guard<std::mutex> lock(mutex);
            seen.push_back(Problem{path, error.code});
        };
    }
    size_t count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return seen.size();
    }
};

} // namespace brelvo_test
