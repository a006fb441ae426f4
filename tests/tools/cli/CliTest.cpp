// brelvo-cli's parts without the program: its command line, its output of
// hostile texts, the tally that decides serve's exit code, and serve's lines,
// progress, status block and pruning rule.
#include "CommandLine.h"
#include "FindingOutput.h"
#include "JsonCheck.h"
#include "LiveStatus.h"
#include "OutputText.h"
#include "ProgressLog.h"
#include "RunServe.h"
#include "ServeLines.h"
#include "ServeOptions.h"
#include "ServeSession.h"
#include "ServeTally.h"
#include "job/JobStatus.h"
#include "platform/AddressText.h"
#include "record/EventFormat.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>

using namespace brelvo_cli;

namespace {

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out{"brelvo-cli"};
    size_t at = 0;
    while (at < line.size()) {
        const size_t end = line.find(' ', at);
        out.push_back(line.substr(at, end - at));
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return out;
}

} // namespace

TEST(CommandLine, AcceptedLines)
{
    CommandLine cl;
    std::string error;
    ASSERT_TRUE(parseCommandLine(words("check --address 10.0.0.1 --firmware /fw"), cl, error)) << error;
    EXPECT_EQ(cl.action, CommandLine::Action::Check);
    EXPECT_EQ(cl.check.address, "10.0.0.1");
    EXPECT_EQ(cl.check.firmwareDir, "/fw");
    EXPECT_TRUE(cl.check.configPath.empty());
    EXPECT_FALSE(cl.check.json);

    // Short forms, "=" forms, options after operands' place, the last of a repeated option.
    ASSERT_TRUE(parseCommandLine(words("check -a 1.2.3.4 -f/fw --config=c.bin --json --address=5.6.7.8"), cl, error))
        << error;
    EXPECT_EQ(cl.check.address, "5.6.7.8");
    EXPECT_EQ(cl.check.firmwareDir, "/fw");
    EXPECT_EQ(cl.check.configPath, "c.bin");
    EXPECT_TRUE(cl.check.json);

    ASSERT_TRUE(parseCommandLine(words("serve --firmware /fw --erase --no-update-boot --devices 12 --idle-exit 30 "
                                       "--report /r.log --address 10.0.0.1 --json"),
                                 cl, error))
        << error;
    EXPECT_EQ(cl.action, CommandLine::Action::Serve);
    EXPECT_EQ(cl.serve.address, "10.0.0.1");
    EXPECT_TRUE(cl.serve.erase);
    EXPECT_FALSE(cl.serve.updateBoot);
    EXPECT_EQ(cl.serve.devices, 12);
    EXPECT_EQ(cl.serve.idleExitSeconds, 30);
    EXPECT_EQ(cl.serve.reportPath, "/r.log");
    EXPECT_TRUE(cl.serve.json);
    EXPECT_EQ(serveWriteOptions(cl.serve), 2);

    ASSERT_TRUE(parseCommandLine(words("serve -a 10.0.0.1 -f /fw"), cl, error));
    EXPECT_EQ(cl.serve.devices, 0);
    EXPECT_EQ(cl.serve.idleExitSeconds, 0);
    EXPECT_EQ(serveWriteOptions(cl.serve), brelvo::OptionUpdateBoot);
    cl.serve.erase = true;
    EXPECT_EQ(serveWriteOptions(cl.serve), brelvo::OptionUpdateBoot | brelvo::OptionEraseBoot);

    // Help and version win over everything else, also over missing options.
    for (const char* line : {"--help", "-h", "check --help", "serve -a 1 -h", "serve --devices 2 --help"}) {
        ASSERT_TRUE(parseCommandLine(words(line), cl, error)) << line;
        EXPECT_EQ(cl.action, CommandLine::Action::Help) << line;
    }
    ASSERT_TRUE(parseCommandLine(words("--version"), cl, error));
    EXPECT_EQ(cl.action, CommandLine::Action::Version);
    ASSERT_TRUE(parseCommandLine(words("serve --version"), cl, error));
    EXPECT_EQ(cl.action, CommandLine::Action::Version);
    EXPECT_EQ(versionText(), "brelvo-cli 2.0.0");
}

// Every rejected line names what is at fault.
TEST(CommandLine, RejectedLinesNameTheFault)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "no command given"},
        {"frob", "unknown command 'frob'"},
        {"--address 1 check", "unknown option '--address' (options come after the command"},
        {"-a 1 check", "unknown option '-a'"},
        {"check", "--address is required"},
        {"check -a 1", "--firmware is required"},
        {"check -f /fw", "--address is required"},
        {"check -a 1 -f /fw stray", "unexpected argument 'stray'"},
        {"check -a 1 -f /fw --erase", "'--erase' belongs to serve, not check"},
        {"check -a 1 -f /fw --devices 3", "'--devices' belongs to serve"},
        {"check -a 1 -f /fw --bogus=3", "unknown option '--bogus'"},
        {"check -a 1 -f /fw -z", "unknown option '-z'"},
        {"check -a 1 -f /fw --json=yes", "option '--json' takes no value"},
        {"check -a 1 --firmware", "option '--firmware' needs a value"},
        {"check -f /fw -a", "option '-a' needs a value"},
        {"check --address= -f /fw", "--address wants an IPv4 address of this machine, not an empty text"},
        {"check -a 1 -f /fw --config=", "--config wants a file, not an empty text"},
        {"serve -a 1 -f /fw --report=", "--report wants a file"},
        {"serve -a 1 -f /fw --devices 0", "--devices wants a whole number from 1 to 1000000, not '0'"},
        {"serve -a 1 -f /fw --devices -3", "not '-3'"},
        {"serve -a 1 -f /fw --devices 0x10", "not '0x10'"},
        {"serve -a 1 -f /fw --devices 1000001", "not '1000001'"},
        {"serve -a 1 -f /fw --devices 99999999999999999999", "not '99999999999999999999'"},
        {"serve -a 1 -f /fw --devices= ", "--devices wants"},
        {"serve -a 1 -f /fw --idle-exit 2.5", "--idle-exit wants whole seconds from 1 to 31536000, not '2.5'"},
        {"serve -a 1 -f /fw --idle-exit 31536001", "not '31536001'"},
        {"serve -a 1 -f /fw --idle-exit", "option '--idle-exit' needs a value"},
    };
    for (const auto& c : cases) {
        CommandLine cl;
        std::string error;
        EXPECT_FALSE(parseCommandLine(words(c.first), cl, error)) << c.first;
        EXPECT_NE(error.find(c.second), std::string::npos) << c.first << " gave: " << error;
    }
}

TEST(OutputText, HostileBytesNeitherSteerATerminalNorBreakJson)
{
    const struct {
        std::string in, terminal, json;
    } cases[] = {
        {"kvx_DEMOCAM.bin", "kvx_DEMOCAM.bin", "\"kvx_DEMOCAM.bin\""},
        {"固件/kvx", "固件/kvx", "\"固件/kvx\""},
        {"a\x1b[2Jb", "a\\x1B[2Jb", "\"a\\u001b[2Jb\""},
        {"line\nnext\r\t", "line\\x0Anext\\x0D\\x09", "\"line\\nnext\\r\\t\""},
        {std::string("nul\0x", 5), "nul\\x00x", "\"nul\\u0000x\""},
        {"q\"b\\", "q\"b\\\\", "\"q\\\"b\\\\\""},
        {"\x7f", "\\x7F", "\"\\u007f\""},
        {"\xc2\x9b" "31m", "\\xC2\\x9B31m", "\"\xc2\x9b" "31m\""},   // C1 control: escaped for terminals only
        {"\xff\xfe", "\\xFF\\xFE", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
        {"\xc0\xaf", "\\xC0\\xAF", "\"\xef\xbf\xbd\xef\xbf\xbd\""},   // overlong '/'
        {"\xed\xa0\x80", "\\xED\\xA0\\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""}, // surrogate
        {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
        {"end\xe4\xbd", "end\\xE4\\xBD", "\"end\xef\xbf\xbd\xef\xbf\xbd\""}, // cut short
        {"\xf0\x9f\x93\xb7", "\xf0\x9f\x93\xb7", "\"\xf0\x9f\x93\xb7\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(terminalSafe(c.in), c.terminal) << c.in;
        EXPECT_EQ(jsonString(c.in), c.json) << c.in;
    }
}

TEST(FindingOutput, TextJsonAndExitCode)
{
    using brelvo::Finding;
    using brelvo::FindingId;
    using brelvo::Severity;
    Finding held;
    held.severity = Severity::Failure;
    held.id = FindingId::PortInUse;
    held.args = {{"port", "3281"}, {"holders", "pid 7 (e\x1b]0;x\x07vil)"}, {"pid", "7"},
                 {"process", "e\x1b]0;x\x07vil"}, {"uid", "0"}, {"self", "no"}};
    held.details = {"pid 7: e\"vil --flag\n"};
    const std::string text = findingAsText(held);
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    EXPECT_EQ(text.find('\x07'), std::string::npos);
    EXPECT_EQ(text.rfind("FAIL  UDP port 3281 is held by pid 7 (e\\x1B]0;x\\x07vil)  [port-in-use]\n", 0), 0u) << text;
    EXPECT_NE(text.find("\n      fix: end the other program (kill 7)"), std::string::npos) << text;

    const std::string json = findingAsJson(held);
    EXPECT_EQ(json.find('\n'), std::string::npos);
    EXPECT_EQ(json.rfind("{\"severity\":\"failure\",\"id\":\"port-in-use\",\"message\":", 0), 0u) << json;
    EXPECT_NE(json.find("\"args\":{\"port\":\"3281\",\"holders\":\"pid 7 (e\\u001b]0;x\\u0007vil)\""),
              std::string::npos) << json;
    EXPECT_NE(json.find("\"details\":[\"pid 7: e\\\"vil --flag\\n\"]}"), std::string::npos) << json;

    Finding ok;
    Finding warn;
    warn.severity = Severity::Warning;
    warn.id = FindingId::FolderEmpty;
    EXPECT_EQ(checkExitCode({}), 0);
    EXPECT_EQ(checkExitCode({ok}), 0);
    EXPECT_EQ(checkExitCode({ok, warn}), 1);
    EXPECT_EQ(checkExitCode({warn, held, ok}), 2);
    EXPECT_EQ(summaryAsText({ok}), "check: no problems found\n");
    EXPECT_EQ(summaryAsText({warn, ok}), "check: 1 warning: devices may not be served as expected\n");
    EXPECT_EQ(summaryAsText({warn, held, held}), "check: 2 failures, 1 warning: a run would fail\n");
    EXPECT_EQ(checkAsJson({ok, warn}, "2.0.0").substr(checkAsJson({ok, warn}, "2.0.0").rfind("\n],")),
              "\n],\"summary\":{\"failures\":0,\"warnings\":1,\"info\":1,\"exit\":1}}\n");
}

TEST(ServeTally, ResultsLimitsAndIdleTime)
{
    ServeTally none(0, 0, 1000);
    EXPECT_EQ(none.exitCode(), 0);          // nobody came: nothing failed
    EXPECT_FALSE(none.finished(1u << 30, 0)); // no limit, no idle exit: runs until stopped

    ServeTally t(3, 5000, 1000);
    t.jobEnded(1, brelvo::DeviceWriteComplete, 2000);
    t.jobEnded(1, brelvo::DeviceWriteComplete, 2100); // reported twice, counted once
    t.jobEnded(2, brelvo::Stopped, 2200);             // the operator's stop is no result
    EXPECT_EQ(t.succeeded(), 1);
    EXPECT_EQ(t.failed(), 0);
    EXPECT_EQ(t.exitCode(), 0);
    EXPECT_FALSE(t.finished(7199, 0));
    EXPECT_TRUE(t.finished(7200, 0));  // five seconds after the last thing that happened
    EXPECT_FALSE(t.finished(9000, 1)); // a job at work is never idle
    t.activity(8000);
    EXPECT_FALSE(t.finished(12999, 0));
    t.activity(100); // an older time does not move the clock back
    EXPECT_TRUE(t.finished(13000, 0));

    for (int status : {brelvo::DeviceCheckFailed, brelvo::TransferTimeout}) {
        ServeTally f(3, 0, 0);
        f.jobEnded(10, brelvo::DeviceWriteComplete, 1);
        f.jobEnded(11, status, 2);
        EXPECT_EQ(f.exitCode(), 1) << status;
        EXPECT_FALSE(f.finished(3, 0));
        f.jobEnded(12, brelvo::DeviceWriteComplete, 3);
        EXPECT_TRUE(f.finished(4, 2)); // the limit ends the run even with jobs at work
    }
}

TEST(ServeTally, StoppedJobsCountApart)
{
    ServeTally t(2, 0, 0);
    t.jobEnded(1, brelvo::Stopped, 1);
    t.jobEnded(1, brelvo::DeviceWriteComplete, 2); // a job ends once: the first word stands
    t.jobEnded(2, brelvo::Stopped, 3);
    EXPECT_EQ(t.stopped(), 2);
    EXPECT_EQ(t.succeeded() + t.failed(), 0);
    EXPECT_FALSE(t.finished(4, 0)); // stopped jobs reach no limit
    EXPECT_EQ(t.exitCode(), 0);     // and are no failure
}

// The table as the loop sees it tick by tick, and the lines it prints.
TEST(ProgressLog, OneLinePerTenthOfTheBlockPhase)
{
    auto job = [](uint64_t id, int status, int progress, bool finished = false) {
        brelvo::JobSnapshot s;
        s.id = id;
        s.status = status;
        s.progress = progress;
        s.finished = finished;
        return s;
    };
    using brelvo::SendingBlocks;
    const struct {
        std::vector<brelvo::JobSnapshot> table;
        std::vector<std::pair<uint64_t, int>> lines;
    } ticks[] = {
        {{job(1, brelvo::OfferSent, 0), job(2, SendingBlocks, 0)}, {}},
        {{job(1, SendingBlocks, 9), job(2, SendingBlocks, 10)}, {{2, 10}}},
        {{job(1, SendingBlocks, 35), job(2, SendingBlocks, 19)}, {{1, 35}}},        // 10 and 20 skipped: one line
        {{job(1, SendingBlocks, 12), job(2, SendingBlocks, 20)}, {{2, 20}}},        // a phase started again
        {{job(1, SendingBlocks, 39), job(2, brelvo::DeviceWriting, 50)}, {}},
        {{job(1, SendingBlocks, 100), job(2, brelvo::TransferTimeout, 0, true)}, {{1, 100}}},
        {{job(1, SendingBlocks, 100, true)}, {}},                                   // finished: nothing more
        {{job(2, SendingBlocks, 25)}, {{2, 25}}},   // job 2 left the table and came back: forgotten
        {{job(7, SendingBlocks, -5), job(8, SendingBlocks, 250)}, {{8, 250}}},      // out of range
        {{job(8, SendingBlocks, 100)}, {}},
    };
    ProgressLog log;
    int n = 0;
    for (const auto& t : ticks) {
        std::vector<std::pair<uint64_t, int>> got;
        for (const brelvo::JobSnapshot& s : log.sendingSteps(t.table))
            got.emplace_back(s.id, s.progress);
        EXPECT_EQ(got, t.lines) << "tick " << n;
        ++n;
    }

    // Writing: the first report, then each new tenth.
    const std::pair<int64_t, bool> writing[] = {{0, true}, {5, false}, {10, true}, {19, false}, {45, true},
                                                {40, false}, {99, true}, {100, true}, {100, false}};
    for (const auto& w : writing)
        EXPECT_EQ(log.writingStep(5, w.first), w.second) << w.first;
    log.forget(5);
    EXPECT_TRUE(log.writingStep(5, 100)); // a job forgotten starts over
    EXPECT_TRUE(log.writingStep(6, 73));
    EXPECT_FALSE(log.writingStep(6, 79));
}

namespace {

brelvo::JobSnapshot atWork(uint64_t id, int status, int progress, const std::string& product = "ABCDEFG")
{
    brelvo::JobSnapshot s;
    s.id = id;
    s.status = status;
    s.progress = progress;
    s.deviceAddress = brelvo::addressFromText("10.213.7.50");
    s.devicePort = brelvo::hostToNet16(40000);
    s.productCode = product;
    return s;
}

} // namespace

TEST(LiveStatus, LinesFitTheTerminalAndObeyNothing)
{
    EXPECT_EQ(LiveStatus::deviceLine(atWork(12, brelvo::SendingBlocks, 45), 80),
              "job 12  10.213.7.50  ABCDEFG  sending  [#############.................]   45%");
    EXPECT_EQ(LiveStatus::deviceLine(atWork(3, brelvo::DeviceWriting, 100), 60),
              "job 3  10.213.7.50  ABCDEFG  writing  [#############]  100%");
    EXPECT_EQ(LiveStatus::deviceLine(atWork(3, brelvo::SizeSent, 0), 80), "job 3  10.213.7.50  ABCDEFG  size sent");
    EXPECT_EQ(LiveStatus::deviceLine(atWork(3, brelvo::TransferTimeout, 0), 80),
              "job 3  10.213.7.50  ABCDEFG  silent, waiting");
    // No room for a bar: the number alone.
    EXPECT_EQ(LiveStatus::deviceLine(atWork(3, brelvo::SendingBlocks, 7), 50),
              "job 3  10.213.7.50  ABCDEFG  sending    7%");

    const std::string hostile[] = {"AB\x1b[2JCD", "\xe5\x9b\xba\xe4\xbb\xb6", std::string("A\0B\r\n\x9b", 6),
                                   std::string(63, 'Z'), ""};
    for (const std::string& product : hostile) {
        for (int columns : {1, 10, 40, 61, 80, 132, 300}) {
            for (int status : {brelvo::SendingBlocks, brelvo::OfferSent, brelvo::DeviceWriting}) {
                const std::string line =
                    LiveStatus::deviceLine(atWork(99999999999ull, status, 37, product), columns);
                EXPECT_LE(line.size(), static_cast<size_t>(std::max(columns - 1, 1))) << columns;
                for (char c : line)
                    EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "byte " << int(static_cast<unsigned char>(c));
            }
        }
    }

    // Many devices on a small terminal: as many as fit, then how many more.
    std::vector<brelvo::JobSnapshot> jobs;
    for (uint64_t id = 20; id > 0; --id)
        jobs.push_back(atWork(id, brelvo::SendingBlocks, 50));
    LiveStatus::Totals totals;
    totals.atWork = 20;
    totals.succeeded = 7;
    totals.failed = 1;
    const std::vector<std::string> block = LiveStatus::lines(jobs, totals, 80, 8);
    ASSERT_EQ(block.size(), 7u); // one row stays for the cursor
    EXPECT_EQ(block[0].rfind("job 1  ", 0), 0u);
    EXPECT_EQ(block[4].rfind("job 5  ", 0), 0u);
    EXPECT_EQ(block[5], "... and 15 more at work");
    EXPECT_EQ(block[6], "20 at work, 7 succeeded, 1 failed, 0 stopped  (Ctrl-C stops)");
    EXPECT_EQ(LiveStatus::lines({}, {}, 80, 1).size(), 1u);
    EXPECT_EQ(LiveStatus::lines(jobs, totals, 80, 2).size(), 2u); // "... and 20 more" and the totals

    // Each frame takes away exactly the lines the last one drew.
    LiveStatus live;
    EXPECT_EQ(live.frame({"event 1"}, {"a", "b"}), "\r\x1b[Jevent 1\na\nb\n");
    EXPECT_EQ(live.frame({}, {"c"}), "\r\x1b[2A\x1b[Jc\n");
    EXPECT_EQ(live.clear(), "\r\x1b[1A\x1b[J");
    EXPECT_EQ(live.clear(), "\r\x1b[J");
}

TEST(ServeLines, TextNamesJobsByIdJsonIsTheEngines)
{
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    brelvo::Event e;
    e.kind = brelvo::EventKind::RequestMatched;
    e.wallTimeMs = 1796607665123; // 2026-12-07T01:41:05.123Z
    e.jobId = 17;
    e.row = 3;
    e.address = brelvo::addressFromText("10.213.7.50");
    e.port = brelvo::hostToNet16(40000);
    e.productCode = "ABC\x1b[2J";
    e.path = "/fw/kvx_ABC.bin";
    EXPECT_EQ(eventLine(e, LineForm::Log),
              "2026-12-07T01:41:05.123+00:00 job 17 10.213.7.50 asked for ABC\\x1b[2J: sending /fw/kvx_ABC.bin");
    EXPECT_EQ(eventLine(e, LineForm::Json), brelvo::formatEventJson(e)); // the row stays in JSON
    e.kind = brelvo::EventKind::JobResult;
    e.code = brelvo::DeviceCheckFailed;
    e.severity = brelvo::severityOf(e);
    EXPECT_EQ(eventLine(e, LineForm::Log), "2026-12-07T01:41:05.123+00:00 job 17 10.213.7.50: Verification Failed!");
    EXPECT_EQ(eventLine(e, LineForm::Terminal), "01:41:05 job 17 10.213.7.50: Verification Failed!");
    e.kind = brelvo::EventKind::SweepFinished;
    e.jobId = 0;
    e.row = 0;
    e.value = 3;
    e.icmp = brelvo::IcmpMethod::Raw;
    EXPECT_EQ(eventLine(e, LineForm::Log), "2026-12-07T01:41:05.123+00:00 Address sweep found 3 free addresses (ICMP: raw)");

    brelvo::JobSnapshot job = atWork(17, brelvo::SendingBlocks, 40);
    EXPECT_EQ(progressLine(job, 1796607665123, LineForm::Log),
              "2026-12-07T01:41:05.123+00:00 job 17 10.213.7.50: sending, 40% acknowledged");
    EXPECT_EQ(progressLine(job, 1796607665123, LineForm::Json),
              "{\"time\":\"2026-12-07T01:41:05.123+00:00\",\"event\":\"progress\",\"severity\":\"info\",\"job\":17,"
              "\"device\":\"10.213.7.50:40000\",\"code\":5,\"status\":\"Sending Data\",\"value\":40}");

    ServeEnd end;
    end.reason = EndReason::Signal;
    end.signal = SIGTERM;
    end.succeeded = 2;
    end.stopped = 1;
    end.report = "/r \"1\".csv";
    EXPECT_EQ(endLine(end, 1796607665123, LineForm::Log),
              "2026-12-07T01:41:05.123+00:00 Serving ended, stopped by SIGTERM: 2 succeeded, 0 failed, 1 stopped; "
              "report /r \"1\".csv; exit 0");
    EXPECT_EQ(endLine(end, 1796607665123, LineForm::Json),
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
    EXPECT_EQ(signalName(SIGINT), "SIGINT");
    EXPECT_EQ(signalName(SIGHUP), "SIGHUP");
    EXPECT_EQ(signalName(SIGUSR1), "signal " + std::to_string(SIGUSR1));
}

TEST(ServeLines, EveryLineIsOneJsonObject)
{
    cli_test::JsonCheck json;
    ServeEnd end;
    end.report = std::string("\xff\x01\x1b") + "\xe2\x80\xae";
    const std::string lines[] = {
        endLine(end, 0, LineForm::Json),
        reportLine(end.report, 0, LineForm::Json),
        droppedLine(12, 0, LineForm::Json),
        progressLine(atWork(1, brelvo::SendingBlocks, 10, "\xff"), 0, LineForm::Json),
    };
    for (const std::string& line : lines) {
        std::string error;
        EXPECT_TRUE(json.object(line, &error)) << error << ": " << line;
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
    EXPECT_TRUE(json.object(reportLine("/a\nb", 0, LineForm::Json)));
    EXPECT_EQ(json.strings["path"], "/a\nb");
    EXPECT_EQ(json.strings["event"], "report_file");
    // What the check itself refuses, so a pass means something.
    for (const char* bad : {"", "{", "{\"a\":1,}", "{\"a\":01}", "{\"a\":\"\x01\"}", "{\"a\":\"\\x\"}",
                            "{\"a\":\"\\ud800\"}", "{\"a\":1}{", "[1]", "{\"a\":1,\"a\":2}", "{\"a\":\"\xff\"}",
                            "{\"a\":tru}", "{\"a\":1.}", "{\"a\":-}"})
        EXPECT_FALSE(json.object(bad)) << bad;
    EXPECT_TRUE(json.object("{\"a\":[1,-0.5e+3,{\"b\":null}],\"c\":\"\\ud83d\\udcf7\",\"d\":true}"));
    EXPECT_EQ(json.strings["c"], "\xf0\x9f\x93\xb7");
    EXPECT_EQ(json.numbers["d"], "true");
}

TEST(ServeSession, PruningKeepsRoomAndLingeringDevices)
{
    // ended, lingering, table size -> prune?
    const struct {
        int ended, lingering, table;
        bool prune;
    } cases[] = {
        {0, 0, 0, false},  {0, 0, 100, false},                 // nothing finished
        {1, 0, 1, true},   {1, 0, 100, true},                  // as soon as a job ended
        {3, 1, 10, false}, {0, 2, 49, false},                  // a silent device may come back
        {0, 1, 50, true},  {5, 2, 50, true}, {0, 1, 100, true}, // the table fills: room first
    };
    for (const auto& c : cases)
        EXPECT_EQ(shouldPrune(c.ended, c.lingering, c.table), c.prune)
            << c.ended << " " << c.lingering << " " << c.table;

    for (int status = -1; status <= 16; ++status) {
        const bool final = status == 7 || status == 9 || status == 10 || status == 11 || status == 12 ||
                           status == 13 || status == 15;
        EXPECT_EQ(isFinalStatus(status), final) << status;
    }
}

TEST(RunServe, OnlyAHeldPortLetsServeTryToStart)
{
    using brelvo::Finding;
    using brelvo::FindingId;
    using brelvo::Severity;
    auto finding = [](Severity s, FindingId id) {
        Finding f;
        f.severity = s;
        f.id = id;
        return f;
    };
    EXPECT_FALSE(refusesSettings({}));
    EXPECT_FALSE(refusesSettings({finding(Severity::Failure, FindingId::PortInUse)}));
    EXPECT_FALSE(refusesSettings({finding(Severity::Failure, FindingId::PortProbeFailed),
                                  finding(Severity::Warning, FindingId::SubnetShared)}));
    EXPECT_TRUE(refusesSettings({finding(Severity::Failure, FindingId::PortInUse),
                                 finding(Severity::Failure, FindingId::IcmpNone)}));
    EXPECT_TRUE(refusesSettings({finding(Severity::Failure, FindingId::AddressNotLocal)}));
    EXPECT_FALSE(refusesSettings({finding(Severity::Info, FindingId::AddressNotLocal)}));
}
