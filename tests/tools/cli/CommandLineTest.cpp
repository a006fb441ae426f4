// SPDX-License-Identifier: MIT
// brelvo-cli's command line: what an accepted line sets, and that every
// rejected line names what is at fault.
#include "CommandLine.h"
#include "record/JobStatus.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace brelvo_cli;

namespace {

bool parse(const std::string& line, CommandLine& cl, std::string& error)
{
    std::vector<std::string> args{"brelvo-cli"};
    std::istringstream words(line);
    for (std::string w; words >> w;)
        args.push_back(w);
    return parseCommandLine(args, cl, error);
}

CommandLine parsed(const std::string& line)
{
    CommandLine cl;
    std::string error;
    EXPECT_TRUE(parse(line, cl, error)) << line << ": " << error;
    return cl;
}

} // namespace

TEST(CommandLine, AcceptedLines)
{
    // Short and "=" forms; the last of a repeated option wins.
    CommandLine cl = parsed("check -a 1.2.3.4 -f/fw --config=c.bin --json --address=5.6.7.8");
    EXPECT_EQ(cl.action, CommandLine::Action::Check);
    EXPECT_EQ(cl.check.address + " " + cl.check.firmwareDir + " " + cl.check.configPath, "5.6.7.8 /fw c.bin");
    EXPECT_TRUE(cl.check.json);
    EXPECT_FALSE(parsed("check --address 10.0.0.1 --firmware /fw").check.json);

    cl = parsed("serve --firmware /fw --erase --no-update-boot --devices 12 --idle-exit 30 --report /r.log "
                "--address 10.0.0.1 --json");
    EXPECT_EQ(cl.action, CommandLine::Action::Serve);
    EXPECT_EQ(cl.serve.address + " " + cl.serve.reportPath, "10.0.0.1 /r.log");
    EXPECT_EQ(cl.serve.devices * 1000 + cl.serve.idleExitSeconds, 12030);
    EXPECT_TRUE(cl.serve.json);
    EXPECT_EQ(serveWriteOptions(cl.serve), brelvo::OptionEraseBoot);
    cl = parsed("serve -a 10.0.0.1 -f /fw");
    EXPECT_EQ(cl.serve.devices + cl.serve.idleExitSeconds, 0);
    EXPECT_EQ(serveWriteOptions(cl.serve), brelvo::OptionUpdateBoot);

    // Help and version win over everything else, also over missing options.
    for (const char* line : {"--help", "-h", "check --help", "serve -a 1 -h", "serve --devices 2 --help"})
        EXPECT_EQ(parsed(line).action, CommandLine::Action::Help) << line;
    for (const char* line : {"--version", "serve --version"})
        EXPECT_EQ(parsed(line).action, CommandLine::Action::Version) << line;
}

TEST(CommandLine, RejectedLinesNameTheFault)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "no command given"},
        {"frob", "unknown command 'frob'"},
        {"--address 1 check", "unknown option '--address' (options come after the command"},
        {"check", "--address is required"},
        {"check -a 1", "--firmware is required"},
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
        {"serve -a 1 -f /fw --idle-exit 2.5", "--idle-exit wants whole seconds from 1 to 31536000, not '2.5'"},
        {"serve -a 1 -f /fw --idle-exit 31536001", "not '31536001'"},
        {"serve -a 1 -f /fw --idle-exit", "option '--idle-exit' needs a value"},
    };
    for (const auto& c : cases) {
        CommandLine cl;
        std::string error;
        EXPECT_FALSE(parse(c.first, cl, error)) << c.first;
        EXPECT_NE(error.find(c.second), std::string::npos) << c.first << " gave: " << error;
    }
}
