// SPDX-License-Identifier: MIT
// serve's output lines: text names jobs by id, JSON is one valid object a
// line in the engine's shape, whatever the devices and paths hold.
#include "JsonCheck.h"
#include "ServeLines.h"
#include "record/JobStatus.h"
#include "platform/AddressText.h"
#include "record/EventFormat.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>

using namespace brelvo_cli;

namespace {

const int64_t kWhen = 1796607665123;  // 2026-12-07T01:41:05.123Z

brelvo::JobSnapshot sending(const std::string& product)
{
    brelvo::JobSnapshot s;
    s.id = 17;
    s.status = brelvo::SendingBlocks;
    s.progress = 40;
    s.deviceAddress = brelvo::addressFromText("10.213.7.50");
    s.devicePort = brelvo::hostToNet16(40000);
    s.productCode = product;
    return s;
}

} // namespace

TEST(ServeLines, TextNamesJobsByIdJsonIsTheEngines)
{
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    brelvo::Event e;
    e.kind = brelvo::EventKind::RequestMatched;
    e.wallTimeMs = kWhen;
    e.jobId = 17;
    e.row = 3;
    e.address = brelvo::addressFromText("10.213.7.50");
    e.port = brelvo::hostToNet16(40000);
    e.productCode = "ABC\x1b[2J";
    e.path = "/fw/kvx_ABC.bin";
    EXPECT_EQ(eventLine(e, LineForm::Log),
              "2026-12-07T01:41:05.123+00:00 job 17 10.213.7.50 asked for ABC\\x1b[2J: sending /fw/kvx_ABC.bin");
    EXPECT_EQ(eventLine(e, LineForm::Json), brelvo::formatEventJson(e));  // the row stays in JSON
    e.kind = brelvo::EventKind::JobResult;
    e.code = brelvo::DeviceCheckFailed;
    EXPECT_EQ(eventLine(e, LineForm::Terminal), "01:41:05 job 17 10.213.7.50: Verification Failed!");
    e.kind = brelvo::EventKind::StopRequested;
    e.jobId = 0;
    EXPECT_EQ(eventLine(e, LineForm::Log).substr(30), "Stop: 0 jobs asked to end");  // no job: no "job 0"

    EXPECT_EQ(progressLine(sending("ABCDEFG"), kWhen, LineForm::Log),
              "2026-12-07T01:41:05.123+00:00 job 17 10.213.7.50: sending, 40% acknowledged");
    EXPECT_EQ(progressLine(sending("ABCDEFG"), kWhen, LineForm::Json),
              "{\"time\":\"2026-12-07T01:41:05.123+00:00\",\"event\":\"progress\",\"severity\":\"info\",\"job\":17,"
              "\"device\":\"10.213.7.50:40000\",\"code\":5,\"status\":\"Sending Data\",\"value\":40}");

    ServeEnd end;
    end.reason = EndReason::Signal;
    end.signal = SIGTERM;
    end.succeeded = 2;
    end.stopped = 1;
    end.report = "/r \"1\".csv";
    EXPECT_EQ(endLine(end, kWhen, LineForm::Log),
              "2026-12-07T01:41:05.123+00:00 Serving ended, stopped by SIGTERM: 2 succeeded, 0 failed, 1 stopped; "
              "report /r \"1\".csv; exit 0");
    EXPECT_EQ(endLine(end, kWhen, LineForm::Json),
              "{\"time\":\"2026-12-07T01:41:05.123+00:00\",\"event\":\"serve_ended\",\"severity\":\"info\","
              "\"reason\":\"signal\",\"signal\":\"SIGTERM\",\"succeeded\":2,\"failed\":0,\"stopped\":1,"
              "\"report\":\"/r \\\"1\\\".csv\",\"report_complete\":true,\"exit\":0}");
    end.reason = EndReason::DeviceLimit;
    end.deviceLimit = 1;
    end.failed = 1;
    end.exitCode = 1;
    end.reportComplete = false;
    EXPECT_EQ(endLine(end, 0, LineForm::Log).substr(30),
              "Serving ended, 1 device reached a result (--devices): 2 succeeded, 1 failed, 1 stopped; "
              "report /r \"1\".csv (rows missing); exit 1");
    end.reason = EndReason::Idle;
    end.idleSeconds = 30;
    EXPECT_NE(endLine(end, 0, LineForm::Log).find("no device at work for 30 seconds (--idle-exit)"), std::string::npos);
    EXPECT_NE(endLine(end, 0, LineForm::Json).find("\"severity\":\"failure\",\"reason\":\"idle\",\"succeeded\""),
              std::string::npos);

    EXPECT_EQ(startFailureText("UDP port 3281 cannot be bound: Address already in use", EADDRINUSE),
              "UDP port 3281 cannot be bound: Address already in use (another copy of the tool or another "
              "program holds it; see `ss -ulpn 'sport = :3281'`)");
    EXPECT_EQ(startFailureText("no thread could be started for the listener", 0),
              "no thread could be started for the listener");
    EXPECT_EQ(signalName(SIGINT) + "," + signalName(SIGHUP), "SIGINT,SIGHUP");
    EXPECT_EQ(signalName(SIGUSR1), "signal " + std::to_string(SIGUSR1));
}

TEST(ServeLines, EveryLineIsOneJsonObject)
{
    brelvo_test::JsonCheck json;
    ServeEnd end;
    end.report = "\xff\x01\x1b\xe2\x80\xae/a\nb";
    for (const std::string& line : {endLine(end, 0, LineForm::Json), reportLine(end.report, 0, LineForm::Json),
                                    droppedLine(12, 0, LineForm::Json),
                                    progressLine(sending("\xff"), 0, LineForm::Json)}) {
        std::string error;
        EXPECT_TRUE(json.object(line, &error)) << error << ": " << line;
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
    // What the check itself refuses, so that a pass means something.
    for (const char* bad : {"", "{", "{\"a\":1,}", "{\"a\":01}", "{\"a\":\"\x01\"}", "{\"a\":\"\\x\"}",
                            "{\"a\":\"\\ud800\"}", "{\"a\":\"\\udc00\"}", "{\"a\":1}{", "[1]", "{\"a\":1,\"a\":2}",
                            "{\"a\":\"\xff\"}", "{\"a\":\"\xc0\xaf\"}", "{\"a\":\"\xed\xa0\x80\"}", "{\"a\":tru}",
                            "{\"a\":1.}", "{\"a\":-}", "{\"a\":1e}", "{\"a\" 1}", "{\"a\":[1,]}"})
        EXPECT_FALSE(json.object(bad)) << bad;
    EXPECT_TRUE(json.object("{\"a\":[1,-0.5e+3,{\"b\":null}],\"c\":\"\\ud83d\\udcf7\xf0\x9f\x93\xb7\",\"d\":true}"));
    EXPECT_EQ(json.fields["d"], "true");
}
