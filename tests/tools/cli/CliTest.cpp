// brelvo-cli's parts without the program: its command line, its output of
// hostile texts, and the tally that decides serve's exit code.
#include "CommandLine.h"
#include "FindingOutput.h"
#include "OutputText.h"
#include "ServeOptions.h"
#include "ServeTally.h"
#include "job/JobStatus.h"

#include <gtest/gtest.h>

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
