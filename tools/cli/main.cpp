// SPDX-License-Identifier: MIT
// brelvo-cli: the command-line front-end. See --help and brelvo-cli(1).

#include "CheckCommand.h"
#include "CommandLine.h"
#include "ServeSession.h"
#include "platform/ProgramArguments.h"

#include <cstdio>

using namespace brelvo_cli;

int main(int argc, char** argv)
{
    brelvo::useUtf8Console();
    CommandLine cl;
    std::string error;
    if (!parseCommandLine(brelvo::programArguments(argc, argv), cl, error)) {
        std::fprintf(stderr, "brelvo-cli: %s\nTry 'brelvo-cli --help'.\n", error.c_str());
        return kExitRefused;
    }
    switch (cl.action) {
    case CommandLine::Action::Help:
        std::fputs(helpText(), stdout);
        break;
    case CommandLine::Action::Version:
        std::printf("%s\n", versionText().c_str());
        break;
    case CommandLine::Action::Check:
        return runCheck(cl.check);
    case CommandLine::Action::Serve:
        return runServe(cl.serve);
    }
    if (std::fflush(stdout) != 0) {
        std::perror("brelvo-cli: cannot write to standard output");
        return kExitRefused;
    }
    return kExitOk;
}
