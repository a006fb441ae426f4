// SPDX-License-Identifier: MIT
// What brelvo-cli makes of its command line and what it prints: one table of
// every text a person or a script reads (command lines, serve's lines and
// status block); what no text may do whatever a device or a
// path holds (steer a terminal, outgrow its width, break a JSON line); and
// which progress a log shows.
#include "CommandLine.h"
#include "EnvironmentScope.h"
#include "ExpectedText.h"
#include "JsonCheck.h"
#include "LiveStatus.h"
#include "ProgressLog.h"
#include "ServeLines.h"
#include "platform/AddressText.h"
#include "record/EventFormat.h"
#include "record/JobStatus.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <sstream>

using namespace brelvo_cli;
using brelvo::EventKind;

namespace {

const int64_t kWhen = 1796607665123;  // 2026-12-07T01:41:05.123Z

// A refused line's message; an accepted one as what it sets.
std::string parsed(const std::string& line)
{
    std::vector<std::string> args{"brelvo-cli"};
    std::istringstream words(line);
    for (std::string w; words >> w;)
        args.push_back(w);
    CommandLine cl;
    std::string error;
    if (!parseCommandLine(args, cl, error))
        return error;
    const CheckOptions& c = cl.check;
    const ServeOptions& o = cl.serve;
    std::ostringstream out;
    out << std::vector<const char*>{"help", "version", "check", "serve"}.at(static_cast<size_t>(cl.action));
    if (cl.action == CommandLine::Action::Check)
        out << " " << c.address << " " << c.firmwareDir << " " << c.configPath << " " << c.json << c.erase;
    if (cl.action == CommandLine::Action::Serve)
        out << " " << o.address << " " << o.firmwareDir << " " << o.configPath << " " << o.json << " options "
            << serveWriteOptions(o) << " devices " << o.devices << " idle " << o.idleExitSeconds << " " << o.reportPath;
    return out.str();
}

brelvo::JobSnapshot job(uint64_t id, int status, int progress, bool finished = false)
{
    brelvo::JobSnapshot s;
    s.id = id, s.status = status, s.progress = progress, s.finished = finished, s.productCode = "ABCDEFG";
    s.deviceAddress = brelvo::addressFromText("10.213.7.50");
    s.devicePort = brelvo::hostToNet16(40000);
    return s;
}

brelvo::Event event(EventKind kind, uint64_t jobId, int code = 0)
{
    brelvo::Event e;
    e.kind = kind, e.wallTimeMs = kWhen, e.jobId = jobId, e.row = 3, e.code = code;
    e.address = brelvo::addressFromText("10.213.7.50");
    e.productCode = "ABC\x1b[2J";
    e.path = "/fw/kvx_ABC.bin";
    return e;
}

ServeEnd ended(EndReason reason, int failed, bool complete)
{
    ServeEnd end;
    end.reason = reason, end.signal = SIGTERM, end.deviceLimit = 1, end.idleSeconds = 30;
    end.succeeded = 2, end.failed = failed, end.stopped = 1, end.exitCode = failed > 0 ? 1 : 0;
    end.elsewhere = failed;
    end.report = "/r \"1\".csv";
    end.reportComplete = complete;
    end.station = "bench-3";
    return end;
}

} // namespace

// Every text a person or a script reads, one line each in
// expected/printed-text.txt: a command line and what it sets or why it is
// refused, then serve's lines and its status block.
TEST(PrintedText, EveryTextAsPrinted)
{
    brelvo_test::EnvironmentScope zone("TZ", "UTC0");
    // Short and "=" forms; the last of a repeated option wins; help and version win over everything.
    std::string printed;
    for (const char* line :
         {"check -a 1.2.3.4 -f/fw --config=c.bin --json --address=5.6.7.8", "check --address 10.0.0.1 --firmware /fw --erase",
          "serve --firmware /fw --erase --no-update-boot --devices 12 --idle-exit 30 --report /r.log --address 10.0.0.1 --json",
          "serve -a 10.0.0.1 -f /fw -c c.bin", "--help", "-h", "check --help", "serve -a 1 -h", "serve --devices 2 --help",
          "--version", "serve --version", "", "frob", "--address 1 check", "check", "check -a 1", "check -a 1 -f /fw stray",
          "check -a 1 -f /fw --no-update-boot", "check -a 1 -f /fw --devices 3", "check -a 1 -f /fw --bogus=3",
          "check -a 1 -f /fw -z", "check -a 1 -f /fw --json=yes", "check -a 1 --firmware", "check -f /fw -a",
          "check --address= -f /fw", "check -a 1 -f /fw --config=", "serve -a 1 -f /fw --report=",
          "serve -a 1 -f /fw --idle-exit", "serve -a 1 -f /fw --devices 0", "serve -a 1 -f /fw --devices -3",
          "serve -a 1 -f /fw --devices 0x10", "serve -a 1 -f /fw --devices 1000001",
          "serve -a 1 -f /fw --devices 99999999999999999999", "serve -a 1 -f /fw --idle-exit 2.5",
          "serve -a 1 -f /fw --idle-exit 31536001"})
        printed += std::string(line) + " -> " + parsed(line) + "\n";

    std::vector<brelvo::JobSnapshot> crowd;
    for (uint64_t id = 20; id > 0; --id)
        crowd.push_back(job(id, brelvo::SendingBlocks, 50));
    brelvo::JobSnapshot learnt = job(17, brelvo::SendingBlocks, 40);
    learnt.mac = 0x02000ad50732;
    LiveStatus live;
    std::vector<std::string> texts = {
        eventLine(event(EventKind::RequestMatched, 17), LineForm::Log),
        eventLine(event(EventKind::RequestMatched, 17), LineForm::Json),  // the row stays in JSON
        eventLine(event(EventKind::JobResult, 17, brelvo::DeviceCheckFailed), LineForm::Terminal),
        eventLine(event(EventKind::StopRequested, 0), LineForm::Log),  // no job: no "job 0"
        progressLine(job(17, brelvo::SendingBlocks, 40), kWhen, LineForm::Log),
        progressLine(job(17, brelvo::SendingBlocks, 40), kWhen, LineForm::Json),
        progressLine(learnt, kWhen, LineForm::Json),
        progressLine(learnt, kWhen, LineForm::Terminal),
        endLine(ended(EndReason::Signal, 0, true), kWhen, LineForm::Log),
        endLine(ended(EndReason::Signal, 0, true), kWhen, LineForm::Json),
        endLine(ended(EndReason::DeviceLimit, 1, false), 0, LineForm::Log),
        endLine(ended(EndReason::Idle, 1, true), 0, LineForm::Log),
        endLine(ended(EndReason::Idle, 1, false), 0, LineForm::Json),
        startFailureText("no thread for the listener", 0),
        signalName(SIGINT) + signalName(1) + signalName(99),
        LiveStatus::deviceLine(job(12, brelvo::SendingBlocks, 45), 80),
        LiveStatus::deviceLine(job(3, brelvo::DeviceWriting, 100), 60),
        LiveStatus::deviceLine(job(3, brelvo::TransferTimeout, 0), 80),
        LiveStatus::deviceLine(job(3, brelvo::SendingBlocks, 7), 50),
        live.frame({"event 1"}, {"a", "b"}), live.frame({}, {"c"}), live.clear(), live.clear(), // in this order
    };
    // By id, as many as fit with one row left for the cursor; then with room for none.
    for (const auto& block : {LiveStatus::lines(crowd, {20, 7, 1, 0}, 80, 8), LiveStatus::lines(crowd, {}, 80, 2)})
        texts.insert(texts.end(), block.begin(), block.end());
    for (const std::string& t : texts)
        printed += brelvo_test::visibleText(t) + "\n";
    const std::string diff = brelvo_test::expectedFileDiff(BRELVO_EXPECTED_DIR "/printed-text.txt", printed);
    EXPECT_TRUE(diff.empty()) << diff;

    // A port in use as the system reports it, and where a person looks it up there.
#ifdef _WIN32
    const std::pair<int, std::string> taken{10048, "netstat -abno -p udp"};
#else
    const std::pair<int, std::string> taken{EADDRINUSE, "ss -ulpn 'sport = :3281'"};
#endif
    EXPECT_EQ(startFailureText("in use", taken.first),
              "in use (another copy of the tool or another program holds it; see `" + taken.second + "`)");
}

TEST(PrintedText, NothingSteersATerminalOrBreaksAJsonLine)
{
    for (const std::string& product : {std::string("AB\x1b[2JCD"), std::string("\xe5\x9b\xba\xe4\xbb\xb6"),
                                       std::string("A\0B\r\n\x9b\x7f", 7), std::string(63, 'Z'), std::string()}) {
        for (int columns : {1, 10, 40, 61, 80, 132, 300}) {
            for (int status : {brelvo::SendingBlocks, brelvo::OfferSent, brelvo::DeviceWriting}) {
                brelvo::JobSnapshot hostile = job(99999999999ull, status, columns % 3 ? 37 : -5);
                hostile.productCode = product;
                const std::string line = LiveStatus::deviceLine(hostile, columns);
                EXPECT_LE(line.size(), static_cast<size_t>(std::max(columns - 1, 1))) << columns;
                for (char c : line)
                    EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "byte " << int(static_cast<unsigned char>(c));
            }
        }
    }

    brelvo_test::JsonCheck json;
    brelvo::JobSnapshot nonUtf8 = job(17, brelvo::SendingBlocks, 40);
    nonUtf8.productCode = "\xff";
    ServeEnd end;
    end.report = "\xff\x01\x1b\xe2\x80\xae/a\nb";
    for (const std::string& line : {endLine(end, 0, LineForm::Json), reportLine(end.report, 0, LineForm::Json),
                                    droppedLine(12, 0, LineForm::Json),
                                    progressLine(nonUtf8, 0, LineForm::Json)}) {
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

TEST(ProgressLog, OneLinePerTenth)
{
    // serve's progress lines: one per tenth of the block phase and of the
    // device's writing, whatever the table does between two looks.
    using brelvo::SendingBlocks;
    // The table as the loop sees it tick by tick, and the lines it prints.
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
        EXPECT_EQ(got, t.lines) << "tick " << n++;
    }

    // Writing: the first report, then each new tenth.
    const std::pair<int64_t, bool> writing[] = {{-15, true}, {5, false}, {10, true}, {19, false}, {45, true},
                                                {40, false}, {99, true}, {100, true}, {100, false}};
    for (const auto& w : writing)
        EXPECT_EQ(log.writingStep(5, w.first), w.second) << w.first;
    log.forget(5);
    EXPECT_TRUE(log.writingStep(5, 100));  // a job forgotten starts over
}
