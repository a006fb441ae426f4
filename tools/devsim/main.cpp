// SPDX-License-Identifier: MIT
// brelvo-devsim: simulated devices in update mode, for trying the tool
// without hardware and for the integration tests. See --help.
//
// The program's outline: the command line, the files the sessions compare
// against, a socket per device (Fleet), one thread serving them all
// (DeviceLoop), a summary line per device (Summary), the exit code.

#include "DeviceLoop.h"
#include "DeviceSession.h"
#include "DevsimOptions.h"
#include "Fleet.h"
#include "SocketAddress.h"
#include "Summary.h"

#include "platform/Clock.h"
#include "platform/ErrorText.h"
#include "platform/ProgramArguments.h"
#include "platform/RawFile.h"
#include "platform/Socket.h"
#include "platform/StopRequests.h"

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace devsim;

namespace {

// As --help lists them.
constexpr int kExitOk = 0;
constexpr int kExitDeviceFailed = 1; // a violation, mismatch or time-out
constexpr int kExitSetUp = 2;        // the command line or the set-up

// A second stop request ends the process at once (brelvo::StopRequests).
void sayEndingAtOnce(int) { std::fputs("brelvo-devsim: stopped again: ending at once\n", stderr); }

// Binds PORT on every address and keeps it, standing in for another program
// that already serves that port.
int holdPort(const DevsimOptions& o, const brelvo::StopRequests& stops)
{
    brelvo::SocketHandle s = brelvo::openUdpSocket();
    if (s == brelvo::kInvalidSocket) {
        std::fprintf(stderr, "brelvo-devsim: --hold-port %d: cannot create a UDP socket: %s\n", o.holdPort,
                     brelvo::errorTextEnglish(brelvo::lastSocketError()).c_str());
        return kExitSetUp;
    }
    // No address reuse: the point is that nobody else can bind the port.
    const brelvo::SocketAddress a = socketAddress(0, uint16_t(o.holdPort));
    if (brelvo::bindSocket(s, a.address, a.port) != 0) {
        std::fprintf(stderr, "brelvo-devsim: --hold-port %d: cannot bind UDP port %d on 0.0.0.0: %s\n", o.holdPort,
                     o.holdPort, brelvo::errorTextEnglish(brelvo::lastSocketError()).c_str());
        brelvo::closeSocket(s);
        return kExitSetUp;
    }
    std::printf("holding udp %d\n", o.holdPort);
    std::fflush(stdout);
    const auto until = o.holdSeconds > 0 ? Clock::now() + std::chrono::seconds(o.holdSeconds)
                                         : Clock::time_point::max();
    // Anything sent to the port stays unread, as with a busy program.
    while (!stops.wait(50) && Clock::now() < until) {
    }
    brelvo::closeSocket(s);
    return kExitOk;
}

// Reads the file an --expect-... option names into `into`; false after
// saying why not.
bool loadExpected(const char* option, const std::string& path, std::shared_ptr<const std::vector<uint8_t>>& into)
{
    std::string bytes;
    if (!brelvo::readWholeFile(path, bytes)) {
        std::fprintf(stderr, "brelvo-devsim: %s: cannot read '%s': no such file, not a regular file, or unreadable\n",
                     option, path.c_str());
        return false;
    }
    into = std::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end());
    return true;
}

// What every session is told beyond the command line: the files it compares
// against, whether it keeps what arrives. False after saying what is wrong.
bool prepareSessions(DevsimOptions& o)
{
    if (!o.expectImagePath.empty() && !loadExpected("--expect-image", o.expectImagePath, o.session.expectImage))
        return false;
    if (!o.expectConfigPath.empty() && !loadExpected("--expect-config", o.expectConfigPath, o.session.expectConfig))
        return false;
    o.session.keepBytes = !o.saveImagePath.empty();
    for (uint32_t a : o.bindAddrs) {
        if (!addressIsLocal(a)) {
            std::fprintf(stderr, "brelvo-devsim: %s is not an address of this host (see --bind)\n",
                         addressText(a).c_str());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    DevsimOptions o;
    std::string error;
    std::vector<std::string> args = brelvo::programArguments(argc, argv);
    if (!args.empty())
        args.erase(args.begin());
    if (!parseDevsimOptions(args, o, error)) {
        std::fprintf(stderr, "brelvo-devsim: %s\nTry 'brelvo-devsim --help'.\n", error.c_str());
        return kExitSetUp;
    }
    if (o.help) {
        std::fputs(devsimHelpText(), stdout);
        return kExitOk;
    }
    if (o.version) {
        std::printf("brelvo-devsim %s\n", BRELVO_VERSION);
        return kExitOk;
    }
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    brelvo::StopRequests stops;
    if (!stops.start(sayEndingAtOnce, error)) {
        std::fprintf(stderr, "brelvo-devsim: %s\n", error.c_str());
        return kExitSetUp;
    }
    if (o.holdPort)
        return holdPort(o, stops);

    Fleet fleet;
    if (!prepareSessions(o) || !setUpFleet(o, fleet))
        return kExitSetUp;
    DeviceLoop(o, fleet, stops).run();

    if (const int ending = stops.settle())
        return ending;
    const bool allOk = reportDevices(o, fleet);
    closeFleet(fleet);
    if (o.cpuReport)
        printCpuReport(fleet);
    std::fflush(stdout);
    return allOk ? kExitOk : kExitDeviceFailed;
}
